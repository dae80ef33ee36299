// The transfers against a device whose every reply the fuzzer spoils: silent, cut short,
// spread over pieces with pauses, wrong sums, flipped or surplus bytes, late, refusing. On a
// virtual clock every transfer ends, an upload sends only well-formed frames of its range,
// and (for a device that drops an unfinished reply when the next request comes, as a
// half-duplex device does) every stored segment holds only data the device sent for it.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "link/Transfers.h"
#include "model/Codecs.h"
#include "tests/link/FakeDevice.h"

using namespace tarvelo;

namespace {

// Enough for the longest a transfer may legitimately take with every limit reached; a run
// beyond it is stuck.
constexpr long kMaxPortCalls = 20'000'000;

// The scripted port of the link tests, with every reply chosen by the fuzzer.
class Device : public FakePort {
 public:
  Device(FakeClock& clock, FuzzedDataProvider& in) : FakePort(clock), in_(in) {
    abandon_ = in.ConsumeBool();
    const uint8_t seed = in.ConsumeIntegral<uint8_t>();
    for (int i = 0; i < kImageSize; ++i)
      memory_[i] = static_cast<char>(i * 131 + seed * 7 + (i >> 5) * 17 + (i >> 8));
    prom_ = memory_;
    std::reverse(prom_.begin(), prom_.end());
    static const char* const kVersions[] = {"P4239", "P4290", "", "P42"};
    const std::string version = kVersions[in.ConsumeIntegralInRange<int>(0, 3)];
    std::fill_n(memory_.begin() + kVersionTextOffset, kVersionTextLength, '\0');
    std::copy(version.begin(), version.end(), memory_.begin() + kVersionTextOffset);
  }

  bool abandon() const { return abandon_; }
  // Every reply stream the device meant for a read of each segment, by command.
  std::map<std::pair<char, int>, std::vector<std::string>> streams;
  std::vector<std::string> frames;  // the write frames received

  int Read(uint8_t* buffer, int count) override {
    Tick();
    return FakePort::Read(buffer, count);
  }

  int WriteText(const std::string& text) override {
    Tick();
    if (abandon_) DropPending();
    if (text == "\x03" || text == "\x1B\x1B") return static_cast<int>(text.size());
    FUZZ_CHECK(text.size() >= 6 && text.back() == '\r');
    const int segment = std::stoi(text.substr(1, 2), nullptr, 16);
    if (text[0] == 'U') {
      frames.push_back(text);
      if (segment != kTypeSegment && text.size() == 70) {
        for (int i = 0; i < kSegmentSize; ++i)
          memory_[segment * kSegmentSize + i] =
              static_cast<char>(std::stoi(text.substr(3 + 2 * i, 2), nullptr, 16));
      }
      Answer();
      return static_cast<int>(text.size());
    }
    FUZZ_CHECK(text[0] == 'D' || text[0] == 'P');
    FUZZ_CHECK(text == SegmentLink::ReadRequest(text[0], static_cast<uint8_t>(segment)));
    const std::string& source = text[0] == 'P' ? prom_ : memory_;
    SendReply(Reply(source.substr(segment * kSegmentSize, kSegmentSize)),
              streams[{text[0], segment}]);
    return static_cast<int>(text.size());
  }

  void WaitForInput(int timeoutMs, int expected) override {
    Tick();
    FUZZ_CHECK(timeoutMs >= 0);
    FakePort::WaitForInput(timeoutMs, expected);
  }

 private:
  void Tick() { FUZZ_CHECK(++calls_ < kMaxPortCalls); }
  int Pick(int last) { return in_.remaining_bytes() > 0 ? in_.ConsumeIntegralInRange(0, last) : 0; }
  uint32_t Delay() { return in_.ConsumeIntegralInRange<uint32_t>(0, 2500); }

