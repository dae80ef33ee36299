#include <QAction>
#include <QListWidget>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>
#include <ctime>

#include "model/FreeNumbers.h"
#include "model/Text.h"
#include "tests/ui/Fixture.h"
#include "ui/CodesPage.h"
#include "ui/NumbersPage.h"
#include "ui/Printing.h"

using namespace tarvelo;

namespace {

// Puts `codes` six-digit codes and `numbers` numbers into the window's image, as a loaded
// database would hold them.
void FillLists(Fixture& f, int codes, int numbers) {
  DatabaseRecord& record = f.session.record;
  record.site.set(*Utf8ToCp1250("Győr, Űrhajós utca"));
  record.owner.set(*Utf8ToCp1250("Őze Áron"));
  f.session.databaseFileName = "/tmp/iroda.pi4";
  CodeGrid grid;
  grid.setRowCount(codes + 1);
  for (int k = 1; k <= codes; ++k) {
    const std::string n = std::to_string(k);
    grid.row(k).code = std::string(6 - n.size(), '0') + n;
    grid.row(k).rights = {kYes, kNo, k % 2 ? kYes : kNo, kNo};
  }
  EncodeCodeTable(record.image, f.window->layout(), grid);
  std::vector<std::string> items;
  for (int i = 1; i <= numbers; ++i) items.push_back("0680" + std::to_string(100000 + i));
  FlushFreeNumbers(record.image, f.window->layout(), items);
  f.window->DecodeImage();
}

// What the print dialog was set up with when it was shown.
struct Shown {
  int count = 0;
  QAbstractPrintDialog::PrintDialogOptions options;
  int min = -1, max = -1, from = -1, to = -1;
};

// Answers the print dialog as a user printing to a PDF file with the given range.
void AnswerWithPdf(Printing& printing, Shown& shown, const QString& file,
                   QPrinter::PrintRange range = QPrinter::AllPages, int from = 0, int to = 0,
                   Printing::Choice choice = Printing::Choice::Print) {
  printing.runPrintDialog = [=, &shown](QPrintDialog& dialog) {
    ++shown.count;
    shown.options = dialog.options();
    shown.min = dialog.minPage();
    shown.max = dialog.maxPage();
    shown.from = dialog.fromPage();
    shown.to = dialog.toPage();
    QPrinter* p = dialog.printer();
    p->setOutputFormat(QPrinter::PdfFormat);
    p->setOutputFileName(file);
    p->setPrintRange(range);
    if (range == QPrinter::PageRange) p->setFromTo(from, to);
    return choice;
  };
}

// Prints the page shown with the range given, answering the dialog with the preview, and
// returns the text the preview would draw.
QString PrintedText(Fixture& f, QPrinter::PrintRange range, int from = 0, int to = 0) {
  Printing& printing = f.printing();
  printing.runPrintDialog = [=](QPrintDialog& dialog) {
    dialog.printer()->setPrintRange(range);
    if (range == QPrinter::PageRange) dialog.printer()->setFromTo(from, to);
    return Printing::Choice::Preview;
  };
  auto text = std::make_shared<QString>();
  printing.runPreview = [text](QPrinter& printer, PrintKind kind, const PrintData& data) {
    *text = QString::fromStdString(ReportAsText(ListReport(printer, kind, data, 1000)));
  };
  f.get<QAction>("Nyomtats1")->trigger();
  return *text;
}

QString PdfText(const QString& file, bool layout = true) {
  QProcess p;
  QStringList args;
  if (layout) args << "-layout";
  p.start("pdftotext", args << file << "-");
  p.waitForFinished(20000);
  return QString::fromUtf8(p.readAllStandardOutput());
}

QString PdfInfo(const QString& file) {
  QProcess p;
  p.start("pdfinfo", {file});
  p.waitForFinished(20000);
  return QString::fromUtf8(p.readAllStandardOutput());
}

bool HavePoppler() {
  return !QStandardPaths::findExecutable("pdftotext").isEmpty() &&
         !QStandardPaths::findExecutable("pdfinfo").isEmpty();
}

}  // namespace

