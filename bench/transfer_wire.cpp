// Download and upload against the device simulator paced at a line speed (19200, 57600 and
// 115200 baud, or the speeds given after the simulator's path). Prints elapsed time over
// wire time (the bytes the protocol moves at 10 bits a byte, plus one second for each
// break-in sent; goal within 5 %), the time a request/reply turn costs beyond its bytes,
// and CPU time over elapsed time (goal < 2 %).
// Then the network row, when ser2net is installed: the same download at 115200 baud through
// ser2net as raw TCP and as RFC 2217, over the download on the pseudo-terminal itself (goal
// within 5 %; ser2net set up for request and reply, and once as installed), and over raw TCP
// again through a proxy that adds a 20 ms and a 100 ms round trip, with what each added
// round trip costs a turn.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/DeviceBench.h"
#include "files/SafeFile.h"
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
    if (s == "\x03") ++breakIns;
    return SerialLinkPort::WriteText(s);
  }
  void Reset() { bytes = writes = breakIns = 0; }
  long bytes = 0;
  long writes = 0;
  long breakIns = 0;
};

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Measured {
  TransferResult result = TransferResult::Failed;
  double elapsed = 0, cpu = 0;
  long bytes = 0, breakIns = 0;
  long turns = 0;  // requests answered or waited for; the break-in's bytes are none
  double Wire(long baud) const { return bytes * 10.0 / baud + static_cast<double>(breakIns); }
};

Measured Measure(CountingPort& port, const std::function<TransferResult()>& run) {
  port.Reset();
  Measured m;
  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  m.result = run();
  m.elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  m.cpu = CpuSeconds() - cpu0;
  m.bytes = port.bytes;
  m.breakIns = port.breakIns;
  m.turns = port.writes - 2 * port.breakIns;
  return m;
}

const char* Outcome(const Measured& m) {
  return m.result == TransferResult::Ok ? "ok" : "FAILED";
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
    const bool down = std::string(name) == "download";
    const Measured m = Measure(counting, [&] {
      return down ? transfers.DownloadImage() : transfers.UploadImage(DeviceModel::FourLine);
    });
    const double wire = m.Wire(baud);
    std::printf(
        "%6ld baud %-9s %s: %ld bytes, %ld break-in, elapsed %.2f s, wire %.2f s, elapsed/wire "
        "%.3f (goal <= 1.05), per turn %.3f ms, CPU/elapsed %.4f (goal < 0.02)\n",
        baud, name, Outcome(m), m.bytes, m.breakIns, m.elapsed, wire, m.elapsed / wire,
        (m.elapsed - wire) * 1000.0 / static_cast<double>(m.turns), m.cpu / m.elapsed);
  }
  connection.EndTransfer();
}

// One download from the port of that name; a port that cannot be opened is reported and
// gives a failed measurement.
Measured DownloadFrom(const std::string& port, long baud) {
  DeviceConnection connection;
  connection.SetEventThread(false);
  // The server may still be letting go of the device for the connection before.
  for (int attempt = 1;; ++attempt) {
    try {
      connection.BeginTransfer(port, BaudRateFor(static_cast<int>(baud)), static_cast<int>(baud));
      break;
    } catch (const EComPort& e) {
      if (attempt == 3) {
        std::printf("  %s: %s\n", port.c_str(), e.what());
        return {};
      }
      usleep(500000);
    }
  }
  CountingPort counting(connection);
  SteadyClock clock;
  bench::QuietHost host(connection);
  ConfigImage image;
  Transfers transfers(counting, clock, host, image);
  Measured m;
  try {
    m = Measure(counting, [&] { return transfers.DownloadImage(); });
  } catch (const EComPort& e) {
    std::printf("  %s: %s\n", port.c_str(), e.what());
  }
  connection.EndTransfer();
  // A serial server lets go of the device a moment after the connection closes.
  usleep(300000);
  return m;
}

