#include "ui/ComPortDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "files/Workstation.h"
#include "model/Text.h"
#include "ui/DialogService.h"
#include "ui/ErrorGuard.h"
#include "ui/NetworkPortDialog.h"
#include "ui/QtText.h"
#include "ui/Session.h"
#include "ui/Widgets.h"

namespace tarvelo {
namespace {

constexpr int kDetailsRole = Qt::UserRole + 1;
constexpr int kSectionRole = Qt::UserRole + 2;  // the connection name as stored, Windows-1250
constexpr int kMaxPortName = 6;
const QSize kClientSize(308, 151);

// The drop-down shows what tells the adapters apart beside each name; the closed box and the
// item text stay the bare name, which is what gets stored.
class PortItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QString details = index.data(kDetailsRole).toString();
    if (!details.isEmpty()) option->text += "    " + details;
  }
};

// The terminal's line settings as the combo boxes offer them: the first item leaves the
// setting to the device's, each other item is a value.
const QString kDevices = "készülék szerint";
const std::pair<TDataBits, const char*> kDataBitsItems[] = {
    {dbFive, "5"}, {dbSix, "6"}, {dbSeven, "7"}, {dbEight, "8"}};
const std::pair<TParityBits, const char*> kParityItems[] = {{prNone, "nincs"},
                                                            {prOdd, "páratlan"},
                                                            {prEven, "páros"},
                                                            {prMark, "mindig 1 (mark)"},
                                                            {prSpace, "mindig 0 (space)"}};
const std::pair<TStopBits, const char*> kStopBitsItems[] = {
    {sbOneStopBit, "1"}, {sbOne5StopBits, "1,5"}, {sbTwoStopBits, "2"}};
const std::pair<TFlowControl, const char*> kFlowItems[] = {
    {fcNone, "nincs"}, {fcHardware, "hardver (RTS/CTS)"}, {fcSoftware, "szoftver (XON/XOFF)"}};

template <typename T, size_t N>
void FillLineBox(QComboBox* box, const std::pair<T, const char*> (&items)[N]) {
  box->addItem(kDevices);
  for (const auto& [value, text] : items) box->addItem(text, static_cast<int>(value));
}

template <typename T>
std::optional<T> LineBoxValue(const QComboBox* box) {
  if (box->currentIndex() <= 0) return std::nullopt;
  return static_cast<T>(box->currentData().toInt());
}

template <typename T>
void ShowLineBox(QComboBox* box, const std::optional<T>& value) {
  box->setCurrentIndex(value ? std::max(0, box->findData(static_cast<int>(*value))) : 0);
}

// Connection names are compared as the file compares its section names.
bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Cp1250Lower(a[i]) != Cp1250Lower(b[i])) return false;
  }
  return true;
}

bool SameEntry(const ConnectionEntry& a, const ConnectionEntry& b) {
  return a.port == b.port && a.speed == b.speed && a.phone == b.phone && a.line == b.line;
}

QString UserName() {
  const QString user = qEnvironmentVariable("USER");
  return user.isEmpty() ? "$USER" : user;
}

}  // namespace

