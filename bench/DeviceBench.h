// What the transfer benchmarks share: a host that stays out of the way.
#pragma once

#include <unistd.h>

#include <string>

#include "link/Connection.h"
#include "link/Transfers.h"
#include "tools/DevsimProcess.h"

namespace tarvelo::bench {

struct QuietHost : TransferHost {
  explicit QuietHost(DeviceConnection& c) : connection(c) {}
  void Status(const std::string&) override {}
  void Message(const std::string&) override {}
  void Busy(bool) override {}
  void ProcessEvents(int ms) override {
    if (ms > 0) usleep(static_cast<useconds_t>(ms) * 1000);
  }
  void SwitchModel(DeviceModel) override {}
  void Decode() override {}
  bool PortOpen() override { return connection.IsOpen(); }
  void ReleasePort() override {}
  DeviceConnection& connection;
};

}  // namespace tarvelo::bench
