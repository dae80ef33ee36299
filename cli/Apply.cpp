#include "cli/Apply.h"

#include <algorithm>
#include <array>
#include <iostream>
#include <map>
#include <optional>
#include <set>

#include "cli/Args.h"
#include "cli/Diff.h"
#include "cli/OpenDatabase.h"
#include "files/DatabaseFile.h"
#include "files/SafeFile.h"
#include "model/CodeSize.h"
#include "model/Codecs.h"
#include "model/FreeNumbers.h"
#include "model/ImageView.h"
#include "model/Text.h"

namespace tarvelo {
namespace {

using Kind = JsonValue::Kind;

struct Refused {
  std::string message;
};

std::string Utf8(const std::string& cp1250) {
  return Cp1250ToUtf8(cp1250);
}

std::string RightTrimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string Numbered(long n, size_t width) {
  std::string text = std::to_string(n);
  if (text.size() < width) text.insert(0, width - text.size(), '0');
  return text;
}

std::string Member(const std::string& path, const char* key) {
  return path.empty() ? std::string(key) : path + "." + key;
}

std::string Element(const std::string& path, size_t i) {
  return path + "[" + std::to_string(i) + "]";
}

std::string ByteFieldLabel(const ByteFieldRow& row) {
  std::string label = row.label;
  if (!label.empty() && label.back() == ':') label.pop_back();
  if (row.timerSet != 0) label += " (#" + std::to_string(row.timerSet) + ")";
  return label;
}

class Applier {
 public:
  Applier(DatabaseRecord& record, const ImageLayout& layout)
      : record_(record), image_(record.image), layout_(layout), model_(layout.model()) {}

  void Run(const JsonValue& root) {
    View();  // the decode the pages start from repairs a code table that does not fit
    Object(root, "",
           {"site", "owner", "connection", "model", "modelName", "versionText", "general", "lines",
            "byteFields", "numberPlan", "codes", "freeNumbers", "callIn", "warnings"});
    Identity(root);
    HeaderText(root, "site", "Telepítés", record_.site);
    HeaderText(root, "owner", "Tulajdonos", record_.owner);
    HeaderText(root, "connection", "Kapcsolat", record_.connectionName);
    // The CO character count goes first: the CO numbers are cut with it.
    General(root);
    ByteFields(root);
    Lines(root);
    NumberPlan(root);
    Codes(root);
    FreeNumbers(root);
    CallIn(root);
  }

 private:
  [[noreturn]] void Refuse(const std::string& path, const std::string& label,
                           const std::string& message) const {
    std::string where = path;
    if (!label.empty()) where += " (" + label + ")";
    throw Refused{where + ": " + message};
  }

  void Check(const Refusal& refusal, const std::string& path, const std::string& label) const {
    if (refusal) Refuse(path, label, *refusal);
  }

  [[noreturn]] void NotInModel(const std::string& path) const {
    Refuse(path, "", std::string("ilyen mező a(z) ") + ModelName(model_) + " típusban nincs");
  }

  // What the page shows after storing must be what was asked for (UTF-8 texts).
  void Stored(const std::string& wanted, const std::string& got, const std::string& path,
              const std::string& label) const {
    if (wanted != got) {
      Refuse(path, label, "\"" + wanted + "\" így nem tárolható, \"" + got + "\" lenne belőle");
    }
  }

  ImageView View() { return DecodeImageView(image_, layout_); }

  void Object(const JsonValue& v, const std::string& path,
              std::initializer_list<const char*> keys) const {
    if (v.kind != Kind::Object) Refuse(path.empty() ? "(gyökér)" : path, "", "objektumot vár");
    for (const auto& member : v.members) {
      const bool known =
          std::any_of(keys.begin(), keys.end(), [&](const char* k) { return member.key == k; });
      if (!known) Refuse(Member(path, member.key.c_str()), "", "ismeretlen kulcs");
    }
  }

  const std::vector<JsonValue>& Array(const JsonValue& v, const std::string& path,
                                      const std::string& label, size_t exactly = 0) const {
    if (v.kind != Kind::Array) Refuse(path, label, "listát vár");
    if (exactly != 0 && v.items.size() != exactly) {
      Refuse(path, label,
             std::to_string(exactly) + " elemet vár, " + std::to_string(v.items.size()) +
                 " van benne");
    }
    return v.items;
  }

  bool Bool(const JsonValue& v, const std::string& path, const std::string& label) const {
    if (v.kind != Kind::Bool) Refuse(path, label, "true vagy false értéket vár");
    return v.boolean;
  }

  const std::string& Utf8Text(const JsonValue& v, const std::string& path,
                              const std::string& label) const {
    if (v.kind != Kind::String) Refuse(path, label, "szöveget vár");
    return v.text;
  }

