#include "cli/Apply.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <optional>
#include <set>

#include "cli/Args.h"
#include "cli/Diff.h"
#include "cli/OpenDatabase.h"
#include "files/DatabaseFile.h"
#include "files/SafeFile.h"
#include "model/Codecs.h"
#include "model/ImageView.h"
#include "model/Settings.h"
#include "model/Text.h"

namespace tarvelo {
namespace {

using Kind = JsonValue::Kind;

struct Refused {
  std::string message;
};

std::string Member(const std::string& path, const char* key) {
  return path.empty() ? std::string(key) : path + "." + key;
}

std::string Element(const std::string& path, size_t i) {
  return path + "[" + std::to_string(i) + "]";
}

// Walks a settings document along the settings table, gathering each value given with the
// place it was given at, then stores them one by one through the rows' checks.
class Applier {
 public:
  Applier(DatabaseRecord& record, const ImageLayout& layout)
      : record_(record), layout_(layout), model_(layout.model()) {}

  void Run(const JsonValue& root) {
    View();  // the decode the pages start from repairs a code table that does not fit
    std::vector<std::string> keys = {"byteFields", "warnings"};
    for (const SettingRow& row : Settings()) {
      if (!row.object) continue;
      if (*row.object) {
        keys.push_back(row.object);
      } else {
        keys.push_back(row.list == SettingListId::None ? row.key : ListOf(row.list).key);
      }
    }
    Object(root, "", keys);
    // The code-table repairs of the decode that show reported: not settings.
    if (const JsonValue* w = root.Find("warnings")) Array(*w, "warnings", "");

    // What names the database comes first: settings for another one are refused before
    // anything else is looked at.
    for (const SettingRow& row : Settings()) {
      if (row.object && !*row.object && (row.flags & kReadOnly)) Single(root, "", row);
    }
    Flush();
    // Then the document's parts in the order their first rows come, as show writes them,
    // each stored before the next is read; the byte boxes follow the part of the first.
    std::set<std::string> objects;
    std::set<SettingListId> lists;
    bool boxes = false;
    for (const SettingRow& row : Settings()) {
      if (!row.object) {
      } else if (*row.object) {
        if (objects.insert(row.object).second) WalkObject(root, row.object);
      } else if (row.list == SettingListId::None) {
        if (!(row.flags & kReadOnly)) Single(root, "", row);
      } else if (lists.insert(row.list).second) {
        WalkList(root, "", ListOf(row.list));
      }
      Flush();
      if (row.box && !boxes) {
        boxes = true;
        ByteFields(root);
        Flush();
      }
    }
  }

 private:
  struct Given {
    const SettingRow* row;
    int index;
    std::string value;  // UTF-8, as typed into the page
    std::string path, label;
  };
  struct Batch {
    GroupStore store;
    std::vector<size_t> given;
    std::string path, label;  // the list as a whole
  };
  struct Step {
    int given = -1;
    int batch = -1;
  };

  [[noreturn]] void Refuse(const std::string& path, const std::string& label,
                           const std::string& message) const {
    std::string where = path;
    if (!label.empty()) where += " (" + label + ")";
    throw Refused{where + ": " + message};
  }

  [[noreturn]] void NotInModel(const std::string& path) const {
    Refuse(path, "", std::string("ilyen mező a(z) ") + ModelName(model_) + " típusban nincs");
  }

  ImageView View() { return DecodeImageView(record_.image, layout_); }

