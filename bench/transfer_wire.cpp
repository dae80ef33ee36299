// Download and upload against the device simulator paced at 19200 baud. Prints elapsed
// time over wire time (the bytes the protocol moves at 10 bits a byte, plus the one-second
// break-in of a download; goal within 5 %) and CPU time over elapsed time (goal < 2 %).
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "serial/ComPort.h"
#include "link/SerialLinkPort.h"
#include "link/Transfers.h"

using namespace tarvelo;

namespace {

constexpr long kBaud = 19200;

class CountingPort : public SerialLinkPort {
 public:
  using SerialLinkPort::SerialLinkPort;
  int Read(uint8_t* b, int n) override {
    const int got = SerialLinkPort::Read(b, n);
    bytes += got;
    return got;
  }
  int WriteText(const std::string& s) override {
    bytes += static_cast<long>(s.size());
    return SerialLinkPort::WriteText(s);
  }
  long bytes = 0;
};

struct QuietHost : TransferHost {
  explicit QuietHost(TCustomComPort& p) : port(p) {}
  void Status(const std::string&) override {}
  void Message(const std::string& m) override { std::fprintf(stderr, "%s\n", m.c_str()); }
  void Busy(bool) override {}
  void ProcessEvents(int ms) override {
    if (ms > 0) usleep(ms * 1000);
  }
  void SwitchModel(DeviceModel) override {}
  void Decode() override {}
  bool PortOpen() override { return port.Connected(); }
  void ReleasePort() override {}
  TCustomComPort& port;
};

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const char* devsim = argc > 1 ? argv[1] : "tools/tarvelo-devsim";
  int out[2];
  if (pipe(out) != 0) return 2;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    execl(devsim, devsim, "--model", "4", "--baud", std::to_string(kBaud).c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  char path[256] = {};
  const ssize_t n = read(out[0], path, sizeof path - 1);
  if (n <= 1) {
    std::fprintf(stderr, "no simulator at %s\n", devsim);
    return 2;
  }
  path[n - 1] = '\0';

  TComPort port;
  port.SetEvents(0);
  port.SetPort(path);
  port.SetBaudRate(br19200);
  port.Open();
  CountingPort counting(port);
  SteadyClock clock;
  QuietHost host(port);
  ConfigImage image;
  Transfers transfers(counting, clock, host, image);

  for (const char* name : {"download", "upload"}) {
    counting.bytes = 0;
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    const TransferResult r = std::string(name) == "download"
                                 ? transfers.DownloadImage()
                                 : transfers.UploadImage(DeviceModel::FourLine);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    const double wire =
        counting.bytes * 10.0 / kBaud + (std::string(name) == "download" ? 1.0 : 0.0);
    std::printf(
        "%-9s %s: %ld bytes, elapsed %.2f s, wire %.2f s, elapsed/wire %.3f (goal <= 1.05), "
        "CPU/elapsed %.4f (goal < 0.02)\n",
        name, r == TransferResult::Ok ? "ok" : "FAILED", counting.bytes, elapsed, wire,
        elapsed / wire, cpu / elapsed);
  }
  port.Close();
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  return 0;
}
