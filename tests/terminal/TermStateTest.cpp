#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "terminal/TermState.h"

using namespace tarvelo;

namespace {

const std::string E = "\033";

// Stands in for the widget and the port.
struct Recorder : TermEvents {
  void ScreenChanged(const TermChanges& c) override { reports.push_back(c); }
  void CharApplied(uint8_t ch) override {
    if (onChar) onChar(ch);
  }
  void Bell() override { ++bells; }
  bool CanSend() override { return portOpen; }
  void Send(std::string_view bytes) override { sent += bytes; }
  void UnhandledCode(TEscapeCode code, std::string_view text) override {
    unhandled.push_back(std::to_string(code) + ":" + std::string(text));
    if (onUnhandled) onUnhandled();
  }
  void TextReceived(std::string& text) override {
    if (rewrite) rewrite(text);
  }

  bool portOpen = true;
  std::string sent;
  int bells = 0;
  std::vector<std::string> unhandled;
  std::vector<TermChanges> reports;
  std::function<void(uint8_t)> onChar;
  std::function<void()> onUnhandled;
  std::function<void(std::string&)> rewrite;
};

class TermStateTest : public ::testing::Test {
 protected:
  // The characters of a screen row, empty cells as blanks, blanks at the end dropped.
  std::string Row(int row) const {
    std::string text;
    for (int c = 1; c <= term.Columns(); ++c) {
      const uint8_t ch = term.Cell(c, row).ch;
      text += ch ? static_cast<char>(ch) : ' ';
    }
    return text.erase(text.find_last_not_of(' ') + 1);
  }
  std::string Screen() const {
    std::string text;
    for (int r = 1; r <= term.Rows(); ++r) text += Row(r) + "\n";
    return text;
  }
  void Show(const std::string& bytes) { term.ReceiveBytes(bytes); }

  Recorder events;
  TComTermState term{&events};
};

std::string Lines(int from, int to) {
  std::string text;
  for (int i = from; i <= to; ++i) text += "L" + std::to_string(i) + "\r\n";
  return text;
}

}  // namespace