  void Object(const JsonValue& v, const std::string& path,
              const std::vector<std::string>& keys) const {
    if (v.kind != Kind::Object) Refuse(path.empty() ? "(gyökér)" : path, "", "objektumot vár");
    for (const auto& member : v.members) {
      if (std::find(keys.begin(), keys.end(), member.key) == keys.end())
        Refuse(Member(path, member.key.c_str()), "", "ismeretlen kulcs");
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

  const std::string& Utf8Text(const JsonValue& v, const std::string& path,
                              const std::string& label) const {
    if (v.kind != Kind::String) Refuse(path, label, "szöveget vár");
    return v.text;
  }

  // What a user would have typed into the box: a number as written, or a text.
  std::string Typed(const JsonValue& v, const std::string& path, const std::string& label) const {
    if (v.kind != Kind::Number && v.kind != Kind::String) Refuse(path, label, "számot vár");
    return v.text;
  }

  std::string ValueOf(SettingKind kind, const JsonValue& v, const std::string& path,
                      const std::string& label) const {
    switch (kind) {
      case SettingKind::Number:
        return Typed(v, path, label);
      case SettingKind::Switch:
        if (v.kind != Kind::Bool) Refuse(path, label, "true vagy false értéket vár");
        return YesNo(v.boolean);
      case SettingKind::Items:
      case SettingKind::Text:
        break;
    }
    return Utf8Text(v, path, label);
  }

  // One setting's storage: the 4-line model keeps a value shared by the lines once.
  std::pair<const SettingRow*, int> Storage(const SettingRow& row, int index) const {
    const bool shared = (row.flags & kSharedByLines4) && model_ == DeviceModel::FourLine;
    return {&row, shared ? 0 : index};
  }

  void Add(const SettingRow& row, int index, const std::string& value, const std::string& path) {
    const std::string label = SettingLabel(row, index);
    // Two values for one field (a byte box given in "general" and in "byteFields", a mode the
    // 4-line model's lines share) must agree.
    const auto [it, fresh] = sources_.try_emplace(Storage(row, index), given_.size());
    if (!fresh) {
      const Given& first = given_[it->second];
      if (!SameValue(row, first.value, value)) {
        if (row.flags & kSharedByLines4) {
          Refuse(path, label,
                 "a 4 vonalas típusban minden vonalé azonos; ellentmond ennek: " + first.path);
        }
        Refuse(path, label, "ellentmond ennek: " + first.path + " = " + first.value);
      }
    }
    given_.push_back({&row, index, value, path, label});
    if (row.groupStore) {
      batches_[static_cast<size_t>(BatchOf(row.groupStore))].given.push_back(given_.size() - 1);
    } else {
      steps_.push_back({static_cast<int>(given_.size() - 1), -1});
    }
  }

  // The batch of a group store, made (and its place among the steps taken) when first met.
  int BatchOf(GroupStore store) {
    for (size_t b = 0; b < batches_.size(); ++b) {
      if (batches_[b].store == store) return static_cast<int>(b);
    }
    Batch batch{store, {}, "", ""};
    for (const SettingRow& row : Settings()) {
      if (row.groupStore == store && row.list != SettingListId::None) {
        const SettingList& list = ListOf(row.list);
        batch.path = Member(list.object, list.key);
        batch.label = list.caption;
        break;
      }
    }
    batches_.push_back(batch);
    steps_.push_back({-1, static_cast<int>(batches_.size() - 1)});
    return static_cast<int>(batches_.size() - 1);
  }

  void Single(const JsonValue& parent, const std::string& object, const SettingRow& row) {
    const JsonValue* v = parent.Find(row.key);
    if (!v) return;
    const std::string path = Member(object, row.key);
    if (!row.In(model_)) NotInModel(path);
    Add(row, 0, ValueOf(row.kind, *v, path, SettingLabel(row, 0)), path);
  }

  void WalkObject(const JsonValue& root, const std::string& name) {
    const JsonValue* v = root.Find(name);
    if (!v) return;
    std::vector<std::string> keys;
    for (const SettingRow& row : Settings()) {
      if (!row.object || row.object != name) continue;
      keys.push_back(row.list == SettingListId::None ? row.key : ListOf(row.list).key);
    }
    Object(*v, name, keys);
    std::set<SettingListId> lists;
    for (const SettingRow& row : Settings()) {
      if (!row.object || row.object != name) continue;
      if (row.list == SettingListId::None) {
        Single(*v, name, row);
      } else if (lists.insert(row.list).second) {
        WalkList(*v, name, ListOf(row.list));
      }
    }
  }

  void WalkList(const JsonValue& parent, const std::string& object, const SettingList& list) {
    const JsonValue* v = parent.Find(list.key);
    if (!v) return;
    const std::string path = Member(object, list.key);
    std::vector<const SettingRow*> rows;
    bool inModel = false;
    for (const SettingRow& row : Settings()) {
      if (row.list != list.id) continue;
      rows.push_back(&row);
      inModel = inModel || row.In(model_);
    }
    if (!inModel) NotInModel(path);
    const SettingRow& main = *rows.front();
    const ImageView view = View();
    const int count = EntryCount(main, SettingSource(record_, layout_, view));
    const auto& items = Array(*v, path, list.caption ? list.caption : "",
                              list.fixedLength ? static_cast<size_t>(count) : 0);
    if (main.groupStore) BatchOf(main.groupStore);  // an empty list is a list given too
    if (!list.indexKey) {
      for (size_t i = 0; i < items.size(); ++i)
        Positional(main, static_cast<int>(i), items[i], Element(path, i));
      return;
    }
    // The count given beside the list bounds its entries.
    long bound = count;
    if (list.countKey) {
      long given = 0;
      const JsonValue* c = parent.Find(list.countKey);
      if (c && (c->kind == Kind::Number || c->kind == Kind::String) &&
          ParseWholeNumber(TrimBlanks(c->text), given)) {
        bound = given;
      }
    }
    std::vector<std::string> keys = {list.indexKey};
    for (const SettingRow* row : rows) keys.push_back(row->key);
    std::set<long> seen;
    for (size_t i = 0; i < items.size(); ++i) {
      const std::string at = Element(path, i);
      Object(items[i], at, keys);
      const JsonValue* indexValue = items[i].Find(list.indexKey);
      if (!indexValue) {
        Refuse(at, "",
               std::string("hiányzik a ") + list.indexKey + " kulcs (" + list.indexWhat + ")");
      }
      const std::string indexPath = Member(at, list.indexKey);
      const std::string text = Typed(*indexValue, indexPath, list.indexLabel);
      long n = 0;
      if (!ParseWholeNumber(text, n) || n < list.first || n >= list.first + bound) {
        Refuse(indexPath, list.indexLabel,
               std::string("nincs ilyen ") + list.noSuchWhat + ": \"" + text + "\" (" +
                   std::to_string(bound) + " " + list.unit + " van)");
      }
      if (!seen.insert(n).second) Refuse(indexPath, list.indexLabel, "kétszer szerepel");
      for (const SettingRow* row : rows) {
        const JsonValue* x = items[i].Find(row->key);
        if (!x) continue;
        const std::string p = Member(at, row->key);
        if (!row->In(model_)) NotInModel(p);
        const int index = static_cast<int>(n);
        Add(*row, index, ValueOf(row->kind, *x, p, SettingLabel(*row, index)), p);
      }
    }
  }

  // An entry of a list given in full, by its place.
  void Positional(const SettingRow& row, int i, const JsonValue& item, const std::string& path) {
    const int index = ListOf(row.list).first + i;
    const std::string label = SettingLabel(row, index);
    if (row.parts.empty()) {
      Add(row, index, ValueOf(row.kind, item, path, label), path);
      return;
    }
    // A value of parts: each part given or as it is; `{}` leaves the entry as it is.
    std::vector<std::string> keys;
    for (const SettingPart& part : row.parts) keys.push_back(part.key);
    Object(item, path, keys);
    const ImageView view = View();
    const std::string current = row.get(SettingSource(record_, layout_, view), index);
    const size_t colon = current.rfind(':');
    const std::string currentParts[] = {
        current.substr(0, colon), colon == std::string::npos ? "" : current.substr(colon + 1)};
    std::string value;
    bool given = false;
    for (size_t p = 0; p < row.parts.size() && p < 2; ++p) {
      const JsonValue* x = item.Find(row.parts[p].key);
      given = given || x;
      if (p) value += ":";
      value += x ? ValueOf(row.parts[p].kind, *x, Member(path, row.parts[p].key), label)
                 : currentParts[p];
    }
    if (given) Add(row, index, value, path);
  }

  // The byte boxes, each named by its control; the other keys only describe it.
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
      const SettingRow* row = SettingByControl(name);
      if (!row) Refuse(Member(path, "control"), "", "ismeretlen mező: " + name);
      if (!row->In(model_)) NotInModel(path);
      const std::string label = SettingLabel(*row, 0);
      // The descriptive keys say which box the entry is; one that does not fit is a mistake.
      const std::pair<const char*, std::string> described[] = {
          {"label", row->box->label},
          {"unit", row->box->hint},
          {"offset", std::to_string(layout_.Offset(row->box->field))}};
      for (const auto& [key, expected] : described) {
        const JsonValue* v = item.Find(key);
        if (!v) continue;
        const std::string given =
            v->kind == Kind::Number ? v->text : Utf8Text(*v, Member(path, key), "");
        if (given != expected) {
          Refuse(Member(path, key), label,
                 "nem egyezik a " + name + " mezőével: \"" + expected + "\"");
        }
      }
      if (const JsonValue* v = item.Find("value")) {
        const std::string p = Member(path, "value");
        Add(*row, 0, Typed(*v, p, label), p);
      }
    }
  }

