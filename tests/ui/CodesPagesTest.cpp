#include <QAction>
#include <QClipboard>
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

#include "model/CodeClipboard.h"
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
  void key(int key, Qt::KeyboardModifiers mods = {}) {
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), mods);
  }
  // Whole rows chosen by their numbers, as the mouse does.
  void chooseRows(int first, int last) {
    grid->setFocus(Qt::TabFocusReason);
    click(first, 0);
    if (last != first) click(last, 0, Qt::ShiftModifier);
  }
  // Every cell the grid shows, row by row.
  QStringList cells() const {
    QStringList out;
    for (int k = 1; k <= grid->model()->rowCount(); ++k)
      for (int c = 1; c <= 5; ++c) out << text(k, c);
    return out;
  }
  // The stored table's bytes for rows 1..n.
  std::string records(int n, int length) const {
    return session.record.image.Bytes(window->layout().Offset(Field::CodeTable),
                                      static_cast<long>(n) * length);
  }
  // Codes with rights bytes 0x30 + k % 16 (so every row differs), stored and shown.
  void varyRights(int length) {
    for (int k = 1; k <= grid->model()->rowCount(); ++k) {
      const long at = window->layout().Offset(Field::CodeTable) + static_cast<long>(k) * length - 1;
      session.record.image.SetImageByte(at, static_cast<uint8_t>(0x30 + k % 16));
    }
    window->DecodeImage();
  }
  bool canUndo() const { return menuItem("Visszavonas1")->isEnabled(); }
  QString status() const { return window->statusBar()->currentMessage(); }
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
  QStringList items() const {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text().trimmed();
    return out;
  }
};

// The record of a code with the rights bits given.
std::string Record(const std::string& code, int bits) {
  return code + static_cast<char>(0x30 + bits);
}

