#include "terminal/TermState.h"

#include <algorithm>
#include <exception>
#include <iterator>

namespace tarvelo {

namespace {

TermEvents& Silent() {
  static TermEvents none;
  return none;
}

struct KeyRow {
  TermKey key;
  TEscapeCode cursor;  // cursor keys in their normal mode
  TEscapeCode keypad;  // in application mode; escUnknown: the key does nothing
};

constexpr KeyRow kKeys[] = {
    {TermKey::kHome, escCaretHome, escUnknown},    {TermKey::kLeft, escCaretLeft, escKeypadLeft},
    {TermKey::kUp, escCaretUp, escKeypadUp},       {TermKey::kRight, escCaretRight, escKeypadRight},
    {TermKey::kDown, escCaretDown, escKeypadDown},
};

// The VT100's answer to a request for its terminal parameters: no parity, 8 bits, 9600 baud
// both ways, clock multiplier 1, no option switches. Only the report kind (2 unsolicited
// allowed, 3 on request) varies.
constexpr int kUnsolicitedReport = 2;
constexpr int kRequestedReport = 3;

// A count the far end gave: 0 means 1, as on a VT100; a negative one, nothing at all.
int Count(const EscapeParams& params, int n = 1) {
  const int value = ParamValue(n, params);
  return value < 0 ? 0 : std::max(value, 1);
}

}  // namespace

// Every public operation runs inside one; the outermost reports the changes when it ends.
class TComTermState::Batch {
 public:
  explicit Batch(TComTermState& state) : state_(state) { ++state_.depth_; }
  // A handler of the report may throw like any other handler.
  ~Batch() noexcept(false) {
    if (--state_.depth_ > 0) return;
    state_.retiredParsers_.clear();
    // While an exception (a failed port write) unwinds, the changes wait for the next report.
    if (std::uncaught_exceptions() == 0) state_.Report();
  }
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

