#include "ui/Printing.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QFontMetrics>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QWidget>
#include <algorithm>
#include <ctime>

#include "model/Pages.h"
#include "ui/CodesPage.h"
#include "ui/ErrorGuard.h"
#include "ui/NumbersPage.h"
#include "ui/QtText.h"

namespace tarvelo {
namespace {

PrintScope ScopeOf(const QPrinter& printer) {
  switch (printer.printRange()) {
    case QPrinter::Selection:
      return PrintScope::Selection;
    case QPrinter::PageRange:
      return PrintScope::PageNumbers;
    default:
      return PrintScope::All;
  }
}

// The same form as the command-line tool's, whatever the desktop's locale says.
std::string Now() {
  return ReportDateTime(std::time(nullptr));
}

}  // namespace

PrintData PrintDataFromPages(const DatabaseRecord& record, const std::string& fileName,
                             const CodesPage& codes, const NumbersPage& numbers) {
  PrintData data;
  data.fileName = fileName;
  data.site = record.site.text();
  data.owner = record.owner.text();
  data.codes = codes.grid();
  data.codeSelection = codes.selectedRows();
  data.numbers = numbers.numbers().items();
  data.selectedNumbers = numbers.selectedItems();
  return data;
}

PrintKind PrintKindForPage(int pageIndex) {
  if (pageIndex >= static_cast<int>(PageId::General) &&
      pageIndex <= static_cast<int>(PageId::NumberPlan))
    return PrintKind::Window;
  if (pageIndex == static_cast<int>(PageId::Codes)) return PrintKind::Codes;
  if (pageIndex == static_cast<int>(PageId::Numbers)) return PrintKind::Numbers;
  return PrintKind::Nothing;
}

void SetUpPrintDialog(QPrintDialog& dialog, PrintKind kind, const PrintData& data) {
  using D = QAbstractPrintDialog;
  const D::PrintDialogOptions common = D::PrintToFile | D::PrintShowPageSize;
  // Setting the limits offers a page range by itself, so the options come after them.
  int last = 0;
  switch (kind) {
    case PrintKind::Window:
      dialog.printer()->setPrintRange(QPrinter::AllPages);
      dialog.setMinMax(0, 0);
      dialog.setOptions(common);
      return;
    case PrintKind::Codes:
      last = data.codes.rowCount() - 1;
      break;
    case PrintKind::Numbers:
      last = static_cast<int>(data.numbers.size());
      break;
    case PrintKind::Nothing:
      return;
  }
  // An empty list still offers "1 to 1": the dialog takes no range that ends before it
  // starts, and the list then prints its heading alone.
  last = std::max(last, 1);
  dialog.setMinMax(1, last);
  dialog.setFromTo(1, last);
  dialog.setOptions(common | D::PrintPageRange | D::PrintSelection);
}

QFont ReportFont(bool bold) {
  QFont font("Monospace");
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSize(9);
  font.setBold(bold);
  return font;
}

void PaintReport(QPrinter& printer, const std::function<Report(int linesPerPage)>& make) {
  QPainter painter;
  if (!painter.begin(&printer)) return;
  const QFont regular = ReportFont(false);
  const QFont bold = ReportFont(true);
  painter.setFont(bold);
  const QFontMetrics boldMetrics = painter.fontMetrics();
  painter.setFont(regular);
  const QFontMetrics metrics = painter.fontMetrics();
  const int spacing = std::max(metrics.lineSpacing(), boldMetrics.lineSpacing());
  const int ascent = std::max(metrics.ascent(), boldMetrics.ascent());
  const int height = painter.viewport().height();
  const Report report = make(std::max(1, height / spacing));
  for (size_t p = 0; p < report.pages.size(); ++p) {
    if (p > 0) printer.newPage();
    int y = ascent;
    for (const ReportLine& line : report.pages[p]) {
      painter.setFont(line.bold ? bold : regular);
      painter.drawText(0, y, FromCp1250(line.text));
      y += spacing;
    }
  }
  painter.end();
}

void PaintWindow(QPrinter& printer, QWidget& window) {
  QPainter painter;
  if (!painter.begin(&printer)) return;
  const double width = std::max(1, window.width());
  const double onScreen = static_cast<double>(printer.logicalDpiX()) / window.logicalDpiX();
  const double scale = std::min(onScreen, painter.viewport().width() / width);
  painter.scale(scale, scale);
  window.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
  painter.end();
}

Printing::Printing(QWidget* window, DataSource source)
    : QObject(window), window_(window), source_(std::move(source)) {
  runPrintDialog = [](QPrintDialog& dialog) {
    // The preview is offered beside the print button; the dialog's choices apply to both.
    bool preview = false;
    if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
      QPushButton* button = buttons->addButton("Nyomtatási kép...", QDialogButtonBox::ActionRole);
      QObject::connect(button, &QPushButton::clicked, &dialog, [&] {
        preview = true;
        dialog.accept();
      });
    }
    if (dialog.exec() != QDialog::Accepted) return Choice::Cancel;
    return preview ? Choice::Preview : Choice::Print;
  };
  runPageSetup = [](QPageSetupDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
  runPreview = [this](QPrinter& printer, PrintKind kind, const PrintData& data) {
    QPrintPreviewDialog preview(&printer, window_);
    preview.setWindowTitle("Nyomtatási kép");
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            Guarded([&](QPrinter* p) { PrintTo(*p, kind, data); }));
    preview.exec();
  };
}

