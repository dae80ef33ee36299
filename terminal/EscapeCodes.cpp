#include "terminal/EscapeCodes.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <span>

namespace tarvelo {

namespace {

// A sequence the way it starts after ESC: `literal` followed by `wildcards` characters of any
// value (the VT52 position bytes).
struct PrefixRow {
  std::string_view literal;
  uint8_t wildcards;
  TEscapeCode code;
  bool opensControlSequence = false;
};

const PrefixRow* FindPrefix(std::span<const PrefixRow> rows, const std::string& text) {
  for (const PrefixRow& row : rows) {
    if (text.size() != row.literal.size() + row.wildcards) continue;
    // The literals are one or two characters: compared by hand, not by a library call.
    size_t at = 0;
    while (at < row.literal.size() && text[at] == row.literal[at]) ++at;
    if (at == row.literal.size()) return &row;
  }
  return nullptr;
}

constexpr PrefixRow kVT52Sequences[] = {
    {"A", 0, escCaretUp},          {"B", 0, escCaretDown},      {"C", 0, escCaretRight},
    {"D", 0, escCaretLeft},        {"H", 0, escCaretHome},      {"I", 0, escLineUp},
    {"J", 0, escClearToScreenEnd}, {"K", 0, escClearToLineEnd}, {"Z", 0, escAskIdentity},
    {"/", 0, escPending},          {"/Z", 0, escTellIdentity},  {"Y", 0, escPending},
    {"Y", 1, escPending},          {"Y", 2, escCaretTo},
};

constexpr PrefixRow kVT100Sequences[] = {
    {"[", 0, escPending, true}, {"#", 0, escPending},          {"O", 0, escPending},
    {"7", 0, escSaveCaretAttr}, {"8", 0, escRestoreCaretAttr}, {"H", 0, escTabSet},
    {"c", 0, escResetTerminal}, {"#8", 0, escFillTest},        {"OA", 0, escKeypadUp},
    {"OB", 0, escKeypadDown},   {"OC", 0, escKeypadRight},     {"OD", 0, escKeypadLeft},
};

// Which parameters a control-sequence row asks for.
enum class Select : uint8_t {
  kAlways,
  kNoParams,
  kFirstCharIs,       // first character of the first parameter equals `value`
  kOnlyParamIs,       // exactly one parameter, equal to `value`
  kTwoParamsFirstIs,  // exactly two parameters, the first equal to `value`
};

struct FinalRow {
  char final;
  Select select;
  std::string_view value;
  TEscapeCode code;
};

constexpr FinalRow kVT100Finals[] = {
    {'A', Select::kAlways, "", escCaretUp},
    {'B', Select::kAlways, "", escCaretDown},
    {'C', Select::kAlways, "", escCaretRight},
    {'D', Select::kAlways, "", escCaretLeft},
    {'H', Select::kAlways, "", escCaretHome},
    {'f', Select::kAlways, "", escCaretTo},
    {'J', Select::kNoParams, "", escClearToScreenEnd},
    {'J', Select::kFirstCharIs, "0", escClearToScreenEnd},
    {'J', Select::kFirstCharIs, "2", escClearScreen},
    {'K', Select::kNoParams, "", escClearToLineEnd},
    {'K', Select::kFirstCharIs, "0", escClearToLineEnd},
    {'K', Select::kFirstCharIs, "2", escClearLine},
    {'g', Select::kNoParams, "", escTabClear},
    {'g', Select::kFirstCharIs, "0", escTabClear},
    {'g', Select::kFirstCharIs, "3", escTabClearAll},
    {'n', Select::kFirstCharIs, "5", escAskStatus},
    {'n', Select::kFirstCharIs, "0", escTellStatusOk},
    {'n', Select::kFirstCharIs, "3", escTellStatusFault},
    {'n', Select::kFirstCharIs, "6", escAskCaret},
    {'c', Select::kNoParams, "", escAskIdentity},
    {'c', Select::kOnlyParamIs, "0", escAskIdentity},
    {'c', Select::kTwoParamsFirstIs, "?1", escTellIdentity},
    {'R', Select::kAlways, "", escTellCaret},
    {'m', Select::kAlways, "", escAttributes},
    {'h', Select::kAlways, "", escModeOn},
    {'l', Select::kAlways, "", escModeOff},
    {'s', Select::kAlways, "", escSaveCaret},
    {'u', Select::kAlways, "", escRestoreCaret},
};

// Finals whose parameter only selects the code; the terminal gets no parameters with them.
constexpr std::string_view kSelectorFinals = "JKgn";

bool Selects(const FinalRow& row, const EscapeParams& params) {
  // Most finals have a single row taking any parameters; answer those without a jump table.
  if (row.select == Select::kAlways) return true;
  switch (row.select) {
    case Select::kAlways:
      return true;
    case Select::kNoParams:
      return params.empty();
    case Select::kFirstCharIs:
      return !params.empty() && params[0][0] == row.value[0];
    case Select::kOnlyParamIs:
      return params.size() == 1 && params[0] == row.value;
    case Select::kTwoParamsFirstIs:
      return params.size() == 2 && params[0] == row.value;
  }
  return false;
}

// Where each final letter's rows start in kVT100Finals, so that a sequence does not walk the
// whole table; built from the table itself.
struct FinalIndex {
  uint8_t first[128];  // row number, or kNone
  bool selector[128];  // the parameter only selects the code
  static constexpr uint8_t kNone = 0xFF;

