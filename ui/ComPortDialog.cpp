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
#include "ui/DialogService.h"
#include "ui/ErrorGuard.h"
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
  CmbSpeed = new QComboBox(this);
  CmbSpeed->setObjectName("CmbSpeed");
  for (const PortSpeed& s : WorkstationSpeeds()) CmbSpeed->addItem(s.text);
  edPhone = new QLineEdit(this);
  edPhone->setObjectName("edPhone");
  fields->addWidget(label("Label1", "Portszám:"), 0, 0);
  fields->addWidget(CmbCom, 0, 1);
  fields->addWidget(label("Label2", "Sebesség:"), 1, 0);
  fields->addWidget(CmbSpeed, 1, 1);
  fields->addWidget(label("Label5", "Telefonszám:"), 2, 0);
  fields->addWidget(edPhone, 2, 1);
  fields->setRowStretch(3, 1);
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
  connections->addWidget(lbConn, 1);
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
  connect(lbConn, &QListWidget::itemSelectionChanged, this,
          Guarded([this] { LoadSelectedConnection(); }));

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
  CmbCom->setCurrentIndex(CmbCom->findText(wantedPort_, Qt::MatchExactly));
  settingPorts_ = false;
  ShowPortWarning();
}

void TPingset::refreshPorts() {
  const std::vector<PortItem> items = PortItems();
  if (items != portItems_) SetPortItems(items);
}

void TPingset::SelectPort(const QString& name) {
  wantedPort_ = name;
  CmbCom->setCurrentIndex(CmbCom->findText(name, Qt::MatchExactly));
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
  {
    const QSignalBlocker quiet(lbConn);
    lbConn->clear();
    for (const std::string& name : ConnectionNames(session.connectionsIniPath)) {
      auto* item = new QListWidgetItem(FromCp1250(name), lbConn);
      item->setData(kSectionRole, QByteArray::fromStdString(name));
    }
  }
  // The connection and number in use: closing without touching them keeps them, where empty
  // fields would clear the database's connection name and the number to dial.
  edConn->setText(FromCp1250(host_.connectionName()));
  edPhone->setText(FromCp1250(host_.phoneNumber()));
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
  const bool portChosen = CmbCom->currentIndex() >= 0;
  const bool speedChosen = CmbSpeed->currentIndex() >= 0;
  if (!name->empty()) {
    // With no port or speed picked (the stored one is not on this system, or unknown) the
    // connection keeps what it had rather than losing it to an empty value.
    StoreConnection(
        *name, portChosen ? std::optional(CmbCom->currentText().toStdString()) : std::nullopt,
        speedChosen ? std::optional(CmbSpeed->currentText().toStdString()) : std::nullopt, *phone,
        session.connectionsIniPath);
  }
  // Likewise the workstation keeps its port and speed when none is picked: an empty port
  // name would only fail at the next open, and the speed would have no value at all.
  if (portChosen) session.workstation.SetPortName(CmbCom->currentText().toStdString());
  if (speedChosen) session.workstation.speedIndex = CmbSpeed->currentIndex();
  const bool named = name->find_first_not_of(' ') != std::string::npos;
  host_.applyConnection(*name, *phone,
                        named ? FromCp1250(*name) : Q(session.workstation.PanelText()));
  return true;
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