TPingset::TPingset(ComPortHost& host, QWidget* parent, PortLister listPorts)
    : QDialog(parent), host_(host), listPorts_(std::move(listPorts)) {
  setObjectName("Pingset");
  setWindowTitle("Com port beállítások");
  // Every way of closing applies the settings, so there is no close box to suggest otherwise.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(true);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  auto* top = new QHBoxLayout;
  top->setSpacing(0);
  top_ = top;
  column->addLayout(top, 1);

  auto* fields = new QGridLayout;
  fields->setContentsMargins(8, 8, 8, 8);
  fields->setVerticalSpacing(6);
  auto label = [this](const char* name, const QString& text) {
    auto* l = new QLabel(text, this);
    l->setObjectName(name);
    return l;
  };
  CmbCom = new QComboBox(this);
  CmbCom->setObjectName("CmbCom");
  CmbCom->setItemDelegate(new PortItemDelegate(CmbCom));
  btnNetPort = new QPushButton("Hálózati port…", this);
  btnNetPort->setObjectName("btnNetPort");
  btnNetPort->setToolTip("Soros szerver a hálózaton: nyers TCP vagy RFC 2217");
  btnNetPort->setAutoDefault(false);
  CmbSpeed = new QComboBox(this);
  CmbSpeed->setObjectName("CmbSpeed");
  for (const PortSpeed& s : WorkstationSpeeds()) CmbSpeed->addItem(s.text);
  edPhone = new QLineEdit(this);
  edPhone->setObjectName("edPhone");
  auto lineBox = [this](const char* name) {
    auto* box = new QComboBox(this);
    box->setObjectName(name);
    box->setToolTip(
        "A terminál ezzel nyitja meg a portot. A letöltés, a feltöltés és az óra beállítása "
        "mindig a készülék beállításaival megy.");
    return box;
  };
  CmbDataBits = lineBox("CmbDataBits");
  FillLineBox(CmbDataBits, kDataBitsItems);
  CmbParity = lineBox("CmbParity");
  FillLineBox(CmbParity, kParityItems);
  CmbStopBits = lineBox("CmbStopBits");
  FillLineBox(CmbStopBits, kStopBitsItems);
  CmbFlow = lineBox("CmbFlow");
  FillLineBox(CmbFlow, kFlowItems);
  fields->addWidget(label("Label1", "Portszám:"), 0, 0);
  fields->addWidget(CmbCom, 0, 1);
  // Beside the system's ports, under them: an address needs the whole width of the box.
  fields->addWidget(btnNetPort, 1, 1, Qt::AlignRight);
  fields->addWidget(label("Label2", "Sebesség:"), 2, 0);
  fields->addWidget(CmbSpeed, 2, 1);
  fields->addWidget(label("Label5", "Telefonszám:"), 3, 0);
  fields->addWidget(edPhone, 3, 1);
  auto* terminalLine = new QLabel("A terminál vonala:", this);
  terminalLine->setObjectName("lblTerminalLine");
  fields->addWidget(terminalLine, 4, 0, 1, 2);
  fields->addWidget(label("lblDataBits", "Adatbitek:"), 5, 0);
  fields->addWidget(CmbDataBits, 5, 1);
  fields->addWidget(label("lblParity", "Paritás:"), 6, 0);
  fields->addWidget(CmbParity, 6, 1);
  fields->addWidget(label("lblStopBits", "Stopbitek:"), 7, 0);
  fields->addWidget(CmbStopBits, 7, 1);
  fields->addWidget(label("lblFlow", "Adatfolyam-vezérlés:"), 8, 0);
  fields->addWidget(CmbFlow, 8, 1);
  fields->setRowStretch(9, 1);
  fields->setColumnStretch(1, 1);
  top->addLayout(fields, 1);

  auto* Panel2 = new QFrame(this);
  Panel2->setObjectName("Panel2");
  Panel2->setFrameShape(QFrame::StyledPanel);
  Panel2->setFixedWidth(140);
  auto* connections = new QVBoxLayout(Panel2);
  connections->setContentsMargins(4, 4, 4, 4);
  connections->setSpacing(2);
  connections->addWidget(label("Label3", "Kapcsolatok"));
  lbConn = new QListWidget(Panel2);
  lbConn->setObjectName("lbConn");
  // F2 and the rename button edit a name in place; a click only picks.
  lbConn->setEditTriggers(QAbstractItemView::EditKeyPressed);
  connections->addWidget(lbConn, 1);
  auto* listButtons = new QVBoxLayout;
  listButtons->setSpacing(2);
  btnRename = new QPushButton("Átnevezés", Panel2);
  btnRename->setObjectName("btnRename");
  btnDelete = new QPushButton("Törlés", Panel2);
  btnDelete->setObjectName("btnDelete");
  for (QPushButton* b : {btnRename, btnDelete}) {
    b->setAutoDefault(false);
    b->setEnabled(false);
    listButtons->addWidget(b);
  }
  connections->addLayout(listButtons);
  top->addWidget(Panel2);

  portWarning_ = new QLabel(this);
  portWarning_->setObjectName("lblPortWarning");
  portWarning_->setWordWrap(true);
  portWarning_->setContentsMargins(8, 4, 8, 4);
  portWarning_->setStyleSheet("color: #a00000");
  portWarning_->hide();
  column->addWidget(portWarning_);

  auto* Panel1 = new QFrame(this);
  Panel1_ = Panel1;
  Panel1->setObjectName("Panel1");
  Panel1->setFrameShape(QFrame::StyledPanel);
  Panel1->setMinimumHeight(32);
  auto* bottom = new QHBoxLayout(Panel1);
  bottom->setContentsMargins(8, 3, 8, 3);
  bottom->addWidget(label("Label4", LabelText(RowOf("", "connection"))));
  edConn = new QLineEdit(Panel1);
  edConn->setObjectName("edConn");
  edConn->setMaxLength(255);  // the database keeps no longer a name
  bottom->addWidget(edConn, 1);
  BtnOK = new QPushButton("OK", Panel1);
  BtnOK->setObjectName("BtnOK");
  BtnOK->setDefault(true);
  bottom->addWidget(BtnOK);
  column->addWidget(Panel1);

  connect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(CmbCom, &QComboBox::activated, this,
          Guarded([this] { wantedPort_ = CmbCom->currentText(); }));
  connect(CmbCom, &QComboBox::currentIndexChanged, this, Guarded([this] { ShowPortWarning(); }));
  // A click, and the arrow keys, load a connection; focus alone selects nothing.
  connect(lbConn, &QListWidget::itemClicked, this, Guarded([this] { LoadSelectedConnection(); }));
  connect(lbConn, &QListWidget::itemSelectionChanged, this, Guarded([this] {
            const bool one = !lbConn->selectedItems().isEmpty();
            btnRename->setEnabled(one);
            btnDelete->setEnabled(one);
            LoadSelectedConnection();
          }));
  connect(lbConn, &QListWidget::itemChanged, this,
          Guarded([this](QListWidgetItem* item) { ConnectionRenamed(item); }));
  connect(btnRename, &QPushButton::clicked, this, Guarded([this] { renameSelected(); }));
  connect(btnDelete, &QPushButton::clicked, this, Guarded([this] { deleteSelected(); }));
  // The Delete key on the list does what the button does.
  lbConn->installEventFilter(this);
  connect(btnNetPort, &QPushButton::clicked, this, Guarded([this] { AskNetworkPort(); }));

  poll_ = new QTimer(this);
  poll_->setInterval(kPollMs);
  connect(poll_, &QTimer::timeout, this, Guarded([this] { refreshPorts(); }));

  // The ports this system has; the fixed names when none can be found.
  SetPortItems(PortItems());
  FitSize();
}

