// Two databases compared as diff compares them, in either model: a database differs from
// nothing in itself; each change names a setting one side lists, with the values the two
// listings hold; the comparison turned round gives the same changes turned round; the text
// report is one line a change with no raw control byte, and the JSON report reads back.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>

#include "cli/Diff.h"
#include "cli/JsonRead.h"
#include "fuzz/FuzzCheck.h"
#include "model/DatabaseRecord.h"
#include "model/ImageView.h"
#include "model/NewDatabase.h"

using namespace tarvelo;

namespace {

struct Side {
  DatabaseRecord record;
  DeviceModel model;
  std::vector<SettingEntry> listed;
};

Side Make(FuzzedDataProvider& in) {
  Side s;
  s.model = in.ConsumeBool() ? DeviceModel::SixteenLine : DeviceModel::FourLine;
  const ImageLayout layout = ImageLayout::For(s.model);
  NewDatabaseDefaults(s.record, layout);
  s.record.site.set(in.ConsumeRandomLengthString(8));
  for (int n = in.ConsumeIntegralInRange(0, 24); n > 0; --n) {
    const auto at = in.ConsumeIntegralInRange<long>(0, kImageSize - 1);
    s.record.image.SetImageByte(at, in.ConsumeIntegral<uint8_t>());
  }
  ConfigImage image = s.record.image;
  s.listed = FlattenSettings(s.record, layout, DecodeImageView(image, layout));
  return s;
}

const SettingEntry* Find(const std::vector<SettingEntry>& list, const SettingChange& c) {
  const auto it = std::find_if(list.begin(), list.end(), [&](const SettingEntry& e) {
    return e.page == c.page && e.label == c.label;
  });
  return it == list.end() ? nullptr : &*it;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const Side a = Make(in);
  const Side b = Make(in);
  const bool commonOnly = a.model != b.model;

  FUZZ_CHECK(DiffSettings(a.listed, a.listed, false).empty());
  const auto changes = DiffSettings(a.listed, b.listed, commonOnly);
  for (const SettingChange& c : changes) {
    const SettingEntry* inA = Find(a.listed, c);
    const SettingEntry* inB = Find(b.listed, c);
    FUZZ_CHECK(c.a.has_value() == (inA != nullptr));
    FUZZ_CHECK(c.b.has_value() == (inB != nullptr));
    FUZZ_CHECK(c.a || c.b);
    if (c.a) FUZZ_CHECK(*c.a == inA->value);
    if (c.b) FUZZ_CHECK(*c.b == inB->value);
    FUZZ_CHECK(!(c.a && c.b && *c.a == *c.b));
    FUZZ_CHECK(!(commonOnly && (!c.a || !c.b)));
  }
  // Every setting both list with different values is a change.
  size_t differing = 0;
  for (const SettingEntry& e : a.listed) {
    const SettingChange key{e.page, e.label, std::nullopt, std::nullopt};
    const SettingEntry* other = Find(b.listed, key);
    if (other ? other->value != e.value : !commonOnly) ++differing;
  }
  size_t onlyB = 0;
  for (const SettingEntry& e : b.listed) {
    const SettingChange key{e.page, e.label, std::nullopt, std::nullopt};
    if (!commonOnly && !Find(a.listed, key)) ++onlyB;
  }
  FUZZ_CHECK(changes.size() == differing + onlyB);

  const auto turned = DiffSettings(b.listed, a.listed, commonOnly);
  FUZZ_CHECK(turned.size() == changes.size());
  for (const SettingChange& c : turned) {
    const auto it = std::find_if(changes.begin(), changes.end(), [&](const SettingChange& d) {
      return d.page == c.page && d.label == c.label;
    });
    FUZZ_CHECK(it != changes.end() && it->a == c.b && it->b == c.a);
  }

  const std::string text = DiffText(changes);
  FUZZ_CHECK(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) == changes.size());
  FUZZ_CHECK(static_cast<size_t>(std::count(text.begin(), text.end(), '\t')) ==
             3 * changes.size());
  for (unsigned char ch : text) FUZZ_CHECK(ch >= 0x20 || ch == '\t' || ch == '\n');
  std::string error;
  const auto json = ParseJson(DiffJson(changes), &error);
  FUZZ_CHECK(json && json->kind == JsonValue::Kind::Array);
  FUZZ_CHECK(json->items.size() == changes.size());
  for (size_t i = 0; i < changes.size(); ++i) {
    const JsonValue& item = json->items[i];
    FUZZ_CHECK(item.Find("page") && item.Find("page")->text == changes[i].page);
    FUZZ_CHECK(item.Find("label") && item.Find("label")->text == changes[i].label);
    FUZZ_CHECK((item.Find("a") != nullptr) == changes[i].a.has_value());
    if (changes[i].a) FUZZ_CHECK(item.Find("a")->text == *changes[i].a);
  }
  return 0;
}
