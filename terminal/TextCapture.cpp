#include "terminal/TextCapture.h"

#include "terminal/CodePage.h"

namespace tarvelo {
namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kCan = 0x18;
constexpr uint8_t kSub = 0x1A;
constexpr uint8_t kBel = 0x07;

}  // namespace

void TextCapture::Sequence(State next) {
  // Line noise that looks like the start of a sequence must not swallow the rest of the
  // session: past the bound the sequence is given up and what follows is text again.
  state_ = ++length_ > kMaxSequence ? State::kText : next;
}

void TextCapture::Control(uint8_t byte, std::string& out) {
  switch (byte) {
    case '\r':
      // At the start of a line a CR moves nothing, so LF CR and CR CR LF make one line end.
      if (!atLineStart_) pendingReturn_ = true;
      return;
    case '\n':
    case '\v':
    case '\f':
      out += '\n';
      atLineStart_ = true;
      pendingReturn_ = false;
      return;
    case '\t':
      Printable(byte, out);
      return;
    default:
      // BS, BEL, SO/SI and the rest change nothing a printed page would show.
      return;
  }
}

void TextCapture::Printable(uint8_t byte, std::string& out) {
  // Text after a lone CR would overwrite the line on the screen; on paper it starts a new one,
  // so nothing is lost from either.
  if (pendingReturn_) {
    out += '\n';
    pendingReturn_ = false;
  }
  if (byte == '\t') {
    out += '\t';
  } else {
    const CodePageCharacter& c = TerminalCharacter(byte);
    if (!c.visible) return;
    out += c.utf8;
  }
  atLineStart_ = false;
}

std::string TextCapture::Feed(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto b = static_cast<uint8_t>(ch);
    if (state_ == State::kString || state_ == State::kStringEscape) {
      // A control string ends with BEL or ST (ESC \); CAN and SUB cancel it.
      if (b == kBel || b == kCan || b == kSub) {
        state_ = State::kText;
        continue;
      }
      if (state_ == State::kString) {
        Sequence(b == kEsc ? State::kStringEscape : State::kString);
        continue;
      }
      if (b == '\\') {
        state_ = State::kText;
        continue;
      }
      // Any other ESC ended the string and began a sequence, of which this is the next byte.
      state_ = State::kEscape;
      length_ = 1;
    }
    if (b == kEsc) {
      // ESC restarts a sequence wherever it comes.
      length_ = 0;
      Sequence(State::kEscape);
      continue;
    }
    if (b == kCan || b == kSub) {
      state_ = State::kText;
      continue;
    }
    if (b < 0x20 || b == 0x7F) {
      // Controls inside a sequence act as they do outside it; DEL is nothing.
      if (b != 0x7F) Control(b, out);
      continue;
    }
    switch (state_) {
      case State::kText:
        Printable(b, out);
        break;
      case State::kEscape:
        if (b == '[') {
          Sequence(State::kCsi);
        } else if (b == ']' || b == 'P' || b == 'X' || b == '^' || b == '_') {
          Sequence(State::kString);
        } else if (b == 'Y') {
          Sequence(State::kVt52Row);
        } else if (b >= 0x20 && b <= 0x2F) {
          Sequence(State::kIntermediate);  // ESC ( B, ESC # 8 and their kind
        } else {
          state_ = State::kText;  // a one-letter sequence
        }
        break;
      case State::kIntermediate:
        if (b >= 0x20 && b <= 0x2F) {
          Sequence(State::kIntermediate);
        } else {
          state_ = State::kText;
        }
        break;
      case State::kCsi:
        // Parameters and intermediates run until a final byte, whatever the length.
        if (b >= 0x40 && b <= 0x7E) {
          state_ = State::kText;
        } else {
          Sequence(State::kCsi);
        }
        break;
      case State::kVt52Row:
        Sequence(State::kVt52Column);
        break;
      case State::kVt52Column:
        state_ = State::kText;
        break;
      case State::kString:
      case State::kStringEscape:
        break;  // handled above
    }
  }
  return out;
}

}  // namespace tarvelo
