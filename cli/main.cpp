// tarvelo-cli: the configuration database without the window.
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "DatabaseFile.h"
#include "ImageView.h"
#include "NewDatabase.h"
#include "Show.h"
#include "Text.h"

using namespace tarvelo;

namespace {

constexpr int kUsageError = 1;
constexpr int kFileError = 2;

const char* const kUsage =
    "Használat:\n"
    "  tarvelo-cli new --model 4|16 -o FILE [--site S] [--owner O] [--password P]\n"
    "  tarvelo-cli show FILE [--model 4|16] [--password P] [--json]\n";

struct UsageError {
  std::string message;
};

// Options with a value and flags; everything else is a positional argument.
struct Args {
  std::map<std::string, std::string> options;
  std::map<std::string, bool> flags;
  std::vector<std::string> positional;
};

Args Parse(int argc, char** argv, int first, const std::vector<std::string>& withValue,
           const std::vector<std::string>& flags) {
  Args a;
  for (int i = first; i < argc; ++i) {
    const std::string arg = argv[i];
    auto has = [](const std::vector<std::string>& v, const std::string& s) {
      for (const auto& x : v) {
        if (x == s) return true;
      }
      return false;
    };
    if (has(withValue, arg)) {
      if (i + 1 >= argc) throw UsageError{"hiányzik az érték: " + arg};
      if (a.options.count(arg)) throw UsageError{"kétszer megadva: " + arg};
      a.options[arg] = argv[++i];
    } else if (has(flags, arg)) {
      a.flags[arg] = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError{"ismeretlen kapcsoló: " + arg};
    } else {
      a.positional.push_back(arg);
    }
  }
  return a;
}

std::optional<DeviceModel> ParseModel(const Args& a) {
  const auto it = a.options.find("--model");
  if (it == a.options.end()) return std::nullopt;
  if (it->second == "4") return DeviceModel::FourLine;
  if (it->second == "16") return DeviceModel::SixteenLine;
  throw UsageError{"a --model értéke 4 vagy 16 lehet: " + it->second};
}

// A typed text for the record: Windows-1250, at most 255 characters.
std::string RecordText(const Args& a, const char* option) {
  const auto it = a.options.find(option);
  if (it == a.options.end()) return {};
  std::string bad;
  const auto text = Utf8ToCp1250(it->second, &bad);
  if (!text) throw UsageError{std::string(option) + ": " + UnencodableMessage(bad)};
  if (text->size() > 255) throw UsageError{std::string(option) + ": legfeljebb 255 karakter lehet"};
  return *text;
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
  std::string bad;
  const auto text = Utf8ToCp1250(line, &bad);
  return text ? *text : std::string();
}

int CmdNew(int argc, char** argv) {
  const Args a = Parse(argc, argv, 2, {"--model", "-o", "--site", "--owner", "--password"}, {});
  if (!a.positional.empty()) throw UsageError{"fölösleges argumentum: " + a.positional[0]};
  const auto model = ParseModel(a);
  if (!model) throw UsageError{"a --model megadása kötelező"};
  if (!a.options.count("-o")) throw UsageError{"a -o FILE megadása kötelező"};
  DatabaseRecord record;
  NewDatabaseDefaults(record, ImageLayout::For(*model));
  record.site.set(RecordText(a, "--site"));
  record.owner.set(RecordText(a, "--owner"));
  record.password.set(RecordText(a, "--password"));
  const SaveResult saved = SaveDatabaseFile(a.options.at("-o"), record);
  if (!saved.ok) {
    std::cerr << "tarvelo-cli: " << saved.message << "\n";
    return kFileError;
  }
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
  std::cout << (a.flags.count("--json") ? ShowJson(record, layout, view)
                                         : ShowText(record, layout, view));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "new") return CmdNew(argc, argv);
    if (command == "show") return CmdShow(argc, argv);
    if (command == "-h" || command == "--help" || command == "help") {
      std::cout << kUsage;
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
