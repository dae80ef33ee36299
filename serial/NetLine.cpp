#include "serial/NetLine.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/SystemErrorText.h"
#include "serial/Telnet.h"

namespace tarvelo {

std::string NetAddress::Text() const {
  const std::string h = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return h + ":" + std::to_string(port);
}

std::optional<NetAddress> ParseNetAddress(const std::string& portName) {
  NetAddress a;
  std::string rest;
  if (portName.rfind("socket://", 0) == 0) {
    rest = portName.substr(9);
  } else if (portName.rfind("rfc2217://", 0) == 0) {
    a.comPort = true;
    rest = portName.substr(10);
  } else {
    return std::nullopt;
  }
  std::string portText;
  if (!rest.empty() && rest[0] == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
      return std::nullopt;
    a.host = rest.substr(1, close - 1);
    portText = rest.substr(close + 2);
  } else {
    const size_t colon = rest.find(':');
    if (colon == std::string::npos || rest.find(':', colon + 1) != std::string::npos)
      return std::nullopt;
    a.host = rest.substr(0, colon);
    portText = rest.substr(colon + 1);
  }
  if (a.host.empty() || portText.empty() || portText.size() > 5) return std::nullopt;
  for (char c : a.host) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '[' || c == ']')
      return std::nullopt;
  }
  long port = 0;
  for (char c : portText) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  a.port = static_cast<uint16_t>(port);
  return a;
}

namespace {

using Clock = std::chrono::steady_clock;
using telnet::Bytes;

int MsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// Name lookup has no time-out of its own; it runs on a thread of its own, and a lookup
// given up on ends there and cleans up after itself.
struct Lookup {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  bool abandoned = false;
  int status = 0;
  addrinfo* result = nullptr;
};

// Returns the addresses (to be freed with freeaddrinfo), or null with `why` in words.
// A time allowed, as a message names it: whole seconds, rounded up, so a short limit is not
// called "0 seconds".
std::string SecondsText(int ms) {
  return std::to_string((std::max(ms, 1) + 999) / 1000) + " másodperc";
}

addrinfo* Resolve(const NetAddress& a, Clock::time_point deadline, int timeoutMs,
                  std::string& why) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
  const std::string service = std::to_string(a.port);
  // A written-out address needs no lookup and no thread.
  addrinfo numeric = hints;
  numeric.ai_flags |= AI_NUMERICHOST;
  numeric.ai_flags &= ~AI_ADDRCONFIG;
  addrinfo* result = nullptr;
  if (::getaddrinfo(a.host.c_str(), service.c_str(), &numeric, &result) == 0) return result;
  auto lookup = std::make_shared<Lookup>();
  try {
    std::thread([lookup, host = a.host, service, hints] {
      addrinfo* r = nullptr;
      const int status = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &r);
      std::lock_guard lock(lookup->mutex);
      if (lookup->abandoned) {
        if (r) ::freeaddrinfo(r);
        return;
      }
      lookup->status = status;
      lookup->result = r;
      lookup->finished = true;
      lookup->done.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    why = "a gép nevét nem sikerült feloldani (nem indult el a névfeloldás)";
    return nullptr;
  }
  std::unique_lock lock(lookup->mutex);
  if (!lookup->done.wait_until(lock, deadline, [&] { return lookup->finished; })) {
    lookup->abandoned = true;
    why = "a(z) \"" + a.host + "\" gép nevének feloldása nem ért véget " + SecondsText(timeoutMs) +
          " alatt";
    return nullptr;
  }
  switch (lookup->status) {
    case 0:
      return lookup->result;
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
      why = "nincs \"" + a.host + "\" nevű gép";
      break;
    case EAI_AGAIN:
      why = "a(z) \"" + a.host +
            "\" gép nevét most nem sikerült feloldani (a névszerver nem válaszolt)";
      break;
    case EAI_FAIL:
      why = "a(z) \"" + a.host +
            "\" gép nevét nem sikerült feloldani (a névszerver végleges hibát jelzett)";
      break;
    case EAI_MEMORY:
      why = "a(z) \"" + a.host + "\" gép nevét nem sikerült feloldani (nincs elég memória)";
      break;
    default:
      why = "a(z) \"" + a.host + "\" gép nevét nem sikerült feloldani (névfeloldási hiba " +
            std::to_string(lookup->status) + ")";
  }
  return nullptr;
}

// Connects to one address by the deadline. Returns the socket, or -1 with the error.
int ConnectOne(const addrinfo* ai, Clock::time_point deadline, int& error) {
  const int fd =
      ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) {
      error = errno;
      ::close(fd);
      return -1;
    }
    pollfd p{fd, POLLOUT, 0};
    int r = 0;
    for (int tries = 0; tries < 100; ++tries) {
      r = ::poll(&p, 1, MsLeft(deadline));
      if (r >= 0 || errno != EINTR) break;
    }
    if (r <= 0) {
      error = r == 0 ? ETIMEDOUT : errno;
      ::close(fd);
      return -1;
    }
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) soError = errno;
    if (soError != 0) {
      error = soError;
      ::close(fd);
      return -1;
    }
  }
  // Requests and replies are short: each goes out at once rather than waiting for more.
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
  return fd;
}

