#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "terminal/EscapeCodes.h"

using namespace tarvelo;

namespace {

// One completed sequence in a transcript: {code:param|param}, a private marker before the first.
std::string Code(TEscapeCode code, const EscapeParams& params = {}) {
  std::string text = "{" + std::to_string(code) + ":";
  if (params.Marker() != 0) text += params.Marker();
  for (size_t i = 0; i < params.size(); ++i) text += (i ? "|" : "") + std::to_string(params[i]);
  return text + "}";
}

// Plain characters as themselves, completed sequences as Code(...), pending bytes not at all.
std::string Transcript(TEscapeCodes& parser, std::string_view bytes) {
  std::string out;
  for (const char byte : bytes) {
    switch (parser.FeedChar(static_cast<uint8_t>(byte))) {
      case scanChar:
        out += static_cast<char>(parser.LastChar());
        break;
      case scanCode:
        out += Code(parser.LastCode(), parser.Params());
        parser.ClearParams();
        break;
      case scanPending:
        break;
    }
  }
  return out;
}

struct ScanCase {
  std::string bytes;
  std::string expect;
};

const std::string E = "\033";

}  // namespace

TEST(EscapeCodesVT100, RecognisesSequences) {
  const std::vector<ScanCase> cases = {
      {"ab" + E + "[1;2Hc", "ab" + Code(escCaretHome, {1, 2}) + "c"},
      {E + "[H", Code(escCaretHome)},
      {E + "[99;999f", Code(escCaretTo, {99, 999})},
      {E + "[12A" + E + "[B" + E + "[3C" + E + "[D",
       Code(escCaretUp, {12}) + Code(escCaretDown) + Code(escCaretRight, {3}) + Code(escCaretLeft)},
      // The parameter picks the erase and is then dropped; one a VT100 does not know is unknown.
      {E + "[J" + E + "[0J" + E + "[1J" + E + "[2J" + E + "[21J",
       Code(escClearToScreenEnd) + Code(escClearToScreenEnd) + Code(escClearFromScreenStart) +
           Code(escClearScreen) + Code(escUnknown)},
      {E + "[K" + E + "[2K" + E + "[1K" + E + "[3K", Code(escClearToLineEnd) + Code(escClearLine) +
                                                         Code(escClearFromLineStart) +
                                                         Code(escUnknown)},
      {E + "[g" + E + "[3g" + E + "[1g",
       Code(escTabClear) + Code(escTabClearAll) + Code(escUnknown)},
      {E + "[5n" + E + "[0n" + E + "[3n" + E + "[6n" + E + "[n" + E + "[9n",
       Code(escAskStatus) + Code(escTellStatusOk) + Code(escTellStatusFault) + Code(escAskCaret) +
           Code(escUnknown) + Code(escUnknown)},
      {E + "[c" + E + "[0c" + E + "[?1;2c" + E + "[1c" + E + "[?1c" + E + "Z",
       Code(escAskIdentity) + Code(escAskIdentity, {0}) +
           Code(escTellIdentity, EscapeParams::Marked('?', {1, 2})) + Code(escUnknown) +
           Code(escUnknown) + Code(escAskIdentity)},
      {E + "[x" + E + "[0x" + E + "[1x" + E + "[2x",
       Code(escAskParameters, {0}) + Code(escAskParameters, {0}) + Code(escAskParameters, {1}) +
           Code(escUnknown)},
      {E + "[3;7R", Code(escTellCaret, {3, 7})},
      {E + "[1;7m" + E + "[m", Code(escAttributes, {1, 7}) + Code(escAttributes)},
      // An empty parameter is 0: ";4" is 0 and 4, not a parameter ";4".
      {E + "[;4m" + E + "[5;;6m" + E + "[;H",
       Code(escAttributes, {0, 4}) + Code(escAttributes, {5, 0, 6}) + Code(escCaretHome, {0, 0})},
      {E + "[?3h" + E + "[?1;7l" + E + "[20h",
       Code(escModeOn, EscapeParams::Marked('?', {3})) +
           Code(escModeOff, EscapeParams::Marked('?', {1, 7})) + Code(escModeOn, {20})},
      {E + "[s" + E + "[u", Code(escSaveCaret) + Code(escRestoreCaret)},
      {E + "7" + E + "8" + E + "H" + E + "c", Code(escSaveCaretAttr) + Code(escRestoreCaretAttr) +
                                                  Code(escTabSet) + Code(escResetTerminal)},
      {E + "D" + E + "E" + E + "M" + E + "=" + E + ">", Code(escIndex) + Code(escNextLine) +
                                                            Code(escLineUp) + Code(escKeypadApp) +
                                                            Code(escKeypadNumeric)},
      {E + "[3;20r" + E + "[r" + E + "[2L" + E + "[M" + E + "[4@" + E + "[P" + E + "[9X",
       Code(escScrollRegion, {3, 20}) + Code(escScrollRegion) + Code(escInsertLines, {2}) +
           Code(escDeleteLines) + Code(escInsertChars, {4}) + Code(escDeleteChars) +
           Code(escEraseChars, {9})},
      {E + "OA" + E + "OB" + E + "OC" + E + "OD",
       Code(escKeypadUp) + Code(escKeypadDown) + Code(escKeypadRight) + Code(escKeypadLeft)},
      {E + "#8" + E + "#3" + E + "#6" + E + "#7" + E + "Ox",
       Code(escFillTest) + Code(escLineSize, {3}) + Code(escLineSize, {6}) + Code(escUnknown) +
           Code(escUnknown)},
      // Character set designators leave nothing behind.
      {E + "(B" + E + ")0" + E + "(A" + E + ")1" + E + "(2" + E + "(Q" + "x",
       Code(escCharsetG0, {'B'}) + Code(escCharsetG1, {'0'}) + Code(escCharsetG0, {'A'}) +
           Code(escCharsetG1, {'1'}) + Code(escCharsetG0, {'2'}) + Code(escUnknown) + "x"},
      // Control bytes inside a sequence are performed where they stand; the sequence goes on.
      {E + "[1\r\n3;4Hx", "\r\n" + Code(escCaretHome, {13, 4}) + "x"},
      {E + "[2\bC", "\b" + Code(escCaretRight, {2})},
      {E + "#\x0b"
           "8",
       "\x0b" + Code(escFillTest)},
      // CAN and SUB cancel a sequence; ESC starts it afresh; DEL is passed over.
      {E +
           "[12\x18"
           "A" +
           E +
           "[3\x1a"
           "B",
       "AB"},
      {E + "[12" + E + "[3A", Code(escCaretUp, {3})},
      {E + E + "A", Code(escUnknown)},
      {E + "[1\x7f"
           "2A",
       Code(escCaretUp, {12})},
      // Any final byte ends a sequence, letter or not.
      {E + "[5z" + E + "[1`" + E + "[2~q",
       Code(escUnknown) + Code(escUnknown) + Code(escUnknown) + "q"},
      {E + "x" + "q", Code(escUnknown) + "q"},
      // A negative count is read as such (the terminal ignores it); an intermediate or a late
      // marker makes the sequence unknown.
      {E + "[-3A" + E + "[1 q" + E + "[1?h" + E + "[?5n",
       Code(escCaretUp, {-3}) + Code(escUnknown) + Code(escUnknown) + Code(escUnknown)},
      // Numbers too large for an int are the largest int.
      {E + "[99999999999999999999C", Code(escCaretRight, {INT_MAX})},
      {E + "[123456789C", Code(escCaretRight, {123456789})},
      // A byte with bit 7 set ends a sequence as unknown.
      {E + "[1\xe9"
           "A",
       Code(escUnknown) + "A"},
  };
  for (const ScanCase& c : cases) {
    TEscapeCodesVT100 parser;
    EXPECT_EQ(Transcript(parser, c.bytes), c.expect) << c.bytes.substr(1);
    EXPECT_FALSE(parser.InEscape()) << c.bytes.substr(1);
    EXPECT_FALSE(parser.InControlSequence());
  }
}