  void SendReply(std::string reply, std::vector<std::string>& sent) {
    switch (Pick(9)) {
      case 1:  // silence
        return;
      case 2:  // cut short
        reply.resize(in_.ConsumeIntegralInRange<size_t>(0, 32));
        break;
      case 3:  // wrong sum
        reply[32] = static_cast<char>(reply[32] + 1 + in_.ConsumeIntegralInRange(0, 254));
        break;
      case 4:  // a byte spoilt on the line
        reply[in_.ConsumeIntegralInRange(0, 32)] ^=
            static_cast<char>(1 + in_.ConsumeIntegral<uint8_t>() % 255);
        break;
      case 5:  // surplus bytes
        reply += in_.ConsumeRandomLengthString(40);
        break;
      case 6: {  // in pieces, with pauses that may outlast the wait
        std::string stream;
        uint32_t at = 0;
        size_t from = 0;
        while (from < reply.size()) {
          const size_t piece =
              std::min(reply.size() - from, in_.ConsumeIntegralInRange<size_t>(1, 33));
          at += Delay();
          Arrive(at, reply.substr(from, piece));
          from += piece;
        }
        sent.push_back(reply);
        return;
      }
      case 7:  // another reply altogether, its sum right
        reply = in_.ConsumeBytesAsString(32);
        reply.resize(32, '\0');
        reply = Reply(reply);
        break;
      case 8:  // late, all at once
        Arrive(Delay(), reply);
        sent.push_back(reply);
        return;
      default:
        break;
    }
    Arrive(2, reply);
    sent.push_back(reply);
  }

  void Answer() {
    std::string answer(1, static_cast<char>(kAck));
    uint32_t delay = 2;
    switch (Pick(5)) {
      case 1:
        return;
      case 2:
        answer[0] = static_cast<char>(kNak);
        break;
      case 3:
        answer[0] = static_cast<char>(in_.ConsumeIntegral<uint8_t>());
        break;
      case 4:
        delay = Delay();
        break;
      case 5:
        answer += in_.ConsumeRandomLengthString(4);
        break;
      default:
        break;
    }
    Arrive(delay, answer);
  }

  FuzzedDataProvider& in_;
  bool abandon_ = true;
  std::string memory_ = std::string(kImageSize, '\0');
  std::string prom_;
  long calls_ = 0;
};

class Host : public TransferHost {
 public:
  Host(FakeClock& clock, int cancelAfter) : clock_(clock), cancelAfter_(cancelAfter) {}
  void Status(const std::string&) override {}
  void Message(const std::string&) override {}
  void Busy(bool) override {}
  void ProcessEvents(int waitMs) override {
    FUZZ_CHECK(waitMs >= 0);
    clock_.now += static_cast<uint32_t>(waitMs);
  }
  bool Cancelled() override { return cancelAfter_ >= 0 && ++asked_ > cancelAfter_; }
  void SwitchModel(DeviceModel m) override {
    model = m;
    ++switches;
  }
  void Decode() override { ++decodes; }
  bool PortOpen() override { return true; }
  void ReleasePort() override { ++releases; }
  std::tm LocalTime() override {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mday = 1;
    return t;
  }

  DeviceModel model = DeviceModel::FourLine;
  int switches = 0, decodes = 0, releases = 0;

