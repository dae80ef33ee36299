// Splits a received byte stream into plain characters and complete escape sequences, each
// reported as a numbered code with its parameters, and writes the escape text that stands for
// a code (cursor keys, answers to queries). Two dialects share the byte-by-byte frame: VT52
// and VT100/ANSI. No I/O, no screen: the terminal state drives a parser and acts on its codes.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace tarvelo {

// The numbers are part of the interface (handlers receive them), so they are fixed; new codes
// are only ever added at the end.
enum TEscapeCode : uint8_t {
  escUnknown = 0,  // complete but not recognised
  escPending = 1,  // the recogniser wants more characters; never left in LastCode
  escCaretUp = 2,
  escCaretDown = 3,
  escCaretLeft = 4,
  escCaretRight = 5,
  escCaretHome = 6,
  escCaretTo = 7,
  escLineUp = 8,  // reverse index: up one line, scrolling down at the top margin
  escKeypadLeft = 9,
  escKeypadRight = 10,
  escKeypadUp = 11,
  escKeypadDown = 12,
  escClearToLineEnd = 13,
  escClearToScreenEnd = 14,
  escClearLine = 15,
  escClearScreen = 16,
  escTabSet = 17,
  escTabClear = 18,
  escTabClearAll = 19,
  escAskIdentity = 20,
  escTellIdentity = 21,
  escAskStatus = 22,
  escTellStatusOk = 23,
  escTellStatusFault = 24,
  escAskCaret = 25,
  escTellCaret = 26,
  escAttributes = 27,
  escModeOn = 28,
  escModeOff = 29,
  escResetTerminal = 30,
  escSaveCaretAttr = 31,
  escRestoreCaretAttr = 32,
  escSaveCaret = 33,
  escRestoreCaret = 34,
  escFillTest = 35,
  escIndex = 36,                 // down one line, scrolling up at the bottom margin
  escNextLine = 37,              // the same, then column 1
  escScrollRegion = 38,          // top and bottom margin; none: the whole screen
  escInsertLines = 39,           // n blank lines at the caret's line, within the margins
  escDeleteLines = 40,           // n lines from the caret's line, within the margins
  escInsertChars = 41,           // n blanks at the caret, the rest of the line moves right
  escDeleteChars = 42,           // n characters at the caret, the rest moves left
  escEraseChars = 43,            // n characters from the caret become empty
  escClearFromLineStart = 44,    // column 1 through the caret
  escClearFromScreenStart = 45,  // the top-left cell through the caret
  escCharsetG0 = 46,             // parameter 1: the set's designator character ('B', '0', ...)
  escCharsetG1 = 47,
  escLineSize = 48,          // parameter 1: 3 double-height top, 4 bottom, 5 single, 6 double-width
  escKeypadApp = 49,         // the keypad sends application codes
  escKeypadNumeric = 50,     // the keypad sends its characters
  escAskParameters = 51,     // parameter 1: 0 or 1, the kind of report asked for
  escTellParameters = 52,    // parameter 1: 2 or 3, the kind of report given
  escTellTerminalType = 53,  // the answer to an identity query as a VT102 gives it
  escEnterAnsi = 54,         // VT52: back to VT100 codes
  escGraphicsOn = 55,        // VT52: the line-drawing set on
  escGraphicsOff = 56,
  escLastCode = escGraphicsOff,
};

enum ScanResult : uint8_t {
  scanChar = 0,     // plain text or a control byte to act on, in LastChar()
  scanCode = 1,     // a sequence ended: LastCode() and Params()
  scanPending = 2,  // taken into a sequence (or it was cancelled); nothing to do yet
};

// The numbers of a sequence, read as its characters arrive. An empty parameter is 0 (";5" is 0
// and 5), a number too large for an int is the largest int, a leading "-" makes it negative.
// A private marker (the "?" of ESC [ ? 1 h) is kept apart from the numbers.
class EscapeParams {
 public:
  static constexpr size_t kMax = 16;  // further parameters are read and dropped

  EscapeParams() = default;
  EscapeParams(std::initializer_list<int> values) {
    for (const int value : values) push_back(value);
  }
  static EscapeParams Marked(char marker, std::initializer_list<int> values) {
    EscapeParams params(values);
    params.marker_ = marker;
    return params;
  }

  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  int operator[](size_t i) const { return values_[i]; }
  const int* begin() const { return values_.data(); }
  const int* end() const { return values_.data() + count_; }
  char Marker() const { return marker_; }

  void push_back(int value) {
    if (count_ < kMax) values_[count_++] = value;
  }
  void SetMarker(char marker) { marker_ = marker; }
  void clear() {
    count_ = 0;
    marker_ = 0;
  }
  bool operator==(const EscapeParams& other) const {
    if (count_ != other.count_ || marker_ != other.marker_) return false;
    for (size_t i = 0; i < count_; ++i)
      if (values_[i] != other.values_[i]) return false;
    return true;
  }