const char* SettingName(uint8_t command) {
  switch (command) {
    case telnet::kSetBaudRate:
      return "sebesség";
    case telnet::kSetDataSize:
      return "adatbitek";
    case telnet::kSetParity:
      return "paritás";
    case telnet::kSetStopSize:
      return "stopbitek";
    default:
      return "vezérlés";
  }
}

std::string ValueText(uint8_t command, const Bytes& value) {
  if (command == telnet::kSetBaudRate) return std::to_string(telnet::BaudOf(value));
  if (value.size() != 1) return "?";
  const int v = value[0];
  switch (command) {
    case telnet::kSetParity: {
      static const char* kNames[] = {"?", "nincs", "páratlan", "páros", "mark", "space"};
      return v >= 1 && v <= 5 ? kNames[v] : std::to_string(v);
    }
    case telnet::kSetStopSize:
      return v == 3 ? "1,5" : std::to_string(v);
    case telnet::kSetControl:
      switch (v) {
        case telnet::kControlNoFlow:
          return "nincs áramlásvezérlés";
        case telnet::kControlXonXoff:
          return "XON/XOFF áramlásvezérlés";
        case telnet::kControlHardware:
          return "hardveres áramlásvezérlés";
        case telnet::kControlDtrOn:
          return "DTR be";
        case telnet::kControlDtrOff:
          return "DTR ki";
        case telnet::kControlRtsOn:
          return "RTS be";
        case telnet::kControlRtsOff:
          return "RTS ki";
        default:
          return std::to_string(v);
      }
    default:
      return std::to_string(v);
  }
}

class NetLine : public PortLine {
 public:
  NetLine(int fd, const NetAddress& address)
      : fd_(fd), address_(address), decoder_(address.comPort) {
    heldFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    answerFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  }
  ~NetLine() override {
    ::close(fd_);
    if (heldFd_ >= 0) ::close(heldFd_);
    if (answerFd_ >= 0) ::close(answerFd_);
  }

  bool Valid() const { return heldFd_ >= 0 && answerFd_ >= 0; }

  // Offers the options and waits for the server to take the com-port option.
  int Negotiate(Clock::time_point deadline, std::string& detail) {
    std::unique_lock lock(mutex_);
    const Bytes offer = decoder_.Offer();
    out_.insert(out_.end(), offer.begin(), offer.end());
    Flush();
    for (int rounds = 0; rounds < 10000; ++rounds) {
      Pull();
      if (decoder_.ComPortAgreed()) return 0;
      if (decoder_.ComPortRefused()) {
        detail = " – a(z) " + address_.Text() +
                 " soros szerver nem vállalja a port beállítását (RFC 2217); nyers TCP-n a "
                 "socket:// cím használható";
        return EPROTONOSUPPORT;
      }
      if (eof_) {
        detail = " – a(z) " + address_.Text() + " szerver bontotta a kapcsolatot";
        return lastError_ ? lastError_ : ECONNRESET;
      }
      const int left = MsLeft(deadline);
      if (left == 0) break;
      lock.unlock();
      pollfd p{fd_, POLLIN, 0};
      ::poll(&p, 1, left);
      lock.lock();
    }
    detail = " – a(z) " + address_.Text() +
             " szerver nem válaszolt a port beállításának ajánlatára (RFC 2217)";
    return ETIMEDOUT;
  }

