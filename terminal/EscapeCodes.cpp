#include "terminal/EscapeCodes.h"

#include <algorithm>
#include <span>

namespace tarvelo {

namespace {

// Stages of a VT100 sequence after ESC.
enum Stage : uint8_t {
  kFirst = 0,     // nothing yet after ESC
  kIntermediate,  // ESC followed by characters 0x20..0x2F: "#", "(", ")"
  kKeypad,        // ESC O
  kControl,       // ESC [
};

// Stages of a VT52 sequence.
enum Vt52Stage : uint8_t { kVt52First = 0, kVt52Slash, kVt52Row, kVt52Column };

// How the parameters are written into an answer.
enum class Form : uint8_t {
  kPlain,         // head only
  kOneNumber,     // head p1 tail
  kTwoNumbers,    // head p1 ; p2 tail
  kVT52Position,  // head, then p1 and p2 each as one character offset by 31
};

struct AnswerRow {
  TEscapeCode code;
  std::string_view head;
  Form form = Form::kPlain;
  std::string_view tail = "";
};

constexpr AnswerRow kVT52Answers[] = {
    {escCaretUp, "\033A"},          {escCaretDown, "\033B"},
    {escCaretLeft, "\033D"},        {escCaretRight, "\033C"},
    {escCaretHome, "\033H"},        {escCaretTo, "\033Y", Form::kVT52Position},
    {escLineUp, "\033I"},           {escClearToLineEnd, "\033K"},
    {escClearToScreenEnd, "\033J"}, {escAskIdentity, "\033Z"},
    {escTellIdentity, "\033/Z"},    {escTellTerminalType, "\033/Z"},
    {escKeypadApp, "\033="},        {escKeypadNumeric, "\033>"},
    {escEnterAnsi, "\033<"},        {escGraphicsOn, "\033F"},
    {escGraphicsOff, "\033G"},
};

constexpr AnswerRow kVT100Answers[] = {
    {escCaretUp, "\033[A"},
    {escCaretDown, "\033[B"},
    {escCaretRight, "\033[C"},
    {escCaretLeft, "\033[D"},
    {escCaretHome, "\033[H"},
    {escCaretTo, "\033[", Form::kTwoNumbers, "f"},
    {escKeypadLeft, "\033OD"},
    {escKeypadRight, "\033OC"},
    {escKeypadUp, "\033OA"},
    {escKeypadDown, "\033OB"},
    {escClearToLineEnd, "\033[K"},
    {escClearToScreenEnd, "\033[J"},
    {escClearLine, "\033[2K"},
    {escClearScreen, "\033[2J"},
    {escTabSet, "\033H"},
    {escTabClear, "\033[g"},
    {escTabClearAll, "\033[3g"},
    {escAskIdentity, "\033[c"},
    {escTellIdentity, "\033[?1;", Form::kOneNumber, "c"},
    {escAskStatus, "\033[5n"},
    {escTellStatusOk, "\033[0n"},
    {escTellStatusFault, "\033[3n"},
    {escAskCaret, "\033[6n"},
    {escTellCaret, "\033[", Form::kTwoNumbers, "R"},
    {escAttributes, "\033[m"},
    {escModeOn, "\033[h"},
    {escModeOff, "\033[l"},
    {escResetTerminal, "\033c"},
    {escSaveCaretAttr, "\0337"},
    {escRestoreCaretAttr, "\0338"},
    {escSaveCaret, "\033[s"},
    {escRestoreCaret, "\033[u"},
    {escFillTest, "\033#8"},
    {escIndex, "\033D"},
    {escNextLine, "\033E"},
    {escScrollRegion, "\033[", Form::kTwoNumbers, "r"},
    {escInsertLines, "\033[", Form::kOneNumber, "L"},
    {escDeleteLines, "\033[", Form::kOneNumber, "M"},
    {escInsertChars, "\033[", Form::kOneNumber, "@"},
    {escDeleteChars, "\033[", Form::kOneNumber, "P"},
    {escEraseChars, "\033[", Form::kOneNumber, "X"},
    {escClearFromLineStart, "\033[1K"},
    {escClearFromScreenStart, "\033[1J"},
    {escKeypadApp, "\033="},
    {escKeypadNumeric, "\033>"},
    {escAskParameters, "\033[", Form::kOneNumber, "x"},
    {escTellParameters, "\033[", Form::kOneNumber, ";1;1;112;112;1;0x"},
    {escTellTerminalType, "\033[?6c"},
};

std::string Answer(std::span<const AnswerRow> rows, TEscapeCode code, const EscapeParams& params) {
  const auto row =
      std::find_if(rows.begin(), rows.end(), [code](const AnswerRow& r) { return r.code == code; });
  if (row == rows.end()) return {};
  std::string text(row->head);
  switch (row->form) {
    case Form::kPlain:
      break;
    case Form::kOneNumber:
      text += ParamText(ParamValue(1, params));
      break;
    case Form::kTwoNumbers:
      text += ParamText(ParamValue(1, params));
      text += ';';
      text += ParamText(ParamValue(2, params));
      break;
    case Form::kVT52Position:
      // Only 1..224 fit into one byte above the space character.
      for (int n = 1; n <= 2; ++n)
        text += static_cast<char>(std::clamp(ParamValue(n, params), 1, 224) + 31);
      break;
  }
  text += row->tail;
  return text;
}

// The first parameter of a selector final (J, K, g, n, x); none reads as 0.
int Selector(const EscapeParams& params) {
  return params.empty() ? 0 : params[0];
}

}  // namespace

std::string ParamText(long long value) {
  return std::to_string(value);
}

ScanResult TEscapeCodes::FeedSequence(uint8_t ch) {
  if (ch < 0x20 || (ch == kDel && !takesDel_)) {
    switch (ch) {
      case kEsc:  // starts the sequence afresh
        Begin();
        return scanPending;
      case kCan:
      case kSub:  // cancel it
        inEscape_ = inNumbers_ = false;
        return scanPending;
      case kDel:
        return scanPending;
      default:  // a control byte is performed where it stands; the sequence goes on
        lastChar_ = ch;
        return scanChar;
    }
  }
  if (length_ < kMaxSequenceLength) {
    text_[length_++] = static_cast<char>(ch);
  } else {
    overflow_ = true;
  }
  TEscapeCode code = Recognise(ch);
  if (code == escPending) return scanPending;
  if (overflow_) {
    code = escUnknown;
    params_.clear();
  }
  lastCode_ = code;
  inEscape_ = inNumbers_ = false;
  return scanCode;
}

TEscapeCode TEscapeCodesVT52::Recognise(uint8_t ch) {
  switch (stage_) {
    case kVt52First:
      switch (ch) {
        case 'A':
          return escCaretUp;
        case 'B':
          return escCaretDown;
        case 'C':
          return escCaretRight;
        case 'D':
          return escCaretLeft;
        case 'H':
          return escCaretHome;
        case 'I':
          return escLineUp;
        case 'J':
          return escClearToScreenEnd;
        case 'K':
          return escClearToLineEnd;
        case 'Z':
          return escAskIdentity;
        case '<':
          return escEnterAnsi;
        case '=':
          return escKeypadApp;
        case '>':
          return escKeypadNumeric;
        case 'F':
          return escGraphicsOn;
        case 'G':
          return escGraphicsOff;
        case '/':
          stage_ = kVt52Slash;
          return escPending;
        case 'Y':
          stage_ = kVt52Row;
          takesDel_ = true;  // row or column 96
          return escPending;
        default:
          return escUnknown;
      }
    case kVt52Slash:
      return ch == 'Z' ? escTellIdentity : escUnknown;
    case kVt52Row:
      // Row and column travel as single characters; the space character stands for 1.
      number_ = ch - 31;
      stage_ = kVt52Column;
      return escPending;
    default:
      params_ = {number_, ch - 31};
      return escCaretTo;
  }
}

std::string TEscapeCodesVT52::SequenceFor(TEscapeCode code, const EscapeParams& params) const {
  return Answer(kVT52Answers, code, params);
}

TEscapeCode TEscapeCodesVT100::Recognise(uint8_t ch) {
  switch (stage_) {
    case kControl:
      return RecogniseControlSequence(ch);
    case kFirst:
      if (ch == '[') {
        stage_ = kControl;
        inNumbers_ = true;
        return escPending;
      }
      if (ch == 'O') {
        stage_ = kKeypad;
        return escPending;
      }
      if (ch >= 0x20 && ch <= 0x2F) {
        stage_ = kIntermediate;
        intermediate_ = ch;
        return escPending;
      }
      return FinishEscape(ch);
    case kIntermediate:
      if (ch >= 0x20 && ch <= 0x2F) {
        invalid_ = true;  // none of ours has two
        return escPending;
      }
      return FinishEscape(ch);
    default:  // kKeypad
      switch (ch) {
        case 'A':
          return escKeypadUp;
        case 'B':
          return escKeypadDown;
        case 'C':
          return escKeypadRight;
        case 'D':
          return escKeypadLeft;
        default:
          return escUnknown;
      }
  }
}

TEscapeCode TEscapeCodesVT100::FinishEscape(uint8_t final) {
  if (invalid_) return escUnknown;
  switch (intermediate_) {
    case 0:
      switch (final) {
        case '7':
          return escSaveCaretAttr;
        case '8':
          return escRestoreCaretAttr;
        case 'H':
          return escTabSet;
        case 'c':
          return escResetTerminal;
        case 'D':
          return escIndex;
        case 'E':
          return escNextLine;
        case 'M':
          return escLineUp;
        case 'Z':
          return escAskIdentity;
        case '=':
          return escKeypadApp;
        case '>':
          return escKeypadNumeric;
        default:
          return escUnknown;
      }
    case '#':
      if (final == '8') return escFillTest;
      if (final >= '3' && final <= '6') {
        params_ = {final - '0'};
        return escLineSize;
      }
      return escUnknown;
    case '(':
    case ')':
      switch (final) {
        case 'A':
        case 'B':
        case '0':
        case '1':
        case '2':
          params_ = {final};
          return intermediate_ == '(' ? escCharsetG0 : escCharsetG1;
        default:
          return escUnknown;
      }
    default:
      return escUnknown;
  }
}

TEscapeCode TEscapeCodesVT100::RecogniseControlSequence(uint8_t ch) {
  if (ch >= '0' && ch <= '9') {  // only when the text is past its limit
    AddDigit(ch);
    return escPending;
  }
  if (ch == ';') {
    CloseNumber();
    typed_ = true;
    return escPending;
  }
  if (ch >= 0x40 && ch <= 0x7E) {
    if (typed_) CloseNumber();
    inNumbers_ = false;
    return FinishControlSequence(ch);
  }
  if (ch >= 0x3C && ch <= 0x3F) {
    // A private marker stands first; anywhere else it spoils the sequence.
    if (!typed_ && params_.Marker() == 0 && intermediate_ == 0) {
      params_.SetMarker(static_cast<char>(ch));
    } else {
      invalid_ = true;
    }
    return escPending;
  }
  if (ch == '-' && !digits_ && !negative_ && intermediate_ == 0) {
    negative_ = typed_ = true;
    return escPending;
  }
  if (ch >= 0x20 && ch <= 0x3F) {  // intermediates and ":"
    intermediate_ = ch;
    return escPending;
  }
  // A byte with bit 7 set has no place in a sequence: it ends it.
  params_.clear();
  return escUnknown;
}

TEscapeCode TEscapeCodesVT100::FinishControlSequence(uint8_t final) {
  if (invalid_ || intermediate_ != 0) {
    params_.clear();
    return escUnknown;
  }
  const char marker = params_.Marker();
  // Only the modes and the identity answer have a private marker.
  if (marker != 0 && final != 'h' && final != 'l' && final != 'c') {
    params_.clear();
    return escUnknown;
  }
  TEscapeCode code = escUnknown;
  switch (final) {
    case 'A':
      return escCaretUp;
    case 'B':
      return escCaretDown;
    case 'C':
      return escCaretRight;
    case 'D':
      return escCaretLeft;
    case 'H':
      return escCaretHome;
    case 'f':
      return escCaretTo;
    case 'R':
      return escTellCaret;
    case 'm':
      return escAttributes;
    case 'h':
      return escModeOn;
    case 'l':
      return escModeOff;
    case 's':
      return escSaveCaret;
    case 'u':
      return escRestoreCaret;
    case 'r':
      return escScrollRegion;
    case 'L':
      return escInsertLines;
    case 'M':
      return escDeleteLines;
    case '@':
      return escInsertChars;
    case 'P':
      return escDeleteChars;
    case 'X':
      return escEraseChars;
    case 'c':
      if (marker == 0 && (params_.empty() || (params_.size() == 1 && params_[0] == 0)))
        return escAskIdentity;
      if (marker == '?' && params_.size() == 2 && params_[0] == 1) return escTellIdentity;
      break;
    case 'x': {
      const int kind = Selector(params_);
      if (kind == 0 || kind == 1) {
        params_ = {kind};
        return escAskParameters;
      }
      break;
    }
    // The parameter of these only selects the code: the terminal gets none.
    case 'J':
      code = Selector(params_) == 0   ? escClearToScreenEnd
             : Selector(params_) == 1 ? escClearFromScreenStart
             : Selector(params_) == 2 ? escClearScreen
                                      : escUnknown;
      break;
    case 'K':
      code = Selector(params_) == 0   ? escClearToLineEnd
             : Selector(params_) == 1 ? escClearFromLineStart
             : Selector(params_) == 2 ? escClearLine
                                      : escUnknown;
      break;
    case 'g':
      code = Selector(params_) == 0   ? escTabClear
             : Selector(params_) == 3 ? escTabClearAll
                                      : escUnknown;
      break;
    case 'n':
      if (!params_.empty()) {
        code = params_[0] == 5   ? escAskStatus
               : params_[0] == 0 ? escTellStatusOk
               : params_[0] == 3 ? escTellStatusFault
               : params_[0] == 6 ? escAskCaret
                                 : escUnknown;
      }
      break;
    default:
      break;
  }
  params_.clear();
  return code;
}

std::string TEscapeCodesVT100::SequenceFor(TEscapeCode code, const EscapeParams& params) const {
  return Answer(kVT100Answers, code, params);
}

}  // namespace tarvelo
