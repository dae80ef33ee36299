// Which keys a connected terminal keeps for the line and which stay the window's; the screen
// size choice and the readable capture of the terminal page.
#include <unistd.h>

#include <QAction>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>
#include <fstream>
#include <sstream>

#include "terminal/KeyInput.h"
#include "tests/serial/PtyPair.h"
#include "tests/ui/Fixture.h"
#include "tests/ui/TerminalLine.h"
#include "ui/ComTerminal.h"
#include "ui/TerminalPage.h"
#include "ui/TransferRunner.h"

using namespace tarvelo;

namespace {

TComTerminal* ConnectedTerminal(Fixture& f) {
  auto* term = ConnectTerminal(f);
  term->setFocus();
  return term;
}

std::string FileText(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

class TerminalKeysTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    qputenv("TARVELO_DEV_DIR", dir.path().toUtf8());
    unlink((dir.path() + "/ttyUSB0").toUtf8().constData());
  }
  void cleanup() { qunsetenv("TARVELO_DEV_DIR"); }
  void aConnectedTerminalKeepsTheWindowsKeysForTheLine();
  void theWindowsCommandsStayReachable();
  void transfersDoNotStartByKeyWhileTheTerminalHoldsThePort();
  void disconnectedTheShortcutsWorkAsBefore();
  void fitToWindowTakesThePagesRowsAndColumns();
  void readableCaptureHoldsOnlyTheText();

 private:
  QTemporaryDir dir;
};

void TerminalKeysTest::aConnectedTerminalKeepsTheWindowsKeysForTheLine() {
  LinkedPty line(dir.path());
  Fixture f;
  // Unsaved changes: a window command would ask before it went on.
  f.session.record.site.set("Irodaház");
  QVERIFY(f.window->modifiedFlag());
  auto* term = ConnectedTerminal(f);
  QTRY_VERIFY(term->hasFocus());
  const DatabaseRecord before = f.session.record;

  struct Case {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    std::string bytes;
  } const cases[] = {
      {Qt::Key_D, Qt::ControlModifier, "\x04"},  // the download
      {Qt::Key_U, Qt::ControlModifier, "\x15"},  // the upload
      {Qt::Key_N, Qt::ControlModifier, "\x0E"},  // a new database
      {Qt::Key_O, Qt::ControlModifier, "\x0F"},  // open
      {Qt::Key_S, Qt::ControlModifier, "\x13"},  // save
      {Qt::Key_P, Qt::ControlModifier, "\x10"},  // print
      {Qt::Key_Tab, Qt::NoModifier, "\t"},      {Qt::Key_Backtab, Qt::ShiftModifier, "\033[Z"},
      {Qt::Key_Escape, Qt::NoModifier, "\033"}, {Qt::Key_F1, Qt::NoModifier, "\033OP"},
      {Qt::Key_F4, Qt::NoModifier, "\033OS"},   {Qt::Key_PageDown, Qt::NoModifier, "\033[6~"},
      {Qt::Key_End, Qt::NoModifier, "\033[F"},  {Qt::Key_Delete, Qt::NoModifier, "\x7F"},
  };
  for (const Case& c : cases) {
    QTest::keyClick(term, c.key, c.modifiers);
    QCOMPARE(QByteArray::fromStdString(ReceivedUntil(line.pty, c.bytes, 1000)),
             QByteArray::fromStdString(c.bytes));
    QVERIFY2(term->hasFocus(), qPrintable(QKeySequence(c.key | c.modifiers).toString()));
  }
  // Nothing else happened: no question, no dialog, no transfer, the same database and page.
  QCOMPARE(f.dialogs.messages, QStringList());
  QVERIFY(f.dialogs.fileDialogs.isEmpty());
  QVERIFY(!f.transfers().running());
  QVERIFY(f.session.record.image == before.image);
  QCOMPARE(f.session.record.site.text(), before.site.text());
  QVERIFY(f.session.databaseFileName.empty());
  QCOMPARE(f.get<QTabWidget>("PageControl")->currentIndex(), static_cast<int>(PageId::Terminal));

  // The numeric keypad in keypad mode, once the far end asks for it.
  line.pty.Send("\033=");
  QTest::qWait(100);
  QTest::keyClick(term, Qt::Key_5, Qt::KeypadModifier);
  const std::string keypad = ReceivedUntil(line.pty, "u", 1000);
  if (KeyModesOf(term->state()).appKeypad) {
    QCOMPARE(keypad, std::string("\033Ou"));
  } else {
    QCOMPARE(keypad, std::string("5"));
  }
}

