#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>

#include "model/CodeTable.h"
#include "model/FreeNumbers.h"
#include "tests/ui/Fixture.h"
#include "ui/CodesPage.h"
#include "ui/FindBar.h"
#include "ui/NumbersPage.h"

using namespace tarvelo;

namespace {

const std::array<std::string, 4> kAll = {kYes, kYes, kYes, kYes};
const std::array<std::string, 4> kNone = {kNo, kNo, kNo, kNo};

// A window showing the codes page over a table of `count` codes "000001".. with record
// length `length` and the rights given.
struct CodesFixture : Fixture {
  CodesPage* page;
  CodeGridView* grid;

  CodesFixture(int length, int count, uint8_t rights = 0x3F, int model = 0) {
    start(model, 4);
    ConfigImage& image = session.record.image;
    const ImageLayout& l = window->layout();
    image.SetImageByte(l.Offset(Field::CodeRecordLength), static_cast<uint8_t>(length));
    image.SetImageByte(l.Offset(Field::CodeCount), static_cast<uint8_t>(count & 0xFF));
    image.SetImageByte(l.Offset(Field::CodeCount) + 1, static_cast<uint8_t>(count >> 8));
    for (int k = 1; k <= count; ++k) {
      const long at = l.Offset(Field::CodeTable) + static_cast<long>(k - 1) * length;
      std::string code = std::to_string(k);
      code.insert(0, std::max(0, length - 1 - static_cast<int>(code.size())), '0');
      code.resize(length - 1);
      image.SetBytes(at, code);
      image.SetImageByte(at + length - 1, rights);
    }
    window->DecodeImage();
    page = qobject_cast<CodesPage*>(get<QWidget>("TabSheet5"));
    grid = page->view();
    QCoreApplication::processEvents();
  }
  QModelIndex cell(int row, int column) const { return grid->model()->index(row - 1, column); }
  QPoint at(int row, int column) const { return grid->visualRect(cell(row, column)).center(); }
  QString text(int row, int column) const { return cell(row, column).data().toString(); }
  void focusCell(int row, int column) {
    grid->setFocus(Qt::TabFocusReason);
    grid->followColumn(column);
    grid->setCurrentIndex(cell(row, column));
    QCoreApplication::processEvents();
  }
  void click(int row, int column, Qt::KeyboardModifiers mods = {}) {
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, mods, at(row, column));
  }
  void rightClick(int row, int column) {
    QTest::mousePress(grid->viewport(), Qt::RightButton, {}, at(row, column));
    QTest::mouseRelease(grid->viewport(), Qt::RightButton, {}, at(row, column));
  }
  // Types into whatever has the focus, as the keyboard does: the first key opens the editor.
  void type(const QString& keys) {
    for (QChar c : keys) QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
  }
  // Chooses an item of the open rights menu; the window is active again afterwards.
  void chooseRight(const QString& caption) {
    QVERIFY(page->rightsMenu()->isVisible());
    rightsItem(caption)->trigger();
    page->rightsMenu()->close();
    QTest::qWait(20);  // the platform hands the activation back after the menu has gone
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
  }
  QAction* rightsItem(const QString& caption) const {
    for (QAction* a : page->rightsMenu()->actions())
      if (a->text() == caption) return a;
    qFatal("no rights item");
  }
  QAction* menuItem(const char* name) const { return get<QAction>(name); }
  int storedCount() const { return StoredCodeCount(session.record.image, window->layout()); }
  std::string record(int k, int length) const {
    return session.record.image.Bytes(
        window->layout().Offset(Field::CodeTable) + static_cast<long>(k - 1) * length, length);
  }
};

struct NumbersFixture : Fixture {
  NumbersPage* page;
  QListWidget* list;
  QLineEdit* edit;
  explicit NumbersFixture(int model = 0) {
    start(model, 5);
    page = qobject_cast<NumbersPage*>(get<QWidget>("TabSheet6"));
    list = get<QListWidget>("lbFreeCall");
    edit = get<QLineEdit>("MEfreecall");
  }
  long regionStart() const { return window->layout().Offset(Field::FreeNumbers); }
  std::string entry(int i) const { return session.record.image.Bytes(regionStart() + 16 * i, 16); }
  void add(const QString& text) {
    edit->setText(text);
    get<QPushButton>("BTNujszam1")->click();
  }
  QString counter() const { return get<QLabel>("Label50")->text(); }
};

std::string Entry(const std::string& s) {
  return s + std::string(16 - s.size(), ' ');
}

}  // namespace

class CodesPagesTest : public QObject {
  Q_OBJECT
 private slots:
  void gridLooksAsDecoded();
  void typingIntoTheCodeColumn_data();
  void typingIntoTheCodeColumn();
  void rightsKeys();
  void downOnTheLastRow_data();
  void downOnTheLastRow();
  void downWhileTypingTheLastCode();
  void ctrlDeleteRemovesTheLastRowForGood();
  void aRemovedCodeStaysRemoved_data();
  void aRemovedCodeStaysRemoved();
  void rightsMenuOverRows3To9();
  void rightsMenuOnlyFromColumn2_data();
  void rightsMenuOnlyFromColumn2();
  void doubleClickTogglesTheTopLeftCell();
  void newDatabaseBlankRowIsStoredOnLeaving();
  void selectAllAndForbidEveryRowOfALargeTable();
  void generate_data();
  void generate();
  void duplicateCheck();
  void findCode();
  void decodePanelAndRepairMessages();