  // A text for the image or the record, in its code page.
  std::string Text(const JsonValue& v, const std::string& path, const std::string& label) const {
    std::string bad;
    const auto text = Utf8ToCp1250(Utf8Text(v, path, label), &bad);
    if (!text) Refuse(path, label, UnencodableMessage(bad));
    return *text;
  }

  // A new text must be one the page's edit box could have taken.
  void NoControls(const std::string& text, const std::string& path,
                  const std::string& label) const {
    for (unsigned char c : text) {
      if (c < 0x20) Refuse(path, label, "vezérlőkarakter nem lehet benne");
    }
  }

  void MaxLength(const std::string& text, size_t max, const std::string& path,
                 const std::string& label) const {
    if (text.size() > max) {
      Refuse(path, label, "legfeljebb " + std::to_string(max) + " karakter lehet");
    }
  }

  // What a user would have typed into the box: a number as written, or a text.
  std::string Typed(const JsonValue& v, const std::string& path, const std::string& label) const {
    if (v.kind != Kind::Number && v.kind != Kind::String) Refuse(path, label, "számot vár");
    return v.text;
  }

  int Item(const std::vector<std::string>& items, const JsonValue& v, const std::string& path,
           const std::string& label) const {
    const std::string& text = Utf8Text(v, path, label);
    const auto it = std::find(items.begin(), items.end(), text);
    if (it == items.end()) {
      std::string choices;
      for (const auto& item : items) choices += (choices.empty() ? "" : ", ") + item;
      Refuse(path, label, "ismeretlen érték: \"" + text + "\" (lehet: " + choices + ")");
    }
    return static_cast<int>(it - items.begin());
  }

  void Identity(const JsonValue& root) {
    if (const JsonValue* m = root.Find("model")) {
      const std::string lines = Typed(*m, "model", "Típus");
      if (lines != std::to_string(LineCount(model_))) {
        Refuse("model", "Típus",
               "a beállítások a(z) " + lines + " vonalas típushoz valók, az adatbázis " +
                   ModelName(model_) + " típusú");
      }
    }
    if (const JsonValue* m = root.Find("modelName")) {
      if (Utf8Text(*m, "modelName", "Típus") != ModelName(model_)) {
        Refuse("modelName", "Típus",
               std::string("nem egyezik az adatbázis típusával: ") + ModelName(model_));
      }
    }
    if (const JsonValue* m = root.Find("versionText")) {
      const std::string stored = Utf8(image_.VersionText());
      if (Utf8Text(*m, "versionText", "Verziószöveg") != stored) {
        Refuse("versionText", "Verziószöveg",
               "a készülék írja, nem módosítható (az adatbázisban: \"" + stored + "\")");
      }
    }
    // The code-table repairs of the decode that show reported: not settings.
    if (const JsonValue* w = root.Find("warnings")) Array(*w, "warnings", "");
  }

  void HeaderText(const JsonValue& root, const char* key, const char* label, ShortString& field) {
    const JsonValue* v = root.Find(key);
    if (!v) return;
    const std::string text = Text(*v, key, label);
    if (text == field.text()) return;
    NoControls(text, key, label);
    MaxLength(text, 255, key, label);
    field.set(text);
  }

  // A byte-valued edit box, through the pages' shared check. The two boxes of page "&Alap"
  // appear twice in show's output; the two values must agree.
  void ByteValue(const JsonValue& v, Field field, const std::string& path) {
    const ByteFieldRow& row = ByteFieldOf(field);
    const std::string label = ByteFieldLabel(row);
    if (!layout_.Has(field)) NotInModel(path);
    Check(TestByteRange(image_, layout_, field, Typed(v, path, label)), path, label);
    const int value = image_.ImageByte(layout_.Offset(field));
    const auto [it, fresh] = byteSources_.try_emplace(field, value, path);
    if (!fresh && it->second.first != value) {
      Refuse(path, label,
             "ellentmond ennek: " + it->second.second + " = " + std::to_string(it->second.first));
    }
  }