 private:
  std::array<int, kMax> values_{};
  uint8_t count_ = 0;
  char marker_ = 0;
};

constexpr uint8_t kEsc = 27;
constexpr uint8_t kCan = 24;
constexpr uint8_t kSub = 26;
constexpr uint8_t kDel = 127;

constexpr bool IsAsciiLetter(uint8_t ch) {
  return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}

// The n-th parameter (from 1); 1 when there is no such parameter.
inline int ParamValue(int n, const EscapeParams& params) {
  return n >= 1 && static_cast<size_t>(n) <= params.size() ? params[n - 1] : 1;
}
// Decimal text without leading zeros.
std::string ParamText(long long value);

class TEscapeCodes {
 public:
  // A sequence longer than this is read to its end and then dropped whole, as unknown, so
  // that neither its text nor its tail lands on the screen.
  static constexpr size_t kMaxSequenceLength = 256;

  virtual ~TEscapeCodes() = default;

  // Takes the next received byte. Outside a sequence, and for the digits inside a control
  // sequence, this is the hot path of every terminal, so it is kept inline.
  ScanResult FeedChar(uint8_t ch) {
    if (!inEscape_) {
      if (ch != kEsc) {
        lastChar_ = ch;
        return scanChar;
      }
      Begin();
      return scanPending;
    }
    if (inNumbers_ && ch >= '0' && ch <= '9' && length_ < kMaxSequenceLength) {
      text_[length_++] = static_cast<char>(ch);
      AddDigit(ch);
      return scanPending;
    }
    return FeedSequence(ch);
  }
  // The escape text for `code`; empty when this dialect has none.
  virtual std::string SequenceFor(TEscapeCode code, const EscapeParams& params) const = 0;

  uint8_t LastChar() const { return lastChar_; }
  TEscapeCode LastCode() const { return lastCode_; }
  // What followed ESC in the sequence being collected, or in the one that just ended (control
  // bytes performed inside it are not part of it; an over-long one is cut at the limit).
  std::string_view SequenceText() const { return {text_.data(), length_}; }
  const EscapeParams& Params() const { return params_; }
  void ClearParams() { params_.clear(); }
  bool InEscape() const { return inEscape_; }

 protected:
  // Looks at the new character `ch` of the sequence (already in SequenceText()); may fill
  // params_. escPending keeps the sequence open.
  virtual TEscapeCode Recognise(uint8_t ch) = 0;

  void AddDigit(uint8_t ch) {
    constexpr int kLimit = 100000000;  // nine digits are exact; more read as the largest int
    number_ = number_ < kLimit ? number_ * 10 + (ch - '0') : 0x7FFFFFFF;
    typed_ = digits_ = true;
  }
  // Ends the parameter being read and adds it.
  void CloseNumber() {
    params_.push_back(negative_ ? -number_ : number_);
    number_ = 0;
    negative_ = digits_ = false;
  }

  uint8_t lastChar_ = 0;
  TEscapeCode lastCode_ = escUnknown;
  EscapeParams params_;
  bool inEscape_ = false;
  // Set by a recogniser once digits and ";" make up numbers (a VT100 control sequence).
  bool inNumbers_ = false;
  int number_ = 0;            // the parameter being read
  bool negative_ = false;     // it began with "-"
  bool digits_ = false;       // it has digits
  bool typed_ = false;        // the sequence has any parameter text at all
  uint8_t stage_ = 0;         // the recogniser's own, 0 at the start of a sequence
  uint8_t intermediate_ = 0;  // the recogniser's own
  bool invalid_ = false;      // a character the sequence cannot have: it ends as unknown
  bool takesDel_ = false;     // DEL is a character of it (a VT52 position), not passed over

 private:
  void Begin() {
    inEscape_ = true;
    inNumbers_ = false;
    length_ = 0;
    params_.clear();
    number_ = 0;
    negative_ = digits_ = typed_ = invalid_ = overflow_ = takesDel_ = false;
    stage_ = intermediate_ = 0;
  }
  ScanResult FeedSequence(uint8_t ch);

  std::array<char, kMaxSequenceLength> text_{};
  size_t length_ = 0;
  bool overflow_ = false;
};

class TEscapeCodesVT52 : public TEscapeCodes {
 public:
  std::string SequenceFor(TEscapeCode code, const EscapeParams& params) const override;

 protected:
  TEscapeCode Recognise(uint8_t ch) override;
};

class TEscapeCodesVT100 : public TEscapeCodes {
 public:
  std::string SequenceFor(TEscapeCode code, const EscapeParams& params) const override;
  bool InControlSequence() const { return inEscape_ && inNumbers_; }

 protected:
  TEscapeCode Recognise(uint8_t ch) override;

 private:
  TEscapeCode RecogniseControlSequence(uint8_t ch);
  TEscapeCode FinishControlSequence(uint8_t final);
  TEscapeCode FinishEscape(uint8_t final);
};

}  // namespace tarvelo