void SetClipboard(const QString& text) {
  QApplication::clipboard()->setText(text);
}

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
  void paste_data();
  void paste();
  void refusedPasteChangesNothing_data();
  void refusedPasteChangesNothing();
  void copyThenPasteIsTheSame_data();
  void copyThenPasteIsTheSame();
  void insertAndDeleteRows_data();
  void insertAndDeleteRows();
  void undoAndRedoEachCommand_data();
  void undoAndRedoEachCommand();
  void historyEndsAtSaveOpenAndNew();
  void sortByTheCodeHeading();
  void droppedFilesAreImported();

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
  void numbersCopyPasteAndEnter_data();
  void numbersCopyPasteAndEnter();
  void numbersUndoAndRedoEachCommand_data();
  void numbersUndoAndRedoEachCommand();
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
    const QString full = QString("A kódtábla megtelt: %1 jegyű kódból legfeljebb %2 fér el.")
                             .arg(length - 1)
                             .arg(CodeCountLimit(length - 1));
    QCOMPARE(f.window->statusBar()->currentMessage(), full);
    // Nor is a row inserted.
    f.window->statusBar()->clearMessage();
    f.focusCell(1, 1);
    f.key(Qt::Key_Insert);
    QCOMPARE(f.grid->model()->rowCount(), countAfter);
    QCOMPARE(f.window->statusBar()->currentMessage(), full);
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
    for (const char* cut : {"Ctrl+Delete", "Delete", "Ctrl+X", "text import", "lower count"}) {
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
  } else if (cut == "Delete") {
    f.chooseRows(3, 3);
    f.dialogs.answers = {QMessageBox::Yes};
    f.key(Qt::Key_Delete);
    QCOMPARE(f.dialogs.messages, QStringList{"Megerősítés: Törli a kijelölt 1 sort ?"});
  } else if (cut == "Ctrl+X") {
    f.chooseRows(3, 3);
    f.key(Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QString("000003\tIgen\tNem\tNem\tNem\n"));
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
  // The pair asked about is the one selected.
  for (int k = 1; k <= 8; ++k) {
    QCOMPARE(f.grid->selectionModel()->isSelected(f.cell(k, 1)), k == 1 || k == 5);
    QCOMPARE(f.grid->selectionModel()->isSelected(f.cell(k, 5)), k == 1 || k == 5);
  }
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

namespace {

// The rights of row k in a pasted text: every combination in turn.
int BitsOf(int k) {
  return k % 16;
}

QString PastedCode(int k, int digits) {
  long modulus = 1;
  for (int i = 0; i < digits; ++i) modulus *= 10;
  return QString("%1").arg((k * 7919L) % modulus, digits, 10, QChar('0'));
}

// Rows 1..n in the given spelling of the rights.
QString PasteText(int n, int digits, const QString& spelling) {
  const QStringList words = {"Helyi", "Táv", "Mobil", "Nemz"};
  const QChar separator = spelling == "pontosvessző" ? ';' : '\t';
  QString text;
  for (int k = 1; k <= n; ++k) {
    text += PastedCode(k, digits);
    for (int r = 0; r < 4; ++r) {
      const bool yes = BitsOf(k) >> r & 1;
      QString cell;
      if (spelling == "Igen/Nem" || spelling == "pontosvessző") cell = yes ? "Igen" : "Nem";
      if (spelling == "I/N") cell = yes ? "I" : "N";
      if (spelling == "1/0") cell = yes ? "1" : "0";
      if (spelling == "x/üres") cell = yes ? "x" : "";
      if (spelling == "szavak") cell = yes ? words[r] : "";
      text += separator + cell;
    }
    text += spelling == "pontosvessző" ? "\r\n" : "\n";
  }
  return text;
}

}  // namespace

void CodesPagesTest::paste_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<int>("length");
  QTest::addColumn<int>("rows");
  QTest::addColumn<QString>("spelling");
  for (int model : {0, 1}) {
    for (const char* spelling : {"Igen/Nem", "I/N", "1/0", "x/üres", "szavak", "pontosvessző"}) {
      const char* m = model ? "16" : "4";
      QTest::addRow("%s/5 rows/%s", m, spelling) << model << 7 << 5 << QString(spelling);
      // 614 four-digit codes fill the table.
      QTest::addRow("%s/614 rows/%s", m, spelling) << model << 5 << 614 << QString(spelling);
      QTest::addRow("%s/615 rows/%s", m, spelling) << model << 5 << 615 << QString(spelling);
    }
  }
}

// One Ctrl+V takes the rows from the current row down, growing the grid; a text that does
// not fit is refused whole.
void CodesPagesTest::paste() {
  QFETCH(int, model);
  QFETCH(int, length);
  QFETCH(int, rows);
  QFETCH(QString, spelling);
  CodesFixture f(length, 1, 0x30, model);
  f.leave(f.grid);
  const ConfigImage before = f.session.record.image;
  SetClipboard(PasteText(rows, length - 1, spelling));
  f.focusCell(1, 1);
  f.key(Qt::Key_V, Qt::ControlModifier);
  const int limit = CodeCountLimit(length - 1);
  if (rows > limit) {
    QCOMPARE(f.dialogs.messages,
             QStringList{QString("A vágólap %1. sora már nem fér el: a táblában legfeljebb %2 "
                                 "kód lehet !!!")
                             .arg(limit + 1)
                             .arg(limit)});
    QCOMPARE(f.grid->model()->rowCount(), 1);
    QCOMPARE(f.text(1, 1), QString("0001"));
    QVERIFY(f.session.record.image == before);
    QVERIFY(!f.canUndo());
    return;
  }
  QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join("|")));
  QCOMPARE(f.grid->model()->rowCount(), rows);
  QCOMPARE(f.window->panelText(1), QString("%1/%2").arg(rows).arg(length - 1));
  QCOMPARE(f.status(), QString("%1 sor beillesztve.").arg(rows));
  std::string expected;
  for (int k = 1; k <= rows; ++k) {
    QCOMPARE(f.text(k, 1), PastedCode(k, length - 1));
    for (int r = 0; r < 4; ++r)
      QCOMPARE(f.text(k, 2 + r), QString(BitsOf(k) >> r & 1 ? "Igen" : "Nem"));
    expected += Record(PastedCode(k, length - 1).toStdString(), BitsOf(k));
  }
  f.leave(f.grid);
  QCOMPARE(f.storedCount(), rows);
  QCOMPARE(f.records(rows, length), expected);
  QVERIFY(f.canUndo());
}

