// tarvelo-devsim: a call-control device on a pseudo-terminal, for trying the program and
// testing it without hardware. Serves the "D", "P" and "U" exchanges from an image and a
// PROM, paces its replies at a baud rate and injects faults on request.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <utility>

#include "files/SafeFile.h"
#include "model/ConfigImage.h"
#include "tools/DevsimProcess.h"

namespace {

using tarvelo::kDevsimDone;
using tarvelo::kDevsimFailed;
using tarvelo::kDevsimUsage;

const char* const kUsage =
    "usage: tarvelo-devsim [--image FILE] [--prom FILE] [--model 4|16] [--baud N]\n"
    "                      [--link PATH] [--fault KIND=RATE ...] [--fault-segments A-B]\n"
    "                      [--seed N] [--log] [--break-in]\n"
    "  KIND: silence, checksum, short, flip, nak, spoil, late, double, slow, echo;\n"
    "  RATE: share of replies, 0..1\n"
    "  --break-in: takes requests only once broken in (ETX, then ESC ESC)\n"
    "  The image is saved back to FILE on exit (SIGINT or SIGTERM).\n";

std::atomic<bool> stop{false};
void OnSignal(int) {
  stop = true;
}

struct Options {
  std::string imagePath, promPath, linkPath;
  int model = 4;
  long baud = 0;  // 0: as fast as the line goes
  std::map<std::string, double> faults;
  int faultFirst = 0, faultLast = 255;  // the segments whose exchanges may go wrong
  unsigned seed = 1;
  bool log = false;
  bool needsBreakIn = false;
};

// 8192 bytes from the file, zeros past its end; a missing file is all zeros. Anything else
// that keeps the file from being read ends the simulator. A memory image is saved back
// where it came from, so a file of another size (a database given by mistake) is refused
// rather than overwritten with 8192 bytes of it.
std::string Load(const std::string& path, bool savedBack) {
  std::string data(8192, '\0');
  if (path.empty()) return data;
  const tarvelo::ReadResult got = tarvelo::ReadRegularFile(path, data.size());
  if (!got.ok && got.error != ENOENT) {
    std::fprintf(stderr, "tarvelo-devsim: %s\n", got.message.c_str());
    std::exit(kDevsimFailed);
  }
  if (savedBack && got.ok && (!got.whole || (!got.bytes.empty() && got.bytes.size() != 8192))) {
    std::fprintf(stderr, "tarvelo-devsim: %s: not an 8192-byte memory image\n", path.c_str());
    std::exit(kDevsimFailed);
  }
  data.replace(0, got.bytes.size(), got.bytes);
  return data;
}

int Hex(const std::string& s, size_t at) {
  if (at + 2 > s.size()) return -1;
  char* end = nullptr;
  const std::string two = s.substr(at, 2);
  const long v = std::strtol(two.c_str(), &end, 16);
  return (*end == '\0' && std::isxdigit(static_cast<unsigned char>(two[0])) &&
          std::isxdigit(static_cast<unsigned char>(two[1])))
             ? static_cast<int>(v)
             : -1;
}

timespec Now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t;
}
long long Ns(const timespec& t) {
  return t.tv_sec * 1000000000LL + t.tv_nsec;
}
timespec FromNs(long long ns) {
  return {static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
}

class Device {
 public:
  Device(int fd, Options o, std::string memory, std::string prom)
      : fd_(fd),
        o_(std::move(o)),
        rng_(o_.seed),
        memory_(std::move(memory)),
        prom_(std::move(prom)) {
    // The type segment carries the model's version text.
    memory_.replace(tarvelo::kVersionTextOffset, tarvelo::kVersionTextLength,
                    o_.model == 4 ? "P4239" : "P4290");
    byteNs_ = o_.baud > 0 ? 10LL * 1000000000LL / o_.baud : 0;
  }

  void Serve() {
    std::string line;
    char buf[512];
    while (!stop) {
      SendEchoes();
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, EchoWaitMs(200)) <= 0) continue;
      const ssize_t n = read(fd_, buf, sizeof buf);
      if (n <= 0) {
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        // The other side closed the slave: wait for the next one to open it, which starts
        // with no half request of the last one.
        line.clear();
        usleep(50000);
        continue;
      }
      const long long arrived = Ns(Now());
      for (ssize_t i = 0; i < n; ++i) {
        const char c = buf[i];
        if (c == 0x03 || c == 0x1B) {  // a break-in: whatever came before is no request
          line.clear();
          if (c == 0x03) {
            etxSeen_ = true;
          } else if (etxSeen_) {
            listening_ = true;
          }
          continue;
        }
        if (line.empty()) frameStart_ = arrived;
        if (c == '\r') {
          Handle(line);
          line.clear();
        } else if (line.size() < 256) {
          line += c;
        }
      }
    }
  }

  bool Save() const {
    if (o_.imagePath.empty()) return true;
    const tarvelo::FileResult saved = tarvelo::WriteFileAtomically(o_.imagePath, memory_);
    if (!saved.ok) std::fprintf(stderr, "tarvelo-devsim: %s\n", saved.message.c_str());
    return saved.ok;
  }

 private:
  bool Fault(const char* kind) {
    if (segment_ < o_.faultFirst || segment_ > o_.faultLast) return false;
    const auto it = o_.faults.find(kind);
    return it != o_.faults.end() && std::uniform_real_distribution<double>(0, 1)(rng_) < it->second;
  }

  // Sends at the line's pace: every byte at its own absolute deadline, so delays do not add up.
  void Send(const std::string& bytes, size_t requestLength) {
    if (byteNs_ == 0) {
      [[maybe_unused]] ssize_t w = write(fd_, bytes.data(), bytes.size());
      return;
    }
    // The request took its own time on the wire before the device could answer.
    long long next =
        std::max(Ns(Now()), frameStart_ + static_cast<long long>(requestLength) * byteNs_);
    for (char c : bytes) {
      next += byteNs_;
      const timespec at = FromNs(next);
      clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
      [[maybe_unused]] ssize_t w = write(fd_, &c, 1);
    }
  }

  // Copies of earlier answers that are due go out now, one whole answer after another, as
  // the line is free.
  void SendEchoes() {
    const long long now = Ns(Now());
    while (!echoes_.empty() && echoes_.begin()->first <= now) {
      Send(echoes_.begin()->second, 0);
      echoes_.erase(echoes_.begin());
    }
  }
  int EchoWaitMs(int most) const {
    if (echoes_.empty()) return most;
    const long long left = (echoes_.begin()->first - Ns(Now())) / 1000000LL;
    return static_cast<int>(std::clamp<long long>(left, 0, most));
  }

  // The faults a line or a device shows in the timing of its answers: an answer held back
  // past the requester's time-out, one held back within it, an answer sent twice, and a copy
  // of it sent again 50 ms to 1.6 s later, while the device goes on answering (a valid
  // answer that belongs to no request then).
  void Answer(const std::string& reply, size_t requestLength, int requesterTimeoutMs) {
    int delayMs = 0;
    if (Fault("late")) {
      delayMs = requesterTimeoutMs + 50 + static_cast<int>(rng_() % 300);
    } else if (Fault("slow")) {
      delayMs = 100 + static_cast<int>(rng_() % (requesterTimeoutMs * 8 / 10 - 100));
    }
    const bool twice = Fault("double");
    if (delayMs > 0) {
      const timespec pause = FromNs(delayMs * 1000000LL);
      clock_nanosleep(CLOCK_MONOTONIC, 0, &pause, nullptr);
    }
    SendEchoes();
    Send(reply, requestLength);
    if (twice) Send(reply, 0);
    if (Fault("echo")) {
      const long long after = (50 + static_cast<long long>(rng_() % 1551)) * 1000000LL;
      echoes_.emplace(Ns(Now()) + after, reply);
    }
  }

  void Handle(const std::string& frame) {
    if (o_.log) std::fprintf(stderr, "devsim: %s\n", frame.c_str());
    if (frame.empty() || !listening_) return;
    const char command = frame[0];
    const int segment = Hex(frame, 1);
    segment_ = segment;
    if ((command == 'D' || command == 'P') && frame.size() == 5) {
      if (segment < 0 || Hex(frame, 3) != 255 - segment) return;  // not a request for us
      if (Fault("silence")) return;
      const std::string& source = command == 'P' ? prom_ : memory_;
      std::string reply = source.substr(segment * 32, 32);
      // A misread memory, or a glitch before the sum is made: the checksum cannot tell, and
      // the next read of the same segment is spoilt differently or not at all.
      if (Fault("spoil")) reply[rng_() % 32] ^= static_cast<char>(1 + rng_() % 255);
      uint8_t sum = 0;
      for (char c : reply) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
      reply += static_cast<char>(sum);
      if (Fault("checksum")) reply[32] = static_cast<char>(reply[32] ^ 0x01);
      if (Fault("flip")) reply[rng_() % 32] ^= static_cast<char>(1 << (rng_() % 8));
      if (Fault("short")) reply.resize(rng_() % 32);
      Answer(reply, frame.size() + 1, command == 'P' ? 2000 : 1000);
      return;
    }
    if (command == 'U' && frame.size() == 69) {
      if (Fault("silence")) return;
      uint8_t sum = 0;
      for (size_t i = 1; i < 67; ++i)
        sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(frame[i]));
      const bool good = segment >= 0 && Hex(frame, 67) == sum;
      if (!good || Fault("nak")) {
        Answer("\x15", frame.size() + 1, 1000);
        return;
      }
      if (segment == 43) {
        // The clock frame: the date and time, the rest zeros. The device keeps its own
        // type segment.
        if (o_.log) std::fprintf(stderr, "devsim: clock set to %s\n", frame.substr(3, 14).c_str());
      } else {
        for (int i = 0; i < 32; ++i) {
          const int b = Hex(frame, 3 + 2 * i);
          if (b < 0) {
            Answer("\x15", frame.size() + 1, 1000);
            return;
          }
          memory_[segment * 32 + i] = static_cast<char>(b);
        }
      }
      Answer("\x06", frame.size() + 1, segment == 43 ? 2000 : 1000);
    }
  }

  int fd_;
  Options o_;
  std::mt19937 rng_;
  std::string memory_, prom_;
  long long byteNs_ = 0;
  long long frameStart_ = 0;
  int segment_ = -1;  // of the frame being answered
  // Outside command mode a device answers nothing until it is broken in.
  bool listening_ = !o_.needsBreakIn;
  bool etxSeen_ = false;
  std::multimap<long long, std::string> echoes_;  // when, what
};

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "tarvelo-devsim: %s needs a value\n%s", a.c_str(), kUsage);
        std::exit(kDevsimUsage);
      }
      return argv[++i];
    };
    if (a == "--image")
      o.imagePath = value();
    else if (a == "--prom")
      o.promPath = value();
    else if (a == "--model")
      o.model = std::atoi(value().c_str());
    else if (a == "--baud")
      o.baud = std::atol(value().c_str());
    else if (a == "--link")
      o.linkPath = value();
    else if (a == "--fault-segments") {
      const std::string range = value();
      if (std::sscanf(range.c_str(), "%d-%d", &o.faultFirst, &o.faultLast) != 2 ||
          o.faultFirst < 0 || o.faultLast > 255 || o.faultFirst > o.faultLast) {
        std::fprintf(stderr, "tarvelo-devsim: bad segment range %s\n%s", range.c_str(), kUsage);
        return kDevsimUsage;
      }
    } else if (a == "--seed")
      o.seed = static_cast<unsigned>(std::atol(value().c_str()));
    else if (a == "--log")
      o.log = true;
    else if (a == "--break-in")
      o.needsBreakIn = true;
    else if (a == "--fault") {
      const std::string f = value();
      const auto eq = f.find('=');
      const std::string kind = f.substr(0, eq);
      static const char* const kKinds[] = {"silence", "checksum", "short",  "flip", "nak",
                                           "spoil",   "late",     "double", "slow", "echo"};
      if (eq == std::string::npos || std::none_of(std::begin(kKinds), std::end(kKinds),
                                                  [&](const char* k) { return kind == k; })) {
        std::fprintf(stderr, "tarvelo-devsim: bad fault %s\n%s", f.c_str(), kUsage);
        return kDevsimUsage;
      }
      o.faults[kind] = std::atof(f.c_str() + eq + 1);
    } else if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return kDevsimDone;
    } else {
      std::fprintf(stderr, "tarvelo-devsim: unknown option %s\n%s", a.c_str(), kUsage);
      return kDevsimUsage;
    }
  }
  if (o.model != 4 && o.model != 16) {
    std::fprintf(stderr, "tarvelo-devsim: --model is 4 or 16\n");
    return kDevsimUsage;
  }
  // Read before the line exists, so a file that cannot be read leaves nothing behind.
  std::string memory = Load(o.imagePath, true);
  std::string prom = Load(o.promPath, false);
  int master = -1, slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("tarvelo-devsim: openpty");
    return kDevsimFailed;
  }
  termios t{};
  tcgetattr(master, &t);
  cfmakeraw(&t);
  tcsetattr(master, TCSANOW, &t);
  // Our own slave descriptor is closed so the program's exclusive open can succeed; the
  // master keeps the line alive across the program's opens and closes.
  close(slave);
  if (!o.linkPath.empty()) {
    unlink(o.linkPath.c_str());
    if (symlink(name, o.linkPath.c_str()) != 0) {
      std::perror("tarvelo-devsim: symlink");
      return kDevsimFailed;
    }
  }
  std::printf("%s\n", name);
  std::fflush(stdout);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  Device device(master, o, std::move(memory), std::move(prom));
  device.Serve();
  const bool saved = device.Save();
  if (!o.linkPath.empty()) unlink(o.linkPath.c_str());
  return saved ? kDevsimDone : kDevsimFailed;
}
