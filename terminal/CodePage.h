// The terminal's characters are Windows-1250 bytes, on the line and in the cells. What each
// byte looks like on screen and in a log, and which byte a typed or pasted character becomes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvelo {

struct CodePageCharacter {
  char32_t codePoint = 0;
  std::string utf8;
  // Something to draw: false for the C0 controls, DEL, the bytes the code page leaves
  // undefined (they read as C1 controls) and the soft hyphen, which shows nothing itself.
  bool visible = false;
};

const CodePageCharacter& TerminalCharacter(uint8_t byte);

// UTF-8 text as the bytes that go over the line. A character the code page lacks, and a
// byte that is not valid UTF-8, become "?": the far end sees that something stood there, and
// what follows keeps its place.
std::string TerminalBytes(std::string_view utf8);

}  // namespace tarvelo
