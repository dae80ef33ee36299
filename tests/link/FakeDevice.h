// A scripted port on a fake clock: what the "device" sends arrives at set times, and
// waiting for input moves the clock on to the next arrival or to the end of the wait.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/Protocol.h"

namespace tarvelo {

class FakeClock : public LinkClock {
 public:
  explicit FakeClock(uint32_t start = 0) : now(start) {}
  uint32_t Ticks() override { return now; }
  uint32_t now;
};

class FakePort : public LinkPort {
 public:
  explicit FakePort(FakeClock& clock) : clock_(clock) {}

  // Called with each written text; it may schedule replies with Arrive().
  std::function<void(const std::string&)> respond;
  std::vector<std::string> written;
  int waits = 0;

  // In the order given: what is scheduled earlier waits behind what was given before it.
  void Arrive(uint32_t afterMs, const std::string& bytes) {
    arrivals_.push_back({clock_.now + afterMs, bytes});
  }
  // In time order, for a device that keeps its own account of when the line is free.
  void ArriveAt(uint32_t at, const std::string& bytes) {
    auto it = arrivals_.end();
    while (it != arrivals_.begin() && static_cast<int32_t>(std::prev(it)->at - at) > 0) --it;
    arrivals_.insert(it, {at, bytes});
  }
  // What has not arrived yet is never sent, as a device that turns to a new request does.
  void DropPending() {
    while (!arrivals_.empty() && static_cast<int32_t>(arrivals_.back().at - clock_.now) > 0)
      arrivals_.pop_back();
  }

  int Read(uint8_t* buffer, int count) override {
    int n = 0;
    while (n < count && !arrivals_.empty() &&
           static_cast<int32_t>(arrivals_.front().at - clock_.now) <= 0) {
      auto& a = arrivals_.front();
      const int take = std::min<int>(count - n, static_cast<int>(a.bytes.size()));
      std::copy(a.bytes.begin(), a.bytes.begin() + take, buffer + n);
      n += take;
      a.bytes.erase(0, take);
      if (a.bytes.empty())
        arrivals_.pop_front();
      else
        break;  // the rest of this piece comes with the next read
    }
    return n;
  }
  int WriteText(const std::string& bytes) override {
    written.push_back(bytes);
    if (respond) respond(bytes);
    return static_cast<int>(bytes.size());
  }
  void WaitForInput(int timeoutMs, int /*expected*/) override {
    ++waits;
    const uint32_t until = clock_.now + static_cast<uint32_t>(timeoutMs);
    if (!arrivals_.empty() && static_cast<int32_t>(arrivals_.front().at - until) < 0) {
      if (static_cast<int32_t>(arrivals_.front().at - clock_.now) > 0)
        clock_.now = arrivals_.front().at;
    } else {
      clock_.now = until;
    }
  }

 private:
  struct Arrival {
    uint32_t at;
    std::string bytes;
  };
  FakeClock& clock_;
  std::deque<Arrival> arrivals_;
};

// 32 data bytes and their checksum.
inline std::string Reply(const std::string& data32) {
  uint8_t sum = 0;
  for (char c : data32) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  return data32 + std::string(1, static_cast<char>(sum));
}

// Answers the frames a transfer sends as a device would, from its own memory.
struct SimDevice {
  std::string memory = std::string(8192, '\0');
  std::string prom = std::string(8192, '\0');
  bool silent = false;
  int onlySegment = -1;  // answers this segment alone when set
  bool badSums = false;
  int misstoredSegment = -1;  // written wrong, yet acknowledged
  uint8_t answer = 0x06;
  std::vector<std::string> frames;  // every request, break-in bytes left out
  // May change a reply before it is sent, as a line or a misread memory would; gets the
  // request's number among all requests.
  std::function<void(int request, std::string& reply)> spoil;
  // Takes no request until it has been broken in (ETX, then ESC ESC); counts the break-ins.
  bool needsBreakIn = false;
  int breakIns = 0;
  bool etxSeen = false;

  void Attach(FakePort& port) {
    port.respond = [this, &port](const std::string& text) {
      if (text == "\x03") {
        etxSeen = true;
        return;
      }
      if (text == "\x1B\x1B") {
        if (etxSeen) ++breakIns;
        etxSeen = false;
        return;
      }
      etxSeen = false;
      frames.push_back(text);
      if (silent || (needsBreakIn && breakIns == 0)) return;
      const int segment = std::stoi(text.substr(1, 2), nullptr, 16);
      if (onlySegment >= 0 && segment != onlySegment) return;
      if (text[0] == 'U') {
        if (segment != 43) {
          for (int i = 0; i < 32; ++i) {
            memory[segment * 32 + i] =
                static_cast<char>(std::stoi(text.substr(3 + 2 * i, 2), nullptr, 16));
          }
          if (segment == misstoredSegment) memory[segment * 32] ^= 0x40;
        }
        std::string reply(1, static_cast<char>(answer));
        if (spoil) spoil(static_cast<int>(frames.size()) - 1, reply);
        port.Arrive(2, reply);
        return;
      }
      const std::string& source = text[0] == 'P' ? prom : memory;
      std::string reply = Reply(source.substr(segment * 32, 32));
      if (badSums) reply[32] = static_cast<char>(reply[32] + 1);
      if (spoil) spoil(static_cast<int>(frames.size()) - 1, reply);
      port.Arrive(2, reply);
    };
  }
};

}  // namespace tarvelo

