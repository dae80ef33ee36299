// The exchanges' port and clock over the real serial port and the system's tick counter.
#pragma once

#include <chrono>

#include "link/Protocol.h"
#include "serial/ComPort.h"

namespace tarvelo {

class SerialLinkPort : public LinkPort {
 public:
  explicit SerialLinkPort(TCustomComPort& port) : port_(port) {}
  int Read(uint8_t* buffer, int count) override { return port_.Read(buffer, count); }
  int WriteText(const std::string& bytes) override { return port_.WriteText(bytes); }
  void WaitForInput(int timeoutMs, int expected) override {
    port_.WaitForInput(timeoutMs, expected);
  }

 private:
  TCustomComPort& port_;
};

class SteadyClock : public LinkClock {
 public:
  uint32_t Ticks() override {
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  }
};

}  // namespace tarvelo