 private:
  TComTermState& state_;
};

TComTermState::TComTermState(TermEvents* events) : events_(events ? events : &Silent()) {
  bottom_ = Rows();
  UpdatePen();
  MakeParser();
}

TComTermState::~TComTermState() = default;

void TComTermState::SetEvents(TermEvents* events) {
  events_ = events ? events : &Silent();
}

void TComTermState::Report() {
  buffer_.TakeChanges(changes_);
  changes_.caretMoved = caret_ != reportedCaret_;
  reportedCaret_ = caret_;
  if (!changes_.Empty()) events_->ScreenChanged(changes_);
}

void TComTermState::MakeParser() {
  if (parser_) retiredParsers_.push_back(std::move(parser_));
  if (vt52Parser_) retiredParsers_.push_back(std::move(vt52Parser_));
  vt52Mode_ = false;
  switch (emulation_) {
    case teVT100orANSI:
      parser_ = std::make_unique<TEscapeCodesVT100>();
      break;
    case teVT52:
      parser_ = std::make_unique<TEscapeCodesVT52>();
      break;
    case teNone:
      parser_ = events_->ParserWanted();
      break;
  }
}

void TComTermState::SetEmulation(TTermEmulation emulation) {
  if (emulation == emulation_) return;
  Batch batch(*this);
  emulation_ = emulation;
  MakeParser();
}

void TComTermState::SetVt52Mode(bool on) {
  if (emulation_ != teVT100orANSI || on == vt52Mode_) return;
  if (on && !vt52Parser_) vt52Parser_ = std::make_unique<TEscapeCodesVT52>();
  vt52Mode_ = on;
  if (!on) vt52Graphics_ = false;
  UpdateCharset();
}

void TComTermState::SetSize(int columns, int rows) {
  columns = std::clamp(columns, kMinColumns, kMaxColumns);
  rows = std::clamp(rows, kMinRows, kMaxRows);
  if (columns == Columns() && rows == Rows()) return;
  Batch batch(*this);
  buffer_.Rebuild(columns, rows);
  top_ = 1;
  bottom_ = Rows();
  PlaceCaret(caret_.column, caret_.row);
}

void TComTermState::SetTextColor(TermColor color) {
  textColor_ = color;
  UpdatePen();
}

void TComTermState::SetBackgroundColor(TermColor color) {
  backgroundColor_ = color;
  UpdatePen();
}

void TComTermState::SetAltColor(TermColor color) {
  altColor_ = color;
  altColorChosen_ = true;
  UpdatePen();
}

void TComTermState::UpdatePen() {
  const TermAttributes& a = attributes_;
  TermColor foreground = textColor_;
  if (a.foreground >= 0) {
    // Bold in one of the eight normal colours is its bright counterpart, never a dimmer one.
    foreground = kTermPalette[a.bright && a.foreground < 8 ? a.foreground + 8 : a.foreground];
  } else if (a.bright && altColorChosen_) {
    foreground = altColor_;
  }
  TermColor background = a.background >= 0 ? kTermPalette[a.background] : backgroundColor_;
  if (a.inverse) std::swap(foreground, background);
  pen_.foreground = foreground;
  pen_.background = background;
  pen_.underline = a.underline;
  pen_.bright = a.bright;
  pen_.inverse = a.inverse;
  pen_.blink = a.blink;
}

void TComTermState::SetAttributes(const TermAttributes& attributes) {
  attributes_ = attributes;
  UpdatePen();
}

void TComTermState::UpdateCharset() {
  const uint8_t set = charsets_[shift_];
  graphicsSet_ = vt52Mode_ ? vt52Graphics_ : set == '0' || set == '2';
  ukSet_ = !vt52Mode_ && set == 'A';
  specialPrint_ = graphicsSet_ || ukSet_ || insertMode_;
}

void TComTermState::ReceiveBytes(std::string_view bytes) {
  Batch batch(*this);
  // A block of its own: the handler may feed the terminal in turn.
  std::string text;
  if (!appendLF_ && !force7Bit_) {
    text.assign(bytes);
  } else {
    text.reserve(bytes.size());
    for (const char byte : bytes) {
      text += force7Bit_ ? static_cast<char>(byte & 0x7F) : byte;
      if (appendLF_ && byte == '\r') text += '\n';
    }
  }
  events_->TextReceived(text);
  ShowBytes(text);
}

int TComTermState::RightEdge(int row) const {
  return buffer_.LineSizeOf(row) == LineSize::kSingle ? Columns() : std::max(Columns() / 2, 1);
}

// The path nearly every received byte takes; kept small enough to inline.
inline void TComTermState::PutPrintable(uint8_t ch) {
  if (!specialPrint_ && !pendingWrap_ && caret_.column < Columns() &&
      buffer_.PutSingle(caret_.column, caret_.row, pen_, ch)) {
    ++caret_.column;
  } else {
    PutSpecial(ch);
  }
  events_->CharApplied(ch);
}

// A character at the end of a line, through a character set that changes it, in insert mode
// or on a line of double width.
void TComTermState::PutSpecial(uint8_t ch) {
  if (pendingWrap_) {
    pendingWrap_ = false;
    caret_.column = 1;
    LineDown();
  }
  const int edge = RightEdge(caret_.row);
  caret_.column = std::min(caret_.column, edge);
  TermCell cell = pen_;
  cell.ch = ch;
  if (graphicsSet_ && ch >= 0x5F && ch <= 0x7E) {
    cell.lineDrawing = true;
  } else if (ukSet_ && ch == '#') {
    cell.ch = 0x7D;  // the pound sign's place in the line-drawing set
    cell.lineDrawing = true;
  }
  if (insertMode_) buffer_.InsertCells(caret_.column, caret_.row, 1);
  buffer_.PutCell(caret_.column, caret_.row, cell);
  if (caret_.column < edge) {
    ++caret_.column;
  } else if (wrapLines_) {
    pendingWrap_ = true;
  }
}

void TComTermState::ShowBytes(std::string_view bytes) {
  Batch batch(*this);
  for (const char byte : bytes) {
    const auto ch = static_cast<uint8_t>(byte);
    // Read afresh for every byte: a handler or a code may have changed the parser.
    TEscapeCodes* parser = ActiveParser();
    if (!parser) {
      ApplyChar(ch);
      continue;
    }
    // Outside a sequence every byte but ESC is plain: the common case needs no parser.
    if (ch >= 32 && ch != kDel && !parser->InEscape()) {
      PutPrintable(ch);
      continue;
    }
    switch (parser->FeedChar(ch)) {
      case scanChar:
        if (const uint8_t plain = parser->LastChar(); plain >= 32 && plain != kDel) {
          PutPrintable(plain);
        } else {
          ApplyChar(plain);
        }
        break;
      case scanCode:
        if (!PerformCode(parser->LastCode(), parser->Params()))
          events_->UnhandledCode(parser->LastCode(), parser->SequenceText());
        parser->ClearParams();
        break;
      case scanPending:
        break;
    }
  }
}

void TComTermState::ApplyChar(uint8_t ch) {
  if (ch >= 32 && ch != kDel) {
    PutPrintable(ch);
    return;
  }
  switch (ch) {
    case 7:
      events_->Bell();
      break;
    case 8:
      StepCaret(Step::kBack);
      break;
    case 9:
      StepCaret(Step::kTab);
      break;
    case 10:
    case 11:
    case 12:
      StepCaret(Step::kLineDown);
      if (newLineMode_) StepCaret(Step::kReturn);
      break;
    case 13:
      StepCaret(Step::kReturn);
      break;
    case 14:  // SO: the G1 set
    case 15:  // SI: the G0 set
      shift_ = ch == 14 ? 1 : 0;
      UpdateCharset();
      break;
    default:  // the other control characters (DEL among them) leave no trace
      break;
  }
  events_->CharApplied(ch);
}

void TComTermState::LineDown() {
  if (caret_.row == bottom_) {
    // The whole screen scrolls into the scroll-back; a region just loses its top line.
    if (top_ == 1 && bottom_ == Rows()) {
      buffer_.ShiftUp();
    } else {
      buffer_.ScrollRegionUp(top_, bottom_, 1);
    }
  } else if (caret_.row < Rows()) {
    ++caret_.row;
  }
}

void TComTermState::LineUp() {
  if (caret_.row == top_) {
    if (top_ == 1 && bottom_ == Rows()) {
      buffer_.ShiftDown();
    } else {
      buffer_.ScrollRegionDown(top_, bottom_, 1);
    }
  } else if (caret_.row > 1) {
    --caret_.row;
  }
}

void TComTermState::StepCaret(Step step) {
  switch (step) {
    case Step::kAdvance:
      if (caret_.column < RightEdge(caret_.row)) {
        PlaceCaret(caret_.column + 1, caret_.row);
      } else if (wrapLines_) {
        caret_.column = 1;
        LineDown();
        PlaceCaret(caret_.column, caret_.row);
      }
      return;
    case Step::kReturn:
      PlaceCaret(1, caret_.row);
      return;
    case Step::kLineDown:
      LineDown();
      break;
    case Step::kLineUp:
      LineUp();
      break;
    case Step::kTab: {
      // With no stop left the caret goes to the right margin, as a VT100 does.
      const int edge = RightEdge(caret_.row);
      const int stop = buffer_.NextTabStop(caret_.column + 1);
      PlaceCaret(stop == 0 || stop > edge ? edge : stop, caret_.row);
      return;
    }
    case Step::kBack:
      PlaceCaret(caret_.column - 1, caret_.row);
      return;
  }
  PlaceCaret(caret_.column, caret_.row);
}

void TComTermState::PlaceCaret(long long column, long long row) {
  caret_.row = static_cast<int>(std::clamp<long long>(row, 1, Rows()));
  caret_.column = static_cast<int>(std::clamp<long long>(column, 1, RightEdge(caret_.row)));
  pendingWrap_ = false;
}

void TComTermState::MoveCaretTo(long long column, long long row) {
  column = std::max<long long>(column, 1);
  row = std::max<long long>(row, 1);
  if (originMode_) {
    PlaceCaret(column, std::min<long long>(row + top_ - 1, bottom_));
  } else {
    PlaceCaret(column, row);
  }
}

bool TComTermState::ApplyCode(TEscapeCode code, const EscapeParams& params) {
  Batch batch(*this);
  return PerformCode(code, params);
}

bool TComTermState::PerformCode(TEscapeCode code, const EscapeParams& params) {
  const int column = caret_.column;
  const int row = caret_.row;
  switch (code) {
    case escCaretUp:
    case escKeypadUp:
      // Inside the scroll region the caret stops at its top margin.
      if (const int n = Count(params))
        PlaceCaret(column, std::max<long long>(row - n, row >= top_ ? top_ : 1));
      break;
    case escCaretDown:
    case escKeypadDown:
      if (const int n = Count(params))
        PlaceCaret(column, std::min(static_cast<long long>(row) + n,
                                    static_cast<long long>(row <= bottom_ ? bottom_ : Rows())));
      break;
    case escCaretLeft:
    case escKeypadLeft:
      if (const int n = Count(params)) PlaceCaret(column - static_cast<long long>(n), row);
      break;
    case escCaretRight:
    case escKeypadRight:
      if (const int n = Count(params)) PlaceCaret(column + static_cast<long long>(n), row);
      break;
    case escCaretHome:
    case escCaretTo:
      if (ParamValue(1, params) >= 0 && ParamValue(2, params) >= 0)
        MoveCaretTo(ParamValue(2, params), ParamValue(1, params));
      break;
    case escLineUp:
      StepCaret(Step::kLineUp);
      break;
    case escIndex:
      StepCaret(Step::kLineDown);
      break;
    case escNextLine:
      StepCaret(Step::kLineDown);
      StepCaret(Step::kReturn);
      break;
    case escTabSet:
      buffer_.SetTabAt(column, true);
      break;
    case escTabClear:
      buffer_.SetTabAt(column, false);
      break;
    case escTabClearAll:
      buffer_.ClearTabStops();
      break;
    case escAskIdentity:
      SendCodeQuiet(escTellTerminalType);
      break;
    case escAskParameters:
      SendCodeQuiet(escTellParameters,
                    {ParamValue(1, params) == 1 ? kRequestedReport : kUnsolicitedReport});
      break;
    case escAskStatus:
      SendCodeQuiet(escTellStatusOk);
      break;
    case escAskCaret:
      SendCodeQuiet(escTellCaret, {originMode_ ? row - top_ + 1 : row, column});
      break;
    case escAttributes:
      ApplyAttributes(params);
      break;
    case escModeOn:
    case escModeOff:
      ApplyMode(params, code == escModeOn);
      break;
    case escResetTerminal:
      Reset();
      break;
    case escSaveCaretAttr:
      savedCaret_ = caret_;
      saved_ = {attributes_, originMode_, pendingWrap_, {charsets_[0], charsets_[1]}, shift_};
      break;
    case escRestoreCaretAttr:
      charsets_[0] = saved_.charsets[0];
      charsets_[1] = saved_.charsets[1];
      shift_ = saved_.shift;
      originMode_ = saved_.originMode;
      UpdateCharset();
      SetAttributes(saved_.attributes);
      // The margins may have changed since: in origin mode the caret stays inside them.
      PlaceCaret(savedCaret_.column,
                 originMode_ ? std::clamp(savedCaret_.row, top_, bottom_) : savedCaret_.row);
      pendingWrap_ = saved_.pendingWrap && wrapLines_ && caret_.column == RightEdge(caret_.row);
      break;
    case escSaveCaret:
      savedCaret_ = caret_;
      break;
    case escRestoreCaret:
      PlaceCaret(savedCaret_.column,
                 originMode_ ? std::clamp(savedCaret_.row, top_, bottom_) : savedCaret_.row);
      break;
    case escFillTest:
      buffer_.Fill(TermCell{'E', false, false, false, textColor_, backgroundColor_});
      break;
    case escScrollRegion:
      SetScrollRegion(params);
      break;
    case escCharsetG0:
    case escCharsetG1:
      charsets_[code == escCharsetG0 ? 0 : 1] = static_cast<uint8_t>(ParamValue(1, params));
      UpdateCharset();
      break;
    case escLineSize: {
      const int size = ParamValue(1, params);
      buffer_.SetLineSize(row, size == 3   ? LineSize::kDoubleTop
                               : size == 4 ? LineSize::kDoubleBottom
                               : size == 6 ? LineSize::kDoubleWidth
                                           : LineSize::kSingle);
      PlaceCaret(column, row);
      break;
    }
    case escKeypadApp:
    case escKeypadNumeric:
      appKeypad_ = code == escKeypadApp;
      break;
    case escEnterAnsi:
      SetVt52Mode(false);
      break;
    case escGraphicsOn:
    case escGraphicsOff:
      vt52Graphics_ = code == escGraphicsOn;
      UpdateCharset();
      break;
    default:
      return PerformEdit(code, params);
  }
  return true;
}

// The codes that erase, insert or delete.
bool TComTermState::PerformEdit(TEscapeCode code, const EscapeParams& params) {
  const int column = caret_.column;
  const int row = caret_.row;
  pendingWrap_ = false;
  switch (code) {
    case escClearToLineEnd:
      buffer_.ClearLineFrom(column, row);
      break;
    case escClearFromLineStart:
      buffer_.ClearLineTo(column, row);
      break;
    case escClearToScreenEnd:
      buffer_.ClearScreenFrom(column, row);
      break;
    case escClearFromScreenStart:
      buffer_.ClearScreenTo(column, row);
      break;
    case escClearLine:
      // The device's own screens expect the caret at the start of the erased line.
      buffer_.ClearLineFrom(1, row);
      PlaceCaret(1, row);
      break;
    case escClearScreen:
      // ... and at the top-left cell after the screen was erased.
      buffer_.ClearScreenFrom(1, 1);
      MoveCaretTo(1, 1);
      break;
    case escInsertLines:
    case escDeleteLines:
      // Only inside the scroll region; the lines below its bottom stay.
      if (const int n = Count(params); n > 0 && row >= top_ && row <= bottom_) {
        if (code == escInsertLines) {
          buffer_.ScrollRegionDown(row, bottom_, n);
        } else {
          buffer_.ScrollRegionUp(row, bottom_, n);
        }
        PlaceCaret(1, row);
      }
      break;
    case escInsertChars:
      buffer_.InsertCells(column, row, Count(params));
      break;
    case escDeleteChars:
      buffer_.DeleteCells(column, row, Count(params));
      break;
    case escEraseChars:
      buffer_.EraseCells(column, row, Count(params));
      break;
    default:
      return false;
  }
  return true;
}

void TComTermState::SetScrollRegion(const EscapeParams& params) {
  const int top = params.empty() || params[0] == 0 ? 1 : params[0];
  const int bottom = params.size() < 2 || params[1] == 0 ? Rows() : params[1];
  // A region needs two lines at least, inside the screen; anything else is not taken.
  if (top < 1 || bottom > Rows() || top >= bottom) return;
  top_ = top;
  bottom_ = bottom;
  MoveCaretTo(1, 1);
}

void TComTermState::ApplyAttributes(const EscapeParams& params) {
  TermAttributes a = attributes_;
  if (params.empty()) a = {};
  for (size_t i = 0; i < params.size(); ++i) {
    const int value = params[i];
    if (value == 38 || value == 48) {
      // An indexed (5;n) or direct (2;r;g;b) colour: its numbers are not attributes. Only the
      // first sixteen indexes are kept; the others leave the colour as it was.
      const int kind = i + 1 < params.size() ? params[i + 1] : 0;
      if (kind == 5 && i + 2 < params.size()) {
        const int index = params[i + 2];
        if (index >= 0 && index < 16)
          (value == 38 ? a.foreground : a.background) = static_cast<int8_t>(index);
        i += 2;
      } else if (kind == 2) {
        i += 4;
      } else {
        ++i;
      }
    } else if (value >= 30 && value <= 37) {
      a.foreground = static_cast<int8_t>(value - 30);
    } else if (value >= 40 && value <= 47) {
      a.background = static_cast<int8_t>(value - 40);
    } else if (value >= 90 && value <= 97) {
      a.foreground = static_cast<int8_t>(value - 90 + 8);
    } else if (value >= 100 && value <= 107) {
      a.background = static_cast<int8_t>(value - 100 + 8);
    } else {
      switch (value) {
        case 0:
          a = {};
          break;
        case 1:
          a.bright = true;
          break;
        case 4:
          a.underline = true;
          break;
        case 5:
          a.blink = true;
          break;
        case 7:
          a.inverse = true;
          break;
        case 21:
        case 22:
          a.bright = false;
          break;
        case 24:
          a.underline = false;
          break;
        case 25:
          a.blink = false;
          break;
        case 27:
          a.inverse = false;
          break;
        case 39:
          a.foreground = TermAttributes::kDefaultColor;
          break;
        case 49:
          a.background = TermAttributes::kDefaultColor;
          break;
        default:  // not one of ours
          break;
      }
    }
  }
  if (!(a == attributes_)) SetAttributes(a);
}

void TComTermState::ApplyMode(const EscapeParams& params, bool on) {
  for (const int mode : params) SetMode(params.Marker(), mode, on);
}

void TComTermState::SetMode(char marker, int mode, bool on) {
  if (marker == 0) {
    switch (mode) {
      case 4:
        insertMode_ = on;
        UpdateCharset();
        break;
      case 7:  // the wrap switch this terminal always took
        wrapLines_ = on;
        break;
      case 20:
        newLineMode_ = on;
        break;
      default:
        break;
    }
    return;
  }
  if (marker != '?') return;
  switch (mode) {
    case 1:
      appCursorKeys_ = on;
      break;
    case 2:  // off: VT52 codes until ESC <
      if (!on) SetVt52Mode(true);
      break;
    case 3:
      // Whether or not the width changes, the screen is emptied and the caret goes home, as
      // a VT100 does; applications print their page right after it.
      SetColumns(on ? 132 : 80);
      buffer_.ClearScreenFrom(1, 1);
      top_ = 1;
      bottom_ = Rows();
      MoveCaretTo(1, 1);
      break;
    case 5:
      SetReverseScreen(on);
      break;
    case 6:
      originMode_ = on;
      MoveCaretTo(1, 1);
      break;
    case 7:
      wrapLines_ = on;
      if (!on) pendingWrap_ = false;
      break;
    default:
      break;
  }
}

void TComTermState::SetReverseScreen(bool on) {
  if (on == reverseScreen_) return;
  reverseScreen_ = on;
  buffer_.MarkAllDirty();
}

void TComTermState::ResetModes() {
  top_ = 1;
  bottom_ = Rows();
  originMode_ = insertMode_ = newLineMode_ = pendingWrap_ = false;
  appCursorKeys_ = appKeypad_ = false;
  wrapLines_ = wrapLinesChosen_;
  charsets_[0] = charsets_[1] = 'B';
  shift_ = 0;
  vt52Graphics_ = false;
  SetVt52Mode(false);
  SetReverseScreen(false);
  savedCaret_ = {};
  saved_ = {};
  SetAttributes({});
  UpdateCharset();
}

void TComTermState::Reset() {
  Batch batch(*this);
  ResetModes();
  buffer_.Rebuild(Columns(), Rows());
  PlaceCaret(1, 1);
}

void TComTermState::SendKeyChar(uint8_t ch) {
  Batch batch(*this);
  if (!events_->CanSend()) return;
  const char byte = static_cast<char>(ch);
  events_->Send(std::string_view(&byte, 1));
  if (localEcho_) ApplyChar(ch);
  // In new-line mode Return sends CR LF, as SendLF does.
  if (ch == '\r' && (sendLF_ || newLineMode_)) SendKeyChar('\n');
}

void TComTermState::SendText(std::string_view text) {
  Batch batch(*this);
  if (text.empty() || !events_->CanSend()) return;
  std::string bytes;
  bytes.reserve(text.size());
  for (const char byte : text) {
    bytes += byte;
    if (byte == '\r' && (sendLF_ || newLineMode_)) bytes += '\n';
  }
  // A paste goes out in one piece so that the far end sees it as the user gave it.
  events_->Send(bytes);
  if (localEcho_)
    for (const char byte : bytes) ApplyChar(static_cast<uint8_t>(byte));
}

void TComTermState::SendKey(TermKey key) {
  Batch batch(*this);
  const auto row = std::find_if(std::begin(kKeys), std::end(kKeys),
                                [key](const KeyRow& r) { return r.key == key; });
  if (row == std::end(kKeys)) return;
  // VT52 has one set of cursor codes, whatever the cursor-key mode.
  if (appCursorKeys_ && !vt52Mode_) {
    if (row->keypad != escUnknown) SendCodeEcho(row->keypad);
  } else if (arrowKeys_ == akTerminal) {
    SendCodeEcho(row->cursor);
  } else {
    ApplyCode(row->cursor);
  }
}

void TComTermState::SendCodeEcho(TEscapeCode code, const EscapeParams& params) {
  Batch batch(*this);
  if (!ActiveParser() || !events_->CanSend()) return;
  SendCodeQuiet(code, params);
  if (localEcho_) ApplyCode(code, params);
}

void TComTermState::SendCodeQuiet(TEscapeCode code, const EscapeParams& params) {
  Batch batch(*this);
  const TEscapeCodes* parser = ActiveParser();
  if (!parser || !events_->CanSend()) return;
  const std::string text = parser->SequenceFor(code, params);
  if (!text.empty()) events_->Send(text);
}

void TComTermState::WipeScreen() {
  Batch batch(*this);
  buffer_.Rebuild(Columns(), Rows());
  top_ = 1;
  bottom_ = Rows();
  PlaceCaret(1, 1);
}

std::string TComTermState::SelectedText(TermPos from, TermPos to, bool rectangular) const {
  const int first = buffer_.FirstLine();
  const int last = Rows();
  auto pull = [&](TermPos& p) {
    p.row = std::clamp(p.row, first, last);
    p.column = std::max(p.column, 1);
  };
  pull(from);
  pull(to);
  if (rectangular) {
    const TermPos topLeft{std::min(from.column, to.column), std::min(from.row, to.row)};
    const TermPos bottomRight{std::max(from.column, to.column), std::max(from.row, to.row)};
    from = topLeft;
    to = bottomRight;
  } else if (to.row < from.row || (to.row == from.row && to.column < from.column)) {
    std::swap(from, to);
  }
  std::string text;
  for (int line = from.row; line <= to.row; ++line) {
    const std::span<const TermCell> cells = buffer_.Line(line);
    const int width = static_cast<int>(cells.size());
    const int begin = rectangular || line == from.row ? from.column : 1;
    const int end = std::min(rectangular || line == to.row ? to.column : width, width);
    std::string part;
    for (int column = begin; column <= end; ++column) {
      const uint8_t ch = cells[column - 1].ch;
      part += ch == 0 ? ' ' : static_cast<char>(ch);
    }
    part.erase(part.find_last_not_of(' ') + 1);
    if (line > from.row) text += '\n';
    text += part;
  }
  return text;
}

}  // namespace tarvelo
