#include "files/TextPdf.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace tarvelo {
namespace {

// Glyph names of Windows-1250 bytes 0x80..0xFF. Byte values the code page leaves unused
// show as a space.
const char* const kHighGlyphs[128] = {
    "Euro",           "space",          "quotesinglbase",
    "space",          "quotedblbase",   "ellipsis",
    "dagger",         "daggerdbl",      "space",
    "perthousand",    "Scaron",         "guilsinglleft",
    "Sacute",         "Tcaron",         "Zcaron",
    "Zacute",         "space",          "quoteleft",
    "quoteright",     "quotedblleft",   "quotedblright",
    "bullet",         "endash",         "emdash",
    "space",          "trademark",      "scaron",
    "guilsinglright", "sacute",         "tcaron",
    "zcaron",         "zacute",         "space",
    "caron",          "breve",          "Lslash",
    "currency",       "Aogonek",        "brokenbar",
    "section",        "dieresis",       "copyright",
    "Scedilla",       "guillemotleft",  "logicalnot",
    "hyphen",         "registered",     "Zdotaccent",
    "degree",         "plusminus",      "ogonek",
    "lslash",         "acute",          "mu",
    "paragraph",      "periodcentered", "cedilla",
    "aogonek",        "scedilla",       "guillemotright",
    "Lcaron",         "hungarumlaut",   "lcaron",
    "zdotaccent",     "Racute",         "Aacute",
    "Acircumflex",    "Abreve",         "Adieresis",
    "Lacute",         "Cacute",         "Ccedilla",
    "Ccaron",         "Eacute",         "Eogonek",
    "Edieresis",      "Ecaron",         "Iacute",
    "Icircumflex",    "Dcaron",         "Dcroat",
    "Nacute",         "Ncaron",         "Oacute",
    "Ocircumflex",    "Ohungarumlaut",  "Odieresis",
    "multiply",       "Rcaron",         "Uring",
    "Uacute",         "Uhungarumlaut",  "Udieresis",
    "Yacute",         "Tcommaaccent",   "germandbls",
    "racute",         "aacute",         "acircumflex",
    "abreve",         "adieresis",      "lacute",
    "cacute",         "ccedilla",       "ccaron",
    "eacute",         "eogonek",        "edieresis",
    "ecaron",         "iacute",         "icircumflex",
    "dcaron",         "dcroat",         "nacute",
    "ncaron",         "oacute",         "ocircumflex",
    "ohungarumlaut",  "odieresis",      "divide",
    "rcaron",         "uring",          "uacute",
    "uhungarumlaut",  "udieresis",      "yacute",
    "tcommaaccent",   "dotaccent",
};

std::string Num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

// A PDF string of Windows-1250 bytes; the font's encoding gives them their glyphs.
std::string PdfString(const std::string& text) {
  std::string out = "(";
  for (unsigned char c : text) {
    if (c == '(' || c == ')' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      out += ' ';
    } else if (c >= 0x80) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + ")";
}

// UTF-8 to a UTF-16BE hex string, the form the document information takes.
std::string PdfTextString(const std::string& utf8) {
  std::string out = "<FEFF";
  char buf[8];
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = utf8[i];
    unsigned cp = c;
    size_t n = 1;
    if (c >= 0xF0)
      cp = c & 0x07, n = 4;
    else if (c >= 0xE0)
      cp = c & 0x0F, n = 3;
    else if (c >= 0xC0)
      cp = c & 0x1F, n = 2;
    for (size_t k = 1; k < n && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    i += n;
    if (cp > 0xFFFF) {
      cp -= 0x10000;
      std::snprintf(buf, sizeof buf, "%04X", 0xD800 + (cp >> 10));
      out += buf;
      cp = 0xDC00 + (cp & 0x3FF);
    }
    std::snprintf(buf, sizeof buf, "%04X", cp);
    out += buf;
  }
  return out + ">";
}

class PdfBuilder {
 public:
  PdfBuilder() { out_ = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"; }
  int Reserve() {
    offsets_.push_back(0);
    return static_cast<int>(offsets_.size());
  }
  void Object(int id, const std::string& body) {
    offsets_[id - 1] = out_.size();
    out_ += std::to_string(id) + " 0 obj\n" + body + "\nendobj\n";
  }
  void Stream(int id, const std::string& data) {
    Object(id,
           "<< /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream");
  }
  std::string Finish(int root, int info) {
    const size_t xref = out_.size();
    out_ += "xref\n0 " + std::to_string(offsets_.size() + 1) + "\n0000000000 65535 f \n";
    char buf[32];
    for (size_t off : offsets_) {
      std::snprintf(buf, sizeof buf, "%010zu 00000 n \n", off);
      out_ += buf;
    }
    out_ += "trailer\n<< /Size " + std::to_string(offsets_.size() + 1) + " /Root " +
            std::to_string(root) + " 0 R /Info " + std::to_string(info) + " 0 R >>\nstartxref\n" +
            std::to_string(xref) + "\n%%EOF\n";
    return std::move(out_);
  }

 private:
  std::string out_;
  std::vector<size_t> offsets_;
};

}  // namespace

int TextPdfLayout::LinesPerPage() const {
  return std::max(1, static_cast<int>(std::floor((pageHeight - 2 * margin) / leading())));
}

std::string TextPdf(const Report& report, const TextPdfLayout& layout, const std::string& title) {
  PdfBuilder pdf;
  const int catalog = pdf.Reserve();
  const int pages = pdf.Reserve();
  const int encoding = pdf.Reserve();
  const int regular = pdf.Reserve();
  const int bold = pdf.Reserve();
  const int info = pdf.Reserve();

  std::string differences = "<< /Type /Encoding /BaseEncoding /WinAnsiEncoding /Differences [128";
  for (const char* glyph : kHighGlyphs) differences += std::string(" /") + glyph;
  pdf.Object(encoding, differences + "] >>");
  const auto font = [&](const char* name) {
    return std::string("<< /Type /Font /Subtype /Type1 /BaseFont /") + name + " /Encoding " +
           std::to_string(encoding) + " 0 R >>";
  };
  pdf.Object(regular, font("Courier"));
  pdf.Object(bold, font("Courier-Bold"));
  pdf.Object(info, "<< /Title " + PdfTextString(title) + " /Creator (Tarvelo) >>");

  std::string kids;
  const std::string size = Num(layout.fontSize);
  for (const ReportPage& page : report.pages) {
    const int pageId = pdf.Reserve();
    const int contentId = pdf.Reserve();
    std::string content = "BT\n" + Num(layout.leading()) + " TL\n" + Num(layout.margin) + " " +
                          Num(layout.pageHeight - layout.margin - layout.fontSize) + " Td\n";
    int shownFont = 0;
    for (size_t i = 0; i < page.size(); ++i) {
      if (i > 0) content += "T* ";
      const int wanted = page[i].bold ? 2 : 1;
      if (wanted != shownFont) {
        content += "/F" + std::to_string(wanted) + " " + size + " Tf ";
        shownFont = wanted;
      }
      content += PdfString(page[i].text) + " Tj\n";
    }
    content += "ET";
    pdf.Stream(contentId, content);
    pdf.Object(pageId, "<< /Type /Page /Parent " + std::to_string(pages) + " 0 R /MediaBox [0 0 " +
                           Num(layout.pageWidth) + " " + Num(layout.pageHeight) +
                           "] /Resources << /Font << /F1 " + std::to_string(regular) + " 0 R /F2 " +
                           std::to_string(bold) + " 0 R >> >> /Contents " +
                           std::to_string(contentId) + " 0 R >>");
    kids += std::to_string(pageId) + " 0 R ";
  }
  pdf.Object(pages, "<< /Type /Pages /Kids [" + kids + "] /Count " +
                        std::to_string(report.pages.size()) + " >>");
  pdf.Object(catalog, "<< /Type /Catalog /Pages " + std::to_string(pages) + " 0 R >>");
  return pdf.Finish(catalog, info);
}

}  // namespace tarvelo