void NetworkRow(const char* devsim) {
  constexpr long kBaud = 115200;
  // Every segment unlike the one before: a pair equal to the segment before is watched for
  // half a turn more, which a round trip lengthens (the simulator's zeros are all alike).
  const std::string imageFile = "/tmp/tarvelo-bench-wire-" + std::to_string(getpid()) + ".img";
  std::string memory(kImageSize, '\0');
  for (int i = 0; i < kImageSize; ++i) memory[i] = static_cast<char>(i * 7 + i / kSegmentSize);
  if (!WriteFileAtomically(imageFile, memory).ok) return;
  struct Remove {
    std::string path;
    ~Remove() { unlink(path.c_str()); }
  } remove{imageFile};
  DevsimProcess sim(devsim,
                    {"--model", "4", "--baud", std::to_string(kBaud), "--image", imageFile});
  if (sim.path.empty()) return;
  const std::string host = "127.0.0.1:";
  Measured asInstalled;
  {
    Ser2netProcess server(imageFile + ".ser2net.yaml", sim.path, kBaud, false);
    if (!server.Up()) {
      std::printf("network: ser2net did not start (package ser2net); no network row\n");
      return;
    }
    asInstalled = DownloadFrom("socket://" + host + std::to_string(server.rawPort), kBaud);
  }
  Ser2netProcess server(imageFile + ".ser2net.yaml", sim.path, kBaud, true);
  const Measured direct = DownloadFrom(sim.path, kBaud);
  const Measured raw = DownloadFrom("socket://" + host + std::to_string(server.rawPort), kBaud);
  const Measured telnet = DownloadFrom("rfc2217://" + host + std::to_string(server.comPort), kBaud);
  std::printf("%6ld baud download  pseudo-terminal %s: elapsed %.2f s, %ld turns\n", kBaud,
              Outcome(direct), direct.elapsed, direct.turns);
  std::printf(
      "%6ld baud download  raw TCP  via ser2net as installed %s: elapsed %.2f s, %ld turns, "
      "over the pseudo-terminal %.3f; set up for request and reply (nodelay, no chardelay):\n",
      kBaud, Outcome(asInstalled), asInstalled.elapsed, asInstalled.turns,
      asInstalled.elapsed / direct.elapsed);
  for (const auto& [name, m] : {std::pair{"raw TCP ", &raw}, std::pair{"RFC 2217", &telnet}}) {
    std::printf(
        "%6ld baud download  %s via ser2net %s: elapsed %.2f s, %ld turns, over the "
        "pseudo-terminal %.3f (goal <= 1.05)\n",
        kBaud, name, Outcome(*m), m->elapsed, m->turns, m->elapsed / direct.elapsed);
  }
  for (const int rttMs : {20, 100}) {
    bench::DelayProxy proxy(server.rawPort, rttMs);
    const Measured slow = DownloadFrom("socket://" + host + std::to_string(proxy.port), kBaud);
    // More requests than without the delay are repetitions: a time-out or a doubt that the
    // round trip set off.
    std::printf(
        "%6ld baud download  raw TCP, %3d ms added round trip %s: elapsed %.2f s, %ld turns "
        "(%+ld against none added), per turn %.1f ms more (%.2f round trips)\n",
        kBaud, rttMs, Outcome(slow), slow.elapsed, slow.turns, slow.turns - raw.turns,
        (slow.elapsed - raw.elapsed) * 1000.0 / static_cast<double>(slow.turns),
        (slow.elapsed - raw.elapsed) * 1000.0 / static_cast<double>(slow.turns) / rttMs);
  }
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  const char* devsim = argc > 1 ? argv[1] : "tools/tarvelo-devsim";
  std::vector<long> speeds;
  for (int i = 2; i < argc; ++i) speeds.push_back(std::atol(argv[i]));
  if (speeds.empty()) speeds = {19200, 57600, 115200};
  for (long baud : speeds) Run(devsim, baud);
  NetworkRow(devsim);
  return 0;
}