class PrintTest : public QObject {
  Q_OBJECT
 private slots:
  void dialogSetUpByThePageShown();
  void codeListPrintsToPdf();
  void numberListPrintsThePagesChosen();
  void selectionsAndPreview();
  void codeListPrintsTheWorkingGrid_data();
  void codeListPrintsTheWorkingGrid();
  void numberListPrintsTheWorkingList_data();
  void numberListPrintsTheWorkingList();
  void windowImageAndPageSetup();
  void printDialogOffersThePreview();
  void headingDateIsTheCommandLinesForm();
  void controlBytesFromTheDatabasePrintAsEscapes();
};

void PrintTest::dialogSetUpByThePageShown() {
  Fixture f;
  FillLists(f, 7, 12);
  using D = QAbstractPrintDialog;
  struct Case {
    int page;
    bool lists;
    int max;
  };
  for (const Case& c :
       {Case{0, false, 0}, Case{3, false, 0}, Case{4, true, 7}, Case{5, true, 12}}) {
    Shown shown;
    AnswerWithPdf(f.printing(), shown, QString(), QPrinter::AllPages, 0, 0,
                  Printing::Choice::Cancel);
    f.window->showPage(static_cast<PageId>(c.page));
    f.get<QAction>("Nyomtats1")->trigger();
    QCOMPARE(shown.count, 1);
    QCOMPARE(shown.options.testFlag(D::PrintPageRange), c.lists);
    QCOMPARE(shown.options.testFlag(D::PrintSelection), c.lists);
    QVERIFY(shown.options.testFlag(D::PrintToFile));
    QCOMPARE(shown.min, c.lists ? 1 : 0);
    QCOMPARE(shown.max, c.max);
    if (c.lists) {
      QCOMPARE(shown.from, 1);
      QCOMPARE(shown.to, c.max);
    }
  }
  // Pages "&Behívás" and "Te&rminál" print nothing: no dialog, the item is off.
  for (int page : {6, 7}) {
    Shown shown;
    AnswerWithPdf(f.printing(), shown, QString());
    f.window->showPage(static_cast<PageId>(page));
    QVERIFY(!f.get<QAction>("Nyomtats1")->isEnabled());
    f.printing().Print(page);
    QCOMPARE(shown.count, 0);
  }
  f.window->showPage(PageId::General);
  QVERIFY(f.get<QAction>("Nyomtats1")->isEnabled());
  QCOMPARE(f.get<QAction>("Nyomtats1")->shortcut(), QKeySequence("Ctrl+P"));
  QCOMPARE(f.printing().printer().docName(), QString("Tarvelo nyomtatás"));
}

void PrintTest::codeListPrintsToPdf() {
  if (!HavePoppler()) QSKIP("pdftotext (poppler-utils) is not installed");
  Fixture f;
  FillLists(f, 150, 0);
  const QString file = f.dir.path() + "/codes.pdf";
  Shown shown;
  AnswerWithPdf(f.printing(), shown, file);
  f.window->showPage(PageId::Codes);
  f.get<QAction>("Nyomtats1")->trigger();
  QVERIFY(QFileInfo::exists(file));
  const QString text = PdfText(file);
  QVERIFY2(text.contains("Személyi kódok:/tmp/iroda.pi4"), qPrintable(text.left(300)));
  QVERIFY(text.contains("Telepítési hely:Győr, Űrhajós utca"));
  QVERIFY(text.contains("Telepítő       :Őze Áron"));
  QVERIFY(text.contains("Oldal:1"));
  QVERIFY(text.contains("Oldal:2"));
  QVERIFY(text.contains("Sorsz. |Kód      |Jog"));
  QVERIFY(text.contains("0001|000001   |Loc,Mob,"));
  QVERIFY(text.contains("0002|000002   |Loc,"));
  QVERIFY(text.contains("0150|000150   |Loc,"));
  // Every sheet after the first starts with its page number.
  const QStringList pages = text.split('\f', Qt::SkipEmptyParts);
  QVERIFY(pages.size() >= 2);
  for (int p = 1; p < pages.size(); ++p)
    QVERIFY2(pages[p].trimmed().startsWith("Oldal:" + QString::number(p + 1)),
             qPrintable(pages[p].left(200)));
  QVERIFY(PdfInfo(file).contains("Tarvelo nyomtatás"));
}

