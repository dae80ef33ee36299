#include "terminal/KeyInput.h"

#include "terminal/CodePage.h"

namespace tarvelo {

KeyOutput EncodeKey(const TypedKey& key) {
  KeyOutput out;
  switch (key.code) {
    case KeyCode::kHome:
      out.kind = KeyOutput::Kind::kCursor;
      out.cursor = TermKey::kHome;
      return out;
    case KeyCode::kLeft:
      out.kind = KeyOutput::Kind::kCursor;
      out.cursor = TermKey::kLeft;
      return out;
    case KeyCode::kUp:
      out.kind = KeyOutput::Kind::kCursor;
      out.cursor = TermKey::kUp;
      return out;
    case KeyCode::kRight:
      out.kind = KeyOutput::Kind::kCursor;
      out.cursor = TermKey::kRight;
      return out;
    case KeyCode::kDown:
      out.kind = KeyOutput::Kind::kCursor;
      out.cursor = TermKey::kDown;
      return out;
    case KeyCode::kCharacter:
    case KeyCode::kOther:
      break;
  }
  const KeyModifiers& m = key.modifiers;
  const bool controlOnly = m.control && !m.shift && !m.alt && !m.meta;
  if (controlOnly && key.code == KeyCode::kCharacter) {
    const auto c = static_cast<uint8_t>(key.character);
    if (c >= '@' && c <= '_') {
      out.kind = KeyOutput::Kind::kBytes;
      out.bytes = std::string(1, static_cast<char>(c & 0x1F));
      return out;
    }
    if (c == ' ') {
      out.kind = KeyOutput::Kind::kBytes;
      out.bytes = std::string(1, '\0');
      return out;
    }
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