  void General(const JsonValue& root) {
    const JsonValue* g = root.Find("general");
    if (!g) return;
    Object(*g, "general",
           {"smdrSpeed", "parity", "smdrMode", "below20h", "coPosition", "coCharCount",
            "calledPosition", "recordTerminator", "numberTerminator", "pinEnable", "dstChange",
            "dosUpload"});
    const GeneralSettings cur = View().general;

    const auto& speeds = SmdrSpeedItems(model_);
    SmdrFormatChoice format = cur.format;
    if (const JsonValue* v = g->Find("smdrSpeed"))
      format.speed = Item(speeds, *v, "general.smdrSpeed", "SMDR sebesség");
    if (const JsonValue* v = g->Find("parity"))
      format.parity = Item(ParityItems(), *v, "general.parity", "Paritás");
    if (!(format == cur.format)) {
      // Neither model has a place for every parity: the page would store another one.
      EncodeSmdrFormat(image_, layout_, format);
      const SmdrFormatChoice got = DecodeSmdrFormat(image_, layout_);
      Stored(speeds[format.speed], speeds[got.speed], "general.smdrSpeed", "SMDR sebesség");
      Stored(ParityItems()[format.parity], ParityItems()[got.parity], "general.parity", "Paritás");
    }

    SmdrModeChoice mode = cur.mode;
    if (const JsonValue* v = g->Find("smdrMode"))
      mode.mode = Item(SmdrModeItems(model_), *v, "general.smdrMode", "SMDR mód");
    if (const JsonValue* v = g->Find("below20h"))
      mode.below20h = Item(Below20hItems(), *v, "general.below20h", "20hex alatti karakterek");
    if (!(mode == cur.mode)) EncodeSmdrMode(image_, layout_, mode);

    if (const JsonValue* v = g->Find("coPosition"))
      ByteValue(*v, Field::CoPosition, "general.coPosition");
    if (const JsonValue* v = g->Find("calledPosition"))
      ByteValue(*v, Field::CalledPosition, "general.calledPosition");

    if (const JsonValue* v = g->Find("coCharCount")) {
      const std::string path = "general.coCharCount";
      long n = 0;
      const bool number = ParseWholeNumber(TrimBlanks(Typed(*v, path, "CO karakterszám")), n);
      // Anything but 1..4 is "nothing selected" to the page's check.
      const int index = number && n >= 1 && n <= 4 ? static_cast<int>(n - 1) : -1;
      // `show` gives the width the numbers are cut with; a stored count outside 1..4 that
      // cuts them at the given width is already what the JSON asks for.
      const bool alreadyCut = number && n == CoNumberWidth(image_, layout_);
      if (index != cur.coCharCountIndex && !alreadyCut)
        Check(EncodeCoCharCount(image_, layout_, index), path, "CO karakterszám");
    }
    if (const JsonValue* v = g->Find("recordTerminator")) {
      const std::string path = "general.recordTerminator";
      Check(EncodeRecordTerminator(image_, layout_, Typed(*v, path, "Rekord záró kód")), path,
            "Rekord záró kód");
    }
    if (const JsonValue* v = g->Find("numberTerminator")) {
      const std::string path = "general.numberTerminator";
      const std::string label = "Számzáró kód";
      if (!layout_.Has(Field::NumberTerminator)) NotInModel(path);
      const std::string text = Text(*v, path, label);
      if (text != std::string(1, cur.numberTerminator)) {
        // The box holds one character; a longer text gets the page's answer to a bad one.
        Check(EncodeNumberTerminator(image_, layout_, text.size() == 1 ? text : std::string()),
              path, label);
      }
    }

    const std::pair<const char*, const char*> switches[] = {
        {"pinEnable", "Pinkód engedélyezés"},
        {"dstChange", "Átállás a téli/nyári időszámításra"},
        {"dosUpload", "DOS feltöltési protokoll engedélyezés"}};
    Switches wanted = cur.switches.value_or(Switches{});
    bool* targets[] = {&wanted.pinEnable, &wanted.dstChange, &wanted.dosUpload};
    for (size_t i = 0; i < std::size(switches); ++i) {
      const JsonValue* v = g->Find(switches[i].first);
      if (!v) continue;
      const std::string path = Member("general", switches[i].first);
      if (!cur.switches) NotInModel(path);
      *targets[i] = Bool(*v, path, switches[i].second);
    }
    if (cur.switches && !(wanted == *cur.switches)) EncodeSwitchBits(image_, layout_, wanted);
  }

  void ByteFields(const JsonValue& root) {
    const JsonValue* list = root.Find("byteFields");
    if (!list) return;
    const auto& items = Array(*list, "byteFields", "");
    for (size_t i = 0; i < items.size(); ++i) {
      const std::string path = Element("byteFields", i);
      const JsonValue& item = items[i];
      Object(item, path, {"control", "label", "unit", "offset", "value"});
      const JsonValue* control = item.Find("control");
      if (!control) Refuse(path, "", "hiányzik a control kulcs (a mező neve)");
      const std::string& name = Utf8Text(*control, Member(path, "control"), "");
      const auto& rows = tarvelo::ByteFields();
      const auto row = std::find_if(rows.begin(), rows.end(),
                                    [&](const ByteFieldRow& r) { return name == r.control; });
      if (row == rows.end()) Refuse(Member(path, "control"), "", "ismeretlen mező: " + name);
      if (!layout_.Has(row->field)) NotInModel(path);
      // The descriptive keys say which box the entry is; one that does not fit is a mistake.
      const std::pair<const char*, std::string> described[] = {
          {"label", row->label},
          {"unit", row->hint},
          {"offset", std::to_string(layout_.Offset(row->field))}};
      for (const auto& [key, expected] : described) {
        const JsonValue* v = item.Find(key);
        if (!v) continue;
        const std::string given =
            v->kind == Kind::Number ? v->text : Utf8Text(*v, Member(path, key), "");
        if (given != expected) {
          Refuse(Member(path, key), ByteFieldLabel(*row),
                 "nem egyezik a " + name + " mezőével: \"" + expected + "\"");
        }
      }
      if (const JsonValue* v = item.Find("value")) ByteValue(*v, row->field, Member(path, "value"));
    }
  }