  int Fd() const override { return fd_; }
  int HeldInputFd() const override { return heldFd_; }
  bool Gone() const override {
    std::lock_guard lock(mutex_);
    return eof_ && in_.empty();
  }

  ssize_t Read(uint8_t* buffer, size_t count) override {
    std::lock_guard lock(mutex_);
    if (in_.empty()) Pull();
    if (!in_.empty()) {
      const size_t n = std::min(count, in_.size());
      std::copy(in_.begin(), in_.begin() + static_cast<long>(n), buffer);
      in_.erase(in_.begin(), in_.begin() + static_cast<long>(n));
      SignalHeld();
      return static_cast<ssize_t>(n);
    }
    errno = eof_ ? LastError() : EAGAIN;
    return -1;
  }

  ssize_t Write(const uint8_t* bytes, size_t count) override {
    std::lock_guard lock(mutex_);
    if (eof_) {
      errno = LastError();
      return -1;
    }
    if (!Flush()) {
      errno = LastError();
      return -1;
    }
    if (!out_.empty()) {
      errno = EAGAIN;
      return -1;
    }
    if (address_.comPort) {
      const Bytes escaped = telnet::EscapeData(bytes, count);
      out_.insert(out_.end(), escaped.begin(), escaped.end());
    } else {
      out_.insert(out_.end(), bytes, bytes + count);
    }
    // The bytes are the line's now; what the socket did not take goes with the next call.
    if (!Flush()) {
      errno = LastError();
      return -1;
    }
    return static_cast<ssize_t>(count);
  }

  short Wait(short events, int timeoutMs) override {
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (int rounds = 0; rounds < 100000; ++rounds) {
      short socketEvents = 0;
      {
        std::lock_guard lock(mutex_);
        if (events & POLLIN) {
          if (in_.empty()) Pull();
          if (!in_.empty()) return POLLIN;
        }
        if (eof_) return POLLHUP;
        if (events & POLLOUT) {
          if (!Flush()) return POLLHUP;
          if (out_.empty()) return POLLOUT;
          socketEvents |= POLLOUT;
        }
        if (events & POLLIN) socketEvents |= POLLIN;
      }
      const int wait = timeoutMs < 0 ? -1 : MsLeft(deadline);
      if (timeoutMs >= 0 && wait == 0 && rounds > 0) return 0;
      // Input another thread took off the socket since the look above shows on the held
      // descriptor; watching only the socket would sleep through it.
      pollfd p[2] = {{fd_, socketEvents, 0}, {heldFd_, POLLIN, 0}};
      const int r = ::poll(p, (events & POLLIN) ? 2 : 1, wait);
      if (r == 0) return 0;
      if (r < 0 && errno != EINTR) return POLLERR;
    }
    return 0;
  }

