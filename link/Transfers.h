// The four transfers between the image and the device, written once for the window, the
// command-line tool and the tests, which differ only in their host.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/Protocol.h"
#include "model/ConfigImage.h"

namespace tarvelo {

// A segment that has just been transferred, of the last one a transfer reaches.
struct TransferProgress {
  int segment;
  int last = kSegmentCount - 1;
};
// The status panel's text for it: "Memória szegmens: 44/255".
std::string ProgressText(const TransferProgress& p);

// What a transfer needs from whoever runs it. Texts are UTF-8.
class TransferHost {
 public:
  virtual ~TransferHost() = default;
  virtual void Status(const std::string& text) = 0;   // the status panel
  virtual void Message(const std::string& text) = 0;  // a message box
  // The transfer is working and the user must wait (or is done with that).
  virtual void Busy(bool busy) = 0;
  // Lets pending work run (the window repaints, handlers run) for up to `waitMs`.
  virtual void ProcessEvents(int waitMs) = 0;
  virtual void Progress(const TransferProgress&) {}
  virtual bool Cancelled() { return false; }
  // The download's model switch, and the decode that ends a successful download.
  virtual void SwitchModel(DeviceModel model) = 0;
  virtual void Decode() = 0;
  // Whether the port is open, and the last system error for the "not open" message.
  virtual bool PortOpen() = 0;
  virtual int LastSystemError() { return 0; }
  // The transfer is done with the port: it is closed unless the terminal holds it.
  virtual void ReleasePort() = 0;
  virtual std::tm LocalTime();
};

// WrongModel: the device is of the other model, so nothing was sent. TypeUnknown: the
// device's type could not be read (no answer, or no version text), so nothing was sent; see
// UploadOptions::withoutTypeCheck. VerifyFailed: the upload went through but the device
// reads back otherwise (see Transfers::Differing()).
enum class TransferResult {
  Ok,
  Failed,
  Cancelled,
  PortNotOpen,
  WrongModel,
  TypeUnknown,
  VerifyFailed
};

// What an upload does besides writing: first read the device's configuration into
// `backup` (the upload does not start when that fails), and afterwards read the range back
// and compare.
struct UploadOptions {
  ConfigImage* backup = nullptr;
  bool verify = false;
  // Keeps the backup (writes it to a file) once it has been read, before the first segment
  // is written: an upload that breaks off leaves the device half written, and then the
  // backup is what is needed most. A refusal, the reason, stops the upload there.
  std::function<std::optional<std::string>(const ConfigImage&)> keepBackup;
  // Writes even when the device's type cannot be read: only after the user has been told
  // that an image of the other model would land on the wrong fields. A device that names
  // the other model is still refused.
  bool withoutTypeCheck = false;
};

class Transfers {
 public:
  Transfers(LinkPort& port, LinkClock& clock, TransferHost& host, ConfigImage& image)
      : link_(port, clock), host_(host), image_(image) {}

  // A download reads into a fresh zero-filled image. Only a download that finishes replaces
  // the image (switching the model to the device's first); one that fails, is stopped or
  // loses its port leaves image and model as they were, so that what the window still
  // shows is what a save or an upload writes.
  TransferResult DownloadImage();
  TransferResult DownloadProm();
  // Writes the transfer range of the given model, after making sure the device is of that
  // model; a device whose type cannot be read is not written to (TypeUnknown) unless the
  // options say so.
  TransferResult UploadImage(DeviceModel model, const UploadOptions& options = {});
  // The segments that read back otherwise after a verified upload.
  const std::vector<int>& Differing() const { return differing_; }
  // Whether the last upload read the device's configuration into its backup.
  bool BackupTaken() const { return backupTaken_; }
  TransferResult SyncClock();

  static std::string ClockText(const std::tm& t);  // "yyyymmddhhnnss"
  static std::string ClockFrame(const std::tm& t);
  SegmentLink& link() { return link_; }

 private:
  void BreakIn();
  void Wait(int ms);
  TransferResult ReadRange(char command, int first, ConfigImage& into);
  // Reads the type segment into `into`; the device's model, or none when it never answered
  // or gave no version text.
  std::optional<DeviceModel> ReadType(ConfigImage& into, int attempts);
  // Asks the type once without a break-in; none when that got no clear answer.
  std::optional<DeviceModel> ProbeType(ConfigImage& into);
  TransferResult WriteRange(DeviceModel model);
  TransferResult VerifyRange(DeviceModel model);
  bool DownloadPortOpen();
  TransferResult FinishDownload(TransferResult result, const ConfigImage& read,
                                std::optional<DeviceModel> model);
  TransferResult FinishUpload(TransferResult result);
  // An upload that ends before its first frame or without its check: the port, the texts,
  // the result.
  TransferResult EndEarly(TransferResult result, const std::string& status,
                          const std::string& message);

  SegmentLink link_;
  TransferHost& host_;
  ConfigImage& image_;
  std::vector<int> differing_;
  bool backupTaken_ = false;
};

}  // namespace tarvelo