void CodesPagesTest::refusedPasteChangesNothing_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("message");
  for (int model : {0, 1}) {
    const char* m = model ? "16" : "4";
    QTest::addRow("%s/letters", m) << model << "111111\n222222\n12a456\n"
                                   << "A vágólap 3. sorában a kód (\"12a456\") nem csak "
                                      "számjegyekből áll !!!";
    QTest::addRow("%s/too long", m) << model << "1234567\tIgen"
                                    << "A vágólap 1. sorában a kód (\"1234567\") hosszabb 6 "
                                       "jegynél !!!";
    QTest::addRow("%s/blank line", m) << model << "111111\n\n333333"
                                      << "A vágólap 2. sora üres !!!";
    QTest::addRow("%s/a right", m) << model << "111111\tIgen\tIgen\tTalán"
                                   << "A vágólap 1. sorában a \"Mobil\" oszlopban \"Talán\" "
                                      "áll; Igen vagy Nem lehet !!!";
    QTest::addRow("%s/a name after the rights", m)
        << model << "111111\tI\tI\tI\tI\tKovács"
        << "A vágólap 1. sorában a kód és a négy jog után még adat áll (\"Kovács\") !!!";
    QTest::addRow("%s/beyond the table", m)
        << model << PasteText(437, 6, "I/N")
        << "A vágólap 437. sora már nem fér el: a táblában legfeljebb 438 kód lehet !!!";
    QTest::addRow("%s/a character the code page lacks", m)
        << model << "111111\n22✓222\n"
        << "A(z) \"✓\" karakter nem használható (nincs a közép-európai kódlapban) !!!";
  }
}