  void Lines(const JsonValue& root) {
    const JsonValue* list = root.Find("lines");
    if (!list) return;
    const auto& items = Array(*list, "lines", "");
    const ImageView v = View();
    const bool four = model_ == DeviceModel::FourLine;
    const int count = LineCount(model_);
    std::set<long> seen;
    std::array<LineControls16, 16> controls{};
    bool changed16 = false;
    // The 4-line model has one dial and one seize mode for all lines: every line given must
    // name the same one.
    std::optional<std::pair<int, std::string>> dial4, seize4;
    auto shared = [&](std::optional<std::pair<int, std::string>>& slot, int index,
                      const std::string& path, const std::string& label) {
      if (slot && slot->first != index) {
        Refuse(path, label,
               "a 4 vonalas típusban minden vonalé azonos; ellentmond ennek: " + slot->second);
      }
      slot = {index, path};
    };

    for (size_t i = 0; i < items.size(); ++i) {
      const std::string path = Element("lines", i);
      const JsonValue& item = items[i];
      Object(item, path, {"port", "coNumber", "dial", "seize", "timerSet", "subLine", "callIn"});
      const JsonValue* portValue = item.Find("port");
      if (!portValue) Refuse(path, "", "hiányzik a port kulcs (a vonal száma)");
      const std::string portText = Typed(*portValue, Member(path, "port"), "Port");
      long n = 0;
      if (!ParseWholeNumber(portText, n) || n < 1 || n > count) {
        Refuse(Member(path, "port"), "Port",
               "nincs ilyen vonal: \"" + portText + "\" (" + std::to_string(count) + " vonal van)");
      }
      if (!seen.insert(n).second) Refuse(Member(path, "port"), "Port", "kétszer szerepel");
      const LineView& cur = v.lines[n - 1];
      const std::string port = "Port " + Numbered(n, 2) + ", ";
      const int line = static_cast<int>(n);
      LineControls16& c = controls[n - 1];

      if (const JsonValue* x = item.Find("coNumber")) {
        const std::string p = Member(path, "coNumber");
        const std::string label = port + "CO szám";
        const std::string text = Text(*x, p, label);
        const size_t width = static_cast<size_t>(CoNumberWidth(image_, layout_));
        std::string padded = text;
        if (padded.size() < width) padded.resize(width, ' ');
        if (padded != cur.coNumber) {
          NoControls(text, p, label);
          if (text.size() > width) {
            Refuse(p, label,
                   "legfeljebb " + std::to_string(width) + " karakter lehet (CO karakterszám)");
          }
          EncodeCoNumber(image_, layout_, line, text);
        }
      }
      if (const JsonValue* x = item.Find("dial")) {
        const std::string p = Member(path, "dial");
        const std::string label = port + "Tárcsázás";
        const int index = Item(DialItems(model_, four ? 1 : line), *x, p, label);
        if (four) {
          shared(dial4, index, p, label);
        } else if (index != cur.dial) {
          c.dial = index;
        }
      }
      if (const JsonValue* x = item.Find("seize")) {
        const std::string p = Member(path, "seize");
        const std::string label = port + "Vonalfogás";
        const int index = Item(SeizeItems(), *x, p, label);
        if (four) {
          shared(seize4, index, p, label);
        } else if (index != cur.seize) {
          c.seize = index;
        }
      }
      if (const JsonValue* x = item.Find("timerSet")) {
        const std::string p = Member(path, "timerSet");
        if (four) NotInModel(p);
        const int index = Item(TimerSetItems(), *x, p, port + "Időzítők");
        if (index != cur.timerSet) c.timerSet = index;
      }
      if (const JsonValue* x = item.Find("subLine")) {
        const bool checked = Bool(*x, Member(path, "subLine"), port + "Alvonal");
        if (checked != cur.subLine) {
          if (four) {
            EncodeLineBit4(image_, layout_, false, line, checked);
          } else {
            c.subLine = checked;
          }
        }
      }
      if (const JsonValue* x = item.Find("callIn")) {
        const bool checked = Bool(*x, Member(path, "callIn"), port + "Behívás");
        if (checked != cur.callIn) {
          if (four) {
            EncodeLineBit4(image_, layout_, true, line, checked);
          } else {
            c.callIn = checked;
          }
        }
      }
      changed16 = changed16 || c.seize || c.dial || c.timerSet || c.subLine || c.callIn;
    }
    // A line whose controls all stay as they are keeps its byte, device bits included.
    if (changed16) EncodeLines16(image_, layout_, controls);
    if (four && !v.lines.empty()) {
      if (dial4 && dial4->first != v.lines[0].dial) EncodeDialMode4(image_, layout_, dial4->first);
      if (seize4 && seize4->first != v.lines[0].seize)
        EncodeSeizeMode4(image_, layout_, seize4->first);
    }
  }

