#include "terminal/CodePage.h"

#include <array>
#include <optional>

#include "model/Text.h"

namespace tarvelo {
namespace {

char32_t DecodeOne(const std::string& utf8) {
  const auto b = [&utf8](size_t i) { return static_cast<char32_t>(static_cast<uint8_t>(utf8[i])); };
  switch (utf8.size()) {
    case 1:
      return b(0);
    case 2:
      return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    default:
      return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
  }
}

// The length of the UTF-8 sequence a lead byte starts; 1 for a byte that starts none.
size_t SequenceLength(uint8_t lead) {
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

}  // namespace

const CodePageCharacter& TerminalCharacter(uint8_t byte) {
  static const std::array<CodePageCharacter, 256> table = [] {
    std::array<CodePageCharacter, 256> t;
    for (int b = 0; b < 256; ++b) {
      CodePageCharacter& c = t[b];
      c.utf8 = Cp1250ToUtf8(std::string(1, static_cast<char>(b)));
      c.codePoint = DecodeOne(c.utf8);
      const bool control = c.codePoint < 0x20 || (c.codePoint >= 0x7F && c.codePoint < 0xA0);
      c.visible = !control && c.codePoint != 0xAD;
    }
    return t;
  }();
  return table[byte];
}

std::string TerminalBytes(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<uint8_t>(utf8[i]);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    // One character at a time, so one the code page lacks costs only its own place, and a
    // broken sequence only its first byte.
    size_t length = SequenceLength(lead);
    if (i + length > utf8.size()) length = 1;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<uint8_t>(utf8[i + k]) & 0xC0) != 0x80) length = 1;
    }
    const std::optional<std::string> byte = Utf8ToCp1250(utf8.substr(i, length));
    out += byte ? *byte : std::string("?");
    i += length;
  }
  return out;
}

}  // namespace tarvelo
