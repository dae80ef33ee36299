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

#include "files/DatabaseFile.h"
#include "tests/ui/Fixture.h"
#include "ui/ComPortDialog.h"
#include "ui/QtText.h"

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
    held.holder = "minicom (pid 812)";
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
           QString("USB 067b:2303, sorozatszám X1 · pl2303 · foglalt: minicom (pid 812)"));
  QCOMPARE(details(0), QString("serial8250 · nincs jogosultság"));
  // The selected port (COM1, the settings' port) cannot be opened by this user: the hint says
  // how to get in.
  QCOMPARE(com->currentText(), QString("COM1"));
  QVERIFY(d->portWarning().startsWith("Nincs jogosultsága a(z) COM1 port megnyitásához."));
  QVERIFY(d->portWarning().contains("„dialout” csoportba (sudo usermod -aG dialout "));
  const int height = d->height();
  com->setCurrentIndex(2);
  QCOMPARE(d->portWarning(),
           QString("A(z) USB1 portot egy másik program használja: minicom (pid 812)."));
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

TARVELO_TEST_MAIN(ComPortDialogTest)
#include "ComPortDialogTest.moc"