  void numbersDecodeAndFlushCloseGaps();
  void numbersAddReplaceDeleteAndButtons();
  void numbersTabbingIntoTheListChoosesNothing();
  void numbersCapacity_data();
  void numbersCapacity();
  void numbersBeyondANewModelsPlacesAreDroppedWithAMessage();
  void numbersSortedOrderIsFlushed();
  void numbersClearAsks();
  void numbersFlushedWhenTheFocusLeavesThePage();
  void findNumber();
  void menusBelongToTheirPages();
};

void CodesPagesTest::gridLooksAsDecoded() {
  CodesFixture f(7, 3, 0x39);
  QCOMPARE(f.grid->model()->rowCount(), 3);
  QCOMPARE(f.grid->model()->columnCount(), 6);
  const QStringList headings = {"Sorsz.", "Kód", "Helyi", "Távolsági", "Mobil", "Nemzetközi"};
  for (int c = 0; c < 6; ++c) {
    QCOMPARE(f.grid->model()->headerData(c, Qt::Horizontal).toString(), headings[c]);
    QCOMPARE(f.grid->columnWidth(c), c == 5 ? 82 : 64);
  }
  QCOMPARE(f.grid->rowHeight(0), 16);
  QCOMPARE(f.text(1, 0), QString("0001"));
  QCOMPARE(f.text(3, 0), QString("0003"));
  QCOMPARE(f.text(2, 1), QString("000002"));
  QCOMPARE(f.text(2, 2), QString("Igen"));
  QCOMPARE(f.text(2, 3), QString("Nem"));
  QCOMPARE(f.text(2, 5), QString("Igen"));
  // The row numbers are the fixed column: they cannot be selected.
  QCOMPARE(f.cell(1, 0).flags(), Qt::NoItemFlags);
}

void CodesPagesTest::typingIntoTheCodeColumn_data() {
  QTest::addColumn<QString>("keys");
  QTest::addColumn<QString>("code");
  QTest::addColumn<int>("column");    // where the cursor ends
  QTest::addColumn<bool>("editing");  // whether the cell is still being edited
  QTest::newRow("a letter does nothing") << "a"
                                         << "000001" << 1 << false;
  QTest::newRow("letters among digits are dropped") << "1x2y3"
                                                    << "123" << 1 << true;
  QTest::newRow("six digits stay") << "654321"
                                   << "654321" << 1 << true;
  QTest::newRow("the seventh digit cuts and moves on") << "6543217"
                                                       << "654321" << 2 << false;
  QTest::newRow("digits after the cut are no code keys") << "65432178"
                                                         << "654321" << 2 << false;
}

void CodesPagesTest::typingIntoTheCodeColumn() {
  QFETCH(QString, keys);
  QFETCH(QString, code);
  QFETCH(int, column);
  QFETCH(bool, editing);
  CodesFixture f(7, 3);
  f.focusCell(1, 1);
  f.type(keys);
  QCOMPARE(f.grid->editing(), editing);
  f.leave(f.grid);
  QCOMPARE(f.text(1, 1), code);
  QCOMPARE(f.grid->currentIndex().column(), column);
  QCOMPARE(f.record(1, 7).substr(0, 6), (code.toStdString() + "      ").substr(0, 6));
}

void CodesPagesTest::rightsKeys() {
  CodesFixture f(7, 3, 0x30);
  f.focusCell(2, 3);
  QTest::keyClick(f.grid, Qt::Key_I);
  QCOMPARE(f.text(2, 3), QString("Igen"));
  QTest::keyClick(f.grid, Qt::Key_X);
  QCOMPARE(f.text(2, 3), QString("Igen"));
  QTest::keyClick(f.grid, 'n');
  QCOMPARE(f.text(2, 3), QString("Nem"));
  QTest::keyClick(f.grid, 'i');
  f.leave(f.grid);
  QCOMPARE(static_cast<uint8_t>(f.record(2, 7)[6]), uint8_t(0x32));
  QVERIFY(f.window->modifiedFlag());
}

void CodesPagesTest::downOnTheLastRow_data() {
  QTest::addColumn<int>("length");
  QTest::addColumn<int>("count");
  QTest::addColumn<int>("countAfter");
  // As many as the preferences allow for the length.
  QTest::newRow("437 six-digit codes: one more") << 7 << 437 << 438;
  QTest::newRow("438 six-digit codes: full") << 7 << 438 << 438;
  QTest::newRow("99 two-digit codes: one more") << 3 << 99 << 100;
  QTest::newRow("100 two-digit codes: full") << 3 << 100 << 100;
  QTest::newRow("a table beyond the limit: full") << 2 << 1536 << 1536;
}

