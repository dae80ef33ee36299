#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include "serial/Platform.h"
#include "serial/Speeds.h"

namespace tarvelo::platform {

int SetArbitraryBaud(int fd, unsigned rate);  // Termios2.cpp

namespace {

bool NotATerminalFeature(int error) {
  return error == ENOTTY || error == EINVAL;
}

// Unix 98 pseudo-terminal slaves have majors 136 to 143.
bool IsPseudoTerminal(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned kind = major(st.st_rdev);
  return kind >= 136 && kind <= 143;
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

std::string ProcessName(const std::string& pid) {
  return ReadLine("/proc/" + pid + "/comm") + " (pid " + pid + ")";
}

// The processes holding a whole-file lock on each target, from the kernel's lock table:
// the lock is what keeps others out, so its holder is the one to name.
std::map<std::string, std::string> LockHolders(const std::set<std::string>& targets) {
  std::map<std::string, std::string> byId;  // "major:minor:inode" as the table writes it
  std::map<std::string, std::string> found;
  for (const std::string& target : targets) {
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) continue;
    char id[64];
    std::snprintf(id, sizeof id, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long>(st.st_ino));
    byId[id] = target;
  }
  std::ifstream locks("/proc/locks");
  std::string line;
  for (int n = 0; n < 100000 && std::getline(locks, line); ++n) {
    // "1: FLOCK  ADVISORY  WRITE 1234 00:05:567 0 EOF"; waiters carry "->" and hold nothing.
    std::istringstream words(line);
    std::string number, kind, mode, access, pid, id;
    words >> number >> kind;
    if (kind == "->") continue;
    words >> mode >> access >> pid >> id;
    const auto it = byId.find(id);
    if (it == byId.end() || found.count(it->second) || pid == "-1") continue;
    found[it->second] = ProcessName(pid);
  }
  return found;
}

// Who holds each of the given devices, as "name (pid N)": the holder of its lock, else the
// owner named by a lock file of the old convention, else whoever has it open (all of them,
// up to three, as any of them may be the one with the exclusive open). Keys are real paths.
std::map<std::string, std::string> FindHolders(const std::set<std::string>& targets) {
  std::map<std::string, std::string> found = LockHolders(targets);
  if (found.size() == targets.size()) return found;
  for (const std::string& target : targets) {
    if (found.count(target)) continue;
    for (const char* dir : {"/run/lock", "/var/lock"}) {
      const std::string pid = ReadLine(std::string(dir) + "/LCK.." + BaseName(target));
      const auto digits = pid.find_first_not_of(' ');
      if (digits == std::string::npos) continue;
      const std::string number = pid.substr(digits);
      found[target] =
          ::access(("/proc/" + number).c_str(), F_OK) == 0 ? ProcessName(number) : "pid " + number;
      break;
    }
  }
  if (found.size() == targets.size()) return found;
  std::map<std::string, std::vector<std::string>> users;
  if (DIR* proc = ::opendir("/proc")) {
    const std::string self = std::to_string(::getpid());
    while (dirent* e = ::readdir(proc)) {
      if (e->d_name[0] < '0' || e->d_name[0] > '9' || self == e->d_name) continue;
      const std::string fdDir = std::string("/proc/") + e->d_name + "/fd";
      DIR* fds = ::opendir(fdDir.c_str());
      if (!fds) continue;
      while (dirent* f = ::readdir(fds)) {
        const std::string target = LinkTarget(fdDir + "/" + f->d_name);
        if (!targets.count(target) || found.count(target)) continue;
        auto& list = users[target];
        if (list.size() < 3 && (list.empty() || list.back().find(std::string("(pid ") + e->d_name +
                                                                 ")") == std::string::npos)) {
          list.push_back(ProcessName(e->d_name));
        }
      }
      ::closedir(fds);
    }
    ::closedir(proc);
  }
  for (const auto& [target, list] : users) {
    std::string joined;
    for (const std::string& u : list) joined += (joined.empty() ? "" : ", ") + u;
    found[target] = joined;
  }
  return found;
}

std::string FindHolder(const std::string& path) {
  const std::string target = RealPath(path);
  const auto found = FindHolders({target});
  return found.empty() ? std::string() : found.begin()->second;
}

// The rates the classic termios interface names; any other goes through termios2.
std::optional<speed_t> StandardSpeed(uint32_t baud) {
  if (baud > static_cast<uint32_t>(INT_MAX)) return std::nullopt;
  const PortSpeed* s = PortSpeedOfBaud(static_cast<int>(baud));
  if (!s || s->systemSpeed == B0) return std::nullopt;
  return s->systemSpeed;
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
  if (::tcsetattr(fd, TCSANOW, &t) != 0) {
    // A pseudo-terminal carries bytes, not characters on a wire: its driver keeps eight bits
    // without parity and refuses a change of nothing else. The far end sees the same bytes
    // either way, so the rest of the settings apply; a real port that refuses stays refused.
    const int error = errno;
    if (error != EINVAL || !IsPseudoTerminal(fd)) return error;
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR);
    t.c_cflag |= CS8;
    if (::tcsetattr(fd, TCSANOW, &t) != 0 && errno != EINVAL) return errno;
  }
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
  // The last ones are a network line's: its server or the way to it has gone.
  return error == EIO || error == ENXIO || error == ENODEV || error == ECONNRESET ||
         error == EPIPE || error == ECONNABORTED || error == ETIMEDOUT || error == EHOSTUNREACH ||
         error == ENETUNREACH;
}

std::string SysDir() {
  if (const char* dir = std::getenv("TARVELO_SYS_DIR"); dir && *dir) return dir;
  const char* dev = std::getenv("TARVELO_DEV_DIR");
  return dev && *dev ? std::string() : "/sys";
}

namespace {

// "COM1" for ttyS0, "USB0" for ttyUSB0, "ACM0" for ttyACM0; empty for any other name.
std::string ShortPortName(const std::string& dev) {
  auto number = [&](const char* prefix) -> std::string {
    const size_t n = std::strlen(prefix);
    if (dev.size() <= n || dev.compare(0, n, prefix) != 0) return {};
    const std::string digits = dev.substr(n);
    return digits.find_first_not_of("0123456789") == std::string::npos ? digits : std::string();
  };
  if (auto n = number("ttyUSB"); !n.empty()) return "USB" + n;
  if (auto n = number("ttyACM"); !n.empty()) return "ACM" + n;
  if (auto n = number("ttyS"); !n.empty() && n.size() < 9) {
    return "COM" + std::to_string(std::stol(n) + 1);
  }
  return {};
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// The kernel keeps a ttyS node for every legacy slot whether or not a UART answers there;
// the driver reports an empty slot as type 0 (unknown). When sysfs does not say, ask the
// port itself.
bool EmptySerialSlot(const std::string& sysEntry, const std::string& devPath) {
  if (!sysEntry.empty()) {
    const std::string type = ReadLine(sysEntry + "/type");
    if (!type.empty()) return type == "0";
  }
  const int fd = ::open(devPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  serial_struct ss{};
  const bool empty = ::ioctl(fd, TIOCGSERIAL, &ss) == 0 && ss.type == PORT_UNKNOWN;
  ::close(fd);
  return empty;
}

// Driver, and for a USB adapter its ids, serial number and names, from the device's sysfs
// entry: the USB device is a few levels above the tty's interface.
void ReadHardware(const std::string& sysRoot, const std::string& sysEntry, PortInfo& p) {
  p.driver = BaseName(LinkTarget(sysEntry + "/device/driver"));
  const std::string root = RealPath(sysRoot);
  std::string dir = RealPath(sysEntry + "/device");
  for (int up = 0; up < 5 && dir.size() > root.size(); ++up) {
    const std::string vendor = ReadLine(dir + "/idVendor");
    if (!vendor.empty()) {
      p.usbId = vendor + ":" + ReadLine(dir + "/idProduct");
      p.serialNumber = ReadLine(dir + "/serial");
      const std::string maker = ReadLine(dir + "/manufacturer");
      const std::string product = ReadLine(dir + "/product");
      p.description = maker.empty() || product.empty() ? maker + product : maker + " " + product;
      return;
    }
    dir = dir.substr(0, dir.rfind('/'));
  }
}

// Whether this user may open the device for reading and writing; when not, the group that
// would grant it.
void ReadAccess(PortInfo& p) {
  if (::faccessat(AT_FDCWD, p.path.c_str(), R_OK | W_OK, AT_EACCESS) == 0 || errno != EACCES) {
    return;
  }
  p.mayOpen = false;
  struct stat st {};
  if (::stat(p.path.c_str(), &st) == 0 && st.st_gid != 0 && (st.st_mode & S_IRWXG) != 0) {
    std::vector<char> buf(16384);
    group g{};
    group* found = nullptr;
    if (::getgrgid_r(st.st_gid, &g, buf.data(), buf.size(), &found) == 0 && found) {
      p.group = found->gr_name;
    }
  }
  if (p.group.empty()) p.group = "dialout";
}

}  // namespace

std::vector<PortInfo> ListPorts() {
  const std::string dev = DeviceDir();
  const std::string sys = SysDir();
  const std::string ttyClass = sys.empty() ? std::string() : sys + "/class/tty";
  // The device folder's serial-looking nodes, and the ttys sysfs ties to hardware.
  std::set<std::string> names;
  if (DIR* dir = ::opendir(dev.c_str())) {
    while (dirent* e = ::readdir(dir)) {
      if (!ShortPortName(e->d_name).empty()) names.insert(e->d_name);
    }
    ::closedir(dir);
  }
  if (!ttyClass.empty()) {
    if (DIR* dir = ::opendir(ttyClass.c_str())) {
      while (dirent* e = ::readdir(dir)) {
        if (e->d_name[0] != '.' && Exists(ttyClass + "/" + e->d_name + "/device")) {
          names.insert(e->d_name);
        }
      }
      ::closedir(dir);
    }
  }
  std::vector<PortInfo> ports;
  for (const std::string& name : names) {
    PortInfo p;
    p.path = dev + "/" + name;
    if (!Exists(p.path)) continue;  // gone, or a link to a simulator that has ended
    std::string sysEntry = ttyClass.empty() ? std::string() : ttyClass + "/" + name;
    if (!sysEntry.empty() && !Exists(sysEntry)) sysEntry.clear();
    // A tty sysfs knows but ties to no hardware is a console or a pseudo-terminal.
    if (!sysEntry.empty() && !Exists(sysEntry + "/device")) continue;
    if (name.compare(0, 4, "ttyS") == 0 && EmptySerialSlot(sysEntry, p.path)) continue;
    p.name = ShortPortName(name);
    if (p.name.empty()) p.name = p.path;
    if (!sysEntry.empty()) ReadHardware(sys, sysEntry, p);
    ReadAccess(p);
    ports.push_back(p);
  }
  if (DIR* byId = ::opendir((dev + "/serial/by-id").c_str())) {
    while (dirent* e = ::readdir(byId)) {
      if (e->d_name[0] == '.') continue;
      const std::string link = dev + "/serial/by-id/" + e->d_name;
      const std::string target = RealPath(link);
      for (auto& p : ports) {
        if (p.byId.empty() && RealPath(p.path) == target) p.byId = link;
      }
    }
    ::closedir(byId);
  }
  std::set<std::string> targets;
  for (const auto& p : ports) targets.insert(RealPath(p.path));
  const auto holders = FindHolders(targets);
  for (auto& p : ports) {
    if (auto h = holders.find(RealPath(p.path)); h != holders.end()) p.holder = h->second;
  }
  std::sort(ports.begin(), ports.end(),
            [](const PortInfo& a, const PortInfo& b) { return a.path < b.path; });
  return ports;
}

}  // namespace tarvelo::platform
