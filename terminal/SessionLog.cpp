#include "terminal/SessionLog.h"

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "terminal/CodePage.h"

namespace tarvelo {
namespace {

std::string TimeStamp(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const std::time_t seconds = system_clock::to_time_t(when);
  auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count() % 1000;
  if (ms < 0) ms += 1000;
  std::tm t{};
  localtime_r(&seconds, &t);
  char text[40];
  const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &t);
  std::snprintf(text + n, sizeof text - n, ".%03d", static_cast<int>(ms));
  return text;
}

}  // namespace

std::string SessionLogLine(char direction, std::string_view bytes,
                           std::chrono::system_clock::time_point when) {
  std::string line = TimeStamp(when);
  line += ' ';
  line += direction;
  line += ' ';
  for (const char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    switch (b) {
      case '\\':
        line += "\\\\";
        continue;
      case '\r':
        line += "\\r";
        continue;
      case '\n':
        line += "\\n";
        continue;
      case '\t':
        line += "\\t";
        continue;
      case 27:
        line += "\\e";
        continue;
      default:
        break;
    }
    const CodePageCharacter& character = TerminalCharacter(b);
    if (character.visible) {
      line += character.utf8;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      line += hex;
    }
  }
  line += '\n';
  return line;
}

}  // namespace tarvelo
