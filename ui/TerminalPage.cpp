#include "ui/TerminalPage.h"

#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "files/Workstation.h"
#include "link/Connection.h"
#include "ui/ComTerminal.h"
#include "ui/DialogService.h"
#include "ui/ErrorGuard.h"
#include "ui/QtText.h"
#include "ui/TerminalKeys.h"

namespace tarvelo {
namespace {

// How long the device's modem interface is given to leave transparent mode.
constexpr int kTransparentOffWaitMs = 1000;
constexpr int kDefaultColumns = 80;
constexpr int kDefaultRows = 24;

QToolButton* ToggleButton(const char* name, const QString& caption, QWidget* parent) {
  auto* b = new QToolButton(parent);
  b->setObjectName(name);
  b->setText(caption);
  b->setCheckable(true);
  b->setToolButtonStyle(Qt::ToolButtonTextOnly);
  return b;
}

// A push button only as wide as its caption: the style's minimum width for text buttons
// would take the room the telephone number needs in the tight strip.
class CaptionButton : public QPushButton {
 public:
  using QPushButton::QPushButton;
  QSize sizeHint() const override {
    QSize size = QPushButton::sizeHint();
    const int margin = style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, this);
    size.setWidth(std::min(
        size.width(), fontMetrics().size(Qt::TextShowMnemonic, text()).width() + 2 * margin + 8));
    return size;
  }
  QSize minimumSizeHint() const override { return sizeHint(); }
};

constexpr const char* kLogIdleTip = "Napló: a forgalom rögzítése időbélyeggel egy fájlba (Alt+L)";

}  // namespace

