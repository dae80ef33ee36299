// A pseudo-terminal pair: the port opens the slave by its path, the test plays the device
// on the master.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace tarvelo {

struct PtyPair {
  int master = -1;
  int slave = -1;  // kept open so the line does not hang up between opens
  std::string path;

  PtyPair() {
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
      path = name;
      termios t{};
      tcgetattr(master, &t);
      cfmakeraw(&t);
      tcsetattr(master, TCSANOW, &t);
      fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
  }
  ~PtyPair() {
    CloseMaster();
    if (slave >= 0) close(slave);
  }
  void CloseMaster() {
    if (master >= 0) close(master);
    master = -1;
  }
  void Send(const std::string& bytes) const {
    [[maybe_unused]] ssize_t n = write(master, bytes.data(), bytes.size());
  }
  // Plays a device that sends faster than the port drains: everything goes out as soon as
  // the line takes it. False when the line took nothing for `stallMs`.
  bool SendAll(const std::string& bytes, int stallMs = 2000) const {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      pollfd p{master, POLLOUT, 0};
      if (poll(&p, 1, stallMs) <= 0) return false;
    }
    return true;
  }
  // What the port wrote, waiting up to `ms` for the first byte.
  std::string Received(int ms = 1000) const {
    std::string out;
    pollfd p{master, POLLIN, 0};
    while (poll(&p, 1, out.empty() ? ms : 20) > 0) {
      char buf[4096];
      const ssize_t n = read(master, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, n);
    }
    return out;
  }
};

}  // namespace tarvelo