namespace tarvelo {

// The device's end of a line that carries one thing at a time: each transmission takes the
// first free stretch at or after the moment it is ready. Times are fake-clock ticks.
class LineSchedule {
 public:
  explicit LineSchedule(uint32_t origin) : origin_(origin) {}
  uint32_t Reserve(uint32_t from, uint32_t length) {
    const uint32_t start = Find(from, length) - origin_;
    busy_.insert(std::upper_bound(busy_.begin(), busy_.end(), std::pair{start, start + length}),
                 {start, start + length});
    return start + origin_;
  }
  // Where Reserve would put it.
  uint32_t Find(uint32_t from, uint32_t length) const {
    uint32_t start = from - origin_;
    for (const auto& [s, e] : busy_) {
      if (start + length <= s) break;
      start = std::max(start, e);
    }
    return start + origin_;
  }

 private:
  uint32_t origin_;
  std::vector<std::pair<uint32_t, uint32_t>> busy_;  // from the origin, in order
};

// A device that answers every request in turn over a line of one byte a tick: a request
// arrives when its last byte has, an answer starts when the line is free, its first byte
// comes a tick later and the rest when it has all been sent. It may send copies of answers
// it gave, later, at chosen moments (and refuse chosen frames).
struct LineDevice {
  FakeClock& clock;
  FakePort& port;
  std::string memory = std::string(8192, '\0');
  std::string prom = std::string(8192, '\0');
  std::vector<std::string> frames;  // every request, break-in bytes left out
  int answers = 0;
  // For the answer with this number, how long after it was sent a copy of it goes out.
  std::function<std::optional<uint32_t>(int answer)> copyAfter;
  // Whether the frame with this number among the write frames is refused (not stored).
  std::function<bool(int frame)> refuse;
  LineSchedule line{clock.now};
  int writes = 0;
  // Reads a request that came while it was sending only when done, and takes the request's
  // time again before it answers, as a device that cannot listen while it talks.
  bool deaf = false;
  uint32_t lastEnd = 0;

  LineDevice(FakeClock& c, FakePort& p) : clock(c), port(p) {
    port.respond = [this](const std::string& text) { Request(text); };
  }

  void Request(const std::string& text) {
    if (text == "\x03" || text == "\x1B\x1B") return;
    frames.push_back(text);
    const uint32_t received = clock.now + static_cast<uint32_t>(text.size());
    const int segment = std::stoi(text.substr(1, 2), nullptr, 16);
    if (text[0] == 'U') {
      const bool refused = refuse && refuse(writes);
      ++writes;
      if (!refused && segment != 43) {
        for (int i = 0; i < 32; ++i)
          memory[segment * 32 + i] =
              static_cast<char>(std::stoi(text.substr(3 + 2 * i, 2), nullptr, 16));
      }
      Send(received, std::string(1, refused ? '\x15' : '\x06'), static_cast<uint32_t>(text.size()));
      return;
    }
    Send(received, Reply((text[0] == 'P' ? prom : memory).substr(segment * 32, 32)),
         static_cast<uint32_t>(text.size()));
  }

  void Send(uint32_t ready, const std::string& bytes, uint32_t requestLength = 0) {
    const uint32_t length = static_cast<uint32_t>(bytes.size());
    if (deaf && static_cast<int32_t>(lastEnd - (ready - requestLength)) > 0)
      ready = lastEnd + requestLength;
    const uint32_t start = line.Reserve(ready, length);
    lastEnd = start + length;
    Deliver(start, bytes);
    if (copyAfter) {
      if (const std::optional<uint32_t> after = copyAfter(answers))
        Deliver(line.Reserve(start + length + *after, length), bytes);
    }
    ++answers;
  }

  void Deliver(uint32_t start, const std::string& bytes) {
    port.ArriveAt(start + 1, bytes.substr(0, 1));
    if (bytes.size() > 1)
      port.ArriveAt(start + static_cast<uint32_t>(bytes.size()), bytes.substr(1));
  }
};

}  // namespace tarvelo
