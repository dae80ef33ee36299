#include "terminal/KeyInput.h"

#include "terminal/CodePage.h"

namespace tarvelo {
namespace {

constexpr struct {
  KeyCode code;
  TermKey cursor;
} kCursorKeys[] = {
    {KeyCode::kHome, TermKey::kHome}, {KeyCode::kLeft, TermKey::kLeft},
    {KeyCode::kUp, TermKey::kUp},     {KeyCode::kRight, TermKey::kRight},
    {KeyCode::kDown, TermKey::kDown},
};

}  // namespace

KeyOutput EncodeKey(const TypedKey& key) {
  KeyOutput out;
  for (const auto& [code, cursor] : kCursorKeys) {
    if (key.code != code) continue;
    out.kind = KeyOutput::Kind::kCursor;
    out.cursor = cursor;
    return out;
  }
  const KeyModifiers& m = key.modifiers;
  const bool controlOnly = m.control && !m.shift && !m.alt && !m.meta;
  const auto c = static_cast<uint8_t>(key.character);
  // The space bar stands for NUL as Ctrl+@ does: both have 0 in their low five bits.
  if (controlOnly && key.code == KeyCode::kCharacter && ((c >= '@' && c <= '_') || c == ' ')) {
    out.kind = KeyOutput::Kind::kBytes;
    out.bytes = std::string(1, static_cast<char>(c & 0x1F));
    return out;
  }
  if (key.text.empty()) return out;
  out.kind = KeyOutput::Kind::kBytes;
  out.bytes = TerminalBytes(key.text);
  return out;
}

std::string EncodePastedText(std::string_view utf8) {
  std::string lines;
  lines.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
      lines += '\r';
      ++i;
    } else {
      lines += utf8[i] == '\n' ? '\r' : utf8[i];
    }
  }
  return TerminalBytes(lines);
}

}  // namespace tarvelo
