#include <gtest/gtest.h>

#include "link/Protocol.h"
#include "tests/link/FakeDevice.h"

using namespace tarvelo;

namespace {
std::string Data(char fill) {
  return std::string(32, fill);
}
}  // namespace

TEST(Protocol, RequestFrames) {
  EXPECT_EQ(SegmentLink::ReadRequest('D', 43), "D2BD4\r");
  EXPECT_EQ(SegmentLink::ReadRequest('D', 0), "D00FF\r");
  EXPECT_EQ(SegmentLink::ReadRequest('P', 255), "PFF00\r");
  const std::string frame = SegmentLink::BuildWriteFrame(44, std::string(64, '0'));
  EXPECT_EQ(frame, "U2C" + std::string(64, '0') + "75\r");
  EXPECT_EQ(frame.size(), 70u);
}

TEST(Protocol, ReplyAssembly) {
  struct Case {
    std::vector<std::pair<uint32_t, std::string>> pieces;  // arrival after the request
    std::string expect;
    bool timedOut;
  };
  const std::string full = Reply(Data('a'));
  const std::vector<Case> cases = {
      {{{5, full.substr(0, 10)}, {10, full.substr(10, 10)}, {15, full.substr(20)}}, full, false},
      // A poll that brings all 33 bytes replaces the pieces before it.
      {{{5, "xyz"}, {900, Reply(Data('b'))}}, Reply(Data('b')), false},
      // Pieces keep the time-out away as long as they keep coming.
      {{{900, full.substr(0, 10)}, {1800, full.substr(10)}}, full, false},
  };
  for (const auto& c : cases) {
    FakeClock clock;
    FakePort port(clock);
    SegmentLink link(port, clock);
    port.respond = [&](const std::string&) {
      for (const auto& [after, bytes] : c.pieces) port.Arrive(after, bytes);
    };
    link.ReadConfigSegment(50);
    EXPECT_EQ(link.TimedOut(), c.timedOut);
    EXPECT_EQ(std::string(link.SegmentReply().begin(), link.SegmentReply().begin() + 33), c.expect);
    EXPECT_TRUE(link.ReplySumOK());
  }
}

TEST(Protocol, TimeOutCountsFromTheLastByte) {
  for (uint32_t start : {0u, 0xFFFFFF00u}) {  // also across the counter's wrap-around
    FakeClock clock(start);
    FakePort port(clock);
    SegmentLink link(port, clock);
    port.respond = [&](const std::string&) { port.Arrive(300, std::string(20, 'q')); };
    link.ReadConfigSegment(50);
    EXPECT_TRUE(link.TimedOut());
    // Then a whole time-out of quiet line before anything else is asked.
    EXPECT_EQ(clock.now - start, 300u + 1001u + 1000u);
    EXPECT_LT(port.waits, 10) << "waits for input instead of polling";
  }
  FakeClock clock;
  FakePort port(clock);
  SegmentLink link(port, clock);
  link.ReadPromSegment(1);
  EXPECT_TRUE(link.TimedOut());
  EXPECT_EQ(clock.now, 2001u + 2000u);
}

// After a time-out the answer still owed is dropped when it comes, however late within the
// quiet wait; a line that never falls silent still lets the wait end.
TEST(Protocol, ATimeOutWaitsForTheLineToFallQuiet) {
  FakeClock clock;
  FakePort port(clock);
  SegmentLink link(port, clock);
  port.respond = [&](const std::string&) { port.Arrive(1600, Reply(Data('x'))); };
  link.ReadConfigSegment(50);
  EXPECT_TRUE(link.TimedOut());
  EXPECT_EQ(clock.now, 1600u + 1000u) << "quiet for a whole time-out after the late answer";
  EXPECT_EQ(port.Read(std::array<uint8_t, 40>{}.data(), 40), 0) << "the late answer is gone";

  port.respond = [&](const std::string&) {
    for (uint32_t at = 1500; at < 100000; at += 400) port.Arrive(at, "?");
  };
  const uint32_t before = clock.now;
  link.ReadConfigSegment(51);
  EXPECT_TRUE(link.TimedOut());
  EXPECT_LE(clock.now - before, 1001u + kMaxSettleRounds * 1000u + 400u)
      << "bounded on a babbling line";
}

