// What the transfer benchmarks share: a host that stays out of the way, a serial device
// server in front of the simulator, and a proxy that holds every byte back for a while.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include "files/SafeFile.h"
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

// A TCP port on the loopback address nobody listens on just now.
inline int FreeTcpPort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(s);
  return port;
}

// Whether something listens on the loopback port, seen without connecting: a connection
// would have ser2net open the device, and one that closes at once keeps it busy a while.
inline bool Listening(int port) {
  std::ifstream in("/proc/net/tcp");
  char hex[8];
  std::snprintf(hex, sizeof hex, ":%04X", port);
  std::string line;
  for (int i = 0; i < 10000 && std::getline(in, line); ++i) {
    std::istringstream fields(line);
    std::string sl, local, remote, state;
    fields >> sl >> local >> remote >> state;  // state 0A is LISTEN
    if (local.size() > 5 && local.compare(local.size() - 5, 5, hex) == 0 && state == "0A")
      return true;
  }
  return false;
}

// ser2net serving one serial device as raw TCP on one port and as RFC 2217 on another,
// started from its own configuration file; empty ports when it is not installed or did not
// come up. As installed, ser2net holds a reply's bytes back a little to send them together
// and lets the system gather small sends (some 20 to 30 ms a turn on this machine); `prompt`
// turns both off, as a server meant for request and reply would be set up.
class Ser2net {
 public:
  Ser2net(const std::string& device, long baud, bool prompt) {
    raw = FreeTcpPort();
    rfc2217 = FreeTcpPort();
    config_ = "/tmp/tarvelo-bench-ser2net-" + std::to_string(getpid()) + ".yaml";
    const std::string tcp = prompt ? "tcp(nodelay)" : "tcp";
    const std::string line = "  connector: serialdev," + device + "," + std::to_string(baud) +
                             "n81,local\n" + (prompt ? "  options:\n    chardelay: false\n" : "");
    const std::string yaml = "connection: &raw\n  accepter: " + tcp + ",127.0.0.1," +
                             std::to_string(raw) + "\n" + line +
                             "connection: &rfc2217\n  accepter: telnet(rfc2217)," + tcp +
                             ",127.0.0.1," + std::to_string(rfc2217) + "\n" + line;
    if (!WriteFileAtomically(config_, yaml).ok) return;
    const char* const argv[] = {"ser2net", "-n", "-u", "-c", config_.c_str(), nullptr};
    pid_ = fork();
    if (pid_ == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      execvp("ser2net", const_cast<char* const*>(argv));
      _exit(127);
    }
    for (int i = 0; i < 100 && pid_ > 0; ++i) {
      if (Listening(raw) && Listening(rfc2217)) return;
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) break;
      usleep(50000);
    }
    Stop();
    raw = rfc2217 = 0;
  }
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;
  ~Ser2net() {
    Stop();
    unlink(config_.c_str());
  }
  bool up() const { return raw > 0; }

  int raw = 0, rfc2217 = 0;

 private:
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  std::string config_;
  pid_t pid_ = -1;
};

// Listens on a loopback port and passes each connection on to `target`, holding every byte
// back half a round trip in each direction, as a VPN between the installer and the device
// server would. One connection at a time.
class DelayProxy {
 public:
  DelayProxy(int target, int roundTripMs) : target_(target), halfMs_(roundTripMs / 2) {
    listen_ = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    if (bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listen_, 4) != 0 ||
        getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return;
    port = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  DelayProxy(const DelayProxy&) = delete;
  DelayProxy& operator=(const DelayProxy&) = delete;
  ~DelayProxy() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    close(listen_);
  }

  int port = 0;

 private:
  using Clock = std::chrono::steady_clock;
  struct Held {
    Clock::time_point due;
    std::string bytes;
  };

  static sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
  }

  void Serve() {
    while (!stop_) {
      pollfd p{listen_, POLLIN, 0};
      if (poll(&p, 1, 50) != 1) continue;
      const int client = accept(listen_, nullptr, nullptr);
      if (client < 0) continue;
      const int server = socket(AF_INET, SOCK_STREAM, 0);
      const sockaddr_in a = Loopback(target_);
      if (connect(server, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
        Pass(client, server);
      }
      close(server);
      close(client);
    }
  }

  // Both directions until either side closes; bounded by the stop request.
  void Pass(int client, int server) {
    const int one = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const int fds[2] = {client, server};
    std::deque<Held> held[2];  // bytes from fds[i], going to fds[1 - i]
    char buf[4096];
    while (!stop_) {
      const Clock::time_point now = Clock::now();
      int waitMs = 50;
      for (int i = 0; i < 2; ++i) {
        std::deque<Held>& q = held[i];
        while (!q.empty() && q.front().due <= now) {
          if (write(fds[1 - i], q.front().bytes.data(), q.front().bytes.size()) < 0) return;
          q.pop_front();
        }
        if (!q.empty()) {
          const auto left =
              std::chrono::duration_cast<std::chrono::milliseconds>(q.front().due - now).count();
          waitMs = std::min<int>(waitMs, static_cast<int>(left) + 1);
        }
      }
      pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (poll(p, 2, waitMs) <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = read(fds[i], buf, sizeof buf);
        if (n <= 0) return;
        held[i].push_back(
            {Clock::now() + std::chrono::milliseconds(halfMs_), std::string(buf, buf + n)});
      }
    }
  }

  int target_;
  int halfMs_;
  int listen_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tarvelo::bench
