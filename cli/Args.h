// Command-line arguments, the exit statuses and the standard output shared by the tool's
// commands.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/ConfigImage.h"
#include "model/Text.h"
#include "serial/SystemErrorText.h"

namespace tarvelo {

constexpr int kUsageError = 1;
constexpr int kFileError = 2;
constexpr int kTransferError = 3;
constexpr int kVerifyError = 4;  // the upload went through, the device reads back otherwise

struct UsageError {
  std::string message;
};

// Options with a value and flags; everything else is a positional argument. A command that
// takes an action word ("codes export") finds it in `action`.
struct Args {
  std::string action;
  std::map<std::string, std::string> options;
  std::map<std::string, bool> flags;
  std::vector<std::string> positional;
};

inline Args Parse(int argc, char** argv, int first, const std::vector<std::string>& withValue,
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

inline std::optional<DeviceModel> ParseModel(const Args& a) {
  const auto it = a.options.find("--model");
  if (it == a.options.end()) return std::nullopt;
  if (it->second == "4") return DeviceModel::FourLine;
  if (it->second == "16") return DeviceModel::SixteenLine;
  throw UsageError{"a --model értéke 4 vagy 16 lehet: " + it->second};
}

// A typed text for the record: Windows-1250, at most 255 characters.
inline std::string RecordText(const Args& a, const char* option) {
  const auto it = a.options.find(option);
  if (it == a.options.end()) return {};
  std::string bad;
  const auto text = Utf8ToCp1250(it->second, &bad);
  if (!text) throw UsageError{std::string(option) + ": " + UnencodableMessage(bad)};
  if (text->size() > 255) throw UsageError{std::string(option) + ": legfeljebb 255 karakter lehet"};
  return *text;
}

// Everything for standard output goes through here, so that a full disk or a closed pipe
// is noticed: a report cut short must not end as a success. The error ends the command
// with its one line and exit status 2.
inline void WriteOut(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = n < 0 ? errno : EIO;
      // The system's text for a closed descriptor speaks of the serial port.
      const std::string reason =
          err == EBADF ? "a szabványos kimenet le van zárva" : SystemErrorText(err);
      throw std::runtime_error("a kimenet nem írható: " + reason);
    }
    done += static_cast<size_t>(n);
  }
}

// The report of a command that has already written `saved`, then the line naming it. When
// the report cannot be shown, the one line that says so also says that the file was
// written: the failure must not pass for one that left everything as it was.
inline void ReportSaved(const std::string& report, const std::string& saved) {
  try {
    WriteOut(report);
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(std::string(e.what()) + " (Mentve: " + saved + ")");
  }
  std::cerr << "Mentve: " << saved << "\n";
}

}  // namespace tarvelo