TEST_F(TermStateTest, ScriptsPlaceTextAndCaret) {
  struct Case {
    const char* what;
    std::string bytes;
    TermPos caret;
    std::vector<std::pair<int, std::string>> rows;  // rows to check, by number
    bool wrap = false;
  };
  const std::string a79(79, 'a');
  const std::string x80(80, 'x');
  const std::vector<Case> cases = {
      {"the 80th column is overwritten without wrap", a79 + "bcd", {80, 1}, {{1, a79 + "d"}}},
      {"wrap moves on after the last column",
       a79 + "bcd",
       {3, 2},
       {{1, a79 + "b"}, {2, "cd"}},
       true},
      // The VT100's pending wrap: the caret waits in the last column, so a CR LF after a full
      // line leaves no blank row; the next character scrolls.
      {"wrap waits in the last column", E + "[24;1H" + x80, {80, 24}, {{24, x80}}, true},
      {"a full line then CR LF leaves no blank row",
       x80 + "\r\nb",
       {2, 2},
       {{1, x80}, {2, "b"}, {3, ""}},
       true},
      {"the next character after the last row scrolls",
       E + "[24;1H" + x80 + "y",
       {2, 24},
       {{23, x80}, {24, "y"}},
       true},
      {"a move ends the waiting wrap",
       a79 + "b" + E + "[Dcd",
       {80, 1},
       {{1, a79.substr(0, 78) + "cd"}, {2, ""}},
       true},
      {"LF on the last row scrolls and keeps the column",
       "top" + E + "[24;5Hab\n",
       {7, 24},
       {{1, ""}, {23, "    ab"}, {24, ""}}},
      {"LF keeps the column, CR returns",
       "ab\ncd\r\nef",
       {3, 3},
       {{1, "ab"}, {2, "  cd"}, {3, "ef"}}},
      {"form feed is a line down", "ab\fc", {4, 2}, {{2, "  c"}}},
      {"BS stops at the first column", "\b\b\bab\bc", {3, 1}, {{1, "ac"}}},
      {"TAB goes to the next stop", "a\tb\tc", {18, 1}, {{1, "a       b       c"}}},
      {"TAB in column 80 stays", E + "[1;80H\t", {80, 1}, {}},
      {"TAB past the last stop goes to the right margin",
       E + "[1;75H\tz",
       {80, 1},
       {{1, std::string(79, ' ') + "z"}}},
      {"with no tab stop TAB goes to the right margin", E + "[3gab\t", {80, 1}, {}},
      {"tab stop set at the caret", E + "[1;4H" + E + "H\r\t", {4, 1}, {}},
      {"tab stop cleared at the caret", E + "[1;9H" + E + "[g\r\t\t", {25, 1}, {}},
      {"home with row and column", E + "[5;10H", {10, 5}, {}},
      {"positions are clamped to the screen", E + "[99;999f", {80, 24}, {}},
      {"zero and missing positions are 1", E + "[5;5H" + E + "[0;0H", {1, 1}, {}},
      {"row only", E + "[7H", {1, 7}, {}},
      {"a zero count moves by one", E + "[5;5H" + E + "[0A" + E + "[0C", {6, 4}, {}},
      {"a negative count is ignored", E + "[5;5H" + E + "[-2A" + E + "[-1;3H", {5, 5}, {}},
      {"counts are clamped", E + "[3;3H" + E + "[9A" + E + "[99999999999999C", {80, 1}, {}},
      {"moves by counts", E + "[10;10H" + E + "[2A" + E + "[3D" + E + "[B" + E + "[C", {8, 9}, {}},
      {"erase to line end", "abcdef" + E + "[1;3H" + E + "[K", {3, 1}, {{1, "ab"}}},
      {"erase line returns the caret", "abc\r\ndef" + E + "[2K", {1, 2}, {{1, "abc"}, {2, ""}}},
      {"erase to screen end",
       "abc\r\ndef\r\nghi" + E + "[2;2H" + E + "[J",
       {2, 2},
       {{1, "abc"}, {2, "d"}, {3, ""}}},
      {"erase screen homes", "abc\r\ndef" + E + "[2J", {1, 1}, {{1, ""}, {2, ""}}},
      {"save and restore the caret", E + "[3;4H" + E + "[s" + E + "[9;9H" + E + "[u", {4, 3}, {}},
      {"fill test", E + "#8", {1, 1}, {{1, std::string(80, 'E')}, {24, std::string(80, 'E')}}},
      {"reset empties the screen and homes", "abc\r\nd" + E + "c", {1, 1}, {{1, ""}, {2, ""}}},
      {"control characters leave no trace, VT is a line down, DEL is ignored",
       std::string("a\x01\x0b\x1f\x7f", 5) + "b",
       {3, 2},
       {{1, "a"}, {2, " b"}}},
  };
  for (const Case& c : cases) {
    TComTermState t(&events);
    t.SetWrapLines(c.wrap);
    t.ReceiveBytes(c.bytes);
    EXPECT_EQ(t.Caret(), (TermPos{c.caret}))
        << c.what << ": at " << t.Caret().column << "," << t.Caret().row;
    for (const auto& [row, text] : c.rows) {
      std::string got;
      for (int col = 1; col <= t.Columns(); ++col) {
        const uint8_t ch = t.Cell(col, row).ch;
        got += ch ? static_cast<char>(ch) : ' ';
      }
      got.erase(got.find_last_not_of(' ') + 1);
      EXPECT_EQ(got, text) << c.what << ", row " << row;
    }
  }
}

TEST_F(TermStateTest, LineUpOnTheTopRowScrollsDown) {
  term.SetEmulation(teVT52);
  Show("top\r\nnext" + E + "A" + E + "I");
  EXPECT_EQ(Row(1), "");
  EXPECT_EQ(Row(2), "top");
  EXPECT_EQ(Row(3), "next");
  EXPECT_EQ(term.Caret(), (TermPos{5, 1}));
}

TEST_F(TermStateTest, VT52PositionsByCharacters) {
  term.SetEmulation(teVT52);
  Show(E + "Y\x25\x2a" + "x" + E + "Y\x7f\x7f");
  EXPECT_EQ(term.Cell(11, 6).ch, 'x');
  EXPECT_EQ(term.Caret(), (TermPos{80, 24}));
}

