#include <gtest/gtest.h>

#include <regex>

#include "files/TextPdf.h"

using namespace tarvelo;

namespace {

Report ThreePages() {
  Report r;
  r.pages = {{{"Heading (1) \\ back", true}, {"\xF5\xFB\xD5\xDB", false}},
             {{"second", false}},
             {{"", false}, {"third", true}}};
  return r;
}

}  // namespace

// A reader finds every object through the cross-reference table, so each offset there must
// point at the object's own first byte.
TEST(TextPdfTest, CrossReferenceOffsetsPointAtTheirObjects) {
  const std::string pdf = TextPdf(ThreePages(), TextPdfLayout{}, "Tarvelo nyomtatás");
  ASSERT_EQ(pdf.rfind("%PDF-1.4", 0), 0u);
  const size_t startxref = pdf.rfind("startxref\n");
  ASSERT_NE(startxref, std::string::npos);
  const size_t xref = std::stoul(pdf.substr(startxref + 10));
  ASSERT_EQ(pdf.compare(xref, 5, "xref\n"), 0);
  std::smatch m;
  const std::string table = pdf.substr(xref);
  ASSERT_TRUE(std::regex_search(table, m, std::regex("xref\n0 (\\d+)\n")));
  const int size = std::stoi(m[1]);
  EXPECT_EQ(size, 1 + 6 + 2 * 3);  // free entry, fixed objects, a page and its content each
  const size_t first = xref + m[0].length() + 20;
  for (int id = 1; id < size; ++id) {
    const size_t offset = std::stoul(pdf.substr(first + (id - 1) * 20, 10));
    EXPECT_EQ(pdf.compare(offset, std::to_string(id).size() + 6, std::to_string(id) + " 0 obj"), 0)
        << "object " << id;
  }
  EXPECT_NE(pdf.find("/Count 3"), std::string::npos);
  EXPECT_NE(pdf.find("/Title <FEFF005400610072007600650", 0), std::string::npos);
  // Stream lengths are what the reader skips by.
  const std::regex stream("/Length (\\d+) >>\nstream\n");
  for (auto it = std::sregex_iterator(pdf.begin(), pdf.end(), stream); it != std::sregex_iterator();
       ++it) {
    const size_t data = it->position() + it->length();
    EXPECT_EQ(pdf.compare(data + std::stoul((*it)[1]), 10, "\nendstream"), 0);
  }
}

TEST(TextPdfTest, TextIsEscapedAndHungarianLettersHaveTheirGlyphs) {
  const std::string pdf = TextPdf(ThreePages(), TextPdfLayout{}, "t");
  EXPECT_NE(pdf.find("(Heading \\(1\\) \\\\ back) Tj"), std::string::npos);
  EXPECT_NE(pdf.find("(\\365\\373\\325\\333) Tj"), std::string::npos);
  for (const char* glyph : {"/ohungarumlaut", "/uhungarumlaut", "/Ohungarumlaut", "/Uhungarumlaut",
                            "/aacute", "/Scaron"}) {
    EXPECT_NE(pdf.find(glyph), std::string::npos) << glyph;
  }
  // Bold lines in the bold face, and back.
  EXPECT_NE(pdf.find("/F2 9.00 Tf (Heading"), std::string::npos);
  EXPECT_NE(pdf.find("T* /F1 9.00 Tf (\\365"), std::string::npos);
  EXPECT_EQ(TextPdfLayout{}.LinesPerPage(), 71);
}
