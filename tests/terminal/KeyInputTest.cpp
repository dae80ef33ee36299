#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <regex>
#include <string>
#include <vector>

#include "terminal/CodePage.h"
#include "terminal/KeyInput.h"
#include "terminal/SessionLog.h"
#include "terminal/TextCapture.h"

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
constexpr KeyModifiers kKeypad{false, false, false, false, true};
constexpr KeyModes kAppCursor{true, false, false};
constexpr KeyModes kAppKeypad{false, true, false};
constexpr KeyModes kVt52{false, false, true};
constexpr KeyModes kVt52AppKeypad{false, true, true};

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

// The keys a terminal user reaches for beside the letters, in each mode the far end can set.
TEST(KeyInput, EditingFunctionAndKeypadKeysSendTheirCodes) {
  struct Case {
    const char* what;
    TypedKey key;
    KeyModes modes;
    std::string bytes;  // empty: the key is the window's
  } const cases[] = {
      {"Tab", Key(KeyCode::kTab, 0, kNone, "\t"), {}, "\t"},
      {"Shift+Tab", Key(KeyCode::kBacktab, 0, kShift, ""), {}, "\x1B[Z"},
      {"Shift+Tab in VT52", Key(KeyCode::kBacktab, 0, kShift, ""), kVt52, "\t"},
      {"Ctrl+Tab switches pages", Key(KeyCode::kTab, 0, kCtrl, ""), {}, ""},
      {"Esc", Key(KeyCode::kEscape, 0, kNone, "\x1B"), {}, "\x1B"},
      {"Backspace", Key(KeyCode::kBackspace, 0, kNone, "\b"), {}, "\b"},
      {"Delete", Key(KeyCode::kDelete, 0, kNone, "\x7F"), {}, "\x7F"},
      {"Shift+Delete", Key(KeyCode::kDelete, 0, kShift, ""), {}, ""},
      {"Insert", Key(KeyCode::kInsert, 0, kNone, ""), {}, "\x1B[2~"},
      {"Shift+Insert pastes", Key(KeyCode::kInsert, 0, kShift, ""), {}, ""},
      {"End", Key(KeyCode::kEnd, 0, kNone, ""), {}, "\x1B[F"},
      {"End in cursor-key mode", Key(KeyCode::kEnd, 0, kNone, ""), kAppCursor, "\x1BOF"},
      {"End in VT52", Key(KeyCode::kEnd, 0, kNone, ""), kVt52, ""},
      {"Home in cursor-key mode", Key(KeyCode::kHome, 0, kNone, ""), kAppCursor, "\x1BOH"},
      {"PgUp", Key(KeyCode::kPageUp, 0, kNone, ""), {}, "\x1B[5~"},
      {"PgDn", Key(KeyCode::kPageDown, 0, kNone, ""), {}, "\x1B[6~"},
      {"Shift+PgUp scrolls back", Key(KeyCode::kPageUp, 0, kShift, ""), {}, ""},
      {"PgDn in VT52", Key(KeyCode::kPageDown, 0, kNone, ""), kVt52, ""},
      {"F1 is PF1", Key(KeyCode::kF1, 0, kNone, ""), {}, "\x1BOP"},
      {"F4 is PF4", Key(KeyCode::kF4, 0, kNone, ""), {}, "\x1BOS"},
      {"F2 in VT52", Key(KeyCode::kF2, 0, kNone, ""), kVt52, "\x1BQ"},
      {"Alt+F4 is the window's", Key(KeyCode::kF4, 0, kAlt, ""), {}, ""},
      {"F10 opens the menus", Key(KeyCode::kFunction, 0, kNone, ""), {}, ""},
      {"Return", Key(KeyCode::kEnter, 0, kNone, "\r"), {}, "\r"},
      {"keypad Enter", Key(KeyCode::kEnter, 0, kKeypad, "\r"), {}, "\r"},
      {"keypad Enter, keypad mode", Key(KeyCode::kEnter, 0, kKeypad, "\r"), kAppKeypad, "\x1BOM"},
      {"Return in keypad mode", Key(KeyCode::kEnter, 0, kNone, "\r"), kAppKeypad, "\r"},
      {"keypad 7", Key(KeyCode::kCharacter, '7', kKeypad, "7"), {}, "7"},
      {"keypad 0, keypad mode", Key(KeyCode::kCharacter, '0', kKeypad, "0"), kAppKeypad, "\x1BOp"},
      {"keypad 9, keypad mode", Key(KeyCode::kCharacter, '9', kKeypad, "9"), kAppKeypad, "\x1BOy"},
      {"keypad -, keypad mode", Key(KeyCode::kCharacter, '-', kKeypad, "-"), kAppKeypad, "\x1BOm"},
      {"keypad decimal comma", Key(KeyCode::kCharacter, ',', kKeypad, ","), kAppKeypad, "\x1BOn"},
      {"keypad 5, VT52 keypad mode", Key(KeyCode::kCharacter, '5', kKeypad, "5"), kVt52AppKeypad,
       "\x1B?u"},
      {"the 7 above the letters, keypad mode", Key(KeyCode::kCharacter, '7', kNone, "7"),
       kAppKeypad, "7"},
      // Ctrl+letter goes to the line; Ctrl+Shift+letter is the window's, whatever text the
      // layout gives it.
      {"Ctrl+D", Key(KeyCode::kCharacter, 'D', kCtrl, "\x04"), {}, "\x04"},
      {"Ctrl+S", Key(KeyCode::kCharacter, 'S', kCtrl, "\x13"), {}, "\x13"},
      {"Ctrl+Shift+D", Key(KeyCode::kCharacter, 'D', kCtrlShift, "\x04"), {}, ""},
      {"Ctrl+Shift+V", Key(KeyCode::kCharacter, 'V', kCtrlShift, "\x16"), {}, ""},
  };
  for (const Case& c : cases) {
    const KeyOutput out = EncodeKey(c.key, c.modes);
    if (c.bytes.empty()) {
      EXPECT_EQ(out.kind, KeyOutput::Kind::kNone) << c.what;
    } else {
      EXPECT_EQ(out.kind, KeyOutput::Kind::kBytes) << c.what;
    }
    EXPECT_EQ(out.bytes, c.bytes) << c.what;
  }
}

