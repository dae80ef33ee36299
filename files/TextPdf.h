// A PDF of monospaced text pages, without any library: the standard Courier fonts, which
// every PDF reader has, with the Windows-1250 letters mapped onto their glyph names. Enough
// for the printed lists; nothing is embedded.
#pragma once

#include <string>

#include "model/Reports.h"

namespace tarvelo {

struct TextPdfLayout {
  double pageWidth = 595.28;  // A4, in points
  double pageHeight = 841.89;
  double margin = 36;  // every side
  double fontSize = 9;
  double leading() const { return fontSize * 1.2; }
  int LinesPerPage() const;
};

// One PDF page for each report page; bold lines in Courier-Bold. `title` is UTF-8.
std::string TextPdf(const Report& report, const TextPdfLayout& layout, const std::string& title);

}  // namespace tarvelo