void CodesPagesTest::downOnTheLastRow() {
  QFETCH(int, length);
  QFETCH(int, count);
  QFETCH(int, countAfter);
  CodesFixture f(length, count);
  f.focusCell(count, 3);
  QTest::keyClick(f.grid, Qt::Key_Down);
  QCOMPARE(f.grid->model()->rowCount(), countAfter);
  QCOMPARE(f.page->grid().rowCount(), countAfter + 1);
  QCOMPARE(f.storedCount(), countAfter);
  QCOMPARE(f.window->panelText(1), QString("%1/%2").arg(countAfter).arg(length - 1));
  QCOMPARE(f.grid->currentIndex().row() + 1, countAfter);
  if (countAfter > count) {
    QCOMPARE(f.text(countAfter, 1), QString());
    QCOMPARE(f.text(countAfter, 5), QString("Igen"));
    QCOMPARE(f.window->statusBar()->currentMessage(), QString());
  } else {
    // A full table says so instead of doing nothing.
    QCOMPARE(f.window->statusBar()->currentMessage(),
             QString("A kódtábla megtelt: %1 jegyű kódból legfeljebb %2 fér el.")
                 .arg(length - 1)
                 .arg(CodeCountLimit(length - 1)));
  }
  // Down anywhere but on the last row only moves.
  f.focusCell(1, 1);
  QTest::keyClick(f.grid, Qt::Key_Down);
  QCOMPARE(f.grid->model()->rowCount(), countAfter);
}

void CodesPagesTest::downWhileTypingTheLastCode() {
  CodesFixture f(7, 5);
  f.focusCell(5, 1);
  f.type("12");
  QVERIFY(f.grid->editing());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  QCOMPARE(f.text(5, 1), QString("12"));
  QCOMPARE(f.grid->model()->rowCount(), 6);
  QCOMPARE(f.grid->currentIndex(), f.cell(6, 1));
  f.type("3");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
  QCOMPARE(f.text(6, 1), QString("3"));
  QCOMPARE(f.grid->currentIndex(), f.cell(5, 1));
  f.focusCell(6, 1);
  f.type("4");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete, Qt::ControlModifier);
  QCOMPARE(f.grid->model()->rowCount(), 5);
  QCOMPARE(f.storedCount(), 5);
}

void CodesPagesTest::ctrlDeleteRemovesTheLastRowForGood() {
  CodesFixture f(7, 3);
  f.focusCell(2, 1);
  QTest::keyClick(f.grid, Qt::Key_Delete, Qt::ControlModifier);  // not the last row
  QCOMPARE(f.grid->model()->rowCount(), 3);
  f.focusCell(3, 2);
  QTest::keyClick(f.grid, Qt::Key_Delete, Qt::ControlModifier);
  QCOMPARE(f.grid->model()->rowCount(), 2);
  QCOMPARE(f.storedCount(), 2);
  QCOMPARE(f.window->panelText(1), QString("2/6"));
  f.leave(f.grid);
  f.window->DecodeImage();
  QCOMPARE(f.grid->model()->rowCount(), 2);
  QCOMPARE(f.window->panelText(1), QString("2/6"));
  // One code row always stays.
  f.focusCell(2, 1);
  QTest::keyClick(f.grid, Qt::Key_Delete, Qt::ControlModifier);
  f.focusCell(1, 1);
  QTest::keyClick(f.grid, Qt::Key_Delete, Qt::ControlModifier);
  QCOMPARE(f.grid->model()->rowCount(), 1);
}

void CodesPagesTest::aRemovedCodeStaysRemoved_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<QString>("cut");
  for (int model : {0, 1}) {
    for (const char* cut : {"Ctrl+Delete", "text import", "lower count"}) {
      QTest::addRow("%s/%s", model ? "16" : "4", cut) << model << QString(cut);
    }
  }
}

// Three codes with the local right only; the third row goes, then Down adds a row in its
// place: it is empty with every right, as any new row, not the removed code again.
void CodesPagesTest::aRemovedCodeStaysRemoved() {
  QFETCH(int, model);
  QFETCH(QString, cut);
  CodesFixture f(7, 3, 0x31, model);
  if (cut == "Ctrl+Delete") {
    f.focusCell(3, 1);
    QTest::keyClick(f.grid, Qt::Key_Delete, Qt::ControlModifier);
  } else if (cut == "text import") {
    const QString file = f.dir.path() + "/two.txt";
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("111111\r\n222222\r\n");
    out.close();
    f.dialogs.openNames = {file};
    f.menuItem("ImportTxt1")->trigger();
  } else {
    StoreCodeCount(f.session.record.image, f.window->layout(), 2);
    f.page->setCodeRowCount(3);  // what the preferences leave behind
  }
  QCOMPARE(f.grid->model()->rowCount(), 2);
  f.focusCell(2, 1);
  QTest::keyClick(f.grid, Qt::Key_Down);
  QCOMPARE(f.grid->model()->rowCount(), 3);
  QCOMPARE(f.text(3, 1), QString());
  for (int column = 2; column <= 5; ++column) QCOMPARE(f.text(3, column), QString("Igen"));
  f.leave(f.grid);
  QCOMPARE(f.record(3, 7), std::string("      ?"));
  f.window->DecodeImage();
  QCOMPARE(f.text(3, 1), QString("      "));
}

