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

// Attributes as bits while a list is worked through.
enum : uint8_t { kBright = 1, kUnderline = 2, kInverse = 4 };

struct AttributeRow {
  int value;
  uint8_t bit;
  bool on;
};

constexpr AttributeRow kAttributeChanges[] = {
    {1, kBright, true},   {4, kUnderline, true},   {7, kInverse, true},
    {21, kBright, false}, {24, kUnderline, false}, {27, kInverse, false},
};

// The row of kAttributeChanges for each value, so that a parameter needs no search.
struct AttributeIndex {
  static constexpr int kSize = 32;
  int8_t row[kSize];
  constexpr AttributeIndex() : row{} {
    for (int8_t& r : row) r = -1;
    for (int8_t r = 0; r < static_cast<int8_t>(std::size(kAttributeChanges)); ++r)
      row[kAttributeChanges[r].value] = r;
  }
};

constexpr AttributeIndex kAttributeIndex;

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

void TComTermState::SetSize(int columns, int rows) {
  columns = std::clamp(columns, kMinColumns, kMaxColumns);
  rows = std::clamp(rows, kMinRows, kMaxRows);
  if (columns == Columns() && rows == Rows()) return;
  Batch batch(*this);
  buffer_.Rebuild(columns, rows);
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
  UpdatePen();
}

void TComTermState::UpdatePen() {
  // Bright wins over inverse for the text colour.
  pen_.foreground = attributes_.bright    ? altColor_
                    : attributes_.inverse ? backgroundColor_
                                          : textColor_;
  pen_.background = attributes_.inverse ? textColor_ : backgroundColor_;
  pen_.underline = attributes_.underline;
  pen_.bright = attributes_.bright;
  pen_.inverse = attributes_.inverse;
}

