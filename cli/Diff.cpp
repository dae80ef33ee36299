#include "cli/Diff.h"

#include <algorithm>
#include <iostream>
#include <map>

#include "cli/Args.h"
#include "cli/Json.h"
#include "cli/OpenDatabase.h"
#include "model/Settings.h"
#include "model/Text.h"

namespace tarvelo {
namespace {

// Where a single setting comes in a page's list: the item choices first, then the byte
// boxes, then the rest, each in the page's order.
int ListingRank(const SettingRow& row) {
  if (row.kind == SettingKind::Items) return 0;
  return row.box ? 1 : 2;
}

}  // namespace

std::vector<SettingEntry> FlattenSettings(const DatabaseRecord& record, const ImageLayout& layout,
                                          const ImageView& v) {
  std::vector<SettingEntry> out;
  const SettingSource s(record, layout, v);
  const DeviceModel model = layout.model();
  const auto& rows = Settings();
  // Page by page: the rows of one page stand together in the table.
  for (size_t first = 0; first < rows.size();) {
    size_t end = first;
    while (end < rows.size() && rows[end].page == rows[first].page) ++end;
    std::vector<const SettingRow*> singles;
    std::vector<SettingListId> lists;
    for (size_t r = first; r < end; ++r) {
      const SettingRow& row = rows[r];
      if (!row.In(model) || (row.flags & kNotListed)) continue;
      if (row.list == SettingListId::None) {
        singles.push_back(&row);
      } else if (std::find(lists.begin(), lists.end(), row.list) == lists.end()) {
        lists.push_back(row.list);
      }
    }
    std::stable_sort(singles.begin(), singles.end(), [](const SettingRow* a, const SettingRow* b) {
      return ListingRank(*a) < ListingRank(*b);
    });
    const std::string page = PageName(rows[first]);
    for (const SettingRow* row : singles)
      out.push_back({page, SettingLabel(*row, 0), row->get(s, 0)});
    for (const SettingListId id : lists) {
      const SettingList& list = ListOf(id);
      std::vector<const SettingRow*> members;
      for (size_t r = first; r < end; ++r) {
        if (rows[r].list == id && rows[r].In(model)) members.push_back(&rows[r]);
      }
      const int count = EntryCount(*members.front(), s);
      for (int i = list.first; i < list.first + count; ++i) {
        for (const SettingRow* row : members) {
          if (EntryListed(*row, model, i))
            out.push_back({page, SettingLabel(*row, i), row->get(s, i)});
        }
      }
    }
    first = end;
  }
  return out;
}

std::vector<SettingChange> DiffSettings(const std::vector<SettingEntry>& a,
                                        const std::vector<SettingEntry>& b, bool commonOnly) {
  auto key = [](const SettingEntry& e) { return e.page + '\n' + e.label; };
  std::map<std::string, const SettingEntry*> inA, inB;
  for (const auto& e : a) inA[key(e)] = &e;
  for (const auto& e : b) inB[key(e)] = &e;
  // Page by page in the order the pages come, so that a list entry only one side has
  // follows the other entries of its page.
  std::vector<std::string> pages;
  for (const auto* list : {&a, &b}) {
    for (const auto& e : *list) {
      if (std::find(pages.begin(), pages.end(), e.page) == pages.end()) pages.push_back(e.page);
    }
  }
  std::vector<SettingChange> changes;
  for (const auto& page : pages) {
    for (const auto& e : a) {
      if (e.page != page) continue;
      const auto it = inB.find(key(e));
      if (it == inB.end()) {
        if (!commonOnly) changes.push_back({e.page, e.label, e.value, std::nullopt});
      } else if (it->second->value != e.value) {
        changes.push_back({e.page, e.label, e.value, it->second->value});
      }
    }
    for (const auto& e : b) {
      if (e.page == page && !commonOnly && !inA.count(key(e)))
        changes.push_back({e.page, e.label, std::nullopt, e.value});
    }
  }
  return changes;
}

std::string DiffText(const std::vector<SettingChange>& changes) {
  std::string out;
  auto value = [](const std::optional<std::string>& v) {
    return v ? JsonWriter::Quote(*v) : std::string("-");
  };
  for (const auto& c : changes) {
    out += c.page + "\t" + c.label + "\t" + value(c.a) + "\t" + value(c.b) + "\n";
  }
  return out;
}

std::string DiffJson(const std::vector<SettingChange>& changes) {
  JsonWriter j;
  j.BeginArray();
  for (const auto& c : changes) {
    j.BeginObject().String("page", c.page).String("label", c.label);
    if (c.a) j.String("a", *c.a);
    if (c.b) j.String("b", *c.b);
    j.EndObject();
  }
  j.EndArray();
  return j.str() + "\n";
}

namespace {

std::optional<std::vector<SettingEntry>> Load(const std::string& path, const Args& a,
                                              const char* passwordOption,
                                              std::optional<DeviceModel> model,
                                              DeviceModel& chosen) {
  auto db = OpenDatabase(path, a, passwordOption, model);
  if (!db) return std::nullopt;
  chosen = db->model;
  const ImageLayout layout = ImageLayout::For(db->model);
  const ImageView view = DecodeImageView(db->record.image, layout);
  for (const auto& m : view.codeDecode.messages) {
    std::string line = m;
    for (auto& c : line) {
      if (c == '\r') c = ' ';
    }
    std::cerr << "figyelmeztetés: " << path << ": " << line << "\n";
  }
  return FlattenSettings(db->record, layout, view);
}

}  // namespace

int RunDiffCommand(const Args& a) {
  if (a.positional.size() != 2) throw UsageError{"két adatbázis fájlt kell megadni"};
  const auto modelA = ParseModel(a);
  std::optional<DeviceModel> modelB = modelA;
  if (const auto it = a.options.find("--model-b"); it != a.options.end()) {
    Args only;
    only.options["--model"] = it->second;
    modelB = ParseModel(only);
  }
  DeviceModel chosenA{}, chosenB{};
  const auto entriesA = Load(a.positional[0], a, "--password", modelA, chosenA);
  if (!entriesA) return kFileError;
  const char* passwordB = a.options.count("--password-b") ? "--password-b" : "--password";
  const auto entriesB = Load(a.positional[1], a, passwordB, modelB, chosenB);
  if (!entriesB) return kFileError;
  const auto changes = DiffSettings(*entriesA, *entriesB, chosenA != chosenB);
  // A report that did not reach its reader is no answer: that is exit 2, not "different".
  WriteOut(a.flags.count("--json") ? DiffJson(changes) : DiffText(changes));
  return changes.empty() ? kSettingsEqual : kSettingsDiffer;
}

}  // namespace tarvelo
