// A record of what went over the line, one line per block: local time to the millisecond,
// "<" for received or ">" for sent, then the bytes: printable ones as their Windows-1250
// character in UTF-8, the others (and the backslash) escaped, so the bytes can be read back
// exactly.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace tarvelo {

std::string SessionLogLine(char direction, std::string_view bytes,
                           std::chrono::system_clock::time_point when);

}  // namespace tarvelo