void CodesPagesTest::rightsMenuOverRows3To9() {
  CodesFixture f(7, 12);
  for (int k = 1; k <= 12; ++k) f.page->setRight(k, 4, k % 2 ? kYes : kNo);
  f.click(3, 2);
  f.click(9, 5, Qt::ShiftModifier);
  QCOMPARE(f.grid->selectedCells(), QRect(QPoint(2, 2), QPoint(5, 8)));
  f.rightClick(9, 5);
  f.chooseRight("Mobil");
  for (int k = 1; k <= 12; ++k) {
    const bool inside = k >= 3 && k <= 9;
    QCOMPARE(f.text(k, 4), QString((k % 2 == 1) != inside ? "Igen" : "Nem"));
  }
  f.rightClick(5, 3);
  f.chooseRight("Tiltott");
  for (int k = 1; k <= 12; ++k) {
    const bool inside = k >= 3 && k <= 9;
    for (int c = 2; c <= 5; ++c) {
      if (c != 4) QCOMPARE(f.text(k, c), QString(inside ? "Nem" : "Igen"));
    }
  }
  f.leave(f.grid);
  QCOMPARE(static_cast<uint8_t>(f.record(3, 7)[6]), uint8_t(0x30));
  QCOMPARE(static_cast<uint8_t>(f.record(10, 7)[6]), uint8_t(0x3B));
}

void CodesPagesTest::rightsMenuOnlyFromColumn2_data() {
  QTest::addColumn<int>("from");
  QTest::addColumn<int>("to");
  QTest::addColumn<bool>("menu");
  QTest::newRow("columns 2..4") << 2 << 4 << true;
  QTest::newRow("column 2") << 2 << 2 << true;
  QTest::newRow("columns 3..5") << 3 << 5 << false;
  QTest::newRow("column 5") << 5 << 5 << false;
  QTest::newRow("code column") << 1 << 1 << false;
}

void CodesPagesTest::rightsMenuOnlyFromColumn2() {
  QFETCH(int, from);
  QFETCH(int, to);
  QFETCH(bool, menu);
  CodesFixture f(7, 5);
  f.click(2, from);
  if (to != from) f.click(4, to, Qt::ShiftModifier);
  f.rightClick(3, to);
  QCOMPARE(f.page->rightsMenu()->isVisible(), menu);
  if (menu) f.chooseRight("Helyi");
}

void CodesPagesTest::doubleClickTogglesTheTopLeftCell() {
  CodesFixture f(7, 4);
  f.page->setRight(2, 3, "");
  f.click(2, 3);
  QTest::mouseDClick(f.grid->viewport(), Qt::LeftButton, {}, f.at(2, 3));
  QCOMPARE(f.text(2, 3), QString("Igen"));
  f.click(2, 3);
  QTest::mouseDClick(f.grid->viewport(), Qt::LeftButton, {}, f.at(2, 3));
  QCOMPARE(f.text(2, 3), QString("Nem"));
  // Within a range only the top-left cell changes.
  f.click(1, 4);
  f.click(3, 5, Qt::ShiftModifier);
  QTest::mouseDClick(f.grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, f.at(3, 5));
  QCOMPARE(f.text(1, 4), QString("Nem"));
  QCOMPARE(f.text(3, 5), QString("Igen"));
  QCOMPARE(f.text(2, 5), QString("Igen"));
}

void CodesPagesTest::newDatabaseBlankRowIsStoredOnLeaving() {
  for (int model : {0, 1}) {
    Fixture f;
    f.start(model, 4);
    QCOMPARE(f.window->panelText(1), QString("1/6"));
    auto* grid = f.get<QTableView>("StringGrid1");
    QCOMPARE(grid->model()->rowCount(), 1);
    QCOMPARE(grid->model()->index(0, 1).data().toString(), QString(" "));
    QCOMPARE(StoredCodeCount(f.session.record.image, f.window->layout()), 0);
    f.leave(grid);
    QCOMPARE(StoredCodeCount(f.session.record.image, f.window->layout()), 1);
    QCOMPARE(f.session.record.image.Bytes(f.window->layout().Offset(Field::CodeTable), 7),
             std::string("      ?"));
    QVERIFY(f.window->modifiedFlag());
  }
}

void CodesPagesTest::selectAllAndForbidEveryRowOfALargeTable() {
  CodesFixture f(2, 1536);
  QCOMPARE(f.window->panelText(1), QString("1536/1"));
  f.grid->setFocus();
  QElapsedTimer clock;
  clock.start();
  f.menuItem("Mindkijell1")->trigger();
  QCOMPARE(f.grid->selectedCells(), QRect(QPoint(2, 0), QPoint(2, 1535)));
  f.rightClick(1, 2);
  f.chooseRight("Tiltott");
  QScrollBar* bar = f.grid->verticalScrollBar();
  for (int i = 0; i < 20; ++i) {
    bar->setValue(bar->maximum() * i / 19);
    f.grid->viewport()->repaint();
  }
  f.rightClick(1, 2);
  f.chooseRight("Helyi");
  f.grid->viewport()->repaint();
  // Generous: the point is that nothing here grows with the rows times the columns of widgets.
  QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
  QCOMPARE(f.text(1536, 2), QString("Igen"));
  QCOMPARE(f.text(1536, 3), QString("Nem"));
  f.leave(f.grid);
  QCOMPARE(f.storedCount(), 1536);
  QCOMPARE(f.record(1536, 2), std::string("11"));
}

