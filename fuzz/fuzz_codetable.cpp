// The code table from any stored length, count and records: decode repairs what does not
// fit and touches nothing but the length and count, the grid written back stays inside the
// table, and generation always ends with codes that differ.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz/CodeFuzz.h"
#include "fuzz/FuzzCheck.h"
#include "model/CodeTable.h"

using namespace tarvelo;
using tarvelo::fuzz::OnlyIn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const ImageLayout layout =
      ImageLayout::For(in.ConsumeBool() ? DeviceModel::SixteenLine : DeviceModel::FourLine);
  ConfigImage image;
  image.raw().fill(in.ConsumeIntegral<uint8_t>());
  image.SetImageByte(layout.Offset(Field::CodeRecordLength), in.ConsumeIntegral<uint8_t>());
  // Small counts most of the time, any 16-bit count now and then.
  const int count =
      in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(0, 700) : in.ConsumeIntegral<uint16_t>();
  image.SetImageByte(layout.Offset(Field::CodeCount), static_cast<uint8_t>(count & 0xFF));
  image.SetImageByte(layout.Offset(Field::CodeCount) + 1, static_cast<uint8_t>(count >> 8));
  const std::string table = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, 3072));
  image.SetBytes(layout.Offset(Field::CodeTable), table);

  const ConfigImage stored = image;
  CodeGrid grid;
  const CodeTableDecode decoded = DecodeCodeTable(image, layout, grid);
  FUZZ_CHECK(OnlyIn(stored, image, layout, {Field::CodeRecordLength, Field::CodeCount}));
  const int L = StoredRecordLength(image, layout);
  const int N = StoredCodeCount(image, layout);
  FUZZ_CHECK(static_cast<long>(N) * L <= layout.Size(Field::CodeTable));
  FUZZ_CHECK(decoded.messages.empty() == (image == stored));
  FUZZ_CHECK(grid.rowCount() == (N > 0 ? N + 1 : 2));
  // Decoding what has been repaired changes nothing and says nothing.
  {
    ConfigImage again = image;
    CodeGrid grid2;
    const CodeTableDecode second = DecodeCodeTable(again, layout, grid2);
    FUZZ_CHECK(again == image && second.messages.empty());
    FUZZ_CHECK(second.countText == decoded.countText);
    for (int k = 1; k < grid.rowCount(); ++k) {
      FUZZ_CHECK(grid2.row(k).code == grid.row(k).code);
      FUZZ_CHECK(grid2.row(k).rights == grid.row(k).rights);
    }
  }

  // Edits of the grid as the code page makes them, then the write back.
  const int edits = in.ConsumeIntegralInRange<int>(0, 8);
  for (int e = 0; e < edits; ++e) {
    if (in.ConsumeBool()) {
      grid.setRowCount(in.ConsumeIntegralInRange<int>(0, 800));
    } else {
      const int k = in.ConsumeIntegralInRange<int>(1, 800);
      CodeRow& row = grid.row(k);
      row.code = in.ConsumeRandomLengthString(12);
      for (auto& r : row.rights) r = in.ConsumeBool() ? kYes : in.ConsumeRandomLengthString(4);
    }
  }
  const ConfigImage beforeEncode = image;
  EncodeCodeTable(image, layout, grid);
  FUZZ_CHECK(OnlyIn(beforeEncode, image, layout, {Field::CodeTable, Field::CodeCount}));
  FUZZ_CHECK(StoredCodeCount(image, layout) >= N);

  // Generation with a source the fuzzer steers; once it runs dry the draws count up, so a
  // run that could end does end.
  uint32_t next = 0;
  const RandomSource random = [&](uint32_t bound) -> uint32_t {
    FUZZ_CHECK(bound > 0);
    const uint32_t r = in.remaining_bytes() > 0 ? in.ConsumeIntegral<uint32_t>() : next++;
    return r % bound;
  };
  ConfigImage beforeGenerate = image;
  CodeGrid generated;
  DecodeCodeTable(image, layout, generated);
  beforeGenerate = image;
  if (!GenerateCodes(image, layout, generated, random)) {
    FUZZ_CHECK(image == beforeGenerate);
    const int n = StoredCodeCount(image, layout);
    const int length = StoredRecordLength(image, layout) - 1;
    for (int k = 1; k <= n; ++k) {
      FUZZ_CHECK(static_cast<int>(generated.row(k).code.size()) == length);
      for (char c : generated.row(k).code) FUZZ_CHECK(c >= '0' && c <= '9');
    }
    bool duplicate = false;
    CodeGrid firstRows;
    firstRows.setRowCount(n + 1);
    for (int k = 1; k <= n; ++k) firstRows.row(k) = generated.row(k);
    CheckDuplicateCodes(firstRows, [&](int, int) {
      duplicate = true;
      return false;
    });
    FUZZ_CHECK(!duplicate || n < 2);
    EncodeCodeTable(image, layout, generated);
    FUZZ_CHECK(OnlyIn(beforeGenerate, image, layout, {Field::CodeTable, Field::CodeCount}));
  }
  return 0;
}
