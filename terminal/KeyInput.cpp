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

// The keys a VT terminal sends as fixed codes. An empty text: that dialect has no such key,
// and the key is left to the window.
struct FixedKey {
  KeyCode code;
  const char* vt100;
  const char* vt52;
};
constexpr FixedKey kFixedKeys[] = {
    {KeyCode::kF1, "\x1BOP", "\x1BP"},   {KeyCode::kF2, "\x1BOQ", "\x1BQ"},
    {KeyCode::kF3, "\x1BOR", "\x1BR"},   {KeyCode::kF4, "\x1BOS", "\x1BS"},
    {KeyCode::kPageUp, "\x1B[5~", ""},   {KeyCode::kPageDown, "\x1B[6~", ""},
    {KeyCode::kInsert, "\x1B[2~", ""},   {KeyCode::kDelete, "\x7F", "\x7F"},
    {KeyCode::kBackspace, "\b", "\b"},   {KeyCode::kTab, "\t", "\t"},
    {KeyCode::kBacktab, "\x1B[Z", "\t"}, {KeyCode::kEscape, "\x1B", "\x1B"},
    {KeyCode::kEnter, "\r", "\r"},
};

// The numeric keypad in keypad mode: ESC O (VT52: ESC ?) and the key's own final letter.
constexpr struct {
  char key;
  char final;
} kKeypadFinals[] = {
    {'0', 'p'},
    {'1', 'q'},
    {'2', 'r'},
    {'3', 's'},
    {'4', 't'},
    {'5', 'u'},
    {'6', 'v'},
    {'7', 'w'},
    {'8', 'x'},
    {'9', 'y'},
    {'-', 'm'},
    {'+', 'k'},
    {'*', 'j'},
    {'/', 'o'},
    // The decimal key, whichever sign the layout prints on it.
    {'.', 'n'},
    {',', 'n'},
};

KeyOutput Bytes(std::string bytes) {
  KeyOutput out;
  out.kind = KeyOutput::Kind::kBytes;
  out.bytes = std::move(bytes);
  return out;
}

std::string KeypadCode(char final, bool vt52) {
  return std::string(vt52 ? "\x1B?" : "\x1BO") + final;
}

// Keys held with Ctrl beside them are the window's (page switching among them), as are the
// editing keys with Shift (paste, the scroll-back); Shift alone keeps the rest.
bool PlainForFixedKey(KeyCode code, const KeyModifiers& m) {
  if (m.alt || m.meta || m.control) return false;
  const bool editing = code == KeyCode::kPageUp || code == KeyCode::kPageDown ||
                       code == KeyCode::kInsert || code == KeyCode::kDelete;
  return !(editing && m.shift);
}

}  // namespace

// A template so that a mode the terminal core does not know yet reads as off.
template <typename State>
KeyModes ModesOf(const State& state) {
  KeyModes modes;
  modes.appCursorKeys = state.AppCursorKeys();
  modes.vt52 = state.Emulation() == teVT52;
  if constexpr (requires { state.AppKeypad(); }) modes.appKeypad = state.AppKeypad();
  if constexpr (requires { state.Vt52Mode(); }) modes.vt52 = modes.vt52 || state.Vt52Mode();
  return modes;
}

KeyModes KeyModesOf(const TComTermState& state) {
  return ModesOf(state);
}

KeyOutput EncodeKey(const TypedKey& key, const KeyModes& modes) {
  KeyOutput out;
  const KeyModifiers& m = key.modifiers;
  // Home in cursor-key mode has a keypad code of its own, as End has in both modes; the
  // VT52 has neither key.
  if (!modes.vt52 && key.code == KeyCode::kHome && modes.appCursorKeys) return Bytes("\x1BOH");
  if (key.code == KeyCode::kEnd) {
    if (modes.vt52 || m.alt || m.meta || m.control || m.shift) return out;
    return Bytes(modes.appCursorKeys ? "\x1BOF" : "\x1B[F");
  }
  for (const auto& [code, cursor] : kCursorKeys) {
    if (key.code != code) continue;
    out.kind = KeyOutput::Kind::kCursor;
    out.cursor = cursor;
    return out;
  }
  if (key.code == KeyCode::kEnter && m.keypad && modes.appKeypad)
    return Bytes(KeypadCode('M', modes.vt52));
  for (const FixedKey& fixed : kFixedKeys) {
    if (key.code != fixed.code) continue;
    const char* text = modes.vt52 ? fixed.vt52 : fixed.vt100;
    if (*text == '\0' || !PlainForFixedKey(key.code, m)) return out;
    return Bytes(text);
  }
  if (key.code == KeyCode::kFunction) return out;
  const bool controlOnly = m.control && !m.shift && !m.alt && !m.meta;
  const auto c = static_cast<uint8_t>(key.character);
  if (key.code == KeyCode::kCharacter && m.keypad && modes.appKeypad && !m.control && !m.alt &&
      !m.meta) {
    for (const auto& [k, final] : kKeypadFinals)
      if (k == key.character) return Bytes(KeypadCode(final, modes.vt52));
  }
  // The space bar stands for NUL as Ctrl+@ does: both have 0 in their low five bits.
  if (controlOnly && key.code == KeyCode::kCharacter && ((c >= '@' && c <= '_') || c == ' '))
    return Bytes(std::string(1, static_cast<char>(c & 0x1F)));
  // Ctrl+Shift+letter is how the window's commands are reached from a terminal.
  if (m.control && m.shift && key.code == KeyCode::kCharacter && c >= 'A' && c <= 'Z') return out;
  if (key.text.empty()) return out;
  return Bytes(TerminalBytes(key.text));
}

bool TerminalTakesKey(const TypedKey& key, const KeyModes& modes) {
  if (key.modifiers.alt || key.modifiers.meta) return false;
  return EncodeKey(key, modes).kind != KeyOutput::Kind::kNone;
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
