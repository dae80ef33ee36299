// tarvelo-cli: the configuration database without the window.
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/Apply.h"
#include "cli/Args.h"
#include "cli/Diff.h"
#include "cli/Exchange.h"
#include "cli/OpenDatabase.h"
#include "cli/Print.h"
#include "cli/Show.h"
#include "cli/Transfer.h"
#include "files/DatabaseFile.h"
#include "files/SafeFile.h"
#include "model/ImageView.h"
#include "model/NewDatabase.h"
#include "model/Text.h"

using namespace tarvelo;

namespace {

const char* const kUsage =
    "Használat:\n"
    "  tarvelo-cli new --model 4|16 -o FILE [--force] [--site S] [--owner O] [--password P]\n"
    "  tarvelo-cli show FILE [--model 4|16] [--password P] [--json]\n"
    "  tarvelo-cli diff A B [--password P] [--password-b P] [--model 4|16] [--model-b 4|16] "
    "[--json]\n"
    "  tarvelo-cli apply SETTINGS.json FILE [--model 4|16] [--password P]\n"
    "  tarvelo-cli download --port DEV [--speed BAUD] -o FILE [--site S] [--owner O] [--password "
    "P]\n"
    "  tarvelo-cli upload --port DEV [--speed BAUD] FILE [--model 4|16] [--password P]\n"
    "                     [--backup FILE] [--verify] [--no-type-check]\n"
    "  tarvelo-cli prom --port DEV [--speed BAUD] -o FILE\n"
    "  tarvelo-cli clock --port DEV [--speed BAUD]\n"
    "  tarvelo-cli codes export|import FILE DB [--format dat|txt] [--password P] [--model 4|16]\n"
    "  tarvelo-cli numbers export|import FILE DB [--append] [--password P] [--model 4|16]\n"
    "  tarvelo-cli print codes|numbers FILE [--rows A-B] [--model 4|16] [--password P]\n"
    "                    -o OUT.pdf|OUT.txt\n";

int CmdNew(int argc, char** argv) {
  const Args a =
      Parse(argc, argv, 2, {"--model", "-o", "--site", "--owner", "--password"}, {"--force"});
  if (!a.positional.empty()) throw UsageError{"fölösleges argumentum: " + a.positional[0]};
  const auto model = ParseModel(a);
  if (!model) throw UsageError{"a --model megadása kötelező"};
  if (!a.options.count("-o")) throw UsageError{"a -o FILE megadása kötelező"};
  const std::string& file = a.options.at("-o");
  DatabaseRecord record;
  NewDatabaseDefaults(record, ImageLayout::For(*model));
  record.site.set(RecordText(a, "--site"));
  record.owner.set(RecordText(a, "--owner"));
  record.password.set(RecordText(a, "--password"));
  // A new database over an existing one would lose it without a word.
  struct stat st {};
  if (!a.flags.count("--force") && ::lstat(file.c_str(), &st) == 0) {
    std::cerr << "tarvelo-cli: " << file << ": a fájl már létezik (felülírás: --force)\n";
    return kFileError;
  }
  const SaveResult saved = SaveDatabaseFile(file, record);
  if (!saved.ok) {
    std::cerr << "tarvelo-cli: " << saved.message << "\n";
    return kFileError;
  }
  std::cerr << "Mentve: " << file << "\n";
  return 0;
}

// A database named on the command line, and everything the pages show of it.
struct ShownDatabase {
  DatabaseRecord record;
  ImageLayout layout = ImageLayout::For(DeviceModel::FourLine);
  ImageView view;
};

// Returns false (after saying why) when the file cannot be read.
bool OpenDatabase(const Args& a, const std::string& file, ShownDatabase& db) {
  auto opened = tarvelo::OpenDatabase(file, a, "--password", ParseModel(a));
  if (!opened) return false;
  db.record = std::move(opened->record);
  db.layout = ImageLayout::For(opened->model);
  db.view = DecodeImageView(db.record.image, db.layout);
  for (const auto& m : db.view.codeDecode.messages) {
    std::string line = m;
    for (auto& c : line) {
      if (c == '\r') c = ' ';
    }
    std::cerr << "figyelmeztetés: " << line << "\n";
  }
  return true;
}

int CmdShow(int argc, char** argv) {
  const Args a = Parse(argc, argv, 2, {"--model", "--password"}, {"--json"});
  if (a.positional.size() != 1) throw UsageError{"egy adatbázis fájlt kell megadni"};
  ShownDatabase db;
  if (!OpenDatabase(a, a.positional[0], db)) return kFileError;
  WriteOut(a.flags.count("--json") ? ShowJson(db.record, db.layout, db.view)
                                   : ShowText(db.record, db.layout, db.view));
  return 0;
}

int CmdPrint(int argc, char** argv) {
  const Args a = Parse(argc, argv, 2, {"--model", "--password", "--rows", "-o"}, {});
  if (a.positional.size() != 2)
    throw UsageError{"a lista fajtáját (codes vagy numbers) és egy adatbázis fájlt kell megadni"};
  PrintRequest request;
  if (a.positional[0] == "codes") {
    request.kind = ListKind::Codes;
  } else if (a.positional[0] == "numbers") {
    request.kind = ListKind::Numbers;
  } else {
    throw UsageError{"a lista codes vagy numbers lehet: " + a.positional[0]};
  }
  if (!a.options.count("-o")) throw UsageError{"a -o FILE.pdf vagy FILE.txt megadása kötelező"};
  const std::string out = a.options.at("-o");
  const auto endsWith = [&](const char* suffix) {
    const std::string s = suffix;
    if (out.size() <= s.size()) return false;
    std::string tail = out.substr(out.size() - s.size());
    for (auto& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == s;
  };
  ReportFormat format;
  if (endsWith(".pdf")) {
    format = ReportFormat::Pdf;
  } else if (endsWith(".txt")) {
    format = ReportFormat::Text;
  } else {
    throw UsageError{"a kimenet .pdf vagy .txt fájl lehet: " + out};
  }
  if (a.options.count("--rows")) {
    request.rows = ParseRowRange(a.options.at("--rows"));
    if (!request.rows)
      throw UsageError{"a --rows értéke A-B alakú, 1 <= A <= B: " + a.options.at("--rows")};
  }
  const FileResult writable = CheckWritable(out);
  if (!writable.ok) {
    std::cerr << "tarvelo-cli: " << writable.message << "\n";
    return kFileError;
  }
  ShownDatabase db;
  if (!OpenDatabase(a, a.positional[1], db)) return kFileError;
  request.fileName = ReportText(a.positional[1]);
  request.dateTime = ReportDateTime(std::time(nullptr));
  const Report report = BuildReport(request, db.record, db.view, ReportLinesPerPage());
  const FileResult written = WriteFileAtomically(out, ReportFile(report, format));
  if (!written.ok) {
    std::cerr << "tarvelo-cli: " << written.message << "\n";
    return kFileError;
  }
  ReportSaved("", out);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe is reported as a write error with its own line, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "new") return CmdNew(argc, argv);
    if (command == "show") return CmdShow(argc, argv);
    if (command == "diff") return RunDiffCommand(argc, argv);
    if (command == "apply") return RunApplyCommand(argc, argv);
    if (command == "codes" || command == "numbers") return RunExchangeCommand(command, argc, argv);
    if (command == "print") return CmdPrint(argc, argv);
    if (command == "download" || command == "upload" || command == "prom" || command == "clock") {
      return RunTransferCommand(command, argc, argv);
    }
    if (command == "-h" || command == "--help" || command == "help") {
      WriteOut(kUsage);
      return 0;
    }
    throw UsageError{command.empty() ? "hiányzik a parancs" : "ismeretlen parancs: " + command};
  } catch (const UsageError& e) {
    std::cerr << "tarvelo-cli: " << e.message << " (súgó: tarvelo-cli --help)\n";
    return kUsageError;
  } catch (const std::exception& e) {
    std::cerr << "tarvelo-cli: " << e.what() << "\n";
    return kFileError;
  }
}
