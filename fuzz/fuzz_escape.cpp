// Both escape-sequence parsers on any byte stream: never a crash, a sequence never grows
// past its limit nor ends as "pending", control bytes inside one come out to be performed,
// and the text each parser writes for a code reads back as that code.
#include <fuzzer/FuzzedDataProvider.h>

#include <memory>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "terminal/EscapeCodes.h"

using namespace tarvelo;

namespace {

void Feed(TEscapeCodes& parser, const std::string& bytes) {
  for (unsigned char ch : bytes) {
    const ScanResult r = parser.FeedChar(ch);
    FUZZ_CHECK(r == scanChar || r == scanCode || r == scanPending);
    FUZZ_CHECK(parser.SequenceText().size() <= TEscapeCodes::kMaxSequenceLength);
    // A control byte inside a sequence is handed out to be performed; the sequence goes on.
    if (r == scanChar) FUZZ_CHECK(parser.LastChar() == ch && (!parser.InEscape() || ch < 0x20));
    if (r == scanCode) {
      FUZZ_CHECK(parser.LastCode() != escPending && parser.LastCode() <= escLastCode);
      FUZZ_CHECK(!parser.InEscape());
      for (size_t i = 1; i <= parser.Params().size() + 1; ++i)
        (void)ParamValue(static_cast<int>(i), parser.Params());
      parser.ClearParams();
    }
    // CAN and SUB end a sequence with nothing to do.
    if (r == scanPending) FUZZ_CHECK(parser.InEscape() || ch == kCan || ch == kSub);
    FUZZ_CHECK(parser.Params().size() <= EscapeParams::kMax);
  }
}

// Feeds the text for `code` to a fresh parser: it must end exactly at the last byte with that
// code, and with the numbers that went in.
void RoundTrip(TEscapeCodes& writer, TEscapeCodes& reader, TEscapeCode code,
               const EscapeParams& params, bool numbersKept) {
  // Answers a terminal gives but does not read, and a request only 0 and 1 can make.
  if (code == escTellTerminalType || code == escTellParameters || code == escAskParameters) return;
  const std::string text = writer.SequenceFor(code, params);
  if (text.empty()) return;
  FUZZ_CHECK(text[0] == kEsc);
  for (size_t i = 0; i < text.size(); ++i) {
    const ScanResult r = reader.FeedChar(static_cast<uint8_t>(text[i]));
    if (i + 1 < text.size()) {
      FUZZ_CHECK(r == scanPending);
    } else {
      FUZZ_CHECK(r == scanCode);
      FUZZ_CHECK(reader.LastCode() == code);
      if (numbersKept && (code == escCaretTo || code == escTellCaret)) {
        FUZZ_CHECK(ParamValue(1, reader.Params()) == ParamValue(1, params));
        FUZZ_CHECK(ParamValue(2, reader.Params()) == ParamValue(2, params));
      }
      reader.ClearParams();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint8_t code = in.ConsumeIntegralInRange<uint8_t>(0, escLastCode);
  EscapeParams params;
  const int count = in.ConsumeIntegralInRange<int>(0, 3);
  for (int i = 0; i < count; ++i) params.push_back(in.ConsumeIntegralInRange<int>(-5, 300));
  const std::string stream = in.ConsumeRemainingBytesAsString();

  TEscapeCodesVT100 vt100;
  TEscapeCodesVT52 vt52;
  Feed(vt100, stream);
  Feed(vt52, stream);
  // Whatever state the stream left them in, a sequence of the parser's own still reads as
  // itself once the pending one has ended: finish it with a letter first.
  for (TEscapeCodes* p : {static_cast<TEscapeCodes*>(&vt100), static_cast<TEscapeCodes*>(&vt52)}) {
    while (p->InEscape()) {
      p->FeedChar('x');
      p->ClearParams();
    }
  }
  const auto c = static_cast<TEscapeCode>(code);
  RoundTrip(vt100, vt100, c, params, true);
  // VT52 carries row and column as one character each: only 1..224 survive.
  const int p1 = ParamValue(1, params), p2 = ParamValue(2, params);
  RoundTrip(vt52, vt52, c, params, p1 >= 1 && p1 <= 224 && p2 >= 1 && p2 <= 224);
  return 0;
}
