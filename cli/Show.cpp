#include "cli/Show.h"

#include <sstream>

#include "cli/Json.h"
#include "model/Text.h"

namespace tarvelo {
namespace {

std::string Utf8(const std::string& cp1250) {
  return Cp1250ToUtf8(cp1250);
}

// A text from the file as the terminal may safely get it: control bytes would drive the
// user's terminal.
std::string Safe(const std::string& cp1250) {
  return Cp1250ToUtf8(EscapeControlBytes(cp1250));
}

std::string RightTrimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

const char* YesNo(bool b) {
  return b ? "Igen" : "Nem";
}

std::string TwoDigit(int n) {
  std::string text = n < 10 ? "0" : "";
  text += std::to_string(n);
  return text;
}

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  quoted += text;
  quoted += '"';
  return quoted;
}

// Pads a UTF-8 text to `width` characters for the text tables.
std::string Pad(const std::string& utf8, size_t width) {
  size_t chars = 0;
  for (unsigned char c : utf8) chars += (c & 0xC0) != 0x80;
  return utf8 + std::string(chars < width ? width - chars : 1, ' ');
}

bool IsFourLine(const ImageLayout& layout) {
  return layout.model() == DeviceModel::FourLine;
}

}  // namespace

std::string ShowText(const DatabaseRecord& record, const ImageLayout& layout, const ImageView& v) {
  std::ostringstream o;
  const auto& g = v.general;
  const DeviceModel model = layout.model();
  o << "Telepítés: " << Safe(record.site.text()) << "\n";
  o << "Tulajdonos: " << Safe(record.owner.text()) << "\n";
  o << "Kapcsolat: " << Safe(record.connectionName.text()) << "\n";
  o << "Típus: " << ModelName(model) << "\n";

  o << "\n[Alap]\n";
  o << "  SMDR sebesség: " << SmdrSpeedItems(model)[g.format.speed] << "\n";
  o << "  Paritás: " << ParityItems()[g.format.parity] << "\n";
  o << "  SMDR mód: " << SmdrModeItems(model)[g.mode.mode] << "\n";
  o << "  20hex alatti karakterek: " << Below20hItems()[g.mode.below20h] << "\n";
  o << "  CO pozíció: " << g.coPosition << "\n";
  // The width the CO numbers are cut with, also for a stored count outside 1..4, so that the
  // count and the numbers shown below it agree.
  o << "  CO karakterszám: " << CoNumberWidth(record.image, layout) << "\n";
  o << "  Hívottszám pozíció: " << g.calledPosition << "\n";
  o << "  Rekord záró kód: " << g.recordTerminator << "\n";
  if (layout.Has(Field::NumberTerminator)) {
    o << "  Számzáró kód: \"" << Safe(std::string(1, g.numberTerminator)) << "\"\n";
  }
  if (g.switches) {
    o << "  Pinkód engedélyezés: " << YesNo(g.switches->pinEnable) << "\n";
    o << "  Átállás a téli/nyári időszámításra: " << YesNo(g.switches->dstChange) << "\n";
    o << "  DOS feltöltési protokoll engedélyezés: " << YesNo(g.switches->dosUpload) << "\n";
  }

  o << "\n[Vonalak]\n  " << Pad("Port", 6) << Pad("CO szám", 9) << Pad("Tárcsázás", 13)
    << Pad("Vonalfogás", 14);
  if (!IsFourLine(layout)) o << Pad("Időzítők", 10);
  o << Pad("Alvonal", 9) << "Behívás\n";
  for (size_t n = 0; n < v.lines.size(); ++n) {
    const auto& l = v.lines[n];
    o << "  " << Pad(TwoDigit(static_cast<int>(n + 1)), 6) << Pad(Quoted(Safe(l.coNumber)), 9)
      << Pad(DialItems(model, IsFourLine(layout) ? 1 : static_cast<int>(n + 1))[l.dial], 13)
      << Pad(SeizeItems()[l.seize], 14);
    if (!IsFourLine(layout)) o << Pad(TimerSetItems()[l.timerSet], 10);
    o << Pad(YesNo(l.subLine), 9) << YesNo(l.callIn) << "\n";
  }

  o << "\n[Időzítők]\n";
  for (const auto& f : v.byteFields) {
    if (f.row->page != 2) continue;
    // The two sets share their labels; the set goes before the colon.
    std::string label = f.row->label;
    if (f.row->timerSet != 0)
      label.insert(label.size() - 1, " (#" + std::to_string(f.row->timerSet) + ")");
    o << "  " << label << " " << f.value << " (" << f.row->hint << ")\n";
  }

  o << "\n[Számhosszak]\n";
  for (const auto& f : v.byteFields) {
    if (f.row->page == 3) o << "  " << f.row->label << " " << f.value << "\n";
  }
  o << "  Belföldi kivételek (Körzetszám:Hossz):";
  for (const auto& e : v.exceptions) o << " " << e.areaCode << ":" << e.length;
  o << "\n";
  if (v.prefixes) {
    o << "  Mobil prefixek:";
    for (const auto& p : v.prefixes->mobile) o << " " << p;
    o << "\n  Nemzetközi prefixek:";
    for (const auto& p : v.prefixes->international) o << " " << p;
    o << "\n";
  }

  o << "\n[Kódok] " << v.codeCount << " kód, " << v.codeLength << " jegyű\n";
  if (v.codeCount > 0) {
    o << "  " << Pad("#", 6) << Pad("Kód", 10);
    for (const auto& h : RightHeadings()) o << Pad(h, 12);
    o << "\n";
    for (int k = 1; k <= v.codeCount; ++k) {
      const auto& row = v.codes.row(k);
      o << "  " << Pad(std::to_string(k), 6) << Pad(Safe(row.code), 10);
      for (const auto& r : row.rights) o << Pad(r, 12);
      o << "\n";
    }
  }

  o << "\n[Számok] Kód nélkül hívható számok: " << v.freeNumbers.size() << "\n";
  for (const auto& n : v.freeNumbers) o << "  " << Safe(RightTrimmed(n)) << "\n";

  o << "\n[Behívás]\n";
  o << "  Behívószám: " << Safe(v.callIn.number) << "\n";
  o << "  Behívás külföldi szám esetén: " << YesNo(v.callIn.foreign) << "\n";
  o << "  Behívás belföldi szám esetén: " << YesNo(v.callIn.national) << "\n";
  o << "  Behívásról tiltott körzetszámok:";
  for (const auto& f : v.callIn.forbidden) {
    if (f != kEmptyForbiddenText) o << " " << f;
  }
  o << "\n";
  return o.str();
}

