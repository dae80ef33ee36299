#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "terminal/EscapeCodes.h"

using namespace tarvelo;

namespace {

// One completed sequence in a transcript: {code:param|param}.
std::string Code(TEscapeCode code, const EscapeParams& params = {}) {
  std::string text = "{" + std::to_string(code) + ":";
  for (size_t i = 0; i < params.size(); ++i) text += (i ? "|" : "") + params[i];
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
      {"ab" + E + "[1;2Hc", "ab" + Code(escCaretHome, {"1", "2"}) + "c"},
      {E + "[H", Code(escCaretHome)},
      {E + "[99;999f", Code(escCaretTo, {"99", "999"})},
      {E + "[12A" + E + "[B" + E + "[3C" + E + "[D", Code(escCaretUp, {"12"}) + Code(escCaretDown) +
                                                         Code(escCaretRight, {"3"}) +
                                                         Code(escCaretLeft)},
      // Only the first character of the first parameter picks the erase; it is then dropped.
      {E + "[21J", Code(escClearScreen)},
      {E + "[J" + E + "[0J" + E + "[1J",
       Code(escClearToScreenEnd) + Code(escClearToScreenEnd) + Code(escUnknown)},
      {E + "[K" + E + "[2K" + E + "[1K",
       Code(escClearToLineEnd) + Code(escClearLine) + Code(escUnknown)},
      {E + "[g" + E + "[3g" + E + "[1g",
       Code(escTabClear) + Code(escTabClearAll) + Code(escUnknown)},
      {E + "[5n" + E + "[0n" + E + "[3n" + E + "[6n" + E + "[n" + E + "[9n",
       Code(escAskStatus) + Code(escTellStatusOk) + Code(escTellStatusFault) + Code(escAskCaret) +
           Code(escUnknown) + Code(escUnknown)},
      {E + "[c" + E + "[0c" + E + "[?1;2c" + E + "[1c" + E + "[?1c",
       Code(escAskIdentity) + Code(escAskIdentity, {"0"}) + Code(escTellIdentity, {"?1", "2"}) +
           Code(escUnknown, {"1"}) + Code(escUnknown, {"?1"})},
      {E + "[3;7R", Code(escTellCaret, {"3", "7"})},
      {E + "[1;7m" + E + "[m", Code(escAttributes, {"1", "7"}) + Code(escAttributes)},
      // A ";" that opens a parameter belongs to it.
      {E + "[;5m" + E + "[5;;6m", Code(escAttributes, {";5"}) + Code(escAttributes, {"5", ";6"})},
      {E + "[?3h" + E + "[?1l", Code(escModeOn, {"?3"}) + Code(escModeOff, {"?1"})},
      {E + "[s" + E + "[u", Code(escSaveCaret) + Code(escRestoreCaret)},
      {E + "7" + E + "8" + E + "H" + E + "c", Code(escSaveCaretAttr) + Code(escRestoreCaretAttr) +
                                                  Code(escTabSet) + Code(escResetTerminal)},
      {E + "OA" + E + "OB" + E + "OC" + E + "OD",
       Code(escKeypadUp) + Code(escKeypadDown) + Code(escKeypadRight) + Code(escKeypadLeft)},
      {E + "#8" + E + "#7" + E + "Ox", Code(escFillTest) + Code(escUnknown) + Code(escUnknown)},
      // Digits, blanks and control bytes keep a control sequence open until a letter.
      {E + "[1 2\r\n3;4Hx", Code(escCaretHome, {"1 2\r\n3", "4"}) + "x"},
      // ESC inside a sequence is just another character; the next byte is plain again.
      {E + E + "A", Code(escUnknown) + "A"},
      {E + "x" + E + "[5z" + "q", Code(escUnknown) + Code(escUnknown, {"5"}) + "q"},
  };
  for (const ScanCase& c : cases) {
    TEscapeCodesVT100 parser;
    EXPECT_EQ(Transcript(parser, c.bytes), c.expect) << c.bytes.substr(1);
    EXPECT_FALSE(parser.InEscape());
    EXPECT_FALSE(parser.InControlSequence());
  }
}

TEST(EscapeCodesVT100, KeepsTheTextOfTheLastSequence) {
  TEscapeCodesVT100 parser;
  Transcript(parser, E + "[5z");
  EXPECT_EQ(parser.LastCode(), escUnknown);
  EXPECT_EQ(parser.SequenceText(), "[5z");
}

