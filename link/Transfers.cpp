#include "link/Transfers.h"

#include <cstdio>
#include <cstring>

#include "model/Codecs.h"

namespace tarvelo {

std::tm TransferHost::LocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return t;
}

namespace {
constexpr const char* kCommError = "Kommunikációs hiba.";
constexpr const char* kDownloadTimeout = "Letöltési időtúllépés !!!";
constexpr const char* kUploadTimeout = "Feltöltési időtúllépés !!!";
constexpr const char* kUploadOk = "Sikeres feltöltés";
constexpr const char* kStopped = "Megszakítva.";
}  // namespace

std::string ProgressText(const TransferProgress& p) {
  return "Memória szegmens: " + std::to_string(p.segment) + "/" + std::to_string(p.last);
}

void Transfers::Wait(int ms) {
  LinkClock& clock = link_.clock();
  const uint32_t start = clock.Ticks();
  for (;;) {
    const uint32_t elapsed = clock.Ticks() - start;
    if (elapsed >= static_cast<uint32_t>(ms)) break;
    host_.ProcessEvents(static_cast<int>(ms - elapsed));
  }
}

void Transfers::BreakIn() {
  link_.port().WriteText("\x03");
  Wait(500);
  link_.port().WriteText("\x1B\x1B");
  Wait(500);
}

// The double-read loop shared by both downloads. Returns Failed when it gave up.
TransferResult Transfers::ReadRange(char command, int first) {
  int failures = 0;
  int badSums = 0;
  int segment = first;
  while (segment < kSegmentCount && failures < kMaxTries) {
    if (host_.Cancelled()) return TransferResult::Cancelled;
    link_.ReadTwice(command, static_cast<uint8_t>(segment));
    bool timedOut = link_.TimedOut();
    if (!timedOut && link_.ReplySumOK()) {
      host_.Progress({segment});
      std::memcpy(image_.raw().data() + segment * kSegmentSize, link_.SegmentReply().data(),
                  kSegmentSize);
      ++segment;
      failures = 0;
      badSums = 0;
    } else if (!timedOut && ++badSums >= kMaxTries) {
      // A segment that never sums right counts as one that never came.
      badSums = 0;
      timedOut = true;
    }
    if (timedOut) ++failures;
    host_.ProcessEvents(0);
  }
  return failures >= kMaxTries ? TransferResult::Failed : TransferResult::Ok;
}

bool Transfers::DownloadPortOpen() {
  if (host_.PortOpen()) return true;
  host_.Message("Portnyitási hiba!" + std::to_string(host_.LastSystemError()));
  host_.Busy(false);
  return false;
}

// The end both downloads share: the port, the result text, and the decode on success.
TransferResult Transfers::FinishDownload(TransferResult result) {
  host_.ReleasePort();
  if (result == TransferResult::Cancelled) {
    host_.Status(kStopped);
  } else if (result == TransferResult::Failed) {
    host_.Status(kCommError);
    host_.Message(kDownloadTimeout);
  } else {
    host_.Status("Sikeres letöltés.");
    host_.Decode();
  }
  host_.Busy(false);
  return result;
}

TransferResult Transfers::DownloadImage() {
  if (!DownloadPortOpen()) return TransferResult::PortNotOpen;
  host_.Busy(true);
  BreakIn();
  image_.raw().fill(0);
  host_.Status("Tipusellenőrzés...");
  // The type decides the memory map, so it is read as carefully as the data: one spoilt
  // reply must not switch the model.
  for (int attempt = 0; attempt < kMaxTries && !host_.Cancelled(); ++attempt) {
    if (link_.ReadTwice('D', kTypeSegment) && link_.ReplySumOK()) {
      std::memcpy(image_.raw().data() + kTypeSegment * kSegmentSize, link_.SegmentReply().data(),
                  kSegmentSize);
      break;
    }
  }
  // A type segment that never came stays zero, which names the 16-line model.
  const DeviceModel model = ModelFromVersionText(image_.VersionText());
  host_.SwitchModel(model);
  TransferResult result = ReadRange('D', FirstTransferSegment(model));
  return FinishDownload(result);
}

TransferResult Transfers::DownloadProm() {
  if (!DownloadPortOpen()) return TransferResult::PortNotOpen;
  host_.Status("PROM letöltése...");
  host_.Busy(true);
  BreakIn();
  image_.raw().fill(0);
  TransferResult result = ReadRange('P', 0);
  return FinishDownload(result);
}

// The end the upload and the clock share: the port, then the result.
TransferResult Transfers::FinishUpload(TransferResult result) {
  host_.ReleasePort();
  if (result == TransferResult::Cancelled) {
    host_.Status(kStopped);
  } else if (result == TransferResult::Failed) {
    host_.Message(kUploadTimeout);
  } else {
    host_.Status(kUploadOk);
  }
  host_.Busy(false);
  return result;
}

TransferResult Transfers::UploadImage(DeviceModel model) {
  if (!host_.PortOpen()) {
    host_.Busy(false);
    return TransferResult::PortNotOpen;
  }
  link_.DrainInput(1);
  host_.Busy(true);
  int segment = FirstTransferSegment(model);
  int failures = 0;
  bool cancelled = false;
  while (segment < kSegmentCount && failures < kMaxTries) {
    if (host_.Cancelled()) {
      cancelled = true;
      break;
    }
    std::string payload;
    for (int i = 0; i < kSegmentSize; ++i)
      payload += ByteToHex(image_.ImageByte(segment * kSegmentSize + i));
    const std::string frame = SegmentLink::BuildWriteFrame(static_cast<uint8_t>(segment), payload);
    link_.port().WriteText(frame);
    host_.Progress({segment});
    const bool answered = link_.WaitAnswerByte(kWriteTimeoutMs);
    if (answered && link_.SegmentReply()[0] == kAck) {
      ++segment;
      failures = 0;
    } else {
      ++failures;
    }
    host_.ProcessEvents(0);
  }
  return FinishUpload(cancelled               ? TransferResult::Cancelled
                      : failures >= kMaxTries ? TransferResult::Failed
                                              : TransferResult::Ok);
}

std::string Transfers::ClockText(const std::tm& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return buf;
}

std::string Transfers::ClockFrame(const std::tm& t) {
  return SegmentLink::BuildWriteFrame(kTypeSegment, ClockText(t) + std::string(50, '0'));
}

TransferResult Transfers::SyncClock() {
  if (!host_.PortOpen()) return TransferResult::PortNotOpen;
  host_.Busy(true);
  const std::string frame = ClockFrame(host_.LocalTime());
  int failures = 0;
  bool answered = false;
  while (!answered && failures < kMaxTries) {
    link_.port().WriteText(frame);
    answered = link_.WaitAnswerByte(2000, [this] { host_.ProcessEvents(0); }) &&
               link_.SegmentReply()[0] != kNak;
    if (!answered) ++failures;
  }
  return FinishUpload(answered ? TransferResult::Ok : TransferResult::Failed);
}

}  // namespace tarvelo