  struct Expected {
    std::string path, label, value;
    int index;
  };

  void NumberPlan(const JsonValue& root) {
    const JsonValue* plan = root.Find("numberPlan");
    if (!plan) return;
    Object(*plan, "numberPlan", {"exceptions", "mobilePrefixes", "internationalPrefixes"});
    const ImageView v = View();
    const bool four = model_ == DeviceModel::FourLine;
    std::vector<std::string> texts = v.exceptionTexts;
    Prefixes prefixes = v.prefixes.value_or(Prefixes{});
    bool store4 = false;
    std::vector<Expected> exceptions, mobile, international;

    if (const JsonValue* list = plan->Find("exceptions")) {
      const auto& items =
          Array(*list, "numberPlan.exceptions", "Belföldi kivételek", kExceptionCount);
      for (size_t i = 0; i < items.size(); ++i) {
        const std::string path = Element("numberPlan.exceptions", i);
        const std::string label = "Belföldi kivétel " + Numbered(static_cast<long>(i + 1), 2);
        Object(items[i], path, {"areaCode", "length"});
        const ExceptionCells& cur = v.exceptions[i];
        std::string area = cur.areaCode;
        std::string length = cur.length;
        if (const JsonValue* x = items[i].Find("areaCode"))
          area = Text(*x, Member(path, "areaCode"), label);
        if (const JsonValue* x = items[i].Find("length"))
          length = Typed(*x, Member(path, "length"), label);
        if (area == cur.areaCode && length == cur.length) continue;
        NoControls(area, Member(path, "areaCode"), label);
        // A length left as the entry had it is not checked again, as on the page.
        const LengthInput input =
            length == cur.length ? LengthInput::AsSelected : LengthInput::Typed;
        const int index = static_cast<int>(i);
        if (four) {
          MaxLength(area, 4, Member(path, "areaCode"), label);
          std::string text;
          Check(MakeExceptionText(area, length, input, text), Member(path, "length"), label);
          texts[i] = text;
          store4 = true;
          exceptions.push_back({path, label, text.substr(0, 4) + ":" + text.substr(4), index});
        } else if (area == "00" && TrimBlanks(length) == "255") {
          // What "&Törlés" leaves behind, and how the list shows it.
          DeleteException16(image_, layout_, index);
          exceptions.push_back({path, label, "00:255", index});
        } else {
          Check(EditException16(image_, layout_, index, area, length, input),
                Member(path, "length"), label);
          std::string shown = cur.length;
          if (input == LengthInput::Typed) {
            shown = TrimBlanks(length);
            if (shown.size() < 2) shown.insert(0, 2 - shown.size(), '0');
          }
          exceptions.push_back({path, label, area + ":" + shown, index});
        }
      }
    }

    auto prefixList = [&](const char* key, const char* label, auto& target, size_t width,
                          std::vector<Expected>& expected) {
      const JsonValue* list = plan->Find(key);
      if (!list) return;
      const std::string path = Member("numberPlan", key);
      if (!four) NotInModel(path);
      const auto& items = Array(*list, path, label, target.size());
      for (size_t k = 0; k < items.size(); ++k) {
        const std::string p = Element(path, k);
        const std::string l = std::string(label) + " " + std::to_string(k + 1);
        const std::string text = Text(items[k], p, l);
        if (text == target[k]) continue;
        NoControls(text, p, l);
        MaxLength(text, width, p, l);
        target[k] = text;
        store4 = true;
        expected.push_back({p, l, CompletePrefix(text, width), static_cast<int>(k)});
      }
    };
    prefixList("mobilePrefixes", "Mobil prefix", prefixes.mobile, 4, mobile);
    prefixList("internationalPrefixes", "Nemzetközi prefix", prefixes.international, 2,
               international);
    if (store4) {
      Check(StoreNumberPlan4(image_, layout_, texts, prefixes), "numberPlan", "Számhosszak");
    }

    // The page takes any character into an area code or prefix and keeps its low four bits.
    const ImageView after = View();
    for (const auto& e : exceptions) {
      const auto& cells = after.exceptions[e.index];
      Stored(Utf8(e.value), cells.areaCode + ":" + cells.length, e.path, e.label);
    }
    for (const auto& e : mobile)
      Stored(Utf8(e.value), after.prefixes->mobile[e.index], e.path, e.label);
    for (const auto& e : international)
      Stored(Utf8(e.value), after.prefixes->international[e.index], e.path, e.label);
  }

