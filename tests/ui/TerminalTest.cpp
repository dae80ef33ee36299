// The terminal control and the terminal page against pseudo-terminals, a shell and the
// device simulator.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>
#include <fstream>
#include <sstream>

#include "model/ImageLayout.h"
#include "model/NewDatabase.h"
#include "tests/serial/PtyPair.h"
#include "tests/ui/Fixture.h"
#include "tests/ui/LinkedDevsim.h"
#include "tests/ui/TerminalLine.h"
#include "ui/ComTerminal.h"
#include "ui/TerminalPage.h"
#include "ui/TransferRunner.h"

using namespace tarvelo;

namespace {

// A screen row's characters, blanks at the end dropped.
std::string Row(const TCustomComTerminal& t, int line) {
  std::string text;
  for (const TermCell& c : t.state().Line(line)) text += c.ch ? static_cast<char>(c.ch) : ' ';
  return text.erase(text.find_last_not_of(' ') + 1);
}

std::string Screen(const TCustomComTerminal& t) {
  std::string text;
  for (int r = 1; r <= t.Rows(); ++r) text += Row(t, r) + "\n";
  return text;
}

// A shell at the far end of a serial line: the port opens one pseudo-terminal's slave, a
// child relays its master to a second pseudo-terminal on which `sh -i` runs with that
// terminal's own line discipline (echo, CR to LF), as a shell on a serial console does.
struct ShellOnLine {
  pid_t pid = -1;
  explicit ShellOnLine(int lineMaster) {
    pid = fork();
    if (pid != 0) return;
    signal(SIGTERM, SIG_DFL);  // not the test framework's handler
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) _exit(1);
    const pid_t shell = fork();
    if (shell == 0) {
      setsid();
      ioctl(slave, TIOCSCTTY, 0);
      dup2(slave, 0);
      dup2(slave, 1);
      dup2(slave, 2);
      close(master);
      close(slave);
      close(lineMaster);
      setenv("PS1", "tv$ ", 1);
      setenv("TERM", "vt100", 1);
      execl("/bin/sh", "sh", "-i", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(slave);
    fcntl(lineMaster, F_SETFL, fcntl(lineMaster, F_GETFL) & ~O_NONBLOCK);
    pollfd fds[2] = {{lineMaster, POLLIN, 0}, {master, POLLIN, 0}};
    char buf[4096];
    while (poll(fds, 2, -1) > 0) {
      for (int i = 0; i < 2; ++i) {
        if (fds[i].revents & (POLLERR | POLLHUP)) _exit(0);
        if (!(fds[i].revents & POLLIN)) continue;
        const ssize_t n = read(fds[i].fd, buf, sizeof buf);
        if (n <= 0) _exit(0);
        if (write(fds[1 - i].fd, buf, n) != n) _exit(0);
      }
    }
    _exit(0);
  }
  ~ShellOnLine() {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
};

}  // namespace

class TerminalTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    qputenv("TARVELO_DEV_DIR", dir.path().toUtf8());
    unlink((dir.path() + "/ttyUSB0").toUtf8().constData());
  }
  void cleanup() { qunsetenv("TARVELO_DEV_DIR"); }
  void pageStartsClosedWithAFixedPitchTerminal();
  void keysGoOutAsBytes();
  void typingWithThePortClosedIsDropped();
  void dialTransparentAndDisconnect();
  void aFailedConnectLeavesTheButtonUp();
  void receivedFormFeedEmptiesTheScreen();
  void unhandledCodesDoNotGarbleTheScreen();
  void incrementalPaintingMatchesAFullRepaint_data();
  void incrementalPaintingMatchesAFullRepaint();
  void scrollBackThroughTheScrollBar();
  void cellsArePaintedAsTheySay();
  void theViewFollowsTheCaretAndKeepsAPlaceScrolledTo();
  void theScreenFitsTheWindow();
  void selectionCopyAndPaste();
  void sessionLog();
  void aShellAtTheFarEnd();
  void aDownloadLeavesTheHeldPortOpen();

 private:
  QTemporaryDir dir;
};