TerminalPage::TerminalPage(PageHost& host, TerminalHost& terminalHost)
    : Page("TabSheet8", host), terminalHost_(terminalHost) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  pnlTerm = new QWidget(this);
  pnlTerm->setObjectName("pnlTerm");
  pnlTerm->setFixedHeight(33);
  // The strip must not widen the window: in a narrow one its last controls are cut off.
  pnlTerm->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  auto* strip = new QHBoxLayout(pnlTerm);
  strip->setContentsMargins(2, 2, 2, 2);
  strip->setSpacing(3);
  btnConnect = ToggleButton("btnConnect", "Ka&pcsolódás", pnlTerm);
  btnTransp = ToggleButton("btnTransp", "QB3N Transzp. Be", pnlTerm);
  btnTransp->setProperty("tag", 0);
  btnTransp->setEnabled(false);
  btnSync = new QPushButton(style()->standardIcon(QStyle::SP_BrowserReload),
                            "Dátum/Idő szinkronizálás", pnlTerm);
  btnSync->setObjectName("btnSync");
  // The strip is tight at the window's width: a button's own caption is what must not be
  // cut, so the number field gives way first.
  btnSync->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  btnSync->setIconSize(QSize(12, 12));
  Label5 = new QLabel("Telefonszám:", pnlTerm);
  Label5->setObjectName("Label5");
  edPhone = new QLineEdit(pnlTerm);
  edPhone->setObjectName("edPhone");
  // Room for six digits before the field gives way (a longer number scrolls in it): at the
  // window's own width the buttons' captions need the rest.
  edPhone->setMinimumWidth(edPhone->fontMetrics().horizontalAdvance(QString(6, '0')) + 10);
  Label5->setBuddy(edPhone);
  btnDial = new CaptionButton("&Tárcsáz", pnlTerm);
  btnDial->setObjectName("btnDial");
  btnDial->setEnabled(false);
  // A picture only: the strip has no room for another caption beside the number field.
  // Alt+N is the "Nézet" menu's.
  btnLog = ToggleButton("btnLog", "Nap&ló", pnlTerm);
  btnLog->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
  btnLog->setToolButtonStyle(Qt::ToolButtonIconOnly);
  btnLog->setShortcut(QKeySequence("Alt+L"));
  btnLog->setToolTip(kLogIdleTip);
  strip->addWidget(btnConnect);
  strip->addWidget(btnTransp);
  strip->addWidget(btnSync);
  strip->addWidget(Label5);
  strip->addWidget(edPhone, 1);
  strip->addWidget(btnDial);
  strip->addStretch(0);
  strip->addWidget(btnLog);
  // The screen size and the readable capture, in a menu of their own: the strip has no room.
  btnOptions = new QToolButton(pnlTerm);
  btnOptions->setObjectName("btnOptions");
  btnOptions->setText("B&eállítások");
  btnOptions->setIcon(style()->standardIcon(QStyle::SP_FileDialogListView));
  btnOptions->setToolButtonStyle(Qt::ToolButtonIconOnly);
  btnOptions->setPopupMode(QToolButton::InstantPopup);
  btnOptions->setShortcut(QKeySequence("Alt+E"));
  btnOptions->setToolTip("A terminál beállításai: képernyőméret, szövegnapló (Alt+E)");
  auto* options = new QMenu(btnOptions);
  options->setObjectName("mnuTermOptions");
  fitAction_ = options->addAction("Ablakhoz igazít");
  fitAction_->setObjectName("mnuTermFit");
  fitAction_->setCheckable(true);
  fitAction_->setToolTip(
      "A képernyő annyi sort és oszlopot kap, amennyi az oldalon elfér; "
      "kikapcsolva 80 x 24");
  captureAction_ = options->addAction("Szövegnapló...");
  captureAction_->setObjectName("mnuTermCapture");
  captureAction_->setCheckable(true);
  captureAction_->setToolTip(
      "A fogadott szöveg olvasható rögzítése egy fájlba, "
      "vezérlőkódok nélkül");
  btnOptions->setMenu(options);
  strip->addWidget(btnOptions);
  column->addWidget(pnlTerm);

  ComTerminal1 = new TComTerminal(this);
  ComTerminal1->setObjectName("ComTerminal1");
  ComTerminal1->SetEmulation(teVT100orANSI);
  ComTerminal1->SetColor(Qt::black);
  QFont font(QStringLiteral("Fixedsys"));
  font.setPixelSize(12);
  ComTerminal1->setFont(font);
  ComTerminal1->SetFontColor(Qt::white);
  ComTerminal1->SetScrollBars(ssBoth);
  ComTerminal1->SetAutoSize(true);
  ComTerminal1->SetConnection(&terminalHost_.connection());
  // A form feed from the far end (or ESC without a parser) starts a clean screen.
  ComTerminal1->OnChar = [](TCustomComTerminal* t, uint8_t ch) {
    if (ch == 12 || ch == 27) t->WipeScreen();
  };
  // Asked for only without an emulation, which this page never sets.
  ComTerminal1->OnGetEscapeCodes = [](TCustomComTerminal* t, std::unique_ptr<TEscapeCodes>&) {
    t->WipeScreen();
  };
  ComTerminal1->OnLogFailed = [this](TCustomComTerminal*, const QString& why) {
    btnLog->setChecked(false);
    host_.dialogs().Message(why);
  };
  // Everything received, for the readable capture while it runs.
  ComTerminal1->OnStrRecieved = [this](TCustomComTerminal*, std::string& text) { Captured(text); };
  column->addWidget(ComTerminal1, 1);
  setFocusProxy(ComTerminal1);
  new TerminalKeys(ComTerminal1);
  connect(fitAction_, &QAction::toggled, this, Guarded([this](bool on) {
            SetFitsWindow(on);
            terminalHost_.KeepTerminalFitsWindow(on);
          }));
  connect(captureAction_, &QAction::triggered, this, Guarded([this](bool on) {
            if (on) {
              StartCapture();
            } else {
              StopCapture();
            }
          }));
  // After a choice in the menu, typing goes on where it was.
  connect(options, &QMenu::triggered, this, [this] { ComTerminal1->setFocus(); });
  fitAction_->setChecked(terminalHost_.TerminalFitsWindow());

  connect(btnConnect, &QToolButton::clicked, this, Guarded([this] { ToggleConnection(); }));
  connect(btnTransp, &QToolButton::clicked, this, Guarded([this] { ToggleTransparent(); }));
  connect(btnSync, &QPushButton::clicked, this, Guarded([this] { SetDeviceClock(); }));
  connect(btnDial, &QPushButton::clicked, this, Guarded([this] { Dial(); }));
  connect(btnLog, &QToolButton::clicked, this, Guarded([this] { ToggleLog(); }));
}

void TerminalPage::DetachPort() {
  ComTerminal1->StopLog();
  StopCapture();
  ComTerminal1->SetConnection(nullptr);
}

void TerminalPage::ShowPhoneNumber(const std::string& cp1250) {
  edPhone->setText(FromCp1250(cp1250));
}

void TerminalPage::PortOpened() {
  btnDial->setEnabled(true);
  btnTransp->setEnabled(true);
}

void TerminalPage::PortClosed() {
  btnDial->setEnabled(false);
  btnTransp->setEnabled(false);
  btnConnect->setChecked(false);
}