void CodesPagesTest::generate_data() {
  QTest::addColumn<int>("length");
  QTest::addColumn<int>("count");
  QTest::addColumn<bool>("yes");
  QTest::addColumn<QString>("refusal");
  QTest::newRow("ten codes of six digits") << 7 << 10 << true << QString();
  QTest::newRow("all hundred two-digit codes") << 3 << 100 << true << QString();
  QTest::newRow("not over the codes there are") << 7 << 10 << false << QString();
  QTest::newRow("more two-digit codes than there are")
      << 3 << 101 << true
      << "Értelmetlen adat: 2 jegyű kódból csak 100 különböző van, 101 nem generálható !!!";
  QTest::newRow("too many") << 4 << 615 << true << "Értelmetlen adat: Kódok darabszáma:615";
}

void CodesPagesTest::generate() {
  QFETCH(int, length);
  QFETCH(int, count);
  QFETCH(bool, yes);
  QFETCH(QString, refusal);
  CodesFixture f(length, count, 0x30);
  f.session.record.image.SetBytes(f.window->layout().Offset(Field::CodeTable), "99");
  const ConfigImage stored = f.session.record.image;
  f.dialogs.answers = {yes ? QMessageBox::Yes : QMessageBox::No};
  f.menuItem("Generls1")->trigger();
  QVERIFY(!QApplication::overrideCursor());
  QVERIFY(f.window->modifiedFlag());
  if (!refusal.isEmpty()) {
    QCOMPARE(f.dialogs.messages, QStringList{refusal});
    // The decode before showed the stored table; that is what is written back.
    QCOMPARE(f.text(1, 1).left(2), QString("99"));
    QCOMPARE(f.text(1, 2), QString("Nem"));
    return;
  }
  // A table that holds codes is not overwritten without a word.
  QCOMPARE(f.dialogs.messages,
           QStringList{QString("Megerősítés: A generálás felülírja a táblában lévő %1 kódot. "
                               "Folytatja ?")
                           .arg(count)});
  if (!yes) {
    QCOMPARE(f.text(1, 1).left(2), QString("99"));
    QVERIFY(f.session.record.image == stored);
    return;
  }
  QSet<QString> codes;
  for (int k = 1; k <= count; ++k) {
    const QString code = f.text(k, 1);
    QCOMPARE(code.size(), length - 1);
    QVERIFY(code.toStdString().find_first_not_of("0123456789") == std::string::npos);
    QCOMPARE(f.text(k, 5), QString("Igen"));
    codes.insert(code);
    QCOMPARE(f.record(k, length), code.toStdString() + "?");
  }
  QCOMPARE(codes.size(), count);
}

void CodesPagesTest::duplicateCheck() {
  CodesFixture f(7, 8);
  f.menuItem("Ellenrzs1")->trigger();
  QCOMPARE(f.dialogs.messages, QStringList{"Nincs két egyforma kód !"});
  // Rows 3 and 7 equal, 1 and 5 as well; the pairs come in order and Cancel stops.
  for (auto [k, code] : {std::pair{7, "000003"}, std::pair{5, "000001"}}) {
    f.focusCell(k, 1);
    f.type(code);
    f.leave(f.grid);
  }
  f.dialogs.messages.clear();
  f.dialogs.answers = {QMessageBox::Ok, QMessageBox::Ok};
  f.menuItem("Ellenrzs1")->trigger();
  QCOMPARE(f.dialogs.messages,
           QStringList({"Hiba: Kód eggyezés:1 = 5", "Hiba: Kód eggyezés:3 = 7"}));
  f.dialogs.messages.clear();
  f.dialogs.answers = {QMessageBox::Cancel};
  f.menuItem("Ellenrzs1")->trigger();
  QCOMPARE(f.dialogs.messages, QStringList({"Hiba: Kód eggyezés:1 = 5"}));
  // A code being typed counts as it stands.
  f.focusCell(8, 1);
  f.type("000004");
  f.dialogs.messages.clear();
  f.dialogs.answers = {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok};
  f.menuItem("Ellenrzs1")->trigger();
  QCOMPARE(f.dialogs.messages.size(), 3);
  QCOMPARE(f.dialogs.messages[2], QString("Hiba: Kód eggyezés:4 = 8"));
}