 private:
  FakeClock& clock_;
  int cancelAfter_;
  int asked_ = 0;
};

bool IsSubstringOfAny(const std::string& data, const std::vector<std::string>& streams) {
  for (const auto& s : streams) {
    if (s.find(data) != std::string::npos) return true;
  }
  return false;
}

// Each segment read holds bytes the device sent for that very segment, or nothing.
void CheckSegments(const Device& device, const ConfigImage& image, char command, int first) {
  for (int s = first; s < kSegmentCount; ++s) {
    const std::string data = image.Bytes(static_cast<long>(s) * kSegmentSize, kSegmentSize);
    if (data == std::string(kSegmentSize, '\0')) continue;
    const auto it = device.streams.find({command, s});
    FUZZ_CHECK(it != device.streams.end());
    FUZZ_CHECK(IsSubstringOfAny(data, it->second));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int transfer = in.ConsumeIntegralInRange(0, 3);
  const DeviceModel uploadModel =
      in.ConsumeBool() ? DeviceModel::SixteenLine : DeviceModel::FourLine;
  const bool backup = in.ConsumeBool();
  const bool verify = in.ConsumeBool();
  const int cancelAfter = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 600) : -1;
  FakeClock clock(0xFFFF0000u);  // wraps during the run
  Device device(clock, in);
  Host host(clock, cancelAfter);
  ConfigImage image;
  for (int i = 0; i < kImageSize; ++i) image.raw()[i] = static_cast<uint8_t>(i * 7 + 3);
  const ConfigImage original = image;
  Transfers transfers(device, clock, host, image);

  TransferResult result = TransferResult::Failed;
  switch (transfer) {
    case 0: {
      result = transfers.DownloadImage();
      // Only a finished download replaces the image and switches the model.
      FUZZ_CHECK(host.switches == (result == TransferResult::Ok ? 1 : 0));
      FUZZ_CHECK(host.decodes == (result == TransferResult::Ok ? 1 : 0));
      if (result != TransferResult::Ok) {
        FUZZ_CHECK(image == original);
        break;
      }
      if (device.abandon()) {
        CheckSegments(device, image, 'D', FirstTransferSegment(host.model));
        for (int s = FirstTransferSegment(host.model); s < kSegmentCount; ++s)
          FUZZ_CHECK(device.streams.count({'D', s}));
      }
      // Below the range only the type segment is read; the rest is zero.
      for (long i = 0; i < FirstTransferSegment(host.model) * kSegmentSize; ++i) {
        if (i / kSegmentSize != kTypeSegment) FUZZ_CHECK(image.ImageByte(i) == 0);
      }
      break;
    }
    case 1:
      result = transfers.DownloadProm();
      if (result != TransferResult::Ok)
        FUZZ_CHECK(image == original);
      else if (device.abandon())
        CheckSegments(device, image, 'P', 0);
      break;
    case 2: {
      ConfigImage saved;
      UploadOptions options;
      options.verify = verify;
      // The backup is kept before the first frame, and one that cannot be kept stops it all.
      const bool keepFails = backup && in.ConsumeBool();
      int keeps = 0;
      if (backup) {
        options.backup = &saved;
        options.keepBackup = [&](const ConfigImage& read) -> std::optional<std::string> {
          ++keeps;
          FUZZ_CHECK(&read == &saved);
          FUZZ_CHECK(device.frames.empty());
          if (keepFails) return std::string("nem írható");
          return std::nullopt;
        };
      }
      result = transfers.UploadImage(uploadModel, options);
      FUZZ_CHECK(image == original);
      FUZZ_CHECK(keeps == (transfers.BackupTaken() ? 1 : 0));
      if (keepFails && keeps == 1) {
        FUZZ_CHECK(device.frames.empty());
        FUZZ_CHECK(result == TransferResult::Failed);
      }
      if (device.abandon() && transfers.BackupTaken()) {
        CheckSegments(device, saved, 'D', FirstTransferSegment(uploadModel));
      }
      // Only well-formed frames of the model's range, each carrying its segment's bytes.
      for (const auto& frame : device.frames) {
        FUZZ_CHECK(frame.size() == 70);
        const int segment = std::stoi(frame.substr(1, 2), nullptr, 16);
        FUZZ_CHECK(segment >= FirstTransferSegment(uploadModel) && segment < kSegmentCount);
        std::string payload;
        for (int i = 0; i < kSegmentSize; ++i)
          payload += ByteToHex(image.ImageByte(segment * kSegmentSize + i));
        FUZZ_CHECK(frame == SegmentLink::BuildWriteFrame(static_cast<uint8_t>(segment), payload));
      }
      if (result == TransferResult::VerifyFailed) FUZZ_CHECK(!transfers.Differing().empty());
      if (result == TransferResult::WrongModel) FUZZ_CHECK(device.frames.empty());
      break;
    }
    default:
      result = transfers.SyncClock();
      for (const auto& frame : device.frames)
        FUZZ_CHECK(frame == Transfers::ClockFrame(host.LocalTime()));
      break;
  }
  FUZZ_CHECK(host.releases == 1);
  if (cancelAfter < 0) FUZZ_CHECK(result != TransferResult::Cancelled);
  return 0;
}
