#include "ui/TransferRunner.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <cerrno>

#include "ui/DialogService.h"
#include "ui/MainWindow.h"
#include "ui/QtText.h"
#include "link/SerialLinkPort.h"

namespace tarvelo {
namespace {

// The request a transfer handler posts to itself, as the window message 0x400 did.
const QEvent::Type kTransferRequest = static_cast<QEvent::Type>(QEvent::User + 0x400);

class TransferRequest : public QEvent {
 public:
  explicit TransferRequest(int code) : QEvent(kTransferRequest), code(code) {}
  int code;
};

TBaudRate PortBaudRate(int speedIndex) {
  switch (PortBaud(speedIndex)) {
    case 300:
      return br300;
    case 600:
      return br600;
    case 1200:
      return br1200;
    case 2400:
      return br2400;
    case 4800:
      return br4800;
    case 9600:
      return br9600;
    case 38400:
      return br38400;
    case 57600:
      return br57600;
    case 115200:
      return br115200;
    default:
      return br19200;
  }
}

}  // namespace

TransferRunner::TransferRunner(TCustomComPort& port, Session& session, DialogService& dialogs,
                               QStatusBar* bar, Hooks hooks, QObject* parent)
    : QObject(parent), port_(port), session_(session), dialogs_(dialogs), hooks_(std::move(hooks)) {
  bar_ = new QProgressBar(bar);
  bar_->setObjectName("pbTransfer");
  bar_->setRange(0, 255);
  bar_->setMaximumWidth(120);
  bar_->setTextVisible(false);
  stop_ = new QPushButton("Mégsem", bar);
  stop_->setObjectName("btnTransferStop");
  stop_->setShortcut(QKeySequence(Qt::Key_Escape));
  bar->addPermanentWidget(bar_);
  bar->addPermanentWidget(stop_);
  bar_->hide();
  stop_->hide();
  connect(stop_, &QPushButton::clicked, this, [this] { Stop(); });
}

bool TransferRunner::StartTransfer(int code) {
  if (running_) return false;  // one transfer at a time
  if (!hooks_.portHeld()) {
    try {
      port_.SetPort(session_.workstation.portName);
      port_.SetBaudRate(PortBaudRate(session_.workstation.speedIndex));
      port_.Open();
    } catch (const EComPort& e) {
      lastError_ = e.SystemErrorCode;
      dialogs_.Message(QString::fromStdString(e.what()));
      return false;
    }
  }
  // Everything stays disabled from the request until the transfer has ended.
  SetRunning(true);
  QCoreApplication::postEvent(this, new TransferRequest(code));
  return true;
}

bool TransferRunner::event(QEvent* e) {
  if (e->type() != kTransferRequest) return QObject::event(e);
  Run(static_cast<TransferRequest*>(e)->code);
  return true;
}

void TransferRunner::Run(int code) {
  SerialLinkPort linkPort(port_);
  SteadyClock clock;
  Transfers transfers(linkPort, clock, *this, *image);
  cancelled_ = false;
  try {
    switch (code) {
      case Download:
        transfers.DownloadImage();
        break;
      case Upload:
        transfers.UploadImage(hooks_.model());
        break;
      case PromDownload:
        transfers.DownloadProm();
        break;
      default:
        break;
    }
  } catch (const EComPort& e) {
    BusyCursor(false);
    dialogs_.Message(QString::fromStdString(e.what()));
    // A port that failed is closed, so the next transfer starts afresh.
    try {
      if (!hooks_.portHeld()) port_.Close();
    } catch (const EComPort&) {
    }
  }
  SetRunning(false);
}

void TransferRunner::SetRunning(bool on) {
  running_ = on;
  for (QWidget* w : hooks_.disable) w->setEnabled(!on);
  bar_->setValue(0);
  bar_->setVisible(on);
  stop_->setVisible(on);
  if (on) stop_->setFocus();
}

void TransferRunner::Status(const std::string& text) {
  hooks_.status(Q(text));
}

void TransferRunner::Message(const std::string& text) {
  const bool wasBusy = busy_;
  if (wasBusy) BusyCursor(false);
  dialogs_.Message(Q(text));
  if (wasBusy) BusyCursor(true);
}

void TransferRunner::BusyCursor(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void TransferRunner::ProcessEvents(int waitMs) {
  if (waitMs <= 0) {
    QCoreApplication::processEvents();
    return;
  }
  // Wait in an event loop rather than in a loop of polls.
  QEventLoop loop;
  QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
  loop.exec();
}

void TransferRunner::Progress(int segment) {
  bar_->setValue(segment);
}

void TransferRunner::ClosePortUnlessHeld() {
  if (!hooks_.portHeld()) port_.Close();
}

}  // namespace tarvelo