  void Codes(const JsonValue& root) {
    const JsonValue* codes = root.Find("codes");
    if (!codes) return;
    Object(*codes, "codes", {"count", "codeLength", "table"});
    const ImageView v = View();
    int count = v.codeCount;
    int length = v.codeLength;
    auto number = [&](const char* key, const char* label, int& target) {
      const JsonValue* x = codes->Find(key);
      if (!x) return;
      const std::string path = Member("codes", key);
      long n = 0;
      if (!ParseWholeNumber(TrimBlanks(Typed(*x, path, label)), n))
        Refuse(path, label, "egész számot vár");
      target = static_cast<int>(std::clamp(n, -1L, 100000L));  // the range check is the model's
    };
    number("count", "Kódok darabszáma", count);
    number("codeLength", "Kódjegyek száma", length);
    const bool sizeChanged = count != v.codeCount || length != v.codeLength;
    const bool countChanged = count != v.codeCount;
    const char* const sizePath = countChanged ? "codes.count" : "codes.codeLength";
    const char* const sizeLabel = countChanged ? "Kódok darabszáma" : "Kódjegyek száma";
    // A length the box would not take first, so that the rows below are measured against a
    // sound one; the rest of the rule comes when the size is stored.
    Check(CheckCodeLength(image_, layout_, length), "codes.codeLength", "Kódjegyek száma");

    // The grid as the page holds it; it keeps its texts through a change of size.
    CodeGrid grid = v.codes;
    bool rowsChanged = false;
    if (const JsonValue* table = codes->Find("table")) {
      const auto& items = Array(*table, "codes.table", "Kódok");
      std::set<long> seen;
      static const char* const kRights[] = {"local", "longDistance", "mobile", "international"};
      for (size_t i = 0; i < items.size(); ++i) {
        const std::string path = Element("codes.table", i);
        const JsonValue& item = items[i];
        Object(item, path, {"row", "code", "local", "longDistance", "mobile", "international"});
        const JsonValue* rowValue = item.Find("row");
        if (!rowValue) Refuse(path, "", "hiányzik a row kulcs (a kód sorszáma)");
        const std::string rowText = Typed(*rowValue, Member(path, "row"), "");
        long k = 0;
        if (!ParseWholeNumber(rowText, k) || k < 1 || k > count) {
          Refuse(Member(path, "row"), "",
                 "nincs ilyen sor: \"" + rowText + "\" (" + std::to_string(count) + " kód van)");
        }
        if (!seen.insert(k).second) Refuse(Member(path, "row"), "", "kétszer szerepel");
        const std::string label = "Kód " + Numbered(k, 4);
        CodeRow& row = grid.row(static_cast<int>(k));
        if (const JsonValue* x = item.Find("code")) {
          const std::string p = Member(path, "code");
          const std::string text = Text(*x, p, label);
          if (text != row.code) {
            const std::string digits = RightTrimmed(text);
            if (!std::all_of(digits.begin(), digits.end(),
                             [](char ch) { return ch >= '0' && ch <= '9'; })) {
              Refuse(p, label, "a kód csak számjegyekből állhat");
            }
            row.code = text;
            rowsChanged = true;
          }
        }
        for (int r = 0; r < 4; ++r) {
          const JsonValue* x = item.Find(kRights[r]);
          if (!x) continue;
          const bool granted =
              Bool(*x, Member(path, kRights[r]), label + ", " + RightHeadings()[r]);
          if (granted != (row.rights[r] == kYes)) {
            row.rights[r] = granted ? kYes : kNo;
            rowsChanged = true;
          }
        }
      }
    }
    if (!sizeChanged && !rowsChanged) return;
    // Storing cuts every code to the code length; a code that does not fit is not cut.
    for (int k = 1; k <= count; ++k) {
      const std::string code = RightTrimmed(grid.row(k).code);
      if (static_cast<int>(code.size()) > length) {
        Refuse(sizeChanged ? "codes.codeLength" : "codes.table", "Kód " + Numbered(k, 4),
               "\"" + Utf8(code) + "\" nem fér el " + std::to_string(length) + " jegyen");
      }
    }
    // The Preferences dialog's rule: a new length re-lays the table with the codes as given.
    if (sizeChanged) {
      Check(StoreCodeSize(image_, layout_, count, length, grid), sizePath, sizeLabel);
    }
    // With no codes there is no grid row to store; the page would store its blank row only
    // when the grid is left.
    if (rowsChanged && count > 0) {
      grid.setRowCount(count + 1);
      EncodeCodeTable(image_, layout_, grid);
    }
  }