void TerminalKeysTest::theWindowsCommandsStayReachable() {
  LinkedPty line(dir.path());
  Fixture f;
  auto* term = ConnectedTerminal(f);
  QTRY_VERIFY(term->hasFocus());

  // Ctrl+Shift+C copies the selection, Ctrl+Shift+V pastes; neither reaches the line as a key.
  line.pty.Send("alpha beta");
  QTRY_VERIFY(term->state().Cell(10, 1).ch == 'a');
  term->Select({7, 1}, {10, 1});
  QApplication::clipboard()->clear();
  QTest::keyClick(term, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
  QCOMPARE(QApplication::clipboard()->text(), QString("beta"));
  QApplication::clipboard()->setText("ls\n");
  QTest::keyClick(term, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
  QCOMPARE(ReceivedUntil(line.pty, "\r", 1000), std::string("ls\r"));

  // Ctrl+Shift+S is "Mentés".
  f.session.record.site.set("Irodaház");
  const QString file = dir.path() + "/site.pi1";
  f.dialogs.saveNames.push_back(file);
  QTest::keyClick(term, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
  QVERIFY(QFile::exists(file));
  QVERIFY(!f.window->modifiedFlag());
  QCOMPARE(ReceivedUntil(line.pty, "\x13", 200), std::string());

  // F10 opens the menus.
  QTest::keyClick(term, Qt::Key_F10);
  auto* fileMenu = f.get<QMenu>("File1");
  QTRY_VERIFY(fileMenu->isVisible());
  fileMenu->close();
  QCOMPARE(ReceivedUntil(line.pty, "\033", 200), std::string());
  // Every window command that has a Ctrl+letter has it also with Shift.
  for (QAction* a : f.window->findChildren<QAction*>()) {
    const QList<QKeySequence> keys = a->shortcuts();
    if (keys.isEmpty() || keys[0].count() != 1 ||
        keys[0][0].keyboardModifiers() != Qt::ControlModifier || keys[0][0].key() < Qt::Key_A ||
        keys[0][0].key() > Qt::Key_Z)
      continue;
    if (a->parent() == f.get<QMenu>("Kdok2") || a->parent() == f.get<QMenu>("Szamok2")) continue;
    const QKeySequence shifted(
        QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, keys[0][0].key()));
    QVERIFY2(keys.contains(shifted), qPrintable(a->objectName()));
  }
}

void TerminalKeysTest::transfersDoNotStartByKeyWhileTheTerminalHoldsThePort() {
  LinkedPty line(dir.path());
  Fixture f;
  ConnectedTerminal(f);
  QVERIFY(f.connection().Held());
  auto* download = f.get<QAction>("DnLoad1");
  auto* upload = f.get<QAction>("UpLoad1");
  QTRY_VERIFY(download->shortcuts().isEmpty());
  QVERIFY(upload->shortcuts().isEmpty());
  // Not from the number field either, in either form.
  auto* phone = f.get<QLineEdit>("edPhone");
  phone->setFocus();
  QTRY_VERIFY(phone->hasFocus());
  for (Qt::KeyboardModifiers mods :
       {Qt::KeyboardModifiers(Qt::ControlModifier), Qt::ControlModifier | Qt::ShiftModifier}) {
    QTest::keyClick(phone, Qt::Key_D, mods);
    QTest::keyClick(phone, Qt::Key_U, mods);
  }
  QVERIFY(!f.transfers().running());
  QCOMPARE(f.dialogs.messages, QStringList());
  // The download's break-in would be the first thing on the line.
  QCOMPARE(ReceivedUntil(line.pty, "\x03", 300), std::string());
  // Disconnected, the keys are back.
  QTest::mouseClick(f.get<QToolButton>("btnConnect"), Qt::LeftButton);
  QVERIFY(!f.connection().IsOpen());
  QTRY_COMPARE(download->shortcuts(),
               QList<QKeySequence>({QKeySequence("Ctrl+D"), QKeySequence("Ctrl+Shift+D")}));
  QCOMPARE(upload->shortcuts(),
           QList<QKeySequence>({QKeySequence("Ctrl+U"), QKeySequence("Ctrl+Shift+U")}));
}

void TerminalKeysTest::disconnectedTheShortcutsWorkAsBefore() {
  Fixture f;
  f.window->showPage(PageId::Terminal);
  auto* term = f.get<TComTerminal>("ComTerminal1");
  term->setFocus();
  QTRY_VERIFY(term->hasFocus());
  f.session.record.site.set("Irodaház");
  const QString file = dir.path() + "/saved.pi1";
  f.dialogs.saveNames.push_back(file);
  QTest::keyClick(term, Qt::Key_S, Qt::ControlModifier);
  QVERIFY(QFile::exists(file));
  QVERIFY(!f.window->modifiedFlag());
  // Ctrl+N asks about unsaved changes first, as ever.
  f.session.record.site.set("Másik");
  f.dialogs.answers.push_back(QMessageBox::Cancel);
  QTest::keyClick(term, Qt::Key_N, Qt::ControlModifier);
  QCOMPARE(f.dialogs.messages, QStringList({"Tarvelo: Menti a változásokat ?"}));
  // Tab leaves a terminal that has nothing to send it to.
  term->setFocus();
  QTRY_VERIFY(term->hasFocus());
  QTest::keyClick(term, Qt::Key_Tab);
  QVERIFY(!term->hasFocus());
}

void TerminalKeysTest::fitToWindowTakesThePagesRowsAndColumns() {
  Fixture f;
  f.window->showPage(PageId::Terminal);
  auto* term = f.get<TComTerminal>("ComTerminal1");
  auto* fit = f.get<QAction>("mnuTermFit");
  QVERIFY(!fit->isChecked());
  QCOMPARE(term->Columns(), 80);
  QCOMPARE(term->Rows(), 24);

  f.window->resize(1000, 700);
  QTest::qWait(300);
  fit->trigger();
  QVERIFY(fit->isChecked());
  const int columns = term->FittingSize().width();
  const int rows = term->FittingSize().height();
  QCOMPARE(term->Columns(), columns);
  QCOMPARE(term->Rows(), rows);
  QVERIFY(columns > 80 && rows > 24);
  // Everything fits: nothing to scroll sideways.
  term->FlushChanges();
  QCOMPARE(term->horizontalScrollBar()->maximum(), 0);
  // A smaller window, a smaller screen, once the resize has settled.
  f.window->resize(700, 500);
  QTRY_VERIFY(term->Columns() < columns);
  QTRY_VERIFY(term->Rows() < rows);
  // Kept in the program's INI file at once, where the next start reads it.
  QVERIFY(FileText(QString::fromStdString(f.session.programIniPath)).find("TERMFIT=1") !=
          std::string::npos);
  QVERIFY(static_cast<TerminalHost&>(*f.window).TerminalFitsWindow());

  fit->trigger();
  QCOMPARE(term->Columns(), 80);
  QCOMPARE(term->Rows(), 24);
  QVERIFY(FileText(QString::fromStdString(f.session.programIniPath)).find("TERMFIT=0") !=
          std::string::npos);
}

void TerminalKeysTest::readableCaptureHoldsOnlyTheText() {
  LinkedPty line(dir.path());
  Fixture f;
  auto* term = ConnectedTerminal(f);
  auto* capture = f.get<QAction>("mnuTermCapture");
  auto* page = f.get<TerminalPage>("TabSheet8");

  // A folder is refused, and the item stays unchecked.
  f.dialogs.saveNames.push_back(dir.path());
  capture->trigger();
  QVERIFY(!capture->isChecked());
  QVERIFY(!page->Capturing());
  QCOMPARE(f.dialogs.messages.size(), 1);
  QCOMPARE(f.dialogs.fileDialogs.last().title, QString("Szövegnapló"));
  // Cancelled: nothing starts.
  capture->trigger();
  QVERIFY(!capture->isChecked());

  const QString file = dir.path() + "/capture.txt";
  f.dialogs.saveNames.push_back(file);
  capture->trigger();
  QVERIFY(capture->isChecked());
  QVERIFY(page->Capturing());
  line.pty.Send("\033[2J\033[1;1H\033[1mhell\xF5\033[0m\r\n\033[K");
  line.pty.Send("line two\r");
  QTRY_COMPARE(term->state().Cell(8, 2).ch, uint8_t('o'));
  line.pty.Send("\n");
  QTRY_COMPARE(FileText(file), std::string("hell\xC5\x91\nline two\n"));
  // What is typed is not in it: only what the far end sent.
  QTest::keyClicks(term, "typed");
  QCOMPARE(ReceivedUntil(line.pty, "d", 1000), std::string("typed"));
  QCOMPARE(FileText(file), std::string("hell\xC5\x91\nline two\n"));

  capture->trigger();
  QVERIFY(!capture->isChecked());
  QVERIFY(!page->Capturing());
  line.pty.Send("after\r\n");
  QTRY_COMPARE(term->state().Cell(5, 3).ch, uint8_t('r'));
  QCOMPARE(FileText(file), std::string("hell\xC5\x91\nline two\n"));
  QCOMPARE(f.dialogs.messages.size(), 1);
}

TARVELO_TEST_MAIN(TerminalKeysTest)
#include "TerminalKeysTest.moc"