void CodesPagesTest::findCode() {
  CodesFixture f(7, 30);
  f.focusCell(1, 1);
  QTest::keyClick(f.grid, Qt::Key_F, Qt::ControlModifier);
  QLineEdit* find = f.get<QLineEdit>("edFindCode");
  QVERIFY(find->isVisible());
  QVERIFY(find->hasFocus());
  QTest::keyClicks(find, "2");
  QTest::keyClick(find, Qt::Key_Return);
  QCOMPARE(f.grid->currentIndex().row() + 1, 2);
  QTest::keyClick(find, Qt::Key_Return);
  QCOMPARE(f.grid->currentIndex().row() + 1, 12);
  for (int i = 0; i < 11; ++i) QTest::keyClick(find, Qt::Key_Return);  // 20..29, then wraps
  QCOMPARE(f.grid->currentIndex().row() + 1, 2);
  QVERIFY(f.dialogs.messages.isEmpty());
  find->setText("0000 31");
  QTest::keyClick(find, Qt::Key_Return);
  QCOMPARE(f.dialogs.messages, QStringList{"Nincs ilyen kód !"});
  QCOMPARE(f.grid->currentIndex().row() + 1, 2);
  QTest::keyClick(find, Qt::Key_Escape);
  QVERIFY(!find->isVisible());
  QVERIFY(f.grid->hasFocus());
}

void CodesPagesTest::decodePanelAndRepairMessages() {
  CodesFixture f(7, 100);
  QCOMPARE(f.window->panelText(1), QString("100/6"));
  QCOMPARE(f.grid->model()->rowCount(), 100);
  const ImageLayout& l = f.window->layout();
  f.session.record.image.SetImageByte(l.Offset(Field::CodeRecordLength), 12);
  f.session.record.image.SetImageByte(l.Offset(Field::CodeCount), 0xE8);  // 1000
  f.session.record.image.SetImageByte(l.Offset(Field::CodeCount) + 1, 0x03);
  f.window->DecodeImage();
  QCOMPARE(f.dialogs.messages,
           QStringList({"Érvénytelen kódmennyiség! Az adatbázis sérült lehet.",
                        "Jelzett kód hosszúság:12\nBeállítom 8-ra (maximum)",
                        "Jelzett kód mennyiség:1000\nBeállítom 341-ra (maximum)"}));
  QCOMPARE(f.window->panelText(1), QString("341/8"));
  QCOMPARE(f.grid->model()->rowCount(), 341);
}

void CodesPagesTest::numbersDecodeAndFlushCloseGaps() {
  NumbersFixture f(1);
  ConfigImage& image = f.session.record.image;
  image.SetBytes(f.regionStart(), Entry("0612345"));
  image.SetBytes(f.regionStart() + 16 * 5, Entry("06 80 1"));
  f.window->DecodeImage();
  f.dialogs.saveNames = {f.dir.path() + "/gaps.pin"};
  QVERIFY(f.window->saveDatabase());  // what is open is what was saved
  QCOMPARE(f.list->count(), 2);
  QCOMPARE(f.list->item(1)->text(), QString::fromStdString(Entry("06 80 1")));
  QCOMPARE(f.counter(), QString("Bejegyzések:2/192"));
  QVERIFY(!f.window->modifiedFlag());
  f.window->showPage(PageId::General);
  QCOMPARE(f.entry(0), Entry("0612345"));
  QCOMPARE(f.entry(1), Entry("06 80 1"));
  QCOMPARE(f.entry(5), Entry(""));
  QVERIFY(!f.window->modifiedFlag());
}

void CodesPagesTest::numbersAddReplaceDeleteAndButtons() {
  NumbersFixture f;
  auto* replace = f.get<QPushButton>("BTNfreejav");
  auto* del = f.get<QPushButton>("BTNfreedel");
  QVERIFY(!replace->isEnabled());
  QVERIFY(!del->isEnabled());
  f.add(" 06 80 123 456 ");
  QCOMPARE(f.edit->text(), QString("0680123456      "));
  QCOMPARE(f.list->count(), 1);
  QVERIFY(f.window->modifiedFlag());
  QCOMPARE(f.counter(), QString("Bejegyzések:1/208"));
  f.add("0680123456");
  QCOMPARE(f.dialogs.messages, QStringList{"Ez a szám már bent van !"});
  QVERIFY(f.edit->hasFocus());
  QCOMPARE(f.list->count(), 1);
  f.add("112");
  f.add("");  // sixteen spaces, flushed as an empty entry
  QCOMPARE(f.list->count(), 3);

  // A click copies the item; "&Javítás" puts the normalised entry in its place.
  QTest::mouseClick(f.list->viewport(), Qt::LeftButton, {},
                    f.list->visualItemRect(f.list->item(1)).center());
  QCOMPARE(f.edit->text(), QString("112             "));
  QVERIFY(replace->isEnabled());
  QVERIFY(del->isEnabled());
  f.edit->setText("1 0 4");
  replace->click();
  QCOMPARE(f.list->item(1)->text(), QString("104             "));
  QCOMPARE(f.edit->text(), QString("104             "));

  // Delete key in the list removes every selected item.
  f.list->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
  f.list->setCurrentRow(2, QItemSelectionModel::Select);
  f.list->setFocus();
  QTest::keyClick(f.list, Qt::Key_Delete);
  QCOMPARE(f.list->count(), 1);
  QCOMPARE(f.list->item(0)->text(), QString("104             "));
  QVERIFY(!replace->isEnabled());
  QVERIFY(!del->isEnabled());
  QCOMPARE(f.counter(), QString("Bejegyzések:1/208"));
  f.window->showPage(PageId::Codes);
  QCOMPARE(f.entry(0), Entry("104"));
  QCOMPARE(f.entry(1), Entry(""));
}

