#include "ui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

#include "files/DatabaseFile.h"
#include "files/IniFile.h"
#include "model/FreeNumbers.h"
#include "model/ImageView.h"
#include "model/NewDatabase.h"
#include "ui/CallInPage.h"
#include "ui/CodesPage.h"
#include "ui/ComPortDialog.h"
#include "ui/ComTerminal.h"
#include "ui/ErrorGuard.h"
#include "ui/GeneralPage.h"
#include "ui/LinesPage.h"
#include "ui/NumberPlanPage.h"
#include "ui/NumbersPage.h"
#include "ui/PathPanel.h"
#include "ui/PreferencesDialog.h"
#include "ui/Printing.h"
#include "ui/QtText.h"
#include "ui/TerminalPage.h"
#include "ui/TimersPage.h"
#include "ui/TransferRunner.h"
#include "ui/Widgets.h"

namespace tarvelo {
namespace {

struct PageRow {
  const char* name;
  const char* caption;
  const char* viewItem;    // its "&Nézet" item
  const char* viewAction;  // objectName of that item
};

constexpr PageRow kPages[] = {
    {"TabSheet1", "&Alap", "Alap", "mnuAlap"},
    {"TabSheet2", "&Vonalak", "Vonalak", "mnuVonalak"},
    {"TabSheet3", "I&dőzítők", "Idözítök", "mnuIdozitok"},
    {"TabSheet4", "Szám&hosszak", "Számhosszak", "mnuSzamhosszak"},
    {"TabSheet5", "&Kódok", "Kódok", "mnuKodok"},
    {"TabSheet6", "&Számok", "Számok", "mnuSzamok"},
    {"TabSheet7", "&Behívás", "Behívás", "mnuBeh"},
    {"TabSheet8", "Te&rminál", "Terminál", "mnuTerm"},
};

QAction* AddItem(QMenu* menu, const char* name, const QString& caption,
                 const QKeySequence& shortcut = QKeySequence(), int tag = -1) {
  auto* a = menu->addAction(caption);
  a->setObjectName(name);
  if (!shortcut.isEmpty()) a->setShortcut(shortcut);
  if (tag >= 0) a->setProperty("tag", tag);
  return a;
}

// A window command's Ctrl+letter is also Ctrl+Shift+letter: a connected terminal sends
// Ctrl+letter down the line, as desktop terminals do, and leaves the shifted key to the window.
void AddShiftedTwin(QAction* a) {
  const QKeySequence key = a->shortcut();
  if (key.count() != 1 || key[0].keyboardModifiers() != Qt::ControlModifier) return;
  const Qt::Key letter = key[0].key();
  if (letter < Qt::Key_A || letter > Qt::Key_Z) return;
  a->setShortcuts(
      {key, QKeySequence(QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, letter))});
}

constexpr const char* kTerminalOptions = "OPTIONS";
constexpr const char* kTerminalFit = "TERMFIT";

// Beside the program in the build folder; under share/tarvelo when installed.
QString HelpIndexPath() {
  const QByteArray env = qgetenv("TARVELO_HELP_DIR");
  if (!env.isEmpty()) return QString::fromLocal8Bit(env) + "/index.html";
  const QString bin = QApplication::applicationDirPath();
  const QString beside = bin + "/help/index.html";
  const QString installed = bin + "/../share/tarvelo/help/index.html";
  if (!QFileInfo::exists(beside) && QFileInfo::exists(installed))
    return QFileInfo(installed).canonicalFilePath();
  return beside;
}

}  // namespace

