#include "cli/Diff.h"

#include <algorithm>
#include <iostream>
#include <map>

#include "cli/Args.h"
#include "cli/Json.h"
#include "cli/OpenDatabase.h"
#include "model/Text.h"

namespace tarvelo {
namespace {

std::string Utf8(const std::string& cp1250) {
  return Cp1250ToUtf8(cp1250);
}

std::string RightTrimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string WithoutColon(std::string label) {
  if (!label.empty() && label.back() == ':') label.pop_back();
  return label;
}

std::string Numbered(int n, int width) {
  std::string text = std::to_string(n);
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), '0');
  return text;
}

const char* YesNo(bool b) {
  return b ? "Igen" : "Nem";
}

class Flattener {
 public:
  explicit Flattener(std::vector<SettingEntry>& out) : out_(out) {}
  void Page(const char* page) { page_ = page; }
  void Add(const std::string& label, const std::string& value) {
    out_.push_back({page_, label, value});
  }

 private:
  std::vector<SettingEntry>& out_;
  std::string page_;
};

}  // namespace

std::vector<SettingEntry> FlattenSettings(const DatabaseRecord& record, const ImageLayout& layout,
                                          const ImageView& v) {
  std::vector<SettingEntry> out;
  Flattener f(out);
  const DeviceModel model = layout.model();
  const bool four = model == DeviceModel::FourLine;
  const auto& g = v.general;

  f.Page(kRecordPage);
  f.Add("Telepítés", Utf8(record.site.text()));
  f.Add("Tulajdonos", Utf8(record.owner.text()));
  f.Add("Kapcsolat", Utf8(record.connectionName.text()));
  f.Add("Típus", ModelName(model));
  f.Add("Verziószöveg", Utf8(record.image.VersionText()));

  auto byteFields = [&](int page) {
    for (const auto& b : v.byteFields) {
      if (b.row->page != page) continue;
      std::string label = WithoutColon(b.row->label);
      if (b.row->timerSet != 0) label += " (#" + std::to_string(b.row->timerSet) + ")";
      f.Add(label, std::to_string(b.value));
    }
  };

  f.Page("Alap");
  f.Add("SMDR sebesség", SmdrSpeedItems(model)[g.format.speed]);
  f.Add("Paritás", ParityItems()[g.format.parity]);
  f.Add("SMDR mód", SmdrModeItems(model)[g.mode.mode]);
  f.Add("20hex alatti karakterek", Below20hItems()[g.mode.below20h]);
  byteFields(0);
  // The width the CO numbers are cut with, as `show` gives it: a stored count outside 1..4
  // still cuts them somewhere.
  f.Add("CO karakterszám", std::to_string(CoNumberWidth(record.image, layout)));
  f.Add("Rekord záró kód", std::to_string(g.recordTerminator));
  if (layout.Has(Field::NumberTerminator))
    f.Add("Számzáró kód", std::string(1, g.numberTerminator));
  if (g.switches) {
    f.Add("Pinkód engedélyezés", YesNo(g.switches->pinEnable));
    f.Add("Átállás a téli/nyári időszámításra", YesNo(g.switches->dstChange));
    f.Add("DOS feltöltési protokoll engedélyezés", YesNo(g.switches->dosUpload));
  }

  f.Page("Vonalak");
  for (size_t i = 0; i < v.lines.size(); ++i) {
    const auto& l = v.lines[i];
    const int n = static_cast<int>(i + 1);
    const std::string port = "Port " + Numbered(n, 2) + ", ";
    f.Add(port + "CO szám", Utf8(l.coNumber));
    // The 4-line model has one dial and one seize mode, in the first line's panel.
    if (!four || n == 1) {
      f.Add(port + "Tárcsázás", DialItems(model, four ? 1 : n)[l.dial]);
      f.Add(port + "Vonalfogás", SeizeItems()[l.seize]);
    }
    if (!four) f.Add(port + "Időzítők", TimerSetItems()[l.timerSet]);
    f.Add(port + "Alvonal", YesNo(l.subLine));
    f.Add(port + "Behívás", YesNo(l.callIn));
  }

  f.Page("Időzítők");
  byteFields(2);

  f.Page("Számhosszak");
  byteFields(3);
  for (size_t i = 0; i < v.exceptions.size(); ++i) {
    f.Add("Belföldi kivétel " + Numbered(static_cast<int>(i + 1), 2),
          v.exceptions[i].areaCode + ":" + v.exceptions[i].length);
  }
  if (v.prefixes) {
    for (size_t k = 0; k < v.prefixes->mobile.size(); ++k)
      f.Add("Mobil prefix " + std::to_string(k + 1), v.prefixes->mobile[k]);
    for (size_t k = 0; k < v.prefixes->international.size(); ++k)
      f.Add("Nemzetközi prefix " + std::to_string(k + 1), v.prefixes->international[k]);
  }

  f.Page("Kódok");
  f.Add("Kódok darabszáma", std::to_string(v.codeCount));
  f.Add("Kódjegyek száma", std::to_string(v.codeLength));
  for (int k = 1; k <= v.codeCount; ++k) {
    const auto& row = v.codes.row(k);
    const std::string label = "Kód " + Numbered(k, 4);
    f.Add(label, Utf8(row.code));
    for (int r = 0; r < 4; ++r)
      f.Add(label + ", " + RightHeadings()[r], YesNo(row.rights[r] == kYes));
  }

  f.Page("Számok");
  for (size_t i = 0; i < v.freeNumbers.size(); ++i) {
    f.Add("Kód nélkül hívható szám " + Numbered(static_cast<int>(i + 1), 3),
          Utf8(RightTrimmed(v.freeNumbers[i])));
  }

  f.Page("Behívás");
  f.Add("Behívószám", Utf8(v.callIn.number));
  f.Add("Behívás külföldi szám esetén", YesNo(v.callIn.foreign));
  f.Add("Behívás belföldi szám esetén", YesNo(v.callIn.national));
  for (size_t k = 0; k < v.callIn.forbidden.size(); ++k) {
    f.Add("Tiltott körzetszám " + Numbered(static_cast<int>(k + 1), 2), v.callIn.forbidden[k]);
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

int RunDiffCommand(int argc, char** argv) {
  // Exit status 1 means "they differ" here, so a usage error must not look like one.
  try {
    const Args a =
        Parse(argc, argv, 2, {"--password", "--password-b", "--model", "--model-b"}, {"--json"});
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
    return changes.empty() ? 0 : 1;
  } catch (const UsageError& e) {
    std::cerr << "tarvelo-cli: " << e.message << " (súgó: tarvelo-cli --help)\n";
    return kFileError;
  }
}

}  // namespace tarvelo