void CodesPagesTest::refusedPasteChangesNothing() {
  QFETCH(int, model);
  QFETCH(QString, text);
  QFETCH(QString, message);
  CodesFixture f(7, 5, 0x3A, model);
  f.leave(f.grid);
  const ConfigImage before = f.session.record.image;
  const QStringList shown = f.cells();
  SetClipboard(text);
  f.focusCell(3, 1);
  f.key(Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(f.dialogs.messages, QStringList{message});
  QCOMPARE(f.cells(), shown);
  f.leave(f.grid);
  QVERIFY(f.session.record.image == before);
  QVERIFY(!f.canUndo());
  // The same while a code is being typed: the typed digits go in, the text does not.
  f.dialogs.messages.clear();
  f.focusCell(3, 1);
  f.type("9");
  QVERIFY(f.grid->editing());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(f.dialogs.messages.size(), text.contains('\n') || text.contains('\t') ? 1 : 0);
  QCOMPARE(f.grid->model()->rowCount(), 5);
}

void CodesPagesTest::copyThenPasteIsTheSame_data() {
  QTest::addColumn<int>("model");
  QTest::newRow("4-line") << 0;
  QTest::newRow("16-line") << 1;
}

void CodesPagesTest::copyThenPasteIsTheSame() {
  QFETCH(int, model);
  CodesFixture f(7, 20, 0x30, model);
  f.varyRights(7);
  f.leave(f.grid);
  const ConfigImage before = f.session.record.image;
  const QStringList shown = f.cells();
  f.chooseRows(1, 20);
  f.key(Qt::Key_C, Qt::ControlModifier);
  const QStringList lines = QApplication::clipboard()->text().split('\n');
  QCOMPARE(lines.size(), 21);  // the last line ends too
  QCOMPARE(lines[3], QString("000004\tNem\tNem\tIgen\tNem"));
  // Pasted back over itself it is no change at all.
  f.focusCell(1, 1);
  f.key(Qt::Key_V, Qt::ControlModifier);
  QVERIFY(f.dialogs.messages.isEmpty());
  QCOMPARE(f.cells(), shown);
  f.leave(f.grid);
  QVERIFY(f.session.record.image == before);
  QVERIFY(!f.canUndo());
  // Rows 3..7 copied below the last row: the same codes and rights, stored the same.
  f.chooseRows(3, 7);
  f.key(Qt::Key_C, Qt::ControlModifier);
  f.focusCell(20, 1);
  f.key(Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(f.grid->model()->rowCount(), 24);
  f.leave(f.grid);
  QCOMPARE(f.storedCount(), 24);
  for (int i = 0; i < 5; ++i) {
    for (int c = 1; c <= 5; ++c) QCOMPARE(f.text(20 + i, c), f.text(3 + i, c));
    QCOMPARE(f.record(20 + i, 7), f.record(3 + i, 7));
  }
}

void CodesPagesTest::insertAndDeleteRows_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<int>("at");
  QTest::addColumn<bool>("popup");  // the popup items instead of the keys
  for (int model : {0, 1}) {
    const char* m = model ? "16" : "4";
    QTest::addRow("%s/first row", m) << model << 1 << false;
    QTest::addRow("%s/middle", m) << model << 4 << true;
    QTest::addRow("%s/last row", m) << model << 6 << false;
  }
}

// A blank row goes in above the row given, then it and the code below it are deleted: the
// stored table holds exactly the codes left, in order, and nothing past them.
void CodesPagesTest::insertAndDeleteRows() {
  QFETCH(int, model);
  QFETCH(int, at);
  QFETCH(bool, popup);
  CodesFixture f(7, 6, 0x30, model);
  f.varyRights(7);
  std::vector<std::string> records;
  for (int k = 1; k <= 6; ++k) records.push_back(f.record(k, 7));
  if (popup) {
    f.click(at, 2);
    f.rightClick(at, 2);
    f.chooseRight("Beszúrás");
  } else {
    f.focusCell(at, 1);
    f.key(Qt::Key_Insert);
  }
  QCOMPARE(f.grid->model()->rowCount(), 7);
  QCOMPARE(f.window->panelText(1), QString("7/6"));
  QCOMPARE(f.text(at, 1), QString());
  for (int c = 2; c <= 5; ++c) QCOMPARE(f.text(at, c), QString("Igen"));
  QCOMPARE(f.grid->currentIndex(), f.cell(at, 1));
  f.leave(f.grid);
  std::vector<std::string> expected = records;
  expected.insert(expected.begin() + (at - 1), "      ?");
  QCOMPARE(f.storedCount(), 7);
  for (int k = 1; k <= 7; ++k)
    QCOMPARE(QString::fromStdString(f.record(k, 7)), QString::fromStdString(expected[k - 1]));

  // The blank row and the code below it.
  f.chooseRows(at, at + 1);
  QVERIFY(f.page->wholeRowsSelected());
  f.dialogs.answers = {QMessageBox::No, QMessageBox::Yes};
  for (int i = 0; i < 2; ++i) {
    if (popup) {
      f.rightClick(at, 3);
      f.chooseRight("Sorok törlése");
    } else {
      f.key(Qt::Key_Delete);
    }
    QCOMPARE(f.dialogs.messages.last(), QString("Megerősítés: Törli a kijelölt 2 sort ?"));
    QCOMPARE(f.grid->model()->rowCount(), i == 0 ? 7 : 5);  // No keeps them
  }
  QCOMPARE(f.window->panelText(1), QString("5/6"));
  f.leave(f.grid);
  expected.erase(expected.begin() + (at - 1), expected.begin() + (at + 1));
  QCOMPARE(f.storedCount(), 5);
  for (int k = 1; k <= 5; ++k) QCOMPARE(f.record(k, 7), expected[k - 1]);
  QCOMPARE(f.record(6, 7), std::string(7, ' '));
  QCOMPARE(f.record(7, 7), std::string(7, ' '));
  // Read back as any stored table is.
  f.window->DecodeImage();
  QCOMPARE(f.grid->model()->rowCount(), 5);
  for (int k = 1; k <= 5; ++k) QCOMPARE(f.text(k, 1).toStdString(), expected[k - 1].substr(0, 6));
}

void CodesPagesTest::undoAndRedoEachCommand_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<QString>("command");
  for (int model : {0, 1}) {
    for (const char* command :
         {"typing a code", "rights key", "double click", "rights menu", "paste", "cut", "insert",
          "delete rows", "Down", "Ctrl+Delete", "generate", "import", "sort"}) {
      QTest::addRow("%s/%s", model ? "16" : "4", command) << model << QString(command);
    }
  }
}

