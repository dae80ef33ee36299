// Downloads and uploads against the device simulator with one fault kind at a time, at 5 %
// and 20 % of its answers, counting how each run ended: with the device's exact bytes, with
// a clean failure, or with a wrong image reported as success (which must never happen).
//   bench_transfer_faults DEVSIM [RUNS] [KIND...]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/DeviceBench.h"
#include "files/SafeFile.h"
#include "link/Connection.h"
#include "link/SerialLinkPort.h"
#include "link/Transfers.h"
#include "model/ConfigImage.h"

using namespace tarvelo;

namespace {

constexpr int kBaud = 115200;

std::string Pattern(int salt) {
  std::string memory(kImageSize, '\0');
  for (int i = 0; i < kImageSize; ++i) memory[i] = static_cast<char>(i * 7 + salt * 13);
  memory.replace(kVersionTextOffset, kVersionTextLength, "P4239");
  return memory;
}

bool RangeEqual(const std::string& a, const ConfigImage& b) {
  for (int i = 44 * kSegmentSize; i < kImageSize; ++i) {
    if (static_cast<uint8_t>(a[i]) != b.ImageByte(i)) return false;
  }
  return true;
}

struct Tally {
  int exact = 0, clean = 0, wrong = 0;
};

// One run: a download of the device's memory, then an upload of other bytes.
void RunOnce(const char* devsim, const std::string& fault, int seed, Tally& down, Tally& up) {
  const std::string image = "/tmp/tarvelo-faults-" + std::to_string(getpid()) + ".img";
  const std::string memory = Pattern(seed);
  WriteFileAtomically(image, memory);
  DevsimProcess sim(
      devsim, {"--image", image, "--model", "4", "--fault", fault, "--seed", std::to_string(seed)});
  if (sim.path.empty()) return;
  DeviceConnection connection;
  connection.SetEventThread(false);
  connection.BeginTransfer(sim.path, BaudRateFor(kBaud), kBaud);
  SerialLinkPort port(connection);
  SteadyClock clock;
  bench::QuietHost host(connection);

  ConfigImage got;
  Transfers download(port, clock, host, got);
  if (download.DownloadImage() != TransferResult::Ok) {
    ++down.clean;
  } else if (RangeEqual(memory, got)) {
    ++down.exact;
  } else {
    ++down.wrong;
  }

  ConfigImage sent;
  const std::string other = Pattern(seed + 1000);
  std::copy(other.begin(), other.end(), reinterpret_cast<char*>(sent.raw().data()));
  Transfers upload(port, clock, host, sent);
  const TransferResult result = upload.UploadImage(DeviceModel::FourLine);
  connection.EndTransfer();
  sim.Stop();
  const ReadResult saved = ReadRegularFile(image, kImageSize);
  if (result != TransferResult::Ok) {
    ++up.clean;
  } else if (saved.ok && RangeEqual(saved.bytes, sent)) {
    ++up.exact;
  } else {
    ++up.wrong;
  }
  unlink(image.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_transfer_faults DEVSIM [RUNS] [KIND...]\n");
    return 1;
  }
  const char* devsim = argv[1];
  const int runs = argc > 2 ? std::atoi(argv[2]) : 30;
  std::vector<std::string> kinds;
  for (int i = 3; i < argc; ++i) kinds.push_back(argv[i]);
  if (kinds.empty())
    kinds = {"spoil", "double", "flip", "checksum", "short", "nak", "slow", "late", "silence"};
  int wrong = 0;
  for (const std::string& kind : kinds) {
    for (const char* rate : {"0.05", "0.2"}) {
      Tally down, up;
      for (int run = 0; run < runs; ++run) RunOnce(devsim, kind + "=" + rate, run + 1, down, up);
      std::printf(
          "%-8s %-4s  downloads: %2d exact %2d clean %d WRONG   uploads: %2d exact %2d clean %d "
          "WRONG\n",
          kind.c_str(), rate, down.exact, down.clean, down.wrong, up.exact, up.clean, up.wrong);
      std::fflush(stdout);
      wrong += down.wrong + up.wrong;
    }
  }
  std::printf("wrong images reported as success: %d (goal 0)\n", wrong);
  return wrong == 0 ? 0 : 3;
}