void TerminalTest::pageStartsClosedWithAFixedPitchTerminal() {
  Fixture f;
  auto* term = f.get<TComTerminal>("ComTerminal1");
  QVERIFY(!f.get<QToolButton>("btnConnect")->isChecked());
  QVERIFY(!f.get<QToolButton>("btnTransp")->isEnabled());
  QCOMPARE(f.get<QToolButton>("btnTransp")->text(), QString("QB3N Transzp. Be"));
  QVERIFY(!f.get<QPushButton>("btnDial")->isEnabled());
  QCOMPARE(f.get<QPushButton>("btnSync")->text(), QString("Dátum/Idő szinkronizálás"));
  QCOMPARE(f.get<QLabel>("Label5")->text(), QString("Telefonszám:"));
  QCOMPARE(f.get<QWidget>("pnlTerm")->height(), 33);
  // At the window's own width every caption of the strip shows whole.
  f.window->showPage(PageId::Terminal);
  QApplication::processEvents();
  for (const char* name : {"btnConnect", "btnTransp", "btnSync", "btnDial"}) {
    const auto* button = f.get<QAbstractButton>(name);
    QVERIFY2(
        button->width() >= button->sizeHint().width(),
        qPrintable(
            QString("%1: %2 < %3").arg(name).arg(button->width()).arg(button->sizeHint().width())));
  }
  QCOMPARE(term->Columns(), 80);
  QCOMPARE(term->Rows(), 24);
  QCOMPARE(term->Emulation(), teVT100orANSI);
  QCOMPARE(term->Color(), QColor(Qt::black));
  QCOMPARE(term->FontColor(), QColor(Qt::white));
  // "Fixedsys" is not a font of this system: whatever stands in is of fixed pitch.
  QVERIFY(QFontInfo(term->font()).fixedPitch());
  QCOMPARE(term->font().pixelSize(), 12);
  QVERIFY(term->CellWidth() > 0 && term->CellHeight() >= 12);
  QVERIFY(term->ScrollbackCapacity() >= 1000);
  // A new control on its own, and AutoSize sizing it to its cells.
  TComTerminal lone;
  QCOMPARE(lone.size(), QSize(400, 250));
  QVERIFY(QFontInfo(lone.font()).fixedPitch());
  lone.SetAutoSize(true);
  lone.SetColumns(300);
  lone.FlushChanges();
  QCOMPARE(lone.Columns(), 256);
  QCOMPARE(lone.width(), 256 * lone.CellWidth() + 2 * lone.frameWidth());
}

void TerminalTest::keysGoOutAsBytes() {
  LinkedPty line(dir.path());
  Fixture f;
  auto* term = ConnectTerminal(f);
  QVERIFY(f.connection().Held());
  QVERIFY(f.get<QToolButton>("btnConnect")->isChecked());
  QCOMPARE(f.window->panelText(3), QString("Kapcsolódva..."));
  term->setFocus();
  QTRY_VERIFY(term->hasFocus());

  struct Case {
    std::function<void()> press;
    std::string bytes;
  };
  const Case cases[] = {
      {[&] { QTest::keyClicks(term, "ab"); }, "ab"},
      {[&] { QTest::keyClick(term, Qt::Key_Return); }, "\r"},
      {[&] { QTest::keyClick(term, Qt::Key_Up); }, "\033[A"},
      {[&] { QTest::keyClick(term, Qt::Key_Left); }, "\033[D"},
      {[&] { QTest::keyClick(term, Qt::Key_Home); }, "\033[H"},
      {[&] { QTest::keyClick(term, Qt::Key_Backspace); }, "\b"},
      {[&] {
         QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, "ő");
         QApplication::sendEvent(term, &key);
       },
       "\xF5"},  // Windows-1250
      // A control character no menu item claims goes to the line.
      {[&] { QTest::keyClick(term, Qt::Key_C, Qt::ControlModifier); }, "\x03"},
  };
  for (const Case& c : cases) {
    c.press();
    QCOMPARE(QByteArray::fromStdString(ReceivedUntil(line.pty, c.bytes, 1000)),
             QByteArray::fromStdString(c.bytes));
  }
  QVERIFY(!f.transfers().running());
  // The far end switches the cursor keys to their keypad codes.
  line.pty.Send("\033[?1h");
  QTRY_VERIFY(term->state().AppCursorKeys());
  QTest::keyClick(term, Qt::Key_Up);
  QCOMPARE(ReceivedUntil(line.pty, "\033OA", 1000), std::string("\033OA"));
  // And queries are answered.
  line.pty.Send("\033[3;7H\033[6n");
  QCOMPARE(ReceivedUntil(line.pty, "R", 1000), std::string("\033[3;7R"));
  // Connected, Ctrl+N is the far end's; the window's "Uj" is Ctrl+Shift+N then.
  QTest::keyClick(term, Qt::Key_N, Qt::ControlModifier);
  QCOMPARE(ReceivedUntil(line.pty, "\x0E", 1000), std::string("\x0E"));
  QCOMPARE(f.get<QTabWidget>("PageControl")->currentIndex(), static_cast<int>(PageId::Terminal));
}

