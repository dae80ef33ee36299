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
// encodes the grid afterwards. A file that cannot be represented (code length outside
// 2..8, a table larger than the image's, a PIN.DAT that ends before its last code, a code
// of anything but digits and blanks) is refused with the reason and nothing is changed.
Refusal ImportPinDat(std::string_view bytes, ConfigImage& image, const ImageLayout& layout,
                     CodeGrid& grid);
// The header as stored in the image and rows 1..N of the grid; the caller encodes first.
std::string ExportPinDat(const ConfigImage& image, const ImageLayout& layout, const CodeGrid& grid);

// Reads the text before the first tab of every line, without the blanks around it, as a
// code; every right is granted.
Refusal ImportCodeText(std::string_view bytes, ConfigImage& image, const ImageLayout& layout,
                       CodeGrid& grid);
// One line per stored code: the code, then four tab-led rights words, CR LF.
std::string ExportCodeText(const ConfigImage& image, const ImageLayout& layout,
                           const CodeGrid& grid);

struct NumberImport {
  std::vector<std::string> items;  // the list after the import
  bool linesLeft = false;          // the list filled up before the file ended
};
// Adds each line of the file, padded to 16 characters, to `items` until it holds
// `capacity` numbers. `more` says the bytes are only the start of a longer file: its last
// line, cut where the bytes end, is not read, and lines are then always left.
NumberImport ImportCallTxt(std::string_view bytes, std::vector<std::string> items, int capacity,
                           bool more = false);
std::string ExportCallTxt(const std::vector<std::string>& items);

// The question before a CALL.TXT import: Yes appends, No overwrites, Cancel stops.
constexpr const char* kCallTxtQuestion = "Hozzáfűzés=YES\rFelülírás =NO\rMégsem    =CANCEL";
constexpr const char* kCallTxtOpenError = "Megnyitási hiba!";
std::string CallTxtFullMessage(int capacity);

// The same over files. The code imports report a file that cannot be read with the
// system's reason; the CALL.TXT import gives nothing then, and the caller shows its own
// message. Exports go through WriteFileAtomically.
Refusal ImportPinDatFile(const std::string& path, ConfigImage& image, const ImageLayout& layout,
                         CodeGrid& grid);
Refusal ImportCodeTextFile(const std::string& path, ConfigImage& image, const ImageLayout& layout,
                           CodeGrid& grid);
std::optional<NumberImport> ImportCallTxtFile(const std::string& path,
                                              std::vector<std::string> items, int capacity);
Refusal WriteExchangeFile(const std::string& path, std::string_view bytes);

}  // namespace tarvelo