// Tab from the typed number into the list must not put the list's first item over what was
// typed, nor arm "&Javítás" and "&Törlés" for an item nobody chose.
void CodesPagesTest::numbersTabbingIntoTheListChoosesNothing() {
  NumbersFixture f;
  f.add("111");
  // After "&Uj szám" the number is selected: what is typed next replaces it.
  QVERIFY(f.edit->hasFocus());
  QTest::keyClicks(f.edit, "222");
  QCOMPARE(f.edit->text(), QString("222"));
  f.get<QPushButton>("BTNujszam1")->click();
  QCOMPARE(f.list->count(), 2);

  f.window->showPage(PageId::Codes);  // the list goes to the image
  f.window->DecodeImage();            // and comes back without a current item
  f.window->showPage(PageId::Numbers);
  QCOMPARE(f.list->count(), 2);
  QCOMPARE(f.list->currentRow(), -1);
  f.edit->setFocus(Qt::TabFocusReason);
  f.edit->clear();
  QTest::keyClicks(f.edit, "444");
  QCOMPARE(f.edit->text(), QString("444"));
  QTest::keyClick(f.edit, Qt::Key_Tab);
  QVERIFY(f.list->hasFocus());
  QCOMPARE(f.edit->text(), QString("444"));
  QVERIFY(!f.get<QPushButton>("BTNfreejav")->isEnabled());
  QVERIFY(!f.get<QPushButton>("BTNfreedel")->isEnabled());
  // Moving in the list with the keys is a choice.
  QTest::keyClick(f.list, Qt::Key_Down);
  QCOMPARE(f.edit->text(), f.list->currentItem()->text());
  QVERIFY(f.get<QPushButton>("BTNfreejav")->isEnabled());
}

void CodesPagesTest::numbersCapacity_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<int>("capacity");
  QTest::newRow("4-line") << 0 << 208;
  QTest::newRow("16-line") << 1 << 192;
}

void CodesPagesTest::numbersCapacity() {
  QFETCH(int, model);
  QFETCH(int, capacity);
  NumbersFixture f(model);
  for (int i = 0; i < capacity; ++i) f.add(QString::number(100000 + i));
  QCOMPARE(f.list->count(), capacity);
  QCOMPARE(f.counter(), QString("Bejegyzések:%1/%1").arg(capacity));
  f.add("999");
  QCOMPARE(f.list->count(), capacity);
  QCOMPARE(f.edit->text(), QString("999"));  // a full list takes nothing, not even the spaces
  QVERIFY(f.dialogs.messages.isEmpty());
  QVERIFY(f.get<QPushButton>("BTNujszam1")->isEnabled());
  f.window->saveDatabaseAs();  // no name given: nothing written, but the list is flushed
  QCOMPARE(f.entry(capacity - 1), Entry(std::to_string(100000 + capacity - 1)));
  QCOMPARE(f.session.record.image.ImageByte(f.window->layout().Offset(Field::CodeTable)),
           uint8_t(' '));
}

// A switch by hand to the model with fewer places: what does not fit is dropped with a word,
// and the list shows what is stored.
void CodesPagesTest::numbersBeyondANewModelsPlacesAreDroppedWithAMessage() {
  NumbersFixture f(0);
  for (int i = 0; i < 200; ++i) f.add(QString::number(100000 + i));
  f.setModel(1);
  QCOMPARE(f.counter(), QString("Bejegyzések:200/192"));
  f.window->showPage(PageId::Codes);
  QCOMPARE(f.dialogs.messages,
           QStringList{"Maximum 192 szám lehet a listában, ezért az utolsó 8 szám kimaradt!"});
  QCOMPARE(f.list->count(), 192);
  QCOMPARE(f.counter(), QString("Bejegyzések:192/192"));
  QCOMPARE(f.entry(191), Entry("100191"));
  f.window->showPage(PageId::Numbers);
  f.window->showPage(PageId::Codes);
  QCOMPARE(f.dialogs.messages.size(), 1);  // said once
}

void CodesPagesTest::numbersSortedOrderIsFlushed() {
  NumbersFixture f;
  for (const char* n : {"30", "10", "20"}) f.add(n);
  f.list->setCurrentRow(0);  // "30"
  auto* sorted = f.get<QAction>("ABCRendezett1");
  sorted->trigger();
  QVERIFY(sorted->isChecked());
  QCOMPARE(f.list->item(0)->text().trimmed(), QString("10"));
  QCOMPARE(f.list->currentItem()->text().trimmed(), QString("30"));
  f.add("15");
  QCOMPARE(f.list->item(1)->text().trimmed(), QString("15"));
  f.window->showPage(PageId::Numbers);  // a "&Nézet" item while on the page
  QCOMPARE(f.entry(0), Entry("10"));
  QCOMPARE(f.entry(1), Entry("15"));
  QCOMPARE(f.entry(3), Entry("30"));
  sorted->trigger();
  f.add("01");
  QCOMPARE(f.list->item(4)->text().trimmed(), QString("01"));
}