TEST(Protocol, ChecksumIsTheLowByteOfTheSum) {
  FakeClock clock;
  FakePort port(clock);
  SegmentLink link(port, clock);
  // 0x1234 in all: 18 bytes of 0xFF (4590), one of 0x46 (70) and zeros.
  std::string data(18, '\xFF');
  data += '\x46';
  data += std::string(13, '\0');
  for (char command : {'D', 'P'}) {
    port.respond = [&](const std::string&) { port.Arrive(1, data + "\x34"); };
    command == 'D' ? link.ReadConfigSegment(9) : link.ReadPromSegment(9);
    EXPECT_TRUE(link.ReplySumOK());
    port.respond = [&](const std::string&) { port.Arrive(1, data + "\x35"); };
    link.ReadConfigSegment(9);
    EXPECT_FALSE(link.ReplySumOK());
  }
}

TEST(Protocol, ReadTwiceAgreesOrGivesUp) {
  FakeClock clock;
  FakePort port(clock);
  SegmentLink link(port, clock);
  int reads = 0;
  // The first pair disagrees, the second agrees.
  port.respond = [&](const std::string&) {
    ++reads;
    port.Arrive(1, reads == 1 ? Reply(Data('a')) : Reply(Data('b')));
  };
  EXPECT_TRUE(link.ReadTwice('D', 60));
  EXPECT_EQ(reads, 4);
  EXPECT_FALSE(link.TimedOut());

  // Never agreeing: 11 pairs, then it counts as a time-out.
  reads = 0;
  port.respond = [&](const std::string&) {
    port.Arrive(1, Reply(Data(static_cast<char>('a' + reads++ % 2))));
  };
  link.ReadTwice('D', 60);
  EXPECT_EQ(reads, 22);
  EXPECT_TRUE(link.TimedOut());

  // Silent: the first time-out ends it.
  port.respond = nullptr;
  const uint32_t before = clock.now;
  EXPECT_FALSE(link.ReadTwice('D', 61));
  EXPECT_TRUE(link.TimedOut());
  EXPECT_EQ(clock.now - before, 1001u + 1000u);
}

