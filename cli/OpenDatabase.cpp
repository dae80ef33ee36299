#include "cli/OpenDatabase.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "cli/Args.h"
#include "files/DatabaseFile.h"
#include "model/ImageView.h"
#include "model/Text.h"

namespace tarvelo {

std::string AskPasswordOnTerminal(const std::string& path) {
  std::fprintf(stderr, "Jelszó (%s): ", path.c_str());
  termios old{};
  const bool tty = ::tcgetattr(STDIN_FILENO, &old) == 0;
  if (tty) {
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  std::string line;
  std::getline(std::cin, line);
  if (tty) ::tcsetattr(STDIN_FILENO, TCSANOW, &old);
  std::fprintf(stderr, "\n");
  std::string bad;
  const auto text = Utf8ToCp1250(line, &bad);
  if (!text) throw UsageError{"jelszó: " + UnencodableMessage(bad)};
  return *text;
}

void WarnOfRepairs(const std::vector<std::string>& messages) {
  for (std::string line : messages) {
    for (char& c : line) {
      if (c == '\r') c = ' ';
    }
    std::cerr << "figyelmeztetés: " << line << "\n";
  }
}

std::optional<OpenedDatabase> OpenDatabase(const std::string& path, const Args& args,
                                           const char* passwordOption,
                                           std::optional<DeviceModel> forcedModel) {
  const bool given = args.options.count(passwordOption) > 0;
  const std::string password = RecordText(args, passwordOption);
  OpenedDatabase db;
  const LoadResult loaded = LoadDatabaseFile(path, db.record, [&] {
    if (given || !::isatty(STDIN_FILENO)) return password;
    return AskPasswordOnTerminal(path);
  });
  if (loaded.status != LoadStatus::Ok) {
    std::cerr << "tarvelo-cli: " << path << ": " << loaded.message << "\n";
    return std::nullopt;
  }
  // The model is what the file proves; a --model may only settle what it cannot. Read
  // with the other model's map, an import or an upload would write over that model's
  // timers, code length and call-in settings.
  const ModelProof proof = ProveDatabaseModel(db.record);
  if (forcedModel && proof.model && *forcedModel != *proof.model) {
    throw UsageError{path + ": az adatbázis " + ModelName(*proof.model) + " típusú (" +
                     proof.reason + "), nem " + ModelName(*forcedModel) +
                     ": a megadott típus nem illik hozzá"};
  }
  if (forcedModel) {
    db.model = *forcedModel;
  } else if (proof.model) {
    db.model = *proof.model;
  } else {
    throw UsageError{path + ": az adatbázis típusa nem állapítható meg (" + proof.reason +
                     "): adja meg a --model 4|16 kapcsolót"};
  }
  return db;
}

}  // namespace tarvelo
