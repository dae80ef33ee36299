// Transfers started from the window, against the device simulator on a pseudo-terminal.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QMenuBar>
#include <QTabWidget>

#include <fstream>

#include <QAbstractButton>
#include <QFile>
#include <QPushButton>
#include <QTimer>

#include "model/ImageLayout.h"
#include "tests/serial/PtyPair.h"
#include "tests/ui/Fixture.h"
#include "tests/ui/LinkedDevsim.h"
#include "ui/TransferRunner.h"

using namespace tarvelo;

namespace {

void WaitUntilDone(Fixture& f) {
  QTRY_VERIFY_WITH_TIMEOUT(!f.transfers().running(), 20000);
}

}  // namespace

class TransferTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { qputenv("TARVELO_DEV_DIR", dir.path().toUtf8()); }
  void cleanup() { qunsetenv("TARVELO_DEV_DIR"); }
  void downloadSwitchesModelAndDecodes();
  void aDownloadOfWhatIsSavedIsNoChange();
  void uploadWritesTheDevice();
  void anUnreadableDeviceTypeIsUploadedOnlyAfterTheQuestion();
  void portThatCannotOpen();
  void aFailingHandlerIsShownAndTheWindowGoesOn();
  void anEventThreadErrorReachesTheWindow();
  void aLineLostDuringATransferIsReportedOnce();

 private:
  QTemporaryDir dir;
};

void TransferTest::downloadSwitchesModelAndDecodes() {
  ConfigImage device;
  StoreNewDatabaseDefaults(device, ImageLayout::For(DeviceModel::SixteenLine));
  device.SetImageByte(1683, 77);  // CoPosition of the 16-line model
  const QString image = dir.path() + "/dev.img";
  std::ofstream(image.toStdString(), std::ios::binary)
      .write(reinterpret_cast<const char*>(device.raw().data()), kImageSize);
  DevsimProcess sim = LinkedDevsim(dir.path(), image, "16");
  Fixture f;
  f.session.workstation.portName = "USB0";
  // A number added before the download cannot be taken back after it.
  f.window->showPage(PageId::Numbers);
  f.get<QLineEdit>("MEfreecall")->setText("0612345");
  f.get<QPushButton>("BTNujszam1")->click();
  QVERIFY(f.numbersPage().canUndo());
  f.dialogs.answers = {QMessageBox::No};  // "Menti a változásokat ?"
  f.get<QAction>("DnLoad1")->trigger();
  // From the request on, nothing else can be started.
  QVERIFY(f.transfers().running());
  QVERIFY(!f.get<QTabWidget>("PageControl")->isEnabled());
  QVERIFY(!f.get<QWidget>("pnlBott")->isEnabled());
  QVERIFY(!f.window->menuBar()->isEnabled());
  // Shortcuts still reach the actions; they wait for the transfer.
  f.get<QAction>("mnuSave")->trigger();
  f.get<QAction>("DnLoad1")->trigger();
  QVERIFY(f.dialogs.fileDialogs.isEmpty());
  QCOMPARE(f.dialogs.messages.size(), 1);
  WaitUntilDone(f);
  QCOMPARE(f.window->panelText(3), QString("Sikeres letöltés."));
  QCOMPARE(f.window->model(), DeviceModel::SixteenLine);
  QCOMPARE(f.get<QLineEdit>("MEcopos")->text(), QString("77"));
  QVERIFY(f.window->modifiedFlag());
  QVERIFY(f.get<QTabWidget>("PageControl")->isEnabled());
  QVERIFY(!f.connection().IsOpen());
  QCOMPARE(f.dialogs.messages, QStringList{"Tarvelo: Menti a változásokat ?"});
  QVERIFY(!f.numbersPage().canUndo());
}