  void FreeNumbers(const JsonValue& root) {
    const JsonValue* list = root.Find("freeNumbers");
    if (!list) return;
    const std::string label = "Kód nélkül hívható számok";
    const auto& items = Array(*list, "freeNumbers", label);
    const ImageView v = View();
    std::vector<std::string> wanted, current;
    for (size_t i = 0; i < items.size(); ++i)
      wanted.push_back(Text(items[i], Element("freeNumbers", i), label));
    for (const auto& entry : v.freeNumbers) current.push_back(RightTrimmed(entry));
    // Writing the list back would close the gaps between entries: only a change is stored.
    if (wanted == current) return;
    const size_t capacity = static_cast<size_t>(FreeNumberCapacity(layout_));
    if (wanted.size() > capacity) {
      Refuse("freeNumbers", label,
             "legfeljebb " + std::to_string(capacity) + " szám fér el, " +
                 std::to_string(wanted.size()) + " van megadva");
    }
    std::vector<std::string> entries;
    std::vector<bool> added;
    // Each stored entry is kept at most once: a second copy of a number the list holds is a
    // new number, and the duplicate check below refuses it as "&Uj szám" would.
    std::vector<bool> kept(current.size(), false);
    for (size_t i = 0; i < wanted.size(); ++i) {
      const std::string path = Element("freeNumbers", i);
      const std::string l = "Kód nélkül hívható szám " + Numbered(static_cast<long>(i + 1), 3);
      // A number the list already has keeps its entry as stored.
      size_t same = 0;
      while (same < current.size() && (kept[same] || current[same] != wanted[i])) ++same;
      if (same < current.size()) {
        kept[same] = true;
        entries.push_back(v.freeNumbers[same]);
        added.push_back(false);
        continue;
      }
      NoControls(wanted[i], path, l);
      const std::string entry = NormalizeNumber16(wanted[i]);  // as "&Uj szám" does
      if (entry.size() > static_cast<size_t>(kFreeNumberWidth)) {
        Refuse(
            path, l,
            "legfeljebb " + std::to_string(kFreeNumberWidth) + " karakter lehet (szóközök nélkül)");
      }
      if (entry.find_first_not_of(' ') == std::string::npos) Refuse(path, l, "üres szám");
      entries.push_back(entry);
      added.push_back(true);
    }
    // The refusal names the new number: the later of two new ones, or the one that repeats
    // a number the list keeps.
    for (size_t i = 0; i < entries.size(); ++i) {
      if (!added[i]) continue;
      for (size_t j = 0; j < entries.size(); ++j) {
        if (j != i && entries[j] == entries[i] && (j < i || !added[j])) {
          Refuse(Element("freeNumbers", i),
                 "Kód nélkül hívható szám " + Numbered(static_cast<long>(i + 1), 3),
                 std::string(kDuplicateNumberMessage) + " (\"" + Utf8(RightTrimmed(entries[i])) +
                     "\")");
        }
      }
    }
    FlushFreeNumbers(image_, layout_, entries);
  }

  void CallIn(const JsonValue& root) {
    const JsonValue* callIn = root.Find("callIn");
    if (!callIn) return;
    Object(*callIn, "callIn", {"number", "foreign", "national", "forbiddenAreaCodes"});
    const ImageView v = View();
    CallInSettings s = v.callIn;
    bool changed = false;
    if (const JsonValue* x = callIn->Find("number")) {
      const std::string label = "Behívószám";
      const std::string text = Text(*x, "callIn.number", label);
      if (text != s.number) {
        NoControls(text, "callIn.number", label);  // a zero byte would end the number
        MaxLength(text, 24, "callIn.number", label);
        s.number = text;
        changed = true;
      }
    }
    if (const JsonValue* x = callIn->Find("foreign")) {
      const bool b = Bool(*x, "callIn.foreign", "Behívás külföldi szám esetén");
      changed = changed || b != s.foreign;
      s.foreign = b;
    }
    if (const JsonValue* x = callIn->Find("national")) {
      const bool b = Bool(*x, "callIn.national", "Behívás belföldi szám esetén");
      changed = changed || b != s.national;
      s.national = b;
    }
    std::vector<Expected> expected;
    if (const JsonValue* list = callIn->Find("forbiddenAreaCodes")) {
      const auto& items = Array(*list, "callIn.forbiddenAreaCodes",
                                "Behívásról tiltott körzetszámok", kForbiddenCount);
      for (size_t k = 0; k < items.size(); ++k) {
        const std::string path = Element("callIn.forbiddenAreaCodes", k);
        const std::string label = "Tiltott körzetszám " + Numbered(static_cast<long>(k + 1), 2);
        const std::string text = Text(items[k], path, label);
        if (text == s.forbidden[k]) continue;
        NoControls(text, path, label);
        MaxLength(text, 2, path, label);
        s.forbidden[k] = CompleteForbiddenEntry(text);  // as "&Felvesz" does
        expected.push_back({path, label, s.forbidden[k], static_cast<int>(k)});
        changed = true;
      }
    }
    if (!changed) return;
    EncodeCallIn(image_, layout_, s);
    const ImageView after = View();
    for (const auto& e : expected)
      Stored(Utf8(e.value), after.callIn.forbidden[e.index], e.path, e.label);
  }

