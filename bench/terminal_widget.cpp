// The terminal control under a 115200-baud flood: a child process writes numbered lines into
// a pseudo-terminal at the line's pace, the control reads them through the serial port on
// the other side, and every paint notes how long ago the newest line it shows was written.
// Prints the process's CPU share and that lag against their goals (below 10 % of one core;
// within 50 ms).
//
//   bench_terminal_widget [SECONDS]      (the offscreen platform unless QT_QPA_PLATFORM says)
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ui/ComTerminal.h"

using namespace tarvelo;

namespace {

constexpr int kBytesPerSecond = 115200 / 10;
constexpr int kLineBytes = 80;

long long NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000000000LL + t.tv_nsec;
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// One line: a bold number, padding, and the time it was written at its end, so a row that
// shows the time is a row that has fully arrived. 80 bytes with CR LF.
std::string Line(int number, long long writtenNs) {
  char head[32];
  std::snprintf(head, sizeof head, "\033[1mL%06d\033[0m ", number);
  char tail[32];
  std::snprintf(tail, sizeof tail, " T=%019lld\r\n", writtenNs);
  std::string line = head;
  line.append(kLineBytes - line.size() - std::strlen(tail), '.');
  return line + tail;
}

// Writes lines at the line's pace until `seconds` have passed, in 2 ms steps as a serial
// driver hands them on.
[[noreturn]] void Flood(int master, double seconds) {
  const long long start = NowNs();
  const long long end = start + static_cast<long long>(seconds * 1e9);
  long long sent = 0;
  std::string pending;
  int number = 0;
  while (NowNs() < end) {
    const long long due = (NowNs() - start) * kBytesPerSecond / 1000000000LL;
    while (sent + static_cast<long long>(pending.size()) < due) pending += Line(number++, NowNs());
    const long long now = due - sent;
    if (now > 0) {
      const ssize_t n = write(master, pending.data(), static_cast<size_t>(now));
      if (n > 0) {
        pending.erase(0, static_cast<size_t>(n));
        sent += n;
      }
    }
    usleep(2000);
  }
  // Lines that went out whole; the last one may have been cut off by the end.
  std::printf("%lld\n", sent / kLineBytes);
  std::fflush(stdout);
  _exit(0);
}

// The control with a probe on its paints.
class Probe : public TComTerminal {
 public:
  std::vector<double> lagsMs;
  int newest = -1;
  int paints = 0;
  bool measuring = false;

 protected:
  void paintEvent(QPaintEvent* event) override {
    TComTerminal::paintEvent(event);
    ++paints;
    if (!measuring) return;
    for (int row = Rows(); row >= 1; --row) {
      std::string text;
      for (const TermCell& c : state().Line(row)) text += c.ch ? static_cast<char>(c.ch) : ' ';
      const size_t at = text.find(" T=");
      if (text[0] != 'L' || at == std::string::npos || text.size() < at + 3 + 19 ||
          text[at + 3 + 18] == ' ')
        continue;
      const long long written = std::atoll(text.c_str() + at + 3);
      const int number = std::atoi(text.c_str() + 1);
      if (number > newest) {
        newest = number;
        lagsMs.push_back((NowNs() - written) / 1e6);
      }
      break;
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  QApplication app(argc, argv);

  int master = -1, slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  termios t{};
  tcgetattr(master, &t);
  cfmakeraw(&t);
  tcsetattr(master, TCSANOW, &t);

  DeviceConnection connection;
  connection.SetHandOver([&app](std::function<void()> f) {
    QMetaObject::invokeMethod(&app, std::move(f), Qt::QueuedConnection);
  });
  Probe term;
  term.SetColumns(80);
  term.SetRows(24);
  term.SetAutoSize(true);
  term.SetConnection(&connection);
  // TARVELO_BENCH_HIDDEN=1: the control is not shown, for the cost of reading alone.
  if (qEnvironmentVariableIsEmpty("TARVELO_BENCH_HIDDEN")) term.show();
  connection.BeginTransfer(name, br115200);

  int toChild[2];
  if (pipe(toChild) != 0) return 1;
  const pid_t child = fork();
  if (child == 0) {
    dup2(toChild[1], 1);
    Flood(master, seconds);
  }
  close(toChild[1]);

  const double cpuStart = CpuSeconds();
  const long long start = NowNs();
  term.measuring = true;
  QTimer::singleShot(static_cast<int>(seconds * 1000) + 300, &app, &QApplication::quit);
  app.exec();
  const double elapsed = (NowNs() - start) / 1e9;
  const double cpu = CpuSeconds() - cpuStart;
  term.measuring = false;

  char written[32] = {};
  [[maybe_unused]] ssize_t n = read(toChild[0], written, sizeof written - 1);
  waitpid(child, nullptr, 0);
  connection.EndTransfer();
  term.SetConnection(nullptr);
  const int lines = std::atoi(written);

  std::vector<double> lags = term.lagsMs;
  std::sort(lags.begin(), lags.end());
  const auto at = [&lags](double q) {
    return lags.empty() ? 0.0
                        : lags[std::min(lags.size() - 1, static_cast<size_t>(q * lags.size()))];
  };
  const double share = 100.0 * cpu / elapsed;
  std::printf(
      "terminal control under a 115200-baud flood: %.1f s, %d lines written, newest shown %d\n",
      seconds, lines, term.newest);
  std::printf("  paints: %d (%.0f a second), lines seen in a paint as the newest: %zu\n",
              term.paints, term.paints / elapsed, lags.size());
  std::printf("  CPU share: %.1f %% of one core (goal below 10 %%): ratio %.2f\n", share,
              share / 10.0);
  std::printf(
      "  newest line shown after arrival: median %.1f ms, 99th %.1f ms, max %.1f ms"
      " (goal within 50 ms): ratio %.2f\n",
      at(0.5), at(0.99), lags.empty() ? 0.0 : lags.back(),
      (lags.empty() ? 0.0 : lags.back()) / 50.0);
  const bool complete = term.newest == lines - 1;
  if (!complete)
    std::printf("  NOT ALL LINES SHOWN: the last line shown is %d of %d\n", term.newest, lines);
  return complete ? 0 : 1;
}