void TerminalTest::typingWithThePortClosedIsDropped() {
  Fixture f;
  f.window->showPage(PageId::Terminal);
  auto* term = f.get<TComTerminal>("ComTerminal1");
  term->SetLocalEcho(true);
  term->setFocus();
  QTest::keyClicks(term, "abc");
  QTest::keyClick(term, Qt::Key_Up);
  term->PasteText("pasted");
  QCOMPARE(Screen(*term), std::string(24, '\n'));
  QCOMPARE(term->state().Caret(), (TermPos{1, 1}));
  // The window's shortcuts work as ever while nothing is connected.
  QVERIFY(f.dialogs.messages.isEmpty());
}

void TerminalTest::dialTransparentAndDisconnect() {
  LinkedPty line(dir.path());
  Fixture f;
  ConnectTerminal(f);
  auto* connect = f.get<QToolButton>("btnConnect");
  auto* transp = f.get<QToolButton>("btnTransp");
  auto* dial = f.get<QPushButton>("btnDial");
  QVERIFY(dial->isEnabled() && transp->isEnabled());

  // The number as the COM port dialog leaves it, then as typed; empty dials bare.
  f.applyConnection("Iroda", "06-1 234", "Iroda");
  QCOMPARE(f.get<QLineEdit>("edPhone")->text(), QString("06-1 234"));
  QTest::mouseClick(dial, Qt::LeftButton);
  QCOMPARE(ReceivedUntil(line.pty, "\r"), std::string("ATD06-1 234\r"));
  f.get<QLineEdit>("edPhone")->clear();
  QTest::mouseClick(dial, Qt::LeftButton);
  QCOMPARE(ReceivedUntil(line.pty, "\r"), std::string("ATD\r"));

  QTest::mouseClick(transp, Qt::LeftButton);
  QCOMPARE(ReceivedUntil(line.pty, "transpon"), std::string("transpon"));
  QCOMPARE(transp->text(), QString("Transzp. Ki"));
  QVERIFY(transp->isChecked());
  QCOMPARE(transp->property("tag").toInt(), 1);
  QTest::mouseClick(transp, Qt::LeftButton);
  QCOMPARE(ReceivedUntil(line.pty, "transpof"), std::string("transpof"));
  QCOMPARE(transp->text(), QString("Transzp. Be"));
  QVERIFY(!transp->isChecked());
  QTest::mouseClick(transp, Qt::LeftButton);
  QCOMPARE(ReceivedUntil(line.pty, "transpon"), std::string("transpon"));

  // Disconnecting in transparent mode leaves it first and gives the device a second.
  QElapsedTimer clock;
  clock.start();
  QTest::mouseClick(connect, Qt::LeftButton);
  const qint64 took = clock.elapsed();
  QVERIFY2(took >= 990, QByteArray::number(took));
  QCOMPARE(line.pty.Received(200), std::string("transpof"));
  QVERIFY(!f.connection().IsOpen());
  QVERIFY(!f.connection().Held());
  QCOMPARE(transp->text(), QString("Transzp. Be"));
  QVERIFY(!transp->isChecked() && !transp->isEnabled());
  QVERIFY(!dial->isEnabled());
  QVERIFY(!connect->isChecked());
  QCOMPARE(f.window->panelText(3), QString("Szétkapcsolva"));

  // The window's close disconnects the same way.
  QTest::mouseClick(connect, Qt::LeftButton);
  QTest::mouseClick(transp, Qt::LeftButton);
  QCOMPARE(ReceivedUntil(line.pty, "transpon"), std::string("transpon"));
  f.dialogs.answers = {QMessageBox::No};  // the connection chosen above is a change
  f.window->close();
  QCOMPARE(ReceivedUntil(line.pty, "transpof"), std::string("transpof"));
  QVERIFY(!f.connection().IsOpen());
}

void TerminalTest::aFailedConnectLeavesTheButtonUp() {
  Fixture f;
  f.session.workstation.portName = "USB9";
  auto* connect = f.get<QToolButton>("btnConnect");
  f.window->showPage(PageId::Terminal);
  QTest::mouseClick(connect, Qt::LeftButton);
  QCOMPARE(f.dialogs.messages.size(), 1);
  QVERIFY(f.dialogs.messages[0].startsWith("Unable to open com port"));
  QCOMPARE(f.dialogs.messageCaptions[0], QString("Tarvelo1.2"));
  QVERIFY(!connect->isChecked());
  QVERIFY(!f.connection().Held());
  QCOMPARE(f.window->panelText(3), QString("Szétkapcsolva"));
}

