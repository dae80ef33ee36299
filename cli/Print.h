// The printed code and number lists written to a file: PDF, or UTF-8 text with a form feed
// between pages.
#pragma once

#include <optional>
#include <string>

#include "model/DatabaseRecord.h"
#include "model/ImageView.h"
#include "model/Reports.h"

namespace tarvelo {

enum class ListKind { Codes, Numbers };
enum class ReportFormat { Pdf, Text };

struct PrintRequest {
  ListKind kind = ListKind::Codes;
  std::string fileName;          // Windows-1250, the database's name as the heading shows it
  std::string dateTime;          // Windows-1250
  std::optional<RowRange> rows;  // rows or items from 1; all when not given
};

// "A-B" or "A" with 1 <= A <= B; nothing when the text is not such a range.
std::optional<RowRange> ParseRowRange(const std::string& text);

Report BuildReport(const PrintRequest& request, const DatabaseRecord& record, const ImageView& view,
                   int linesPerPage);
// The file's bytes; both forms cut the pages alike, as an A4 sheet holds them.
std::string ReportFile(const Report& report, ReportFormat format);
int ReportLinesPerPage();

}  // namespace tarvelo