TEST_F(TermStateTest, AttributesColourNewCharacters) {
  term.SetTextColor(0xEEEEEE);
  term.SetBackgroundColor(0x222222);
  constexpr TermColor kText = 0xEEEEEE, kBack = 0x222222;
  struct Case {
    std::string bytes;  // ends by writing "A"
    TermColor foreground;
    TermColor background;
    bool underline;
    bool bold = false;
    bool blink = false;
  };
  const std::vector<Case> cases = {
      {"A", kText, kBack, false},
      // Bold keeps the text colour (drawn in a bold face), never a dim one.
      {E + "[1mA", kText, kBack, false, true},
      {E + "[1;7mA", kBack, kText, false, true},
      {E + "[7mA", kBack, kText, false},
      {E + "[4mA", kText, kBack, true},
      {E + "[5mA", kText, kBack, false, false, true},
      {E + "[1;4;5;7m" + E + "[21;24;25;27mA", kText, kBack, false},
      {E + "[1;4;7m" + E + "[22mA", kBack, kText, true},
      {E + "[1;4;7m" + E + "[0mA", kText, kBack, false},
      {E + "[1;4;7m" + E + "[mA", kText, kBack, false},
      {E + "[1;4;7m" + E + "cA", kText, kBack, false},
      {E + "[7;0;4mA", kText, kBack, true},
      // An empty first parameter is 0: this is underline, not bold.
      {E + "[1m" + E + "[;4mA", kText, kBack, true},
      {E + "[1;4m" + E + "7" + E + "[0m" + E + "8A", kText, kBack, true, true},
      // The sixteen colours, and the defaults back.
      {E + "[31;42mA", 0xCD0000, 0x00CD00, false},
      {E + "[97;104mA", 0xFFFFFF, 0x5C5CFF, false},
      {E + "[31;42m" + E + "[39mA", kText, 0x00CD00, false},
      {E + "[31;42m" + E + "[49mA", 0xCD0000, kBack, false},
      // Bold in one of the eight colours is its bright counterpart.
      {E + "[1;34mA", 0x5C5CFF, kBack, false, true},
      {E + "[34;1mA", 0x5C5CFF, kBack, false, true},
      {E + "[1;94mA", 0x5C5CFF, kBack, false, true},
      {E + "[33;44;7mA", 0x0000EE, 0xCDCD00, false},
      {E + "[36;45m" + E + "[0mA", kText, kBack, false},
      // Indexed colours: the first sixteen are ours, the rest keep the colour; the numbers of
      // the colour are never taken as attributes (5 blink, 4 underline).
      {E + "[38;5;1;48;5;4mA", 0xCD0000, 0x0000EE, false},
      {E + "[38;5;200;48;2;4;5;1mA", kText, kBack, false},
  };
  for (const Case& c : cases) {
    Show(E + "[0m" + E + "[H" + c.bytes);
    const TermCell& cell = term.Cell(1, 1);
    EXPECT_EQ(cell.ch, 'A');
    EXPECT_EQ(cell.foreground, c.foreground) << c.bytes.substr(1);
    EXPECT_EQ(cell.background, c.background) << c.bytes.substr(1);
    EXPECT_EQ(cell.underline, c.underline) << c.bytes.substr(1);
    EXPECT_EQ(cell.bright, c.bold) << c.bytes.substr(1);
    EXPECT_EQ(cell.blink, c.blink) << c.bytes.substr(1);
  }
  // A colour chosen for bold text is used for it once it has been set.
  term.SetAltColor(0x111111);
  Show(E + "[0m" + E + "[H" + E + "[1mA" + E + "[1;31mB");
  EXPECT_EQ(term.Cell(1, 1).foreground, 0x111111u);
  EXPECT_EQ(term.Cell(2, 1).foreground, 0xFF0000u);
}

TEST_F(TermStateTest, FillTestIgnoresAttributes) {
  Show(E + "[1;4;7m" + E + "#8");
  const TermCell& cell = term.Cell(80, 24);
  EXPECT_EQ(cell.ch, 'E');
  EXPECT_EQ(cell.foreground, term.TextColor());
  EXPECT_EQ(cell.background, term.BackgroundColor());
  EXPECT_FALSE(cell.underline);
}

