// The operating system's side of the serial port, kept to what the port component needs.
// One implementation per system; this one is for Linux (termios, ioctls, sysfs).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvelo::platform {

// What the line-settings record asks of the device.
struct DeviceControl {
  uint32_t baud = 9600;
  int dataBits = 8;  // 5..8
  int parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int stopBits = 0;  // 0 one, 1 one and a half, 2 two
  bool outCtsFlow = false;
  int dtrMode = 0;  // 0 disable, 1 enable, 2 handshake
  int rtsMode = 0;  // 0 disable, 1 enable, 2 handshake, 3 toggle
  bool xonXoffOut = false;
  bool xonXoffIn = false;
  uint8_t xonChar = 17;
  uint8_t xoffChar = 19;
  bool parityCheck = false;
};

// "COM1" is /dev/ttyS0, "USB0" /dev/ttyUSB0, "ACM0" /dev/ttyACM0; a name that begins with
// "/" is a path. $TARVELO_DEV_DIR stands in for /dev.
std::string DevicePath(const std::string& portName);
std::string DeviceDir();

// Opens exclusively for non-blocking reading and writing. On failure returns -1 with the
// error number; `holder` names whoever holds the device when that can be found out.
int OpenDevice(const std::string& path, int& error, std::string& holder);
void CloseDevice(int fd);

int ApplyControl(int fd, const DeviceControl& control);  // 0 or an error number

// Returns 0 or an error number. A device without modem lines (a pseudo-terminal) answers
// with `supported` false and no error.
int ModemStatus(int fd, uint32_t& bits,
                bool& supported);  // bits as CTS 0x10, DSR 0x20, RING 0x40, RLSD 0x80
int QueuedInput(int fd, int& count);
int QueuedOutput(int fd, int& count);
struct LineCounts {
  uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
  bool operator==(const LineCounts&) const = default;
};
int LineErrorCounts(int fd, LineCounts& counts, bool& supported);
int Purge(int fd);

// True for the errors that mean the device has gone away.
bool DeviceGone(int error);

struct PortInfo {
  std::string name;  // short name as the program uses it ("COM1", "USB0") or the path
  std::string path;  // device path
  std::string byId;  // /dev/serial/by-id name, when there is one
  std::string driver;
  std::string description;
};
std::vector<PortInfo> ListPorts();

}  // namespace tarvelo::platform
