// Transcripts of the VT102 functions: bytes from the line in, the screen, the caret and the
// answers out, on a small 10 x 6 screen so that a whole screen fits on a table row.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terminal/TermState.h"

using namespace tarvelo;

namespace {

const std::string E = "\033";

struct Port : TermEvents {
  bool CanSend() override { return true; }
  void Send(std::string_view bytes) override { sent += bytes; }
  void ScreenChanged(const TermChanges& c) override { repaintAll = repaintAll || c.repaintAll; }
  std::string sent;
  bool repaintAll = false;
};

// Rows joined by "|", empty cells as blanks, line-drawing cells as "*"; blanks at row ends and
// empty rows at the end are dropped.
std::string ScreenText(const TComTermState& term) {
  std::string text;
  for (int row = 1; row <= term.Rows(); ++row) {
    std::string line;
    for (int column = 1; column <= term.Columns(); ++column) {
      const TermCell& cell = term.Cell(column, row);
      line += cell.lineDrawing ? '*' : cell.ch ? static_cast<char>(cell.ch) : ' ';
    }
    line.erase(line.find_last_not_of(' ') + 1);
    text += (row > 1 ? "|" : "") + line;
  }
  return text.erase(text.find_last_not_of('|') + 1);
}

struct Row {
  const char* what;
  std::string bytes;
  std::string screen;
  TermPos caret;
  std::string answer = "";
  bool wrap = true;
};

// Rows and columns numbered for the eye: "1234567890" fills a line of the 10-column screen.
const std::string kSix = "a\r\nb\r\nc\r\nd\r\ne\r\nf";

void Check(const std::vector<Row>& rows) {
  for (const Row& r : rows) {
    Port port;
    TComTermState term(&port);
    term.SetSize(10, 6);
    term.SetWrapLines(r.wrap);
    term.ReceiveBytes(r.bytes);
    EXPECT_EQ(ScreenText(term), r.screen) << r.what;
    EXPECT_EQ(term.Caret(), r.caret)
        << r.what << ": caret at " << term.Caret().column << "," << term.Caret().row;
    EXPECT_EQ(port.sent, r.answer) << r.what;
  }
}

}  // namespace

TEST(TermTranscript, ScrollRegionsAndOriginMode) {
  Check({
      {"a region scrolls alone at its bottom margin",
       kSix + E + "[2;4r" + E + "[4;1H\nx",
       "a|c|d|x|e|f",
       {2, 4}},
      {"setting a region homes the caret", "ab" + E + "[2;5r", "ab", {1, 1}},
      {"reverse index at the top margin scrolls the region down",
       kSix + E + "[2;4r" + E + "[2;1H" + E + "Mx",
       "a|x|b|c|e|f",
       {2, 2}},
      {"index and next line", "ab" + E + "D" + "c" + E + "Ed", "ab|  c|d", {2, 3}},
      {"below the region LF on the last row does not scroll",
       kSix + E + "[2;4r" + E + "[6;1H\n",
       "a|b|c|d|e|f",
       {1, 6}},
      {"cursor moves stop at the margins inside the region",
       E + "[2;4r" + E + "[3;1H" + E + "[9A" + "u" + E + "[9B" + "d",
       "|u|| d",
       {3, 4}},
      {"origin mode counts rows from the top margin and keeps the caret inside",
       E + "[3;5r" + E + "[?6h" + "h" + E + "[2;2Hx" + E + "[9;1Hy",
       "||h| x|y",
       {2, 5}},
      {"leaving origin mode homes to the screen",
       E + "[3;5r" + E + "[?6h" + E + "[?6lz",
       "z",
       {2, 1}},
      {"restoring in origin mode keeps the caret inside margins set since",
       E + "[?6h" + E + "7" + E + "[3;5r" + E + "8x" + E + "[s" + E + "[4;5r" + E + "[ux",
       "||x| x",
       {3, 4}},
      {"the largest counts stop at the screen's edges",
       E + "[99999999999B" + E + "[99999999999C" + E + "[2147483647D" + E + "[2147483647A",
       "",
       {1, 1}},
      {"a region of one line or past the screen is not taken",
       kSix + E + "[3;3r" + E + "[2;9r" + E + "[6;1H\n",
       "b|c|d|e|f",
       {1, 6}},
      {"ESC [ r is the whole screen again",
       kSix + E + "[2;4r" + E + "[r" + E + "[6;1H\n",
       "b|c|d|e|f",
       {1, 6}},
  });
}