TEST(EscapeCodesVT100, GivesUpAnEndlessSequence) {
  TEscapeCodesVT100 parser;
  const std::string digits(TEscapeCodes::kMaxSequenceLength + 10, '1');
  const std::string out = Transcript(parser, E + "[" + digits);
  // The sequence ends unknown at the limit; what follows is text again.
  EXPECT_EQ(out, Code(escUnknown) + std::string(11, '1'));
  EXPECT_EQ(parser.SequenceText().size(), TEscapeCodes::kMaxSequenceLength);
}

TEST(EscapeCodesVT52, RecognisesSequences) {
  const std::vector<ScanCase> cases = {
      {E + "A" + E + "B" + E + "C" + E + "D",
       Code(escCaretUp) + Code(escCaretDown) + Code(escCaretRight) + Code(escCaretLeft)},
      {E + "H" + E + "I" + E + "J" + E + "K",
       Code(escCaretHome) + Code(escLineUp) + Code(escClearToScreenEnd) + Code(escClearToLineEnd)},
      {E + "Z" + E + "/Z" + E + "/x",
       Code(escAskIdentity) + Code(escTellIdentity) + Code(escUnknown)},
      // Row and column as characters, the space standing for 1.
      {"a" + E + "Y" + "\x25\x2a" + "b", "a" + Code(escCaretTo, {"6", "11"}) + "b"},
      {E + "Y  ", Code(escCaretTo, {"1", "1"})},
      {E + E + "A", Code(escUnknown) + "A"},
      {E + "[A" + E + "c", Code(escUnknown) + "A" + Code(escUnknown)},
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
      {escCaretTo, {"5", "10"}, E + "[5;10f", E + "Y\x24\x29"},
      // Numbers are rewritten without leading zeros; a missing one counts as 1.
      {escCaretTo, {"007"}, E + "[7;1f", E + "Y\x26\x20"},
      {escLineUp, {}, "", E + "I"},
      {escKeypadUp, {}, E + "OA", ""},
      {escKeypadLeft, {}, E + "OD", ""},
      {escClearScreen, {}, E + "[2J", ""},
      {escClearToScreenEnd, {}, E + "[J", E + "J"},
      {escTabClearAll, {}, E + "[3g", ""},
      {escAskIdentity, {}, E + "[c", E + "Z"},
      {escTellIdentity, {"2"}, E + "[?1;2c", E + "/Z"},
      {escTellStatusOk, {}, E + "[0n", ""},
      {escTellCaret, {"3", "7"}, E + "[3;7R", ""},
      // Attribute and mode parameters are not written.
      {escAttributes, {"1", "7"}, E + "[m", ""},
      {escModeOn, {"?3"}, E + "[h", ""},
      {escSaveCaretAttr, {}, E + "7", ""},
      {escFillTest, {}, E + "#8", ""},
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
  const EscapeParams params = {"3", "7"};
  for (int kind = 0; kind < 2; ++kind) {
    for (int n = escCaretUp; n <= escFillTest; ++n) {
      const auto code = static_cast<TEscapeCode>(n);
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
      {{"x"}, 1, 1},      {{"1", "2"}, 3, 1}, {{"0"}, 1, 0},
      {{";5"}, 1, 1},     {{"007"}, 1, 7},    {{}, 1, 1},
      {{"5", "9"}, 2, 9}, {{"5"}, 0, 1},      {{"1 2"}, 1, 1},
      {{"-3"}, 1, -3},    {{"-"}, 1, 1},      {{"99999999999999999999"}, 1, INT_MAX},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParamValue(c.n, c.params), c.expect) << (c.params.empty() ? "" : c.params[0]);
  }
}

TEST(EscapeCodesVT100, SplitParams) {
  const std::vector<std::pair<std::string, EscapeParams>> cases = {
      {"5;10", {"5", "10"}}, {"5;;6", {"5", ";6"}}, {"", {}},
      {";", {";"}},          {"1;", {"1"}},         {"?1;2", {"?1", "2"}},
  };
  for (const auto& [text, expect] : cases) {
    EXPECT_EQ(TEscapeCodesVT100::SplitParams(text), expect) << text;
  }
}
