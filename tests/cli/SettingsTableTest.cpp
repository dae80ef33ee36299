// Every row of the settings table, in both models: what one row stores, show --json gives
// back and apply takes without a byte changing; what a row refuses changes nothing and is
// refused with the page's own message; no two settings a listing names share a label.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "cli/Apply.h"
#include "cli/Diff.h"
#include "cli/JsonRead.h"
#include "cli/Show.h"
#include "model/NewDatabase.h"
#include "model/Settings.h"

using namespace tarvelo;

namespace {

const DeviceModel kModels[] = {DeviceModel::FourLine, DeviceModel::SixteenLine};

DatabaseRecord NewRecord(const ImageLayout& layout) {
  DatabaseRecord record;
  NewDatabaseDefaults(record, layout);
  return record;
}

std::string Get(const SettingRow& row, const DatabaseRecord& record, const ImageLayout& layout,
                int index) {
  ConfigImage image = record.image;
  const ImageView view = DecodeImageView(image, layout);
  return row.get(SettingSource(record, layout, view), index);
}

int Entries(const SettingRow& row, const DatabaseRecord& record, const ImageLayout& layout) {
  ConfigImage image = record.image;
  const ImageView view = DecodeImageView(image, layout);
  return EntryCount(row, SettingSource(record, layout, view));
}

int First(const SettingRow& row) {
  return row.list == SettingListId::None ? 0 : ListOf(row.list).first;
}

// Values a user could type into the row's control, for the kind of control it is.
std::vector<std::string> Candidates(const SettingRow& row, DeviceModel model, int index) {
  switch (row.kind) {
    case SettingKind::Items:
      return row.items(model, index);
    case SettingKind::Switch:
      return {"Igen", "Nem"};
    case SettingKind::Number:
      return {"0", "1", "2", "3", "4", "6", "7", "42", "200", "255"};
    case SettingKind::Text:
      if (!row.parts.empty()) return {"06:07", "1:99", "00:255", "3456:12", "62:00"};
      return {"", "1", "12", "123", "1234", "#*", "06", "0620", "112", "9"};
  }
  return {};
}

// What a row was last given, by the setting it stores into: the entry and what the page
// should show for it.
using Stored = std::map<std::pair<const SettingRow*, int>, std::pair<int, std::string>>;

// A record where every row holds a value other than a new database's, each stored through
// its row; `stored` receives what each row was given.
DatabaseRecord Varied(const ImageLayout& layout, uint32_t seed, Stored* stored) {
  std::mt19937 rng(seed);
  DatabaseRecord record = NewRecord(layout);
  // Some codes and numbers first, so that their rows have entries to vary.
  const SettingRow& count = *SettingByKey("codes", "count");
  EXPECT_FALSE(count.set(record, layout, 0, "5")) << "five codes";
  const SettingRow& numbers = *SettingByKey("", "freeNumbers");
  for (int i = 1; i <= 3; ++i)
    EXPECT_FALSE(numbers.set(record, layout, i, std::to_string(100 + i))) << i;
  for (const SettingRow& row : Settings()) {
    if (!row.In(layout.model()) || (row.flags & kReadOnly) || &row == &count) continue;
    const int first = First(row);
    const int n = Entries(row, record, layout);
    for (int i = first; i < first + n; ++i) {
      auto values = Candidates(row, layout.model(), i);
      std::shuffle(values.begin(), values.end(), rng);
      for (const std::string& v : values) {
        const DatabaseRecord before = record;
        std::string expected = v;
        if (row.shownAs) {
          ConfigImage image = record.image;
          const ImageView view = DecodeImageView(image, layout);
          expected = row.shownAs(SettingSource(record, layout, view), i, v).value_or(v);
        }
        if (row.set(record, layout, i, v)) {
          EXPECT_TRUE(before == record) << SettingLabel(row, i) << " = " << v;
          continue;
        }
        // A value the page keeps as something else (odd parity in the 4-line model, a
        // letter in a digit field) is not one it can hold: `apply` refuses it.
        if (!SameValue(row, Get(row, record, layout, i), expected)) {
          record = before;
          continue;
        }
        // The 4-line model's lines share one dial and one seize mode.
        const bool shared =
            (row.flags & kSharedByLines4) && layout.model() == DeviceModel::FourLine;
        if (stored) (*stored)[{&row, shared ? 0 : i}] = {i, expected};
        break;
      }
    }
  }
  return record;
}

Refusal ApplyJson(const std::string& json, DatabaseRecord& record, const ImageLayout& layout) {
  std::string error;
  const auto parsed = ParseJson(json, &error);
  if (!parsed) return "parse: " + error;
  return ApplySettings(*parsed, record, layout);
}

std::string ShowJsonOf(const DatabaseRecord& record, const ImageLayout& layout) {
  ConfigImage image = record.image;
  return ShowJson(record, layout, DecodeImageView(image, layout));
}

}  // namespace

