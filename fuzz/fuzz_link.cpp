// The transfers against a device whose every reply the fuzzer spoils: silent, cut short,
// spread over pieces with pauses, wrong sums, flipped or surplus bytes, late, refusing. On a
// virtual clock every transfer ends, an upload sends only well-formed frames of its range,
// and (for a device that drops an unfinished reply when the next request comes, as a
// half-duplex device does) every stored segment holds only data the device sent for it.
// A third device answers every request in turn (if only in part) on a line that carries
// one thing at a time, and sends copies of its answers again later, when the fuzzer says:
// whatever it spoils on the line, every finished download and every backup holds its memory
// exactly.
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
  Device(FakeClock& clock, FuzzedDataProvider& in)
      : FakePort(clock), in_(in), clock_(clock), origin_(clock.now), lineFree_(clock.now) {
    const int kind = in.ConsumeIntegralInRange(0, 2);
    abandon_ = kind == 0;
    line_ = kind == 2;
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
  bool line() const { return line_; }
  const std::string& memory() const { return memory_; }
  const std::string& prom() const { return prom_; }
  // Every reply stream the device meant for a read of each segment, by command.
  std::map<std::pair<char, int>, std::vector<std::string>> streams;
  std::vector<std::string> frames;  // the write frames received

  int Read(uint8_t* buffer, int count) override {
    Tick();
    if (line_) Advance(clock_.now);
    return FakePort::Read(buffer, count);
  }

  int WriteText(const std::string& text) override {
    Tick();
    if (abandon_) DropPending();
    if (text == "\x03" || text == "\x1B\x1B") return static_cast<int>(text.size());
    FUZZ_CHECK(text.size() >= 6 && text.back() == '\r');
    const int segment = std::stoi(text.substr(1, 2), nullptr, 16);
    if (line_) {
      OnTheLine(text, segment);
      return static_cast<int>(text.size());
    }
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
    if (!line_) {
      FakePort::WaitForInput(timeoutMs, expected);
      return;
    }
    // A copy due within the wait goes out then, so the wait ends there at the latest.
    Advance(clock_.now);
    int wait = timeoutMs;
    if (!copies_.empty()) {
      const uint32_t next = Later(origin_ + copies_.begin()->first, lineFree_);
      wait = std::min<int>(wait, std::max<int32_t>(0, static_cast<int32_t>(next - clock_.now)));
    }
    FakePort::WaitForInput(wait, expected);
    Advance(clock_.now);
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

  // The line device: a request is there when its last byte is, an answer goes out as soon
  // as the line is free (its first byte a tick later, the rest when all is sent), and a copy
  // of it may follow later, never close to another copy.
  void OnTheLine(const std::string& text, int segment) {
    const uint32_t received = clock_.now + static_cast<uint32_t>(text.size());
    std::string answer;
    if (text[0] == 'U') {
      frames.push_back(text);
      const bool refused = Pick(3) == 1;
      answer = std::string(1, static_cast<char>(refused ? kNak : kAck));
      if (!refused && segment != kTypeSegment && text.size() == 70) {
        for (int i = 0; i < kSegmentSize; ++i)
          memory_[segment * kSegmentSize + i] =
              static_cast<char>(std::stoi(text.substr(3 + 2 * i, 2), nullptr, 16));
      }
    } else {
      FUZZ_CHECK(text == SegmentLink::ReadRequest(text[0], static_cast<uint8_t>(segment)));
      answer =
          Reply((text[0] == 'P' ? prom_ : memory_).substr(segment * kSegmentSize, kSegmentSize));
      // Every request is answered, if only in part: a device that stays silent while copies
      // of an earlier answer take the place of its answers could not be told from one that
      // answers slowly.
      switch (Pick(5)) {
        case 2:
          answer.resize(in_.ConsumeIntegralInRange<size_t>(1, 32));
          break;
        case 3:
          answer[32] = static_cast<char>(answer[32] + 1 + in_.ConsumeIntegralInRange(0, 254));
          break;
        case 4:
          answer[in_.ConsumeIntegralInRange(0, 32)] ^=
              static_cast<char>(1 + in_.ConsumeIntegral<uint8_t>() % 255);
          break;
        case 5:  // surplus bytes, sent with the answer
          answer += in_.ConsumeRandomLengthString(40);
          break;
        default:
          break;
      }
    }
    // Copies that start before the request is all there go first.
    Advance(received);
    const uint32_t length = static_cast<uint32_t>(answer.size());
    const uint32_t start = Later(received, lineFree_);
    lineFree_ = start + length;
    Deliver(start, answer);
    if (Pick(3) != 1) return;
    const uint32_t due = start + length + 50 + static_cast<uint32_t>(Pick(1550));
    for (const auto& [other, bytes] : copies_) {
      const int32_t apart = static_cast<int32_t>(due - (origin_ + other));
      if (apart > -kCopiesApart && apart < kCopiesApart) return;
    }
    copies_.emplace(due - origin_, answer);
  }
  static uint32_t Later(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) > 0 ? a : b; }
  // Sends the copies due by `until` as the line becomes free, each in one piece after another.
  void Advance(uint32_t until) {
    while (!copies_.empty()) {
      const auto first = copies_.begin();
      const uint32_t start = Later(origin_ + first->first, lineFree_);
      if (static_cast<int32_t>(start - until) > 0) break;
      lineFree_ = start + static_cast<uint32_t>(first->second.size());
      Deliver(start, first->second);
      copies_.erase(first);
    }
  }
  void Deliver(uint32_t start, const std::string& bytes) {
    ArriveAt(start + 1, bytes.substr(0, 1));
    if (bytes.size() > 1) ArriveAt(start + static_cast<uint32_t>(bytes.size()), bytes.substr(1));
  }
  // Two copies one right after the other make a pair of their own that nothing but the
  // device could tell from an answer; a line that sends copies now and then does not.
  static constexpr int32_t kCopiesApart = 80;

  FuzzedDataProvider& in_;
  bool abandon_ = true;
  bool line_ = false;
  FakeClock& clock_;
  uint32_t origin_;
  uint32_t lineFree_;                            // when the line has sent all it was given
  std::multimap<uint32_t, std::string> copies_;  // due (from the origin, so in order), bytes
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
      if (device.line()) {
        const long from = FirstTransferSegment(host.model) * kSegmentSize;
        FUZZ_CHECK(image.Bytes(from, kImageSize - from) == device.memory().substr(from));
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
      else if (device.line())
        FUZZ_CHECK(image.Bytes(0, kImageSize) == device.prom());
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
      const std::string before = device.memory();
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
      if (device.line() && transfers.BackupTaken()) {
        const long from = FirstTransferSegment(uploadModel) * kSegmentSize;
        FUZZ_CHECK(saved.Bytes(from, kImageSize - from) == before.substr(from));
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
