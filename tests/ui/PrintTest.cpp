#include <QAction>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QtTest>

#include "model/FreeNumbers.h"
#include "model/Text.h"
#include "tests/ui/Fixture.h"
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
  void windowImageAndPageSetup();
  void printDialogOffersThePreview();
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
    AnswerWithPdf(f.window->printing(), shown, QString(), QPrinter::AllPages, 0, 0,
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
    AnswerWithPdf(f.window->printing(), shown, QString());
    f.window->showPage(static_cast<PageId>(page));
    QVERIFY(!f.get<QAction>("Nyomtats1")->isEnabled());
    f.window->printing().Print(page);
    QCOMPARE(shown.count, 0);
  }
  f.window->showPage(PageId::General);
  QVERIFY(f.get<QAction>("Nyomtats1")->isEnabled());
  QCOMPARE(f.get<QAction>("Nyomtats1")->shortcut(), QKeySequence("Ctrl+P"));
  QCOMPARE(f.window->printing().printer().docName(), QString("Tarvelo nyomtatás"));
}

void PrintTest::codeListPrintsToPdf() {
  if (!HavePoppler()) QSKIP("pdftotext (poppler-utils) is not installed");
  Fixture f;
  FillLists(f, 150, 0);
  const QString file = f.dir.path() + "/codes.pdf";
  Shown shown;
  AnswerWithPdf(f.window->printing(), shown, file);
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
  AnswerWithPdf(f.window->printing(), shown, file, QPrinter::PageRange, 3, 4);
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
  PrintData data = PrintDataFromImage(f.session.record, f.window->layout(), "x.pin");
  data.codeSelection = {4, 5};
  data.selectedNumbers = {1, 3};
  const QString file = f.dir.path() + "/sel.pdf";
  for (PrintKind kind : {PrintKind::Codes, PrintKind::Numbers}) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setPrintRange(QPrinter::Selection);
    f.window->printing().PrintTo(printer, kind, data);
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
  AnswerWithPdf(f.window->printing(), shown, f.dir.path() + "/not.pdf", QPrinter::AllPages, 0, 0,
                Printing::Choice::Preview);
  PrintKind previewed = PrintKind::Nothing;
  f.window->printing().runPreview = [&](QPrinter&, PrintKind kind, const PrintData& d) {
    previewed = kind;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(previewFile);
    f.window->printing().PrintTo(printer, kind, d);
  };
  f.window->showPage(PageId::Numbers);
  f.get<QAction>("Nyomtats1")->trigger();
  QCOMPARE(previewed, PrintKind::Numbers);
  QVERIFY(!QFileInfo::exists(f.dir.path() + "/not.pdf"));
  QCOMPARE(PdfText(previewFile).count("06801000"), 5);
}

void PrintTest::windowImageAndPageSetup() {
  if (!HavePoppler()) QSKIP("pdftotext (poppler-utils) is not installed");
  Fixture f;
  FillLists(f, 120, 0);
  // The page setup's choice is the printer's for the next print.
  f.window->printing().runPageSetup = [](QPageSetupDialog& dialog) {
    dialog.printer()->setPageSize(QPageSize(QPageSize::A5));
    return true;
  };
  f.get<QAction>("Oldalbellts1")->trigger();
  const QString codes = f.dir.path() + "/a5.pdf";
  Shown shown;
  AnswerWithPdf(f.window->printing(), shown, codes);
  f.window->showPage(PageId::Codes);
  f.get<QAction>("Nyomtats1")->trigger();
  const QString info = PdfInfo(codes);
  QVERIFY2(info.contains("(A5)"), qPrintable(info));
  // A smaller sheet takes fewer lines, so the 120 codes need more pages than on A4.
  QVERIFY(PdfText(codes).contains("Oldal:3"));

  const QString window = f.dir.path() + "/window.pdf";
  AnswerWithPdf(f.window->printing(), shown, window);
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
  f.window->printing().runPreview = [&](QPrinter&, PrintKind kind, const PrintData&) {
    previewed = kind;
  };
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

TARVELO_TEST_MAIN(PrintTest)
#include "PrintTest.moc"