  int ApplyControl(const platform::DeviceControl& c) override {
    if (!address_.comPort) return 0;  // a raw stream carries no settings; the server's stand
    std::vector<std::pair<uint8_t, Bytes>> wanted;
    auto want = [&](uint8_t command, Bytes value) {
      wanted.emplace_back(command, std::move(value));
    };
    want(telnet::kSetBaudRate, telnet::BaudValue(c.baud));
    want(telnet::kSetDataSize, {static_cast<uint8_t>(5 + c.dataBits)});
    static const uint8_t kParity[] = {1, 2, 3, 4, 5};
    want(telnet::kSetParity, {kParity[c.parity]});
    static const uint8_t kStop[] = {1, 3, 2};
    want(telnet::kSetStopSize, {kStop[c.stopBits]});
    const bool hardware = c.outCtsFlow || c.rts == rtsHandshake;
    want(telnet::kSetControl, {hardware                        ? telnet::kControlHardware
                               : (c.xonXoffIn || c.xonXoffOut) ? telnet::kControlXonXoff
                                                               : telnet::kControlNoFlow});
    want(telnet::kSetControl,
         {c.dtr != dtrDisable ? telnet::kControlDtrOn : telnet::kControlDtrOff});
    if (c.rts != rtsHandshake)
      want(telnet::kSetControl,
           {c.rts != rtsDisable ? telnet::kControlRtsOn : telnet::kControlRtsOff});

    // The modem lines first: a server whose port has no such lines (a pseudo-terminal)
    // leaves them unanswered, as a local port without them takes them silently, and by the
    // time the settings after them are answered, any answer to them has come.
    std::stable_partition(wanted.begin(), wanted.end(),
                          [](const auto& w) { return IsModemLine(w); });
    std::unique_lock lock(mutex_);
    failure_.clear();
    // Only what differs from what the server last agreed to goes out: every setting costs
    // a round trip.
    std::vector<std::pair<uint8_t, Bytes>> asked;
    size_t awaited = 0;
    for (const auto& w : wanted) {
      if (std::find(agreed_.begin(), agreed_.end(), w) != agreed_.end()) continue;
      asked.push_back(w);
      if (!IsModemLine(w)) ++awaited;
      const Bytes command = telnet::ComPortCommand(w.first, w.second);
      out_.insert(out_.end(), command.begin(), command.end());
    }
    if (asked.empty()) return 0;
    answers_.clear();
    DrainAnswerSignal();
    if (!Flush()) return LastError();
    auto answered = [&] {
      size_t n = 0;
      for (const auto& a : asked) {
        if (!IsModemLine(a) && AnswerTo(a)) ++n;
      }
      return n;
    };
    const auto deadline = Clock::now() + std::chrono::milliseconds(kNetSettingMs);
    for (int rounds = 0; rounds < 10000; ++rounds) {
      Pull();
      if (answered() >= awaited || eof_) break;
      const int left = MsLeft(deadline);
      if (left == 0) break;
      lock.unlock();
      // The event thread may take the answer off the socket first; it then says so here.
      pollfd p[2] = {{fd_, POLLIN, 0}, {answerFd_, POLLIN, 0}};
      ::poll(p, 2, left);
      lock.lock();
      DrainAnswerSignal();
    }
    if (eof_ && answered() < awaited) return LastError();
    for (const auto& a : asked) {
      const auto& [command, value] = a;
      const telnet::ComReport* answer = AnswerTo(a);
      if (!answer && IsModemLine(a)) {
        // Taken silently, as a local port without such lines takes them.
        Remember(command, value);
        continue;
      }
      if (!answer) {
        failure_ = " – a(z) " + address_.Text() + " soros szerver nem válaszolt " +
                   std::to_string(kNetSettingMs / 1000) +
                   " másodpercen belül erre: " + SettingName(command) + " " +
                   ValueText(command, value);
        agreed_.clear();
        return ETIMEDOUT;
      }
      if (answer->value != value) {
        failure_ = " – a(z) " + address_.Text() +
                   " soros szerver nem fogadta el: " + SettingName(command) + " " +
                   ValueText(command, value) +
                   " (válasza: " + ValueText(answer->command, answer->value) + ")";
        // Whatever it did set is no longer known.
        agreed_.clear();
        return EPROTO;
      }
      Remember(command, value);
    }
    return 0;
  }

  int ModemStatus(uint32_t& bits, bool& supported) override {
    std::lock_guard lock(mutex_);
    Pull();
    bits = 0;
    // A raw stream has no modem lines, like a pseudo-terminal; through the com-port option
    // they are all off until the server tells otherwise.
    supported = address_.comPort;
    if (modemState_ & telnet::kCts) bits |= msCTS;
    if (modemState_ & telnet::kDsr) bits |= msDSR;
    if (modemState_ & telnet::kRing) bits |= msRing;
    if (modemState_ & telnet::kCarrier) bits |= msRLSD;
    return 0;
  }

