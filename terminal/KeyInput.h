// What a key press sends: the windowing side describes the key in these plain terms, and the
// terminal decides which bytes (or which cursor code) stand for it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "terminal/TermState.h"

namespace tarvelo {

enum class KeyCode : uint8_t {
  kOther,      // no key the terminal knows by itself: only its text counts
  kCharacter,  // a key with a printable ASCII name; `character` holds it
  kHome,
  kLeft,
  kUp,
  kRight,
  kDown,
};

struct KeyModifiers {
  bool shift = false;
  bool control = false;
  bool alt = false;
  bool meta = false;
};

struct TypedKey {
  KeyCode code = KeyCode::kOther;
  // The key's own character whatever the layout makes of it, letters in capitals: 'C' for
  // the C key, '[' for the bracket key, ' ' for the space bar.
  char character = 0;
  KeyModifiers modifiers;
  std::string text;  // UTF-8, what the keyboard layout produced; may be empty
};

struct KeyOutput {
  enum class Kind : uint8_t {
    kNone,    // nothing for the line: the key is left to the window
    kCursor,  // `cursor`, sent by the cursor-key mode
    kBytes,   // `bytes`, typed characters one by one
  };
  Kind kind = Kind::kNone;
  TermKey cursor = TermKey::kHome;
  std::string bytes;
};

// Cursor keys and Home whatever the modifiers; Ctrl with @, A..Z, [, \, ], ^, _ or the space
// bar gives the control character (read from the key, as not every layout fills in the
// text); otherwise the text in the code page, a character it lacks as "?".
KeyOutput EncodeKey(const TypedKey& key);

// Pasted text as if typed: CR LF and a lone LF become CR, the rest as EncodeKey's text.
std::string EncodePastedText(std::string_view utf8);

}  // namespace tarvelo
