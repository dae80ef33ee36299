#include "cli/Commands.h"

#include <sys/stat.h>

#include <cctype>
#include <ctime>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/Apply.h"
#include "cli/Backup.h"
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

namespace tarvelo {
namespace {

int RunNew(const Args& a) {
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
  WarnOfRepairs(db.view.codeDecode.messages);
  return true;
}

int RunShow(const Args& a) {
  if (a.positional.size() != 1) throw UsageError{"egy adatbázis fájlt kell megadni"};
  ShownDatabase db;
  if (!OpenDatabase(a, a.positional[0], db)) return kFileError;
  WriteOut(a.flags.count("--json") ? ShowJson(db.record, db.layout, db.view)
                                   : ShowText(db.record, db.layout, db.view));
  return 0;
}

int RunPrint(const Args& a) {
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

int RunHelp(const Args&) {
  WriteOut(UsageText());
  return 0;
}

// The port options every transfer takes.
std::vector<std::string> WithPort(std::vector<std::string> more) {
  more.insert(more.begin(), {"--port", "--speed"});
  return more;
}

Command Row(std::vector<std::string> names, std::vector<std::string> usage,
            std::vector<std::string> withValue, std::vector<std::string> flags,
            std::function<int(const Args&)> run) {
  Command c;
  c.names = std::move(names);
  c.usage = std::move(usage);
  c.withValue = std::move(withValue);
  c.flags = std::move(flags);
  c.run = std::move(run);
  return c;
}

Command WithAction(Command c) {
  c.action = true;
  return c;
}

std::vector<Command> MakeCommands() {
  Command diff = Row(
      {"diff"}, {"A B [--password P] [--password-b P] [--model 4|16] [--model-b 4|16] [--json]"},
      {"--password", "--password-b", "--model", "--model-b"}, {"--json"}, RunDiffCommand);
  diff.usageStatus = kFileError;
  Command help = Row({"-h", "--help", "help"}, {}, {}, {}, RunHelp);
  help.anyArguments = true;
  return {
      Row({"new"}, {"--model 4|16 -o FILE [--force] [--site S] [--owner O] [--password P]"},
          {"--model", "-o", "--site", "--owner", "--password"}, {"--force"}, RunNew),
      Row({"show"}, {"FILE [--model 4|16] [--password P] [--json]"}, {"--model", "--password"},
          {"--json"}, RunShow),
      diff,
      Row({"apply"}, {"SETTINGS.json FILE [--model 4|16] [--password P]"},
          {"--password", "--model"}, {}, RunApplyCommand),
      Row({"download"}, {"--port DEV [--speed BAUD] -o FILE [--site S] [--owner O] [--password P]"},
          WithPort({"-o", "--site", "--owner", "--password"}), {}, RunDownloadCommand),
      Row({"upload"},
          {"--port DEV [--speed BAUD] FILE [--model 4|16] [--password P]",
           "[--backup FILE] [--verify] [--no-type-check]"},
          WithPort({"--model", "--password", "--backup"}), {"--verify", "--no-type-check"},
          RunUploadCommand),
      Row({"prom"}, {"--port DEV [--speed BAUD] -o FILE"}, WithPort({"-o"}), {}, RunPromCommand),
      Row({"clock"}, {"--port DEV [--speed BAUD]"}, WithPort({}), {}, RunClockCommand),
      Row({"backup"},
          {"SITES.ini -d FOLDER [-j N]",
           "(3-as kilépési kód, ha egy telephely mentése nem sikerült)"},
          {"-d", "-j"}, {}, RunBackupCommand),
      WithAction(Row({"codes"},
                     {"export|import FILE DB [--format dat|txt] [--password P] [--model 4|16]"},
                     {"--format", "--password", "--model"}, {}, RunCodesCommand)),
      WithAction(Row({"numbers"},
                     {"export|import FILE DB [--append] [--password P] [--model 4|16]"},
                     {"--password", "--model"}, {"--append"}, RunNumbersCommand)),
      Row({"print"},
          {"codes|numbers FILE [--rows A-B] [--model 4|16] [--password P]", "-o OUT.pdf|OUT.txt"},
          {"--model", "--password", "--rows", "-o"}, {}, RunPrint),
      help,
  };
}

const Command* Find(const std::string& name) {
  for (const Command& c : Commands()) {
    for (const std::string& n : c.names) {
      if (n == name) return &c;
    }
  }
  return nullptr;
}

void Complain(const UsageError& e) {
  std::cerr << "tarvelo-cli: " << e.message << " (súgó: tarvelo-cli --help)\n";
}

}  // namespace

const std::vector<Command>& Commands() {
  static const std::vector<Command> rows = MakeCommands();
  return rows;
}

std::string UsageText() {
  std::string text = "Használat:\n";
  for (const Command& c : Commands()) {
    if (c.usage.empty()) continue;
    const std::string head = "  tarvelo-cli " + c.names.front() + " ";
    text += head + c.usage.front() + "\n";
    for (size_t i = 1; i < c.usage.size(); ++i) {
      text += std::string(head.size(), ' ') + c.usage[i] + "\n";
    }
  }
  return text;
}

int RunCommandLine(int argc, char** argv) {
  const std::string name = argc > 1 ? argv[1] : "";
  const Command* command = Find(name);
  try {
    if (!command)
      throw UsageError{name.empty() ? "hiányzik a parancs" : "ismeretlen parancs: " + name};
    Args args;
    if (!command->anyArguments) {
      const int first = command->action ? 3 : 2;
      args = Parse(argc, argv, first, command->withValue, command->flags);
      if (command->action && argc > 2) args.action = argv[2];
    }
    return command->run(args);
  } catch (const UsageError& e) {
    Complain(e);
    return command ? command->usageStatus : kUsageError;
  } catch (const std::exception& e) {
    std::cerr << "tarvelo-cli: " << e.what() << "\n";
    return kFileError;
  }
}

}  // namespace tarvelo