TMainForm::TMainForm(Session& session, std::unique_ptr<DialogService> dialogs,
                     const QString& openFile)
    : session_(session),
      dialogs_(dialogs ? std::move(dialogs) : std::make_unique<QtDialogService>(this)),
      leave_(new LeaveDispatcher(this)) {
  setObjectName("MainForm");
  setWindowTitle("Tarvelo (Zen-4 V2.39g; Zen-16 V4.29)");
  setWindowIcon(QIcon(":/tarvelo.svg"));
  resize(666, 536);
  if (QScreen* screen = QApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  PageControl = new QTabWidget(central);
  PageControl->setObjectName("PageControl");
  codesPage_ = new CodesPage(*this);
  numbersPage_ = new NumbersPage(*this);
  terminalPage_ = new TerminalPage(*this, *this);
  pages_ = {new GeneralPage(*this),    new LinesPage(*this), new TimersPage(*this),
            new NumberPlanPage(*this), codesPage_,           numbersPage_,
            new CallInPage(*this),     terminalPage_};
  for (size_t i = 0; i < std::size(kPages); ++i) PageControl->addTab(pages_[i], kPages[i].caption);
  column->addWidget(PageControl, 1);

  // The bottom row: the type box, and beside it, while a transfer runs, its progress and the
  // button that stops it (the status bar has no room for them next to its four panels).
  bottomRow_ = new QHBoxLayout;
  bottomRow_->setContentsMargins(0, 0, 6, 0);
  pnlBott = new QWidget(central);
  pnlBott->setObjectName("pnlBott");
  auto* bottom = new QHBoxLayout(pnlBott);
  bottom->setContentsMargins(6, 2, 6, 2);
  bottom->addWidget(new QLabel(LabelText(RowOf("", "modelName")), pnlBott));
  cbTipus = new QComboBox(pnlBott);
  cbTipus->setObjectName("cbTipus");
  cbTipus->addItem(ModelName(DeviceModel::FourLine));
  cbTipus->addItem(ModelName(DeviceModel::SixteenLine));
  bottom->addWidget(cbTipus);
  bottomRow_->addWidget(pnlBott);
  bottomRow_->addStretch(1);
  column->addLayout(bottomRow_);
  setCentralWidget(central);

  SetErrorReporter([this](const QString& text) { dialogs_->Message(text, "Tarvelo1.2"); });
  printing_ = new Printing(this, [this] {
    return PrintDataFromPages(session_.record, session_.databaseFileName, *codesPage_,
                              *numbersPage_);
  });
  BuildMenus();
  BuildStatusBar();
  SetUpConnection();
  connect(PageControl, &QTabWidget::currentChanged, this, Guarded([this] { PageChanged(); }));
  leave_->GuardPages(PageControl);
  connect(cbTipus, &QComboBox::currentIndexChanged, this, Guarded([this] { applyModel(); }));

  // Window creation, in order.
  applyModel();
  NewDatabaseDefaults();
  SetPanel0("Új");
  SetPanel(2, Q(session_.workstation.PanelText()));
  SetPanel(3, "Szétkapcsolva");
  if (!openFile.isEmpty()) RunGuarded([&] { openDatabase(openFile); });
}

TMainForm::~TMainForm() {
  // Hidden while still whole: a cell editor left open hands its text to its page on the way,
  // and the page speaks to this window.
  hide();
  SetErrorReporter(nullptr);
  // The connection's handlers speak to this window; it must not outlive them.
  connection_.OnOpenChanged(nullptr);
  terminalPage_->DetachPort();
  // Closed before the hand-over goes: with the port still open (a disconnect that failed on
  // closing) its event thread would find the hand-over missing and serve events itself.
  connection_.Shutdown();
  connection_.SetHandOver(nullptr);
}

void TMainForm::BuildMenus() {
  // Every command waits while a transfer runs: its shortcut may still reach it even though
  // the menu bar is disabled. It first stores the field being edited and does not run when
  // that entry is refused. An item without a command is disabled rather than doing nothing;
  // giving it one enables it.
  auto item = [this](QMenu* menu, const char* name, const QString& caption,
                     const QKeySequence& shortcut, int tag, std::function<void()> command,
                     bool leavesField = true) {
    QAction* a = AddItem(menu, name, caption, shortcut, tag);
    AddShiftedTwin(a);
    a->setEnabled(static_cast<bool>(command));
    if (command) {
      connect(a, &QAction::triggered, this, [this, command, leavesField] {
        if (transfers_->running()) return;
        RunGuarded([&] {
          if (!leavesField || CommitFocusedField()) command();
        });
      });
    }
    return a;
  };
  const QKeySequence none;
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("File1");
  item(file, "Uj1", "Uj", QKeySequence("Ctrl+N"), -1, [this] { newDatabase(); });
  item(file, "Open1", "&Megnyitás", QKeySequence("Ctrl+O"), -1, [this] { openDatabase(); });
  item(file, "mnuSave", "M&entés", QKeySequence("Ctrl+S"), -1, [this] { saveDatabase(); });
  item(file, "SaveAs1", "Mentés másként", none, -1, [this] { saveDatabaseAs(); });
  file->addSeparator();
  QAction* download = item(file, "DnLoad1", "&Letöltés", QKeySequence("Ctrl+D"), 0,
                           [this] { startDownload(TransferKind::Download); });
  item(file, "DNLProm", "PROM letöltés (hibakeresés)", none, 2,
       [this] { startDownload(TransferKind::PromDownload); });
  file->addSeparator();
  QAction* upload =
      item(file, "UpLoad1", "&Feltöltés", QKeySequence("Ctrl+U"), -1, [this] { startUpload(); });
  for (QAction* a : {download, upload}) transferKeys_.emplace_back(a, a->shortcuts());
  file->addSeparator();
  item(file, "Oldalbellts1", "Oldalbeállítás...", none, -1, [this] { printing_->PageSetup(); });
  printAction_ = item(file, "Nyomtats1", "Nyomtatás...", QKeySequence("Ctrl+P"), -1,
                      [this] { printing_->Print(PageControl->currentIndex()); });
  file->addSeparator();
  item(file, "Exit1", "&Kilépés", none, -1, [this] { close(); });

  QMenu* settings = menuBar()->addMenu("&Beállítások");
  settings->setObjectName("Settings");
  item(settings, "mnuComport", "&Com port...", none, -1, [this] { openComPortSettings(); });
  item(settings, "Preferencik1", "&Preferenciák...", none, -1, [this] { openPreferences(); });
  settings->addSeparator();
  QAction* verify = AddItem(settings, "mnuVerify", "Ellenőrzés feltöltés után");
  verify->setCheckable(true);
  verify->setChecked(session_.workstation.verifyAfterUpload);
  connect(verify, &QAction::toggled, this, Guarded([this](bool on) {
            session_.workstation.verifyAfterUpload = on;
            SaveVerifyAfterUpload(on, session_.programIniPath);
          }));

  QMenu* view = menuBar()->addMenu("&Nézet");
  view->setObjectName("Nzet1");
  for (int i = 0; i < static_cast<int>(std::size(kPages)); ++i) {
    item(view, kPages[i].viewAction, kPages[i].viewItem, none, i,
         [this, i] { showPage(static_cast<PageId>(i)); });
  }
  view->addSeparator();
  item(view, "Refresh", "&Frissítés", QKeySequence(Qt::Key_F5), -1, [this] { DecodeImage(); });

  codesMenu_ = menuBar()->addMenu("&Kódok");
  codesMenu_->setObjectName("Kdok2");
  codesMenu_->setEnabled(false);
  codesPage_->FillMenu(codesMenu_);
  numbersMenu_ = menuBar()->addMenu("Számok");
  numbersMenu_->setObjectName("Szamok2");
  numbersMenu_->setEnabled(false);
  numbersPage_->FillMenu(numbersMenu_);

  QMenu* help = menuBar()->addMenu("&Súgó");
  help->setObjectName("Sg1");
  // The help opens beside the field being edited, whatever it holds.
  item(
      help, "Tartalom1", "&Tartalom", none, -1, [this] { showHelp(); }, false);

  // F10 opens the menus from anywhere, the terminal included.
  auto* menus = new QAction(this);
  menus->setObjectName("actMenuBar");
  menus->setShortcut(QKeySequence(Qt::Key_F10));
  connect(menus, &QAction::triggered, this, [this] {
    if (!menuBar()->isEnabled() || menuBar()->actions().isEmpty()) return;
    menuBar()->setFocus(Qt::MenuBarFocusReason);
    menuBar()->setActiveAction(menuBar()->actions().first());
  });
  addAction(menus);
}

void TMainForm::UpdateTransferKeys() {
  const bool held = connection_.Held();
  for (auto& [action, keys] : transferKeys_)
    action->setShortcuts(held ? QList<QKeySequence>() : keys);
}

bool TMainForm::TerminalFitsWindow() const {
  return IniFile(session_.programIniPath).ReadInteger(kTerminalOptions, kTerminalFit, 0) != 0;
}

void TMainForm::KeepTerminalFitsWindow(bool on) {
  // Kept at once, like the settings menu's check item: it is the workstation's, not the
  // database's. A failed write is silent, as for every setting of the program's INI file.
  if (TerminalFitsWindow() == on) return;
  IniFile(session_.programIniPath).WriteInteger(kTerminalOptions, kTerminalFit, on ? 1 : 0);
}

void TMainForm::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("SBar");
  bar->setSizeGripEnabled(false);
  panel0_ = new PathPanel(bar);
  panel0_->setFixedWidth(200);
  bar->addWidget(panel0_);
  panels_.push_back(nullptr);
  // Panels are at least as wide as their longest usual text in this font: a code count
  // with its length, a port with a speed.
  const QFontMetrics fm(bar->font());
  const int widths[] = {std::max(50, fm.horizontalAdvance("3072/12") + 8),
                        std::max(150, fm.horizontalAdvance("ttyUSB0 ( 115200 )") + 8), 150};
  for (int i = 1; i <= 3; ++i) {
    auto* label = new QLabel(bar);
    label->setObjectName(QString("SBarPanel%1").arg(i));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setIndent(2);
    // The last panel takes the room that is left: transfer texts are longer than it.
    if (i < 3) {
      label->setFixedWidth(widths[i - 1]);
      label->setProperty("usualWidth", widths[i - 1]);
    } else {
      label->setMinimumWidth(widths[i - 1]);
    }
    bar->addWidget(label, i == 3 ? 1 : 0);
    panels_.push_back(label);
  }
}