// The save question compares with the file: a download that brings back what was saved asks
// nothing, while one that brings something else does.
void TransferTest::aDownloadOfWhatIsSavedIsNoChange() {
  ConfigImage device;
  StoreNewDatabaseDefaults(device, ImageLayout::For(DeviceModel::SixteenLine));
  const QString image = dir.path() + "/same.img";
  std::ofstream(image.toStdString(), std::ios::binary)
      .write(reinterpret_cast<const char*>(device.raw().data()), kImageSize);
  DevsimProcess sim = LinkedDevsim(dir.path(), image, "16");
  Fixture f;
  f.session.workstation.portName = "USB0";
  f.session.workstation.speedIndex = 9;
  f.get<QAction>("DnLoad1")->trigger();
  WaitUntilDone(f);
  QVERIFY(f.window->modifiedFlag());  // a new database before
  f.dialogs.saveNames = {dir.path() + "/site.pin"};
  QVERIFY(f.window->saveDatabase());
  f.get<QAction>("DnLoad1")->trigger();
  WaitUntilDone(f);
  QCOMPARE(f.window->panelText(3), QString("Sikeres letöltés."));
  QVERIFY(!f.window->modifiedFlag());
  QVERIFY(f.dialogs.messages.isEmpty());
}

void TransferTest::uploadWritesTheDevice() {
  const QString image = dir.path() + "/dev4.img";
  std::ofstream(image.toStdString(), std::ios::binary) << std::string(8192, '\0');
  DevsimProcess sim = LinkedDevsim(dir.path(), image, "4");
  Fixture f;
  f.session.workstation.portName = "USB0";
  f.session.workstation.speedIndex = 9;  // 115200: every frame takes its time on the line
  f.window->showPage(PageId::Timers);
  f.typeAndLeave("MEibe", "33");
  f.get<QLineEdit>("MEibe")->setFocus();
  f.get<QLineEdit>("MEibe")->setText("34");      // still being edited: the upload stores it first
  f.dialogs.answers.push_back(QMessageBox::No);  // no copy of the device first
  f.get<QAction>("UpLoad1")->trigger();
  WaitUntilDone(f);
  QCOMPARE(f.window->panelText(3), QString("Sikeres feltöltés"));
  QCOMPARE(f.get<QTabWidget>("PageControl")->currentIndex(), 2);
  sim.Stop();
  std::ifstream in(image.toStdString(), std::ios::binary);
  std::string saved((std::istreambuf_iterator<char>(in)), {});
  QCOMPARE(int(static_cast<uint8_t>(saved.at(1674))), 34);  // SeizeTimer of the 4-line model
  QCOMPARE(int(static_cast<uint8_t>(saved.at(1400))), 0);   // below the range: not sent
}

// The device's type replies are cut: the upload sends nothing, and the window asks whether to
// go on without the check, naming the risk. No leaves the device alone; Yes writes it.
void TransferTest::anUnreadableDeviceTypeIsUploadedOnlyAfterTheQuestion() {
  const QString image = dir.path() + "/dev16.img";
  std::ofstream(image.toStdString(), std::ios::binary) << std::string(8192, '\0');
  DevsimProcess sim(TARVELO_DEVSIM, {"--image", image.toStdString(), "--model", "16", "--link",
                                     (dir.path() + "/ttyUSB0").toStdString(), "--fault", "short=1",
                                     "--fault-segments", "43-43"});
  Fixture f;
  f.session.workstation.portName = "USB0";
  f.session.workstation.speedIndex = 9;
  f.setModel(1);
  f.window->NewDatabaseDefaults();
  f.typeAndLeave("MEcopos", "77");
  for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
    f.dialogs.messages.clear();
    f.dialogs.answers = {QMessageBox::No, answer};  // no copy first; then the question
    f.get<QAction>("UpLoad1")->trigger();
    WaitUntilDone(f);
    QCOMPARE(f.dialogs.messages.size(), 3);  // the copy, why nothing was sent, the question
    QVERIFY2(f.dialogs.messages[2].contains("rossz helyre") &&
                 f.dialogs.messages[2].contains("Zentor-16"),
             qPrintable(f.dialogs.messages[2]));
    QVERIFY(!f.connection().IsOpen());
    if (answer == QMessageBox::No)
      QCOMPARE(f.window->panelText(3), QString("Ismeretlen készüléktípus, nincs feltöltés."));
  }
  QCOMPARE(f.window->panelText(3), QString("Sikeres feltöltés"));
  sim.Stop();
  std::ifstream in(image.toStdString(), std::ios::binary);
  std::string saved((std::istreambuf_iterator<char>(in)), {});
  QCOMPARE(int(static_cast<uint8_t>(saved.at(1683))), 77);  // CoPosition of the 16-line model
}