void TerminalTest::receivedFormFeedEmptiesTheScreen() {
  LinkedPty line(dir.path());
  Fixture f;
  auto* term = ConnectTerminal(f);
  line.pty.Send("one\r\ntwo");
  QTRY_COMPARE(Row(*term, 2), std::string("two"));
  line.pty.Send("\x0c");
  QTRY_COMPARE(Screen(*term), std::string(24, '\n'));
  QCOMPARE(term->state().Caret(), (TermPos{1, 1}));
  line.pty.Send("three");
  QTRY_COMPARE(Row(*term, 1), std::string("three"));
}

void TerminalTest::unhandledCodesDoNotGarbleTheScreen() {
  TComTerminal term;
  std::vector<std::pair<int, std::string>> unhandled;
  term.OnUnhandledCode = [&](TCustomComTerminal*, TEscapeCode code, const std::string& text) {
    unhandled.emplace_back(code, text);
  };
  std::string shown;
  term.OnStrRecieved = [&](TCustomComTerminal*, std::string& text) { shown += text; };
  term.ShowBytes("ab\033[5zcd\033[38;5;208mef\033[0m");
  QCOMPARE(Row(term, 1), std::string("abcdef"));
  QCOMPARE(unhandled.size(), size_t(1));
  QCOMPARE(unhandled[0].first, int(escUnknown));
  QCOMPARE(unhandled[0].second, std::string("[5z"));
  QCOMPARE(shown, std::string());  // ShowBytes is not a received block

  // A derived control intercepts an event in its own step.
  struct Counting : TComTerminal {
    int chars = 0;
    void DoChar(uint8_t ch) override {
      ++chars;
      TComTerminal::DoChar(ch);
    }
  } counting;
  int seen = 0;
  counting.OnChar = [&](TCustomComTerminal*, uint8_t) { ++seen; };
  counting.ShowBytes("xyz\r\n");
  QCOMPARE(counting.chars, 5);
  QCOMPARE(seen, 5);
}

// Whole screens, and a window that cuts a row in half: that row is not moved with the
// whole ones when the screen scrolls, yet it changes as well.
void TerminalTest::incrementalPaintingMatchesAFullRepaint_data() {
  QTest::addColumn<bool>("autoSize");
  QTest::newRow("sized to the screen") << true;
  QTest::newRow("four and a half rows") << false;
}

void TerminalTest::incrementalPaintingMatchesAFullRepaint() {
  QFETCH(bool, autoSize);
  TComTerminal term;
  term.SetScrollBars(ssNone);
  term.SetAutoSize(autoSize);
  term.SetColumns(40);
  term.SetRows(10);
  if (!autoSize) term.resize(term.CellRect(41, 1).left(), term.CellRect(1, 1).height() * 9 / 2);
  term.show();
  QVERIFY(QTest::qWaitForWindowExposed(&term));
  term.setFocus();
  // Scrolling both ways, erasing, colours and a caret that moves about, in blocks that are
  // painted now and then rather than after each one.
  std::string stream;
  for (int i = 0; i < 30; ++i) {
    stream +=
        "line " + std::to_string(i) + (i % 3 ? "\033[7m inv\033[0m" : "\033[1;4m bright\033[m");
    stream += i % 7 == 0 ? "\033[H\033M\033[2K\033[10;1H" : "\r\n";
    if (i % 5 == 0) stream += "\033[3;5H\033[K\033[10;1H";
  }
  for (size_t at = 0; at < stream.size(); at += 37) {
    term.ShowBytes(stream.substr(at, 37));
    if (at % 3 == 0) term.FlushChanges();
  }
  term.FlushChanges();
  const QImage incremental = term.viewport()->grab().toImage();
  term.SetColor(term.Color());  // everything drawn afresh
  term.FlushChanges();
  const QImage full = term.viewport()->grab().toImage();
  QCOMPARE(incremental, full);
  // The text is there in the font colour.
  const QRect first = term.CellRect(1, 1);
  bool lit = false;
  for (int x = first.left(); x <= first.right(); ++x)
    for (int y = first.top(); y <= first.bottom(); ++y)
      lit = lit || full.pixelColor(x, y) != term.Color();
  QVERIFY(lit == (Row(term, 1).size() > 0 && Row(term, 1)[0] != ' '));
}

