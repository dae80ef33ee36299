// The printed code and number lists as text lines cut into pages. The printed sheets, the
// preview, the command-line tool's files and the tests all take their text from here; a
// printer only draws the lines and starts a new sheet for each page.
#pragma once

#include <array>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "model/CodeTable.h"

namespace tarvelo {

constexpr const char* kPrintJobTitle = "Tarvelo nyomtatás";

struct ReportLine {
  std::string text;  // Windows-1250
  bool bold = false;
  bool operator==(const ReportLine&) const = default;
};
using ReportPage = std::vector<ReportLine>;
struct Report {
  std::vector<ReportPage> pages;
};

// What the print dialog chose: everything, the selection, or a range of page numbers that
// stand for row or item numbers.
enum class PrintScope { All, Selection, PageNumbers };

struct RowRange {
  int first = 1;
  int last = 0;  // empty when last < first
};

// The code grid's rows to print. `rowCount` includes the heading row; the selection is the
// grid's top and bottom selected row. Numbers outside the grid are brought into it.
RowRange CodeRowsToPrint(PrintScope scope, int rowCount, RowRange selection, RowRange pages);

// The number list's items to print, 0-based indexes in list order. `selected` holds
// 0-based indexes; `pages` counts items from 1.
std::vector<int> NumberItemsToPrint(PrintScope scope, int count, const std::set<int>& selected,
                                    RowRange pages);

struct CodeListInput {
  std::string fileName;  // Windows-1250, the open database's name as shown
  std::string site;      // Windows-1250
  std::string owner;     // Windows-1250
  std::string dateTime;  // Windows-1250, when the list is printed
  const CodeGrid* grid = nullptr;
  RowRange rows;
};

struct NumberListInput {
  std::string fileName;            // Windows-1250
  std::vector<std::string> items;  // Windows-1250, the items to print in order
};

// Texts from the database and the file name are printed with their control bytes escaped,
// as the command line shows them.
//
// A page holds at most `linesPerPage` lines, except that every page gets its heading and at
// least one entry, however short the page. A new page starts with its heading; the entry
// that did not fit on the page before comes after it. An entry of the code list and the
// rule under it stay together.
Report CodeListReport(const CodeListInput& input, int linesPerPage);
Report NumberListReport(const NumberListInput& input, int linesPerPage);

// The parts of a code-list entry, for rows counted from 1.
std::string RowNumberText(int k);                                  // N(k)
std::string RightsText(const std::array<std::string, 4>& rights);  // J(k)
std::string CodeEntryText(const CodeGrid& grid, int k);            // E(k)

// The date and time in the list's heading, local time: the window and the command-line
// tool print the same form, e.g. "2024.03.05. 14:07:00".
std::string ReportDateTime(std::time_t when);

// A UTF-8 text, a file name say, as a report line holds it: a character the code page lacks
// shows as "?".
std::string ReportText(const std::string& utf8);

// The report as UTF-8 text: lines ended by a newline, pages parted by a form feed.
std::string ReportAsText(const Report& report);

}  // namespace tarvelo