TEST(EscapeCodesVT100, KeepsTheTextOfTheLastSequence) {
  TEscapeCodesVT100 parser;
  Transcript(parser, E + "[5;\r7z");
  EXPECT_EQ(parser.LastCode(), escUnknown);
  EXPECT_EQ(parser.SequenceText(), "[5;7z");
}

TEST(EscapeCodesVT100, DropsAnOverlongSequenceWhole) {
  TEscapeCodesVT100 parser;
  const std::string digits(TEscapeCodes::kMaxSequenceLength + 10, '1');
  // Nothing of it reaches the screen, not even its tail; what follows is text again.
  EXPECT_EQ(Transcript(parser, E + "[" + digits + "Hx"), Code(escUnknown) + "x");
  EXPECT_EQ(parser.SequenceText().size(), TEscapeCodes::kMaxSequenceLength);
  // More parameters than are kept are read and dropped.
  std::string many = E + "[";
  for (int i = 0; i < 40; ++i) many += std::to_string(i) + ";";
  const std::string out = Transcript(parser, many + "m");
  EXPECT_EQ(out.substr(0, 5), "{27:0");
  EXPECT_NE(out.find("|15}"), std::string::npos) << out;
}

TEST(EscapeCodesVT52, RecognisesSequences) {
  const std::vector<ScanCase> cases = {
      {E + "A" + E + "B" + E + "C" + E + "D",
       Code(escCaretUp) + Code(escCaretDown) + Code(escCaretRight) + Code(escCaretLeft)},
      {E + "H" + E + "I" + E + "J" + E + "K",
       Code(escCaretHome) + Code(escLineUp) + Code(escClearToScreenEnd) + Code(escClearToLineEnd)},
      {E + "Z" + E + "/Z" + E + "/x",
       Code(escAskIdentity) + Code(escTellIdentity) + Code(escUnknown)},
      {E + "<" + E + "=" + E + ">" + E + "F" + E + "G",
       Code(escEnterAnsi) + Code(escKeypadApp) + Code(escKeypadNumeric) + Code(escGraphicsOn) +
           Code(escGraphicsOff)},
      // Row and column as characters, the space standing for 1.
      {"a" + E + "Y" + "\x25\x2a" + "b", "a" + Code(escCaretTo, {6, 11}) + "b"},
      {E + "Y  ", Code(escCaretTo, {1, 1})},
      {E + E + "A", Code(escCaretUp)},
      {E + "[A" + E + "c", Code(escUnknown) + "A" + Code(escUnknown)},
      {E + "Y\r\x25\x2a", "\r" + Code(escCaretTo, {6, 11})},
  };
  for (const ScanCase& c : cases) {
    TEscapeCodesVT52 parser;
    EXPECT_EQ(Transcript(parser, c.bytes), c.expect) << c.bytes.substr(1);
    EXPECT_FALSE(parser.InEscape());
  }
}

