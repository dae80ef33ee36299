// The code text file over any stored table: a refused file changes neither the image nor the
// grid; an accepted one is a table the image can hold whose codes are stored whole, and
// exported it reads back as the same table.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "files/ExchangeFiles.h"
#include "fuzz/CodeFuzz.h"
#include "fuzz/FuzzCheck.h"

using namespace tarvelo;
using namespace tarvelo::fuzz;

namespace {

// A code without the blanks and control characters around it.
std::string Bare(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return std::string(s);
}

// The code of each line as a reader of the format sees it: only the text before the first
// tab counts.
std::vector<std::string> Codes(const std::string& text) {
  std::vector<std::string> codes;
  for (const std::string& line : TextLines(text))
    codes.push_back(Bare(line.substr(0, line.find('\t'))));
  return codes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  CodeStart start = StartFromAnyTable(in);
  auto& [layout, image, grid] = start;
  const std::string text = in.ConsumeRemainingBytesAsString();

  if (!ImportTaken(start, text, ImportCodeText)) return 0;
  const int L = StoredRecordLength(image, layout);
  const int N = StoredCodeCount(image, layout);
  const std::vector<std::string> codes = Codes(text);
  FUZZ_CHECK(static_cast<int>(codes.size()) == N);
  FUZZ_CHECK(grid.rowCount() == N + 1);
  size_t longest = 0;
  for (int k = 1; k <= N; ++k) {
    FUZZ_CHECK(Bare(grid.row(k).code) == codes[k - 1]);
    FUZZ_CHECK(DigitsAndBlanks(grid.row(k).code));
    for (const std::string& right : grid.row(k).rights) FUZZ_CHECK(right == kYes);
    longest = std::max(longest, codes[k - 1].size());
  }
  FUZZ_CHECK(static_cast<int>(longest) == L - 1);

  // Encoded, each code is stored whole, padded to the stated length.
  const ConfigImage imported = image;
  EncodeCodeTable(image, layout, grid);
  FUZZ_CHECK(OnlyIn(imported, image, layout, {Field::CodeTable, Field::CodeCount}));
  FUZZ_CHECK(StoredCodeCount(image, layout) == N);
  CodeGrid decoded;
  FUZZ_CHECK(DecodeCodeTable(image, layout, decoded).messages.empty());
  for (int k = 1; k <= N; ++k) {
    FUZZ_CHECK(static_cast<int>(decoded.row(k).code.size()) == L - 1);
    FUZZ_CHECK(Bare(decoded.row(k).code) == codes[k - 1]);
  }

  // Exported and read back: the same table.
  ReadBack(start, ExportCodeText(image, layout, grid), ImportCodeText);
  return 0;
}
