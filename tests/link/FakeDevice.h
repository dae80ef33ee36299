// A scripted port on a fake clock: what the "device" sends arrives at set times, and
// waiting for input moves the clock on to the next arrival or to the end of the wait.
#pragma once

#include <deque>
#include <functional>
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

  void Arrive(uint32_t afterMs, const std::string& bytes) {
    arrivals_.push_back({clock_.now + afterMs, bytes});
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

  void Attach(FakePort& port) {
    port.respond = [this, &port](const std::string& text) {
      if (text == "\x03" || text == "\x1B\x1B") return;
      frames.push_back(text);
      if (silent) return;
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