void PrintTest::numberListPrintsThePagesChosen() {
  if (!HavePoppler()) QSKIP("pdftotext (poppler-utils) is not installed");
  Fixture f;
  FillLists(f, 3, 6);
  const QString file = f.dir.path() + "/numbers.pdf";
  Shown shown;
  AnswerWithPdf(f.printing(), shown, file, QPrinter::PageRange, 3, 4);
  f.window->showPage(PageId::Numbers);
  f.get<QAction>("Nyomtats1")->trigger();
  const QString text = PdfText(file, false);
  QVERIFY2(text.contains("Szabadon hívható számok /tmp/iroda.pi4"), qPrintable(text));
  QVERIFY(text.contains("Oldal:1"));
  QVERIFY(!text.contains("0680100002"));
  QVERIFY(text.contains("0680100003"));
  QVERIFY(text.contains("0680100004"));
  QVERIFY(!text.contains("0680100005"));
}

void PrintTest::selectionsAndPreview() {
  if (!HavePoppler()) QSKIP("pdftotext (poppler-utils) is not installed");
  Fixture f;
  FillLists(f, 10, 5);
  PrintData data = PrintDataFromPages(f.session.record, "x.pin", f.codesPage(), f.numbersPage());
  data.codeSelection = {4, 5};
  data.selectedNumbers = {1, 3};
  const QString file = f.dir.path() + "/sel.pdf";
  for (PrintKind kind : {PrintKind::Codes, PrintKind::Numbers}) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setPrintRange(QPrinter::Selection);
    f.printing().PrintTo(printer, kind, data);
    const QString text = PdfText(file);
    if (kind == PrintKind::Codes) {
      QVERIFY2(text.contains("0004|000004") && text.contains("0005|000005"), qPrintable(text));
      QVERIFY(!text.contains("0003|") && !text.contains("0006|"));
    } else {
      QCOMPARE(text.count("06801000"), 2);
      QVERIFY(text.contains("0680100002") && text.contains("0680100004"));
    }
  }

  // The preview choice draws the same through the preview's own printer.
  const QString previewFile = f.dir.path() + "/preview.pdf";
  Shown shown;
  AnswerWithPdf(f.printing(), shown, f.dir.path() + "/not.pdf", QPrinter::AllPages, 0, 0,
                Printing::Choice::Preview);
  PrintKind previewed = PrintKind::Nothing;
  f.printing().runPreview = [&](QPrinter&, PrintKind kind, const PrintData& d) {
    previewed = kind;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(previewFile);
    f.printing().PrintTo(printer, kind, d);
  };
  f.window->showPage(PageId::Numbers);
  f.get<QAction>("Nyomtats1")->trigger();
  QCOMPARE(previewed, PrintKind::Numbers);
  QVERIFY(!QFileInfo::exists(f.dir.path() + "/not.pdf"));
  QCOMPARE(PdfText(previewFile).count("06801000"), 5);
}

// The grid's rows are printed as the page holds them, before the image has them: here a
// row cut off by a lower count and brought back by Down, with every right granted.
void PrintTest::codeListPrintsTheWorkingGrid_data() {
  QTest::addColumn<int>("selection");  // 0 none, 1 "Mind kijelöl", 2 rights of rows 3..5
  QTest::addColumn<int>("range");
  QTest::addColumn<int>("first");
  QTest::addColumn<int>("last");
  QTest::newRow("everything") << 0 << int(QPrinter::AllPages) << 1 << 6;
  QTest::newRow("selection after Mind kijelöl") << 1 << int(QPrinter::Selection) << 1 << 6;
  QTest::newRow("selection of rows 3 to 5") << 2 << int(QPrinter::Selection) << 3 << 5;
  QTest::newRow("page numbers 2 to 3") << 1 << int(QPrinter::PageRange) << 2 << 3;
}

