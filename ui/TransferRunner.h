// Runs the device transfers for the main window: opens the port, posts the request to
// itself, and while a transfer runs keeps everything else disabled and offers a way to stop.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/Connection.h"
#include "link/Transfers.h"

class QProgressBar;
class QPushButton;
class QStatusBar;
class QWidget;

namespace tarvelo {

class DialogService;
struct Session;

enum class TransferKind { Download = 0, Upload = 1, PromDownload = 2, Clock = 3 };

// What an upload does besides writing: save the device's configuration first into a
// database file (none when empty), and read the device back afterwards.
struct UploadChoice {
  std::string backupFile;
  bool verify = false;
};

class TransferRunner : public QObject, public TransferHost {
 public:
  struct Hooks {
    std::function<void(const QString&)> status;  // status panel 3
    std::function<void(DeviceModel)> switchModel;
    std::function<DeviceModel()> model;
    std::function<void()> decode;
    std::vector<QWidget*> disable;  // pages, bottom panel, menu bar
    // A transfer starts (true) or has ended: whoever else reads the port steps aside.
    std::function<void(bool)> running;
  };

  TransferRunner(DeviceConnection& connection, Session& session, DialogService& dialogs,
                 QStatusBar* bar, Hooks hooks, QObject* parent);

  // Opens the port unless the terminal holds it, then posts the request. Raises EComPort
  // when the port cannot be opened; false when a transfer already runs.
  bool StartTransfer(TransferKind kind, UploadChoice upload = {});
  bool running() const { return running_; }
  void Stop() { cancelled_ = true; }

  // TransferHost
  void Status(const std::string& text) override;
  void Message(const std::string& text) override;
  void Busy(bool busy) override;
  void ProcessEvents(int waitMs) override;
  void Progress(const TransferProgress& p) override;
  bool Cancelled() override { return cancelled_; }
  void SwitchModel(DeviceModel model) override { hooks_.switchModel(model); }
  void Decode() override { hooks_.decode(); }
  bool PortOpen() override { return connection_.IsOpen(); }
  int LastSystemError() override { return connection_.LastOpenError(); }
  void ReleasePort() override { connection_.EndTransfer(); }

 protected:
  bool event(QEvent* e) override;

 private:
  void Run(TransferKind kind);
  void Upload(Transfers& transfers);
  void SetRunning(bool on);
  // Shows the progress not shown yet: the display follows a transfer at most every
  // kDisplayMs, and its last state is always shown before anything else is.
  void ShowProgress();

  static constexpr int kDisplayMs = 50;

  DeviceConnection& connection_;
  Session& session_;
  DialogService& dialogs_;
  Hooks hooks_;
  QProgressBar* bar_;
  QPushButton* stop_;
  bool running_ = false;
  bool cancelled_ = false;
  bool busy_ = false;
  UploadChoice upload_;
  std::optional<TransferProgress> pending_;
  QElapsedTimer shown_;  // since the display was last brought up to date
};

}  // namespace tarvelo