void TerminalPage::ToggleConnection() {
  DeviceConnection& connection = terminalHost_.connection();
  if (connection.IsOpen()) {
    Disconnect();
    return;
  }
  // The button went down with the click; it stays down only while the port is held.
  try {
    const WorkstationSettings& ws = terminalHost_.workstation();
    connection.Hold(ws.portName, ws.speedIndex, ws.terminalLine);
  } catch (...) {
    btnConnect->setChecked(false);
    throw;  // shown by the error guard
  }
  btnConnect->setChecked(true);
  ComTerminal1->setFocus();
}

void TerminalPage::Disconnect() {
  DeviceConnection& connection = terminalHost_.connection();
  if (disconnecting_) return;
  disconnecting_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{disconnecting_};
  if (connection.IsOpen() && btnTransp->property("tag").toInt() == 1) {
    ToggleTransparent();
    // The window keeps painting (and the terminal shows the device's answer) but takes
    // no input until the device has had its time.
    QEventLoop wait;
    QTimer::singleShot(kTransparentOffWaitMs, Qt::PreciseTimer, &wait, &QEventLoop::quit);
    wait.exec(QEventLoop::ExcludeUserInputEvents);
  }
  connection.Release();
  btnConnect->setChecked(false);
}

void TerminalPage::Write(const std::string& bytes) {
  terminalHost_.connection().Write(bytes);
}

void TerminalPage::Dial() {
  QString message;
  const std::optional<std::string> number = ToCp1250(edPhone->text(), &message);
  if (!number) {
    host_.dialogs().Message(message);
    return;
  }
  Write("ATD" + *number + "\r");
}

void TerminalPage::ToggleTransparent() {
  const bool on = btnTransp->property("tag").toInt() != 1;
  btnTransp->setProperty("tag", on ? 1 : 0);
  btnTransp->setText(on ? "Transzp. Ki" : "Transzp. Be");
  btnTransp->setChecked(on);
  Write(on ? "transpon" : "transpof");
}

void TerminalPage::SetDeviceClock() {
  terminalHost_.SetDeviceClock();
}

void TerminalPage::ToggleLog() {
  if (!btnLog->isChecked()) {
    ComTerminal1->StopLog();
    btnLog->setToolTip(kLogIdleTip);
    return;
  }
  btnLog->setChecked(false);
  FileDialogOptions options;
  options.title = "Terminálnapló";
  options.filter = "Naplófájl (*.log);;Minden file (*)";
  options.defaultSuffix = "log";
  const QString file = host_.dialogs().SaveFileName(options);
  if (file.isEmpty()) return;
  QString error;
  if (!ComTerminal1->StartLog(file, &error)) {
    host_.dialogs().Message(error);
    return;
  }
  btnLog->setChecked(true);
  btnLog->setToolTip("Napló: " + file);
}

void TerminalPage::StartCapture() {
  captureAction_->setChecked(false);
  FileDialogOptions options;
  options.title = "Szövegnapló";
  options.filter = "Szövegfájl (*.txt);;Minden file (*)";
  options.defaultSuffix = "txt";
  const QString file = host_.dialogs().SaveFileName(options);
  if (file.isEmpty()) return;
  const FileResult opened = capture_.Open(file.toStdString());
  if (!opened.ok) {
    host_.dialogs().Message(Q(opened.message));
    return;
  }
  // A sequence or a line left half done by an earlier capture belongs to no file.
  captureText_.Reset();
  captureAction_->setChecked(true);
  captureAction_->setToolTip("Szövegnapló: " + file);
}

void TerminalPage::StopCapture() {
  capture_.Close();
  captureAction_->setChecked(false);
}

void TerminalPage::Captured(const std::string& received) {
  if (!capture_.IsOpen()) return;
  const std::string text = captureText_.Feed(received);
  if (text.empty()) return;
  const FileResult appended = capture_.Append(text);
  if (appended.ok) return;
  captureAction_->setChecked(false);
  // Told once the block is on the screen: a message box now would run the event loop in the
  // middle of the terminal's receive step.
  QTimer::singleShot(0, this,
                     Guarded([this, why = Q(appended.message)] { host_.dialogs().Message(why); }));
}

void TerminalPage::SetFitsWindow(bool on) {
  fitsWindow_ = on;
  if (fitAction_->isChecked() != on) fitAction_->setChecked(on);
  ComTerminal1->SetFitToWindow(on);
  if (on) return;
  ComTerminal1->SetColumns(kDefaultColumns);
  ComTerminal1->SetRows(kDefaultRows);
}

}  // namespace tarvelo