QString TMainForm::panelText(int panel) const {
  return panel == 0 ? panel0_->text() : panels_.at(panel)->text();
}

void TMainForm::SetPanel0(const QString& text) {
  panel0_->setText(text);
}
void TMainForm::SetPanel(int panel, const QString& text) {
  QLabel* label = panels_.at(panel);
  label->setText(text);
  // A network address is longer than any port name: the panel widens rather than cut it.
  if (const int usual = label->property("usualWidth").toInt(); usual > 0) {
    label->setFixedWidth(std::max(usual, label->fontMetrics().horizontalAdvance(text) + 8));
  }
}
void TMainForm::ShowStatus(const QString& text) {
  statusBar()->showMessage(text, 10000);
}

void TMainForm::SetUpConnection() {
  // Event sets are served on this thread; an error there is shown like any other.
  connection_.SetHandOver([this](std::function<void()> f) {
    QMetaObject::invokeMethod(
        this, [f = std::move(f)] { RunGuarded(f); }, Qt::QueuedConnection);
  });
  connection_.OnOpenChanged([this](bool open) {
    // Whether the terminal holds the port is known once the opening or closing is done.
    QTimer::singleShot(0, this, [this] { UpdateTransferKeys(); });
    if (open) {
      SetPanel(3, "Kapcsolódva...");
      terminalPage_->PortOpened();
    } else {
      SetPanel(3, "Szétkapcsolva");
      terminalPage_->PortClosed();
    }
  });
  TransferRunner::Hooks hooks;
  hooks.status = [this](const QString& t) { SetPanel(3, t); };
  hooks.switchModel = [this](DeviceModel m) { SwitchModel(m); };
  hooks.model = [this] { return model_; };
  hooks.decode = [this] {
    DecodeImage();
    codesPage_->ClearHistory();  // nothing before a download can be undone
    numbersPage_->ClearHistory();
  };
  hooks.disable = {PageControl, pnlBott, menuBar()};
  // The terminal would take the bytes a transfer waits for (the clock's answer among them).
  hooks.running = [this](bool on) { terminalPage_->terminal()->SetLinkSuspended(on); };
  transfers_ = new TransferRunner(connection_, session_, *dialogs_, statusBar(), hooks, this);
  // The progress and its stop button move from the status bar to the bottom row.
  for (const char* name : {"pbTransfer", "btnTransferStop"}) {
    if (auto* w = statusBar()->findChild<QWidget*>(name)) {
      const bool shown = !w->isHidden();
      bottomRow_->addWidget(w);
      w->setVisible(shown);
    }
  }
}

