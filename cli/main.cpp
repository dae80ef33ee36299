// tarvelo-cli: the configuration database without the window.
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/Args.h"
#include "files/DatabaseFile.h"
#include "model/ImageView.h"
#include "model/NewDatabase.h"
#include "cli/Show.h"
#include "model/Text.h"
#include "cli/Transfer.h"

using namespace tarvelo;

namespace {

const char* const kUsage =
    "Használat:\n"
    "  tarvelo-cli new --model 4|16 -o FILE [--force] [--site S] [--owner O] [--password P]\n"
    "  tarvelo-cli show FILE [--model 4|16] [--password P] [--json]\n"
    "  tarvelo-cli download --port DEV [--speed BAUD] -o FILE [--site S] [--owner O] [--password "
    "P]\n"
    "  tarvelo-cli upload --port DEV [--speed BAUD] FILE [--model 4|16] [--password P]\n"
    "  tarvelo-cli prom --port DEV [--speed BAUD] -o FILE\n"
    "  tarvelo-cli clock --port DEV [--speed BAUD]\n";

// Everything for standard output goes through here, so that a full disk or a closed pipe
// is noticed: a report cut short must not end as a success.
void WriteOut(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = n < 0 ? errno : EIO;
      throw std::runtime_error(std::string("a kimenet nem írható: ") + std::strerror(err));
    }
    done += static_cast<size_t>(n);
  }
}

std::string AskPasswordOnTerminal() {
  std::fprintf(stderr, "Jelszó: ");
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
  // A character the code page lacks cannot be part of any stored password; reading it as
  // an empty one would open an unprotected database instead.
  std::string bad;
  const auto text = Utf8ToCp1250(line, &bad);
  if (!text) throw UsageError{"jelszó: " + UnencodableMessage(bad)};
  return *text;
}

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

int CmdShow(int argc, char** argv) {
  const Args a = Parse(argc, argv, 2, {"--model", "--password"}, {"--json"});
  if (a.positional.size() != 1) throw UsageError{"egy adatbázis fájlt kell megadni"};
  const auto forced = ParseModel(a);
  const bool givenPassword = a.options.count("--password") > 0;
  const std::string password = RecordText(a, "--password");
  DatabaseRecord record;
  const LoadResult loaded = LoadDatabaseFile(a.positional[0], record, [&] {
    if (givenPassword || !::isatty(STDIN_FILENO)) return password;
    return AskPasswordOnTerminal();
  });
  if (loaded.status != LoadStatus::Ok) {
    std::cerr << "tarvelo-cli: " << a.positional[0] << ": " << loaded.message << "\n";
    return kFileError;
  }
  DeviceModel model;
  if (forced) {
    model = *forced;
  } else if (!record.image.VersionText().empty()) {
    model = ModelFromVersionText(record.image.VersionText());
  } else {
    throw UsageError{"az adatbázis nem mondja meg a típust: adja meg a --model 4|16 kapcsolót"};
  }
  const ImageLayout layout = ImageLayout::For(model);
  const ImageView view = DecodeImageView(record.image, layout);
  for (const auto& m : view.codeDecode.messages) {
    std::string line = m;
    for (auto& c : line) {
      if (c == '\r') c = ' ';
    }
    std::cerr << "figyelmeztetés: " << line << "\n";
  }
  WriteOut(a.flags.count("--json") ? ShowJson(record, layout, view)
                                   : ShowText(record, layout, view));
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