TEST(TermTranscript, InsertAndDelete) {
  Check({
      {"insert lines within the region",
       kSix + E + "[1;4r" + E + "[2;3H" + E + "[2L",
       "a|||b|e|f",
       {1, 2}},
      {"delete lines within the region",
       kSix + E + "[1;4r" + E + "[2;3H" + E + "[M",
       "a|c|d||e|f",
       {1, 2}},
      {"insert and delete lines outside the region do nothing",
       kSix + E + "[1;3r" + E + "[5;1H" + E + "L" + E + "[5;1H" + E + "[M",
       "a|b|c|d|e|f",
       {1, 5}},
      {"a count larger than the region clears it", kSix + E + "[3;1H" + E + "[99M", "a|b", {1, 3}},
      {"insert characters", "abcdefghij" + E + "[1;3H" + E + "[2@", "ab  cdefgh", {3, 1}},
      {"delete characters", "abcdefghij" + E + "[1;3H" + E + "[2P", "abefghij", {3, 1}},
      {"erase characters", "abcdefghij" + E + "[1;3H" + E + "[3X", "ab   fghij", {3, 1}},
      {"a zero count is one", "abcdef" + E + "[1;2H" + E + "[0P", "acdef", {2, 1}},
      {"insert mode pushes the line right",
       "abcdef" + E + "[1;3H" + E + "[4hXY" + E + "[4lZ",
       "abXYZdef",
       {6, 1}},
  });
}

TEST(TermTranscript, Erasing) {
  Check({
      {"erase to the line start", "abcdef" + E + "[1;3H" + E + "[1K", "   def", {3, 1}},
      {"erase to the screen start",
       "abc\r\ndef\r\nghi" + E + "[2;2H" + E + "[1J",
       "|  f|ghi",
       {2, 2}},
      {"erase the screen homes the caret", "abc\r\ndef" + E + "[2J", "", {1, 1}},
      {"erase the line goes to column 1", "abc\r\ndef" + E + "[2K", "abc", {1, 2}},
  });
}

TEST(TermTranscript, WrapAndTabs) {
  Check({
      {"ten characters then CR LF leave no blank row", "1234567890\r\nx", "1234567890|x", {2, 2}},
      {"the waiting wrap happens on the next character", "1234567890x", "1234567890|x", {2, 2}},
      {"auto-wrap off overwrites the last column",
       E + "[?7l" + "1234567890xy",
       "123456789y",
       {10, 1}},
      {"ESC [ 7 h still switches wrapping on", "1234567890xy", "123456789y", {10, 1}, "", false},
      {"ESC [ 7 h", E + "[7h" + "1234567890x", "1234567890|x", {2, 2}, "", false},
      {"ESC [ ? 7 h", E + "[?7h" + "1234567890x", "1234567890|x", {2, 2}, "", false},
      {"save and restore keep the waiting wrap",
       "1234567890" + E + "7" + E + "[3;3H" + E + "8x",
       "1234567890|x",
       {2, 2}},
      {"a tab past the last stop goes to the right margin", "ab\t\tx", "ab       x", {10, 1}},
      {"DEL is ignored",
       "a\x7f"
       "b",
       "ab",
       {3, 1}},
      {"new-line mode makes LF a new line",
       E + "[20h" + "ab\ncd" + E + "[20l\nx",
       "ab|cd|  x",
       {4, 3}},
  });
}

TEST(TermTranscript, CharacterSets) {
  Check({
      {"the designators leave nothing on the screen",
       E + "(B" + E + ")0" + E + "(A" + E + "(B",
       "",
       {1, 1}},
      {"DEC special graphics in G0", E + "(0" + "lqk_a" + E + "(B" + "q", "*****q", {7, 1}},
      {"SO and SI switch between G0 and G1", E + ")0" + "q\x0eq\x0fq", "q*q", {4, 1}},
      {"only 0x5F..0x7E are line drawing", E + "(0" + "AZ^", "AZ^", {4, 1}},
      {"the UK set has a pound sign for #", E + "(A" + "a#", "a*", {3, 1}},
      {"save and restore keep the character sets",
       E + "(0" + E + "7" + E + "(B" + "q" + E + "8q",
       "*",
       {2, 1}},
  });
}

TEST(TermTranscript, ResetAndAlignment) {
  Check({
      {"reset empties the screen, homes and takes back the modes",
       "ab" + E + "[2;4r" + E + "[?6h" + E + "(0" + E + "[4h" + E + "c" + "q\r\n\r\n\r\n\r\nq",
       "q||||q",
       {2, 5}},
      {"alignment fills the screen with E",
       E + "#8",
       "EEEEEEEEEE|EEEEEEEEEE|EEEEEEEEEE|EEEEEEEEEE|EEEEEEEEEE|EEEEEEEEEE",
       {1, 1}},
  });
}

TEST(TermTranscript, Answers) {
  Check({
      {"identity as a VT102", E + "[c" + E + "Z", "", {1, 1}, E + "[?6c" + E + "[?6c"},
      {"terminal parameters",
       E + "[0x" + E + "[1x",
       "",
       {1, 1},
       E + "[2;1;1;112;112;1;0x" + E + "[3;1;1;112;112;1;0x"},
      {"status and caret",
       E + "[5n" + E + "[2;3H" + E + "[6n",
       "",
       {3, 2},
       E + "[0n" + E + "[2;3R"},
      {"VT52 mode identifies as a VT52 and positions by characters",
       E + "[?2l" + E + "Z" + E + "Y\x22\x23x" + E + "<" + E + "[c",
       "||   x",
       {5, 3},
       E + "/Z" + E + "[?6c"},
  });
}

