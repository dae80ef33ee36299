// The serial server's Telnet bytes: data, doubled 255s, negotiation and com-port messages,
// whole and split at every byte; and the network addresses a port name may hold.
#include "serial/Telnet.h"

#include <gtest/gtest.h>

#include "serial/NetLine.h"

using namespace tarvelo;
using namespace tarvelo::telnet;

namespace {

struct Fed {
  Bytes data;
  std::vector<ComReport> reports;
  Bytes reply;
};

Fed FeedInPieces(Decoder& d, const Bytes& in, size_t split) {
  Fed f;
  d.Feed(in.data(), split, f.data, f.reports, f.reply);
  d.Feed(in.data() + split, in.size() - split, f.data, f.reports, f.reply);
  return f;
}

// What a server sends: its own offer, data with 255s, a report, more data.
const Bytes kServerStream = {kIac,
                             kWill,
                             kSuppressGoAhead,
                             kIac,
                             kDo,
                             kSuppressGoAhead,
                             kIac,
                             kWill,
                             1 /* echo */,
                             kIac,
                             kDo,
                             kBinary,
                             kIac,
                             kWill,
                             kBinary,
                             kIac,
                             kDo,
                             kComPortOption,
                             'a',
                             kIac,
                             kIac,
                             'b',
                             kIac,
                             kSb,
                             kComPortOption,
                             101,
                             0,
                             0,
                             kIac,
                             kIac,
                             0,
                             kIac,
                             kSe,
                             0xFE,
                             kIac,
                             241 /* NOP */,
                             kIac,
                             kSb,
                             kComPortOption,
                             107,
                             0x30,
                             kIac,
                             kSe,
                             kIac,
                             kIac};

}  // namespace

TEST(TelnetTest, AServerStreamReadsTheSameSplitAnywhere) {
  Decoder whole;
  const Fed all = FeedInPieces(whole, kServerStream, kServerStream.size());
  EXPECT_EQ(all.data, (Bytes{'a', kIac, 'b', 0xFE, kIac}));
  ASSERT_EQ(all.reports.size(), 2u);
  EXPECT_EQ(all.reports[0], (ComReport{kSetBaudRate, {0, 0, kIac, 0}}));
  EXPECT_EQ(all.reports[1], (ComReport{kNotifyModemState, {0x30}}));
  // Echo is refused; everything else was our own request, taken.
  EXPECT_EQ(all.reply, (Bytes{kIac, kDont, 1}));
  EXPECT_TRUE(whole.ComPortAgreed());
  EXPECT_TRUE(whole.BinaryBothWays());
  for (size_t split = 0; split <= kServerStream.size(); ++split) {
    Decoder d;
    const Fed f = FeedInPieces(d, kServerStream, split);
    EXPECT_EQ(f.data, all.data) << split;
    EXPECT_EQ(f.reports, all.reports) << split;
    EXPECT_EQ(f.reply, all.reply) << split;
  }
}

TEST(TelnetTest, NegotiationAnswersOnlyChanges) {
  struct Case {
    const char* what;
    Bytes in;
    Bytes reply;
    bool agreed, refused;
  };
  const Case cases[] = {
      {"our request taken", {kIac, kDo, kComPortOption}, {}, true, false},
      {"our request refused", {kIac, kDont, kComPortOption}, {}, false, true},
      {"taken, then withdrawn",
       {kIac, kDo, kComPortOption, kIac, kDont, kComPortOption},
       {kIac, kWont, kComPortOption},
       false,
       true},
      {"asked twice: answered once",
       {kIac, kDo, kComPortOption, kIac, kDo, kComPortOption},
       {},
       true,
       false},
      {"an option we do not do",
       {kIac, kDo, 24 /* terminal type */},
       {kIac, kWont, 24},
       false,
       false},
      {"the server's com-port option is not ours to take",
       {kIac, kWill, kComPortOption},
       {kIac, kDont, kComPortOption},
       false,
       false},
      {"refusing what is off says nothing", {kIac, kWont, 24, kIac, kDont, 24}, {}, false, false},
      {"binary withdrawn after it was taken",
       {kIac, kWill, kBinary, kIac, kWont, kBinary},
       {kIac, kDont, kBinary},
       false,
       false},
  };
  for (const Case& c : cases) {
    Decoder d;
    Fed f;
    d.Feed(c.in.data(), c.in.size(), f.data, f.reports, f.reply);
    EXPECT_EQ(f.reply, c.reply) << c.what;
    EXPECT_EQ(d.ComPortAgreed(), c.agreed) << c.what;
    EXPECT_EQ(d.ComPortRefused(), c.refused) << c.what;
    EXPECT_TRUE(f.data.empty()) << c.what;
  }
  // A raw-data client offers no com-port option and refuses the server's request for it.
  Decoder plain(false);
  Fed f;
  const Bytes ask = {kIac, kDo, kComPortOption};
  plain.Feed(ask.data(), ask.size(), f.data, f.reports, f.reply);
  EXPECT_EQ(f.reply, (Bytes{kIac, kWont, kComPortOption}));
  EXPECT_EQ(plain.Offer().size(), 12u);
  EXPECT_EQ(Decoder().Offer().size(), 15u);
}