  int QueuedInput(int& count) override {
    std::lock_guard lock(mutex_);
    Pull();
    count = static_cast<int>(std::min<size_t>(in_.size(), 1 << 30));
    return 0;
  }

  int QueuedOutput(int& count) override {
    std::lock_guard lock(mutex_);
    Flush();
    int unsent = 0;
    if (::ioctl(fd_, SIOCOUTQNSD, &unsent) != 0) unsent = 0;
    count = static_cast<int>(out_.size()) + unsent;
    return 0;
  }

  int LineErrorCounts(platform::LineCounts& counts, bool& supported) override {
    std::lock_guard lock(mutex_);
    Pull();
    supported = address_.comPort;
    counts = counts_;
    return 0;
  }

  int Purge() override {
    std::lock_guard lock(mutex_);
    Pull();
    in_.clear();
    SignalHeld();
    if (address_.comPort && !eof_) {
      // Both the server's queues; its answer needs no waiting for.
      const Bytes command = telnet::ComPortCommand(telnet::kPurgeData, {3});
      out_.insert(out_.end(), command.begin(), command.end());
      Flush();
    }
    return 0;
  }

  int GoneError() const override {
    std::lock_guard lock(mutex_);
    return LastError();
  }

  std::string FailureDetail() const override {
    std::lock_guard lock(mutex_);
    return failure_;
  }

 private:
  // Holds the mutex.
  int LastError() const { return lastError_ ? lastError_ : ECONNRESET; }

  // A setting's kind: the command, and for a control setting which of flow, break, DTR
  // and RTS it is about (the server answers each with a value of the same range).
  static int Kind(uint8_t command, const Bytes& value) {
    if (command != telnet::kSetControl || value.size() != 1) return command * 10;
    const uint8_t v = value[0];
    return telnet::kSetControl * 10 + (v <= 3 ? 0 : v <= 6 ? 1 : v <= 9 ? 2 : 3);
  }
  static int Kind(const std::pair<uint8_t, Bytes>& s) { return Kind(s.first, s.second); }
  static bool IsModemLine(const std::pair<uint8_t, Bytes>& s) {
    const int k = Kind(s);
    return k == telnet::kSetControl * 10 + 2 || k == telnet::kSetControl * 10 + 3;
  }

  // The server's latest answer of the setting's kind. Holds the mutex.
  const telnet::ComReport* AnswerTo(const std::pair<uint8_t, Bytes>& s) const {
    const int k = Kind(s);
    for (auto it = answers_.rbegin(); it != answers_.rend(); ++it) {
      if (Kind(it->command, it->value) == k) return &*it;
    }
    return nullptr;
  }

  // A newer setting of a kind replaces the older.
  void Remember(uint8_t command, const Bytes& value) {
    const std::pair<uint8_t, Bytes> setting{command, value};
    std::erase_if(agreed_, [&](const auto& s) { return Kind(s) == Kind(setting); });
    agreed_.push_back(setting);
  }

  // Takes what the socket holds now. Holds the mutex.
  void Pull() {
    if (eof_) return;
    uint8_t buffer[4096];
    for (int reads = 0; reads < 64; ++reads) {
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) {
        if (address_.comPort) {
          std::vector<telnet::ComReport> reports;
          Bytes reply;
          decoder_.Feed(buffer, static_cast<size_t>(n), in_, reports, reply);
          out_.insert(out_.end(), reply.begin(), reply.end());
          for (auto& r : reports) Report(std::move(r));
        } else {
          in_.insert(in_.end(), buffer, buffer + n);
        }
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      lastError_ = n < 0 ? errno : ECONNRESET;
      eof_ = true;
      break;
    }
    if (!out_.empty()) Flush();
    SignalHeld();
  }