TEST_F(TermStateTest, AnswersQueries) {
  struct Case {
    TTermEmulation emulation;
    std::string bytes;
    std::string answer;
  };
  const std::vector<Case> cases = {
      {teVT100orANSI, E + "[3;7H" + E + "[6n", E + "[3;7R"},
      {teVT100orANSI, E + "[99;99H" + E + "[6n", E + "[24;80R"},
      // Identified as a VT102.
      {teVT100orANSI, E + "[c", E + "[?6c"},
      {teVT100orANSI, E + "[0c", E + "[?6c"},
      {teVT100orANSI, E + "Z", E + "[?6c"},
      {teVT100orANSI, E + "[x", E + "[2;1;1;112;112;1;0x"},
      {teVT100orANSI, E + "[1x", E + "[3;1;1;112;112;1;0x"},
      // In origin mode the caret is reported from the top margin.
      {teVT100orANSI, E + "[5;20r" + E + "[?6h" + E + "[2;3H" + E + "[6n", E + "[2;3R"},
      // VT52 mode of the VT100 emulation answers as a VT52 does.
      {teVT100orANSI, E + "[?2l" + E + "Z", E + "/Z"},
      {teVT100orANSI, E + "[5n", E + "[0n"},
      {teVT52, E + "Z", E + "/Z"},
  };
  for (const Case& c : cases) {
    Recorder port;
    TComTermState t(&port);
    t.SetEmulation(c.emulation);
    t.ReceiveBytes(c.bytes);
    EXPECT_EQ(port.sent, c.answer) << c.bytes.substr(1);
    EXPECT_TRUE(port.unhandled.empty());

    port.sent.clear();
    port.portOpen = false;
    t.ReceiveBytes(c.bytes);
    EXPECT_EQ(port.sent, "") << "closed port: " << c.bytes.substr(1);
  }
}

TEST_F(TermStateTest, ReportsUnhandledCodes) {
  Show(E + "[5z" + E + "[3;7R" + E + "[0n" + E + "[3J" + "x");
  term.SetEmulation(teVT52);
  Show(E + "Q");
  EXPECT_EQ(events.unhandled,
            (std::vector<std::string>{"0:[5z", "26:[3;7R", "23:[0n", "0:[3J", "0:Q"}));
  EXPECT_EQ(Row(1), "x");
}

TEST_F(TermStateTest, KeypadCodesMoveLikeCursorCodes) {
  Show(E + "[5;5H" + E + "OA" + E + "OD" + E + "OD" + E + "OB" + E + "OB" + E + "OC");
  EXPECT_EQ(term.Caret(), (TermPos{4, 6}));
  EXPECT_TRUE(events.unhandled.empty());
}

TEST_F(TermStateTest, Modes) {
  Show("abc" + E + "[1;100H");
  EXPECT_EQ(term.Caret(), (TermPos{80, 1}));
  Show(E + "[?3h");
  EXPECT_EQ(term.Columns(), 132);
  EXPECT_EQ(Row(1), "");
  Show(E + "[1;100Hx");
  EXPECT_EQ(term.Caret(), (TermPos{101, 1}));
  // Switching the width empties the screen and homes the caret, also when the width stays.
  Show(E + "[?3l");
  EXPECT_EQ(term.Columns(), 80);
  EXPECT_EQ(term.Caret(), (TermPos{1, 1}));
  Show("abc" + E + "[?3l");
  EXPECT_EQ(Row(1), "");
  EXPECT_EQ(term.Caret(), (TermPos{1, 1}));
  // Narrowing by the property must not leave the caret beyond the last column.
  Show(E + "[1;80H");
  term.SetColumns(40);
  EXPECT_EQ(term.Caret(), (TermPos{40, 1}));
  Show("y");
  EXPECT_EQ(term.Cell(40, 1).ch, 'y');
  term.SetColumns(80);

  Show(E + "[7h");
  EXPECT_TRUE(term.WrapLines());
  Show(E + "[7l" + E + "[?1h");
  EXPECT_FALSE(term.WrapLines());
  EXPECT_TRUE(term.AppCursorKeys());
  Show(E + "[?1l" + E + "[?5h" + E + "[h");
  EXPECT_FALSE(term.AppCursorKeys());
  EXPECT_EQ(term.Columns(), 80);
}

TEST_F(TermStateTest, SizeIsHeldWithinLimits) {
  const std::vector<std::pair<int, int>> sizes = {{1, 2}, {300, 256}, {80, 80}, {2, 2}};
  for (const auto& [given, held] : sizes) {
    term.SetColumns(given);
    EXPECT_EQ(term.Columns(), held);
  }
  term.SetRows(150);
  EXPECT_EQ(term.Rows(), 100);
  term.SetRows(-5);
  EXPECT_EQ(term.Rows(), 2);
  term.SetSize(10, 3);
  Show("123456789012\r\n\r\n\r\n\r\nz");
  EXPECT_EQ(Row(1), "");
  EXPECT_EQ(Row(3), "z");
  EXPECT_EQ(term.Caret(), (TermPos{2, 3}));
}

