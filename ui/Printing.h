// "Oldalbeállítás..." and "Nyomtatás...": the page setup and print dialogs over one printer,
// the preview, and the drawing of the core's report lines or of the window on a printer.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "model/CodeTable.h"
#include "model/DatabaseRecord.h"
#include "model/Reports.h"

class QFont;
class QPageSetupDialog;
class QPrintDialog;
class QPrinter;
class QWidget;

namespace tarvelo {

class CodesPage;
class NumbersPage;

// What the lists are printed from, taken when "Nyomtatás..." starts: the code grid and the
// number list as the pages hold them, with their selections.
struct PrintData {
  std::string fileName;  // UTF-8, the open database's name; empty for a new one
  std::string site;      // Windows-1250
  std::string owner;     // Windows-1250
  CodeGrid codes;
  RowRange codeSelection{1, 0};      // the grid's selected rows, top to bottom
  std::vector<std::string> numbers;  // Windows-1250
  std::set<int> selectedNumbers;     // 0-based
};

// The pages' working copies, not the image: a code typed or a number added since the last
// encode or flush is printed too, and the selections are the pages' own.
PrintData PrintDataFromPages(const DatabaseRecord& record, const std::string& fileName,
                             const CodesPage& codes, const NumbersPage& numbers);

enum class PrintKind { Window, Codes, Numbers, Nothing };
PrintKind PrintKindForPage(int pageIndex);

// The dialog's options, limits and range as the page shown needs them. In the lists the
// dialog's page numbers stand for row and item numbers.
void SetUpPrintDialog(QPrintDialog& dialog, PrintKind kind, const PrintData& data);

QFont ReportFont(bool bold);
// The lines a list prints with the printer's range (everything, the selection or the page
// numbers), cut for pages of `linesPerPage` lines; empty for the window and for nothing.
Report ListReport(const QPrinter& printer, PrintKind kind, const PrintData& data, int linesPerPage);
// Draws the report made for the printer's page height, a sheet for each page.
void PaintReport(QPrinter& printer, const std::function<Report(int linesPerPage)>& make);
// The window as it is shown, at its size on the screen unless the sheet is narrower.
void PaintWindow(QPrinter& printer, QWidget& window);

class Printing : public QObject {
 public:
  using DataSource = std::function<PrintData()>;
  Printing(QWidget* window, DataSource source);
  ~Printing() override;

  QPrinter& printer();
  void PageSetup();
  // Runs the print dialog for the page shown and prints on OK, or previews.
  void Print(int pageIndex);
  // What is drawn for that kind, with the printer's range: the sheets and the preview.
  void PrintTo(QPrinter& printer, PrintKind kind, const PrintData& data);

  enum class Choice { Cancel, Print, Preview };
  // Tests answer the dialogs here; by default they are shown.
  std::function<Choice(QPrintDialog&)> runPrintDialog;
  std::function<bool(QPageSetupDialog&)> runPageSetup;
  std::function<void(QPrinter&, PrintKind, const PrintData&)> runPreview;

 private:
  QWidget* window_;
  DataSource source_;
  std::unique_ptr<QPrinter> printer_;
};

}  // namespace tarvelo
