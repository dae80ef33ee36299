// Download and upload against the device simulator paced at a line speed (19200, 57600 and
// 115200 baud, or the speeds given after the simulator's path). Prints elapsed time over
// wire time (the bytes the protocol moves at 10 bits a byte, plus the one-second break-in;
// goal within 5 %), the time a request/reply turn costs beyond its bytes, and CPU time
// over elapsed time (goal < 2 %).
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/DeviceBench.h"
#include "link/Connection.h"
#include "link/SerialLinkPort.h"
#include "link/Transfers.h"

using namespace tarvelo;

namespace {

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
    ++writes;
    return SerialLinkPort::WriteText(s);
  }
  long bytes = 0;
  long writes = 0;
};

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Run(const char* devsim, long baud) {
  DevsimProcess sim(devsim, {"--model", "4", "--baud", std::to_string(baud)});
  if (sim.path.empty()) return;
  DeviceConnection connection;
  connection.SetEventThread(false);
  connection.BeginTransfer(sim.path, BaudRateFor(static_cast<int>(baud)), static_cast<int>(baud));
  CountingPort counting(connection);
  SteadyClock clock;
  bench::QuietHost host(connection);
  ConfigImage image;
  Transfers transfers(counting, clock, host, image);

  for (const char* name : {"download", "upload"}) {
    counting.bytes = 0;
    counting.writes = 0;
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    const TransferResult r = std::string(name) == "download"
                                 ? transfers.DownloadImage()
                                 : transfers.UploadImage(DeviceModel::FourLine);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    // Both transfers break in first: one second of waiting that is part of the protocol.
    const double wire = counting.bytes * 10.0 / baud + 1.0;
    const long turns = counting.writes - 2;  // the break-in bytes are no turns
    std::printf(
        "%6ld baud %-9s %s: %ld bytes, elapsed %.2f s, wire %.2f s, elapsed/wire %.3f (goal <= "
        "1.05), per turn %.3f ms, CPU/elapsed %.4f (goal < 0.02)\n",
        baud, name, r == TransferResult::Ok ? "ok" : "FAILED", counting.bytes, elapsed, wire,
        elapsed / wire, (elapsed - wire) * 1000.0 / static_cast<double>(turns), cpu / elapsed);
  }
  connection.EndTransfer();
}

}  // namespace

int main(int argc, char** argv) {
  const char* devsim = argc > 1 ? argv[1] : "tools/tarvelo-devsim";
  std::vector<long> speeds;
  for (int i = 2; i < argc; ++i) speeds.push_back(std::atol(argv[i]));
  if (speeds.empty()) speeds = {19200, 57600, 115200};
  for (long baud : speeds) Run(devsim, baud);
  return 0;
}