void TerminalTest::scrollBackThroughTheScrollBar() {
  TComTerminal term;
  term.resize(500, 300);
  term.show();
  QVERIFY(QTest::qWaitForWindowExposed(&term));
  std::string lines;
  for (int i = 1; i <= 1200; ++i) lines += "row " + std::to_string(i) + "\r\n";
  term.ShowBytes(lines);
  term.FlushChanges();
  QScrollBar* bar = term.verticalScrollBar();
  QCOMPARE(term.state().ScrollbackLines(), 1000);
  QCOMPARE(bar->value(), bar->maximum());
  bar->setValue(0);
  QCOMPARE(term.TopLine(), 1 - 1000);
  // The oldest kept line: 1200 lines and an empty one, 24 on the screen, 1000 behind it.
  QCOMPARE(Row(term, term.TopLine()), std::string("row 178"));
  // New lines do not pull the view away from what the user reads.
  term.ShowBytes("row 1201\r\n");
  term.FlushChanges();
  QCOMPARE(Row(term, term.TopLine()), std::string("row 179"));  // the oldest aged out
  bar->setValue(bar->maximum());
  QCOMPARE(Row(term, term.Rows() - 1), std::string("row 1201"));
  QVERIFY(term.CellRect(1, term.Rows()).bottom() < term.viewport()->height());
}

namespace {

// The pixels of one cell as the view shows them.
struct CellPixels {
  QImage image;
  QRect rect;
  bool Has(const QColor& color) const {
    for (int y = rect.top(); y <= rect.bottom(); ++y)
      for (int x = rect.left(); x <= rect.right(); ++x)
        if (image.pixelColor(x, y) == color) return true;
    return false;
  }
  int Count(const QColor& color) const {
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
      for (int x = rect.left(); x <= rect.right(); ++x) n += image.pixelColor(x, y) == color;
    return n;
  }
};

CellPixels Shot(TComTerminal& term, int column, int row) {
  term.FlushChanges();
  return {term.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32),
          term.CellRect(column, row)};
}

