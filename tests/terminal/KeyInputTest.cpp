#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <regex>

#include "terminal/CodePage.h"
#include "terminal/KeyInput.h"
#include "terminal/SessionLog.h"

using namespace tarvelo;

namespace {

TypedKey Key(KeyCode code, char character, KeyModifiers mods, std::string text) {
  TypedKey k;
  k.code = code;
  k.character = character;
  k.modifiers = mods;
  k.text = std::move(text);
  return k;
}

constexpr KeyModifiers kNone{};
constexpr KeyModifiers kCtrl{false, true, false, false};
constexpr KeyModifiers kCtrlShift{true, true, false, false};
constexpr KeyModifiers kShift{true, false, false, false};
constexpr KeyModifiers kAlt{false, false, true, false};

}  // namespace

TEST(KeyInput, KeysBecomeBytesOrCursorCodes) {
  using Kind = KeyOutput::Kind;
  struct Case {
    const char* what;
    TypedKey key;
    Kind kind;
    std::string bytes;
    TermKey cursor = TermKey::kHome;
  } const cases[] = {
      {"letters", Key(KeyCode::kCharacter, 'A', kNone, "a"), Kind::kBytes, "a"},
      {"Return", Key(KeyCode::kOther, 0, kNone, "\r"), Kind::kBytes, "\r"},
      {"Hungarian letter in the code page", Key(KeyCode::kOther, 0, kNone, "ő"), Kind::kBytes,
       "\xF5"},
      {"euro sign", Key(KeyCode::kOther, 0, kNone, "€"), Kind::kBytes, "\x80"},
      {"a letter the code page lacks", Key(KeyCode::kOther, 0, kNone, "ñ"), Kind::kBytes, "?"},
      {"a character beyond 16 bits", Key(KeyCode::kOther, 0, kNone, "\U0001F600"), Kind::kBytes,
       "?"},
      {"Ctrl+C from the key, no text", Key(KeyCode::kCharacter, 'C', kCtrl, ""), Kind::kBytes,
       "\x03"},
      {"Ctrl+[ is ESC", Key(KeyCode::kCharacter, '[', kCtrl, ""), Kind::kBytes, "\x1B"},
      {"Ctrl+@ and Ctrl+space are NUL", Key(KeyCode::kCharacter, '@', kCtrl, ""), Kind::kBytes,
       std::string(1, '\0')},
      {"Ctrl+space", Key(KeyCode::kCharacter, ' ', kCtrl, ""), Kind::kBytes, std::string(1, '\0')},
      {"Ctrl+_", Key(KeyCode::kCharacter, '_', kCtrl, ""), Kind::kBytes, "\x1F"},
      // Only Ctrl alone makes a control character; with more held the text counts.
      {"Ctrl+Shift+C", Key(KeyCode::kCharacter, 'C', kCtrlShift, ""), Kind::kNone, ""},
      {"Ctrl+1 with its text", Key(KeyCode::kCharacter, '1', kCtrl, "1"), Kind::kBytes, "1"},
      {"Alt+x with text", Key(KeyCode::kCharacter, 'X', kAlt, "x"), Kind::kBytes, "x"},
      {"a key with no text", Key(KeyCode::kOther, 0, kNone, ""), Kind::kNone, ""},
      {"Up", Key(KeyCode::kUp, 0, kNone, ""), Kind::kCursor, "", TermKey::kUp},
      {"Shift+Left", Key(KeyCode::kLeft, 0, kShift, ""), Kind::kCursor, "", TermKey::kLeft},
      {"Home", Key(KeyCode::kHome, 0, kNone, ""), Kind::kCursor, "", TermKey::kHome},
      {"Right", Key(KeyCode::kRight, 0, kNone, ""), Kind::kCursor, "", TermKey::kRight},
      {"Down", Key(KeyCode::kDown, 0, kNone, ""), Kind::kCursor, "", TermKey::kDown},
  };
  for (const Case& c : cases) {
    const KeyOutput out = EncodeKey(c.key);
    EXPECT_EQ(out.kind, c.kind) << c.what;
    EXPECT_EQ(out.bytes, c.bytes) << c.what;
    if (c.kind == Kind::kCursor) {
      EXPECT_EQ(out.cursor, c.cursor) << c.what;
    }
  }
}

// Typed and pasted text share one rule for what the code page lacks: a "?" in its place.
TEST(KeyInput, PastedTextKeepsItsPlacesAndEndsLinesWithCR) {
  EXPECT_EQ(EncodePastedText("ls -l\nőz€\r\nend"), "ls -l\r\xF5z\x80\rend");
  EXPECT_EQ(EncodePastedText("a\r\rb\n\n"), "a\r\rb\r\r");
  EXPECT_EQ(EncodePastedText("año ∑ 5"), "a?o ? 5");
  EXPECT_EQ(EncodeKey(Key(KeyCode::kOther, 0, kNone, "ñ")).bytes, EncodePastedText("ñ"));
  // Broken UTF-8 costs one "?" per byte that starts nothing, and never reads past the end.
  EXPECT_EQ(TerminalBytes("a\xC3"), "a?");
  EXPECT_EQ(TerminalBytes("\xC3(b"), "?(b");
  EXPECT_EQ(TerminalBytes("\x80\xBF"), "??");
  EXPECT_EQ(TerminalBytes("\xE2\x82"), "??");
  EXPECT_EQ(TerminalBytes(std::string("\0x", 2)), std::string("\0x", 2));
}

// Every byte has a character; what can be drawn is what is neither a control nor invisible.
TEST(CodePage, EveryByteHasItsCharacterAndTypesBackToItself) {
  for (int b = 0; b < 256; ++b) {
    const CodePageCharacter& c = TerminalCharacter(static_cast<uint8_t>(b));
    EXPECT_EQ(TerminalBytes(c.utf8), std::string(1, static_cast<char>(b))) << b;
    const bool control =
        b < 0x20 || b == 0x7F || b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98;
    EXPECT_EQ(c.visible, !control && b != 0xAD) << b;
  }
  EXPECT_EQ(TerminalCharacter(0xF5).codePoint, U'ő');
  EXPECT_EQ(TerminalCharacter(0x80).codePoint, U'€');
  EXPECT_EQ(TerminalCharacter(0x9A).utf8, "š");
  EXPECT_EQ(TerminalCharacter('A').utf8, "A");
}

TEST(SessionLog, LinesReadBackToTheExactBytes) {
  using namespace std::chrono;
  std::tm t{};
  t.tm_year = 2024 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 5;
  t.tm_hour = 14;
  t.tm_min = 7;
  t.tm_sec = 9;
  t.tm_isdst = -1;
  const auto when = system_clock::from_time_t(std::mktime(&t)) + milliseconds(42);
  EXPECT_EQ(SessionLogLine('<', "hell\xF5\r\n\x1B[1m\\\t", when),
            "2024-03-05 14:07:09.042 < hellő\\r\\n\\e[1m\\\\\\t\n");
  // Controls, DEL, the undefined bytes and the soft hyphen as their number; NBSP as itself.
  EXPECT_EQ(SessionLogLine('>', std::string("\0\x7F\x81\xAD\xA0 ~", 7), when),
            "2024-03-05 14:07:09.042 > \\x00\\x7F\\x81\\xAD\xC2\xA0 ~\n");
  EXPECT_EQ(SessionLogLine('>', "", when), "2024-03-05 14:07:09.042 > \n");
}