void PrintTest::codeListPrintsTheWorkingGrid() {
  QFETCH(int, selection);
  QFETCH(int, range);
  QFETCH(int, first);
  QFETCH(int, last);
  Fixture f;
  FillLists(f, 7, 0);
  f.window->showPage(PageId::Codes);
  CodesPage& page = f.codesPage();
  StoreCodeCount(f.session.record.image, f.window->layout(), 5);
  page.setCodeRowCount(6);
  page.appendRow();
  QCOMPARE(page.grid().rowCount(), 7);
  if (selection == 1) f.get<QAction>("Mindkijell1")->trigger();
  if (selection == 2) {
    QAbstractItemModel* cells = page.view()->model();
    page.view()->followColumn(2);
    page.view()->selectionModel()->select(QItemSelection(cells->index(2, 2), cells->index(4, 5)),
                                          QItemSelectionModel::ClearAndSelect);
  }
  // Away from the grid, which would store itself on leaving.
  f.get<QComboBox>("cbTipus")->setFocus();
  const QString text = PrintedText(f, QPrinter::PrintRange(range), 2, 3);
  for (int k = 1; k <= 7; ++k) {
    QCOMPARE(text.contains(QString::fromStdString(RowNumberText(k)) + "|"),
             k >= first && k <= last);
  }
  // Row 6 as the grid holds it now, not as the image does.
  const QString row6 = QString::fromStdString(Cp1250ToUtf8(CodeEntryText(page.grid(), 6)));
  QVERIFY(row6.endsWith("|Loc,Nat,Mob,Int,"));
  if (last == 6) QVERIFY2(text.contains(row6), qPrintable(text));
}

// The list's items as the page holds them, a number added since the last flush among them.
void PrintTest::numberListPrintsTheWorkingList_data() {
  QTest::addColumn<int>("range");
  QTest::addColumn<QStringList>("printed");
  const QStringList all = {"0680100001", "0680100002", "0680100003",
                           "0680100004", "0680100005", "0615550000"};
  QTest::newRow("everything") << int(QPrinter::AllPages) << all;
  QTest::newRow("the items selected")
      << int(QPrinter::Selection) << QStringList{"0680100002", "0615550000"};
  QTest::newRow("page numbers 5 to 6")
      << int(QPrinter::PageRange) << QStringList{"0680100005", "0615550000"};
}

void PrintTest::numberListPrintsTheWorkingList() {
  QFETCH(int, range);
  QFETCH(QStringList, printed);
  Fixture f;
  FillLists(f, 1, 5);
  f.window->showPage(PageId::Numbers);
  f.get<QLineEdit>("MEfreecall")->setText("06 1 555 0000");
  f.get<QPushButton>("BTNujszam1")->click();
  auto* list = f.get<QListWidget>("lbFreeCall");
  QCOMPARE(list->count(), 6);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                    list->visualItemRect(list->item(1)).center());
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    list->visualItemRect(list->item(5)).center());
  QCOMPARE(f.numbersPage().selectedItems(), (std::set<int>{1, 5}));
  const QString text = PrintedText(f, QPrinter::PrintRange(range), 5, 6);
  QStringList lines;
  for (const QString& line : text.split('\n')) {
    if (line.startsWith(QString(10, ' ') + "06")) lines << line.trimmed();
  }
  QCOMPARE(lines, printed);
}

