#include "model/Settings.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <stdexcept>

#include "model/CodeSize.h"
#include "model/Codecs.h"
#include "model/FreeNumbers.h"
#include "model/Text.h"

namespace tarvelo {
namespace {

using Kind = SettingKind;
using L = SettingListId;

SetResult Refuse(std::string message, int part = -1) {
  return SettingRefusal{std::move(message), part};
}

SetResult FromRefusal(const Refusal& refusal, int part = -1) {
  if (!refusal) return std::nullopt;
  return Refuse(*refusal, part);
}

// A typed text in the image's code page; nothing (and `refused` set) when it cannot be.
std::optional<std::string> Cp1250(const std::string& utf8, SetResult& refused, int part = -1) {
  std::string bad;
  auto text = Utf8ToCp1250(utf8, &bad);
  if (!text) refused = Refuse(UnencodableMessage(bad), part);
  return text;
}

// What an edit box could have taken: no control characters, and no more than fits.
SetResult Typable(const std::string& text, size_t maxLength, int part = -1) {
  for (unsigned char c : text) {
    if (c < 0x20) return Refuse("vezérlőkarakter nem lehet benne", part);
  }
  if (text.size() > maxLength)
    return Refuse("legfeljebb " + std::to_string(maxLength) + " karakter lehet", part);
  return std::nullopt;
}

bool ParseNumber(const std::string& text, long& value) {
  return ParseWholeNumber(TrimBlanks(text), value);
}

// An item's index in its list, or -1.
int ItemIndex(const std::vector<std::string>& items, const std::string& text) {
  const auto it = std::find(items.begin(), items.end(), text);
  return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

SetResult UnknownItem(const std::vector<std::string>& items, const std::string& text) {
  std::string choices;
  for (const auto& item : items) choices += (choices.empty() ? "" : ", ") + item;
  return Refuse("ismeretlen érték: \"" + text + "\" (lehet: " + choices + ")");
}

ImageView Decoded(const DatabaseRecord& record, const ImageLayout& layout) {
  ConfigImage image = record.image;
  return DecodeImageView(image, layout);
}

bool IsFour(DeviceModel model) {
  return model == DeviceModel::FourLine;
}

constexpr const char* kTypeCaption = "Típus";
constexpr const char* kCodeCaption = "Kód";
constexpr const char* kSwitchMessage = "Igen vagy Nem lehet";

using Items = std::function<const std::vector<std::string>&(DeviceModel, int)>;

// A choice of items: the row reads the chosen index and stores a new one.
SettingRow Choice(PageId page, const char* object, const char* key, const char* caption,
                  unsigned models, Items items, std::function<int(const SettingSource&, int)> index,
                  std::function<void(DatabaseRecord&, const ImageLayout&, int, int)> store) {
  SettingRow row{page, object, key, caption, models, Kind::Items};
  row.items = items;
  row.get = [items, index](const SettingSource& s, int i) {
    return items(s.layout.model(), i)[static_cast<size_t>(index(s, i))];
  };
  row.set = [items, store](DatabaseRecord& r, const ImageLayout& l, int i,
                           const std::string& v) -> SetResult {
    const auto& list = items(l.model(), i);
    const int chosen = ItemIndex(list, v);
    if (chosen < 0) return UnknownItem(list, v);
    store(r, l, i, chosen);
    return std::nullopt;
  };
  return row;
}

SettingRow Switch(PageId page, const char* object, const char* key, const char* caption,
                  unsigned models, std::function<bool(const SettingSource&, int)> read,
                  std::function<void(DatabaseRecord&, const ImageLayout&, int, bool)> store) {
  SettingRow row{page, object, key, caption, models, Kind::Switch};
  row.get = [read](const SettingSource& s, int i) { return std::string(YesNo(read(s, i))); };
  row.set = [store](DatabaseRecord& r, const ImageLayout& l, int i,
                    const std::string& v) -> SetResult {
    if (v != kYes && v != kNo) return Refuse(kSwitchMessage);
    store(r, l, i, v == YesNo(true));
    return std::nullopt;
  };
  return row;
}

// A byte-valued edit box, with the pages' shared check.
SettingRow ByteBox(const ByteFieldRow& box, const char* object, const char* key) {
  std::string caption = box.label;
  if (!caption.empty() && caption.back() == ':') caption.pop_back();
  // The rows live as long as the program: the caption is kept with them.
  static std::vector<std::unique_ptr<std::string>> captions;
  captions.push_back(std::make_unique<std::string>(caption));
  unsigned models = 0;
  if (ImageLayout::For(DeviceModel::FourLine).Has(box.field)) models |= kFourLineOnly;
  if (ImageLayout::For(DeviceModel::SixteenLine).Has(box.field)) models |= kSixteenLineOnly;
  SettingRow row{static_cast<PageId>(box.page), object, key,
                 captions.back()->c_str(),      models, Kind::Number};
  row.box = &box;
  const Field field = box.field;
  row.get = [field](const SettingSource& s, int) {
    return std::to_string(s.record.image.ImageByte(s.layout.Offset(field)));
  };
  row.set = [field](DatabaseRecord& r, const ImageLayout& l, int, const std::string& v) {
    return FromRefusal(TestByteRange(r.image, l, field, v));
  };
  return row;
}

SettingRow HeaderText(const char* key, const char* caption, ShortString DatabaseRecord::*field) {
  SettingRow row{std::nullopt, "", key, caption, kBothModels, Kind::Text};
  row.flags = kDataText;
  row.get = [field](const SettingSource& s, int) { return Cp1250ToUtf8((s.record.*field).text()); };
  row.set = [field](DatabaseRecord& r, const ImageLayout&, int, const std::string& v) -> SetResult {
    SetResult refused;
    const auto text = Cp1250(v, refused);
    if (!text) return refused;
    if (auto bad = Typable(*text, 255)) return bad;
    (r.*field).set(*text);
    return std::nullopt;
  };
  return row;
}

// One of two choices packed into one byte (SMDR speed and parity; mode and control
// characters): the other keeps what is stored.
template <typename Pair>
SettingRow Packed(const char* key, const char* caption, Items items,
                  Pair (*decode)(const ConfigImage&, const ImageLayout&),
                  void (*encode)(ConfigImage&, const ImageLayout&, Pair), int Pair::*member) {
  return Choice(
      PageId::General, "general", key, caption, kBothModels, items,
      [decode, member](const SettingSource& s, int) {
        return decode(s.record.image, s.layout).*member;
      },
      [decode, encode, member](DatabaseRecord& r, const ImageLayout& l, int, int chosen) {
        Pair pair = decode(r.image, l);
        pair.*member = chosen;
        encode(r.image, l, pair);
      });
}

void GeneralRows(std::vector<SettingRow>& rows) {
  const PageId page = PageId::General;
  const char* const g = "general";
  rows.push_back(Packed(
      "smdrSpeed", "SMDR sebesség",
      [](DeviceModel m, int) -> const std::vector<std::string>& { return SmdrSpeedItems(m); },
      DecodeSmdrFormat, EncodeSmdrFormat, &SmdrFormatChoice::speed));
  rows.push_back(Packed(
      "parity", "Paritás",
      [](DeviceModel, int) -> const std::vector<std::string>& { return ParityItems(); },
      DecodeSmdrFormat, EncodeSmdrFormat, &SmdrFormatChoice::parity));
  rows.push_back(Packed(
      "smdrMode", "SMDR mód",
      [](DeviceModel m, int) -> const std::vector<std::string>& { return SmdrModeItems(m); },
      DecodeSmdrMode, EncodeSmdrMode, &SmdrModeChoice::mode));
  rows.push_back(Packed(
      "below20h", "20hex alatti karakterek",
      [](DeviceModel, int) -> const std::vector<std::string>& { return Below20hItems(); },
      DecodeSmdrMode, EncodeSmdrMode, &SmdrModeChoice::below20h));
  rows.push_back(ByteBox(ByteFieldOf(Field::CoPosition), g, "coPosition"));

  // The box shows the width the CO numbers are cut with, also for a stored count outside
  // 1..4, so that the count and the numbers shown with it agree.
  SettingRow count{page, g, "coCharCount", "CO karakterszám", kBothModels, Kind::Number};
  count.get = [](const SettingSource& s, int) {
    return std::to_string(CoNumberWidth(s.record.image, s.layout));
  };
  count.set = [](DatabaseRecord& r, const ImageLayout& l, int, const std::string& v) {
    long n = 0;
    // Anything but 1..4 is "nothing selected" to the page's check.
    const int index = ParseNumber(v, n) && n >= 1 && n <= 4 ? static_cast<int>(n - 1) : -1;
    return FromRefusal(EncodeCoCharCount(r.image, l, index));
  };
  rows.push_back(count);

  rows.push_back(ByteBox(ByteFieldOf(Field::CalledPosition), g, "calledPosition"));

  SettingRow terminator{page, g, "recordTerminator", "Rekord záró kód", kBothModels, Kind::Number};
  terminator.get = [](const SettingSource& s, int) {
    return DecodeRecordTerminator(s.record.image, s.layout);
  };
  terminator.set = [](DatabaseRecord& r, const ImageLayout& l, int, const std::string& v) {
    return FromRefusal(EncodeRecordTerminator(r.image, l, v));
  };
  rows.push_back(terminator);

  SettingRow number{page, g, "numberTerminator", "Számzáró kód", kSixteenLineOnly, Kind::Text};
  number.flags = kDataText | kQuotedInText;
  number.get = [](const SettingSource& s, int) {
    return std::string(1, DecodeNumberTerminator(s.record.image, s.layout));
  };
  number.set = [](DatabaseRecord& r, const ImageLayout& l, int, const std::string& v) -> SetResult {
    SetResult refused;
    const auto text = Cp1250(v, refused);
    if (!text) return refused;
    // The box holds one character; a longer text gets the page's answer to a bad one.
    return FromRefusal(EncodeNumberTerminator(r.image, l, text->size() == 1 ? *text : ""));
  };
  rows.push_back(number);

  const std::pair<const char*, const char*> switches[] = {
      {"pinEnable", "Pinkód engedélyezés"},
      {"dstChange", "Átállás a téli/nyári időszámításra"},
      {"dosUpload", "DOS feltöltési protokoll engedélyezés"}};
  static constexpr bool Switches::*kBits[] = {&Switches::pinEnable, &Switches::dstChange,
                                              &Switches::dosUpload};
  for (size_t k = 0; k < std::size(switches); ++k) {
    const auto bit = kBits[k];
    rows.push_back(Switch(
        page, g, switches[k].first, switches[k].second, kFourLineOnly,
        [bit](const SettingSource& s, int) {
          return s.view.general.switches.value_or(Switches{}).*bit;
        },
        [bit](DatabaseRecord& r, const ImageLayout& l, int, bool on) {
          Switches now = DecodeSwitchBits(r.image, l);
          now.*bit = on;
          EncodeSwitchBits(r.image, l, now);
        }));
  }
}

const LineView& LineOf(const SettingSource& s, int line) {
  return s.view.lines.at(static_cast<size_t>(line - 1));
}

// One control of a 16-line panel, stored as leaving it does.
void StoreLine16(DatabaseRecord& r, const ImageLayout& l, int line, const LineControls16& c) {
  std::array<LineControls16, 16> controls{};
  if (line < 1 || line > 16) return;
  controls[static_cast<size_t>(line - 1)] = c;
  EncodeLines16(r.image, l, controls);
}

using Encode4 = void (*)(ConfigImage&, const ImageLayout&, int);

// A choice of a line panel. The 4-line model keeps the one it has (`encode4`) once for all
// lines.
SettingRow LineChoice(const char* key, const char* caption, unsigned models, Items items,
                      int LineView::*shown, std::optional<int> LineControls16::*control,
                      Encode4 encode4, int column) {
  SettingRow row = Choice(
      PageId::Lines, "", key, caption, models, items,
      [shown](const SettingSource& s, int i) { return LineOf(s, i).*shown; },
      [control, encode4](DatabaseRecord& r, const ImageLayout& l, int i, int chosen) {
        if (IsFour(l.model()) && encode4) {
          encode4(r.image, l, chosen);
        } else {
          LineControls16 c;
          c.*control = chosen;
          StoreLine16(r, l, i, c);
        }
      });
  row.list = L::Lines;
  row.flags = encode4 ? unsigned{kSharedByLines4} : 0u;
  row.column = column;
  return row;
}

void LineRows(std::vector<SettingRow>& rows) {
  const PageId page = PageId::Lines;
  SettingRow co{page,        "",         "coNumber", "CO szám",
                kBothModels, Kind::Text, L::Lines,   kDataText | kQuotedInText | kBlankPadded};
  co.column = 9;
  co.get = [](const SettingSource& s, int i) { return Cp1250ToUtf8(LineOf(s, i).coNumber); };
  co.set = [](DatabaseRecord& r, const ImageLayout& l, int i, const std::string& v) -> SetResult {
    SetResult refused;
    const auto text = Cp1250(v, refused);
    if (!text) return refused;
    if (auto bad = Typable(*text, 255)) return bad;
    const size_t width = static_cast<size_t>(CoNumberWidth(r.image, l));
    if (text->size() > width) {
      return Refuse("legfeljebb " + std::to_string(width) + " karakter lehet (CO karakterszám)");
    }
    EncodeCoNumber(r.image, l, i, *text);
    return std::nullopt;
  };
  rows.push_back(co);

  rows.push_back(LineChoice(
      "dial", "Tárcsázás", kBothModels,
      [](DeviceModel m, int i) -> const std::vector<std::string>& {
        return DialItems(m, IsFour(m) ? 1 : i);
      },
      &LineView::dial, &LineControls16::dial, EncodeDialMode4, 13));
  rows.push_back(LineChoice(
      "seize", "Vonalfogás", kBothModels,
      [](DeviceModel, int) -> const std::vector<std::string>& { return SeizeItems(); },
      &LineView::seize, &LineControls16::seize, EncodeSeizeMode4, 14));
  rows.push_back(LineChoice(
      "timerSet", "Időzítők", kSixteenLineOnly,
      [](DeviceModel, int) -> const std::vector<std::string>& { return TimerSetItems(); },
      &LineView::timerSet, &LineControls16::timerSet, nullptr, 10));

  const std::pair<const char*, const char*> boxes[] = {{"subLine", "Alvonal"},
                                                       {"callIn", "Behívás"}};
  for (const auto& [key, caption] : boxes) {
    const bool callIn = std::string(key) == "callIn";
    SettingRow row = Switch(
        page, "", key, caption, kBothModels,
        [callIn](const SettingSource& s, int i) {
          return callIn ? LineOf(s, i).callIn : LineOf(s, i).subLine;
        },
        [callIn](DatabaseRecord& r, const ImageLayout& l, int i, bool on) {
          if (IsFour(l.model())) {
            EncodeLineBit4(r.image, l, callIn, i, on);
          } else {
            LineControls16 c;
            (callIn ? c.callIn : c.subLine) = on;
            StoreLine16(r, l, i, c);
          }
        });
    row.list = L::Lines;
    row.column = callIn ? 0 : 9;
    rows.push_back(row);
  }
}

// "0620:07": the area code may hold ':' (a nibble of 10), the length never does.
std::pair<std::string, std::string> SplitException(const std::string& value) {
  const size_t colon = value.rfind(':');
  if (colon == std::string::npos) return {value, ""};
  return {value.substr(0, colon), value.substr(colon + 1)};
}

// The 4-line model stores the exceptions and the prefixes together, as leaving the list
// does.
Refusal StorePlan4(DatabaseRecord& r, const ImageLayout& l,
                   const std::function<void(std::vector<std::string>&, Prefixes&)>& edit) {
  std::vector<std::string> texts = DecodeExceptionTexts(r.image, l);
  Prefixes prefixes = DecodePrefixes(r.image, l);
  edit(texts, prefixes);
  return StoreNumberPlan4(r.image, l, texts, prefixes);
}

void NumberPlanRows(std::vector<SettingRow>& rows) {
  const PageId page = PageId::NumberPlan;
  for (const ByteFieldRow& box : ByteFields()) {
    if (box.page == static_cast<int>(page)) rows.push_back(ByteBox(box, nullptr, nullptr));
  }
  SettingRow ex{page,        "numberPlan", nullptr,      ListOf(L::Exceptions).entryCaption,
                kBothModels, Kind::Text,   L::Exceptions};
  ex.parts = {{"areaCode", "Körzetszám", Kind::Text}, {"length", "Hossz", Kind::Number}};
  ex.get = [](const SettingSource& s, int i) {
    const ExceptionCells& c = s.view.exceptions.at(static_cast<size_t>(i - 1));
    return Cp1250ToUtf8(c.areaCode + ":" + c.length);
  };
  ex.set = [](DatabaseRecord& r, const ImageLayout& l, int i, const std::string& v) -> SetResult {
    const auto [areaUtf8, length] = SplitException(v);
    SetResult refused;
    const auto area = Cp1250(areaUtf8, refused, 0);
    if (!area) return refused;
    if (auto bad = Typable(*area, IsFour(l.model()) ? 4 : 255, 0)) return bad;
    const ImageView view = Decoded(r, l);
    const ExceptionCells& cur = view.exceptions.at(static_cast<size_t>(i - 1));
    // A length left as the entry had it is not checked again, as on the page.
    const LengthInput input = length == cur.length ? LengthInput::AsSelected : LengthInput::Typed;
    if (IsFour(l.model())) {
      std::string text;
      if (auto bad = MakeExceptionText(*area, length, input, text)) return Refuse(*bad, 1);
      return FromRefusal(
          StorePlan4(r, l,
                     [&](auto& texts, auto&) { texts.at(static_cast<size_t>(i - 1)) = text; }),
          1);
    }
    if (*area == "00" && TrimBlanks(length) == "255") {
      // What "&Törlés" leaves behind, and how the list shows it.
      DeleteException16(r.image, l, i - 1);
      return std::nullopt;
    }
    return FromRefusal(EditException16(r.image, l, i - 1, *area, length, input), 1);
  };
  ex.shownAs = [](const SettingSource& s, int i,
                  const std::string& v) -> std::optional<std::string> {
    auto [area, length] = SplitException(v);
    const ExceptionCells& cur = s.view.exceptions.at(static_cast<size_t>(i - 1));
    if (IsFour(s.layout.model())) {
      std::string text;
      if (MakeExceptionText(area, length,
                            length == cur.length ? LengthInput::AsSelected : LengthInput::Typed,
                            text)) {
        return std::nullopt;
      }
      return text.substr(0, 4) + ":" + text.substr(4);
    }
    if (area == "00" && TrimBlanks(length) == "255") return std::string("00:255");
    if (length == cur.length) return area + ":" + cur.length;
    std::string shown = TrimBlanks(length);
    if (shown.size() < 2) shown.insert(0, 2 - shown.size(), '0');
    return area + ":" + shown;
  };
  rows.push_back(ex);

  const std::pair<SettingListId, size_t> prefixLists[] = {{L::MobilePrefixes, 4},
                                                          {L::InternationalPrefixes, 2}};
  for (const auto& [id, width] : prefixLists) {
    const bool mobile = id == L::MobilePrefixes;
    SettingRow p{page,          "numberPlan", nullptr, ListOf(id).entryCaption,
                 kFourLineOnly, Kind::Text,   id};
    const size_t w = width;
    p.get = [mobile](const SettingSource& s, int i) {
      const Prefixes prefixes = s.view.prefixes.value_or(Prefixes{});
      const size_t k = static_cast<size_t>(i - 1);
      return Cp1250ToUtf8(mobile ? prefixes.mobile.at(k) : prefixes.international.at(k));
    };
    p.set = [mobile, w](DatabaseRecord& r, const ImageLayout& l, int i,
                        const std::string& v) -> SetResult {
      SetResult refused;
      const auto text = Cp1250(v, refused);
      if (!text) return refused;
      if (auto bad = Typable(*text, w)) return bad;
      const size_t k = static_cast<size_t>(i - 1);
      return FromRefusal(StorePlan4(r, l, [&](auto&, Prefixes& prefixes) {
        (mobile ? prefixes.mobile.at(k) : prefixes.international.at(k)) = *text;
      }));
    };
    p.shownAs = [w](const SettingSource&, int, const std::string& v) -> std::optional<std::string> {
      return CompletePrefix(v, w);
    };
    rows.push_back(p);
  }
}

const CodeRow& CodeOf(const SettingSource& s, int k) {
  return s.view.codes.row(k);
}

void CodeRows(std::vector<SettingRow>& rows) {
  const PageId page = PageId::Codes;
  SettingRow count{page,        "codes",      "count", "Kódok darabszáma",
                   kBothModels, Kind::Number, L::None, kInHeading};
  count.get = [](const SettingSource& s, int) { return std::to_string(s.view.codeCount); };
  count.set = [](DatabaseRecord& r, const ImageLayout& l, int, const std::string& v) -> SetResult {
    long n = 0;
    if (!ParseNumber(v, n)) return Refuse("egész számot vár");
    const ImageView view = Decoded(r, l);
    const int wanted = static_cast<int>(std::clamp(n, -1L, 100000L));
    if (auto bad = CheckCodeCount(r.image, l, wanted, view.codeLength)) return Refuse(*bad);
    return FromRefusal(StoreCodeSize(r.image, l, wanted, view.codeLength, view.codes));
  };
  count.groupStore = StoreCodeSettings;
  rows.push_back(count);

  SettingRow length{page,        "codes",      "codeLength", "Kódjegyek száma",
                    kBothModels, Kind::Number, L::None,      kInHeading};
  length.get = [](const SettingSource& s, int) { return std::to_string(s.view.codeLength); };
  length.set = [](DatabaseRecord& r, const ImageLayout& l, int, const std::string& v) -> SetResult {
    long n = 0;
    if (!ParseNumber(v, n)) return Refuse("egész számot vár");
    const ImageView view = Decoded(r, l);
    const int wanted = static_cast<int>(std::clamp(n, -1L, 100000L));
    if (auto bad = CheckCodeLength(r.image, l, wanted)) return Refuse(*bad);
    return FromRefusal(StoreCodeSize(r.image, l, view.codeCount, wanted, view.codes));
  };
  length.groupStore = StoreCodeSettings;
  rows.push_back(length);

  SettingRow code{page,        "codes",    "code",      kCodeCaption,
                  kBothModels, Kind::Text, L::CodeRows, kDataText | kBlankPadded};
  code.column = 10;
  code.get = [](const SettingSource& s, int k) { return Cp1250ToUtf8(CodeOf(s, k).code); };
  code.set = [](DatabaseRecord& r, const ImageLayout& l, int k, const std::string& v) {
    const SettingRow& self = *SettingByKey("codes", "code");
    std::optional<GroupRefusal> refused = StoreCodeSettings(r, l, {{&self, k, v}});
    return refused ? Refuse(refused->message) : std::nullopt;
  };
  code.groupStore = StoreCodeSettings;
  rows.push_back(code);

  static const char* const kRightKeys[] = {"local", "longDistance", "mobile", "international"};
  for (size_t right = 0; right < 4; ++right) {
    SettingRow row = Switch(
        page, "codes", kRightKeys[right], RightHeadings()[right].c_str(), kBothModels,
        [right](const SettingSource& s, int k) { return CodeOf(s, k).rights[right] == kYes; },
        [](DatabaseRecord&, const ImageLayout&, int, bool) {});
    const char* const key = kRightKeys[right];
    row.set = [key](DatabaseRecord& r, const ImageLayout& l, int k,
                    const std::string& v) -> SetResult {
      if (v != kYes && v != kNo) return Refuse(kSwitchMessage);
      const SettingRow& self = *SettingByKey("codes", key);
      std::optional<GroupRefusal> refused = StoreCodeSettings(r, l, {{&self, k, v}});
      return refused ? Refuse(refused->message) : std::nullopt;
    };
    row.list = L::CodeRows;
    row.column = 12;
    row.groupStore = StoreCodeSettings;
    rows.push_back(row);
  }
}

void FreeNumberRows(std::vector<SettingRow>& rows) {
  SettingRow n{PageId::Numbers, "",         nullptr,        ListOf(L::FreeNumbers).entryCaption,
               kBothModels,     Kind::Text, L::FreeNumbers, kDataText};
  n.get = [](const SettingSource& s, int i) {
    return Cp1250ToUtf8(RightTrimmed(s.view.freeNumbers.at(static_cast<size_t>(i - 1))));
  };
  n.set = [](DatabaseRecord& r, const ImageLayout& l, int i, const std::string& v) -> SetResult {
    const ImageView view = Decoded(r, l);
    const SettingRow& self = *SettingByKey("", "freeNumbers");
    std::vector<GivenValue> list;
    for (size_t k = 0; k < view.freeNumbers.size(); ++k) {
      const int index = static_cast<int>(k + 1);
      list.push_back(
          {&self, index, index == i ? v : Cp1250ToUtf8(RightTrimmed(view.freeNumbers[k]))});
    }
    if (i == static_cast<int>(list.size()) + 1) list.push_back({&self, i, v});
    std::optional<GroupRefusal> refused = StoreFreeNumberList(r, l, list);
    return refused ? Refuse(refused->message) : std::nullopt;
  };
  n.groupStore = StoreFreeNumberList;
  rows.push_back(n);
}

void CallInRows(std::vector<SettingRow>& rows) {
  const PageId page = PageId::CallIn;
  SettingRow number{page,        "callIn",   "number", "Behívószám",
                    kBothModels, Kind::Text, L::None,  kDataText};
  number.get = [](const SettingSource& s, int) { return Cp1250ToUtf8(s.view.callIn.number); };
  number.set = [](DatabaseRecord& r, const ImageLayout& l, int, const std::string& v) -> SetResult {
    SetResult refused;
    const auto text = Cp1250(v, refused);
    if (!text) return refused;
    // A zero byte would end the number.
    if (auto bad = Typable(*text, 24)) return bad;
    CallInSettings s = DecodeCallIn(r.image, l);
    s.number = *text;
    EncodeCallIn(r.image, l, s);
    return std::nullopt;
  };
  rows.push_back(number);

  const std::pair<const char*, const char*> flags[] = {
      {"foreign", "Behívás külföldi szám esetén"}, {"national", "Behívás belföldi szám esetén"}};
  for (const auto& [key, caption] : flags) {
    const bool foreign = std::string(key) == "foreign";
    rows.push_back(Switch(
        page, "callIn", key, caption, kBothModels,
        [foreign](const SettingSource& s, int) {
          return foreign ? s.view.callIn.foreign : s.view.callIn.national;
        },
        [foreign](DatabaseRecord& r, const ImageLayout& l, int, bool on) {
          CallInSettings s = DecodeCallIn(r.image, l);
          (foreign ? s.foreign : s.national) = on;
          EncodeCallIn(r.image, l, s);
        }));
  }

  SettingRow forbidden{page,
                       "callIn",
                       nullptr,
                       ListOf(L::ForbiddenAreaCodes).entryCaption,
                       kBothModels,
                       Kind::Text,
                       L::ForbiddenAreaCodes};
  forbidden.get = [](const SettingSource& s, int i) {
    return Cp1250ToUtf8(s.view.callIn.forbidden.at(static_cast<size_t>(i - 1)));
  };
  forbidden.set = [](DatabaseRecord& r, const ImageLayout& l, int i,
                     const std::string& v) -> SetResult {
    SetResult refused;
    const auto text = Cp1250(v, refused);
    if (!text) return refused;
    if (auto bad = Typable(*text, 2)) return bad;
    CallInSettings s = DecodeCallIn(r.image, l);
    s.forbidden.at(static_cast<size_t>(i - 1)) = CompleteForbiddenEntry(*text);  // "&Felvesz"
    EncodeCallIn(r.image, l, s);
    return std::nullopt;
  };
  forbidden.shownAs = [](const SettingSource&, int,
                         const std::string& v) -> std::optional<std::string> {
    return CompleteForbiddenEntry(v);
  };
  rows.push_back(forbidden);
}

std::vector<SettingRow> BuildRows() {
  std::vector<SettingRow> rows;
  rows.push_back(HeaderText("site", "Telepítés", &DatabaseRecord::site));
  rows.push_back(HeaderText("owner", "Tulajdonos", &DatabaseRecord::owner));
  rows.push_back(HeaderText("connection", "Kapcsolat", &DatabaseRecord::connectionName));

  SettingRow lines{std::nullopt, "",           "model", kTypeCaption,
                   kBothModels,  Kind::Number, L::None, kReadOnly | kNotInText | kNotListed};
  lines.get = [](const SettingSource& s, int) {
    return std::to_string(LineCount(s.layout.model()));
  };
  lines.set = [](DatabaseRecord&, const ImageLayout& l, int, const std::string& v) {
    return Refuse("a beállítások a(z) " + v + " vonalas típushoz valók, az adatbázis " +
                  ModelName(l.model()) + " típusú");
  };
  rows.push_back(lines);

  SettingRow name{std::nullopt, "",         "modelName", kTypeCaption,
                  kBothModels,  Kind::Text, L::None,     kReadOnly};
  name.get = [](const SettingSource& s, int) { return std::string(ModelName(s.layout.model())); };
  name.set = [](DatabaseRecord&, const ImageLayout& l, int, const std::string&) {
    return Refuse(std::string("nem egyezik az adatbázis típusával: ") + ModelName(l.model()));
  };
  rows.push_back(name);

  SettingRow version{std::nullopt, "",         "versionText", "Verziószöveg",
                     kBothModels,  Kind::Text, L::None,       kReadOnly | kNotInText};
  version.get = [](const SettingSource& s, int) {
    return Cp1250ToUtf8(s.record.image.VersionText());
  };
  version.set = [](DatabaseRecord& r, const ImageLayout&, int, const std::string&) {
    return Refuse("a készülék írja, nem módosítható (az adatbázisban: \"" +
                  Cp1250ToUtf8(r.image.VersionText()) + "\")");
  };
  rows.push_back(version);

  GeneralRows(rows);
  LineRows(rows);
  for (const ByteFieldRow& box : ByteFields()) {
    if (box.page == static_cast<int>(PageId::Timers))
      rows.push_back(ByteBox(box, nullptr, nullptr));
  }
  NumberPlanRows(rows);
  CodeRows(rows);
  FreeNumberRows(rows);
  CallInRows(rows);
  return rows;
}

}  // namespace

const std::vector<SettingList>& SettingLists() {
  using S = ListStyle;
  constexpr const char* kPort = "Port";
  // clang-format off
  static const std::vector<SettingList> lists = {
    {L::Lines, "", "lines", kPort, nullptr, 2, 1, "port", false, kPort, nullptr, false,
     "a vonal száma", "vonal", "vonal", S::Table, kPort, 6, 2, false, nullptr},
    {L::Exceptions, "numberPlan", "exceptions", "Belföldi kivétel", "Belföldi kivételek", 2, 1,
     nullptr, false, "", nullptr, true, nullptr, nullptr, nullptr, S::Inline, nullptr, 0, 0,
     false, nullptr},
    {L::MobilePrefixes, "numberPlan", "mobilePrefixes", "Mobil prefix", "Mobil prefixek", 1, 1,
     nullptr, false, "", nullptr, true, nullptr, nullptr, nullptr, S::Inline, nullptr, 0, 0,
     false, nullptr},
    {L::InternationalPrefixes, "numberPlan", "internationalPrefixes", "Nemzetközi prefix",
     "Nemzetközi prefixek", 1, 1, nullptr, false, "", nullptr, true, nullptr, nullptr, nullptr,
     S::Inline, nullptr, 0, 0, false, nullptr},
    {L::CodeRows, "codes", "table", kCodeCaption, PageCaption(PageId::Codes), 4, 1, "row", true, "", "count", false,
     "a kód sorszáma", "sor", "kód", S::Table, "#", 6, 1, true, nullptr},
    {L::FreeNumbers, "", "freeNumbers", "Kód nélkül hívható szám", "Kód nélkül hívható számok", 3,
     1, nullptr, false, "", nullptr, false, nullptr, nullptr, nullptr, S::OnePerLine, nullptr, 0,
     0, false, nullptr},
    {L::ForbiddenAreaCodes, "callIn", "forbiddenAreaCodes", "Tiltott körzetszám",
     "Behívásról tiltott körzetszámok", 2, 1, nullptr, false, "", nullptr, true, nullptr, nullptr,
     nullptr, S::Inline, nullptr, 0, 0, false, kEmptyForbiddenText},
  };
  // clang-format on
  return lists;
}

const SettingList& ListOf(SettingListId id) {
  for (const SettingList& list : SettingLists()) {
    if (list.id == id) return list;
  }
  throw std::logic_error("no such list");
}

const std::vector<SettingRow>& Settings() {
  static const std::vector<SettingRow> rows = BuildRows();
  return rows;
}

const SettingRow* SettingByKey(const std::string& object, const std::string& key) {
  for (const SettingRow& row : Settings()) {
    if (!row.object || row.object != object) continue;
    const char* name = row.key;
    if (!name && row.list != L::None) name = ListOf(row.list).key;
    if (name && key == name) return &row;
  }
  return nullptr;
}

const SettingRow* SettingByControl(const std::string& control) {
  for (const SettingRow& row : Settings()) {
    if (row.box && control == row.box->control) return &row;
  }
  return nullptr;
}

int EntryCount(const SettingRow& row, const SettingSource& s) {
  switch (row.list) {
    case L::None:
      return 1;
    case L::Lines:
      return static_cast<int>(s.view.lines.size());
    case L::Exceptions:
      return static_cast<int>(s.view.exceptions.size());
    case L::MobilePrefixes:
      return s.view.prefixes ? static_cast<int>(s.view.prefixes->mobile.size()) : 0;
    case L::InternationalPrefixes:
      return s.view.prefixes ? static_cast<int>(s.view.prefixes->international.size()) : 0;
    case L::CodeRows:
      return s.view.codeCount;
    case L::FreeNumbers:
      return static_cast<int>(s.view.freeNumbers.size());
    case L::ForbiddenAreaCodes:
      return static_cast<int>(s.view.callIn.forbidden.size());
  }
  return 0;
}

bool EntryListed(const SettingRow& row, DeviceModel model, int index) {
  return !(row.flags & kSharedByLines4) || !IsFour(model) || index == 1;
}

std::string PageHeading(PageId page, const SettingSource& s) {
  if (page == PageId::Codes) {
    return std::to_string(s.view.codeCount) + " kód, " + std::to_string(s.view.codeLength) +
           " jegyű";
  }
  if (page == PageId::Numbers) {
    return std::string(ListOf(L::FreeNumbers).caption) + ": " +
           std::to_string(s.view.freeNumbers.size());
  }
  return "";
}

const char* PageName(const SettingRow& row) {
  return row.page ? PageCaption(*row.page) : kRecordPage;
}

std::string EntryLabel(const SettingList& list, int index) {
  return std::string(list.entryCaption) + " " + Numbered(index, list.digits);
}

std::string SettingLabel(const SettingRow& row, int index) {
  std::string label = row.caption;
  if (row.box && row.box->timerSet != 0) label += " (#" + std::to_string(row.box->timerSet) + ")";
  if (row.list == L::None) return label;
  const SettingList& list = ListOf(row.list);
  const std::string entry = EntryLabel(list, index);
  // The list's own value is named by the entry; the others add their caption.
  if (std::string(row.caption) == list.entryCaption) return entry;
  return entry + ", " + label;
}

bool SameValue(const SettingRow& row, const std::string& a, const std::string& b) {
  if (row.kind == Kind::Number) {
    long x = 0, y = 0;
    if (ParseNumber(a, x) && ParseNumber(b, y)) return x == y;
  }
  if (row.flags & kBlankPadded) return RightTrimmed(a) == RightTrimmed(b);
  return a == b;
}

const char* YesNo(bool b) {
  return b ? kYes : kNo;
}

const char* PageCaption(PageId page) {
  static const char* const captions[] = {"Alap",  "Vonalak", "Időzítők", "Számhosszak",
                                         "Kódok", "Számok",  "Behívás",  "Terminál"};
  const int i = static_cast<int>(page);
  return i >= 0 && i < kPageCount ? captions[i] : "";
}

std::optional<GroupRefusal> StoreCodeSettings(DatabaseRecord& record, const ImageLayout& layout,
                                              const std::vector<GivenValue>& values) {
  ConfigImage& image = record.image;
  const ImageView v = Decoded(record, layout);
  int count = v.codeCount;
  int length = v.codeLength;
  int countAt = -1, lengthAt = -1;
  const std::vector<std::string>& headings = RightHeadings();
  // The grid as the page holds it; it keeps its texts through a change of size.
  CodeGrid grid = v.codes;
  bool rowsChanged = false;
  for (size_t i = 0; i < values.size(); ++i) {
    const GivenValue& given = values[i];
    const std::string key = given.row->key ? given.row->key : "";
    if (key == "count" || key == "codeLength") {
      long n = 0;
      if (!ParseNumber(given.value, n))
        return GroupRefusal{"egész számot vár", static_cast<int>(i), ""};
      const int wanted = static_cast<int>(std::clamp(n, -1L, 100000L));  // the model checks
      (key == "count" ? count : length) = wanted;
      (key == "count" ? countAt : lengthAt) = static_cast<int>(i);
    }
  }
  const bool countChanged = count != v.codeCount;
  const bool sizeChanged = countChanged || length != v.codeLength;
  // A length the box would not take first, so that the rows below are measured against a
  // sound one; the rest of the rule comes when the size is stored.
  if (auto bad = CheckCodeLength(image, layout, length)) return GroupRefusal{*bad, lengthAt, ""};
  for (size_t i = 0; i < values.size(); ++i) {
    const GivenValue& given = values[i];
    if (given.row->list != L::CodeRows) continue;
    const int k = given.index;
    if (k < 1 || k > count) {
      return GroupRefusal{
          "nincs ilyen sor: \"" + std::to_string(k) + "\" (" + std::to_string(count) + " kód van)",
          static_cast<int>(i), ""};
    }
    CodeRow& row = grid.row(k);
    const std::string key = given.row->key;
    if (key == "code") {
      std::string bad;
      const auto text = Utf8ToCp1250(given.value, &bad);
      if (!text) return GroupRefusal{UnencodableMessage(bad), static_cast<int>(i), ""};
      if (*text == row.code) continue;
      const std::string digits = RightTrimmed(*text);
      if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return GroupRefusal{"a kód csak számjegyekből állhat", static_cast<int>(i), ""};
      row.code = *text;
      rowsChanged = true;
    } else {
      const size_t r = static_cast<size_t>(
          std::find(headings.begin(), headings.end(), given.row->caption) - headings.begin());
      if (r >= 4) continue;
      const bool granted = given.value == kYes;
      if (granted != (row.rights[r] == kYes)) {
        row.rights[r] = granted ? kYes : kNo;
        rowsChanged = true;
      }
    }
  }
  if (!sizeChanged && !rowsChanged) return std::nullopt;
  const int sizeAt = countChanged ? countAt : lengthAt;
  // Storing cuts every code to the code length; a code that does not fit is not cut.
  for (int k = 1; k <= count; ++k) {
    const std::string code = RightTrimmed(grid.row(k).code);
    if (static_cast<int>(code.size()) > length) {
      return GroupRefusal{
          "\"" + Cp1250ToUtf8(code) + "\" nem fér el " + std::to_string(length) + " jegyen",
          sizeChanged ? sizeAt : -1, EntryLabel(ListOf(L::CodeRows), k)};
    }
  }
  // The Preferences dialog's rule: a new length re-lays the table with the codes as given.
  if (sizeChanged) {
    if (auto bad = StoreCodeSize(image, layout, count, length, grid))
      return GroupRefusal{*bad, sizeAt, ""};
  }
  // With no codes there is no grid row to store; the page would store its blank row only
  // when the grid is left.
  if (rowsChanged && count > 0) {
    grid.setRowCount(count + 1);
    EncodeCodeTable(image, layout, grid);
  }
  return std::nullopt;
}

std::optional<GroupRefusal> StoreFreeNumberList(DatabaseRecord& record, const ImageLayout& layout,
                                                const std::vector<GivenValue>& values) {
  const ImageView v = Decoded(record, layout);
  std::vector<std::string> wanted, current;
  for (size_t i = 0; i < values.size(); ++i) {
    std::string bad;
    const auto text = Utf8ToCp1250(values[i].value, &bad);
    if (!text) return GroupRefusal{UnencodableMessage(bad), static_cast<int>(i), ""};
    wanted.push_back(*text);
  }
  for (const auto& entry : v.freeNumbers) current.push_back(RightTrimmed(entry));
  // Writing the list back would close the gaps between entries: only a change is stored.
  if (wanted == current) return std::nullopt;
  const size_t capacity = static_cast<size_t>(FreeNumberCapacity(layout));
  if (wanted.size() > capacity) {
    return GroupRefusal{"legfeljebb " + std::to_string(capacity) + " szám fér el, " +
                            std::to_string(wanted.size()) + " van megadva",
                        -1, ""};
  }
  std::vector<std::string> entries;
  std::vector<bool> added;
  // Each stored entry is kept at most once: a second copy of a number the list holds is a
  // new number, and the duplicate check below refuses it as "&Uj szám" would.
  std::vector<bool> kept(current.size(), false);
  for (size_t i = 0; i < wanted.size(); ++i) {
    // A number the list already has keeps its entry as stored.
    size_t same = 0;
    while (same < current.size() && (kept[same] || current[same] != wanted[i])) ++same;
    if (same < current.size()) {
      kept[same] = true;
      entries.push_back(v.freeNumbers[same]);
      added.push_back(false);
      continue;
    }
    if (auto bad = Typable(wanted[i], wanted[i].size()))
      return GroupRefusal{bad->message, static_cast<int>(i), ""};
    const std::string entry = NormalizeNumber16(wanted[i]);  // as "&Uj szám" does
    if (entry.size() > static_cast<size_t>(kFreeNumberWidth)) {
      return GroupRefusal{
          "legfeljebb " + std::to_string(kFreeNumberWidth) + " karakter lehet (szóközök nélkül)",
          static_cast<int>(i), ""};
    }
    if (entry.find_first_not_of(' ') == std::string::npos)
      return GroupRefusal{"üres szám", static_cast<int>(i), ""};
    entries.push_back(entry);
    added.push_back(true);
  }
  // The refusal names the new number: the later of two new ones, or the one that repeats
  // a number the list keeps.
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!added[i]) continue;
    for (size_t j = 0; j < entries.size(); ++j) {
      if (j != i && entries[j] == entries[i] && (j < i || !added[j])) {
        return GroupRefusal{std::string(kDuplicateNumberMessage) + " (\"" +
                                Cp1250ToUtf8(RightTrimmed(entries[i])) + "\")",
                            static_cast<int>(i), ""};
      }
    }
  }
  FlushFreeNumbers(record.image, layout, entries);
  return std::nullopt;
}

}  // namespace tarvelo