QColor Rgb(TermColor c) {
  return QColor::fromRgb((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

}  // namespace

// What the cells say reaches the pixels: palette colours, bold ink, blinking that comes and
// goes (and stops when nothing blinks), a character twice as wide, and line drawing whose
// strokes join from cell to cell.
void TerminalTest::cellsArePaintedAsTheySay() {
  TComTerminal term;
  term.SetScrollBars(ssNone);
  term.SetAutoSize(true);
  term.show();
  QVERIFY(QTest::qWaitForWindowExposed(&term));
  const QColor black = term.Color();

  term.ShowBytes("\033[31;44mH\033[0m \033[92mH\033[0m");
  for (const int column : {1, 3}) {
    const TermCell& cell = term.state().Cell(column, 1);
    QVERIFY(cell.foreground != 0xFFFFFF);  // a palette colour, not the plain text colour
    const CellPixels px = Shot(term, column, 1);
    QVERIFY2(px.Has(Rgb(cell.foreground)), qPrintable(Rgb(cell.foreground).name()));
    QVERIFY(!px.Has(QColor(Qt::white)));
  }
  const CellPixels red = Shot(term, 1, 1);
  const QColor blue = Rgb(term.state().Cell(1, 1).background);
  QVERIFY(blue != black);
  QVERIFY(red.Count(blue) > red.rect.width() * red.rect.height() / 2);

  // Bold is a bold face in the same colour: more ink, never a dimmer colour.
  term.ShowBytes("\033[2;1HM\033[1mM\033[0m");
  const TermCell& plainM = term.state().Cell(1, 2);
  const TermCell& boldM = term.state().Cell(2, 2);
  QVERIFY(boldM.bright);
  const int plainInk = Shot(term, 1, 2).Count(Rgb(plainM.foreground));
  const int boldInk = Shot(term, 2, 2).Count(Rgb(boldM.foreground));
  QVERIFY2(boldInk > plainInk, qPrintable(QString("%1 %2").arg(boldInk).arg(plainInk)));
  QVERIFY(QColor(Rgb(boldM.foreground)).lightness() >= QColor(Rgb(plainM.foreground)).lightness());

  // Underlined: the same letter with a line under it.
  term.ShowBytes("\033[6;1HU\033[4mU\033[0m");
  QVERIFY(term.state().Cell(2, 6).underline);
  QVERIFY(Shot(term, 2, 6).Count(QColor(Qt::white)) >
          Shot(term, 1, 6).Count(QColor(Qt::white)) + term.CellWidth() / 2);

  // Blinking: shown, hidden, shown again; no timer while nothing blinks.
  QVERIFY(!term.Blinking());
  term.ShowBytes("\033[3;1H\033[5mB\033[0m");
  QVERIFY(Shot(term, 1, 3).Has(QColor(Qt::white)));
  QVERIFY(term.Blinking());
  QTRY_VERIFY_WITH_TIMEOUT(!Shot(term, 1, 3).Has(QColor(Qt::white)), 2000);
  QTRY_VERIFY_WITH_TIMEOUT(Shot(term, 1, 3).Has(QColor(Qt::white)), 2000);
  term.ShowBytes("\033[3;1H\033[K");
  QTRY_VERIFY_WITH_TIMEOUT(!term.Blinking(), 2000);

  // A double-width line: "W" covers its own cell and the next one.
  term.ShowBytes("\033[4;1HW\033[5;1H\033#6W");
  QVERIFY(Shot(term, 1, 4).Has(QColor(Qt::white)));
  QVERIFY(!Shot(term, 2, 4).Has(QColor(Qt::white)));
  QVERIFY(Shot(term, 2, 5).Has(QColor(Qt::white)));

  // A box of line drawing: the top edge is one unbroken stroke from corner to corner, and
  // the sides meet it.
  term.ShowBytes("\033[7;1H\033(0lqqk\033[8;1Hx  x\033[9;1Hmqqj\033(B");
  QCOMPARE(Row(term, 7), std::string("lqqk"));  // stored as the set's letters
  QVERIFY(term.state().Cell(1, 7).lineDrawing);
  const QImage box = Shot(term, 1, 7).image;
  const QRect left = term.CellRect(1, 7);
  const QRect right = term.CellRect(4, 7);
  int stroke = -1;
  for (int y = left.top(); y <= left.bottom() && stroke < 0; ++y)
    if (box.pixelColor(left.right(), y) == Qt::white) stroke = y;
  QVERIFY(stroke >= 0);
  for (int x = left.center().x() + 1; x < right.center().x(); ++x)
    QVERIFY2(box.pixelColor(x, stroke) == Qt::white, qPrintable(QString::number(x)));
  const QRect side = term.CellRect(1, 8);
  for (int y = left.center().y() + 1; y <= term.CellRect(1, 9).center().y() - 1; ++y) {
    bool lit = false;
    for (int x = side.left(); x <= side.right(); ++x)
      lit = lit || box.pixelColor(x, y) == Qt::white;
    QVERIFY2(lit, qPrintable(QString::number(y)));
  }
}

// A window shorter than the screen: the view shows the caret wherever it goes; a place the
// user scrolled to keeps its text while output goes on, and a key brings the caret back.
void TerminalTest::theViewFollowsTheCaretAndKeepsAPlaceScrolledTo() {
  TComTerminal term;
  term.SetScrollBars(ssVertical);
  term.show();
  QVERIFY(QTest::qWaitForWindowExposed(&term));
  const int rowsShown = 22;
  term.resize(
      2 * term.frameWidth() + term.verticalScrollBar()->sizeHint().width() + 81 * term.CellWidth(),
      2 * term.frameWidth() + rowsShown * term.CellHeight() + 3);
  QTRY_COMPARE(term.viewport()->height() / term.CellHeight(), rowsShown);
  std::string lines;
  for (int i = 1; i <= 40; ++i) lines += "line " + std::to_string(i) + "\r\n";
  term.ShowBytes(lines);
  term.FlushChanges();
  QCOMPARE(term.state().Caret().row, 24);
  QCOMPARE(term.TopLine(), 3);  // the caret's row is the last one shown
  term.ShowBytes("\033[H");
  term.FlushChanges();
  QCOMPARE(term.TopLine(), 1);  // the top rows and the caret are in sight
  term.ShowBytes("\033[24;1H");
  term.FlushChanges();
  QCOMPARE(term.TopLine(), 3);

  // The user reads the scroll-back; new lines do not pull the view away.
  QScrollBar* bar = term.verticalScrollBar();
  bar->setValue(bar->value() - 10);
  const int top = term.TopLine();
  QVERIFY(top < 1);
  const std::string reading = Row(term, top);
  term.ShowBytes("more 1\r\nmore 2\r\n");
  term.FlushChanges();
  QCOMPARE(Row(term, term.TopLine()), reading);
  term.ShowBytes("\033[H");  // not even a caret that moves
  term.FlushChanges();
  QCOMPARE(Row(term, term.TopLine()), reading);
  // A key press returns to where the caret is.
  term.setFocus();
  QTest::keyClick(&term, Qt::Key_A);
  QCOMPARE(term.TopLine(), 1);
  QCOMPARE(bar->value(), bar->maximum() - 2);
}

void TerminalTest::theScreenFitsTheWindow() {
  TComTerminal term;
  term.show();
  QVERIFY(QTest::qWaitForWindowExposed(&term));
  const QSize cell(term.CellWidth(), term.CellHeight());
  const int barWidth = term.verticalScrollBar()->sizeHint().width();
  const auto resizeTo = [&](int columns, int rows) {
    term.resize(2 * term.frameWidth() + barWidth + columns * cell.width() + cell.width() / 2,
                2 * term.frameWidth() + rows * cell.height() + cell.height() / 2);
  };
  resizeTo(100, 30);
  QCOMPARE(term.FittingSize(), QSize(100, 30));
  QCOMPARE(term.Columns(), 80);  // the screen keeps its size until asked
  QCOMPARE(term.Rows(), 24);
  term.SetFitToWindow(true);
  QCOMPARE(term.Columns(), 100);
  QCOMPARE(term.Rows(), 30);
  resizeTo(60, 12);
  QTRY_COMPARE(term.Columns(), 60);
  QCOMPARE(term.Rows(), 12);
  // Every column fits: no horizontal bar, and the last column is inside the view.
  term.FlushChanges();
  QVERIFY(!term.horizontalScrollBar()->isVisible());
  QVERIFY(term.CellRect(60, 1).right() < term.viewport()->width());
  term.SetFitToWindow(false);
  resizeTo(70, 20);
  QCOMPARE(term.Columns(), 60);
}

void TerminalTest::selectionCopyAndPaste() {
  LinkedPty line(dir.path());
  Fixture f;
  auto* term = ConnectTerminal(f);
  line.pty.Send("\033[23;1Halpha beta\r\ngamma delta");
  QTRY_COMPARE(Row(*term, 24), std::string("gamma delta"));
  term->FlushChanges();

  // A drag from "beta" to "gamma" with the mouse.
  const QPoint from = term->CellRect(7, 23).center();
  const QPoint to = term->CellRect(5, 24).center();
  QVERIFY(term->viewport()->rect().contains(to));
  QTest::mousePress(term->viewport(), Qt::LeftButton, {}, from);
  QMouseEvent move(QEvent::MouseMove, to, term->viewport()->mapToGlobal(to), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(term->viewport(), &move);
  QTest::mouseRelease(term->viewport(), Qt::LeftButton, {}, to);
  QCOMPARE(term->SelectedText(), QString("beta\ngamma"));
  term->CopySelection();
  QCOMPARE(QApplication::clipboard()->text(), QString("beta\ngamma"));
  term->Select({1, 23}, {5, 24}, true);
  QCOMPARE(term->SelectedText(), QString("alpha\ngamma"));

  // Pasting sends the text as typed: line ends as CR, in the code page.
  QApplication::clipboard()->setText("ls -l\nőz€\r\nend");
  term->setFocus();
  QTest::keyClick(term, Qt::Key_Insert, Qt::ShiftModifier);
  QCOMPARE(ReceivedUntil(line.pty, "end"), std::string("ls -l\r\xF5z\x80\rend"));
  QApplication::clipboard()->setText("x");
  QTest::keyClick(term, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
  QCOMPARE(ReceivedUntil(line.pty, "x"), std::string("x"));
}

void TerminalTest::sessionLog() {
  LinkedPty line(dir.path());
  Fixture f;
  auto* term = ConnectTerminal(f);
  auto* log = f.get<QToolButton>("btnLog");

  // Not a regular file: refused, and the button stays up.
  f.dialogs.saveNames.push_back(dir.path());
  QTest::mouseClick(log, Qt::LeftButton);
  QVERIFY(!log->isChecked());
  QVERIFY(!term->Logging());
  f.dialogs.saveNames.push_back("/dev/null");
  QTest::mouseClick(log, Qt::LeftButton);
  QVERIFY(!log->isChecked());
  QCOMPARE(f.dialogs.messages.size(), 2);
  QVERIFY2(f.dialogs.messages[0].contains("(ez egy mappa)"), qPrintable(f.dialogs.messages[0]));
  QVERIFY(f.dialogs.messages[1].contains("közönséges fájl"));

  const QString file = dir.path() + "/session.log";
  std::ofstream(file.toStdString()) << "earlier\n";
  f.dialogs.saveNames.push_back(file);
  QTest::mouseClick(log, Qt::LeftButton);
  QVERIFY(log->isChecked());
  line.pty.Send("hell\xF5\r\n\033[1m\\");
  QTRY_COMPARE(Row(*term, 1), std::string("hell\xF5"));
  term->setFocus();
  QTest::keyClicks(term, "ok");
  QCOMPARE(ReceivedUntil(line.pty, "k"), std::string("ok"));
  // Written as it happens, before the log is stopped.
  std::ifstream in(file.toStdString());
  std::stringstream text;
  text << in.rdbuf();
  const QString written = QString::fromStdString(text.str());
  QVERIFY2(written.startsWith("earlier\n"), qPrintable(written));
  QVERIFY2(written.contains(QRegularExpression(
               R"(\n\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} < hellő\\r\\n\\e\[1m\\\\\n)")),
           qPrintable(written));
  QVERIFY2(written.contains(QRegularExpression(R"( > o\n.* > k\n)")), qPrintable(written));
  QTest::mouseClick(log, Qt::LeftButton);
  QVERIFY(!term->Logging());
  // Its key is its own: no menu, item, tab or other button of the window answers to it.
  const QKeySequence key = log->shortcut();
  QCOMPARE(key, QKeySequence("Alt+L"));
  for (QAction* a : f.window->findChildren<QAction*>())
    QVERIFY2(a->shortcut() != key, qPrintable(a->text()));
  // Menu items' own letters count only inside their open menu; the menu bar's always.
  for (QAction* a : f.window->menuBar()->actions())
    QVERIFY2(QKeySequence::mnemonic(a->text()) != key, qPrintable(a->text()));
  for (QAbstractButton* b : f.window->findChildren<QAbstractButton*>()) {
    if (b != log) QVERIFY2(b->shortcut() != key, qPrintable(b->text()));
  }
  auto* tabs = f.get<QTabWidget>("PageControl");
  for (int i = 0; i < tabs->count(); ++i)
    QVERIFY2(QKeySequence::mnemonic(tabs->tabText(i)) != key, qPrintable(tabs->tabText(i)));
  QVERIFY(!log->isChecked());
  line.pty.Send("after");
  QTRY_COMPARE(Row(*term, 2), std::string("\\after"));
  std::ifstream again(file.toStdString());
  std::stringstream after;
  after << again.rdbuf();
  QCOMPARE(QString::fromStdString(after.str()), written);
}

void TerminalTest::aShellAtTheFarEnd() {
  LinkedPty line(dir.path());
  ShellOnLine shell(line.pty.master);
  Fixture f;
  auto* term = ConnectTerminal(f);
  // The first prompt may have come before the port was open: the user asks for another.
  term->setFocus();
  QTest::keyClick(term, Qt::Key_Return);
  QTRY_VERIFY_WITH_TIMEOUT(Screen(*term).find("tv$\n") != std::string::npos, 5000);
  QTest::keyClicks(term, "echo $((6*7))zz");
  QTest::keyClick(term, Qt::Key_Return);
  QTRY_VERIFY_WITH_TIMEOUT(Screen(*term).find("\n42zz\n") != std::string::npos, 5000);
  // The shell's echo shows the command where it was typed, after the prompt.
  QVERIFY(Screen(*term).find("tv$ echo $((6*7))zz\n") != std::string::npos);
}

void TerminalTest::aDownloadLeavesTheHeldPortOpen() {
  ConfigImage device;
  StoreNewDatabaseDefaults(device, ImageLayout::For(DeviceModel::SixteenLine));
  const QString image = dir.path() + "/dev.img";
  std::ofstream(image.toStdString(), std::ios::binary)
      .write(reinterpret_cast<const char*>(device.raw().data()), kImageSize);
  DevsimProcess sim = LinkedDevsim(dir.path(), image, "16");
  Fixture f;
  auto* term = ConnectTerminal(f);
  auto* connect = f.get<QToolButton>("btnConnect");
  QVERIFY(f.connection().Held());

  f.get<QAction>("DnLoad1")->trigger();
  QVERIFY(term->LinkSuspended());
  QTRY_VERIFY_WITH_TIMEOUT(!f.transfers().running(), 20000);
  QCOMPARE(f.window->panelText(3), QString("Sikeres letöltés."));
  QVERIFY(f.connection().IsOpen());
  QVERIFY(connect->isChecked());
  QVERIFY(f.get<QPushButton>("btnDial")->isEnabled());
  QVERIFY(!term->LinkSuspended());

  // The clock through the same runner: its answer reaches the clock setting, not the
  // terminal, and the held port stays open.
  QTest::mouseClick(f.get<QPushButton>("btnSync"), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!f.transfers().running(), 20000);
  QCOMPARE(f.window->panelText(3), QString("Sikeres feltöltés"));
  QVERIFY(f.dialogs.messages.isEmpty());
  QVERIFY(f.connection().IsOpen());
  QTest::mouseClick(connect, Qt::LeftButton);
  QVERIFY(!f.connection().IsOpen());

  // Without the page holding it, the clock setting opens the port and closes it again.
  QTest::mouseClick(f.get<QPushButton>("btnSync"), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!f.transfers().running(), 20000);
  QCOMPARE(f.window->panelText(3), QString("Sikeres feltöltés"));
  QVERIFY(!f.connection().IsOpen());
}

TARVELO_TEST_MAIN(TerminalTest)
#include "TerminalTest.moc"