  DatabaseRecord& record_;
  ConfigImage& image_;
  const ImageLayout& layout_;
  DeviceModel model_;
  std::map<Field, std::pair<int, std::string>> byteSources_;
};

// A settings file is a few hundred kilobytes at most; anything much larger is not one.
constexpr size_t kMaxSettingsBytes = 16 * 1024 * 1024;

// Standard input up to one byte past `maxBytes`: what an endless or huge stream costs is
// bounded like a file's. Nothing when it cannot be read.
std::optional<std::string> ReadStandardInput(size_t maxBytes) {
  std::string text;
  char buffer[64 * 1024];
  while (text.size() <= maxBytes) {
    std::cin.read(
        buffer, static_cast<std::streamsize>(std::min(sizeof buffer, maxBytes + 1 - text.size())));
    const std::streamsize n = std::cin.gcount();
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  if (std::cin.bad()) return std::nullopt;
  return text;
}

}  // namespace

Refusal ApplySettings(const JsonValue& settings, DatabaseRecord& record,
                      const ImageLayout& layout) {
  DatabaseRecord work = record;
  try {
    Applier(work, layout).Run(settings);
  } catch (const Refused& refused) {
    return refused.message;
  }
  record = work;
  return std::nullopt;
}

int RunApplyCommand(int argc, char** argv) {
  const Args a = Parse(argc, argv, 2, {"--password", "--model"}, {});
  if (a.positional.size() != 2)
    throw UsageError{"egy beállításfájlt (JSON) és egy adatbázis fájlt kell megadni"};
  const std::string& settingsPath = a.positional[0];
  const std::string& databasePath = a.positional[1];
  const auto forced = ParseModel(a);

  // The settings are read first: a file that is not one costs no password question.
  std::string text;
  if (settingsPath == "-") {
    auto read = ReadStandardInput(kMaxSettingsBytes);
    if (!read) {
      std::cerr << "tarvelo-cli: a szabványos bemenet nem olvasható\n";
      return kFileError;
    }
    if (read->size() > kMaxSettingsBytes) {
      std::cerr << "tarvelo-cli: a szabványos bemenet túl nagy egy beállításfájlnak\n";
      return kFileError;
    }
    text = std::move(*read);
  } else {
    const ReadResult read = ReadRegularFile(settingsPath, kMaxSettingsBytes);
    if (!read.ok) {
      std::cerr << "tarvelo-cli: " << read.message << "\n";
      return kFileError;
    }
    if (!read.whole) {
      std::cerr << "tarvelo-cli: " << settingsPath << ": túl nagy egy beállításfájlnak\n";
      return kFileError;
    }
    text = read.bytes;
  }
  std::string error;
  const auto settings = ParseJson(text, &error);
  if (!settings) {
    std::cerr << "tarvelo-cli: " << settingsPath << ": " << error << "\n";
    return kFileError;
  }

  auto db = OpenDatabase(databasePath, a, "--password", forced);
  if (!db) return kFileError;
  const ImageLayout layout = ImageLayout::For(db->model);
  const ImageView before = DecodeImageView(db->record.image, layout);
  for (const auto& m : before.codeDecode.messages) {
    std::string line = m;
    std::replace(line.begin(), line.end(), '\r', ' ');
    std::cerr << "figyelmeztetés: " << line << "\n";
  }
  DatabaseRecord record = db->record;
  if (const Refusal refused = ApplySettings(*settings, record, layout)) {
    std::cerr << "tarvelo-cli: " << *refused << "\n";
    return kFileError;
  }
  if (record == db->record) return 0;  // nothing to store: the file is left as it is

  ConfigImage shown = record.image;
  const ImageView after = DecodeImageView(shown, layout);
  const std::string changes = DiffText(DiffSettings(FlattenSettings(db->record, layout, before),
                                                    FlattenSettings(record, layout, after), false));
  const SaveResult saved = SaveDatabaseFile(databasePath, record);
  if (!saved.ok) {
    std::cerr << "tarvelo-cli: " << saved.message << "\n";
    return kFileError;
  }
  // Only a change that is in the file is reported as made.
  ReportSaved(changes, databasePath);
  return 0;
}

}  // namespace tarvelo
