// The serial server's Telnet reader on any byte stream: the same data, reports and answers
// whether the stream comes whole or split at any byte; answers only as many as the stream
// had negotiation commands; data escaped on the way out reads back as itself, also behind
// whatever the server sent before; and a com-port report reads back with its value.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "serial/Telnet.h"

using namespace tarvelo::telnet;

namespace {

struct Fed {
  Bytes data;
  std::vector<ComReport> reports;
  Bytes reply;
  bool operator==(const Fed&) const = default;
};

Fed Feed(const Bytes& in, std::vector<size_t> cuts, bool comPort) {
  Decoder d(comPort);
  Fed f;
  size_t at = 0;
  cuts.push_back(in.size());
  for (size_t cut : cuts) {
    if (cut < at || cut > in.size()) continue;
    d.Feed(in.data() + at, cut - at, f.data, f.reports, f.reply);
    at = cut;
  }
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool comPort = in.ConsumeBool();
  const Bytes payload = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 64));
  const Bytes stream = in.ConsumeRemainingBytes<uint8_t>();
  if (stream.size() > 1024) return 0;

  const Fed whole = Feed(stream, {}, comPort);
  size_t commands = 0;
  for (size_t i = 0; i + 1 < stream.size(); ++i) commands += stream[i] == kIac;
  FUZZ_CHECK(whole.data.size() <= stream.size());
  FUZZ_CHECK(whole.reply.size() <= 3 * commands);
  FUZZ_CHECK(whole.reply.size() % 3 == 0);
  for (const ComReport& r : whole.reports)
    FUZZ_CHECK(r.value.size() <= Decoder::kMaxSubnegotiation);

  // Split at every byte, and at every pair of bytes for short streams.
  for (size_t cut = 0; cut <= stream.size(); ++cut)
    FUZZ_CHECK(Feed(stream, {cut}, comPort) == whole);
  if (stream.size() <= 48) {
    for (size_t a = 0; a <= stream.size(); ++a)
      for (size_t b = a; b <= stream.size(); ++b)
        FUZZ_CHECK(Feed(stream, {a, b}, comPort) == whole);
  }

  // Escaped data reads back as itself, fresh and after a stream that ended between
  // commands (a whole stream followed by IAC NOP leaves the reader outside any command).
  const Bytes escaped = EscapeData(payload.data(), payload.size());
  FUZZ_CHECK(Feed(escaped, {}, comPort).data == payload);
  Bytes after = stream;
  // Close whatever the stream left open: a subnegotiation, an option verb, a lone IAC.
  after.insert(after.end(), {kIac, kSe, kIac, 241});
  Decoder d(comPort);
  Fed first;
  d.Feed(after.data(), after.size(), first.data, first.reports, first.reply);
  Fed second;
  d.Feed(escaped.data(), escaped.size(), second.data, second.reports, second.reply);
  FUZZ_CHECK(second.data == payload);
  FUZZ_CHECK(second.reports.empty() && second.reply.empty());

  // A report of the payload's first bytes reads back whole.
  if (payload.size() <= Decoder::kMaxSubnegotiation - 2) {
    const uint8_t command = payload.empty() ? 0 : payload[0] % 13;
    const Bytes report = ComPortCommand(command + kServerOffset, payload);
    const Fed r = Feed(report, {payload.size() / 2 + 3}, comPort);
    FUZZ_CHECK(r.data.empty() && r.reply.empty());
    FUZZ_CHECK(r.reports.size() == 1 && r.reports[0].command == command &&
               r.reports[0].value == payload);
  }
  return 0;
}
