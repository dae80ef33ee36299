#include "ui/TransferRunner.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include "files/DatabaseFile.h"
#include "link/SerialLinkPort.h"
#include "ui/DialogService.h"
#include "ui/ErrorGuard.h"
#include "ui/QtText.h"
#include "ui/Session.h"

namespace tarvelo {
namespace {

// Transfers start from a request the window posts to itself, so the command that asked for
// one has returned before it runs.
const QEvent::Type kTransferRequest = static_cast<QEvent::Type>(QEvent::User + 1);

class TransferRequest : public QEvent {
 public:
  explicit TransferRequest(TransferKind kind) : QEvent(kTransferRequest), kind(kind) {}
  TransferKind kind;
};

}  // namespace

TransferRunner::TransferRunner(DeviceConnection& connection, Session& session,
                               DialogService& dialogs, QStatusBar* bar, Hooks hooks,
                               QObject* parent)
    : QObject(parent),
      connection_(connection),
      session_(session),
      dialogs_(dialogs),
      hooks_(std::move(hooks)) {
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
  connect(stop_, &QPushButton::clicked, this, Guarded([this] { Stop(); }));
}

bool TransferRunner::StartTransfer(TransferKind kind, UploadChoice upload) {
  if (running_) return false;  // one transfer at a time
  upload_ = std::move(upload);
  if (kind == TransferKind::Clock && !connection_.IsOpen()) hooks_.status("Kapcsolódás...");
  connection_.BeginTransfer(session_.workstation.portName, session_.workstation.speedIndex);
  // Everything stays disabled from the request until the transfer has ended.
  SetRunning(true);
  QCoreApplication::postEvent(this, new TransferRequest(kind));
  return true;
}

bool TransferRunner::event(QEvent* e) {
  if (e->type() != kTransferRequest) return QObject::event(e);
  Run(static_cast<TransferRequest*>(e)->kind);
  return true;
}

void TransferRunner::Run(TransferKind kind) {
  SerialLinkPort linkPort(connection_);
  SteadyClock clock;
  Transfers transfers(linkPort, clock, *this, session_.record.image);
  cancelled_ = false;
  pending_.reset();
  shown_.start();
  struct EndRun {
    TransferRunner* runner;
    ~EndRun() {
      // Every ending shows its own text, after which a segment's is out of date.
      runner->pending_.reset();
      runner->Busy(false);
      runner->SetRunning(false);
    }
  } end{this};
  try {
    switch (kind) {
      case TransferKind::Download:
        transfers.DownloadImage();
        break;
      case TransferKind::Upload:
        Upload(transfers);
        break;
      case TransferKind::PromDownload:
        transfers.DownloadProm();
        break;
      case TransferKind::Clock:
        transfers.SyncClock();
        break;
    }
  } catch (const EComPort& e) {
    // The port was closed under the transfer by its event thread's failure, which has been
    // shown already: the read or write that found it closed has nothing to add.
    if (!connection_.IsOpen() && e.AlreadyReported) return;
    ShowProgress();
    // A port that failed is closed, so the next transfer starts afresh.
    connection_.CloseUnlessHeld();
    ReportError(std::current_exception());
  }
}

void TransferRunner::Upload(Transfers& transfers) {
  ConfigImage backup;
  UploadOptions options;
  options.verify = upload_.verify;
  if (!upload_.backupFile.empty()) {
    options.backup = &backup;
    options.keepBackup = [this](const ConfigImage& read) {
      return SaveDeviceBackup(upload_.backupFile, session_.record, read);
    };
  }
  const DeviceModel model = hooks_.model();
  if (transfers.UploadImage(model, options) != TransferResult::TypeUnknown) return;
  // The device did not say which model it is, so nothing was sent. Only the user can take
  // the risk of an image landing on the other model's fields.
  const bool wasBusy = busy_;
  if (wasBusy) Busy(false);
  const auto answer =
      dialogs_.Ask(QString("A készülék típusa nem olvasható ki. Ha a készülék nem %1, a feltöltött "
                           "beállítások rossz helyre kerülnek, és a készülék hibásan működhet.\n"
                           "Feltölti típusellenőrzés nélkül ?")
                       .arg(ModelName(model)),
                   "Tarvelo", QMessageBox::Yes | QMessageBox::No, QMessageBox::Warning);
  if (answer != QMessageBox::Yes) return;
  if (wasBusy) Busy(true);
  // The refused upload gave the port back; the second one opens it as the first did.
  connection_.BeginTransfer(session_.workstation.portName, session_.workstation.speedIndex);
  options.withoutTypeCheck = true;
  transfers.UploadImage(model, options);
}

void TransferRunner::SetRunning(bool on) {
  running_ = on;
  if (hooks_.running) hooks_.running(on);
  for (QWidget* w : hooks_.disable) w->setEnabled(!on);
  bar_->setValue(0);
  bar_->setVisible(on);
  stop_->setVisible(on);
  if (on) stop_->setFocus();
}

void TransferRunner::Status(const std::string& text) {
  ShowProgress();
  hooks_.status(Q(text));
}

void TransferRunner::Message(const std::string& text) {
  ShowProgress();
  const bool wasBusy = busy_;
  if (wasBusy) Busy(false);
  dialogs_.Message(Q(text));
  if (wasBusy) Busy(true);
}

void TransferRunner::Busy(bool busy) {
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
    // Between segments: a segment takes a few milliseconds on a fast line, and repainting
    // and serving the window after each cost more than the bytes. Often enough that the
    // window keeps up and a stop is taken at once.
    if (shown_.isValid() && shown_.elapsed() < kDisplayMs) return;
    ShowProgress();
    QCoreApplication::processEvents();
    shown_.start();
    return;
  }
  ShowProgress();
  // Wait in an event loop rather than in a loop of polls.
  QEventLoop loop;
  QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
  loop.exec();
}

void TransferRunner::Progress(const TransferProgress& p) {
  pending_ = p;
}

void TransferRunner::ShowProgress() {
  if (!pending_) return;
  const TransferProgress p = *pending_;
  pending_.reset();
  hooks_.status(Q(ProgressText(p)));
  bar_->setMaximum(p.last);
  bar_->setValue(p.segment);
}

}  // namespace tarvelo