// Each command is one step: Ctrl+Z brings back the grid and the stored table exactly,
// Ctrl+Y and Ctrl+Shift+Z do it again.
void CodesPagesTest::undoAndRedoEachCommand() {
  QFETCH(int, model);
  QFETCH(QString, command);
  CodesFixture f(7, 8, 0x30, model);
  f.session.record.image.SetBytes(f.window->layout().Offset(Field::CodeTable), "999999");
  f.varyRights(7);
  f.leave(f.grid);
  const ConfigImage before = f.session.record.image;
  const QStringList shownBefore = f.cells();

  if (command == "typing a code") {
    f.focusCell(2, 1);
    f.type("6543217");
  } else if (command == "rights key") {
    f.focusCell(2, 3);
    f.key(Qt::Key_N);
  } else if (command == "double click") {
    f.click(2, 4);
    QTest::mouseDClick(f.grid->viewport(), Qt::LeftButton, {}, f.at(2, 4));
  } else if (command == "rights menu") {
    f.click(2, 2);
    f.click(5, 5, Qt::ShiftModifier);
    f.rightClick(5, 5);
    f.chooseRight("Tiltott");
  } else if (command == "paste") {
    SetClipboard("111111\n222222\tNem\tNem\tNem\tNem\n");
    f.focusCell(8, 1);
    f.key(Qt::Key_V, Qt::ControlModifier);
  } else if (command == "cut") {
    f.chooseRows(2, 3);
    f.key(Qt::Key_X, Qt::ControlModifier);
  } else if (command == "insert") {
    f.focusCell(3, 1);
    f.key(Qt::Key_Insert);
  } else if (command == "delete rows") {
    f.chooseRows(2, 4);
    f.dialogs.answers = {QMessageBox::Yes};
    f.key(Qt::Key_Delete);
  } else if (command == "Down") {
    f.focusCell(8, 2);
    f.key(Qt::Key_Down);
  } else if (command == "Ctrl+Delete") {
    f.focusCell(8, 1);
    f.key(Qt::Key_Delete, Qt::ControlModifier);
  } else if (command == "generate") {
    f.dialogs.answers = {QMessageBox::Yes};
    f.menuItem("Generls1")->trigger();
  } else if (command == "import") {
    const QString file = f.dir.path() + "/codes.txt";
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("1111\r\n2222\r\n3333\r\n");
    out.close();
    f.dialogs.openNames = {file};
    f.menuItem("ImportTxt1")->trigger();
  } else if (command == "sort") {
    QHeaderView* header = f.grid->horizontalHeader();
    f.dialogs.answers = {QMessageBox::Yes};
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 10, 5));
  }
  f.leave(f.grid);
  const ConfigImage after = f.session.record.image;
  const QStringList shownAfter = f.cells();
  QVERIFY(!(after == before));
  QVERIFY(f.canUndo());

  f.grid->setFocus(Qt::OtherFocusReason);
  f.key(Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(f.cells(), shownBefore);
  QVERIFY(f.session.record.image == before);
  QVERIFY(!f.canUndo());  // one step
  QCOMPARE(f.window->panelText(1), QString("8/6"));
  f.key(Qt::Key_Y, Qt::ControlModifier);
  QCOMPARE(f.cells(), shownAfter);
  QVERIFY(f.session.record.image == after);
  f.menuItem("Visszavonas1")->trigger();
  QVERIFY(f.session.record.image == before);
  f.key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  QCOMPARE(f.cells(), shownAfter);
  QVERIFY(f.session.record.image == after);
  // Leaving and coming back stores nothing else.
  f.leave(f.grid);
  QVERIFY(f.session.record.image == after);
}