  void Report(telnet::ComReport r) {
    switch (r.command) {
      case telnet::kNotifyModemState:
        if (r.value.size() == 1) {
          modemState_ = r.value[0];
        }
        return;
      case telnet::kNotifyLineState:
        if (r.value.size() == 1) {
          const uint8_t s = r.value[0];
          if (s & telnet::kOverrun) ++counts_.overrun;
          if (s & telnet::kParityError) ++counts_.parity;
          if (s & telnet::kFramingError) ++counts_.frame;
          if (s & telnet::kBreak) ++counts_.brk;
        }
        return;
      case telnet::kSetBaudRate:
      case telnet::kSetDataSize:
      case telnet::kSetParity:
      case telnet::kSetStopSize:
      case telnet::kSetControl:
        // Bounded: only answers to what was asked are waited for.
        if (answers_.size() < 64) answers_.push_back(std::move(r));
        {
          const uint64_t one = 1;
          [[maybe_unused]] ssize_t n = ::write(answerFd_, &one, sizeof one);
        }
        return;
      default:
        return;
    }
  }

  // Sends what waits to go; false when the connection has gone. Holds the mutex.
  bool Flush() {
    if (eof_) return false;
    size_t sent = 0;
    for (int tries = 0; tries < 64 && sent < out_.size(); ++tries) {
      const ssize_t n =
          ::send(fd_, out_.data() + sent, out_.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      lastError_ = n < 0 ? errno : ECONNRESET;
      eof_ = true;
      out_.clear();
      return false;
    }
    out_.erase(out_.begin(), out_.begin() + static_cast<long>(sent));
    return true;
  }

  void DrainAnswerSignal() {
    uint64_t v = 0;
    [[maybe_unused]] ssize_t n = ::read(answerFd_, &v, sizeof v);
  }

  // Keeps the held-input descriptor readable exactly while input is held. Holds the mutex.
  void SignalHeld() {
    const bool held = !in_.empty();
    if (held == heldSignalled_) return;
    uint64_t v = 1;
    if (held) {
      [[maybe_unused]] ssize_t n = ::write(heldFd_, &v, sizeof v);
    } else {
      [[maybe_unused]] ssize_t n = ::read(heldFd_, &v, sizeof v);
    }
    heldSignalled_ = held;
  }

  const int fd_;
  const NetAddress address_;
  int heldFd_ = -1;
  int answerFd_ = -1;  // readable once a setting's answer has come, whoever took it in
  mutable std::mutex mutex_;
  telnet::Decoder decoder_;
  Bytes in_;
  Bytes out_;
  bool heldSignalled_ = false;
  bool eof_ = false;
  int lastError_ = 0;
  uint8_t modemState_ = 0;
  platform::LineCounts counts_;
  std::vector<telnet::ComReport> answers_;
  std::vector<std::pair<uint8_t, Bytes>> agreed_;
  std::string failure_;
};

}  // namespace

std::unique_ptr<PortLine> OpenNetLine(const std::string& portName, int& error, std::string& detail,
                                      int timeoutMs) {
  const std::optional<NetAddress> address = ParseNetAddress(portName);
  if (!address) {
    error = EINVAL;
    detail = " – hibás hálózati cím: \"" + portName +
             "\" (a helyes alak socket://GÉP:PORT vagy rfc2217://GÉP:PORT)";
    return nullptr;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string why;
  addrinfo* list = Resolve(*address, deadline, timeoutMs, why);
  if (!list) {
    error = -1;
    detail = " – a(z) " + address->Text() + " hálózati cím nem érhető el: " + why;
    return nullptr;
  }
  int fd = -1;
  int lastError = ETIMEDOUT;
  for (const addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next) {
    if (MsLeft(deadline) == 0) break;
    fd = ConnectOne(ai, deadline, lastError);
  }
  ::freeaddrinfo(list);
  if (fd < 0) {
    error = lastError;
    detail = " – nem sikerült kapcsolódni a(z) " + address->Text() + " hálózati címhez";
    if (lastError == ETIMEDOUT) detail += " " + SecondsText(timeoutMs) + "en belül";
    return nullptr;
  }
  auto line = std::make_unique<NetLine>(fd, *address);
  if (!line->Valid()) {
    error = errno;
    return nullptr;
  }
  if (address->comPort) {
    if (const int err = line->Negotiate(deadline, detail); err != 0) {
      error = err;
      return nullptr;
    }
  }
  return line;
}

}  // namespace tarvelo
