// The terminal state on bytes from the line: never a crash and never a caret outside the
// screen, whatever the emulation, size and switches, also when the size changes midway.
#include <fuzzer/FuzzedDataProvider.h>

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
  }

 private:
  bool wipeOnBell_;
};

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
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
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
      default:
        term.ReceiveBytes(in.ConsumeRandomLengthString(256));
        break;
    }
    events.CheckCaret();
    FUZZ_CHECK(term.ScrollbackLines() <= term.ScrollbackCapacity());
  }
  return 0;
}