Printing::~Printing() = default;

QPrinter& Printing::printer() {
  if (!printer_) {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setDocName(Q(kPrintJobTitle));
  }
  return *printer_;
}

void Printing::PageSetup() {
  QPageSetupDialog dialog(&printer(), window_);
  runPageSetup(dialog);
}

void Printing::Print(int pageIndex) {
  const PrintKind kind = PrintKindForPage(pageIndex);
  if (kind == PrintKind::Nothing) return;
  const PrintData data = source_();
  QPrintDialog dialog(&printer(), window_);
  SetUpPrintDialog(dialog, kind, data);
  const Choice choice = runPrintDialog(dialog);
  if (choice == Choice::Cancel) return;
  printer().setDocName(Q(kPrintJobTitle));
  if (choice == Choice::Preview) {
    runPreview(printer(), kind, data);
  } else {
    PrintTo(printer(), kind, data);
  }
}

Report ListReport(const QPrinter& printer, PrintKind kind, const PrintData& data,
                  int linesPerPage) {
  const PrintScope scope = ScopeOf(printer);
  const RowRange pages{printer.fromPage(), printer.toPage()};
  switch (kind) {
    case PrintKind::Codes: {
      CodeListInput input;
      input.fileName = ReportText(data.fileName);
      input.site = data.site;
      input.owner = data.owner;
      input.dateTime = Now();
      input.grid = &data.codes;
      input.rows = CodeRowsToPrint(scope, data.codes.rowCount(), data.codeSelection, pages);
      return CodeListReport(input, linesPerPage);
    }
    case PrintKind::Numbers: {
      NumberListInput input;
      input.fileName = ReportText(data.fileName);
      for (int i : NumberItemsToPrint(scope, static_cast<int>(data.numbers.size()),
                                      data.selectedNumbers, pages))
        input.items.push_back(data.numbers[i]);
      return NumberListReport(input, linesPerPage);
    }
    case PrintKind::Window:
    case PrintKind::Nothing:
      return {};
  }
  return {};
}

void Printing::PrintTo(QPrinter& printer, PrintKind kind, const PrintData& data) {
  switch (kind) {
    case PrintKind::Window:
      PaintWindow(printer, *window_);
      return;
    case PrintKind::Codes:
    case PrintKind::Numbers:
      PaintReport(printer, [&](int lines) { return ListReport(printer, kind, data, lines); });
      return;
    case PrintKind::Nothing:
      return;
  }
}

}  // namespace tarvelo