TEST_F(TermStateTest, Keys) {
  struct Case {
    TTermEmulation emulation;
    bool appCursorKeys;
    TArrowKeys arrows;
    bool echo;
    TermKey key;
    std::string sent;
    TermPos caret;  // from 5,5
  };
  const std::vector<Case> cases = {
      {teVT100orANSI, false, akTerminal, false, TermKey::kUp, E + "[A", {5, 5}},
      {teVT100orANSI, false, akTerminal, true, TermKey::kLeft, E + "[D", {4, 5}},
      {teVT100orANSI, false, akTerminal, true, TermKey::kHome, E + "[H", {1, 1}},
      {teVT100orANSI, false, akWindows, false, TermKey::kDown, "", {5, 6}},
      {teVT100orANSI, false, akWindows, false, TermKey::kHome, "", {1, 1}},
      {teVT100orANSI, true, akWindows, false, TermKey::kUp, E + "OA", {5, 5}},
      {teVT100orANSI, true, akTerminal, true, TermKey::kRight, E + "OC", {6, 5}},
      {teVT100orANSI, true, akTerminal, true, TermKey::kHome, "", {5, 5}},
      {teVT52, false, akTerminal, false, TermKey::kRight, E + "C", {5, 5}},
      {teNone, false, akTerminal, true, TermKey::kUp, "", {5, 5}},
  };
  for (const Case& c : cases) {
    Recorder port;
    TComTermState t(&port);
    t.ShowBytes(E + "[5;5H");
    if (c.appCursorKeys) t.ShowBytes(E + "[?1h");
    t.SetEmulation(c.emulation);
    t.SetArrowKeys(c.arrows);
    t.SetLocalEcho(c.echo);
    t.SendKey(c.key);
    EXPECT_EQ(port.sent, c.sent) << static_cast<int>(c.key);
    EXPECT_EQ(t.Caret(), c.caret) << static_cast<int>(c.key);
  }
}

TEST_F(TermStateTest, CursorKeysNeedAnOpenPortUnlessLocal) {
  events.portOpen = false;
  term.ShowBytes(E + "[5;5H");
  term.SetLocalEcho(true);
  term.SendKey(TermKey::kLeft);
  EXPECT_EQ(term.Caret(), (TermPos{5, 5}));
  term.SetArrowKeys(akWindows);
  term.SendKey(TermKey::kLeft);
  EXPECT_EQ(term.Caret(), (TermPos{4, 5}));
  EXPECT_EQ(events.sent, "");
}

TEST_F(TermStateTest, TypingWithLocalEcho) {
  term.SetLocalEcho(true);
  term.SetSendLF(true);
  for (const char ch : std::string("ab\rc")) term.SendKeyChar(ch);
  EXPECT_EQ(events.sent, "ab\r\nc");
  EXPECT_EQ(Row(1), "ab");
  EXPECT_EQ(Row(2), "c");
  EXPECT_EQ(term.Caret(), (TermPos{2, 2}));

  // A closed port takes nothing, and nothing is shown.
  events.portOpen = false;
  events.sent.clear();
  term.SendKeyChar('z');
  EXPECT_EQ(events.sent, "");
  EXPECT_EQ(Row(2), "c");

  // Without echo the screen waits for the far end.
  events.portOpen = true;
  term.SetLocalEcho(false);
  term.SendKeyChar('q');
  EXPECT_EQ(events.sent, "q");
  EXPECT_EQ(Row(2), "c");
}

// Pasted text: one write, shaped and echoed as if each character had been typed.
TEST_F(TermStateTest, PastedTextGoesOutInOneWrite) {
  struct Counting : Recorder {
    int writes = 0;
    void Send(std::string_view bytes) override {
      ++writes;
      Recorder::Send(bytes);
    }
  } counting;
  term.SetEvents(&counting);
  term.SetLocalEcho(true);
  term.SetSendLF(true);
  term.SendText("ls\rpwd");
  EXPECT_EQ(counting.sent, "ls\r\npwd");
  EXPECT_EQ(counting.writes, 1);
  EXPECT_EQ(Row(1), "ls");
  EXPECT_EQ(Row(2), "pwd");

  counting.portOpen = false;
  term.SendText("x");
  EXPECT_EQ(counting.writes, 1);
  EXPECT_EQ(Row(2), "pwd");
  term.SetEvents(&events);
}

