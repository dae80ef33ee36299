#include "cli/Exchange.h"

#include <cctype>
#include <iostream>

#include "cli/Args.h"
#include "cli/OpenDatabase.h"
#include "files/DatabaseFile.h"
#include "files/ExchangeFiles.h"
#include "model/CodeTable.h"
#include "model/FreeNumbers.h"
#include "model/ImageView.h"

namespace tarvelo {
namespace {

struct LoadedDatabase {
  DatabaseRecord record;
  ImageLayout layout = ImageLayout::For(DeviceModel::FourLine);
};

// Loads the database and finds its model; nothing when the load failed (reported).
std::optional<LoadedDatabase> Load(const std::string& path, const Args& a) {
  auto opened = OpenDatabase(path, a, "--password", ParseModel(a));
  if (!opened) return std::nullopt;
  return LoadedDatabase{std::move(opened->record), ImageLayout::For(opened->model)};
}

int Fail(const std::string& path, const std::string& message) {
  std::cerr << "tarvelo-cli: " << path << ": " << message << "\n";
  return kFileError;
}

int Save(const std::string& path, LoadedDatabase& db) {
  const SaveResult saved = SaveDatabaseFile(path, db.record);
  return saved.ok ? 0 : Fail(path, saved.message);
}

// The code grid as the window shows it after opening the database.
CodeGrid DecodedGrid(LoadedDatabase& db) {
  CodeGrid grid;
  WarnOfRepairs(DecodeCodeTable(db.record.image, db.layout, grid).messages);
  return grid;
}

bool PinDatFormat(const Args& a, const std::string& file) {
  const auto it = a.options.find("--format");
  std::string format;
  if (it != a.options.end()) {
    format = it->second;
  } else {
    const size_t dot = file.find_last_of("./");
    if (dot != std::string::npos && file[dot] == '.') {
      for (char c : file.substr(dot + 1))
        format += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  if (format == "dat") return true;
  if (format == "txt") return false;
  if (it != a.options.end()) throw UsageError{"a --format értéke dat vagy txt lehet: " + format};
  throw UsageError{
      "a fájl kiterjesztéséből nem derül ki a formátum: adja meg a --format "
      "dat|txt kapcsolót"};
}

int Codes(const std::string& action, const Args& a, const std::string& file,
          const std::string& dbPath) {
  const bool dat = PinDatFormat(a, file);
  auto db = Load(dbPath, a);
  if (!db) return kFileError;
  ConfigImage& image = db->record.image;
  CodeGrid grid = DecodedGrid(*db);
  if (action == "export") {
    // As the window does: the binary list takes its header from the image.
    if (dat) EncodeCodeTable(image, db->layout, grid);
    const std::string bytes =
        dat ? ExportPinDat(image, db->layout, grid) : ExportCodeText(image, db->layout, grid);
    if (Refusal failed = WriteExchangeFile(file, bytes)) return Fail(file, *failed);
    ReportSaved(std::to_string(ExportedCodeCount(image, db->layout, grid)) + " kód kiírva.\n",
                file);
    return 0;
  }
  const Refusal refused = dat ? ImportPinDatFile(file, image, db->layout, grid)
                              : ImportCodeTextFile(file, image, db->layout, grid);
  if (refused) return Fail(file, *refused);
  StoreImportedCodes(image, db->layout, grid);
  if (const int status = Save(dbPath, *db)) return status;
  ReportSaved(std::to_string(StoredCodeCount(image, db->layout)) + " kód beolvasva (" +
                  std::to_string(StoredRecordLength(image, db->layout) - 1) + " jegyű).\n",
              dbPath);
  return 0;
}

int Numbers(const std::string& action, const Args& a, const std::string& file,
            const std::string& dbPath) {
  auto db = Load(dbPath, a);
  if (!db) return kFileError;
  ConfigImage& image = db->record.image;
  std::vector<std::string> items = DecodeFreeNumbers(image, db->layout);
  if (action == "export") {
    if (Refusal failed = WriteExchangeFile(file, ExportCallTxt(items))) return Fail(file, *failed);
    ReportSaved(std::to_string(items.size()) + " szám kiírva.\n", file);
    return 0;
  }
  if (!a.flags.count("--append")) items.clear();
  const int capacity = FreeNumberCapacity(db->layout);
  const auto imported = ImportCallTxtFile(file, std::move(items), capacity);
  if (!imported) return Fail(file, kCallTxtOpenError);
  if (imported->refused) return Fail(file, *imported->refused);
  if (imported->linesLeft) std::cerr << "figyelmeztetés: " << CallTxtFullMessage(capacity) << "\n";
  FlushFreeNumbers(image, db->layout, imported->items);
  if (const int status = Save(dbPath, *db)) return status;
  ReportSaved(std::to_string(imported->items.size()) + " szám a listában.\n", dbPath);
  return 0;
}

}  // namespace

namespace {

// The action word comes before the options: "codes export FILE DB".
std::string Action(const std::string& command, const Args& a) {
  if (a.action != "export" && a.action != "import")
    throw UsageError{command + ": export vagy import kell"};
  if (a.positional.size() != 2) throw UsageError{command + " " + a.action + ": FILE DB kell"};
  return a.action;
}

}  // namespace

int RunCodesCommand(const Args& a) {
  const std::string action = Action("codes", a);
  return Codes(action, a, a.positional[0], a.positional[1]);
}

int RunNumbersCommand(const Args& a) {
  const std::string action = Action("numbers", a);
  if (a.flags.count("--append") && action != "import")
    throw UsageError{"a --append csak importnál érvényes"};
  return Numbers(action, a, a.positional[0], a.positional[1]);
}

}  // namespace tarvelo
