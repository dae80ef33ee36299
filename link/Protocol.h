// The segment exchanges with the device: "D" and "P" read 33-byte replies, "U" writes a
// segment and is answered with one byte. Waits are measured on an injected millisecond
// clock and spent waiting for input, never spinning.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace tarvelo {

// The little of a serial port the exchanges need.
class LinkPort {
 public:
  virtual ~LinkPort() = default;
  virtual int Read(uint8_t* buffer, int count) = 0;  // returns at once with what is queued
  virtual int WriteText(const std::string& bytes) = 0;
  // Returns early when input arrives; a port that knows its line speed may hold on until
  // `expected` bytes could have come, which saves waking once a byte.
  virtual void WaitForInput(int timeoutMs, int expected = 1) = 0;
};

// A free-running millisecond tick counter; differences are right across its wrap-around.
class LinkClock {
 public:
  virtual ~LinkClock() = default;
  virtual uint32_t Ticks() = 0;
};

constexpr int kReplySize = 33;
constexpr int kConfigTimeoutMs = 1000;
constexpr int kPromTimeoutMs = 2000;
constexpr int kWriteTimeoutMs = 1000;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
// The one retry limit: disagreeing double reads, replies failing their checksum, segments
// timing out in a row, rejected writes and clock frames all give up at this count.
constexpr int kMaxTries = 11;
constexpr int kMaxSettleRounds = 5;
// A pair spoilt by a line out of step gets one more chance before a probe gives up.
constexpr int kProbePairs = 2;
// A reply carries no address: an answer the device still owes, or a copy of an earlier one
// sent again late, looks like the answer to the request just made. Such a line is out of
// step, and shows it by bytes waiting when a request goes out or coming right after a reply
// was taken. Then the replies just taken are not trusted: the line is left until it has
// been quiet this long and the request is made again.
constexpr int kResyncQuietMs = 150;
// How long a line that just misbehaved stays under watch, and how long an accepted reply is
// watched then at least (and half a turn when that is longer); on a clean line a pair gets a
// glance only: an answer owed follows the one taken closely.
constexpr int kWatchfulMs = 2000;
constexpr int kWatchMs = 3;
constexpr int kGlanceMs = 1;

class SegmentLink {
 public:
  SegmentLink(LinkPort& port, LinkClock& clock) : port_(port), clock_(clock) {}

  // Returns how many bytes it dropped.
  int DrainInput(int chunk);
  // After a time-out: drops what comes until the line has been quiet for `quietMs`. The
  // device answers one request at a time, so an answer that came after its time-out would
  // otherwise be taken for the next request's, and two such answers agree with each other.
  // Gives up after kMaxSettleRounds quiet periods' time on a line that never falls silent.
  void Settle(int quietMs);
  // Drops what is waiting and then waits for a quiet line; the line is watched for a while.
  void Resync();
  // True when nothing arrives within `ms` (what does arrive is dropped).
  bool StaysQuiet(int ms);
  // Whether the line misbehaved lately, so that what seems right is watched a little longer.
  bool Watchful();
  void ReadConfigSegment(uint8_t segment) { ReadSegment('D', segment, kConfigTimeoutMs, true); }
  void ReadPromSegment(uint8_t segment) { ReadSegment('P', segment, kPromTimeoutMs, true); }
  // Whether the last read found bytes waiting before its request or got more than a reply.
  bool OutOfStep() const { return outOfStep_; }
  // Reads the segment twice until both reads complete in time with replies equal byte for
  // byte (data and checksum) on a line in step; true then, with the reply in SegmentReply.
  // A read that times out ends it at once with TimedOut set, and so do kMaxTries pairs that
  // disagree or come from a line out of step. `previous`, the 32 bytes taken for the segment
  // before, makes a pair equal to them watched before it is trusted: on a line out of step
  // the answer owed for the segment before passes for this one's.
  bool ReadTwice(char command, uint8_t segment, const uint8_t* previous = nullptr) {
    return ReadPairs(command, segment, previous, kMaxTries, true);
  }
  // Asks as ReadTwice does a device that may not be listening (one that answers only after
  // a break-in): at most kProbePairs pairs, and a read that gets no answer ends it without
  // waiting for a quiet line, since whoever asks next waits and drains anyway.
  bool Probe(char command, uint8_t segment) {
    return ReadPairs(command, segment, nullptr, kProbePairs, false);
  }
  // Whether bytes were waiting before the first request of the last ReadTwice: they came
  // after the reply taken before it, which may then have been another request's.
  bool LineWasBusy() const { return lineWasBusy_; }
  bool ReplySumOK() const;
  static std::string BuildWriteFrame(uint8_t segment, const std::string& payload64);
  void WriteSegment(const std::string& frame);
  // Waits for one answer byte of any value; true when one came within `timeoutMs`.
  bool WaitAnswerByte(int timeoutMs, const std::function<void()>& between = nullptr);

  bool TimedOut() const { return timedOut_; }
  const std::array<uint8_t, 256>& SegmentReply() const { return reply_; }
  LinkPort& port() { return port_; }
  LinkClock& clock() { return clock_; }

  static std::string ReadRequest(char command, uint8_t segment);

 private:
  void ReadSegment(char command, uint8_t segment, int limitMs, bool settle);
  bool ReadPairs(char command, uint8_t segment, const uint8_t* previous, int pairs, bool settle);
  uint32_t Elapsed(uint32_t since) { return clock_.Ticks() - since; }
  void Trouble();

  LinkPort& port_;
  LinkClock& clock_;
  std::array<uint8_t, 256> reply_{};
  bool timedOut_ = false;
  bool outOfStep_ = false;
  bool lineWasBusy_ = false;
  bool waitedBefore_ = false;
  uint32_t turnMs_ = 0;  // from the last request to its whole reply
  bool troubled_ = false;
  uint32_t troubleAt_ = 0;
};

}  // namespace tarvelo
