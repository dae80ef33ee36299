// PIN.DAT over any stored table: a refused file changes neither the image nor the grid; an
// accepted one is a table the image can hold, read byte for byte, and written out again it
// reads back as the same table.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "files/ExchangeFiles.h"
#include "fuzz/CodeFuzz.h"
#include "fuzz/FuzzCheck.h"

using namespace tarvelo;
using namespace tarvelo::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  CodeStart start = StartFromAnyTable(in);
  auto& [layout, image, grid] = start;
  // Now and then a header of a table that fits, so most files get past it.
  std::string bytes = in.ConsumeRemainingBytesAsString();
  if (!bytes.empty() && (bytes[0] & 0x80)) {
    const int L = 3 + (bytes[0] & 0x7F) % 7;
    const int N = bytes.size() > 1 ? static_cast<uint8_t>(bytes[1]) % (kCodeTableSize / L + 1) : 0;
    bytes[0] = static_cast<char>(L);
    if (bytes.size() > 1) bytes[1] = static_cast<char>(N);
    if (bytes.size() > 2) bytes[2] = 0;
  }

  if (!ImportTaken(start, bytes, ImportPinDat)) return 0;
  const int L = StoredRecordLength(image, layout);
  const int N = StoredCodeCount(image, layout);
  FUZZ_CHECK(bytes.size() >= 3 + static_cast<size_t>(N) * L);
  FUZZ_CHECK(grid.rowCount() == (N > 0 ? N + 1 : 2));
  for (int k = 1; k <= N; ++k) {
    const std::string_view record = std::string_view(bytes).substr(3 + (k - 1) * L, L);
    FUZZ_CHECK(grid.row(k).code == record.substr(0, L - 1));
    FUZZ_CHECK(DigitsAndBlanks(grid.row(k).code));
    for (int r = 0; r < 4; ++r) {
      FUZZ_CHECK(grid.row(k).rights[r] == ((record[L - 1] >> r) & 1 ? kYes : kNo));
    }
  }

  // As the command goes on: the grid is stored (a file of no codes leaves none), then what an
  // export writes reads back the same.
  const ConfigImage imported = image;
  StoreImportedCodes(image, layout, grid);
  FUZZ_CHECK(OnlyIn(imported, image, layout, {Field::CodeTable, Field::CodeCount}));
  if (N == 0) FUZZ_CHECK(image == imported);
  const std::string exported = ExportPinDat(image, layout, grid);
  const int n = ExportedCodeCount(image, layout, grid);
  FUZZ_CHECK(exported.size() == 3 + static_cast<size_t>(n) * L + 1 && exported.back() == '\0');
  const CodeStart back = ReadBack(start, exported, ImportPinDat);
  FUZZ_CHECK(ExportPinDat(back.image, back.layout, back.grid) == exported);

  // Decoded, every code has the stated length.
  CodeGrid decoded;
  FUZZ_CHECK(DecodeCodeTable(image, layout, decoded).messages.empty());
  for (int k = 1; k <= StoredCodeCount(image, layout); ++k) {
    FUZZ_CHECK(static_cast<int>(decoded.row(k).code.size()) == L - 1);
    FUZZ_CHECK(DigitsAndBlanks(decoded.row(k).code));
  }
  return 0;
}
