#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

#include "serial/Platform.h"

namespace tarvelo::platform {

int SetArbitraryBaud(int fd, unsigned rate);  // Termios2.cpp

namespace {

bool NotATerminalFeature(int error) {
  return error == ENOTTY || error == EINVAL;
}

std::string ReadLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string LinkTarget(const std::string& path) {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
  if (n < 0) return {};
  buf[n] = '\0';
  return buf;
}

std::string BaseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string s = real;
  std::free(real);
  return s;
}

// Whoever else has the device open, as "name (pid N)", found through /proc where we may look.
std::string FindHolder(const std::string& path) {
  const std::string target = RealPath(path);
  DIR* proc = ::opendir("/proc");
  if (!proc) return {};
  std::string found;
  const std::string self = std::to_string(::getpid());
  while (dirent* e = ::readdir(proc)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9' || self == e->d_name) continue;
    const std::string fdDir = std::string("/proc/") + e->d_name + "/fd";
    DIR* fds = ::opendir(fdDir.c_str());
    if (!fds) continue;
    while (dirent* f = ::readdir(fds)) {
      if (LinkTarget(fdDir + "/" + f->d_name) == target) {
        found = ReadLine(std::string("/proc/") + e->d_name + "/comm") + " (pid " + e->d_name + ")";
        break;
      }
    }
    ::closedir(fds);
    if (!found.empty()) break;
  }
  ::closedir(proc);
  if (found.empty()) {
    // The old convention: a lock file holding the owner's process number.
    for (const char* dir : {"/run/lock", "/var/lock"}) {
      const std::string pid = ReadLine(std::string(dir) + "/LCK.." + BaseName(target));
      if (!pid.empty()) return "pid " + pid.substr(pid.find_first_not_of(' '));
    }
  }
  return found;
}

// The rates the classic termios interface names; any other goes through termios2.
struct SpeedRow {
  uint32_t baud;
  speed_t speed;
};
constexpr SpeedRow kSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};

std::optional<speed_t> StandardSpeed(uint32_t baud) {
  for (const SpeedRow& r : kSpeeds) {
    if (r.baud == baud) return r.speed;
  }
  return std::nullopt;
}

int SetLine(int fd, int bit, bool on) {
  if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bit) != 0 && !NotATerminalFeature(errno)) return errno;
  return 0;
}

}  // namespace

std::string DeviceDir() {
  const char* dir = std::getenv("TARVELO_DEV_DIR");
  return dir && *dir ? dir : "/dev";
}

std::string DevicePath(const std::string& portName) {
  if (!portName.empty() && portName[0] == '/') return portName;
  auto numbered = [&](const char* prefix) -> long {
    const size_t n = std::strlen(prefix);
    if (portName.size() <= n || portName.compare(0, n, prefix) != 0) return -1;
    char* end = nullptr;
    const long v = std::strtol(portName.c_str() + n, &end, 10);
    return (*end == '\0' && v >= 0) ? v : -1;
  };
  if (long n = numbered("COM"); n >= 1) return DeviceDir() + "/ttyS" + std::to_string(n - 1);
  if (long n = numbered("USB"); n >= 0) return DeviceDir() + "/ttyUSB" + std::to_string(n);
  if (long n = numbered("ACM"); n >= 0) return DeviceDir() + "/ttyACM" + std::to_string(n);
  return DeviceDir() + "/" + portName;
}

int OpenDevice(const std::string& path, int& error, std::string& holder) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    if (error == EBUSY) holder = FindHolder(path);
    return -1;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    holder = FindHolder(path);
    return -1;
  }
  // Keeps later opens out, also by programs that do not lock.
  ::ioctl(fd, TIOCEXCL);
  return fd;
}

void CloseDevice(int fd) {
  ::ioctl(fd, TIOCNXCL);
  ::flock(fd, LOCK_UN);
  ::close(fd);
}

int ApplyControl(int fd, const DeviceControl& c) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return errno;
  ::cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  static const tcflag_t kSize[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSize[c.dataBits];
  static const tcflag_t kParity[] = {0,                         // prNone
                                     PARENB | PARODD,           // prOdd
                                     PARENB,                    // prEven
                                     PARENB | CMSPAR | PARODD,  // prMark
                                     PARENB | CMSPAR};          // prSpace
  t.c_cflag |= kParity[c.parity];
  // Linux has no one and a half stop bits; two is the nearest it offers.
  if (c.stopBits != sbOneStopBit) t.c_cflag |= CSTOPB;
  if (c.outCtsFlow || c.rts == rtsHandshake) t.c_cflag |= CRTSCTS;
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
  if (c.xonXoffOut) t.c_iflag |= IXON;
  if (c.xonXoffIn) t.c_iflag |= IXOFF;
  // A byte with a parity error reads as zero while checking is on.
  if (c.parityCheck) t.c_iflag |= INPCK;
  t.c_cc[VSTART] = c.xonChar;
  t.c_cc[VSTOP] = c.xoffChar;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  const std::optional<speed_t> speed = StandardSpeed(c.baud);
  const bool standard = speed.has_value();
  // A rate without a constant is set afterwards; until then a plain one stands in, since
  // the classic call refuses the "other rate" marker an earlier setting may have left.
  ::cfsetspeed(&t, speed.value_or(B38400));
  if (::tcsetattr(fd, TCSANOW, &t) != 0) return errno;
  if (!standard) {
    if (const int err = SetArbitraryBaud(fd, c.baud); err != 0 && !NotATerminalFeature(err)) {
      return err;
    }
  }
  // Handshake modes the driver cannot run by itself keep the line raised.
  if (const int err = SetLine(fd, TIOCM_DTR, c.dtr != dtrDisable)) return err;
  if (c.rts != rtsHandshake) {
    if (const int err = SetLine(fd, TIOCM_RTS, c.rts != rtsDisable)) return err;
  }
  // USB adapters otherwise hold short replies back for up to 16 ms.
  serial_struct ss{};
  if (::ioctl(fd, TIOCGSERIAL, &ss) == 0 && !(ss.flags & ASYNC_LOW_LATENCY)) {
    ss.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &ss);
  }
  return 0;
}

