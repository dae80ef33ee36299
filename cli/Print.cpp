#include "cli/Print.h"

#include <cctype>

#include "files/TextPdf.h"

namespace tarvelo {

std::optional<RowRange> ParseRowRange(const std::string& text) {
  const auto number = [](const std::string& s) -> std::optional<int> {
    if (s.empty() || s.size() > 6) return std::nullopt;
    for (char c : s) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    }
    return std::stoi(s);
  };
  const size_t dash = text.find('-');
  const auto first = number(text.substr(0, dash));
  const auto last = dash == std::string::npos ? first : number(text.substr(dash + 1));
  if (!first || !last || *first < 1 || *last < *first) return std::nullopt;
  return RowRange{*first, *last};
}

Report BuildReport(const PrintRequest& request, const DatabaseRecord& record, const ImageView& view,
                   int linesPerPage) {
  const PrintScope scope = request.rows ? PrintScope::PageNumbers : PrintScope::All;
  const RowRange pages = request.rows.value_or(RowRange{});
  if (request.kind == ListKind::Codes) {
    CodeListInput input;
    input.fileName = request.fileName;
    input.site = record.site.text();
    input.owner = record.owner.text();
    input.dateTime = request.dateTime;
    input.grid = &view.codes;
    input.rows = CodeRowsToPrint(scope, view.codes.rowCount(), {}, pages);
    return CodeListReport(input, linesPerPage);
  }
  NumberListInput input;
  input.fileName = request.fileName;
  for (int i : NumberItemsToPrint(scope, static_cast<int>(view.freeNumbers.size()), {}, pages))
    input.items.push_back(view.freeNumbers[i]);
  return NumberListReport(input, linesPerPage);
}

int ReportLinesPerPage() {
  return TextPdfLayout{}.LinesPerPage();
}

std::string ReportFile(const Report& report, ReportFormat format) {
  if (format == ReportFormat::Text) return ReportAsText(report);
  return TextPdf(report, TextPdfLayout{}, kPrintJobTitle);
}

}  // namespace tarvelo