// A connected terminal keeps from the shortcuts exactly the keys it sends, and never a key
// held with Alt: those open the menus.
TEST(KeyInput, TheTerminalTakesWhatItSendsButNeverTheMenusKeys) {
  EXPECT_TRUE(TerminalTakesKey(Key(KeyCode::kCharacter, 'N', kCtrl, "")));
  EXPECT_TRUE(TerminalTakesKey(Key(KeyCode::kTab, 0, kNone, "\t")));
  EXPECT_TRUE(TerminalTakesKey(Key(KeyCode::kUp, 0, kNone, "")));
  EXPECT_TRUE(TerminalTakesKey(Key(KeyCode::kF1, 0, kNone, "")));
  EXPECT_FALSE(TerminalTakesKey(Key(KeyCode::kCharacter, 'S', kCtrlShift, "")));
  EXPECT_FALSE(TerminalTakesKey(Key(KeyCode::kCharacter, 'F', kAlt, "f")));
  EXPECT_FALSE(TerminalTakesKey(Key(KeyCode::kUp, 0, kAlt, "")));
  EXPECT_FALSE(TerminalTakesKey(Key(KeyCode::kFunction, 0, kNone, "")));
  EXPECT_FALSE(TerminalTakesKey(Key(KeyCode::kOther, 0, kNone, "")));
}

// What a capture file holds for what the far end sent: the text as a printer would show it.
TEST(TextCapture, KeepsTheTextAndDropsTheControls) {
  struct Case {
    const char* what;
    std::vector<std::string> blocks;
    std::string text;
  } const cases[] = {
      {"CR LF is one line end", {"one\r\ntwo\r\n"}, "one\ntwo\n"},
      {"LF alone, LF CR and CR CR LF too", {"a\nb\n\rc\r\r\nd"}, "a\nb\nc\nd"},
      {"a CR split from its LF", {"a\r", "\nb"}, "a\nb"},
      {"a lone CR before text starts a line", {"50%\r75%"}, "50%\n75%"},
      {"empty lines stay", {"a\r\n\r\nb"}, "a\n\nb"},
      {"colours and moves dropped", {"\033[1;31mred\033[0m \033[10;5Hx\033[K"}, "red x"},
      {"a sequence split between blocks", {"a\033[3", "8;5;1", "mb"}, "ab"},
      {"private modes and intermediates", {"\033[?25l\033[!p\033[?7hz"}, "z"},
      {"character sets and line sizes", {"\033(B\033)0\033#8\033#6ok"}, "ok"},
      {"one-letter sequences",
       {"\0337\0338\033=\033>\033Ma\033"
        "c"},
       "a"},
      {"VT52 addressing takes two bytes", {"\033Y%*ab\033H"}, "ab"},
      {"window titles end with BEL or ST", {"\033]0;title\007a\033]2;t\033\\b"}, "ab"},
      {"ESC in a string starts a sequence", {"\033Pdata\033[1mx"}, "x"},
      {"CAN cancels a sequence", {"\033[12\x18x"}, "x"},
      {"ESC restarts one", {"\033[12\033[mx"}, "x"},
      {"controls in a sequence still act", {"a\033[1\r\nmb"}, "a\nb"},
      {"BEL, BS, SO, SI, NUL and DEL leave nothing",
       {std::string("a\x07\b\x0E\x0F\0\x7F"
                    "b",
                    8)},
       "ab"},
      {"tabs stay", {"a\tb"}, "a\tb"},
      {"form feed ends a line", {"a\fb"}, "a\nb"},
      {"Windows-1250 as UTF-8", {"\xF5r \x80 \x9A"}, "őr € š"},
      {"undefined bytes and the soft hyphen",
       {"a\x81\xAD"
        "b"},
       "ab"},
  };
  for (const Case& c : cases) {
    TextCapture capture;
    std::string text;
    for (const std::string& block : c.blocks) text += capture.Feed(block);
    EXPECT_EQ(text, c.text) << c.what;
  }
}

// Noise that opens a sequence or a string and never ends it must not silence the capture.
TEST(TextCapture, AnOverLongSequenceIsGivenUp) {
  const auto endsWith = [](const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
  };
  TextCapture capture;
  const std::string osc = "\x1B]" + std::string(4 * TextCapture::kMaxSequence, 'x');
  const std::string unterminated = capture.Feed(osc + "later text");
  EXPECT_TRUE(endsWith(unterminated, "later text")) << unterminated;
  EXPECT_LT(unterminated.size(), osc.size());
  const std::string csi = "\x1B[" + std::string(4 * TextCapture::kMaxSequence, '1');
  EXPECT_TRUE(endsWith(capture.Feed(csi + "ok"), "ok"));
  // A sequence held over from one capture does not swallow the start of the next.
  capture.Feed("\x1B[12");
  capture.Reset();
  EXPECT_EQ(capture.Feed("9m"), "9m");
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
