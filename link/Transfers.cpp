#include "link/Transfers.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "model/Codecs.h"
#include "serial/SystemErrorText.h"

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
TransferResult Transfers::ReadRange(char command, int first, ConfigImage& into) {
  int failures = 0;
  int badSums = 0;
  int segment = first;
  int resume = -1;  // where to go on after the segment before has been read again
  while (segment < kSegmentCount && failures < kMaxTries) {
    if (host_.Cancelled()) return TransferResult::Cancelled;
    uint8_t* const at = into.raw().data() + segment * kSegmentSize;
    link_.ReadTwice(command, static_cast<uint8_t>(segment),
                    segment > 0 ? at - kSegmentSize : nullptr);
    bool timedOut = link_.TimedOut();
    if (!timedOut && link_.ReplySumOK()) {
      host_.Progress({segment});
      std::memcpy(at, link_.SegmentReply().data(), kSegmentSize);
      if (resume >= 0) {
        segment = resume;
        resume = -1;
      } else if (link_.LineWasBusy() && segment > first) {
        // Bytes came after the segment before was taken: it may hold another request's
        // answer, so it is read again (once) before going on.
        resume = segment + 1;
        --segment;
      } else {
        ++segment;
      }
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

std::optional<DeviceModel> Transfers::ReadType(ConfigImage& into, int attempts) {
  // The type decides the memory map, so it is read as carefully as the data: one spoilt
  // reply must not switch the model.
  for (int attempt = 0; attempt < attempts && !host_.Cancelled(); ++attempt) {
    if (link_.ReadTwice('D', kTypeSegment) && link_.ReplySumOK()) {
      std::memcpy(into.raw().data() + kTypeSegment * kSegmentSize, link_.SegmentReply().data(),
                  kSegmentSize);
      // A device without a version text does not say which it is.
      const std::string version = into.VersionText();
      if (version.empty()) return std::nullopt;
      return ModelFromVersionText(version);
    }
  }
  return std::nullopt;
}

std::optional<DeviceModel> Transfers::ProbeType(ConfigImage& into) {
  // A device already taking requests (after a download, or one that always does) answers
  // at once; the break-in's second of waiting is only for one that does not.
  if (!link_.Probe('D', kTypeSegment) || !link_.ReplySumOK()) return std::nullopt;
  std::memcpy(into.raw().data() + kTypeSegment * kSegmentSize, link_.SegmentReply().data(),
              kSegmentSize);
  const std::string version = into.VersionText();
  if (version.empty()) return std::nullopt;
  return ModelFromVersionText(version);
}

bool Transfers::DownloadPortOpen() {
  if (host_.PortOpen()) return true;
  // The reason in words: the open that failed, or a port that has been closed since.
  const int error = host_.LastSystemError();
  host_.Message("Portnyitási hiba! (" + SystemErrorText(error != 0 ? error : EBADF) + ")");
  host_.Busy(false);
  return false;
}

// The end both downloads share: the port, the result text, and on success the image, the
// model and the decode.
TransferResult Transfers::FinishDownload(TransferResult result, const ConfigImage& read,
                                         std::optional<DeviceModel> model) {
  host_.ReleasePort();
  if (result == TransferResult::Ok) {
    image_ = read;
    if (model) host_.SwitchModel(*model);
  }
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
  ConfigImage read;
  host_.Status("Tipusellenőrzés...");
  // A type segment that never came stays zero, which names the 16-line model.
  const DeviceModel model = ReadType(read, kMaxTries).value_or(DeviceModel::SixteenLine);
  const TransferResult result = ReadRange('D', FirstTransferSegment(model), read);
  return FinishDownload(result, read, model);
}

TransferResult Transfers::DownloadProm() {
  if (!DownloadPortOpen()) return TransferResult::PortNotOpen;
  host_.Status("PROM letöltése...");
  host_.Busy(true);
  BreakIn();
  ConfigImage read;
  const TransferResult result = ReadRange('P', 0, read);
  return FinishDownload(result, read, std::nullopt);
}

// The end the upload and the clock share: the port, then the result.
TransferResult Transfers::FinishUpload(TransferResult result) {
  host_.ReleasePort();
  if (result == TransferResult::Cancelled) {
    host_.Status(kStopped);
  } else if (result == TransferResult::Failed) {
    host_.Message(kUploadTimeout);
  } else if (result == TransferResult::VerifyFailed) {
    std::string list;
    for (int segment : differing_) list += (list.empty() ? "" : ", ") + std::to_string(segment);
    host_.Status(kCommError);
    host_.Message("A feltöltés után a készülék ezekben a memória szegmensekben mást tartalmaz: " +
                  list);
  } else {
    host_.Status(kUploadOk);
  }
  host_.Busy(false);
  return result;
}

TransferResult Transfers::EndEarly(TransferResult result, const std::string& status,
                                   const std::string& message) {
  host_.ReleasePort();
  host_.Status(status);
  if (!message.empty()) host_.Message(message);
  host_.Busy(false);
  return result;
}

TransferResult Transfers::UploadImage(DeviceModel model, const UploadOptions& options) {
  differing_.clear();
  backupTaken_ = false;
  if (!host_.PortOpen()) {
    host_.Busy(false);
    return TransferResult::PortNotOpen;
  }
  host_.Busy(true);
  // An image of the other model would land on the wrong fields: ask the device first, as
  // patiently as a download does, since a type that cannot be read stops the upload.
  host_.Status("Tipusellenőrzés...");
  ConfigImage device;
  std::optional<DeviceModel> deviceModel = ProbeType(device);
  if (!deviceModel && !host_.Cancelled()) {
    // Not listening, or not saying which it is: broken in, it is asked as a download asks.
    BreakIn();
    deviceModel = ReadType(device, kMaxTries);
  }
  if (host_.Cancelled()) return FinishUpload(TransferResult::Cancelled);
  if (!deviceModel && !options.withoutTypeCheck) {
    return EndEarly(TransferResult::TypeUnknown, "Ismeretlen készüléktípus, nincs feltöltés.",
                    "A készülék típusa nem olvasható ki, ezért a feltöltés nem indult el; a "
                    "készülék nem változott.");
  }
  if (deviceModel && *deviceModel != model) {
    // The line worked; what stopped the upload was the device's answer.
    return EndEarly(TransferResult::WrongModel, "Eltérő készüléktípus, nincs feltöltés.",
                    std::string("A készülék típusa ") + ModelName(*deviceModel) +
                        ", az adatbázisé " + ModelName(model) +
                        ": a feltöltés nem indult el, a készülék nem változott.");
  }
  if (options.backup) {
    host_.Status("A készülék beállításainak mentése...");
    *options.backup = device;
    const TransferResult saved =
        ReadRange('D', FirstTransferSegment(deviceModel.value_or(model)), *options.backup);
    if (saved == TransferResult::Cancelled) return EndEarly(saved, kStopped, "");
    if (saved != TransferResult::Ok) {
      return EndEarly(
          saved, kCommError,
          "A készülék beállításait nem sikerült elmenteni, ezért a feltöltés nem indult el.");
    }
    backupTaken_ = true;
    if (options.keepBackup) {
      if (const std::optional<std::string> failed = options.keepBackup(*options.backup)) {
        return EndEarly(TransferResult::Failed, "Nincs feltöltés.",
                        *failed + "\nA feltöltés nem indult el, a készülék nem változott.");
      }
    }
  }
  TransferResult result = WriteRange(model);
  if (result == TransferResult::Ok && options.verify) {
    result = VerifyRange(model);
    // Every frame was taken: this is no upload time-out, only the check is missing.
    if (result == TransferResult::Failed) {
      return EndEarly(result, kCommError,
                      "A feltöltés megtörtént, de a készülék memóriája nem olvasható vissza: "
                      "az ellenőrzés elmaradt.");
    }
  }
  return FinishUpload(result);
}

TransferResult Transfers::WriteRange(DeviceModel model) {
  const int first = FirstTransferSegment(model);
  int segment = first;
  int failures = 0;
  // An acknowledgement has no address either: while the line is out of step the one taken
  // may be an earlier frame's, and the frames before may have been refused. So every doubt
  // sends the last few frames again (a segment written twice is written alike) after a
  // quiet line. Going back must not go on for ever: the frames are counted too.
  constexpr int kSendAgain = 2;
  const int mostFrames = (kSegmentCount - first) * kMaxTries;
  int frames = 0;
  std::array<uint32_t, 4> recent{};  // how long the last answers took
  uint32_t usual = 0;
  auto doubt = [&] {
    ++failures;
    segment = std::max(first, segment - kSendAgain);
  };
  while (failures < kMaxTries && frames < mostFrames) {
    if (host_.Cancelled()) return TransferResult::Cancelled;
    if (segment >= kSegmentCount) {
      // The last answers too may have been earlier frames' ones: a line that stays quiet
      // after them owes none.
      if (link_.StaysQuiet(kResyncQuietMs)) break;
      link_.Resync();
      doubt();
      continue;
    }
    std::string payload;
    for (int i = 0; i < kSegmentSize; ++i)
      payload += ByteToHex(image_.ImageByte(segment * kSegmentSize + i));
    const std::string frame = SegmentLink::BuildWriteFrame(static_cast<uint8_t>(segment), payload);
    // An answer that came too late for the frame before must not pass for this one's, and
    // says that the ones taken before may not have been theirs.
    if (link_.DrainInput(1) > 0 && segment > first) {
      link_.Resync();
      doubt();
      continue;
    }
    link_.port().WriteText(frame);
    ++frames;
    host_.Progress({segment});
    const uint32_t sent = link_.clock().Ticks();
    const bool answered = link_.WaitAnswerByte(kWriteTimeoutMs);
    const uint32_t took = link_.clock().Ticks() - sent;
    // The device answers a frame only after all of it came; an answer in much less time
    // than the answers take on this line was on its way before. (Where they take a few
    // milliseconds only, the clock's steps are too coarse to tell.)
    constexpr uint32_t kMeasurableMs = 8;
    const bool early = answered && usual >= kMeasurableMs && took * 2 < usual;
    if (answered) {
      recent[frames % recent.size()] = took;
      usual = *std::max_element(recent.begin(), recent.end());
    }
    uint8_t more = 0;
    const bool inStep = answered && !early && link_.port().Read(&more, 1) == 0 &&
                        (!link_.Watchful() || link_.StaysQuiet(kWatchMs));
    if (inStep && link_.SegmentReply()[0] == kAck) {
      ++segment;
      failures = 0;
    } else if (inStep && !link_.Watchful()) {
      // A refusal on a line in step is this frame's: it is sent again, as it always was.
      ++failures;
    } else {
      // A late acknowledgement would pass for the next frame's.
      if (!answered) link_.Settle(kWriteTimeoutMs);
      link_.Resync();
      doubt();
    }
    host_.ProcessEvents(0);
  }
  return failures >= kMaxTries || frames >= mostFrames ? TransferResult::Failed
                                                       : TransferResult::Ok;
}

TransferResult Transfers::VerifyRange(DeviceModel model) {
  host_.Status("Ellenőrzés...");
  ConfigImage readBack = image_;
  const TransferResult read = ReadRange('D', FirstTransferSegment(model), readBack);
  if (read != TransferResult::Ok) return read;
  for (int segment = FirstTransferSegment(model); segment < kSegmentCount; ++segment) {
    const long at = static_cast<long>(segment) * kSegmentSize;
    if (readBack.Bytes(at, kSegmentSize) != image_.Bytes(at, kSegmentSize)) {
      differing_.push_back(segment);
    }
  }
  return differing_.empty() ? TransferResult::Ok : TransferResult::VerifyFailed;
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
  // Nothing else takes the input during a transfer: a byte left waiting there would pass
  // for the device's answer.
  link_.DrainInput(kReplySize);
  int failures = 0;
  bool answered = false;
  while (!answered && failures < kMaxTries) {
    if (host_.Cancelled()) return FinishUpload(TransferResult::Cancelled);
    link_.port().WriteText(frame);
    answered = link_.WaitAnswerByte(2000, [this] { host_.ProcessEvents(0); }) &&
               link_.SegmentReply()[0] != kNak;
    if (!answered) ++failures;
  }
  return FinishUpload(answered ? TransferResult::Ok : TransferResult::Failed);
}

}  // namespace tarvelo