  void Flush() {
    for (; flushed_ < steps_.size(); ++flushed_) {
      const Step& step = steps_[flushed_];
      if (step.batch >= 0) {
        StoreBatch(batches_[static_cast<size_t>(step.batch)]);
      } else {
        Store(given_[static_cast<size_t>(step.given)]);
      }
    }
  }

  // A value already as given is not stored again, so that show's own output changes
  // nothing; what the page would keep otherwise than given is refused.
  void Store(const Given& g) {
    const SettingRow& row = *g.row;
    std::string expected = g.value;
    {
      const ImageView view = View();
      const SettingSource source(record_, layout_, view);
      if (SameValue(row, row.get(source, g.index), g.value)) return;
      if (row.shownAs) expected = row.shownAs(source, g.index, g.value).value_or(g.value);
    }
    if (const SetResult refused = row.set(record_, layout_, g.index, g.value)) {
      const bool part = refused->part >= 0 && static_cast<size_t>(refused->part) < row.parts.size();
      Refuse(part ? Member(g.path, row.parts[static_cast<size_t>(refused->part)].key) : g.path,
             g.label, refused->message);
    }
    const ImageView view = View();
    const std::string got = row.get(SettingSource(record_, layout_, view), g.index);
    if (!SameValue(row, got, expected)) {
      Refuse(g.path, g.label,
             "\"" + expected + "\" így nem tárolható, \"" + got + "\" lenne belőle");
    }
  }

  void StoreBatch(const Batch& batch) {
    std::vector<GivenValue> values;
    for (size_t k : batch.given)
      values.push_back({given_[k].row, given_[k].index, given_[k].value});
    const auto refused = batch.store(record_, layout_, values);
    if (!refused) return;
    std::string path = batch.path, label = batch.label;
    if (refused->given >= 0 && static_cast<size_t>(refused->given) < batch.given.size()) {
      const Given& g = given_[batch.given[static_cast<size_t>(refused->given)]];
      path = g.path;
      label = g.label;
    }
    if (!refused->label.empty()) label = refused->label;
    Refuse(path, label, refused->message);
  }

  DatabaseRecord& record_;
  const ImageLayout& layout_;
  DeviceModel model_;
  std::vector<Given> given_;
  std::vector<Batch> batches_;
  std::vector<Step> steps_;
  size_t flushed_ = 0;
  std::map<std::pair<const SettingRow*, int>, size_t> sources_;
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

int RunApplyCommand(const Args& a) {
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