  constexpr FinalIndex() : first{}, selector{} {
    for (uint8_t& f : first) f = kNone;
    for (uint8_t row = std::size(kVT100Finals); row-- > 0;)
      first[static_cast<uint8_t>(kVT100Finals[row].final)] = row;
    for (const char final : kSelectorFinals) selector[static_cast<uint8_t>(final)] = true;
  }
};

constexpr FinalIndex kFinalIndex;

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
    {escTellIdentity, "\033/Z"},
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

}  // namespace

int ParamValue(int n, const EscapeParams& params) {
  if (n < 1 || static_cast<size_t>(n) > params.size()) return 1;
  return ParamValue(params[n - 1]);
}

int ParamValueSlow(std::string_view text) {
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
  if (text.empty()) return 1;
  long long value = 0;
  for (const char ch : text) {
    if (ch < '0' || ch > '9') return 1;
    if (value <= INT_MAX) value = value * 10 + (ch - '0');
  }
  value = std::min<long long>(value, INT_MAX);
  return static_cast<int>(negative ? -value : value);
}

std::string ParamText(long long value) {
  return std::to_string(value);
}

ScanResult TEscapeCodes::FeedSequence(uint8_t ch) {
  sequence_ += static_cast<char>(ch);
  if (untilLetter_ && !IsAsciiLetter(ch) && sequence_.size() < kMaxSequenceLength)
    return scanPending;
  TEscapeCode code = Recognise();
  if (code == escPending) {
    if (sequence_.size() < kMaxSequenceLength) return scanPending;
    code = escUnknown;
  }
  lastCode_ = code;
  inEscape_ = false;
  untilLetter_ = false;
  return scanCode;
}

TEscapeCode TEscapeCodesVT52::Recognise() {
  const PrefixRow* row = FindPrefix(kVT52Sequences, sequence_);
  if (!row) return escUnknown;
  if (row->code == escCaretTo) {
    // Row and column travel as single characters; the space character stands for 1.
    params_ = {ParamText(static_cast<uint8_t>(sequence_[1]) - 31),
               ParamText(static_cast<uint8_t>(sequence_[2]) - 31)};
  }
  return row->code;
}

std::string TEscapeCodesVT52::SequenceFor(TEscapeCode code, const EscapeParams& params) const {
  return Answer(kVT52Answers, code, params);
}

inline TEscapeCode TEscapeCodesVT100::RecogniseControlSequence() {
  const char final = sequence_.back();
  if (!IsAsciiLetter(static_cast<uint8_t>(final))) return escPending;
  SplitParams(std::string_view(sequence_).substr(1, sequence_.size() - 2), params_);
  TEscapeCode code = escUnknown;
  const auto letter = static_cast<uint8_t>(final);
  for (size_t row = kFinalIndex.first[letter];
       row < std::size(kVT100Finals) && kVT100Finals[row].final == final; ++row) {
    if (Selects(kVT100Finals[row], params_)) {
      code = kVT100Finals[row].code;
      break;
    }
  }
  if (kFinalIndex.selector[letter]) params_.clear();
  return code;
}

TEscapeCode TEscapeCodesVT100::Recognise() {
  if (untilLetter_) return RecogniseControlSequence();
  const PrefixRow* row = FindPrefix(kVT100Sequences, sequence_);
  if (!row) return escUnknown;
  if (row->opensControlSequence) untilLetter_ = true;
  return row->code;
}

EscapeParams TEscapeCodesVT100::SplitParams(std::string_view text) {
  EscapeParams params;
  SplitParams(text, params);
  return params;
}

void TEscapeCodesVT100::SplitParams(std::string_view text, EscapeParams& params) {
  params.clear();
  size_t start = 0;  // of the current parameter
  // Parameters are short: copied by hand rather than by a library call for each.
  auto add = [&params](std::string_view param) {
    std::string& text = params.emplace_back(param.size(), '\0');
    for (size_t i = 0; i < param.size(); ++i) text[i] = param[i];
  };
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] == ';' && at > start) {
      add(text.substr(start, at - start));
      start = at + 1;
    }
  }
  if (start < text.size()) add(text.substr(start));
}

std::string TEscapeCodesVT100::SequenceFor(TEscapeCode code, const EscapeParams& params) const {
  return Answer(kVT100Answers, code, params);
}

}  // namespace tarvelo
