#include "model/Reports.h"

#include <algorithm>
#include <ctime>
#include <functional>

#include "model/Text.h"

namespace tarvelo {
namespace {

const std::string kMargin(10, ' ');
const std::string kGap(10, ' ');
const std::string kH1 =
    "Sorsz. |K\xF3"
    "d      |Jog              ";
const std::string kR1 = "-------+---------+-----------------";
const std::string kH2 =
    "Sorsz. |K\xF3"
    "d      |Jog        ";
const std::string kR2 = "-------+---------+-----------";
const char* const kRightAbbreviations[4] = {"Loc,", "Nat,", "Mob,", "Int,"};

// The program's own words, written in UTF-8 here, as the report holds them.
std::string Cp(const char* utf8) {
  return Utf8ToCp1250(utf8).value_or(std::string());
}

std::string PadTo(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

// A line of two halves. The right half starts where the first page's right-hand heading
// does, whatever the left half holds: the shorter heading of the later pages and the entries,
// a column narrower than their heading, would otherwise stand left of their columns.
std::string TwoHalves(const std::string& left, const std::string& right) {
  return kMargin + PadTo(left, kH1.size()) + kGap + right;
}

using Block = std::vector<ReportLine>;

Report Paginate(const Block& firstHeading, const std::function<Block(int page)>& nextHeading,
                const std::vector<Block>& blocks, int linesPerPage) {
  Report report;
  report.pages.push_back(firstHeading);
  bool pageHasEntry = false;
  for (const Block& block : blocks) {
    ReportPage* page = &report.pages.back();
    if (pageHasEntry && static_cast<int>(page->size() + block.size()) > linesPerPage) {
      report.pages.push_back(nextHeading(static_cast<int>(report.pages.size()) + 1));
      page = &report.pages.back();
    }
    page->insert(page->end(), block.begin(), block.end());
    pageHasEntry = true;
  }
  return report;
}

ReportLine Bold(std::string text) {
  return {std::move(text), true};
}

}  // namespace

RowRange CodeRowsToPrint(PrintScope scope, int rowCount, RowRange selection, RowRange pages) {
  RowRange r{1, rowCount - 1};
  if (scope == PrintScope::Selection) r = selection;
  if (scope == PrintScope::PageNumbers) r = pages;
  r.first = std::max(r.first, 1);
  r.last = std::min(r.last, rowCount - 1);
  return r;
}

std::vector<int> NumberItemsToPrint(PrintScope scope, int count, const std::set<int>& selected,
                                    RowRange pages) {
  std::vector<int> items;
  for (int i = 0; i < count; ++i) {
    const bool in = scope == PrintScope::All         ? true
                    : scope == PrintScope::Selection ? selected.count(i) > 0
                                                     : i + 1 >= pages.first && i + 1 <= pages.last;
    if (in) items.push_back(i);
  }
  return items;
}

std::string RowNumberText(int k) {
  std::string text = std::to_string(k);
  if (text.size() < 7) text.insert(0, 7 - text.size(), ' ');
  for (size_t i = text.size() - 4; i < text.size(); ++i) {
    if (text[i] == ' ') text[i] = '0';
  }
  return text;
}

std::string RightsText(const std::array<std::string, 4>& rights) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    if (!rights[i].empty() && rights[i][0] == 'I') text += kRightAbbreviations[i];
  }
  return PadTo(text, 16);
}

std::string CodeEntryText(const CodeGrid& grid, int k) {
  const CodeRow& row = grid.row(k);
  return RowNumberText(k) + "|" + PadTo(EscapeControlBytes(row.code), 9) + "|" +
         RightsText(row.rights);
}

Report CodeListReport(const CodeListInput& input, int linesPerPage) {
  // Texts from the database (or a file name) with a control byte in them would move the
  // printer's head or start a new sheet.
  const Block first = {
      Bold(kMargin + Cp("Személyi kódok:") + EscapeControlBytes(input.fileName) + kGap +
           input.dateTime),
      Bold(kMargin + Cp("Telepítési hely:") + EscapeControlBytes(input.site)),
      Bold(kMargin + Cp("Telepítő       :") + EscapeControlBytes(input.owner)),
      Bold(""),
      Bold(kMargin + "Oldal:1"),
      Bold(""),
      Bold(TwoHalves(kH1, kH1)),
      Bold(TwoHalves(kR1, kR1)),
  };
  const auto next = [](int page) {
    return Block{Bold(""), Bold(kMargin + "Oldal:" + std::to_string(page)), Bold(""),
                 Bold(TwoHalves(kH2, kH2)), Bold(TwoHalves(kR2, kR2))};
  };
  std::vector<Block> blocks;
  const RowRange rows = input.rows;
  for (int r = rows.first; input.grid && r <= rows.last; r += 2) {
    const std::string left = CodeEntryText(*input.grid, r);
    const std::string line =
        r + 1 <= rows.last ? TwoHalves(left, CodeEntryText(*input.grid, r + 1)) : kMargin + left;
    blocks.push_back({{line, false}, {TwoHalves(kR1, kR1), false}});
  }
  return Paginate(first, next, blocks, linesPerPage);
}

Report NumberListReport(const NumberListInput& input, int linesPerPage) {
  const std::string fileName = EscapeControlBytes(input.fileName);
  const auto heading = [&](int page) {
    return Block{Bold(kMargin + Cp("Szabadon hívható számok ") + fileName +
                      "              Oldal:" + std::to_string(page)),
                 {"", false}};
  };
  std::vector<Block> blocks;
  for (const auto& item : input.items)
    blocks.push_back({{kMargin + EscapeControlBytes(item), false}});
  return Paginate(heading(1), heading, blocks, linesPerPage);
}

std::string ReportDateTime(std::time_t when) {
  std::tm local{};
  ::localtime_r(&when, &local);
  char text[64];
  const size_t n = std::strftime(text, sizeof text, "%Y.%m.%d. %H:%M:%S", &local);
  return std::string(text, n);
}

std::string ReportText(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    size_t n = 1;
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0xC0) n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    while (i + n > utf8.size()) --n;
    out += Utf8ToCp1250(std::string_view(utf8).substr(i, n)).value_or("?");
    i += n;
  }
  return out;
}

std::string ReportAsText(const Report& report) {
  std::string text;
  for (size_t p = 0; p < report.pages.size(); ++p) {
    if (p > 0) text += '\f';
    for (const auto& line : report.pages[p]) text += Cp1250ToUtf8(line.text) + "\n";
  }
  return text;
}

}  // namespace tarvelo
