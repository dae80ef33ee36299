// What the transfer benchmarks share: a host that stays out of the way and a proxy that holds
// every byte back for a while.
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
#include "tools/Ser2netProcess.h"

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