void CodesPagesTest::numbersClearAsks() {
  NumbersFixture f;
  f.add("0612345");
  f.add("0698765");
  f.dialogs.answers = {QMessageBox::Cancel, QMessageBox::Ok};
  f.get<QAction>("Mindtrl1")->trigger();
  QCOMPARE(f.dialogs.messages, QStringList{"Megerősítés: Biztos benne ?"});
  QCOMPARE(f.list->count(), 2);
  QCOMPARE(f.edit->text(), QString("0698765         "));
  f.get<QAction>("Mindtrl1")->trigger();
  QCOMPARE(f.list->count(), 0);
  QCOMPARE(f.edit->text(), QString());
  QCOMPARE(f.counter(), QString("Bejegyzések:0/208"));
}

void CodesPagesTest::numbersFlushedWhenTheFocusLeavesThePage() {
  NumbersFixture f;
  ConfigImage& image = f.session.record.image;
  image.SetBytes(f.regionStart() + 16 * 3, Entry(" 0611"));
  f.window->DecodeImage();
  f.leave(f.list);
  QCOMPARE(f.entry(0), Entry("0611"));  // trimmed
  QCOMPARE(f.entry(3), Entry(""));
  // Switching between two other pages leaves the image alone.
  f.window->showPage(PageId::General);
  image.SetBytes(f.regionStart(), Entry("x"));
  f.window->showPage(PageId::Lines);
  QCOMPARE(f.entry(0), Entry("x"));
}

void CodesPagesTest::findNumber() {
  NumbersFixture f;
  for (const char* n : {"0612345", "0680111", "112", "06 80 222"}) f.add(n);
  f.list->setFocus();
  f.list->setCurrentRow(0);
  QTest::keyClick(f.list, Qt::Key_F, Qt::ControlModifier);
  QLineEdit* find = f.get<QLineEdit>("edFindNumber");
  QVERIFY(find->hasFocus());
  QTest::keyClicks(find, "06 80");
  QTest::keyClick(find, Qt::Key_Return);
  QCOMPARE(f.list->currentRow(), 1);
  QCOMPARE(f.edit->text().trimmed(), QString("0680111"));
  QTest::keyClick(find, Qt::Key_Return);
  QCOMPARE(f.list->currentRow(), 3);
  QTest::keyClick(find, Qt::Key_Return);
  QCOMPARE(f.list->currentRow(), 1);
  find->setText("555");
  QTest::keyClick(find, Qt::Key_Return);
  QCOMPARE(f.dialogs.messages, QStringList{"Nincs ilyen szám !"});
  QCOMPARE(f.list->currentRow(), 1);
}

void CodesPagesTest::menusBelongToTheirPages() {
  Fixture f;
  f.start(0, 4);
  auto* codes = f.get<QMenu>("Kdok2");
  QStringList items;
  for (QAction* a : codes->actions()) items << (a->isSeparator() ? "-" : a->text());
  QCOMPARE(items, QStringList({"Mind kijelöl", "-", "Generálás", "Ellenörzés", "-", "Import",
                               "Export", "-", "Visszavonás", "Mégis"}));
  // Each has its command, so each is enabled.
  for (const char* name : {"ImportTxt1", "ImportPinDat1", "ExportTxt1", "ExportPinDat1"})
    QVERIFY(f.get<QAction>(name)->isEnabled());
  QCOMPARE(f.get<QAction>("ImportPinDat1")->text(), QString("<--PIN.DAT"));
  QCOMPARE(f.get<QAction>("ExportTxt1")->text(), QString("-->Txt"));
  items.clear();
  for (QAction* a : f.get<QMenu>("Szamok2")->actions())
    items << (a->isSeparator() ? "-" : a->text());
  QCOMPARE(items, QStringList({"Mind töröl", "ABC Rendezett", "-", "Import <- CALL.TXT",
                               "Export -> CALL.TXT", "-", "Visszavonás", "Mégis"}));
  // Nothing to undo yet.
  for (const char* name : {"Visszavonas1", "Megis1", "Visszavonas2", "Megis2"})
    QVERIFY(!f.get<QAction>(name)->isEnabled());
  QVERIFY(f.get<QAction>("ABCRendezett1")->isCheckable());
  QVERIFY(f.get<QAction>("ImportCall1")->isEnabled());
  QVERIFY(f.get<QAction>("ExportCall1")->isEnabled());
  QStringList popup;
  for (QAction* a : f.get<QMenu>("PopupMenu1")->actions()) popup << a->text();
  QCOMPARE(popup, QStringList({"Nemzetközi", "Mobil", "Távolsági", "Helyi", "Tiltott", "",
                               "Beszúrás", "Sorok törlése"}));
}

TARVELO_TEST_MAIN(CodesPagesTest)
#include "CodesPagesTest.moc"
