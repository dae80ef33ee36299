// The operating system's side of the serial port, kept to what the port component needs.
// One implementation per system; this one is for Linux (termios, ioctls, sysfs).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "serial/ComTypes.h"

namespace tarvelo::platform {

// What the line-settings record asks of the device.
struct DeviceControl {
  uint32_t baud = 9600;
  TDataBits dataBits = dbEight;
  TParityBits parity = prNone;
  TStopBits stopBits = sbOneStopBit;
  bool outCtsFlow = false;
  TDTRFlowControl dtr = dtrDisable;
  TRTSFlowControl rts = rtsDisable;
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
int ModemStatus(int fd, uint32_t& bits, bool& supported);  // bits: TModemSignal
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
  std::string byId;  // the stable serial/by-id link to it, when there is one
  std::string driver;
  std::string description;   // maker and product of a USB adapter
  std::string usbId;         // "0403:6001", vendor and product of a USB adapter
  std::string serialNumber;  // a USB adapter's own serial number
  std::string holder;        // another program that has it open, "portfigyelo (pid 812)"
  bool mayOpen = true;       // false when the device's permissions keep this user out
  std::string group;         // the device's group, which grants access to it ("dialout")
};
// The serial ports this system has: the device folder's ttyS, ttyUSB and ttyACM nodes and
// any other tty that sysfs ties to hardware, without the legacy ttyS slots the driver
// reports no UART for. Sorted by path.
std::vector<PortInfo> ListPorts();
// $TARVELO_SYS_DIR; else none when $TARVELO_DEV_DIR stands in for /dev (the real sysfs
// does not describe a stand-in folder); else /sys.
std::string SysDir();

}  // namespace tarvelo::platform
