// Runs the device transfers for the main window: opens the port, posts the request to
// itself, and while a transfer runs keeps everything else disabled and offers a way to stop.
#pragma once

#include <QObject>
#include <functional>

#include "serial/ComPort.h"
#include "link/Transfers.h"

class QProgressBar;
class QPushButton;
class QStatusBar;
class QWidget;

namespace tarvelo {

class DialogService;
struct Session;

class TransferRunner : public QObject, public TransferHost {
 public:
  enum Code { Download = 0, Upload = 1, PromDownload = 2 };

  struct Hooks {
    std::function<void(const QString&)> status;  // status panel 3
    std::function<void(DeviceModel)> switchModel;
    std::function<DeviceModel()> model;
    std::function<void()> decode;
    std::function<bool()> portHeld;  // the terminal's connect button is down
    std::vector<QWidget*> disable;   // pages, bottom panel, menu bar
  };

  TransferRunner(TCustomComPort& port, Session& session, DialogService& dialogs, QStatusBar* bar,
                 Hooks hooks, QObject* parent);

  // Opens the port unless the terminal holds it, then posts the request; false when the
  // port could not be opened (the error was shown) or a transfer already runs.
  bool StartTransfer(int code);
  bool running() const { return running_; }
  void Stop() { cancelled_ = true; }
  ConfigImage* image = nullptr;

  // TransferHost
  void Status(const std::string& text) override;
  void Message(const std::string& text) override;
  void BusyCursor(bool busy) override;
  void ProcessEvents(int waitMs) override;
  void Progress(int segment) override;
  bool Cancelled() override { return cancelled_; }
  void SwitchModel(DeviceModel model) override { hooks_.switchModel(model); }
  void Decode() override { hooks_.decode(); }
  bool PortOpen() override { return port_.Connected(); }
  int LastSystemError() override { return lastError_; }
  void ClosePortUnlessHeld() override;

 protected:
  bool event(QEvent* e) override;

 private:
  void Run(int code);
  void SetRunning(bool on);

  TCustomComPort& port_;
  Session& session_;
  DialogService& dialogs_;
  Hooks hooks_;
  QProgressBar* bar_;
  QPushButton* stop_;
  bool running_ = false;
  bool cancelled_ = false;
  bool busy_ = false;
  int lastError_ = 0;
};

}  // namespace tarvelo
