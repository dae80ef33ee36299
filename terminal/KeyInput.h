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
  kEnd,
  kPageUp,
  kPageDown,
  kInsert,
  kDelete,
  kBackspace,
  kTab,
  kBacktab,  // Shift+Tab, as some layouts name it
  kEscape,
  kEnter,  // Return, or Enter on the numeric keypad (with `keypad`)
  kF1,     // F1..F4 are the terminal's PF1..PF4
  kF2,
  kF3,
  kF4,
  kFunction,  // any other function key: the window's
};

struct KeyModifiers {
  bool shift = false;
  bool control = false;
  bool alt = false;
  bool meta = false;
  bool keypad = false;  // the key is on the numeric keypad
};

struct TypedKey {
  KeyCode code = KeyCode::kOther;
  // The key's own character whatever the layout makes of it, letters in capitals: 'C' for
  // the C key, '[' for the bracket key, ' ' for the space bar.
  char character = 0;
  KeyModifiers modifiers;
  std::string text;  // UTF-8, what the keyboard layout produced; may be empty
};

// The far end's choices that change what keys send.
struct KeyModes {
  bool appCursorKeys = false;  // the cursor keys send their keypad codes
  bool appKeypad = false;      // the numeric keypad sends its own codes, not its digits
  bool vt52 = false;           // the VT52's codes instead of the VT100's
};

// The modes as the terminal holds them now.
KeyModes KeyModesOf(const TComTermState& state);

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

// Cursor keys and Home whatever the modifiers (Home in cursor-key mode as its keypad code);
// the editing keys, Tab, Shift+Tab, Esc and F1..F4 (PF1..PF4) as a VT terminal sends them;
// the numeric keypad as digits, or as its own codes in keypad mode. Ctrl with @, A..Z, [, \,
// ], ^, _ or the space bar gives the control character (read from the key, as not every
// layout fills in the text). Ctrl+Shift+letter and the other function keys are the window's:
// none. Otherwise the text in the code page, a character it lacks as "?".
KeyOutput EncodeKey(const TypedKey& key, const KeyModes& modes = {});

// Whether the key is one a connected terminal keeps from the window's shortcuts: everything
// it sends, except what is held with Alt or Meta (the menus' keys).
bool TerminalTakesKey(const TypedKey& key, const KeyModes& modes = {});

// Pasted text as if typed: CR LF and a lone LF become CR, the rest as EncodeKey's text.
std::string EncodePastedText(std::string_view utf8);

}  // namespace tarvelo
