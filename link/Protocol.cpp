#include "link/Protocol.h"

#include <algorithm>
#include <cstring>

#include "model/Codecs.h"

namespace tarvelo {

int SegmentLink::DrainInput(int chunk) {
  std::array<uint8_t, kReplySize> scratch{};
  int dropped = 0;
  // Bounded: a line delivering faster than this is read is broken anyway.
  for (int round = 0; round < 1 << 16; ++round) {
    const int n = port_.Read(scratch.data(), std::min<int>(chunk, scratch.size()));
    if (n <= 0) break;
    dropped += n;
  }
  return dropped;
}

void SegmentLink::Trouble() {
  troubled_ = true;
  troubleAt_ = clock_.Ticks();
}

bool SegmentLink::Watchful() {
  if (troubled_ && Elapsed(troubleAt_) >= static_cast<uint32_t>(kWatchfulMs)) troubled_ = false;
  return troubled_;
}

void SegmentLink::Resync() {
  Trouble();
  DrainInput(kReplySize);
  Settle(kResyncQuietMs);
  Trouble();  // watched from when the line fell quiet
}

bool SegmentLink::StaysQuiet(int ms) {
  std::array<uint8_t, kReplySize> scratch{};
  const uint32_t begin = clock_.Ticks();
  for (;;) {
    if (port_.Read(scratch.data(), kReplySize) > 0) return false;
    const uint32_t elapsed = Elapsed(begin);
    if (elapsed >= static_cast<uint32_t>(ms)) return true;
    port_.WaitForInput(static_cast<int>(ms - elapsed), 1);
  }
}

void SegmentLink::Settle(int quietMs) {
  std::array<uint8_t, kReplySize> scratch{};
  const uint32_t begin = clock_.Ticks();
  uint32_t lastByte = begin;
  while (Elapsed(begin) <= static_cast<uint32_t>(kMaxSettleRounds * quietMs)) {
    if (port_.Read(scratch.data(), kReplySize) > 0) {
      lastByte = clock_.Ticks();
      continue;
    }
    const uint32_t quiet = Elapsed(lastByte);
    if (quiet >= static_cast<uint32_t>(quietMs)) return;
    port_.WaitForInput(static_cast<int>(quietMs - quiet), kReplySize);
  }
}

std::string SegmentLink::ReadRequest(char command, uint8_t segment) {
  return std::string(1, command) + ByteToHex(segment) +
         ByteToHex(static_cast<uint8_t>(255 - segment)) + "\r";
}

void SegmentLink::ReadSegment(char command, uint8_t segment, int limitMs, bool settle) {
  const bool waiting = DrainInput(kReplySize) > 0;
  port_.WriteText(ReadRequest(command, segment));
  uint32_t start = clock_.Ticks();
  const uint32_t sentAt = start;
  timedOut_ = false;
  int received = 0;
  int total = 0;  // everything this request got, to see a reply with more behind it
  std::array<uint8_t, kReplySize> scratch{};
  for (;;) {
    const int n = port_.Read(scratch.data(), kReplySize);
    if (n > 0) {
      total += n;
      // A poll that brings a whole reply replaces whatever pieces came before it.
      const int at = n == kReplySize ? 0 : received;
      const int room = static_cast<int>(reply_.size()) - at;
      std::memcpy(reply_.data() + at, scratch.data(), std::min({n, room, kReplySize}));
      received = n == kReplySize ? kReplySize : received + n;
      start = clock_.Ticks();  // the time-out counts from the last bytes received
    }
    const uint32_t elapsed = Elapsed(start);
    timedOut_ = elapsed > static_cast<uint32_t>(limitMs);
    if (received >= kReplySize || timedOut_) break;
    if (n <= 0) port_.WaitForInput(static_cast<int>(limitMs - elapsed) + 1, kReplySize - received);
  }
  waitedBefore_ = waiting;
  if (timedOut_) {
    if (settle) Settle(limitMs);
    outOfStep_ = false;
    return;
  }
  turnMs_ = Elapsed(sentAt);
  // What is queued already came right behind the reply; looking costs no waiting.
  if (total == kReplySize) total += port_.Read(scratch.data(), kReplySize);
  outOfStep_ = waiting || total > kReplySize;
}

bool SegmentLink::ReadPairs(char command, uint8_t segment, const uint8_t* previous, int pairs,
                            bool settle) {
  const int limit = command == 'P' ? kPromTimeoutMs : kConfigTimeoutMs;
  std::array<uint8_t, kReplySize> first{};
  lineWasBusy_ = false;
  for (int pair = 0; pair < pairs; ++pair) {
    // A read that timed out leaves whatever pieces it got, or an older reply, behind: it
    // can agree with nothing.
    ReadSegment(command, segment, limit, settle);
    if (timedOut_) {
      Trouble();
      return false;
    }
    if (pair == 0 && waitedBefore_) lineWasBusy_ = true;
    if (outOfStep_) {
      Resync();
      continue;
    }
    std::copy_n(reply_.begin(), kReplySize, first.begin());
    ReadSegment(command, segment, limit, settle);
    if (timedOut_) {
      Trouble();
      return false;
    }
    // Equal replies are not enough: two replies spoilt alike before their sums were made
    // would pass, and so would two answers meant for other requests while the line is out
    // of step, which nothing but the line's state tells apart.
    if (outOfStep_ || !std::equal(first.begin(), first.end(), reply_.begin())) {
      Resync();
      continue;
    }
    // Two copies of one earlier answer (a segment's pair, or equal segments) make a pair of
    // their own, and so do answers owed for the segment before; the answers this pair asked
    // for then come right behind it. A glance shows them; a pair equal to the segment before,
    // or on a line that misbehaved lately, is watched a little longer.
    // The longer watch lasts half a turn: a device that owes answers may take as long to
    // start the next as it takes to answer a request.
    const bool likeBefore = previous && std::equal(previous, previous + 32, first.begin());
    const int watch = std::max<int>(kWatchMs, static_cast<int>(turnMs_ / 2));
    if (!StaysQuiet(likeBefore || Watchful() ? watch : kGlanceMs)) {
      Resync();
      continue;
    }
    return true;
  }
  // Replies that never agree are treated as no reply, so the transfer's limits apply.
  timedOut_ = true;
  return false;
}

bool SegmentLink::ReplySumOK() const {
  uint8_t sum = 0;
  for (int i = 0; i < 32; ++i) sum = static_cast<uint8_t>(sum + reply_[i]);
  return sum == reply_[32];
}

std::string SegmentLink::BuildWriteFrame(uint8_t segment, const std::string& payload64) {
  const std::string body = ByteToHex(segment) + payload64;
  uint8_t sum = 0;
  for (char c : body) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  return "U" + body + ByteToHex(sum) + "\r";
}

void SegmentLink::WriteSegment(const std::string& frame) {
  port_.WriteText(frame);
  timedOut_ = !WaitAnswerByte(kWriteTimeoutMs);
}

bool SegmentLink::WaitAnswerByte(int timeoutMs, const std::function<void()>& between) {
  const uint32_t start = clock_.Ticks();
  for (;;) {
    if (port_.Read(reply_.data(), 1) == 1) return true;
    const uint32_t elapsed = Elapsed(start);
    if (elapsed > static_cast<uint32_t>(timeoutMs)) return false;
    if (between) {
      // Short waits, so whoever runs in between (the window) keeps up.
      port_.WaitForInput(std::min<int>(static_cast<int>(timeoutMs - elapsed) + 1, 50));
      between();
    } else {
      port_.WaitForInput(static_cast<int>(timeoutMs - elapsed) + 1);
    }
  }
}

}  // namespace tarvelo