TEST_F(TermStateTest, ReceivedBlocksAreShapedBeforeShowing) {
  term.SetAppendLF(true);
  Show("ab\rcd");
  EXPECT_EQ(Row(2), "cd");

  term.SetAppendLF(false);
  term.SetForce7Bit(true);
  Show(E + "[5;1H\xc1\xe2");
  EXPECT_EQ(Row(5), "Ab");

  term.SetForce7Bit(false);
  events.rewrite = [](std::string& text) { std::replace(text.begin(), text.end(), 'x', 'y'); };
  Show(E + "[6;1Hx");
  EXPECT_EQ(Row(6), "y");
  // ShowBytes skips the shaping.
  term.ShowBytes("\r\n\xe9");
  EXPECT_EQ(term.Cell(1, 7).ch, 0xe9);
}

TEST_F(TermStateTest, BellIsReportedNotShown) {
  Show("a\ab\a");
  EXPECT_EQ(events.bells, 2);
  EXPECT_EQ(Row(1), "ab");
}

// The page empties the screen on a form feed and on ESC from its character handler; the
// terminal must take that in the middle of a block.
TEST_F(TermStateTest, CharacterHandlerMayWipeTheScreen) {
  events.onChar = [this](uint8_t ch) {
    if (ch == 12 || ch == 27) term.WipeScreen();
  };
  Show("abc\r\nxyz\fdef");
  EXPECT_EQ(Row(1), "def");
  EXPECT_EQ(Row(2), "");
  EXPECT_EQ(term.Caret(), (TermPos{4, 1}));

  // Without a parser ESC is a character too.
  term.SetEmulation(teNone);
  Show("ghi\x1bjk");
  EXPECT_EQ(Row(1), "jk");
  // A typed ESC echoed locally does the same.
  term.SetEmulation(teVT100orANSI);
  term.SetLocalEcho(true);
  term.SendKeyChar('m');
  term.SendKeyChar(27);
  EXPECT_EQ(Row(1), "");
  EXPECT_EQ(events.sent, "m\x1b");
}

TEST_F(TermStateTest, HandlerMayChangeTheEmulationMidBlock) {
  events.onUnhandled = [this] { term.SetEmulation(teVT52); };
  Show(E + "[5z" + E + "[5;5H" + E + "Y\x25\x2a" + "x");
  // After the switch the VT100 sequence falls apart and VT52 positions apply.
  EXPECT_EQ(term.Emulation(), teVT52);
  EXPECT_EQ(term.Cell(11, 6).ch, 'x');
}

// A port write can fail with an exception; the terminal passes it on and stays usable.
TEST_F(TermStateTest, FailedAnswerLeavesTheTerminalUsable) {
  struct FailingPort : Recorder {
    void Send(std::string_view) override { throw std::runtime_error("port gone"); }
  } port;
  TComTermState t(&port);
  EXPECT_THROW(t.ReceiveBytes("ab" + E + "[6ncd"), std::runtime_error);
  port.reports.clear();
  t.ReceiveBytes("ef");
  ASSERT_EQ(port.reports.size(), 1u);
  EXPECT_TRUE(port.reports[0].RowDirty(1));
  EXPECT_EQ(t.Cell(1, 1).ch, 'a');
  EXPECT_EQ(t.Cell(3, 1).ch, 'e');
  EXPECT_EQ(t.Caret(), (TermPos{5, 1}));
}

TEST_F(TermStateTest, NoEmulationAsksForAParser) {
  struct Supplier : Recorder {
    std::unique_ptr<TEscapeCodes> ParserWanted() override {
      ++asked;
      return std::make_unique<TEscapeCodesVT52>();
    }
    int asked = 0;
  } supplier;
  TComTermState t(&supplier);
  t.SetEmulation(teNone);
  EXPECT_EQ(supplier.asked, 1);
  t.ShowBytes(E + "Y\x22\x22" + "q");
  EXPECT_EQ(t.Cell(3, 3).ch, 'q');
}

