// The device simulator in a child process, as the tests and the benchmarks run it. The
// simulator prints the name of its pseudo-terminal once it is ready (after making the
// --link, if it was given one); SIGTERM ends it and it saves its memory.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace tarvelo {

// How the simulator ends: its exit statuses.
enum DevsimExit : int {
  kDevsimDone = 0,      // ended by SIGINT or SIGTERM with its memory saved; also --help
  kDevsimUsage = 1,     // an option it does not know or a value it cannot take
  kDevsimFailed = 2,    // a file it cannot read or save, or no pseudo-terminal for it
  kDevsimNotRun = 127,  // the program could not be started at all
};

class DevsimProcess {
 public:
  DevsimProcess(const std::string& program, const std::vector<std::string>& args) {
    // Made before the fork: a child of a threaded program may not allocate before exec.
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      execv(program.c_str(), argv.data());
      _exit(kDevsimNotRun);
    }
    close(out[1]);
    // One line; a simulator that did not start closes the pipe without one, and one that
    // hangs is given up after kStartMs.
    char c = 0;
    std::string line;
    pollfd ready{out[0], POLLIN, 0};
    while (pid_ > 0 && line.size() < 4096 && poll(&ready, 1, kStartMs) == 1 &&
           read(out[0], &c, 1) == 1 && c != '\n') {
      line += c;
    }
    close(out[0]);
    if (c == '\n') path = line;
    if (path.empty()) std::fprintf(stderr, "no simulator from %s\n", program.c_str());
  }
  DevsimProcess(const DevsimProcess&) = delete;
  DevsimProcess& operator=(const DevsimProcess&) = delete;
  ~DevsimProcess() { Stop(); }

  // Ends the simulator and waits until it has saved its memory.
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // The simulator's pseudo-terminal; empty when it did not start.
  std::string path;

 private:
  static constexpr int kStartMs = 10000;
  pid_t pid_ = -1;
};

}  // namespace tarvelo