void CodesPagesTest::historyEndsAtSaveOpenAndNew() {
  CodesFixture f(7, 5);
  NumbersPage& numbers = *qobject_cast<NumbersPage*>(f.get<QWidget>("TabSheet6"));
  int added = 0;
  auto change = [&] {
    f.focusCell(1, 3);
    f.key(f.text(1, 3) == "Igen" ? Qt::Key_N : Qt::Key_I);
    QVERIFY(f.canUndo());
    f.window->showPage(PageId::Numbers);
    f.get<QLineEdit>("MEfreecall")->setText(QString::number(100 + ++added));
    f.get<QPushButton>("BTNujszam1")->click();
    QVERIFY(numbers.canUndo());
    f.window->showPage(PageId::Codes);
  };
  change();
  const QString file = f.dir.path() + "/saved.pin";
  f.dialogs.saveNames = {file};
  QVERIFY(f.window->saveDatabase());
  QVERIFY(!f.canUndo());
  QVERIFY(!numbers.canUndo());
  f.grid->setFocus();
  f.key(Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(f.text(1, 3), QString("Nem"));  // saved as it is

  change();
  f.dialogs.answers = {QMessageBox::No};
  f.window->newDatabase();
  QVERIFY(!f.canUndo());
  QVERIFY(!numbers.canUndo());

  f.window->showPage(PageId::Codes);
  change();
  f.dialogs.answers = {QMessageBox::No};
  f.dialogs.openNames = {file};
  f.dialogs.passwords = {""};
  f.window->openDatabase();
  QVERIFY(!f.canUndo());
  QVERIFY(!numbers.canUndo());

  // The other model keeps the table's size elsewhere.
  f.window->showPage(PageId::Codes);
  change();
  f.setModel(1);
  QVERIFY(!f.canUndo());
  QVERIFY(!numbers.canUndo());
}

void CodesPagesTest::sortByTheCodeHeading() {
  CodesFixture f(7, 4, 0x30, 1);
  for (auto [k, code] : {std::pair{1, "300000"}, std::pair{2, "100000"}, std::pair{4, "200000"}})
    f.session.record.image.SetBytes(
        f.window->layout().Offset(Field::CodeTable) + static_cast<long>(k - 1) * 7, code);
  // A row without a code goes last either way.
  f.session.record.image.SetBytes(f.window->layout().Offset(Field::CodeTable) + 14, "      ");
  f.varyRights(7);
  f.leave(f.grid);
  QHeaderView* header = f.grid->horizontalHeader();
  auto clickHeading = [&](int section) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(section) + 10, 5));
  };
  clickHeading(2);  // only the code heading sorts
  QVERIFY(f.dialogs.messages.isEmpty());
  f.dialogs.answers = {QMessageBox::No, QMessageBox::Yes, QMessageBox::Yes};
  clickHeading(1);
  QCOMPARE(f.text(1, 1), QString("300000"));  // No: nothing moves
  clickHeading(1);
  QStringList codes;
  for (int k = 1; k <= 4; ++k) codes << f.text(k, 1) + "/" + f.text(k, 2);
  // Each code keeps its rights (row k had bits k % 16).
  QCOMPARE(codes, QStringList({"100000/Nem", "200000/Nem", "300000/Igen", "      /Igen"}));
  clickHeading(1);
  codes.clear();
  for (int k = 1; k <= 4; ++k) codes << f.text(k, 1);
  QCOMPARE(codes, QStringList({"300000", "200000", "100000", "      "}));
  QCOMPARE(f.dialogs.messages,
           QStringList({"Megerősítés: Rendezi a kódokat növekvő sorrendbe ?",
                        "Megerősítés: Rendezi a kódokat növekvő sorrendbe ?",
                        "Megerősítés: Rendezi a kódokat csökkenő sorrendbe ?"}));
  f.leave(f.grid);
  QCOMPARE(f.record(1, 7), Record("300000", 1));
  f.grid->setFocus();
  f.key(Qt::Key_Z, Qt::ControlModifier);
  f.key(Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(f.text(1, 1), QString("300000"));
  QCOMPARE(f.text(2, 1), QString("100000"));
  QCOMPARE(f.record(2, 7), Record("100000", 2));
}