TEST_F(TermStateTest, ScrolledLinesAreKept) {
  Show(Lines(1, 30));
  EXPECT_EQ(term.ScrollbackLines(), 7);
  EXPECT_EQ(Row(1), "L8");
  auto lineText = [this](int line) {
    std::string text;
    for (const TermCell& cell : term.Line(line)) text += cell.ch ? char(cell.ch) : ' ';
    return text.erase(text.find_last_not_of(' ') + 1);
  };
  EXPECT_EQ(lineText(0), "L7");
  EXPECT_EQ(lineText(-6), "L1");
  EXPECT_TRUE(term.Line(-7).empty());
  EXPECT_TRUE(term.Line(25).empty());

  // The oldest lines age out beyond the capacity; clearing and resizing keep the history.
  Show(Lines(31, 1100));
  EXPECT_EQ(term.ScrollbackLines(), 1000);
  EXPECT_EQ(lineText(0), "L1077");
  EXPECT_EQ(lineText(-999), "L78");
  Show(E + "[2J");
  term.WipeScreen();
  term.SetColumns(132);
  EXPECT_EQ(term.ScrollbackLines(), 1000);
  Show("wide\r\n" + Lines(1, 23));
  EXPECT_EQ(term.Line(0).size(), 132u);
  EXPECT_EQ(lineText(0), "wide");
  EXPECT_EQ(term.Line(-1).size(), 80u);

  term.SetScrollbackCapacity(3);
  EXPECT_EQ(term.ScrollbackLines(), 3);
  term.SetScrollbackCapacity(0);
  Show(Lines(1, 30));
  EXPECT_EQ(term.ScrollbackLines(), 0);
}

TEST_F(TermStateTest, SelectedText) {
  Show(Lines(1, 23) + "L24" + E + "[1;1Habcdef" + E + "[2;1H  ghi" + E + "[3;1Hjk");
  // Screen rows 1..3: "abcdef", "  ghi", "jk"; no scroll-back yet.
  EXPECT_EQ(term.SelectedText({3, 1}, {2, 3}, false), "cdef\n  ghi\njk");
  EXPECT_EQ(term.SelectedText({2, 3}, {3, 1}, false), "cdef\n  ghi\njk");
  EXPECT_EQ(term.SelectedText({2, 1}, {4, 3}, true), "bcd\n gh\nk");
  EXPECT_EQ(term.SelectedText({4, 3}, {2, 1}, true), "bcd\n gh\nk");
  EXPECT_EQ(term.SelectedText({5, 2}, {5, 2}, false), "i");
  EXPECT_EQ(term.SelectedText({1, 2}, {2, 2}, false), "");
  // Reaching into the scroll-back and beyond the lines that exist.
  Show(E + "[24;1H\nnew");
  EXPECT_EQ(term.SelectedText({1, -10}, {200, 1}, false), "abcdef\n  ghi");
  EXPECT_EQ(term.SelectedText({1, 23}, {999, 99}, true), "L24\nnew");
}

// Replays the reports the way a widget would (move the pixels, repaint the dirty rows) and
// checks that its picture matches the screen after every block, in both dialects.
TEST_F(TermStateTest, ReportsKeepADrawingInStep) {
  const std::vector<std::string> vt100 = {
      "text ",   "\r\n",        "\n\n\n",  E + "[2J", E + "[K",  E + "[J",  E + "[2K",
      E + "[H",  E + "[24;70H", E + "[5A", "\t",      "\b",      E + "M",   E + "[1;7m",
      E + "[0m", E + "[12;1H",  "\x0c",    E + "#8",  E + "[7h", E + "[7l", std::string(90, 'w'),
  };
  const std::vector<std::string> vt52 = {
      "text ", "\r\n",  "\n\n\n",  E + "I", E + "I" + E + "I",    E + "A", E + "H",
      E + "J", E + "K", E + "Y7 ", "\t",    std::string(90, 'w'),
  };
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  auto snapshot = [this](std::vector<std::string>& into) {
    into.assign(term.Rows(), "");
    for (int r = 1; r <= term.Rows(); ++r) into[r - 1] = Row(r);
  };
  for (const TTermEmulation emulation : {teVT100orANSI, teVT52}) {
    const auto& pieces = emulation == teVT52 ? vt52 : vt100;
    std::string script;
    for (int i = 0; i < 2000; ++i) script += pieces[next(pieces.size())];
    term.SetEmulation(emulation);
    term.WipeScreen();
    std::vector<std::string> picture;
    snapshot(picture);
    TermPos caret = term.Caret();
    int scrolledUp = 0;
    int scrolledDown = 0;

    for (size_t at = 0; at < script.size();) {
      const size_t size = 1 + next(200);
      events.reports.clear();
      Show(script.substr(at, size));
      at += size;
      ASSERT_LE(events.reports.size(), 1u);
      if (events.reports.empty()) continue;
      const TermChanges& c = events.reports.front();
      if (c.repaintAll) {
        snapshot(picture);
      } else {
        scrolledUp += c.scrolled > 0;
        scrolledDown += c.scrolled < 0;
        std::vector<std::string> moved(picture.size());
        for (int r = 1; r <= term.Rows(); ++r) {
          const int from = r + c.scrolled;
          if (from >= 1 && from <= term.Rows()) {
            moved[r - 1] = picture[from - 1];
          } else {
            ASSERT_TRUE(c.RowDirty(r)) << "row " << r << " has no source";
          }
        }
        picture = moved;
        for (int r = 1; r <= term.Rows(); ++r) {
          if (c.RowDirty(r)) picture[r - 1] = Row(r);
        }
      }
      if (c.caretMoved) caret = term.Caret();
      std::vector<std::string> truth;
      snapshot(truth);
      ASSERT_EQ(picture, truth) << "after byte " << at;
      ASSERT_EQ(caret, term.Caret()) << "after byte " << at;
    }
    EXPECT_GT(scrolledUp, 10);
    if (emulation == teVT52) {
      EXPECT_GT(scrolledDown, 10);
    }
  }
}

