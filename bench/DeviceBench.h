// What the transfer benchmarks share: the device simulator in a child process, and a host
// that stays out of the way.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "link/Connection.h"
#include "link/Transfers.h"

namespace tarvelo::bench {

// The simulator on its own pseudo-terminal; `path` is empty when it did not start.
struct Simulator {
  pid_t pid = -1;
  std::string path;

  Simulator(const char* devsim, const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0) return;
    pid = fork();
    if (pid == 0) {
      dup2(out[1], STDOUT_FILENO);
      std::vector<char*> argv = {const_cast<char*>(devsim)};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(devsim, argv.data());
      _exit(127);
    }
    close(out[1]);
    char buf[256] = {};
    const ssize_t n = read(out[0], buf, sizeof buf - 1);
    close(out[0]);
    if (n > 1) path.assign(buf, static_cast<size_t>(n - 1));
    if (path.empty()) std::fprintf(stderr, "no simulator at %s\n", devsim);
  }
  // Ends the simulator, which saves its memory.
  void Stop() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }
  ~Simulator() { Stop(); }
};

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

}  // namespace tarvelo::bench
