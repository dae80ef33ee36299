// Splits a received byte stream into plain characters and complete escape sequences, each
// reported as a numbered code with its parameters, and writes the escape text that stands for
// a code (cursor keys, answers to queries). Two dialects share the byte-by-byte frame: VT52
// and VT100/ANSI. No I/O, no screen: the terminal state drives a parser and acts on its codes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelo {

// The numbers are part of the interface (handlers receive them), so they are fixed.
enum TEscapeCode : uint8_t {
  escUnknown = 0,  // complete but not recognised
  escPending = 1,  // the recogniser wants more characters; never left in LastCode
  escCaretUp = 2,
  escCaretDown = 3,
  escCaretLeft = 4,
  escCaretRight = 5,
  escCaretHome = 6,
  escCaretTo = 7,
  escLineUp = 8,
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
};

enum ScanResult : uint8_t {
  scanChar = 0,     // plain text, in LastChar()
  scanCode = 1,     // a sequence ended: LastCode() and Params()
  scanPending = 2,  // taken into a sequence; nothing to do yet
};

using EscapeParams = std::vector<std::string>;

constexpr uint8_t kEsc = 27;

constexpr bool IsAsciiLetter(uint8_t ch) {
  return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}

// The n-th parameter (from 1) as a decimal number; 1 when there is no such parameter or it is
// not a number. Numbers too large for an int read as the largest int, so a huge count still
// means "as far as the screen goes".
int ParamValue(int n, const EscapeParams& params);
// The general case of ParamValue(text) below: a sign, many digits, or not a number.
int ParamValueSlow(std::string_view text);
// One parameter's text, read as ParamValue(n, params) reads it.
inline int ParamValue(std::string_view text) {
  // Attribute lists are mostly one or two digits; those need no sign or range handling.
  if (text.size() == 1 && text[0] >= '0' && text[0] <= '9') return text[0] - '0';
  if (text.size() == 2 && text[0] >= '0' && text[0] <= '9' && text[1] >= '0' && text[1] <= '9')
    return (text[0] - '0') * 10 + (text[1] - '0');
  return ParamValueSlow(text);
}
// Decimal text without leading zeros.
std::string ParamText(long long value);

class TEscapeCodes {
 public:
  // A sequence that has not ended after this many characters is given up as unknown: a stray
  // ESC [ followed by a long run of non-letters must not swallow the stream or grow without end.
  static constexpr size_t kMaxSequenceLength = 256;

  virtual ~TEscapeCodes() = default;

  // Takes the next received byte. Outside a sequence this is the hot path of every terminal,
  // so it is kept inline; dialects differ only in Recognise().
  ScanResult FeedChar(uint8_t ch) {
    if (inEscape_) {
      if (untilLetter_ && !IsAsciiLetter(ch) && sequence_.size() + 1 < kMaxSequenceLength) {
        sequence_ += static_cast<char>(ch);
        return scanPending;
      }
      return FeedSequence(ch);
    }
    if (ch == kEsc) {
      sequence_.clear();
      params_.clear();
      inEscape_ = true;
      return scanPending;
    }
    lastChar_ = ch;
    return scanChar;
  }
  // The escape text for `code`; empty when this dialect has none.
  virtual std::string SequenceFor(TEscapeCode code, const EscapeParams& params) const = 0;

  uint8_t LastChar() const { return lastChar_; }
  TEscapeCode LastCode() const { return lastCode_; }
  // What followed ESC in the sequence being collected, or in the one that just ended.
  const std::string& SequenceText() const { return sequence_; }
  const EscapeParams& Params() const { return params_; }
  void ClearParams() { params_.clear(); }
  bool InEscape() const { return inEscape_; }

 private:
  ScanResult FeedSequence(uint8_t ch);

 protected:
  // Looks at SequenceText() after each new character; may fill params_. escPending keeps the
  // sequence open.
  virtual TEscapeCode Recognise() = 0;

  // Set by a recogniser that knows nothing but a letter can end the sequence (a VT100 control
  // sequence): the frame then collects the characters before it without asking again.
  // Cleared when a sequence ends.
  bool untilLetter_ = false;
  uint8_t lastChar_ = 0;
  TEscapeCode lastCode_ = escUnknown;
  std::string sequence_;
  EscapeParams params_;
  bool inEscape_ = false;
};

class TEscapeCodesVT52 : public TEscapeCodes {
 public:
  std::string SequenceFor(TEscapeCode code, const EscapeParams& params) const override;

 protected:
  TEscapeCode Recognise() override;
};

class TEscapeCodesVT100 : public TEscapeCodes {
 public:
  std::string SequenceFor(TEscapeCode code, const EscapeParams& params) const override;
  bool InControlSequence() const { return untilLetter_; }

  // Splits the text between "[" and the final letter. A ";" ends a non-empty parameter; on an
  // empty one it is kept as a character of it, so "5;;6" gives "5" and ";6".
  static EscapeParams SplitParams(std::string_view text);
  // The same into `params`, reusing its storage.
  static void SplitParams(std::string_view text, EscapeParams& params);

 protected:
  TEscapeCode Recognise() override;

 private:
  TEscapeCode RecogniseControlSequence();
};

}  // namespace tarvelo