void CodesPagesTest::droppedFilesAreImported() {
  CodesFixture f(7, 3);
  const QString codes = f.dir.path() + "/kodok.txt";
  QFile out(codes);
  QVERIFY(out.open(QIODevice::WriteOnly));
  out.write("111111\r\n222222\r\n");
  out.close();
  auto drop = [&](QWidget* page, const QString& file) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(page, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(page, &dropped);
  };
  drop(f.page, codes);
  QCOMPARE(f.grid->model()->rowCount(), 2);
  QCOMPARE(f.text(2, 1), QString("222222"));
  QCOMPARE(f.storedCount(), 2);
  QVERIFY(f.dialogs.fileDialogs.isEmpty());  // no dialog: the file is given

  const QString numbers = f.dir.path() + "/CALL.TXT";
  QFile call(numbers);
  QVERIFY(call.open(QIODevice::WriteOnly));
  call.write("0612345\r\n112\r\n");
  call.close();
  f.window->showPage(PageId::Numbers);
  f.dialogs.answers = {QMessageBox::No};  // overwrite
  drop(f.get<QWidget>("TabSheet6"), numbers);
  QCOMPARE(f.get<QListWidget>("lbFreeCall")->count(), 2);
}

void CodesPagesTest::numbersCopyPasteAndEnter_data() {
  QTest::addColumn<int>("model");
  QTest::newRow("4-line") << 0;
  QTest::newRow("16-line") << 1;
}