TEST(EscapeCodes, SequenceForWritesTheTables) {
  struct Case {
    TEscapeCode code;
    EscapeParams params;
    std::string vt100;
    std::string vt52;
  };
  const std::vector<Case> cases = {
      {escCaretUp, {}, E + "[A", E + "A"},
      {escCaretLeft, {}, E + "[D", E + "D"},
      {escCaretHome, {}, E + "[H", E + "H"},
      {escCaretTo, {5, 10}, E + "[5;10f", E + "Y\x24\x29"},
      // A missing number counts as 1.
      {escCaretTo, {7}, E + "[7;1f", E + "Y\x26\x20"},
      {escLineUp, {}, "", E + "I"},
      {escKeypadUp, {}, E + "OA", ""},
      {escKeypadLeft, {}, E + "OD", ""},
      {escClearScreen, {}, E + "[2J", ""},
      {escClearToScreenEnd, {}, E + "[J", E + "J"},
      {escTabClearAll, {}, E + "[3g", ""},
      {escAskIdentity, {}, E + "[c", E + "Z"},
      {escTellIdentity, {2}, E + "[?1;2c", E + "/Z"},
      {escTellTerminalType, {}, E + "[?6c", E + "/Z"},
      {escTellParameters, {3}, E + "[3;1;1;112;112;1;0x", ""},
      {escTellStatusOk, {}, E + "[0n", ""},
      {escTellCaret, {3, 7}, E + "[3;7R", ""},
      // Attribute and mode parameters are not written.
      {escAttributes, {1, 7}, E + "[m", ""},
      {escModeOn, EscapeParams::Marked('?', {3}), E + "[h", ""},
      {escSaveCaretAttr, {}, E + "7", ""},
      {escFillTest, {}, E + "#8", ""},
      {escKeypadApp, {}, E + "=", E + "="},
      {escEnterAnsi, {}, "", E + "<"},
      {escUnknown, {}, "", ""},
      {escPending, {}, "", ""},
  };
  const TEscapeCodesVT100 vt100;
  const TEscapeCodesVT52 vt52;
  for (const Case& c : cases) {
    EXPECT_EQ(vt100.SequenceFor(c.code, c.params), c.vt100) << int(c.code);
    EXPECT_EQ(vt52.SequenceFor(c.code, c.params), c.vt52) << int(c.code);
  }
}

// Whatever a parser writes, it reads back as the same code, in both dialects.
TEST(EscapeCodes, WrittenSequencesReadBack) {
  const EscapeParams params = {3, 7};
  for (int kind = 0; kind < 2; ++kind) {
    for (int n = escCaretUp; n <= escLastCode; ++n) {
      const auto code = static_cast<TEscapeCode>(n);
      // Answers a terminal gives but does not read, and a request only 0 and 1 can make.
      if (code == escTellTerminalType || code == escTellParameters || code == escAskParameters)
        continue;
      std::unique_ptr<TEscapeCodes> parser;
      if (kind == 0) {
        parser = std::make_unique<TEscapeCodesVT100>();
      } else {
        parser = std::make_unique<TEscapeCodesVT52>();
      }
      const std::string text = parser->SequenceFor(code, params);
      if (text.empty()) continue;
      ScanResult last = scanPending;
      for (const char byte : text) last = parser->FeedChar(static_cast<uint8_t>(byte));
      EXPECT_EQ(last, scanCode) << kind << " " << n;
      EXPECT_EQ(parser->LastCode(), code) << kind << " " << n;
    }
  }
}

TEST(EscapeCodes, ParamValue) {
  struct Case {
    EscapeParams params;
    int n;
    int expect;
  };
  const std::vector<Case> cases = {
      {{1, 2}, 3, 1}, {{0}, 1, 0}, {{}, 1, 1}, {{5, 9}, 2, 9}, {{5}, 0, 1}, {{-3}, 1, -3},
  };
  for (const Case& c : cases) EXPECT_EQ(ParamValue(c.n, c.params), c.expect) << c.n;
}
