// The terminal control under a 115200-baud flood: a child process writes numbered lines into
// a pseudo-terminal at the line's pace and notes when the last byte of each went out; the
// control reads them through the serial port on the other side. Every paint notes which
// complete lines the picture it shows holds, so each line's delay is timed from its last byte
// to the first paint that shows it. Prints the process's CPU share (split by thread, and user
// against system time) and those delays, each against its goal (below 5 % of one core;
// every line within 50 ms), as ratios.
//
//   bench_terminal_widget [SECONDS]      (the offscreen platform unless QT_QPA_PLATFORM says;
//                                         DISPLAY=:63 QT_QPA_PLATFORM=xcb under Xvfb)
#include <dirent.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QPaintEvent>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ui/ComTerminal.h"

using namespace tarvelo;

namespace {

constexpr int kBytesPerSecond = 115200 / 10;
constexpr int kLineBytes = 80;
constexpr double kCpuGoalPercent = 5.0;
constexpr double kDelayGoalMs = 50.0;

long long NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000000000LL + t.tv_nsec;
}

struct Cpu {
  double user = 0;
  double system = 0;
};

Cpu ProcessCpu() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return {u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6,
          u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6};
}

// CPU seconds (user, system) of each thread of this process, by thread id.
std::map<int, std::pair<std::string, Cpu>> ThreadCpu() {
  std::map<int, std::pair<std::string, Cpu>> out;
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  DIR* dir = opendir("/proc/self/task");
  if (!dir) return out;
  for (int guard = 0; guard < 1000; ++guard) {
    const dirent* e = readdir(dir);
    if (!e) break;
    if (e->d_name[0] == '.') continue;
    const std::string base = std::string("/proc/self/task/") + e->d_name;
    std::ifstream stat(base + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(text.substr(close + 2));
    std::string skip;
    // state ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt, then utime stime
    for (int i = 0; i < 11; ++i) fields >> skip;
    long long utime = 0, stime = 0;
    fields >> utime >> stime;
    std::string comm = text.substr(text.find('(') + 1, close - text.find('(') - 1);
    out[std::atoi(e->d_name)] = {comm, {utime / tick, stime / tick}};
  }
  closedir(dir);
  return out;
}

// One line: a bold number, padding and the number again at its end, so a row that shows the
// second number is a row that has fully arrived. 80 bytes with CR LF.
std::string Line(int number) {
  char head[32];
  std::snprintf(head, sizeof head, "\033[1mL%06d\033[0m ", number);
  char tail[32];
  std::snprintf(tail, sizeof tail, " #%06d\r\n", number);
  std::string line = head;
  line.append(kLineBytes - line.size() - std::strlen(tail), '.');
  return line + tail;
}

// Writes lines at the line's pace until `seconds` have passed, in 2 ms steps as a serial
// driver hands them on, then tells `out` how many lines went out whole and when the last
// byte of each was written.
[[noreturn]] void Flood(int master, double seconds, int out) {
  const long long start = NowNs();
  const long long end = start + static_cast<long long>(seconds * 1e9);
  long long sent = 0;
  std::string pending;
  int number = 0;
  std::vector<long long> lastByteNs;
  while (NowNs() < end) {
    const long long due = (NowNs() - start) * kBytesPerSecond / 1000000000LL;
    while (sent + static_cast<long long>(pending.size()) < due) pending += Line(number++);
    const long long now = due - sent;
    if (now > 0) {
      const ssize_t n = write(master, pending.data(), static_cast<size_t>(now));
      if (n > 0) {
        pending.erase(0, static_cast<size_t>(n));
        sent += n;
        const long long at = NowNs();
        while (static_cast<long long>(lastByteNs.size() + 1) * kLineBytes <= sent)
          lastByteNs.push_back(at);
      }
    }
    usleep(2000);
  }
  std::string text = std::to_string(lastByteNs.size()) + "\n";
  for (const long long t : lastByteNs) text += std::to_string(t) + "\n";
  for (size_t at = 0; at < text.size();) {
    const ssize_t n = write(out, text.data() + at, text.size() - at);
    if (n <= 0) break;
    at += static_cast<size_t>(n);
  }
  _exit(0);
}

// The control with a probe on its paints: at each flush it notes the complete lines the
// picture holds, and the paint that puts that picture on the window shows them.
class Probe : public TComTerminal {
 public:
  std::vector<long long> firstShownNs;  // by line number; 0 while not shown
  int paints = 0;
  long long paintedPixels = 0;
  bool measuring = false;

 protected:
  void ViewDrawn() override {
    drawn_.clear();
    for (int row = 1; row <= Rows(); ++row) {
      std::string text;
      for (const TermCell& c : state().Line(row)) text += c.ch ? static_cast<char>(c.ch) : ' ';
      const size_t at = text.find(" #");
      if (text[0] != 'L' || at == std::string::npos || text.size() < at + 8) continue;
      const int number = std::atoi(text.c_str() + 1);
      if (number == std::atoi(text.c_str() + at + 2)) drawn_.push_back(number);
    }
  }
  void paintEvent(QPaintEvent* event) override {
    TComTerminal::paintEvent(event);
    ++paints;
    for (const QRect& r : event->region())
      paintedPixels += static_cast<long long>(r.width()) * r.height();
    if (!measuring) return;
    const long long now = NowNs();
    for (const int number : drawn_) {
      if (number < 0) continue;
      if (static_cast<size_t>(number) >= firstShownNs.size()) firstShownNs.resize(number + 1, 0);
      if (firstShownNs[number] == 0) firstShownNs[number] = now;
    }
  }

 private:
  std::vector<int> drawn_;
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

  int fromChild[2];
  if (pipe(fromChild) != 0) return 1;
  const pid_t child = fork();
  if (child == 0) {
    close(fromChild[0]);
    close(slave);
    // Never stuck on a full queue: the writer goes on at its pace whatever the reader does.
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    Flood(master, seconds, fromChild[1]);
  }
  close(fromChild[1]);

  const Cpu cpuStart = ProcessCpu();
  const auto threadsStart = ThreadCpu();
  const long long start = NowNs();
  term.measuring = true;
  // The run ends 300 ms after the writer has written its last line and reports: a loaded
  // machine may keep the writer from its last lines well past its end time.
  QSocketNotifier reported(fromChild[0], QSocketNotifier::Read);
  QObject::connect(&reported, &QSocketNotifier::activated, &app, [&reported, &app] {
    reported.setEnabled(false);
    QTimer::singleShot(300, &app, &QApplication::quit);
  });
  app.exec();
  const double elapsed = (NowNs() - start) / 1e9;
  const Cpu cpuEnd = ProcessCpu();
  const auto threadsEnd = ThreadCpu();
  term.measuring = false;

  std::string report;
  char buf[4096];
  for (int guard = 0; guard < 100000; ++guard) {
    const ssize_t n = read(fromChild[0], buf, sizeof buf);
    if (n <= 0) break;
    report.append(buf, static_cast<size_t>(n));
  }
  waitpid(child, nullptr, 0);
  connection.EndTransfer();
  term.SetConnection(nullptr);
  std::istringstream in(report);
  int lines = 0;
  in >> lines;
  std::vector<long long> lastByteNs(static_cast<size_t>(std::max(lines, 0)));
  for (long long& at : lastByteNs) in >> at;

  std::vector<double> delays;
  int unseen = 0;
  int firstUnseen = -1;
  for (int i = 0; i < lines; ++i) {
    const long long shown =
        static_cast<size_t>(i) < term.firstShownNs.size() ? term.firstShownNs[i] : 0;
    if (shown == 0) {
      if (firstUnseen < 0) firstUnseen = i;
      ++unseen;
      continue;
    }
    // A row can show its last character before the line's CR LF has been written.
    delays.push_back(std::max(0.0, (shown - lastByteNs[i]) / 1e6));
  }
  std::sort(delays.begin(), delays.end());
  const auto at = [&delays](double q) {
    return delays.empty()
               ? 0.0
               : delays[std::min(delays.size() - 1, static_cast<size_t>(q * delays.size()))];
  };
  const double user = cpuEnd.user - cpuStart.user;
  const double system = cpuEnd.system - cpuStart.system;
  const double share = 100.0 * (user + system) / elapsed;
  const double worst = delays.empty() ? 0.0 : delays.back();
  std::printf(
      "terminal control under a 115200-baud flood: %.1f s, %d lines written, %d paints of %.0f %% "
      "of"
      " the view each\n",
      seconds, lines, term.paints,
      term.paints == 0 ? 0.0
                       : 100.0 * term.paintedPixels / term.paints /
                             (term.viewport()->width() * term.viewport()->height()));
  std::printf(
      "  CPU share: %.1f %% of one core (user %.1f %%, system %.1f %%; goal below %.0f %%)"
      ": ratio %.2f\n",
      share, 100.0 * user / elapsed, 100.0 * system / elapsed, kCpuGoalPercent,
      share / kCpuGoalPercent);
  for (const auto& [tid, end] : threadsEnd) {
    const auto before = threadsStart.find(tid);
    const Cpu was = before == threadsStart.end() ? Cpu{} : before->second.second;
    const double u = end.second.user - was.user;
    const double s = end.second.system - was.system;
    if (u + s <= 0) continue;
    std::printf("    thread %d (%s): user %.1f %%, system %.1f %%\n", tid, end.first.c_str(),
                100.0 * u / elapsed, 100.0 * s / elapsed);
  }
  std::printf(
      "  every line shown after its last byte: median %.1f ms, 99th %.1f ms, max %.1f ms"
      " (goal within %.0f ms): ratio %.2f\n",
      at(0.5), at(0.99), worst, kDelayGoalMs, worst / kDelayGoalMs);
  if (unseen > 0)
    std::printf("  LINES NEVER SHOWN: %d of %d, the first line %d\n", unseen, lines, firstUnseen);
  const bool met = unseen == 0 && share < kCpuGoalPercent && worst <= kDelayGoalMs;
  std::printf("  %s\n", met ? "goals met" : "GOALS NOT MET");
  return unseen == 0 ? 0 : 1;
}