int ModemStatus(int fd, uint32_t& bits, bool& supported) {
  int status = 0;
  bits = 0;
  supported = true;
  if (::ioctl(fd, TIOCMGET, &status) != 0) {
    if (NotATerminalFeature(errno)) {
      supported = false;
      return 0;
    }
    return errno;
  }
  if (status & TIOCM_CTS) bits |= msCTS;
  if (status & TIOCM_DSR) bits |= msDSR;
  if (status & TIOCM_RI) bits |= msRing;
  if (status & TIOCM_CD) bits |= msRLSD;
  return 0;
}

int QueuedInput(int fd, int& count) {
  count = 0;
  return ::ioctl(fd, FIONREAD, &count) == 0 ? 0 : errno;
}

int QueuedOutput(int fd, int& count) {
  count = 0;
  return ::ioctl(fd, TIOCOUTQ, &count) == 0 ? 0 : errno;
}

int LineErrorCounts(int fd, LineCounts& counts, bool& supported) {
  serial_icounter_struct ic{};
  supported = true;
  if (::ioctl(fd, TIOCGICOUNT, &ic) != 0) {
    if (NotATerminalFeature(errno)) {
      supported = false;
      return 0;
    }
    return errno;
  }
  counts = {static_cast<uint32_t>(ic.frame), static_cast<uint32_t>(ic.overrun),
            static_cast<uint32_t>(ic.parity), static_cast<uint32_t>(ic.brk),
            static_cast<uint32_t>(ic.buf_overrun)};
  return 0;
}

int Purge(int fd) {
  if (::tcflush(fd, TCIOFLUSH) != 0 && !NotATerminalFeature(errno)) return errno;
  return 0;
}

bool DeviceGone(int error) {
  return error == EIO || error == ENXIO || error == ENODEV;
}

std::vector<PortInfo> ListPorts() {
  std::vector<PortInfo> ports;
  auto shortName = [](const std::string& dev) {
    auto num = [&](const char* prefix) -> std::string {
      const size_t n = std::strlen(prefix);
      return dev.compare(0, n, prefix) == 0 ? dev.substr(n) : std::string();
    };
    if (auto n = num("ttyUSB"); !n.empty()) return "USB" + n;
    if (auto n = num("ttyACM"); !n.empty()) return "ACM" + n;
    if (auto n = num("ttyS"); !n.empty()) return "COM" + std::to_string(std::atoi(n.c_str()) + 1);
    return std::string();
  };
  const char* env = std::getenv("TARVELO_DEV_DIR");
  if (env && *env) {
    // A stand-in folder: every entry that looks like a serial device.
    DIR* dir = ::opendir(env);
    if (!dir) return ports;
    while (dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      const std::string s = shortName(name);
      if (s.empty()) continue;
      ports.push_back({s, std::string(env) + "/" + name, "", "", ""});
    }
    ::closedir(dir);
  } else {
    const std::string sys = "/sys/class/tty";
    DIR* dir = ::opendir(sys.c_str());
    if (!dir) return ports;
    while (dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      const std::string base = sys + "/" + name;
      struct stat st {};
      if (name[0] == '.' || ::stat((base + "/device").c_str(), &st) != 0) continue;
      PortInfo p;
      p.driver = BaseName(LinkTarget(base + "/device/driver"));
      // Legacy 8250 entries exist whether or not a UART is there; type 0 means none.
      if (name.compare(0, 4, "ttyS") == 0 && ReadLine(base + "/type") == "0") continue;
      p.path = "/dev/" + name;
      p.name = shortName(name);
      if (p.name.empty()) p.name = p.path;
      for (const char* up : {"/device/../product", "/device/../../product"}) {
        const std::string product = ReadLine(base + up);
        if (product.empty()) continue;
        const std::string maker = ReadLine(
            base + std::string(up).replace(std::string(up).rfind("product"), 7, "manufacturer"));
        p.description = maker.empty() ? product : maker + " " + product;
        break;
      }
      ports.push_back(p);
    }
    ::closedir(dir);
    if (DIR* byId = ::opendir("/dev/serial/by-id")) {
      while (dirent* e = ::readdir(byId)) {
        if (e->d_name[0] == '.') continue;
        const std::string link = std::string("/dev/serial/by-id/") + e->d_name;
        const std::string target = RealPath(link);
        for (auto& p : ports) {
          if (p.path == target) p.byId = link;
        }
      }
      ::closedir(byId);
    }
  }
  std::sort(ports.begin(), ports.end(),
            [](const PortInfo& a, const PortInfo& b) { return a.path < b.path; });
  return ports;
}

}  // namespace tarvelo::platform