void PrintTest::windowImageAndPageSetup() {
  if (!HavePoppler()) QSKIP("pdftotext (poppler-utils) is not installed");
  Fixture f;
  FillLists(f, 120, 0);
  // The page setup's choice is the printer's for the next print.
  f.printing().runPageSetup = [](QPageSetupDialog& dialog) {
    dialog.printer()->setPageSize(QPageSize(QPageSize::A5));
    return true;
  };
  f.get<QAction>("Oldalbellts1")->trigger();
  const QString codes = f.dir.path() + "/a5.pdf";
  Shown shown;
  AnswerWithPdf(f.printing(), shown, codes);
  f.window->showPage(PageId::Codes);
  f.get<QAction>("Nyomtats1")->trigger();
  const QString info = PdfInfo(codes);
  QVERIFY2(info.contains("(A5)"), qPrintable(info));
  // A smaller sheet takes fewer lines, so the 120 codes need more pages than on A4.
  QVERIFY(PdfText(codes).contains("Oldal:3"));

  const QString window = f.dir.path() + "/window.pdf";
  AnswerWithPdf(f.printing(), shown, window);
  f.window->showPage(PageId::Lines);
  f.get<QAction>("Nyomtats1")->trigger();
  QVERIFY(PdfInfo(window).contains(QRegularExpression("Pages:\\s+1\\n")));
  // The window's own texts are in the image.
  QVERIFY(QFileInfo(window).size() > 5000);
}

void PrintTest::printDialogOffersThePreview() {
  Fixture f;
  FillLists(f, 4, 0);
  PrintKind previewed = PrintKind::Nothing;
  f.printing().runPreview = [&](QPrinter&, PrintKind kind, const PrintData&) { previewed = kind; };
  bool clicked = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    for (auto* button : dialog->findChildren<QPushButton*>()) {
      if (button->text() == "Nyomtatási kép...") {
        clicked = true;
        button->click();
        return;
      }
    }
    dialog->reject();
  });
  f.window->showPage(PageId::Codes);
  f.get<QAction>("Nyomtats1")->trigger();
  QVERIFY(clicked);
  QCOMPARE(previewed, PrintKind::Codes);
}

// The window and the command-line tool print one date form, whatever the desktop's locale.
void PrintTest::headingDateIsTheCommandLinesForm() {
  Fixture f;
  FillLists(f, 2, 0);
  f.window->showPage(PageId::Codes);
  const QString first = PrintedText(f, QPrinter::AllPages).section('\n', 0, 0);
  const QString cli = QString::fromStdString(ReportDateTime(std::time(nullptr)));
  const QRegularExpression form(
      "^ {10}Személyi kódok:/tmp/iroda\\.pi4 {10}\\d{4}\\.\\d\\d\\.\\d\\d\\. "
      "\\d\\d:\\d\\d:\\d\\d$");
  QVERIFY2(form.match(first).hasMatch(), qPrintable(first + " / " + cli));
  // The same day as the command line would print now (a test run across midnight aside).
  QCOMPARE(first.right(cli.size()).left(12), cli.left(12));
}

// A form feed or an escape sequence in a stored text would start a sheet or drive the
// printer; they are printed as the command line shows them.
void PrintTest::controlBytesFromTheDatabasePrintAsEscapes() {
  Fixture f;
  FillLists(f, 2, 2);
  DatabaseRecord& record = f.session.record;
  record.site.set("Iroda\f2. emelet");
  std::vector<std::string> items = {"0680\x1B[5m1     ", "112             "};
  FlushFreeNumbers(record.image, f.window->layout(), items);
  f.window->DecodeImage();
  f.window->showPage(PageId::Codes);
  const QString codes = PrintedText(f, QPrinter::AllPages);
  QVERIFY2(codes.contains("Telepítési hely:Iroda\\x0C2. emelet"), qPrintable(codes));
  QVERIFY(!codes.contains('\f'));
  f.window->showPage(PageId::Numbers);
  const QString numbers = PrintedText(f, QPrinter::AllPages);
  QVERIFY2(numbers.contains("0680\\x1B[5m1"), qPrintable(numbers));
  QVERIFY(!numbers.contains(QChar(0x1B)));
}

TARVELO_TEST_MAIN(PrintTest)
#include "PrintTest.moc"
