// What the port component reads, writes, waits on and sets: a local device (termios) or a
// serial server on the network (a raw TCP stream, or Telnet with the com-port option). The
// port name decides which; above this nobody knows the difference.
#pragma once

#include <sys/types.h>

#include <cerrno>

#include <cstdint>
#include <memory>
#include <string>

#include "serial/Platform.h"

namespace tarvelo {

class PortLine {
 public:
  virtual ~PortLine() = default;

  // The descriptor the event thread watches for input and hang-up.
  virtual int Fd() const = 0;
  // A second descriptor that is readable while the line holds input it has taken from Fd()
  // but not yet handed to a reader; -1 when it holds none of its own.
  virtual int HeldInputFd() const { return -1; }
  // Whether the other end has gone away: no more input will come.
  virtual bool Gone() const { return false; }
  // The error number that says why it went: an input-output error for a device, the
  // connection's own reason for a network line.
  virtual int GoneError() const { return EIO; }

  // As read(2) and write(2) on a non-blocking descriptor: the count, or -1 with errno
  // (EAGAIN: nothing now). A read of 0 is an empty queue, not the end.
  virtual ssize_t Read(uint8_t* buffer, size_t count) = 0;
  virtual ssize_t Write(const uint8_t* bytes, size_t count) = 0;
  // Waits up to `timeoutMs` (-1: no limit) for POLLIN or POLLOUT as asked; returns what
  // is ready (POLLHUP or POLLERR when the line has gone), 0 when the time ran out.
  virtual short Wait(short events, int timeoutMs) = 0;

  // Each returns 0 or an error number.
  virtual int ApplyControl(const platform::DeviceControl& control) = 0;
  virtual int ModemStatus(uint32_t& bits, bool& supported) = 0;
  virtual int QueuedInput(int& count) = 0;
  virtual int QueuedOutput(int& count) = 0;
  virtual int LineErrorCounts(platform::LineCounts& counts, bool& supported) = 0;
  virtual int Purge() = 0;
  // Words for the last failure beyond its error number (a setting the server refused);
  // empty when there are none.
  virtual std::string FailureDetail() const { return std::string(); }
};

// Whether the name is a network address ("socket://HOST:PORT", "rfc2217://HOST:PORT").
bool IsNetworkPortName(const std::string& name);

// Opens the line the port name stands for: a network address, or else the device at
// `devicePath`. On failure returns null with the error number and words naming what
// failed (who holds a device, the address and why it could not be reached).
std::unique_ptr<PortLine> OpenPortLine(const std::string& portName, const std::string& devicePath,
                                       int& error, std::string& detail);

}  // namespace tarvelo