std::string ShowJson(const DatabaseRecord& record, const ImageLayout& layout, const ImageView& v) {
  JsonWriter j;
  const auto& g = v.general;
  const DeviceModel model = layout.model();
  j.BeginObject();
  j.String("site", Utf8(record.site.text()));
  j.String("owner", Utf8(record.owner.text()));
  j.String("connection", Utf8(record.connectionName.text()));
  j.Number("model", LineCount(model));
  j.String("modelName", ModelName(model));
  j.String("versionText", Utf8(record.image.VersionText()));

  j.BeginObject("general");
  j.String("smdrSpeed", SmdrSpeedItems(model)[g.format.speed]);
  j.String("parity", ParityItems()[g.format.parity]);
  j.String("smdrMode", SmdrModeItems(model)[g.mode.mode]);
  j.String("below20h", Below20hItems()[g.mode.below20h]);
  j.Number("coPosition", g.coPosition);
  j.Number("coCharCount", CoNumberWidth(record.image, layout));
  j.Number("calledPosition", g.calledPosition);
  j.Number("recordTerminator", g.recordTerminator);
  if (layout.Has(Field::NumberTerminator))
    j.String("numberTerminator", std::string(1, g.numberTerminator));
  if (g.switches) {
    j.Bool("pinEnable", g.switches->pinEnable);
    j.Bool("dstChange", g.switches->dstChange);
    j.Bool("dosUpload", g.switches->dosUpload);
  }
  j.EndObject();

  j.BeginArray("lines");
  for (size_t n = 0; n < v.lines.size(); ++n) {
    const auto& l = v.lines[n];
    j.BeginObject();
    j.String("port", TwoDigit(static_cast<int>(n + 1)));
    j.String("coNumber", Utf8(l.coNumber));
    j.String("dial", DialItems(model, IsFourLine(layout) ? 1 : static_cast<int>(n + 1))[l.dial]);
    j.String("seize", SeizeItems()[l.seize]);
    if (!IsFourLine(layout)) j.String("timerSet", TimerSetItems()[l.timerSet]);
    j.Bool("subLine", l.subLine);
    j.Bool("callIn", l.callIn);
    j.EndObject();
  }
  j.EndArray();

  j.BeginArray("byteFields");
  for (const auto& f : v.byteFields) {
    j.BeginObject();
    j.String("control", f.row->control);
    j.String("label", f.row->label);
    j.String("unit", f.row->hint);
    j.Number("offset", f.offset);
    j.Number("value", f.value);
    j.EndObject();
  }
  j.EndArray();

  j.BeginObject("numberPlan");
  j.BeginArray("exceptions");
  for (const auto& e : v.exceptions) {
    j.BeginObject().String("areaCode", e.areaCode).String("length", e.length).EndObject();
  }
  j.EndArray();
  if (v.prefixes) {
    j.BeginArray("mobilePrefixes");
    for (const auto& p : v.prefixes->mobile) j.String(nullptr, p);
    j.EndArray();
    j.BeginArray("internationalPrefixes");
    for (const auto& p : v.prefixes->international) j.String(nullptr, p);
    j.EndArray();
  }
  j.EndObject();

  j.BeginObject("codes");
  j.Number("count", v.codeCount);
  j.Number("codeLength", v.codeLength);
  j.BeginArray("table");
  for (int k = 1; k <= v.codeCount; ++k) {
    const auto& row = v.codes.row(k);
    j.BeginObject();
    j.Number("row", k);
    j.String("code", Utf8(row.code));
    static const char* const keys[] = {"local", "longDistance", "mobile", "international"};
    for (int r = 0; r < 4; ++r) j.Bool(keys[r], row.rights[r] == kYes);
    j.EndObject();
  }
  j.EndArray();
  j.EndObject();

  j.BeginArray("freeNumbers");
  for (const auto& n : v.freeNumbers) j.String(nullptr, Utf8(RightTrimmed(n)));
  j.EndArray();

  j.BeginObject("callIn");
  j.String("number", Utf8(v.callIn.number));
  j.Bool("foreign", v.callIn.foreign);
  j.Bool("national", v.callIn.national);
  j.BeginArray("forbiddenAreaCodes");
  for (const auto& f : v.callIn.forbidden) j.String(nullptr, f);
  j.EndArray();
  j.EndObject();

  j.BeginArray("warnings");
  for (const auto& m : v.codeDecode.messages) j.String(nullptr, m);
  j.EndArray();
  j.EndObject();
  return j.str();
}

}  // namespace tarvelo