void TComTermState::SetAttributes(const TermAttributes& attributes) {
  attributes_ = attributes;
  UpdatePen();
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

// The path nearly every received byte takes; kept small enough to inline.
inline void TComTermState::PutPrintable(uint8_t ch) {
  buffer_.PutChar(caret_.column, caret_.row, pen_, ch);
  if (caret_.column < Columns()) {
    ++caret_.column;
  } else {
    StepCaret(Step::kAdvance);
  }
  events_->CharApplied(ch);
}

void TComTermState::ShowBytes(std::string_view bytes) {
  Batch batch(*this);
  for (const char byte : bytes) {
    const auto ch = static_cast<uint8_t>(byte);
    // Read afresh for every byte: a handler may have changed the emulation.
    TEscapeCodes* parser = parser_.get();
    if (!parser) {
      ApplyChar(ch);
      continue;
    }
    switch (parser->FeedChar(ch)) {
      case scanChar:
        if (const uint8_t plain = parser->LastChar(); plain >= 32) {
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
  if (ch >= 32) {
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
    case 12:
      StepCaret(Step::kLineDown);
      break;
    case 13:
      StepCaret(Step::kReturn);
      break;
    default:  // the other control characters leave no trace
      break;
  }
  events_->CharApplied(ch);
}

void TComTermState::StepCaret(Step step) {
  int column = caret_.column;
  int row = caret_.row;
  switch (step) {
    case Step::kAdvance:
      if (column < Columns()) {
        ++column;
      } else if (wrapLines_) {
        column = 1;
        if (row < Rows()) {
          ++row;
        } else {
          buffer_.ShiftUp();
        }
      }
      break;
    case Step::kReturn:
      column = 1;
      break;
    case Step::kLineDown:
      if (row < Rows()) {
        ++row;
      } else {
        buffer_.ShiftUp();
      }
      break;
    case Step::kLineUp:
      if (row > 1) {
        --row;
      } else {
        buffer_.ShiftDown();
      }
      break;
    case Step::kTab:
      if (const int stop = buffer_.NextTabStop(column + 1)) column = stop;
      break;
    case Step::kBack:
      column = std::max(column - 1, 1);
      break;
  }
  PlaceCaret(column, row);
}

void TComTermState::PlaceCaret(long long column, long long row) {
  caret_.column = static_cast<int>(std::clamp<long long>(column, 1, Columns()));
  caret_.row = static_cast<int>(std::clamp<long long>(row, 1, Rows()));
}

bool TComTermState::ApplyCode(TEscapeCode code, const EscapeParams& params) {
  Batch batch(*this);
  return PerformCode(code, params);
}

bool TComTermState::PerformCode(TEscapeCode code, const EscapeParams& params) {
  // Most codes carry no numbers; reading them only where needed keeps attribute-heavy
  // streams fast.
  const auto n = [&params] { return static_cast<long long>(ParamValue(1, params)); };
  const auto m = [&params] { return static_cast<long long>(ParamValue(2, params)); };
  const int column = caret_.column;
  const int row = caret_.row;
  switch (code) {
    case escCaretUp:
    case escKeypadUp:
      PlaceCaret(column, row - n());
      break;
    case escCaretDown:
    case escKeypadDown:
      PlaceCaret(column, row + n());
      break;
    case escCaretLeft:
    case escKeypadLeft:
      PlaceCaret(column - n(), row);
      break;
    case escCaretRight:
    case escKeypadRight:
      PlaceCaret(column + n(), row);
      break;
    case escCaretHome:
    case escCaretTo:
      PlaceCaret(m(), n());
      break;
    case escLineUp:
      StepCaret(Step::kLineUp);
      break;
    case escClearToLineEnd:
      buffer_.ClearLineFrom(column, row);
      break;
    case escClearToScreenEnd:
      buffer_.ClearScreenFrom(column, row);
      break;
    case escClearLine:
      buffer_.ClearLineFrom(1, row);
      PlaceCaret(1, row);
      break;
    case escClearScreen:
      buffer_.ClearScreenFrom(1, 1);
      PlaceCaret(1, 1);
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
      SendCodeQuiet(escTellIdentity, {"2"});
      break;
    case escAskStatus:
      SendCodeQuiet(escTellStatusOk);
      break;
    case escAskCaret:
      SendCodeQuiet(escTellCaret, {ParamText(row), ParamText(column)});
      break;
    case escAttributes:
      ApplyAttributes(params);
      break;
    case escModeOn:
    case escModeOff:
      ApplyMode(params, code == escModeOn);
      break;
    case escResetTerminal:
      ApplyAttributes({"0"});
      break;
    case escSaveCaretAttr:
      savedCaret_ = caret_;
      savedAttributes_ = attributes_;
      break;
    case escRestoreCaretAttr:
      PlaceCaret(savedCaret_.column, savedCaret_.row);
      SetAttributes(savedAttributes_);
      break;
    case escSaveCaret:
      savedCaret_ = caret_;
      break;
    case escRestoreCaret:
      PlaceCaret(savedCaret_.column, savedCaret_.row);
      break;
    case escFillTest:
      buffer_.Fill(TermCell{'E', false, false, false, textColor_, backgroundColor_});
      break;
    default:
      return false;
  }
  return true;
}

void TComTermState::ApplyAttributes(const EscapeParams& params) {
  uint8_t bits = (attributes_.bright ? kBright : 0) | (attributes_.underline ? kUnderline : 0) |
                 (attributes_.inverse ? kInverse : 0);
  if (params.empty()) bits = 0;
  for (const std::string& param : params) {
    const int value = ParamValue(param);
    if (value == 0) bits = 0;
    if (value < 0 || value >= kAttributeIndex.kSize) continue;
    if (const int row = kAttributeIndex.row[value]; row >= 0) {
      const AttributeRow& change = kAttributeChanges[row];
      bits = change.on ? bits | change.bit : bits & ~change.bit;
    }
  }
  SetAttributes({.inverse = (bits & kInverse) != 0,
                 .bright = (bits & kBright) != 0,
                 .underline = (bits & kUnderline) != 0});
}

void TComTermState::ApplyMode(const EscapeParams& params, bool on) {
  if (params.empty()) return;
  const std::string& mode = params[0];
  if (mode == "?1") {
    appCursorKeys_ = on;
  } else if (mode == "7") {
    wrapLines_ = on;
  } else if (mode == "?3") {
    SetColumns(on ? 132 : 80);
  }
}

void TComTermState::SendKeyChar(uint8_t ch) {
  Batch batch(*this);
  if (!events_->CanSend()) return;
  const char byte = static_cast<char>(ch);
  events_->Send(std::string_view(&byte, 1));
  if (localEcho_) ApplyChar(ch);
  if (ch == '\r' && sendLF_) SendKeyChar('\n');
}

void TComTermState::SendText(std::string_view text) {
  Batch batch(*this);
  if (text.empty() || !events_->CanSend()) return;
  std::string bytes;
  bytes.reserve(text.size());
  for (const char byte : text) {
    bytes += byte;
    if (byte == '\r' && sendLF_) bytes += '\n';
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
  if (appCursorKeys_) {
    if (row->keypad != escUnknown) SendCodeEcho(row->keypad);
  } else if (arrowKeys_ == akTerminal) {
    SendCodeEcho(row->cursor);
  } else {
    ApplyCode(row->cursor);
  }
}

void TComTermState::SendCodeEcho(TEscapeCode code, const EscapeParams& params) {
  Batch batch(*this);
  if (!parser_ || !events_->CanSend()) return;
  SendCodeQuiet(code, params);
  if (localEcho_) ApplyCode(code, params);
}

void TComTermState::SendCodeQuiet(TEscapeCode code, const EscapeParams& params) {
  Batch batch(*this);
  if (!parser_ || !events_->CanSend()) return;
  const std::string text = parser_->SequenceFor(code, params);
  if (!text.empty()) events_->Send(text);
}

void TComTermState::WipeScreen() {
  Batch batch(*this);
  buffer_.Rebuild(Columns(), Rows());
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