TEST(TermTranscript, ParserRulesOnTheScreen) {
  Check({
      {"control bytes inside a sequence act", "ab" + E + "[\r2Cx", "abx", {4, 1}},
      {"CAN cancels a sequence and prints nothing",
       "a" + E +
           "[3\x18"
           "b",
       "ab",
       {3, 1}},
      {"ESC restarts a sequence", "a" + E + "[5" + E + "[2Cb", "a  b", {5, 1}},
      {"an over-long sequence is dropped whole",
       "a" + E + "[" + std::string(300, '1') + "mb",
       "ab",
       {3, 1}},
      {"an unknown final that is not a letter ends the sequence", "a" + E + "[5~b", "ab", {3, 1}},
  });
}

TEST(TermTranscript, ModesTheViewReads) {
  Port port;
  TComTermState term(&port);
  term.ReceiveBytes(E + "[?1h" + E + "=");
  EXPECT_TRUE(term.AppCursorKeys());
  EXPECT_TRUE(term.AppKeypad());
  term.ReceiveBytes(E + "[?1l" + E + ">");
  EXPECT_FALSE(term.AppCursorKeys());
  EXPECT_FALSE(term.AppKeypad());

  // Reverse screen flips the whole view: one repaint of everything each way.
  port.repaintAll = false;
  term.ReceiveBytes(E + "[?5h");
  EXPECT_TRUE(term.ReverseScreen());
  EXPECT_TRUE(port.repaintAll);
  port.repaintAll = false;
  term.ReceiveBytes(E + "[?5h");
  EXPECT_FALSE(port.repaintAll);
  term.ReceiveBytes(E + "[?5l");
  EXPECT_FALSE(term.ReverseScreen());

  // VT52 mode: cursor keys send VT52 codes until ESC <.
  term.ReceiveBytes(E + "[?1h" + E + "[?2l");
  EXPECT_TRUE(term.Vt52Mode());
  port.sent.clear();
  term.SendKey(TermKey::kUp);
  EXPECT_EQ(port.sent, E + "A");
  term.ReceiveBytes(E + "<");
  EXPECT_FALSE(term.Vt52Mode());
  port.sent.clear();
  term.SendKey(TermKey::kUp);
  EXPECT_EQ(port.sent, E + "OA");

  // VT52 graphics are the line-drawing set.
  term.ReceiveBytes(E + "[?2l" + E + "H" + E + "Fq" + E + "Gq" + E + "<");
  EXPECT_TRUE(term.Cell(1, 1).lineDrawing);
  EXPECT_FALSE(term.Cell(2, 1).lineDrawing);

  // New-line mode: Return goes out as CR LF.
  term.ReceiveBytes(E + "[20h");
  port.sent.clear();
  term.SendKeyChar('\r');
  EXPECT_EQ(port.sent, "\r\n");
}

TEST(TermTranscript, LineSizes) {
  Port port;
  TComTermState term(&port);
  term.SetSize(10, 6);
  term.ReceiveBytes(E + "#6" + "123456" + "\r\n" + E + "#3" + "\r\n" + E + "#4" + "\r\n" + E +
                    "#5");
  EXPECT_EQ(term.LineSizeOf(1), LineSize::kDoubleWidth);
  EXPECT_EQ(term.LineSizeOf(2), LineSize::kDoubleTop);
  EXPECT_EQ(term.LineSizeOf(3), LineSize::kDoubleBottom);
  EXPECT_EQ(term.LineSizeOf(4), LineSize::kSingle);
  // A double-width line holds half the columns: the sixth character took the fifth's place.
  EXPECT_EQ(ScreenText(term).substr(0, 5), "12346");
  // The sizes move with their lines and a line scrolled in is single.
  term.ReceiveBytes(E + "[6;1H\n");
  EXPECT_EQ(term.LineSizeOf(1), LineSize::kDoubleTop);
  EXPECT_EQ(term.LineSizeOf(6), LineSize::kSingle);
  term.ReceiveBytes(E + "[2J");
  EXPECT_EQ(term.LineSizeOf(1), LineSize::kSingle);
}

TEST(TermTranscript, BlinkIsKeptPerCell) {
  Port port;
  TComTermState term(&port);
  term.ReceiveBytes("a" + E + "[5mb" + E + "[25mc");
  EXPECT_FALSE(term.Cell(1, 1).blink);
  EXPECT_TRUE(term.Cell(2, 1).blink);
  EXPECT_FALSE(term.Cell(3, 1).blink);
}