void TMainForm::openComPortSettings() {
  // The dialog applies what it shows when it closes and then frees itself.
  (new TPingset(*this, this))->exec();
}

void TMainForm::applyConnection(const std::string& name, const std::string& phone,
                                const QString& panel) {
  connectionName_ = name;
  phoneNumber_ = phone;
  terminalPage_->ShowPhoneNumber(phone);
  SetPanel(2, panel);
}

void TMainForm::SetDeviceClock() {
  transfers_->StartTransfer(TransferKind::Clock);
}

void TMainForm::startDownload(TransferKind kind) {
  if (!ConfirmSaveChanges()) return;
  transfers_->StartTransfer(kind);
}

void TMainForm::startUpload() {
  if (!CommitFocusedField()) return;
  // What the device holds now is about to be overwritten: offer to keep it.
  UploadChoice choice;
  choice.verify = session_.workstation.verifyAfterUpload;
  const auto answer =
      dialogs_->Ask("Menti a készülék jelenlegi beállításait a feltöltés előtt ?", "Tarvelo",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  if (answer == QMessageBox::Cancel) return;
  if (answer == QMessageBox::Yes) {
    FileDialogOptions options = DatabaseSaveOptions();
    options.title = "A készülék beállításainak mentése";
    choice.backupFile = dialogs_->SaveFileName(options).toStdString();
    if (choice.backupFile.empty()) return;
  }
  const int shown = PageControl->currentIndex();
  showPage(PageId::General);
  struct ShowAgain {
    TMainForm* window;
    int page;
    ~ShowAgain() { window->showPage(static_cast<PageId>(page)); }
  } again{this, shown};
  transfers_->StartTransfer(TransferKind::Upload, std::move(choice));
}

void TMainForm::SwitchModel(DeviceModel model) {
  cbTipus->setCurrentIndex(model == DeviceModel::FourLine ? 0 : 1);
  applyModel();
}

void TMainForm::applyModel() {
  model_ = cbTipus->currentIndex() == 1 ? DeviceModel::SixteenLine : DeviceModel::FourLine;
  layout_ = ImageLayout::For(model_);
  for (Page* p : pages_) p->ApplyModel(model_);
}

void TMainForm::DecodeImage() {
  const ImageView view = DecodeImageView(session_.record.image, layout_);
  for (Page* p : pages_) p->Decode(view);
  // The repair messages break their line with a carriage return.
  for (const auto& m : view.codeDecode.messages)
    dialogs_->Message(Q(m).replace(QChar('\r'), QChar('\n')));
  SetPanel(1, Q(view.codeDecode.countText));
}

void TMainForm::NewDatabaseDefaults() {
  session_.databaseFileName.clear();
  tarvelo::NewDatabaseDefaults(session_.record, layout_);
  connectionName_.clear();
  DecodeImage();
  KeepBaseline();
}

void TMainForm::showPage(PageId page) {
  const int index = static_cast<int>(page);
  if (PageControl->currentIndex() == index) {
    PageChanged();
  } else {
    PageControl->setCurrentIndex(index);  // runs the page-change steps
  }
}

void TMainForm::PageChanged() {
  // The free-call list is written back when its page was the one shown until now.
  if (numbersMenu_->isEnabled()) numbersPage_->Flush();
  const auto shown = static_cast<PageId>(PageControl->currentIndex());
  codesMenu_->setEnabled(shown == PageId::Codes);
  numbersMenu_->setEnabled(shown == PageId::Numbers);
  printAction_->setEnabled(PrintKindForPage(PageControl->currentIndex()) != PrintKind::Nothing);
}

bool TMainForm::CommitFocusedField() {
  return leave_->Commit();
}

DatabaseRecord TMainForm::CurrentRecord() const {
  DatabaseRecord record = session_.record;
  record.connectionName.set(connectionName_);
  // While its page is shown the free-call list is the page's; leaving the page writes it.
  if (PageControl->currentIndex() == static_cast<int>(PageId::Numbers))
    FlushFreeNumbers(record.image, layout_, numbersPage_->numbers().items());
  return record;
}

void TMainForm::KeepBaseline() {
  baseline_ = CurrentRecord();
  codesPage_->ClearHistory();
  numbersPage_->ClearHistory();
}

bool TMainForm::modifiedFlag() const {
  DatabaseRecord now = CurrentRecord();
  DatabaseRecord then = baseline_;
  // The free-call list is compared as its page writes it back, in order and without gaps:
  // where a number stood among blank entries is no change anybody made.
  for (DatabaseRecord* r : {&now, &then})
    FlushFreeNumbers(r->image, layout_, DecodeFreeNumbers(r->image, layout_));
  // The texts as far as their lengths: the bytes behind them mean nothing.
  return !(now.image == then.image && now.site.text() == then.site.text() &&
           now.owner.text() == then.owner.text() && now.password.text() == then.password.text() &&
           now.connectionName.text() == then.connectionName.text());
}

bool TMainForm::ConfirmSaveChanges(bool* asked) {
  if (asked) *asked = false;
  if (!CommitFocusedField()) return false;
  if (!modifiedFlag()) return true;
  if (asked) *asked = true;
  const auto answer = dialogs_->Ask("Menti a változásokat ?", "Tarvelo",
                                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  if (answer == QMessageBox::Cancel) return false;
  // A save that failed must not let the command throw the changes away after all.
  if (answer == QMessageBox::Yes) return saveDatabase();
  return true;
}

// A name typed without an extension is saved with ".pin": the filters list those files too,
// or the open dialog would hide the database just saved.
FileDialogOptions TMainForm::DatabaseOpenOptions() const {
  if (openDialogExchanged_)
    return {"Pinkód adatbázis megnyitás", "Pinkód adatbázis (*.pi4 *.pin);;Minden file (*)", "pin"};
  return {"ZEN-16 adatbázis megnyitás", "Pinkód adatbázis (*.pi1 *.pin);;Minden file (*)", "pin"};
}

FileDialogOptions TMainForm::DatabaseSaveOptions() const {
  if (saveDialogExchanged_)
    return {"Pinkód adatbázis mentése", "Pinkód adatbázis (*.pi4 *.pin);;Minden file (*)", "pin"};
  return {"Pinkód adatok mentése", "Pinkód adatbázis (*.pi1 *.pin);;Minden file (*)", "pin"};
}

void TMainForm::openPreferences() {
  // The dialog stores what it shows when it closes and then frees itself.
  (new TPrefer(*this, this))->exec();
  codesPage_->setCodeRowCount(StoredCodeCount(image(), layout_) + 1);
}

void TMainForm::newDatabase() {
  showPage(PageId::General);
  if (auto* speed = findChild<QWidget*>("RGspeed")) speed->setFocus();
  QApplication::processEvents();
  if (!ConfirmSaveChanges()) return;
  NewDatabaseDefaults();
  SetPanel0("Új");
}

void TMainForm::openDatabase(const QString& startupFile) {
  if (!CommitFocusedField()) return;
  if (!ConfirmSaveChanges()) return;
  const QString file =
      !startupFile.isEmpty() ? startupFile : dialogs_->OpenFileName(DatabaseOpenOptions());
  if (file.isEmpty()) return;
  // Loaded beside the open database, which stays until the loaded one has its model.
  DatabaseRecord loaded = session_.record;
  const LoadResult result = LoadDatabaseFile(file.toStdString(), loaded, [this] {
    const auto typed = ToCp1250(dialogs_->Password());
    // A character the code page lacks can be in no stored password.
    return typed ? *typed : std::string(256, '\0');
  });
  if (result.status == LoadStatus::IoError || result.status == LoadStatus::NotOurFormat) {
    dialogs_->Message(Q(result.message));
    return;
  }
  if (result.status == LoadStatus::WrongPassword) {
    dialogs_->Message(Q(result.message));
  } else {
    // Read with the other model's map, the code-table repair would write into its timers,
    // and a click on a page would store into the wrong fields.
    const std::optional<DeviceModel> model = ModelOfLoaded(loaded);
    if (!model) return;
    session_.record = loaded;
    session_.databaseFileName = file.toStdString();
    session_.fileDate = result.fileDate;
    SetPanel0(file);
    SwitchModel(*model);
  }
  const std::string name = session_.record.connectionName.text();
  const ConnectionLookup found =
      LookupConnection(name, session_.workstation, session_.connectionsIniPath);
  if (found.looked) {
    phoneNumber_ = found.phone;
    terminalPage_->ShowPhoneNumber(phoneNumber_);
  }
  if (found.looked && found.showName) SetPanel(2, FromCp1250(name));
  connectionName_ = name;
  DecodeImage();
  if (result.status == LoadStatus::Ok) KeepBaseline();
}

std::optional<DeviceModel> TMainForm::ModelOfLoaded(const DatabaseRecord& loaded) {
  const ModelProof proof = ProveDatabaseModel(loaded);
  if (proof.model) return proof.model;
  const QString question =
      QString("Az adatbázis típusa nem állapítható meg: %1.\nMelyik típusként nyitja meg ?")
          .arg(Q(proof.reason));
  const QStringList buttons = {QString("4 vonalas: ") + ModelName(DeviceModel::FourLine),
                               QString("16 vonalas: ") + ModelName(DeviceModel::SixteenLine),
                               "Mégsem"};
  switch (dialogs_->Choose(question, "Tarvelo", buttons)) {
    case 0:
      return DeviceModel::FourLine;
    case 1:
      return DeviceModel::SixteenLine;
    default:
      return std::nullopt;
  }
}

bool TMainForm::SaveTo(const QString& fileName) {
  numbersPage_->Flush();
  session_.record.connectionName.set(connectionName_);
  const SaveResult saved = SaveDatabaseFile(fileName.toStdString(), session_.record);
  if (!saved.ok) {
    dialogs_->Message(Q(saved.message));
    return false;
  }
  KeepBaseline();
  return true;
}

bool TMainForm::saveDatabase() {
  if (!CommitFocusedField()) return false;
  if (session_.databaseFileName.empty()) {
    const QString name = dialogs_->SaveFileName(DatabaseSaveOptions());
    // Nothing saved: a command that asked to save first must not go on and drop the edits.
    if (name.isEmpty()) return false;
    session_.databaseFileName = name.toStdString();
  }
  const QString name = QString::fromStdString(session_.databaseFileName);
  SetPanel0(name);
  return SaveTo(name);
}

void TMainForm::saveDatabaseAs() {
  if (!CommitFocusedField()) return;
  const QString name = dialogs_->SaveFileName(DatabaseSaveOptions());
  if (name.isEmpty()) return;
  // A file that could not be written does not become the target: the next save still goes
  // to the file the database came from.
  if (!SaveTo(name)) return;
  session_.databaseFileName = name.toStdString();
  SetPanel0(name);
}

void TMainForm::showHelp() {
  const QString index = HelpIndexPath();
  if (!QFileInfo::exists(index)) {
    dialogs_->Message("A súgó nem található: " + index);
    return;
  }
  if (!help_) {
    help_ = new QTextBrowser(this);
    help_->setWindowFlag(Qt::Window);
    help_->setObjectName("HelpWindow");
    help_->setWindowTitle("Tarvelo súgó");
    help_->resize(560, 480);
  }
  help_->setSource(QUrl::fromLocalFile(index));
  if (!help_->isVisible()) help_->move(frameGeometry().center() - help_->rect().center());
  help_->show();
  help_->raise();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (transfers_->running()) {
    transfers_->Stop();  // the transfer ends first; the window closes on the next request
    event->ignore();
    return;
  }
  // A value typed but not yet stored counts as a change; a refused one keeps the window, as
  // does Cancel or a save that failed (the edits would be lost with the window).
  bool asked = false;
  if (!ConfirmSaveChanges(&asked)) {
    event->ignore();
    return;
  }
  if (asked) SaveWorkstationSettings(session_.workstation, session_.programIniPath);
  RunGuarded([this] { terminalPage_->Disconnect(); });
  event->accept();
}

}  // namespace tarvelo
