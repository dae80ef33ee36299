#include "ui/NetworkPortDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "ui/DialogService.h"
#include "ui/ErrorGuard.h"

namespace tarvelo {
namespace {

constexpr const char* kRawScheme = "socket://";
constexpr const char* kRfc2217Scheme = "rfc2217://";
constexpr int kKindRaw = 0;
constexpr int kKindRfc2217 = 1;

bool IsIpv6(const QString& host) {
  static const QRegularExpression ipv6("^[0-9A-Fa-f:.]+$");
  return host.count(':') >= 2 && ipv6.match(host).hasMatch();
}

}  // namespace

NetworkPortDialog::NetworkPortDialog(DialogService& dialogs, const QString& current,
                                     QWidget* parent)
    : QDialog(parent), dialogs_(dialogs) {
  setObjectName("NetPortDialog");
  setWindowTitle("Hálózati port");
  setModal(true);

  auto* grid = new QGridLayout(this);
  auto label = [this](const char* name, const QString& text, QWidget* buddy) {
    auto* l = new QLabel(text, this);
    l->setObjectName(name);
    l->setBuddy(buddy);
    return l;
  };
  edHost = new QLineEdit(this);
  edHost->setObjectName("edHost");
  edHost->setMinimumWidth(200);
  edTcpPort = new QLineEdit(this);
  edTcpPort->setObjectName("edTcpPort");
  edTcpPort->setMaxLength(5);
  CmbKind = new QComboBox(this);
  CmbKind->setObjectName("CmbKind");
  CmbKind->addItem("Nyers TCP (socket://)");
  CmbKind->addItem("RFC 2217, távoli soros port (rfc2217://)");
  CmbKind->setCurrentIndex(kKindRfc2217);
  CmbKind->setToolTip(
      "RFC 2217: a sebességet és a vonal beállításait a soros szerver a portjára is beállítja.\n"
      "Nyers TCP: a szerver a saját beállításaival továbbítja a bájtokat.");
  grid->addWidget(label("lblHost", "&Gépnév vagy cím:", edHost), 0, 0);
  grid->addWidget(edHost, 0, 1);
  grid->addWidget(label("lblTcpPort", "&TCP port:", edTcpPort), 1, 0);
  grid->addWidget(edTcpPort, 1, 1);
  grid->addWidget(label("lblKind", "&Fajta:", CmbKind), 2, 0);
  grid->addWidget(CmbKind, 2, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  BtnOK = new QPushButton("OK", this);
  BtnOK->setObjectName("BtnOK");
  BtnOK->setDefault(true);
  BtnCancel = new QPushButton("Mégse", this);
  BtnCancel->setObjectName("BtnCancel");
  buttons->addWidget(BtnOK);
  buttons->addWidget(BtnCancel);
  grid->addLayout(buttons, 3, 0, 1, 2);
  connect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

  // An address chosen before comes back to be corrected.
  static const QRegularExpression address(R"(^(socket|rfc2217)://(\[([^\]]*)\]|([^:]*)):(\d+)$)");
  const QRegularExpressionMatch m = address.match(current);
  if (m.hasMatch()) {
    CmbKind->setCurrentIndex(m.captured(1) == "socket" ? kKindRaw : kKindRfc2217);
    edHost->setText(m.captured(3).isEmpty() ? m.captured(4) : m.captured(3));
    edTcpPort->setText(m.captured(5));
  }
}

QString NetworkPortDialog::MakePortName(const QString& hostText, const QString& tcpPort,
                                        bool rfc2217, QString* refusal) {
  auto refuse = [&](const QString& why) {
    if (refusal) *refusal = why;
    return QString();
  };
  QString host = hostText.trimmed();
  if (host.startsWith('[') && host.endsWith(']')) host = host.mid(1, host.size() - 2);
  if (host.isEmpty()) return refuse("A gép nevét vagy címét meg kell adni !!!");
  static const QRegularExpression name("^[A-Za-z0-9._-]+$");
  bool ipv6 = false;
  if (host.contains(':')) {
    if (host.count(':') == 1) {
      return refuse("A TCP portot a saját mezőjébe írja, ne a gép neve után !!!");
    }
    if (!IsIpv6(host)) return refuse(QString("Hibás IPv6-cím: „%1” !!!").arg(host));
    ipv6 = true;
  } else if (!name.match(host).hasMatch() || host.startsWith('-')) {
    return refuse(
        "A gép neve csak ékezet nélküli betűt, számjegyet, pontot, kötőjelet és aláhúzást "
        "tartalmazhat !!!");
  }
  bool ok = false;
  const int port = tcpPort.trimmed().toInt(&ok, 10);
  if (!ok || port < 1 || port > 65535) {
    return refuse("A TCP port értékének 1..65535 között kell lenni !!!");
  }
  return QString(rfc2217 ? kRfc2217Scheme : kRawScheme) + (ipv6 ? "[" + host + "]" : host) + ":" +
         QString::number(port);
}

void NetworkPortDialog::done(int result) {
  if (result == QDialog::Accepted) {
    QString refusal;
    const QString made = MakePortName(edHost->text(), edTcpPort->text(),
                                      CmbKind->currentIndex() == kKindRfc2217, &refusal);
    if (made.isEmpty()) {
      // The fields stay as typed, for the user to mend.
      dialogs_.Message(refusal);
      const bool hostFine =
          !MakePortName(edHost->text(), "1", CmbKind->currentIndex() == kKindRfc2217, nullptr)
               .isEmpty();
      (hostFine ? edTcpPort : edHost)->setFocus();
      return;
    }
    portName_ = made;
  }
  QDialog::done(result);
}

QString NetworkPortDialog::Ask(DialogService& dialogs, const QString& current, QWidget* parent) {
  NetworkPortDialog dialog(dialogs, current, parent);
  return dialog.exec() == QDialog::Accepted ? dialog.portName() : QString();
}

}  // namespace tarvelo