TEST(TelnetTest, MalformedSubnegotiationsAreDroppedWithoutLosingTheStream) {
  // Too long: dropped whole; the data after it survives.
  Bytes longSub = {kIac, kSb, kComPortOption, 101};
  longSub.insert(longSub.end(), Decoder::kMaxSubnegotiation + 10, 'x');
  longSub.insert(longSub.end(), {kIac, kSe, 'k'});
  // Cut by another command: the sub is dropped, the command counts.
  const Bytes cut = {kIac, kSb, kComPortOption, 107, 1, kIac, kDo, 24, 'z'};
  // Not ours, too short, or a client's number: no report.
  const Bytes other = {kIac,           kSb, 24, 1,    kIac, kSe, kIac, kSb, kIac, kSe, kIac, kSb,
                       kComPortOption, 1,   5,  kIac, kSe,  'q'};
  struct Case {
    Bytes in, data, reply;
  };
  for (const Case& c :
       {Case{longSub, {'k'}, {}}, Case{cut, {'z'}, {kIac, kWont, 24}}, Case{other, {'q'}, {}}}) {
    for (size_t split = 0; split <= c.in.size(); ++split) {
      Decoder d;
      const Fed f = FeedInPieces(d, c.in, split);
      EXPECT_EQ(f.data, c.data) << split;
      EXPECT_TRUE(f.reports.empty()) << split;
      EXPECT_EQ(f.reply, c.reply) << split;
    }
  }
}

TEST(TelnetTest, WhatGoesOutIsEscaped) {
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  const Bytes escaped = EscapeData(all.data(), all.size());
  EXPECT_EQ(escaped.size(), 257u);
  Decoder d;
  Fed f;
  d.Feed(escaped.data(), escaped.size(), f.data, f.reports, f.reply);
  EXPECT_EQ(f.data, all) << "every byte value comes back";

  EXPECT_EQ(ComPortCommand(kSetBaudRate, BaudValue(0xFF00FF)),
            (Bytes{kIac, kSb, kComPortOption, 1, 0, kIac, kIac, 0, kIac, kIac, kIac, kSe}));
  EXPECT_EQ(BaudOf(BaudValue(115200)), 115200u);
  EXPECT_EQ(BaudOf({1, 2}), 0u) << "a value of the wrong length is no rate";
}

TEST(NetAddressTest, PortNamesThatAreAddresses) {
  struct Case {
    const char* name;
    bool valid;
    bool comPort = false;
    const char* host = "";
    int port = 0;
    const char* text = "";
  };
  const Case cases[] = {
      {"socket://127.0.0.1:7000", true, false, "127.0.0.1", 7000, "127.0.0.1:7000"},
      {"rfc2217://ts1.example:4001", true, true, "ts1.example", 4001, "ts1.example:4001"},
      {"rfc2217://[::1]:65535", true, true, "::1", 65535, "[::1]:65535"},
      {"socket://host", false},
      {"socket://:7000", false},
      {"socket://host:0", false},
      {"socket://host:65536", false},
      {"socket://host:70a", false},
      {"socket://::1:7000", false},
      {"socket://[::1]7000", false},
      {"socket://a b:7000", false},
      {"telnet://host:23", false},
      {"COM1", false},
  };
  for (const Case& c : cases) {
    const auto a = ParseNetAddress(c.name);
    ASSERT_EQ(a.has_value(), c.valid) << c.name;
    if (!a) continue;
    EXPECT_EQ(a->comPort, c.comPort) << c.name;
    EXPECT_EQ(a->host, c.host) << c.name;
    EXPECT_EQ(a->port, c.port) << c.name;
    EXPECT_EQ(a->Text(), c.text) << c.name;
  }
  EXPECT_TRUE(IsNetworkPortName("socket://host")) << "malformed, but meant as an address";
  EXPECT_FALSE(IsNetworkPortName("USB0"));
}