TEST(SettingsTable, WhatEachRowStoresShowAndApplyCarryByteForByte) {
  for (const DeviceModel model : kModels) {
    const ImageLayout layout = ImageLayout::For(model);
    for (uint32_t seed = 1; seed <= 6; ++seed) {
      Stored given;
      const DatabaseRecord varied = Varied(layout, seed, &given);
      EXPECT_GT(given.size(), 100u);
      // Each row reads back what it stored, as the page shows it.
      for (const auto& [at, value] : given) {
        const SettingRow& row = *at.first;
        const std::string got = Get(row, varied, layout, value.first);
        EXPECT_TRUE(SameValue(row, got, value.second))
            << ModelName(model) << ": " << SettingLabel(row, value.first) << " \"" << value.second
            << "\" reads \"" << got << "\"";
      }
      // Its own listing applied back changes nothing.
      DatabaseRecord same = varied;
      const std::string json = ShowJsonOf(varied, layout);
      ASSERT_EQ(ApplyJson(json, same, layout), std::nullopt) << json;
      EXPECT_TRUE(same == varied) << ModelName(model) << " seed " << seed;
      // Applied to a new database, it makes every setting the same.
      DatabaseRecord fresh = NewRecord(layout);
      ASSERT_EQ(ApplyJson(json, fresh, layout), std::nullopt) << json;
      ConfigImage a = varied.image, b = fresh.image;
      const auto listedA = FlattenSettings(varied, layout, DecodeImageView(a, layout));
      const auto listedB = FlattenSettings(fresh, layout, DecodeImageView(b, layout));
      EXPECT_TRUE(DiffSettings(listedA, listedB, false).empty())
          << DiffText(DiffSettings(listedA, listedB, false));
      // And what it made reads back as the same listing.
      EXPECT_EQ(ShowJsonOf(fresh, layout), json);
    }
  }
}

TEST(SettingsTable, ARefusedValueChangesNothingAndGetsThePagesMessage) {
  const std::string byteRange = kByteRangeMessage;
  // The page's own answer to the first bad value of each kind (a number out of range, a
  // text with a control character), where the page has one.
  const std::map<std::string, std::string> pageMessages = {
      {"coCharCount", "Válasszon egy értéket 1..4 között !!!"},
      {"recordTerminator", "Hibás érték !!!"},
      {"numberTerminator", "Csak 0..9,*,# lehet !!!"},
      {"codeLength", "A kódjegyek száma 2..8 lehet !!!"},
  };
  for (const DeviceModel model : kModels) {
    const ImageLayout layout = ImageLayout::For(model);
    const DatabaseRecord base = Varied(layout, 99, nullptr);
    for (const SettingRow& row : Settings()) {
      if (!row.In(model)) continue;
      const int first = First(row);
      const int n = Entries(row, base, layout);
      ASSERT_GE(n, row.list == SettingListId::None ? 1 : 0) << row.caption;
      std::vector<std::string> bad;
      switch (row.kind) {
        case SettingKind::Items:
          bad = {"", "nincs ilyen", "Igen"};
          break;
        case SettingKind::Switch:
          bad = {"", "talán", "1"};
          break;
        case SettingKind::Number:
          bad = {"256", "-1", "abc", "1x"};
          break;
        case SettingKind::Text:
          bad = {std::string("1\x01", 2), "\xE2\x9C\x93" /* ✓ */, std::string(300, '1')};
          break;
      }
      for (int i = first; i < first + std::min(n, 3); ++i) {
        for (const std::string& value : bad) {
          DatabaseRecord record = base;
          const SetResult refused = row.set(record, layout, i, value);
          const std::string what =
              std::string(ModelName(model)) + ": " + SettingLabel(row, i) + " = \"" + value + "\"";
          if (row.kind != SettingKind::Number || row.key == nullptr ||
              std::string(row.key) != "count" || value != "256") {
            // A count of 256 codes of two digits is one the table can hold.
            ASSERT_TRUE(refused.has_value()) << what;
          }
          if (!refused) continue;
          EXPECT_FALSE(refused->message.empty()) << what;
          EXPECT_TRUE(record == base) << what << ": " << refused->message;
          if (row.box) {
            EXPECT_EQ(refused->message, byteRange) << what;
          } else if (row.key && pageMessages.count(row.key) && value == bad.front()) {
            EXPECT_EQ(refused->message, pageMessages.at(row.key)) << what;
          }
        }
      }
    }
  }
}

TEST(SettingsTable, EverySettingHasALabelOfItsOwnAndAKeyThatFindsIt) {
  for (const DeviceModel model : kModels) {
    const ImageLayout layout = ImageLayout::For(model);
    const DatabaseRecord record = Varied(layout, 7, nullptr);
    std::set<std::string> labels;
    for (const SettingRow& row : Settings()) {
      if (!row.In(model) || (row.flags & kNotListed)) continue;
      EXPECT_FALSE(std::string(row.caption).empty());
      EXPECT_EQ(std::string(row.caption).find(':'), std::string::npos) << row.caption;
      const int first = First(row);
      const int n = row.list == SettingListId::None ? 1 : Entries(row, record, layout);
      for (int i = first; i < first + n; ++i) {
        if (!EntryListed(row, model, i)) continue;
        const std::string label = std::string(PageName(row)) + " / " + SettingLabel(row, i);
        EXPECT_TRUE(labels.insert(label).second) << ModelName(model) << ": " << label;
      }
      // A page asks for its settings by their JSON place, a byte box by its control.
      if (row.object && row.list == SettingListId::None) {
        EXPECT_EQ(SettingByKey(row.object, row.key), &row) << row.key;
      } else if (row.object) {
        const SettingList& list = ListOf(row.list);
        EXPECT_EQ(std::string(list.object), row.object) << row.caption;
      }
      if (row.box) {
        EXPECT_EQ(SettingByControl(row.box->control), &row) << row.box->control;
      }
    }
  }
}