void CodesPagesTest::numbersCopyPasteAndEnter() {
  QFETCH(int, model);
  NumbersFixture f(model);
  // Enter in the field adds the number as the button does.
  f.edit->setFocus();
  f.edit->setText("06 1 234");
  QTest::keyClick(f.edit, Qt::Key_Return);
  QCOMPARE(f.items(), QStringList{"061234"});
  // Ctrl+Z in the field takes back its typing first, then the list's last command.
  QTest::keyClicks(f.edit, "5");
  QTest::keyClick(f.edit, Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(f.edit->text().trimmed(), QString("061234"));
  QCOMPARE(f.items(), QStringList{"061234"});
  QTest::keyClick(f.edit, Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(f.items(), QStringList{});
  f.list->setFocus();
  QTest::keyClick(f.list, Qt::Key_Y, Qt::ControlModifier);
  QCOMPARE(f.items(), QStringList{"061234"});
  SetClipboard(" 06 80 123 456\r\n\r\n112\n");
  f.list->setFocus();
  QTest::keyClick(f.list, Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(f.items(), QStringList({"061234", "0680123456", "112"}));
  QCOMPARE(f.counter(), QString("Bejegyzések:3/%1").arg(model ? 192 : 208));
  // Refused whole, naming the line and why.
  SetClipboard("999\n112\n");
  QTest::keyClick(f.list, Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(f.dialogs.messages,
           QStringList{"A vágólap 2. sorának száma (\"112\") már bent van a listában !!!"});
  QCOMPARE(f.list->count(), 3);
  // Lines pasted into the field go to the list as well.
  SetClipboard("555\n666\n");
  f.edit->setFocus();
  f.edit->clear();
  QTest::keyClick(f.edit, Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(f.items(), QStringList({"061234", "0680123456", "112", "555", "666"}));
  QCOMPARE(f.edit->text(), QString());
  // Copy and cut the chosen ones.
  f.list->setFocus();
  f.list->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
  f.list->setCurrentRow(3, QItemSelectionModel::Select);
  QTest::keyClick(f.list, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QApplication::clipboard()->text(), QString("0680123456\n555\n"));
  QTest::keyClick(f.list, Qt::Key_X, Qt::ControlModifier);
  QCOMPARE(f.items(), QStringList({"061234", "112", "666"}));
  // A full list takes no more and says so.
  const int capacity = model ? 192 : 208;
  QString many;
  for (int i = 0; i < capacity - 3; ++i) many += QString::number(100000 + i) + "\n";
  SetClipboard(many + "999999\n");
  QTest::keyClick(f.list, Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(f.dialogs.messages.last(),
           QString("A vágólap %1. sora már nem fér el: a listában legfeljebb %2 szám lehet !!!")
               .arg(capacity - 2)
               .arg(capacity));
  SetClipboard(many);
  QTest::keyClick(f.list, Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(f.list->count(), capacity);
  f.add("777");
  QCOMPARE(f.list->count(), capacity);
  QCOMPARE(f.window->statusBar()->currentMessage(),
           QString("A lista megtelt: legfeljebb %1 szám lehet benne.").arg(capacity));
  f.window->showPage(PageId::Codes);
  QCOMPARE(f.entry(capacity - 1), Entry(std::to_string(100000 + capacity - 4)));
}

void CodesPagesTest::numbersUndoAndRedoEachCommand_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<QString>("command");
  for (int model : {0, 1}) {
    for (const char* command :
         {"add", "replace", "delete", "clear", "paste", "cut", "sorted", "import"}) {
      QTest::addRow("%s/%s", model ? "16" : "4", command) << model << QString(command);
    }
  }
}

void CodesPagesTest::numbersUndoAndRedoEachCommand() {
  QFETCH(int, model);
  QFETCH(QString, command);
  NumbersFixture f(model);
  for (const char* n : {"30", "10", "20"}) f.add(n);
  f.page->ClearHistory();
  const QStringList before = f.items();
  auto* undo = f.get<QAction>("Visszavonas2");
  QVERIFY(!undo->isEnabled());
  f.list->setFocus();
  f.list->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
  if (command == "add") {
    f.add("40");
  } else if (command == "replace") {
    f.edit->setText("11");
    f.get<QPushButton>("BTNfreejav")->click();
  } else if (command == "delete") {
    QTest::keyClick(f.list, Qt::Key_Delete);
  } else if (command == "clear") {
    f.dialogs.answers = {QMessageBox::Ok};
    f.get<QAction>("Mindtrl1")->trigger();
  } else if (command == "paste") {
    SetClipboard("50\n60\n");
    QTest::keyClick(f.list, Qt::Key_V, Qt::ControlModifier);
  } else if (command == "cut") {
    QTest::keyClick(f.list, Qt::Key_X, Qt::ControlModifier);
  } else if (command == "sorted") {
    f.get<QAction>("ABCRendezett1")->trigger();
  } else if (command == "import") {
    const QString file = f.dir.path() + "/CALL.TXT";
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("0612345\r\n");
    out.close();
    f.dialogs.openNames = {file};
    f.dialogs.answers = {QMessageBox::Yes};  // append
    f.get<QAction>("ImportCall1")->trigger();
  }
  const QStringList after = f.items();
  QVERIFY(after != before);
  QVERIFY(undo->isEnabled());
  f.list->setFocus();
  QTest::keyClick(f.list, Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(f.items(), before);
  QVERIFY(!undo->isEnabled());
  QVERIFY(!f.get<QAction>("ABCRendezett1")->isChecked());
  QCOMPARE(f.counter(), QString("Bejegyzések:3/%1").arg(model ? 192 : 208));
  QTest::keyClick(f.list, Qt::Key_Y, Qt::ControlModifier);
  QCOMPARE(f.items(), after);
  QCOMPARE(f.get<QAction>("ABCRendezett1")->isChecked(), command == "sorted");
  // What the list shows is what is stored.
  f.window->showPage(PageId::Codes);
  for (int i = 0; i < after.size(); ++i) QCOMPARE(f.entry(i), Entry(after[i].toStdString()));
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
