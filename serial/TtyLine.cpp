// The local device: the system layer's calls on one descriptor.
#include <poll.h>
#include <unistd.h>

#include "serial/NetLine.h"
#include "serial/PortLine.h"

namespace tarvelo {

namespace {

class TtyLine : public PortLine {
 public:
  explicit TtyLine(int fd) : fd_(fd) {}
  ~TtyLine() override { platform::CloseDevice(fd_); }

  int Fd() const override { return fd_; }
  ssize_t Read(uint8_t* buffer, size_t count) override { return ::read(fd_, buffer, count); }
  ssize_t Write(const uint8_t* bytes, size_t count) override { return ::write(fd_, bytes, count); }
  short Wait(short events, int timeoutMs) override {
    pollfd p{fd_, events, 0};
    return ::poll(&p, 1, timeoutMs) > 0 ? p.revents : 0;
  }
  int ApplyControl(const platform::DeviceControl& c) override {
    return platform::ApplyControl(fd_, c);
  }
  int ModemStatus(uint32_t& bits, bool& supported) override {
    return platform::ModemStatus(fd_, bits, supported);
  }
  int QueuedInput(int& count) override { return platform::QueuedInput(fd_, count); }
  int QueuedOutput(int& count) override { return platform::QueuedOutput(fd_, count); }
  int LineErrorCounts(platform::LineCounts& counts, bool& supported) override {
    return platform::LineErrorCounts(fd_, counts, supported);
  }
  int Purge() override { return platform::Purge(fd_); }

 private:
  int fd_;
};

}  // namespace

bool IsNetworkPortName(const std::string& name) {
  return name.rfind("socket://", 0) == 0 || name.rfind("rfc2217://", 0) == 0;
}

std::unique_ptr<PortLine> OpenPortLine(const std::string& portName, const std::string& devicePath,
                                       int& error, std::string& detail) {
  if (IsNetworkPortName(portName)) return OpenNetLine(portName, error, detail);
  std::string holder;
  const int fd = platform::OpenDevice(devicePath, error, holder);
  if (fd < 0) {
    detail = holder.empty() ? "" : "; a portot használó program: " + holder;
    return nullptr;
  }
  return std::make_unique<TtyLine>(fd);
}

}  // namespace tarvelo
