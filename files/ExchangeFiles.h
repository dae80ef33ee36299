// The exchange files that carry PIN codes and free-call numbers between databases and
// other tools: PIN.DAT (binary code list), the tab-separated code text file and CALL.TXT.
// Everything here works on bytes, so the window, the command-line tool and the fuzzers
// share one reading of each format; reading and writing the files is the caller's.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/CodeTable.h"
#include "model/ConfigImage.h"
#include "model/General.h"
#include "model/ImageLayout.h"

namespace tarvelo {

// A code file is never longer than its header, a full table and the closing byte; a
// text file of codes holds at most one code per three bytes of the table, and lines
// beyond what any file of ours holds are read no further.
constexpr size_t kPinDatMaxBytes = 3 + kCodeTableSize + 1;
constexpr size_t kTextFileMaxBytes = 1 << 20;

// Imports replace the stored code length and count and the grid's rows 1..N; the caller
// then stores them with StoreImportedCodes. A file that cannot be represented (code length
// outside 2..8, a table larger than the image's, a PIN.DAT that ends before its last code, a
// code of anything but digits and blanks) is refused with the reason and nothing is changed.
Refusal ImportPinDat(std::string_view bytes, ConfigImage& image, const ImageLayout& layout,
                     CodeGrid& grid);
// The header as stored in the image and the rows ExportedCodeCount names; the caller
// encodes first.
std::string ExportPinDat(const ConfigImage& image, const ImageLayout& layout, const CodeGrid& grid);

// Reads the text before the first tab of every line, without the blanks around it, as a
// code; every right is granted.
Refusal ImportCodeText(std::string_view bytes, ConfigImage& image, const ImageLayout& layout,
                       CodeGrid& grid);
// One line per code ExportedCodeCount names: the code, then four tab-led rights words, CR LF.
std::string ExportCodeText(const ConfigImage& image, const ImageLayout& layout,
                           const CodeGrid& grid);

// Encodes the grid after an import, except that a file of no codes leaves the table empty.
void StoreImportedCodes(ConfigImage& image, const ImageLayout& layout, const CodeGrid& grid);
// The codes both exports write: the stored ones and every row the grid shows (a code typed
// but not yet stored among them); none for a table whose only code is blank, which is how
// the grid shows a table of no codes.
int ExportedCodeCount(const ConfigImage& image, const ImageLayout& layout, const CodeGrid& grid);

struct NumberImport {
  std::vector<std::string> items;  // the list after the import (as it was when refused)
  bool linesLeft = false;          // the list filled up before the file's numbers ended
  Refusal refused;                 // why the file was not taken; the list is unchanged
};
// Adds each number of the file (a line, CR LF, LF or CR ending it, without its trailing
// blanks, padded to 16 characters) to `items` until it holds `capacity` numbers; blank lines
// are skipped. A line longer than 16 characters is refused, naming it. `more` says the bytes
// are only the start of a longer file: its last line, cut where the bytes end, is not read,
// and unless the list filled up before the bytes ended the file is refused.
NumberImport ImportCallTxt(std::string_view bytes, std::vector<std::string> items, int capacity,
                           bool more = false);
std::string ExportCallTxt(const std::vector<std::string>& items);

// The question before a CALL.TXT import: Yes appends, No overwrites, Cancel stops. The
// words are the buttons' own.
constexpr const char* kCallTxtQuestion =
    "Igen: hozzáfűzés (a fájl számai a lista végére kerülnek)\r"
    "Nem: felülírás (a lista helyére a fájl számai kerülnek)\r"
    "Mégsem: nem olvassa be";
constexpr const char* kCallTxtOpenError = "Megnyitási hiba!";
std::string CallTxtFullMessage(int capacity);

// The same over files. The code imports report a file that cannot be read with the
// system's reason; the CALL.TXT import gives nothing then, and the caller shows its own
// message (a file too large to read whole is refused in the result). Exports go through
// WriteFileAtomically.
Refusal ImportPinDatFile(const std::string& path, ConfigImage& image, const ImageLayout& layout,
                         CodeGrid& grid);
Refusal ImportCodeTextFile(const std::string& path, ConfigImage& image, const ImageLayout& layout,
                           CodeGrid& grid);
std::optional<NumberImport> ImportCallTxtFile(const std::string& path,
                                              std::vector<std::string> items, int capacity);
Refusal WriteExchangeFile(const std::string& path, std::string_view bytes);

}  // namespace tarvelo
