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

std::string StoredTable(const ConfigImage& image, const ImageLayout& layout) {
  const int L = StoredRecordLength(image, layout);
  const int N = StoredCodeCount(image, layout);
  return std::to_string(L) + "/" + std::to_string(N) + ":" +
         image.Bytes(layout.Offset(Field::CodeTable), static_cast<long>(L) * N);
}

// A code without the blanks and control characters around it.
std::string Bare(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return std::string(s);
}

// The code of each line as a reader of the format sees it: LF ends a line (a CR before it
// is part of the line end), and only the text before the first tab counts.
std::vector<std::string> Codes(const std::string& text) {
  std::vector<std::string> codes;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    codes.push_back(Bare(line.substr(0, line.find('\t'))));
    start = end + 1;
  }
  return codes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const ImageLayout layout =
      ImageLayout::For(in.ConsumeBool() ? DeviceModel::SixteenLine : DeviceModel::FourLine);
  ConfigImage image;
  image.raw().fill(in.ConsumeIntegral<uint8_t>());
  StoreAnyTable(in, image, layout);
  CodeGrid grid;
  DecodeCodeTable(image, layout, grid);
  const std::string text = in.ConsumeRemainingBytesAsString();

  const ConfigImage before = image;
  const CodeGrid gridBefore = grid;
  if (ImportCodeText(text, image, layout, grid)) {
    FUZZ_CHECK(image == before);
    FUZZ_CHECK(SameGrid(grid, gridBefore, 0));
    return 0;
  }
  FUZZ_CHECK(OnlyIn(before, image, layout, {Field::CodeRecordLength, Field::CodeCount}));
  const int L = StoredRecordLength(image, layout);
  const int N = StoredCodeCount(image, layout);
  FUZZ_CHECK(L - 1 >= 2 && L - 1 <= 8);
  FUZZ_CHECK(static_cast<long>(N) * L <= kCodeTableSize);
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
  const std::string table = StoredTable(image, layout);
  const std::string exported = ExportCodeText(image, layout, grid);
  ConfigImage other;
  other.raw().fill(0xA5);
  CodeGrid otherGrid;
  FUZZ_CHECK(!ImportCodeText(exported, other, layout, otherGrid));
  EncodeCodeTable(other, layout, otherGrid);
  FUZZ_CHECK(StoredTable(other, layout) == table);
  return 0;
}
