// The COM port dialog driven as the user drives it: from the menu, over a stand-in device
// folder and the fixture's own settings folder.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QtTest>
#include <cstdlib>
#include <functional>

#include <termios.h>
#include <unistd.h>
#include <QToolButton>

#include "files/DatabaseFile.h"
#include "files/IniFile.h"
#include "tests/serial/PtyPair.h"
#include "tests/ui/Fixture.h"
#include "ui/ComPortDialog.h"
#include "ui/NetworkPortDialog.h"
#include "ui/QtText.h"
#include "ui/TerminalPage.h"

using namespace tarvelo;

namespace {

// The device folder the dialog lists; its ports are plain files, which is all the listing
// needs of a stand-in folder.
struct DeviceFolder {
  QTemporaryDir dir;
  explicit DeviceFolder(const QStringList& nodes) {
    qputenv("TARVELO_DEV_DIR", dir.path().toLocal8Bit());
    qunsetenv("TARVELO_SYS_DIR");
    for (const QString& n : nodes) add(n);
  }
  ~DeviceFolder() { qunsetenv("TARVELO_DEV_DIR"); }
  void add(const QString& node) {
    QFile f(dir.path() + "/" + node);
    QVERIFY(f.open(QIODevice::WriteOnly));
  }
  void remove(const QString& node) { QVERIFY(QFile::remove(dir.path() + "/" + node)); }
};

QStringList Items(QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

QStringList Items(QListWidget* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
  return items;
}

template <typename T>
T* Child(QWidget* d, const char* name) {
  T* w = d->findChild<T*>(name);
  if (!w) qFatal("no control %s", name);
  return w;
}

// Opens the dialog from its menu item and lets `act` work on it while it runs modally; the
// dialog is closed with OK afterwards when `act` left it open.
void WithDialog(Fixture& f, const std::function<void(TPingset&)>& act) {
  bool ran = false;
  QTimer::singleShot(0, [&] {
    QPointer<TPingset> d = dynamic_cast<TPingset*>(QApplication::activeModalWidget());
    if (!d) {
      QApplication::activeModalWidget()->close();
      return;
    }
    ran = true;
    act(*d);
    if (d && d->isVisible()) Child<QPushButton>(d, "BtnOK")->click();
  });
  f.get<QAction>("mnuComport")->trigger();
  QVERIFY2(ran, "the menu item shows the dialog");
}

QByteArray FileBytes(const std::string& path) {
  QFile f(QString::fromStdString(path));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

void PutFile(const std::string& path, const QByteArray& bytes) {
  QFile f(QString::fromStdString(path));
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

// Fills the network port dialog that `open` brings up and presses OK; a refused entry leaves
// it open, and it is cancelled then. True when OK closed it.
bool EnterNetworkPort(const std::function<void()>& open, const QString& host,
                      const QString& tcpPort, int kind) {
  bool accepted = false;
  QTimer::singleShot(0, [&] {
    auto* d = dynamic_cast<NetworkPortDialog*>(QApplication::activeModalWidget());
    if (!d) qFatal("no network port dialog");
    Child<QLineEdit>(d, "edHost")->setText(host);
    Child<QLineEdit>(d, "edTcpPort")->setText(tcpPort);
    Child<QComboBox>(d, "CmbKind")->setCurrentIndex(kind);
    Child<QPushButton>(d, "BtnOK")->click();
    accepted = !d->isVisible();
    if (!accepted) Child<QPushButton>(d, "BtnCancel")->click();
  });
  open();
  return accepted;
}

// Picks a row of the connection list as a click does.
void ClickRow(QListWidget* list, int row) {
  const QRect r = list->visualItemRect(list->item(row));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

}  // namespace

class ComPortDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void looksAsDesigned();
  void closingStoresAndApplies_data();
  void closingStoresAndApplies();
  void pickingAConnection();
  void reopeningShowsWhatTheLastCloseApplied();
  void entriesTheFileCannotHoldAreRefused();
  void portListFromThisSystem();
  void portsComeAndGoWhileOpen();
  void portsInUseOrClosedToTheUserAreMarked();
  void aStoredConnectionIsFoundWhenItsDatabaseOpens();
  void aNetworkPort_data();
  void aNetworkPort();
  void aNetworkConnectionIsStoredAndPickedAgain();
  void aConnectionIsRewrittenOnlyWhenTheUserSaysSo();
  void renamingAndDeletingConnections();
  void theTerminalOpensWithTheConnectionsLineSettings();
};

void ComPortDialogTest::looksAsDesigned() {
  DeviceFolder devices({"ttyUSB0"});
  Fixture f;
  WithDialog(f, [&](TPingset& d) {
    QCOMPARE(d.windowTitle(), QString("Com port beállítások"));
    QVERIFY(!(d.windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(d.isModal());
    QVERIFY(d.width() >= 308 && d.height() >= 151);
    QVERIFY(d.width() < 308 * 2 && d.height() < 151 * 2);
    const std::pair<const char*, const char*> labels[] = {{"Label1", "Portszám:"},
                                                          {"Label2", "Sebesség:"},
                                                          {"Label5", "Telefonszám:"},
                                                          {"Label3", "Kapcsolatok"},
                                                          {"Label4", "Kapcsolat:"}};
    for (const auto& [name, text] : labels) QCOMPARE(Child<QLabel>(&d, name)->text(), text);
    QVERIFY(!Child<QComboBox>(&d, "CmbCom")->isEditable());
    QVERIFY(!Child<QComboBox>(&d, "CmbSpeed")->isEditable());
    QCOMPARE(Items(Child<QComboBox>(&d, "CmbSpeed")),
             QStringList({"300", "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600",
                          "115200"}));
    QCOMPARE(Child<QWidget>(&d, "Panel2")->width(), 140);
    QVERIFY(Child<QWidget>(&d, "Panel1")->height() >= 32);
    QVERIFY(Child<QLineEdit>(&d, "edPhone"));
    QVERIFY(Child<QListWidget>(&d, "lbConn"));
    auto* ok = Child<QPushButton>(&d, "BtnOK");
    QCOMPARE(ok->text(), QString("OK"));
    QVERIFY(ok->isDefault());
    // Without a Cancel button Escape does not close (closing would apply).
    QTest::keyClick(&d, Qt::Key_Escape);
    QVERIFY(d.isVisible());
  });
}

// What closing writes to "tvconn.ini" and applies, from the port, speed, number and name the
// user leaves in the dialog. "-" picks no item.
void ComPortDialogTest::closingStoresAndApplies_data() {
  QTest::addColumn<QByteArray>("iniBefore");
  QTest::addColumn<QString>("port");
  QTest::addColumn<QString>("speed");
  QTest::addColumn<QString>("phone");
  QTest::addColumn<QString>("name");
  QTest::addColumn<QByteArray>("iniAfter");
  QTest::addColumn<QString>("portName");
  QTest::addColumn<int>("speedIndex");
  QTest::addColumn<QString>("panel2");

  QTest::newRow("no name: nothing stored, port and speed shown")
      << QByteArray() << "USB1"
      << "9600"
      << "06 1 234"
      << "" << QByteArray("<none>") << "USB1" << 5 << "USB1 ( 9600 )";
  QTest::newRow("blanks only: stored, yet port and speed shown")
      << QByteArray() << "COM1"
      << "2400"
      << ""
      << "   " << QByteArray("[   ]\nCOM=COM1\nSPEED=2400\nPHONE=\n") << "COM1" << 3
      << "COM1 ( 2400 )";
  QTest::newRow("a new name: a section in Windows-1250, the name shown")
      << QByteArray("[Iroda]\nCOM=COM1\n") << "USB10"
      << "115200"
      << "06 72 ő"
      << "Pécs"
      << QByteArray(
             "[Iroda]\nCOM=COM1\n\n[P\xe9"
             "cs]\nCOM=USB10\nSPEED=115200\nPHONE=06 72 \xf5\n")
      << "USB10" << 9 << "Pécs";
  QTest::newRow("an existing name: overwritten key by key, other keys kept")
      << QByteArray(
             "; kept\n[p\xe9"
             "cs]\nPHONE=1\nMODEM=x\n")
      << "USB0"
      << "19200"
      << "2"
      << "PéCS"
      << QByteArray(
             "; kept\n[p\xe9"
             "cs]\nPHONE=2\nMODEM=x\nCOM=USB0\nSPEED=19200\n")
      << "USB0" << 6 << "PéCS";
  // The port stored is not plugged in, the speed stored is unknown: both are kept, in the
  // file and in the workstation's settings, rather than lost to empty values.
  QTest::newRow("nothing picked: stored port and speed kept")
      << QByteArray("[Szeged]\nCOM=USB7\nSPEED=7\n") << "-"
      << "-"
      << "3"
      << "Szeged" << QByteArray("[Szeged]\nCOM=USB7\nSPEED=7\nPHONE=3\n") << "COM4" << 12
      << "Szeged";
  QTest::newRow("nothing picked, no name: panel shows the kept settings")
      << QByteArray() << "-"
      << "-"
      << ""
      << "" << QByteArray("<none>") << "COM4" << 12 << "COM4 ( ------ )";
}

void ComPortDialogTest::closingStoresAndApplies() {
  QFETCH(QByteArray, iniBefore);
  QFETCH(QString, port);
  QFETCH(QString, speed);
  QFETCH(QString, phone);
  QFETCH(QString, name);
  DeviceFolder devices({"ttyS0", "ttyUSB0", "ttyUSB1", "ttyUSB10"});
  Fixture f;
  if (!iniBefore.isEmpty()) PutFile(f.session.connectionsIniPath, iniBefore);
  f.session.workstation.portName = "COM4";
  f.session.workstation.speedIndex = 12;
  WithDialog(f, [&](TPingset& d) {
    auto* com = Child<QComboBox>(&d, "CmbCom");
    auto* speeds = Child<QComboBox>(&d, "CmbSpeed");
    QCOMPARE(com->currentIndex(), -1);  // COM4 is not on this system
    QCOMPARE(speeds->currentIndex(), -1);
    com->setCurrentIndex(port == "-" ? -1 : com->findText(port));
    speeds->setCurrentIndex(speed == "-" ? -1 : speeds->findText(speed));
    QVERIFY(port == "-" || com->currentText() == port);
    Child<QLineEdit>(&d, "edPhone")->setText(phone);
    Child<QLineEdit>(&d, "edConn")->setText(name);
  });
  QTEST(FileBytes(f.session.connectionsIniPath), "iniAfter");
  QTEST(QString::fromStdString(f.session.workstation.portName), "portName");
  QTEST(f.session.workstation.speedIndex, "speedIndex");
  QTEST(f.window->panelText(2), "panel2");
  QCOMPARE(FromCp1250(f.window->connectionName()), name);
  QCOMPARE(FromCp1250(f.window->phoneNumber()), phone);
  // The port itself is not touched, and the program's settings file waits for the close.
  QVERIFY(!f.connection().IsOpen());
  QVERIFY(!QFile::exists(QString::fromStdString(f.session.programIniPath)));
}

void ComPortDialogTest::pickingAConnection() {
  DeviceFolder devices({"ttyS0", "ttyUSB0", "ttyUSB1"});
  Fixture f;
  PutFile(f.session.connectionsIniPath,
          "[Zebra]\nCOM=USB1\nPHONE=111\n"     // no SPEED
          "[alfa]\nSPEED=2400\nPHONE=222\n"    // no COM
          "[Gy\xf5r]\nCOM=USB9\nSPEED=9601\n"  // neither on the list
          "[ZEBRA]\nCOM=ignored\n");           // the same name again
  WithDialog(f, [&](TPingset& d) {
    auto* list = Child<QListWidget>(&d, "lbConn");
    auto* com = Child<QComboBox>(&d, "CmbCom");
    auto* speeds = Child<QComboBox>(&d, "CmbSpeed");
    auto* phone = Child<QLineEdit>(&d, "edPhone");
    auto* name = Child<QLineEdit>(&d, "edConn");
    QCOMPARE(Items(list), QStringList({"Zebra", "alfa", "Győr"}));  // file order
    auto click = [&](int row) {
      const QRect r = list->visualItemRect(list->item(row));
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    };
    click(0);
    QCOMPARE(name->text(), QString("Zebra"));
    QCOMPARE(com->currentText(), QString("USB1"));
    QCOMPARE(speeds->currentText(), QString("9600"));
    QCOMPARE(phone->text(), QString("111"));
    click(1);
    QCOMPARE(com->currentText(), QString("COM1"));
    QCOMPARE(speeds->currentText(), QString("2400"));
    QCOMPARE(phone->text(), QString("222"));
    click(2);
    QCOMPARE(name->text(), QString("Győr"));
    QCOMPARE(com->currentIndex(), -1);
    QCOMPARE(speeds->currentIndex(), -1);
    QCOMPARE(phone->text(), QString());
  });
  // Closed on "Győr" with nothing picked: its stored values and the workstation's stay.
  QVERIFY(FileBytes(f.session.connectionsIniPath).contains("[Gy\xf5r]\nCOM=USB9\nSPEED=9601\n"));
  QCOMPARE(f.session.workstation.portName, std::string("COM1"));
  QCOMPARE(f.session.workstation.speedIndex, 6);
  QCOMPARE(f.window->panelText(2), QString("Győr"));
}

void ComPortDialogTest::reopeningShowsWhatTheLastCloseApplied() {
  DeviceFolder devices({"ttyS0", "ttyUSB0", "ttyUSB1"});
  Fixture f;
  QCOMPARE(f.window->panelText(2), QString("COM1 ( 19200 )"));
  WithDialog(f, [&](TPingset& d) {
    QCOMPARE(Child<QComboBox>(&d, "CmbCom")->currentText(), QString("COM1"));
    QCOMPARE(Child<QComboBox>(&d, "CmbSpeed")->currentText(), QString("19200"));
    QCOMPARE(Child<QLineEdit>(&d, "edConn")->text(), QString());
    Child<QComboBox>(&d, "CmbCom")->setCurrentText("USB0");
    Child<QComboBox>(&d, "CmbSpeed")->setCurrentText("4800");
    Child<QLineEdit>(&d, "edPhone")->setText("555");
  });
  WithDialog(f, [&](TPingset& d) {
    QCOMPARE(Child<QComboBox>(&d, "CmbCom")->currentText(), QString("USB0"));
    QCOMPARE(Child<QComboBox>(&d, "CmbSpeed")->currentText(), QString("4800"));
    QCOMPARE(Child<QLineEdit>(&d, "edPhone")->text(), QString("555"));
    Child<QLineEdit>(&d, "edConn")->setText("Telephely");
  });
  // A plain OK keeps the connection and number: they are shown, not emptied.
  WithDialog(f, [&](TPingset& d) {
    QCOMPARE(Child<QLineEdit>(&d, "edConn")->text(), QString("Telephely"));
    QCOMPARE(Child<QLineEdit>(&d, "edPhone")->text(), QString("555"));
    QCOMPARE(Items(Child<QListWidget>(&d, "lbConn")), QStringList({"Telephely"}));
  });
  QCOMPARE(f.window->connectionName(), std::string("Telephely"));
  QCOMPARE(f.window->phoneNumber(), std::string("555"));
  QCOMPARE(f.window->panelText(2), QString("Telephely"));
  QCOMPARE(f.session.workstation.PanelText(), std::string("USB0 ( 4800 )"));
}

void ComPortDialogTest::entriesTheFileCannotHoldAreRefused() {
  DeviceFolder devices({"ttyUSB0"});
  Fixture f;
  WithDialog(f, [&](TPingset& d) {
    auto* name = Child<QLineEdit>(&d, "edConn");
    auto* phone = Child<QLineEdit>(&d, "edPhone");
    auto* ok = Child<QPushButton>(&d, "BtnOK");
    name->setText("Ház 中");
    ok->click();
    QVERIFY(d.isVisible());
    QCOMPARE(f.dialogs.messages.size(), 1);
    QVERIFY(f.dialogs.messages.last().contains("中"));
    name->setText("a]b");
    ok->click();
    QVERIFY(d.isVisible());
    QCOMPARE(f.dialogs.messages.last(),
             QString("A kapcsolat neve nem tartalmazhat ] karaktert !!!"));
    name->setText("Ház");
    phone->setText("☎");
    ok->click();
    QVERIFY(d.isVisible());
    QVERIFY(f.dialogs.messages.last().contains("☎"));
    phone->setText("1");
  });
  QCOMPARE(f.dialogs.messages.size(), 3);
  // COM1, the settings' port, is not on this system: no port is written.
  QCOMPARE(FileBytes(f.session.connectionsIniPath), QByteArray("[H\xe1z]\nSPEED=19200\nPHONE=1\n"));
  QCOMPARE(f.window->connectionName(), std::string("H\xe1z"));
}

void ComPortDialogTest::portListFromThisSystem() {
  {
    // Short names in text order; a name longer than the settings hold is left out.
    DeviceFolder devices(
        {"ttyUSB1", "ttyS1", "ttyUSB10", "ttyACM0", "ttyS0", "ttyUSB1000", "ttyS10", "tty0"});
    Fixture f;
    WithDialog(f, [&](TPingset& d) {
      QCOMPARE(Items(Child<QComboBox>(&d, "CmbCom")),
               QStringList({"ACM0", "COM1", "COM11", "COM2", "USB1", "USB10"}));
    });
  }
  {
    DeviceFolder devices({"console"});
    Fixture f;
    WithDialog(f, [&](TPingset& d) {
      QCOMPARE(
          Items(Child<QComboBox>(&d, "CmbCom")),
          QStringList({"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9"}));
      QCOMPARE(Child<QComboBox>(&d, "CmbCom")->currentText(), QString("COM1"));
    });
  }
}

void ComPortDialogTest::portsComeAndGoWhileOpen() {
  DeviceFolder devices({"ttyUSB0", "ttyUSB1"});
  Fixture f;
  f.session.workstation.portName = "USB2";  // its adapter is not plugged in yet
  WithDialog(f, [&](TPingset& d) {
    auto* com = Child<QComboBox>(&d, "CmbCom");
    QCOMPARE(com->currentIndex(), -1);
    devices.add("ttyUSB2");
    // The dialog's own timer finds it, and selects the port the settings name.
    QTRY_COMPARE_WITH_TIMEOUT(Items(com), QStringList({"USB0", "USB1", "USB2"}),
                              3 * TPingset::kPollMs);
    QCOMPARE(com->currentText(), QString("USB2"));
    // The user's pick survives other ports coming and going, and returns with its adapter.
    com->setCurrentIndex(1);
    emit com->activated(1);
    devices.remove("ttyUSB0");
    d.refreshPorts();
    QCOMPARE(Items(com), QStringList({"USB1", "USB2"}));
    QCOMPARE(com->currentText(), QString("USB1"));
    devices.remove("ttyUSB1");
    d.refreshPorts();
    QCOMPARE(com->currentIndex(), -1);
    devices.add("ttyUSB1");
    d.refreshPorts();
    QCOMPARE(com->currentText(), QString("USB1"));
  });
  QCOMPARE(f.session.workstation.portName, std::string("USB1"));
}

void ComPortDialogTest::portsInUseOrClosedToTheUserAreMarked() {
  Fixture f;
  auto lister = [] {
    platform::PortInfo free, held, closed;
    free.name = "USB0";
    free.byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    free.driver = "ftdi_sio";
    free.description = "FTDI FT232R USB UART";
    held.name = "USB1";
    held.usbId = "067b:2303";
    held.serialNumber = "X1";
    held.driver = "pl2303";
    held.holder = "portfigyelo (pid 812)";
    closed.name = "COM1";
    closed.driver = "serial8250";
    closed.mayOpen = false;
    closed.group = "dialout";
    return std::vector<platform::PortInfo>{free, held, closed};
  };
  QPointer<TPingset> d = new TPingset(*f.window, f.window.get(), lister);
  d->show();
  auto* com = Child<QComboBox>(d, "CmbCom");
  QCOMPARE(Items(com), QStringList({"COM1", "USB0", "USB1"}));
  auto details = [&](int row) { return com->itemData(row, Qt::ToolTipRole).toString(); };
  QCOMPARE(
      details(1),
      QString("FTDI FT232R USB UART · usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 · ftdi_sio"));
  QCOMPARE(details(2),
           QString("USB 067b:2303, sorozatszám X1 · pl2303 · foglalt: portfigyelo (pid 812)"));
  QCOMPARE(details(0), QString("serial8250 · nincs jogosultság"));
  // The selected port (COM1, the settings' port) cannot be opened by this user: the hint says
  // how to get in.
  QCOMPARE(com->currentText(), QString("COM1"));
  QVERIFY(d->portWarning().startsWith("Nincs jogosultsága a(z) COM1 port megnyitásához."));
  QVERIFY(d->portWarning().contains("„dialout” csoportba (sudo usermod -aG dialout "));
  const int height = d->height();
  com->setCurrentIndex(2);
  QCOMPARE(d->portWarning(),
           QString("A(z) USB1 portot egy másik program használja: portfigyelo (pid 812)."));
  com->setCurrentIndex(1);
  QCOMPARE(d->portWarning(), QString());
  QVERIFY(d->height() < height);  // the hint's room goes with it
  QVERIFY(d->height() >= 151);
  d->close();
  QVERIFY(QTest::qWaitFor([&] { return d.isNull(); }));  // it frees itself
  QCOMPARE(f.session.workstation.portName, std::string("USB0"));
}

// Stored in the dialog, kept in the database, found again when the database is opened after
// the workstation's settings moved on.
void ComPortDialogTest::aStoredConnectionIsFoundWhenItsDatabaseOpens() {
  DeviceFolder devices({"ttyS0", "ttyUSB0", "ttyUSB1"});
  Fixture f;
  WithDialog(f, [&](TPingset& d) {
    Child<QComboBox>(&d, "CmbCom")->setCurrentText("USB1");
    Child<QComboBox>(&d, "CmbSpeed")->setCurrentText("9600");
    Child<QLineEdit>(&d, "edPhone")->setText("06 99 123");
    Child<QLineEdit>(&d, "edConn")->setText("Telephely B");
  });
  const QString file = f.dir.path() + "/site.pi1";
  f.dialogs.saveNames = {file};
  f.window->saveDatabase();
  WithDialog(f, [&](TPingset& d) {
    Child<QComboBox>(&d, "CmbCom")->setCurrentText("COM1");
    Child<QComboBox>(&d, "CmbSpeed")->setCurrentText("38400");
    Child<QLineEdit>(&d, "edPhone")->clear();
    Child<QLineEdit>(&d, "edConn")->clear();
  });
  QCOMPARE(f.window->panelText(2), QString("COM1 ( 38400 )"));
  f.dialogs.answers = {QMessageBox::No};  // the cleared connection name is a change
  f.window->newDatabase();
  f.dialogs.openNames = {file};
  f.dialogs.passwords = {""};
  f.window->openDatabase();
  QCOMPARE(f.window->connectionName(), std::string("Telephely B"));
  QCOMPARE(f.window->phoneNumber(), std::string("06 99 123"));
  QCOMPARE(f.session.workstation.PanelText(), std::string("USB1 ( 9600 )"));
  QCOMPARE(f.window->panelText(2), QString("Telephely B"));
}

// "Hálózati port…" makes a port name of host, TCP port and kind; a refusal says why and the
// port chosen before stays.
void ComPortDialogTest::aNetworkPort_data() {
  QTest::addColumn<QString>("host");
  QTest::addColumn<QString>("tcpPort");
  QTest::addColumn<int>("kind");  // 0 raw TCP, 1 RFC 2217
  QTest::addColumn<QString>("portName");
  QTest::addColumn<QString>("refusal");
  QTest::addColumn<QString>("panel2");
  QTest::newRow("RFC 2217") << "10.0.0.5"
                            << "4001" << 1 << "rfc2217://10.0.0.5:4001"
                            << ""
                            << "rfc2217 10.0.0.5:4001 ( 19200 )";
  QTest::newRow("raw TCP, a name with blanks around")
      << " ser2net.site-1.lan "
      << " 3001" << 0 << "socket://ser2net.site-1.lan:3001"
      << ""
      << "tcp ser2net.site-1.lan:3001 ( 19200 )";
  QTest::newRow("IPv6 in brackets") << "fe80::1"
                                    << "2217" << 1 << "rfc2217://[fe80::1]:2217"
                                    << ""
                                    << "rfc2217 [fe80::1]:2217 ( 19200 )";
  QTest::newRow("IPv6 typed in brackets") << "[::1]"
                                          << "65535" << 0 << "socket://[::1]:65535"
                                          << ""
                                          << "tcp [::1]:65535 ( 19200 )";
  const QString kept = "USB0 ( 19200 )";
  QTest::newRow("no host") << "  "
                           << "4001" << 1 << "USB0"
                           << "A gép nevét vagy címét meg kell adni !!!" << kept;
  QTest::newRow("port 0") << "10.0.0.5"
                          << "0" << 1 << "USB0"
                          << "A TCP port értékének 1..65535 között kell lenni !!!" << kept;
  QTest::newRow("port 65536") << "10.0.0.5"
                              << "65536" << 1 << "USB0"
                              << "A TCP port értékének 1..65535 között kell lenni !!!" << kept;
  QTest::newRow("no port") << "10.0.0.5"
                           << "" << 0 << "USB0"
                           << "A TCP port értékének 1..65535 között kell lenni !!!" << kept;
  QTest::newRow("port after the host")
      << "10.0.0.5:4001"
      << "4001" << 1 << "USB0"
      << "A TCP portot a saját mezőjébe írja, ne a gép neve után !!!" << kept;
  QTest::newRow("accented name") << "szerver.hű"
                                 << "1" << 1 << "USB0"
                                 << "A gép neve csak ékezet nélküli betűt, számjegyet, pontot, "
                                    "kötőjelet és aláhúzást tartalmazhat !!!"
                                 << kept;
  QTest::newRow("a path") << "a/b"
                          << "1" << 1 << "USB0"
                          << "A gép neve csak ékezet nélküli betűt, számjegyet, pontot, "
                             "kötőjelet és aláhúzást tartalmazhat !!!"
                          << kept;
  QTest::newRow("bad IPv6") << "fe80::g"
                            << "1" << 1 << "USB0"
                            << "Hibás IPv6-cím: „fe80::g” !!!" << kept;
}

void ComPortDialogTest::aNetworkPort() {
  QFETCH(QString, host);
  QFETCH(QString, tcpPort);
  QFETCH(int, kind);
  QFETCH(QString, portName);
  QFETCH(QString, refusal);
  DeviceFolder devices({"ttyUSB0"});
  Fixture f;
  f.session.workstation.portName = "USB0";
  WithDialog(f, [&](TPingset& d) {
    auto* com = Child<QComboBox>(&d, "CmbCom");
    auto* button = Child<QPushButton>(&d, "btnNetPort");
    QCOMPARE(button->text(), QString("Hálózati port…"));
    const bool accepted = EnterNetworkPort([&] { button->click(); }, host, tcpPort, kind);
    QCOMPARE(accepted, refusal.isEmpty());
    QCOMPARE(f.dialogs.messages, refusal.isEmpty() ? QStringList() : QStringList{refusal});
    QCOMPARE(com->currentText(), portName);
    // The port list's own timer keeps the address among the system's ports.
    d.refreshPorts();
    QCOMPARE(com->currentText(), portName);
    QCOMPARE(Items(com).contains("USB0"), true);
  });
  QCOMPARE(QString::fromStdString(f.session.workstation.portName), portName);
  QTEST(f.window->panelText(2), "panel2");
  // The whole address shows: the panel widens for it rather than cut it.
  const auto* panel = f.get<QLabel>("SBarPanel2");
  QVERIFY(panel->width() >= panel->fontMetrics().horizontalAdvance(panel->text()));
  // The address chosen comes back to be corrected.
  if (refusal.isEmpty()) {
    WithDialog(f, [&](TPingset& d) {
      QCOMPARE(Child<QComboBox>(&d, "CmbCom")->currentText(), portName);
      QTimer::singleShot(0, [&] {
        auto* n = dynamic_cast<NetworkPortDialog*>(QApplication::activeModalWidget());
        QVERIFY(n);
        QCOMPARE(Child<QLineEdit>(n, "edHost")->text(), host.trimmed().remove('[').remove(']'));
        QCOMPARE(Child<QLineEdit>(n, "edTcpPort")->text(), tcpPort.trimmed());
        QCOMPARE(Child<QComboBox>(n, "CmbKind")->currentIndex(), kind);
        Child<QPushButton>(n, "BtnCancel")->click();
      });
      Child<QPushButton>(&d, "btnNetPort")->click();
      QCOMPARE(Child<QComboBox>(&d, "CmbCom")->currentText(), portName);
    });
  }
}

// Stored under a name, a network address goes where an older reader finds no port, and is
// offered again when the connection is picked.
void ComPortDialogTest::aNetworkConnectionIsStoredAndPickedAgain() {
  DeviceFolder devices({"ttyUSB0"});
  Fixture f;
  PutFile(f.session.connectionsIniPath, "[Iroda]\r\nCOM=USB0\r\nSPEED=9600\r\n");
  WithDialog(f, [&](TPingset& d) {
    QVERIFY(EnterNetworkPort([&] { Child<QPushButton>(&d, "btnNetPort")->click(); }, "10.0.0.5",
                             "4001", 1));
    Child<QComboBox>(&d, "CmbSpeed")->setCurrentText("115200");
    Child<QLineEdit>(&d, "edConn")->setText("Szerver");
  });
  QCOMPARE(FileBytes(f.session.connectionsIniPath),
           QByteArray("[Iroda]\r\nCOM=USB0\r\nSPEED=9600\r\n\r\n[Szerver]\r\n"
                      "NETPORT=rfc2217://10.0.0.5:4001\r\nNETSPEED=115200\r\nPHONE=\r\n"));
  QCOMPARE(f.window->panelText(2), QString("Szerver"));
  WithDialog(f, [&](TPingset& d) {
    auto* list = Child<QListWidget>(&d, "lbConn");
    auto* com = Child<QComboBox>(&d, "CmbCom");
    ClickRow(list, 0);
    QCOMPARE(com->currentText(), QString("USB0"));
    ClickRow(list, 1);
    QCOMPARE(com->currentText(), QString("rfc2217://10.0.0.5:4001"));
    QCOMPARE(Child<QComboBox>(&d, "CmbSpeed")->currentText(), QString("115200"));
    ClickRow(list, 0);
    Child<QLineEdit>(&d, "edConn")->clear();
  });
  QCOMPARE(f.session.workstation.PanelText(), std::string("USB0 ( 9600 )"));
}

// Changing the port while a connection is current asks before it rewrites that connection;
// a visit that changes nothing writes nothing.
void ComPortDialogTest::aConnectionIsRewrittenOnlyWhenTheUserSaysSo() {
  DeviceFolder devices({"ttyUSB0", "ttyUSB1"});
  Fixture f;
  const QByteArray stored = "[Iroda]\nCOM = USB0\nSPEED=9600\nPHONE=1\n";
  PutFile(f.session.connectionsIniPath, stored);
  // The site's database names the connection: it is current, its settings in use.
  LookupConnection("Iroda", f.session.workstation, f.session.connectionsIniPath);
  f.applyConnection("Iroda", "1", "Iroda");
  const QString question =
      "Com port beállítások: A(z) „Iroda” kapcsolat tárolt beállításai eltérnek a most "
      "választottaktól.\nMenti a változásokat a kapcsolatba ?";
  // Opened and closed as it is: no question, no write.
  WithDialog(f, [](TPingset&) {});
  QCOMPARE(f.dialogs.messages, QStringList());
  QCOMPARE(FileBytes(f.session.connectionsIniPath), stored);

  // Another port for once: No keeps the stored connection as it was.
  f.dialogs.answers = {QMessageBox::No};
  WithDialog(f, [](TPingset& d) { Child<QComboBox>(&d, "CmbCom")->setCurrentText("USB1"); });
  QCOMPARE(f.dialogs.messages, QStringList{question});
  QCOMPARE(FileBytes(f.session.connectionsIniPath), stored);
  QCOMPARE(f.session.workstation.portName, std::string("USB1"));
  QCOMPARE(f.window->connectionName(), std::string("Iroda"));

  // Cancel stays in the dialog; then Yes stores the change.
  f.dialogs.messages.clear();
  f.dialogs.answers = {QMessageBox::Cancel, QMessageBox::Yes};
  WithDialog(f, [&](TPingset& d) {
    Child<QComboBox>(&d, "CmbCom")->setCurrentText("USB0");
    Child<QComboBox>(&d, "CmbSpeed")->setCurrentText("2400");
    Child<QPushButton>(&d, "BtnOK")->click();
    QVERIFY(d.isVisible());
    QCOMPARE(FileBytes(f.session.connectionsIniPath), stored);
  });
  QCOMPARE(f.dialogs.messages, (QStringList{question, question}));
  QCOMPARE(FileBytes(f.session.connectionsIniPath),
           QByteArray("[Iroda]\nCOM = USB0\nSPEED=2400\nPHONE=1\n"));

  // Picked from the list and set back to what is stored: nothing to ask.
  f.dialogs.messages.clear();
  WithDialog(f, [&](TPingset& d) {
    Child<QComboBox>(&d, "CmbSpeed")->setCurrentText("9600");
    ClickRow(Child<QListWidget>(&d, "lbConn"), 0);
  });
  QCOMPARE(f.dialogs.messages, QStringList());
  QCOMPARE(f.session.workstation.speedIndex, 3);
}

// A connection is renamed in place and deleted after a question; the name in use follows.
void ComPortDialogTest::renamingAndDeletingConnections() {
  DeviceFolder devices({"ttyUSB0"});
  Fixture f;
  PutFile(f.session.connectionsIniPath,
          "; sites\n[Iroda]\nCOM=USB0\nSPEED=9600\n\n[P\xe9"
          "cs]\nCOM=USB0\n\n[Gy\xf5r]\nCOM=USB0\n");
  f.applyConnection("Iroda", "", "Iroda");
  WithDialog(f, [&](TPingset& d) {
    auto* list = Child<QListWidget>(&d, "lbConn");
    auto* rename = Child<QPushButton>(&d, "btnRename");
    auto* remove = Child<QPushButton>(&d, "btnDelete");
    auto* name = Child<QLineEdit>(&d, "edConn");
    QCOMPARE(rename->text(), QString("Átnevezés"));
    QCOMPARE(remove->text(), QString("Törlés"));
    QVERIFY(!rename->isEnabled() && !remove->isEnabled());
    list->item(0)->setSelected(true);
    QVERIFY(rename->isEnabled() && remove->isEnabled());
    // Names the file cannot hold, or that another connection has, are refused.
    const std::pair<QString, QString> refused[] = {
        {"pécs", "Már van „Pécs” nevű kapcsolat !!!"},
        {"a]b", "A kapcsolat neve nem tartalmazhat ] karaktert !!!"},
        {"  ", "A kapcsolat neve nem lehet üres !!!"},
    };
    for (const auto& [typed, why] : refused) {
      list->item(0)->setText(typed);
      QCOMPARE(f.dialogs.messages.last(), why);
      QCOMPARE(list->item(0)->text(), QString("Iroda"));
    }
    const QByteArray before = FileBytes(f.session.connectionsIniPath);
    QVERIFY(before.contains("[Iroda]"));
    list->item(0)->setText("Központ");
    QCOMPARE(Items(list), QStringList({"Központ", "Pécs", "Győr"}));
    QCOMPARE(name->text(), QString("Központ"));
    // Deleting asks first; No keeps it.
    list->clearSelection();
    list->item(1)->setSelected(true);
    f.dialogs.answers = {QMessageBox::No, QMessageBox::Yes};
    remove->click();
    QCOMPARE(f.dialogs.messages.last(),
             QString("Com port beállítások: Törli a(z) „Pécs” kapcsolatot ?"));
    QCOMPARE(Items(list), QStringList({"Központ", "Pécs", "Győr"}));
    // The Delete key on the list does what the button does.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(Items(list), QStringList({"Központ", "Győr"}));
    // The connection in use is deleted: closing does not bring it back.
    list->item(0)->setSelected(true);
    f.dialogs.answers = {QMessageBox::Yes};
    remove->click();
    QCOMPARE(name->text(), QString());
  });
  QCOMPARE(FileBytes(f.session.connectionsIniPath), QByteArray("; sites\n[Gy\xf5r]\nCOM=USB0\n"));
  QCOMPARE(f.window->connectionName(), std::string());
}

// A connection's own data bits, parity, stop bits and flow control: shown, stored, and the
// terminal opens with them.
void ComPortDialogTest::theTerminalOpensWithTheConnectionsLineSettings() {
  DeviceFolder devices({});
  PtyPair pty;
  QVERIFY(!pty.path.empty());
  QVERIFY(symlink(pty.path.c_str(), (devices.dir.path() + "/ttyUSB0").toLocal8Bit().data()) == 0);
  Fixture f;
  PutFile(f.session.connectionsIniPath,
          "[Modem]\nCOM=USB0\nSPEED=9600\nDATABITS=7\nPARITY=even\nSTOPBITS=2\nFLOW=XONXOFF\n"
          "[K\xe9sz\xfcl\xe9k]\nCOM=USB0\nSPEED=9600\n");
  WithDialog(f, [&](TPingset& d) {
    const char* boxes[] = {"CmbDataBits", "CmbParity", "CmbStopBits", "CmbFlow"};
    auto texts = [&] {
      QStringList t;
      for (const char* b : boxes) t << Child<QComboBox>(&d, b)->currentText();
      return t;
    };
    QCOMPARE(texts(), QStringList(4, "készülék szerint"));
    ClickRow(Child<QListWidget>(&d, "lbConn"), 0);
    QCOMPARE(texts(), QStringList({"7", "páros", "2", "szoftver (XON/XOFF)"}));
    ClickRow(Child<QListWidget>(&d, "lbConn"), 1);
    QCOMPARE(texts(), QStringList(4, "készülék szerint"));
    ClickRow(Child<QListWidget>(&d, "lbConn"), 0);
    // Parity back to the device's: asked, and stored.
    Child<QComboBox>(&d, "CmbParity")->setCurrentIndex(0);
    f.dialogs.answers = {QMessageBox::Yes};
  });
  QVERIFY(FileBytes(f.session.connectionsIniPath)
              .startsWith("[Modem]\nCOM=USB0\nSPEED=9600\nDATABITS=7\nSTOPBITS=2\nFLOW=XONXOFF\n"));
  const LineChoice chosen{dbSeven, std::nullopt, sbTwoStopBits, fcSoftware};
  QVERIFY(f.session.workstation.terminalLine == chosen);
  // A pseudo-terminal keeps 8 data bits whatever it is told; the rest it shows.
  f.window->showPage(PageId::Terminal);
  QTest::mouseClick(f.get<QToolButton>("btnConnect"), Qt::LeftButton);
  QVERIFY(f.connection().Held());
  termios t{};
  tcgetattr(pty.slave, &t);
  QVERIFY(t.c_cflag & CSTOPB);
  QVERIFY(!(t.c_cflag & CRTSCTS));
  QVERIFY((t.c_iflag & IXON) && (t.c_iflag & IXOFF));
  f.get<TerminalPage>("TabSheet8")->Disconnect();
}

TARVELO_TEST_MAIN(ComPortDialogTest)
#include "ComPortDialogTest.moc"