// Replies that a checksum cannot tell from good ones: a pair agrees only when both reads
// came in time and brought the same 33 bytes.
TEST(Protocol, ReadTwiceTrustsOnlyTwoEqualRepliesInTime) {
  const std::string good = Reply(Data('g'));
  std::string spoiltA = Data('g'), spoiltB = Data('g');
  spoiltA[0] = 'h';                            // one higher: the sum moves by one
  spoiltB[9] = 'h';                            // a different byte, the same shift of the sum
  const std::string older = Reply(Data('o'));  // the segment before, answered late
  struct Case {
    const char* name;
    std::vector<std::string> answers;  // per request; "" is no answer
    bool agreed;
    std::string reply;
    int requests;
  };
  const std::vector<Case> cases = {
      {"clean", {good, good}, true, good, 2},
      {"spoilt alike, then clean", {Reply(spoiltA), Reply(spoiltB), good, good}, true, good, 4},
      {"a late answer, then the right one", {older, good, good, good}, true, good, 4},
      {"the first read times out", {"", good}, false, "", 1},
      {"the second read times out", {good, ""}, false, "", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    FakePort port(clock);
    SegmentLink link(port, clock);
    size_t request = 0;
    port.respond = [&](const std::string&) {
      const std::string& a = request < c.answers.size() ? c.answers[request] : good;
      ++request;
      if (!a.empty()) port.Arrive(3, a);
    };
    EXPECT_EQ(link.ReadTwice('D', 70), c.agreed);
    EXPECT_EQ(link.TimedOut(), !c.agreed);
    EXPECT_EQ(static_cast<int>(request), c.requests);
    if (c.agreed) {
      EXPECT_EQ(std::string(link.SegmentReply().begin(), link.SegmentReply().begin() + 33),
                c.reply);
    }
  }
}

TEST(Protocol, WriteSegmentTakesOnlyTheFirstAnswerByte) {
  FakeClock clock;
  FakePort port(clock);
  SegmentLink link(port, clock);
  port.respond = [&](const std::string&) { port.Arrive(5, "\x06\x15"); };
  link.WriteSegment(SegmentLink::BuildWriteFrame(44, std::string(64, '0')));
  EXPECT_FALSE(link.TimedOut());
  EXPECT_EQ(link.SegmentReply()[0], kAck);
  uint8_t rest = 0;
  EXPECT_EQ(port.Read(&rest, 1), 1);
  EXPECT_EQ(rest, 0x15);
  port.respond = nullptr;
  link.WriteSegment("U...");
  EXPECT_TRUE(link.TimedOut());
}

// A reply carries no address: what the line's state says decides whether a pair is
// trusted. Bytes waiting before a request, or coming right behind a reply, mean the line was
// out of step; the pair is then read again after a quiet line. A clean line costs only a
// glance of one tick after the pair.
TEST(Protocol, ReadTwiceTrustsOnlyALineInStep) {
  const std::string good = Reply(Data('g'));
  const std::string other = Reply(Data('o'));  // another segment's answer
  struct Case {
    const char* name;
    std::vector<std::vector<std::pair<uint32_t, std::string>>> answers;  // per request
    std::string before;    // waiting on the line before the first request
    std::string previous;  // the segment before's reply, when given
    int requests;
    bool busy;         // bytes waited before the first request
    uint32_t elapsed;  // 0: not checked
  };
  const std::vector<Case> cases = {
      {"clean", {{{3, good}}, {{3, good}}}, "", "", 2, false, 7},
      {"clean, like the segment before", {{{3, good}}, {{3, good}}}, "", good, 2, false, 0},
      // Two answers owed for the segment before: both agree, but more came right behind.
      {"an owed answer right behind the pair",
       {{{3, other}}, {{3, other}, {4, good}}},
       "",
       other,
       4,
       false,
       0},
      {"a copy behind the first reply in the same poll",
       {{{3, good + other}}, {{3, good}}},
       "",
       "",
       3,
       false,
       0},
      {"bytes waiting before the request", {{{3, good}}, {{3, good}}}, other, "", 3, true, 0},
      {"a copy taking the second read's place",
       {{{3, good}, {5, other}}, {{3, good}}},
       "",
       "",
       4,
       false,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    FakePort port(clock);
    SegmentLink link(port, clock);
    size_t request = 0;
    port.respond = [&](const std::string&) {
      if (request < c.answers.size()) {
        for (const auto& [after, bytes] : c.answers[request]) port.Arrive(after, bytes);
      } else {
        port.Arrive(3, good);
      }
      ++request;
    };
    if (!c.before.empty()) {
      // Still arriving as the request goes out: the drain takes only its beginning.
      port.Arrive(0, c.before.substr(0, 10));
      port.respond = [&, inner = port.respond](const std::string& text) {
        if (request == 0) port.Arrive(0, c.before.substr(10));
        inner(text);
      };
    }
    const uint32_t begin = clock.now;
    EXPECT_TRUE(link.ReadTwice(
        'D', 70,
        c.previous.empty() ? nullptr : reinterpret_cast<const uint8_t*>(c.previous.data())));
    EXPECT_EQ(std::string(link.SegmentReply().begin(), link.SegmentReply().begin() + 33), good);
    EXPECT_EQ(static_cast<int>(request), c.requests);
    EXPECT_EQ(link.LineWasBusy(), c.busy);
    if (c.elapsed) {
      EXPECT_EQ(clock.now - begin, c.elapsed) << "two turns and a glance";
    }
  }
}
