// The exchanges' port and clock over the device's serial connection and the system's tick
// counter.
#pragma once

#include <chrono>

#include "link/Connection.h"
#include "link/Protocol.h"

namespace tarvelo {

class SerialLinkPort : public LinkPort {
 public:
  explicit SerialLinkPort(DeviceConnection& connection) : connection_(connection) {}
  int Read(uint8_t* buffer, int count) override { return connection_.Read(buffer, count); }
  int WriteText(const std::string& bytes) override { return connection_.Write(bytes); }
  void WaitForInput(int timeoutMs, int expected) override {
    connection_.WaitForInput(timeoutMs, expected);
  }

 private:
  DeviceConnection& connection_;
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