void TransferTest::portThatCannotOpen() {
  Fixture f;
  f.session.workstation.portName = "USB9";
  f.get<QAction>("DNLProm")->trigger();
  QVERIFY(!f.transfers().running());
  QCOMPARE(f.dialogs.messages.size(), 1);
  QVERIFY(f.dialogs.messages[0].startsWith("Unable to open com port"));
  QVERIFY(!f.window->modifiedFlag());
  QVERIFY(f.get<QTabWidget>("PageControl")->isEnabled());
}

void TransferTest::aFailingHandlerIsShownAndTheWindowGoesOn() {
  Fixture f;
  auto* button = new QPushButton("x", f.get<QWidget>("pnlBott"));
  button->show();
  QObject::connect(button, &QPushButton::clicked,
                   Guarded([] { throw std::runtime_error("Nem sikerült"); }));
  QTest::mouseClick(button, Qt::LeftButton);
  QCOMPARE(f.dialogs.messages, QStringList{"Nem sikerült"});
  QCOMPARE(f.dialogs.messageCaptions, QStringList{"Tarvelo1.2"});
  // A port that cannot be opened from the terminal page is shown the same way.
  f.session.workstation.portName = "USB9";
  f.window->showPage(PageId::Terminal);
  auto* connectButton = f.get<QAbstractButton>("btnConnect");
  QTest::mouseClick(connectButton, Qt::LeftButton);
  QCOMPARE(f.dialogs.messages.size(), 2);
  QVERIFY(f.dialogs.messages[1].startsWith("Unable to open com port"));
  QCOMPARE(f.dialogs.messageCaptions[1], QString("Tarvelo1.2"));
  QVERIFY(!connectButton->isChecked());
  // The window still does its work.
  f.window->showPage(PageId::General);
  f.typeAndLeave("MEcopos", "12");
  QVERIFY(f.window->modifiedFlag());
  QCOMPARE(f.dialogs.messages.size(), 2);
}

void TransferTest::anEventThreadErrorReachesTheWindow() {
  // A reader bound to the line whose handler fails; it outlives the window it is bound in.
  TComLink failing;
  failing.LinkRxBuf = [](TCustomComPort*, const uint8_t*, int) {
    throw std::runtime_error("A vonal hibát jelzett");
  };
  Fixture f;
  PtyPair pty;
  f.connection().Bind(&failing);
  f.connection().Hold(pty.path, 6);
  QCOMPARE(f.window->panelText(3), QString("Kapcsolódva..."));
  pty.Send("a");
  QTRY_COMPARE(f.dialogs.messages.size(), 1);
  QCOMPARE(f.dialogs.messages[0], QString("A vonal hibát jelzett"));
  QCOMPARE(f.dialogs.messageCaptions[0], QString("Tarvelo1.2"));
  QVERIFY(!f.connection().IsOpen());
  QVERIFY(!f.connection().Held());
  QCOMPARE(f.window->panelText(3), QString("Szétkapcsolva"));
}

// The device goes away while the download breaks in: the port's failure is shown, and the
// transfer that then finds its port closed ends without a second, misleading message.
void TransferTest::aLineLostDuringATransferIsReportedOnce() {
  PtyPair pty;
  QFile::link(QString::fromStdString(pty.path), dir.path() + "/ttyUSB0");
  Fixture f;
  f.session.workstation.portName = "USB0";
  QTimer::singleShot(150, [&] { pty.CloseMaster(); });
  f.get<QAction>("DnLoad1")->trigger();
  WaitUntilDone(f);
  QCOMPARE(f.dialogs.messages.size(), 1);
  QVERIFY2(f.dialogs.messages[0].startsWith("ReadFile function failed"),
           qPrintable(f.dialogs.messages[0]));
  QVERIFY(!f.connection().IsOpen());
  QVERIFY(f.get<QTabWidget>("PageControl")->isEnabled());
}

TARVELO_TEST_MAIN(TransferTest)
#include "TransferTest.moc"