std::vector<TPingset::PortItem> TPingset::PortItems() const {
  std::vector<PortItem> items;
  for (const platform::PortInfo& p : listPorts_()) {
    // A name the settings cannot hold is no choice: it would be stored cut short.
    if (p.name.empty() || p.name[0] == '/' || p.name.size() > kMaxPortName) continue;
    PortItem item{Q(p.name), {}, {}};
    QStringList details;
    if (!p.description.empty()) details << Q(p.description);
    if (!p.byId.empty()) {
      details << Q(p.byId.substr(p.byId.rfind('/') + 1));
    } else if (!p.usbId.empty()) {
      details << "USB " + Q(p.usbId) +
                     (p.serialNumber.empty() ? QString() : ", sorozatszám " + Q(p.serialNumber));
    }
    if (!p.driver.empty()) details << Q(p.driver);
    if (!p.holder.empty()) details << "foglalt: " + Q(p.holder);
    if (!p.mayOpen) details << "nincs jogosultság";
    item.details = details.join(" · ");
    if (!p.mayOpen) {
      item.warning = QString(
                         "Nincs jogosultsága a(z) %1 port megnyitásához. Lépjen be a „%2” "
                         "csoportba (sudo usermod -aG %2 %3), majd jelentkezzen be újra.")
                         .arg(item.name, Q(p.group), UserName());
    } else if (!p.holder.empty()) {
      item.warning =
          QString("A(z) %1 portot egy másik program használja: %2.").arg(item.name, Q(p.holder));
    }
    items.push_back(item);
  }
  if (items.empty()) {
    for (int i = 1; i <= 9; ++i) items.push_back({QString("COM%1").arg(i), {}, {}});
  }
  // In text order, as a sorted list has them: COM10 before COM2.
  std::sort(items.begin(), items.end(), [](const PortItem& a, const PortItem& b) {
    const int c = a.name.compare(b.name, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a.name < b.name;
  });
  // The network addresses after the system's ports, in the order they came.
  for (const QString& name : networkPorts_) {
    items.push_back(
        {name,
         name.startsWith("rfc2217://") ? "hálózati port, RFC 2217" : "hálózati port, nyers TCP",
         {}});
  }
  return items;
}

void TPingset::SetPortItems(const std::vector<PortItem>& items) {
  portItems_ = items;
  settingPorts_ = true;
  CmbCom->clear();
  int widest = 0;
  const QFontMetrics metrics(CmbCom->font());
  for (const PortItem& item : items) {
    CmbCom->addItem(item.name);
    const int row = CmbCom->count() - 1;
    CmbCom->setItemData(row, item.details, kDetailsRole);
    CmbCom->setItemData(row, item.details, Qt::ToolTipRole);
    if (!item.warning.isEmpty()) CmbCom->setItemData(row, QColor(0xa0, 0, 0), Qt::ForegroundRole);
    widest = std::max(widest, metrics.horizontalAdvance(item.name + "    " + item.details));
  }
  CmbCom->view()->setMinimumWidth(widest + 40);
  // The closed box shows a whole network address.
  int longestName = 0;
  for (const PortItem& item : items) {
    longestName = std::max(longestName, metrics.horizontalAdvance(item.name));
  }
  CmbCom->setMinimumWidth(longestName + 40);
  CmbCom->setCurrentIndex(CmbCom->findText(wantedPort_, Qt::MatchExactly));
  settingPorts_ = false;
  ShowPortWarning();
  FitSize();
}

void TPingset::refreshPorts() {
  const std::vector<PortItem> items = PortItems();
  if (items != portItems_) SetPortItems(items);
}

void TPingset::SelectPort(const QString& name) {
  wantedPort_ = name;
  if (IsNetworkPortName(name.toStdString()) && !networkPorts_.contains(name)) {
    networkPorts_ << name;
    SetPortItems(PortItems());  // selects the wanted port
    return;
  }
  CmbCom->setCurrentIndex(CmbCom->findText(name, Qt::MatchExactly));
}

void TPingset::AskNetworkPort() {
  const QString current = CmbCom->currentIndex() >= 0 ? CmbCom->currentText() : wantedPort_;
  const QString name = NetworkPortDialog::Ask(host_.dialogs(), current, this);
  if (!name.isEmpty()) SelectPort(name);
}

void TPingset::SelectSpeed(const QString& text) {
  CmbSpeed->setCurrentIndex(CmbSpeed->findText(text, Qt::MatchExactly));
}

QString TPingset::portWarning() const {
  return portWarning_->isHidden() ? QString() : portWarning_->text();
}

void TPingset::ShowPortWarning() {
  if (settingPorts_) return;
  const int row = CmbCom->currentIndex();
  const QString warning = row >= 0 && row < static_cast<int>(portItems_.size())
                              ? portItems_[static_cast<size_t>(row)].warning
                              : QString();
  CmbCom->setToolTip(row >= 0 ? CmbCom->itemData(row, kDetailsRole).toString() : QString());
  if (warning == portWarning()) return;
  portWarning_->setText(warning);
  portWarning_->setVisible(!warning.isEmpty());
  FitSize();
}

void TPingset::FitSize() {
  // The designed size, or the least this system's font needs; the connection list and the
  // fields take up what is left rather than asking for their roomy preferred sizes.
  layout()->activate();
  const QSize top = top_->minimumSize();
  const QSize bottom = Panel1_->minimumSizeHint().expandedTo(Panel1_->minimumSize());
  const int width = std::max({kClientSize.width(), top.width(), bottom.width()});
  const int warning = portWarning_->isHidden() ? 0 : portWarning_->heightForWidth(width);
  setFixedSize(width, std::max(kClientSize.height(), top.height() + warning + bottom.height()));
}

void TPingset::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shown_) return;
  shown_ = true;
  // The current settings are shown once, when the dialog comes up. Showing them again each
  // time it becomes active would throw away what the user picked before a message box or a
  // switch to another window.
  ShowCurrentSettings();
  if (QScreen* screen = QApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  poll_->start();
}