// Arbitrary input, sizes and dialects: the caret never leaves the screen and nothing reads or
// writes outside the cells (the sanitizer build watches the latter).
TEST_F(TermStateTest, ArbitraryInputKeepsTheCaretOnTheScreen) {
  uint32_t seed = 99;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  const std::string alphabet =
      "\x1b\x1b\x1b[[[;;?#O0123456789AaBbCcDdfHhJKlmnRsuYZgI/8 \r\n\t\b\f\x7f\xff";
  events.onChar = [&](uint8_t ch) {
    if (ch == 12) term.SetSize(2 + next(140), 2 + next(30));
  };
  term.SetEmulation(teVT100orANSI);
  for (int block = 0; block < 400; ++block) {
    if (block % 100 == 50) term.SetEmulation(term.Emulation() == teVT52 ? teVT100orANSI : teVT52);
    term.SetWrapLines(next(2) == 0);
    std::string bytes;
    for (int i = 0; i < 500; ++i) bytes += alphabet[next(alphabet.size())];
    term.ReceiveBytes(bytes);
    const TermPos caret = term.Caret();
    ASSERT_GE(caret.column, 1);
    ASSERT_LE(caret.column, term.Columns());
    ASSERT_GE(caret.row, 1);
    ASSERT_LE(caret.row, term.Rows());
  }
  EXPECT_GT(term.ScrollbackLines(), 0);
}

TEST_F(TermStateTest, OneReportPerBlock) {
  events.reports.clear();
  Show("a\r\nb");
  ASSERT_EQ(events.reports.size(), 1u);
  const TermChanges& c = events.reports[0];
  EXPECT_FALSE(c.repaintAll);
  EXPECT_TRUE(c.caretMoved);
  EXPECT_EQ(c.scrolled, 0);
  EXPECT_TRUE(c.RowDirty(1));
  EXPECT_TRUE(c.RowDirty(2));
  EXPECT_FALSE(c.RowDirty(3));

  events.reports.clear();
  Show(E + "[24;1H" + "\n\n\n");
  ASSERT_EQ(events.reports.size(), 1u);
  EXPECT_EQ(events.reports[0].scrolled, 3);
  EXPECT_EQ(events.reports[0].scrollbackAdded, 3);

  // Nothing changed, nothing reported.
  events.reports.clear();
  Show(E + "[24;1H");
  EXPECT_TRUE(events.reports.empty());
  term.SetColumns(100);
  ASSERT_EQ(events.reports.size(), 1u);
  EXPECT_TRUE(events.reports[0].sizeChanged);
  EXPECT_TRUE(events.reports[0].repaintAll);
  EXPECT_EQ(events.reports[0].dirtyRows.size(), 24u);

  // Wiping repaints everything but keeps the size.
  events.reports.clear();
  term.WipeScreen();
  ASSERT_EQ(events.reports.size(), 1u);
  EXPECT_TRUE(events.reports[0].repaintAll);
  EXPECT_FALSE(events.reports[0].sizeChanged);
}
