// The printed code and number lists from any stored table, free-number list and heading
// texts, over any page length and any choice of rows: the text form holds no raw control
// byte but its line and page breaks, and both forms stay within a size that follows from
// what they print, whatever the page length.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "files/TextPdf.h"
#include "fuzz/CodeFuzz.h"
#include "fuzz/FuzzCheck.h"
#include "model/FreeNumbers.h"
#include "model/Reports.h"

using namespace tarvelo;
using namespace tarvelo::fuzz;

namespace {

PrintScope AnyScope(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
      return PrintScope::All;
    case 1:
      return PrintScope::Selection;
    default:
      return PrintScope::PageNumbers;
  }
}

RowRange AnyRange(FuzzedDataProvider& in) {
  return RowRange{in.ConsumeIntegralInRange<int>(-3, 1100),
                  in.ConsumeIntegralInRange<int>(-3, 1100)};
}

// UTF-8 as the text form writes it: no C0 control but LF and FF, no DEL, no C1 control
// (U+0080..U+009F, written C2 80..C2 9F).
bool OnlyPrintable(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<uint8_t>(text[i]);
    if (c < 0x20 && c != '\n' && c != '\f') return false;
    if (c == 0x7F) return false;
    if (c == 0xC2 && i + 1 < text.size() && static_cast<uint8_t>(text[i + 1]) < 0xA0) return false;
  }
  return true;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// `entries` lines of entries at most, each line at most `lineBytes` long.
void CheckReport(const Report& report, size_t entries, size_t lineBytes, int linesPerPage) {
  // Every page carries at least one entry; an empty list is one page of heading.
  FUZZ_CHECK(!report.pages.empty());
  FUZZ_CHECK(report.pages.size() <= std::max<size_t>(entries, 1));
  size_t lines = 0;
  for (const ReportPage& page : report.pages) {
    // A page longer than asked only by its heading and one entry with its rule.
    FUZZ_CHECK(page.size() <= static_cast<size_t>(std::max(linesPerPage, 0)) + 12);
    for (const ReportLine& line : page) FUZZ_CHECK(line.text.size() <= lineBytes);
    lines += page.size();
  }
  FUZZ_CHECK(lines <= report.pages.size() * 12 + 2 * entries);

  const std::string text = ReportAsText(report);
  FUZZ_CHECK(OnlyPrintable(text));
  FUZZ_CHECK(Count(text, "\f") == report.pages.size() - 1);
  // Windows-1250 to UTF-8 takes at most three bytes for one.
  FUZZ_CHECK(text.size() <= lines * (3 * lineBytes + 1));

  const TextPdfLayout layout;
  const std::string pdf = TextPdf(report, layout, kPrintJobTitle);
  FUZZ_CHECK(pdf.rfind("%PDF-", 0) == 0);
  FUZZ_CHECK(pdf.size() >= 6 && pdf.compare(pdf.size() - 6, 6, "%%EOF\n") == 0);
  // A page object's head; a text on a page cannot hold the line break before it.
  FUZZ_CHECK(Count(pdf, " 0 obj\n<< /Type /Page /Parent ") == report.pages.size());
  // A character is drawn in four bytes at most (an octal escape); each line and page adds
  // its own operators.
  FUZZ_CHECK(pdf.size() <= 4 * text.size() + 64 * lines + 1024 * report.pages.size() + 4096);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  CodeStart s = StartFromAnyTable(in);
  // The free-number list: any bytes over its start, so entries hold any control byte.
  const std::string numbers =
      in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, 16 * 12));
  s.image.SetBytes(s.layout.Offset(Field::FreeNumbers), numbers);
  const std::string fileName = in.ConsumeRandomLengthString(300);
  const std::string site = in.ConsumeRandomLengthString(255);
  const std::string owner = in.ConsumeRandomLengthString(255);
  const int linesPerPage = in.ConsumeIntegralInRange<int>(-2, 120);
  const std::string dateTime =
      ReportDateTime(static_cast<std::time_t>(in.ConsumeIntegralInRange<int64_t>(0, 253402300799)));
  // An escaped byte takes four characters. A heading line holds one of the texts; a line of
  // the code list two codes of up to 254 characters each (a record length any byte may give,
  // where the table has room for it).
  const size_t lineBytes =
      std::max(4 * std::max({fileName.size(), site.size(), owner.size()}) + dateTime.size(),
               2 * 4 * size_t{254}) +
      200;

  CodeListInput codes;
  codes.fileName = fileName;
  codes.site = site;
  codes.owner = owner;
  codes.dateTime = dateTime;
  codes.grid = &s.grid;
  codes.rows = CodeRowsToPrint(AnyScope(in), s.grid.rowCount(), AnyRange(in), AnyRange(in));
  FUZZ_CHECK(codes.rows.last < codes.rows.first ||
             (codes.rows.first >= 1 && codes.rows.last < s.grid.rowCount()));
  // A few hundred rows reach every page rule (page numbers of two and three digits among
  // them); the whole of a large table would only make each run slower.
  codes.rows.last = std::min(codes.rows.last, codes.rows.first + 239);
  const size_t codeLines =
      codes.rows.last < codes.rows.first ? 0 : (codes.rows.last - codes.rows.first) / 2 + 1;
  CheckReport(CodeListReport(codes, linesPerPage), codeLines, lineBytes, linesPerPage);

  const std::vector<std::string> items = DecodeFreeNumbers(s.image, s.layout);
  std::set<int> selected;
  for (int i = in.ConsumeIntegralInRange<int>(0, 4); i > 0; --i)
    selected.insert(in.ConsumeIntegralInRange<int>(-2, 250));
  NumberListInput list;
  list.fileName = fileName;
  const int count = static_cast<int>(items.size());
  for (int i : NumberItemsToPrint(AnyScope(in), count, selected, AnyRange(in))) {
    FUZZ_CHECK(i >= 0 && i < count);
    list.items.push_back(items[static_cast<size_t>(i)]);
  }
  CheckReport(NumberListReport(list, linesPerPage), list.items.size(), lineBytes, linesPerPage);
  return 0;
}