void TPingset::ShowCurrentSettings() {
  const Session& session = host_.session();
  SelectPort(Q(session.workstation.portName));
  const int speed = session.workstation.speedIndex;
  CmbSpeed->setCurrentIndex(speed >= 0 && speed < kSpeedCount ? speed : -1);
  ShowLine(session.workstation.terminalLine);
  {
    const QSignalBlocker quiet(lbConn);
    lbConn->clear();
    for (const std::string& name : ConnectionNames(session.connectionsIniPath)) {
      auto* item = new QListWidgetItem(FromCp1250(name), lbConn);
      item->setData(kSectionRole, QByteArray::fromStdString(name));
      item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
  }
  // The connection and number in use: closing without touching them keeps them, where empty
  // fields would clear the database's connection name and the number to dial.
  edConn->setText(FromCp1250(host_.connectionName()));
  edPhone->setText(FromCp1250(host_.phoneNumber()));
  Shown(host_.connectionName());
}

void TPingset::Shown(const std::string& name) {
  shownName_ = name;
  shownEntry_ = ChosenEntry();
}

LineChoice TPingset::ChosenLine() const {
  return {LineBoxValue<TDataBits>(CmbDataBits), LineBoxValue<TParityBits>(CmbParity),
          LineBoxValue<TStopBits>(CmbStopBits), LineBoxValue<TFlowControl>(CmbFlow)};
}

void TPingset::ShowLine(const LineChoice& line) {
  ShowLineBox(CmbDataBits, line.dataBits);
  ShowLineBox(CmbParity, line.parity);
  ShowLineBox(CmbStopBits, line.stopBits);
  ShowLineBox(CmbFlow, line.flow);
}

ConnectionEntry TPingset::ChosenEntry() const {
  ConnectionEntry entry;
  // With no port or speed picked (the stored one is not on this system, or unknown) the
  // connection keeps what it had rather than losing it to an empty value.
  if (CmbCom->currentIndex() >= 0) entry.port = CmbCom->currentText().toStdString();
  if (CmbSpeed->currentIndex() >= 0) entry.speed = CmbSpeed->currentText().toStdString();
  entry.phone = ToCp1250(edPhone->text()).value_or(std::string());
  entry.line = ChosenLine();
  return entry;
}

void TPingset::LoadSelectedConnection() {
  const QList<QListWidgetItem*> selected = lbConn->selectedItems();
  if (selected.isEmpty()) return;
  const QListWidgetItem* item = selected.first();
  const std::string name = item->data(kSectionRole).toByteArray().toStdString();
  edConn->setText(item->text());
  const NamedConnection c =
      ReadConnection(name, PickedConnectionDefaults(), host_.session().connectionsIniPath);
  SelectPort(FromCp1250(c.port));
  SelectSpeed(FromCp1250(c.speed));
  edPhone->setText(FromCp1250(c.phone));
  ShowLine(c.line);
  Shown(name);
}

void TPingset::renameSelected() {
  const QList<QListWidgetItem*> selected = lbConn->selectedItems();
  if (selected.isEmpty()) return;
  lbConn->editItem(selected.first());
}

void TPingset::ConnectionRenamed(QListWidgetItem* item) {
  const std::string old = item->data(kSectionRole).toByteArray().toStdString();
  if (item->text() == FromCp1250(old)) return;
  const QString typed = item->text().trimmed();
  auto refuse = [&](const QString& why) {
    const QSignalBlocker quiet(lbConn);
    item->setText(FromCp1250(old));
    host_.dialogs().Message(why);
  };
  QString message;
  const std::optional<std::string> name = ToCp1250(typed, &message);
  if (!name) return refuse(message);
  if (name->empty()) return refuse("A kapcsolat neve nem lehet üres !!!");
  if (name->find(']') != std::string::npos) {
    return refuse("A kapcsolat neve nem tartalmazhat ] karaktert !!!");
  }
  // Another connection of that name would hide this one; a change of letter case is allowed.
  const std::string path = host_.session().connectionsIniPath;
  if (!SameName(*name, old)) {
    for (const std::string& other : ConnectionNames(path)) {
      if (SameName(other, *name)) {
        return refuse(QString("Már van „%1” nevű kapcsolat !!!").arg(FromCp1250(other)));
      }
    }
  }
  if (!RenameConnection(old, *name, path)) {
    return refuse(QString("A(z) „%1” kapcsolat átnevezése nem sikerült: a kapcsolatok fájlja "
                          "nem írható.")
                      .arg(FromCp1250(old)));
  }
  {
    const QSignalBlocker quiet(lbConn);
    item->setText(FromCp1250(*name));
    item->setData(kSectionRole, QByteArray::fromStdString(*name));
  }
  // The fields and the connection name in use follow the connection to its new name.
  if (SameName(shownName_, old)) shownName_ = *name;
  const std::optional<std::string> inField = ToCp1250(edConn->text());
  if (inField && SameName(*inField, old)) edConn->setText(FromCp1250(*name));
}

void TPingset::deleteSelected() {
  const QList<QListWidgetItem*> selected = lbConn->selectedItems();
  if (selected.isEmpty()) return;
  QListWidgetItem* item = selected.first();
  const std::string name = item->data(kSectionRole).toByteArray().toStdString();
  if (host_.dialogs().Ask(QString("Törli a(z) „%1” kapcsolatot ?").arg(item->text()), windowTitle(),
                          QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
    return;
  }
  if (!RemoveConnection(name, host_.session().connectionsIniPath)) {
    host_.dialogs().Message(
        QString("A(z) „%1” kapcsolat törlése nem sikerült: a kapcsolatok fájlja nem írható.")
            .arg(item->text()));
    return;
  }
  {
    const QSignalBlocker quiet(lbConn);
    delete item;
    lbConn->clearSelection();
  }
  btnRename->setEnabled(false);
  btnDelete->setEnabled(false);
  // Closing must not bring the connection back under the name left in the field.
  const std::optional<std::string> inField = ToCp1250(edConn->text());
  if (inField && SameName(*inField, name)) edConn->clear();
  if (SameName(shownName_, name)) Shown(std::string());
}

bool TPingset::StoreAndApply() {
  QString message;
  const std::optional<std::string> name = ToCp1250(edConn->text(), &message);
  const std::optional<std::string> phone = name ? ToCp1250(edPhone->text(), &message) : name;
  if (!name || !phone) {
    host_.dialogs().Message(message);
    (name ? edPhone : edConn)->setFocus();
    return false;
  }
  // The file could not find such a section again: its header would end at the bracket.
  if (name->find(']') != std::string::npos) {
    host_.dialogs().Message("A kapcsolat neve nem tartalmazhat ] karaktert !!!");
    edConn->setFocus();
    return false;
  }
  Session& session = host_.session();
  const ConnectionEntry entry = ChosenEntry();
  if (!name->empty()) {
    // A name typed here is the user's choice to store under it, as always. The connection the
    // fields were filled from is stored only when the user says so: changing the port for
    // once must not rewrite a site's connection behind the user's back.
    bool store = true;
    if (SameName(*name, shownName_)) {
      store = false;
      if (!SameEntry(entry, shownEntry_) &&
          !ConnectionHolds(*name, entry, session.connectionsIniPath)) {
        const auto answer = host_.dialogs().Ask(
            QString("A(z) „%1” kapcsolat tárolt beállításai eltérnek a most választottaktól.\n"
                    "Menti a változásokat a kapcsolatba ?")
                .arg(FromCp1250(*name)),
            windowTitle(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel) return false;
        store = answer == QMessageBox::Yes;
      }
    }
    if (store) StoreConnection(*name, entry, session.connectionsIniPath);
  }
  // Likewise the workstation keeps its port and speed when none is picked: an empty port
  // name would only fail at the next open, and the speed would have no value at all.
  if (entry.port) session.workstation.SetPortName(*entry.port);
  if (entry.speed) session.workstation.speedIndex = CmbSpeed->currentIndex();
  session.workstation.terminalLine = entry.line;
  const bool named = name->find_first_not_of(' ') != std::string::npos;
  host_.applyConnection(*name, *phone,
                        named ? FromCp1250(*name) : Q(session.workstation.PanelText()));
  return true;
}

bool TPingset::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lbConn && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    RunGuarded([this] { deleteSelected(); });
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TPingset::keyPressEvent(QKeyEvent* event) {
  // Escape would close, and closing applies; with no Cancel there is nothing for it to undo.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TPingset::done(int result) {
  if (!closing_) {
    closing_ = true;
    if (!StoreAndApply()) {
      closing_ = false;
      return;
    }
    poll_->stop();
  }
  QDialog::done(result);
}

}  // namespace tarvelo
