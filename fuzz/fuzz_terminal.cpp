// The terminal state on bytes from the line: never a crash, never a caret outside the screen
// nor a scroll region outside it, whatever the emulation, size and switches, also when the
// size changes midway. Besides raw bytes it strings together the sequences the terminal
// performs (regions, origin mode, insert and delete, character sets, VT52 mode, line sizes,
// colours) with random numbers, so that their combinations are reached quickly.
#include <fuzzer/FuzzedDataProvider.h>

#include <iterator>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "terminal/TermState.h"

using namespace tarvelo;

namespace {

class Events : public TermEvents {
 public:
  explicit Events(bool wipeOnBell) : wipeOnBell_(wipeOnBell) {}
  TComTermState* term = nullptr;
  size_t sent = 0;
  bool CanSend() override { return true; }
  void Send(std::string_view bytes) override { sent += bytes.size(); }
  void Bell() override {
    // A handler may call back into the terminal.
    if (wipeOnBell_ && term) term->WipeScreen();
  }
  void CharApplied(uint8_t) override { CheckCaret(); }

  void CheckCaret() const {
    if (!term) return;
    const TermPos c = term->Caret();
    FUZZ_CHECK(c.column >= 1 && c.column <= term->Columns());
    FUZZ_CHECK(c.row >= 1 && c.row <= term->Rows());
    FUZZ_CHECK(term->TopMargin() >= 1 && term->TopMargin() < term->BottomMargin() &&
               term->BottomMargin() <= term->Rows());
    if (term->OriginMode()) FUZZ_CHECK(c.row >= term->TopMargin() && c.row <= term->BottomMargin());
  }

 private:
  bool wipeOnBell_;
};

// The sequences the terminal performs; "#" stands for a random number, "%" for a random byte.
const char* const kPieces[] = {
    "\033[#;#r",  "\033[r",   "\033[?6h",    "\033[?6l",     "\033[#L",  "\033[#M",  "\033[#@",
    "\033[#P",    "\033[#X",  "\033[#J",     "\033[#K",      "\033D",    "\033E",    "\033M",
    "\033[#;#H",  "\033[#A",  "\033[#B",     "\033[#C",      "\033[#D",  "\033[4h",  "\033[4l",
    "\033[20h",   "\033[20l", "\033[?7h",    "\033[?7l",     "\033[?5h", "\033[?5l", "\033[?3h",
    "\033[?3l",   "\033(0",   "\033(B",      "\033)0",       "\033(A",   "\x0e",     "\x0f",
    "\0337",      "\0338",    "\033c",       "\033#3",       "\033#4",   "\033#5",   "\033#6",
    "\033#8",     "\033[?2l", "\033<",       "\033Y%%",      "\033F",    "\033G",    "\033=",
    "\033>",      "\033[#m",  "\033[1;#;#m", "\033[38;5;#m", "\033[c",   "\033[#x",  "\033[6n",
    "\033Z",      "\033[-#A", "\r\n",        "\n",           "\t",       "\b",       "abcdefghij",
    "qqqqqqqqqq", "\x18",     "\x7f"};

std::string Pieces(FuzzedDataProvider& in) {
  std::string bytes;
  const int count = in.ConsumeIntegralInRange<int>(1, 40);
  for (int i = 0; i < count && in.remaining_bytes() > 0; ++i) {
    const char* piece = kPieces[in.ConsumeIntegralInRange<size_t>(0, std::size(kPieces) - 1)];
    for (const char* p = piece; *p; ++p) {
      if (*p == '#') {
        bytes += std::to_string(in.ConsumeIntegralInRange<int>(0, 300));
      } else if (*p == '%') {
        bytes += static_cast<char>(in.ConsumeIntegral<uint8_t>());
      } else {
        bytes += *p;
      }
    }
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  Events events(in.ConsumeBool());
  TComTermState term(&events);
  events.term = &term;
  term.SetEmulation(static_cast<TTermEmulation>(in.ConsumeIntegralInRange<int>(0, 2)));
  term.SetSize(in.ConsumeIntegralInRange<int>(-5, 300), in.ConsumeIntegralInRange<int>(-5, 120));
  term.SetWrapLines(in.ConsumeBool());
  term.SetAppendLF(in.ConsumeBool());
  term.SetForce7Bit(in.ConsumeBool());
  term.SetLocalEcho(in.ConsumeBool());
  term.SetSendLF(in.ConsumeBool());
  term.SetArrowKeys(in.ConsumeBool() ? akWindows : akTerminal);
  term.SetScrollbackCapacity(in.ConsumeIntegralInRange<int>(0, 50));
  FUZZ_CHECK(term.Columns() >= TComTermState::kMinColumns &&
             term.Columns() <= TComTermState::kMaxColumns);
  FUZZ_CHECK(term.Rows() >= TComTermState::kMinRows && term.Rows() <= TComTermState::kMaxRows);

  while (in.remaining_bytes() > 0) {
    switch (in.ConsumeIntegralInRange<int>(0, 12)) {
      case 0:
        term.SetSize(in.ConsumeIntegralInRange<int>(0, 260),
                     in.ConsumeIntegralInRange<int>(0, 110));
        break;
      case 1:
        term.SendKey(static_cast<TermKey>(in.ConsumeIntegralInRange<int>(0, 4)));
        break;
      case 2:
        term.SendKeyChar(in.ConsumeIntegral<uint8_t>());
        break;
      case 3: {
        const TermPos a{in.ConsumeIntegralInRange<int>(-300, 300),
                        in.ConsumeIntegralInRange<int>(-120, 120)};
        const TermPos b{in.ConsumeIntegralInRange<int>(-300, 300),
                        in.ConsumeIntegralInRange<int>(-120, 120)};
        (void)term.SelectedText(a, b, in.ConsumeBool());
        break;
      }
      case 4:
        term.SetEmulation(static_cast<TTermEmulation>(in.ConsumeIntegralInRange<int>(0, 2)));
        break;
      case 5:
        term.ShowBytes(in.ConsumeRandomLengthString(64));
        break;
      case 6:
      case 7:
        term.ReceiveBytes(Pieces(in));
        break;
      case 8:
        term.Reset();
        break;
      default:
        term.ReceiveBytes(in.ConsumeRandomLengthString(256));
        break;
    }
    events.CheckCaret();
    FUZZ_CHECK(term.ScrollbackLines() <= term.ScrollbackCapacity());
    for (int row = 1; row <= term.Rows(); ++row) {
      const LineSize size = term.LineSizeOf(row);
      FUZZ_CHECK(size == LineSize::kSingle || size == LineSize::kDoubleWidth ||
                 size == LineSize::kDoubleTop || size == LineSize::kDoubleBottom);
      for (const TermCell& cell : term.Line(row))
        if (cell.lineDrawing) FUZZ_CHECK(LineDrawingGlyph(cell.ch) != 0);
    }
  }
  return 0;
}
