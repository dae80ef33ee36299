// What the code-table and exchange-file targets share: where they start, where an image
// changed, whether two grids hold the same rows, what a code may be made of, what an import
// that refused or took a file must have left, and a text's lines as a reader sees them.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "files/ExchangeFiles.h"
#include "fuzz/FuzzCheck.h"
#include "model/CodeTable.h"
#include "model/ConfigImage.h"
#include "model/ImageLayout.h"

namespace tarvelo::fuzz {

// Whether `after` differs from `before` only inside the named fields.
inline bool OnlyIn(const ConfigImage& before, const ConfigImage& after, const ImageLayout& layout,
                   std::initializer_list<Field> fields) {
  for (long i = 0; i < kImageSize; ++i) {
    if (before.ImageByte(i) == after.ImageByte(i)) continue;
    bool inside = false;
    for (Field f : fields) {
      inside = inside || (i >= layout.Offset(f) && i < layout.Offset(f) + layout.Size(f));
    }
    if (!inside) return false;
  }
  return true;
}

// The row count and every row's texts, those cut off by a lower row count included (they
// come back when the count is raised again).
inline bool SameGrid(const CodeGrid& a, const CodeGrid& b, int rowsSeen) {
  if (a.rowCount() != b.rowCount()) return false;
  const int last = std::max({a.rowCount(), b.rowCount(), rowsSeen});
  for (int k = 1; k <= last; ++k) {
    if (a.row(k).code != b.row(k).code || a.row(k).rights != b.row(k).rights) return false;
  }
  return true;
}

// A code as the table stores it: digits, blanks where a code is shorter than the length.
inline bool DigitsAndBlanks(const std::string& code) {
  return std::all_of(code.begin(), code.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == ' '; });
}

// A decoded record length and count as a starting point: mostly ones that fit, now and then
// any byte and any count, so repaired tables are imported over as well.
template <typename Provider>
void StoreAnyTable(Provider& in, ConfigImage& image, const ImageLayout& layout) {
  const bool sane = in.ConsumeBool();
  const int L =
      sane ? in.template ConsumeIntegralInRange<int>(3, 9) : in.template ConsumeIntegral<uint8_t>();
  const int N = sane ? in.template ConsumeIntegralInRange<int>(0, kCodeTableSize / L)
                     : in.template ConsumeIntegral<uint16_t>();
  StoreRecordLength(image, layout, L);
  StoreCodeCount(image, layout, N);
  const std::string table =
      in.ConsumeBytesAsString(in.template ConsumeIntegralInRange<size_t>(0, 64));
  image.SetBytes(layout.Offset(Field::CodeTable), table);
}

// Either model, an image filled with one byte holding any table, and the grid the code page
// would decode from it.
struct CodeStart {
  ImageLayout layout;
  ConfigImage image;
  CodeGrid grid;
};

template <typename Provider>
CodeStart StartFromAnyTable(Provider& in) {
  CodeStart s{ImageLayout::For(in.ConsumeBool() ? DeviceModel::SixteenLine : DeviceModel::FourLine),
              ConfigImage(), CodeGrid()};
  s.image.raw().fill(in.template ConsumeIntegral<uint8_t>());
  StoreAnyTable(in, s.image, s.layout);
  DecodeCodeTable(s.image, s.layout, s.grid);
  return s;
}

// The stored length, count and records, as one text to compare.
inline std::string StoredTable(const ConfigImage& image, const ImageLayout& layout) {
  const int L = StoredRecordLength(image, layout);
  const int N = StoredCodeCount(image, layout);
  return std::to_string(L) + "/" + std::to_string(N) + ":" +
         image.Bytes(layout.Offset(Field::CodeTable), static_cast<long>(L) * N);
}

// Runs an import (`import(file, image, layout, grid)`, a refusal as its answer) over the
// start. A refused file must have changed neither the image nor the grid; a file taken may
// have changed only the stored length and count, to a code length of 2..8 and a table the
// image can hold.
template <typename Import>
bool ImportTaken(CodeStart& s, std::string_view file, Import&& import) {
  const ConfigImage before = s.image;
  const CodeGrid gridBefore = s.grid;
  if (import(file, s.image, s.layout, s.grid)) {
    FUZZ_CHECK(s.image == before);
    FUZZ_CHECK(SameGrid(s.grid, gridBefore, 0));
    return false;
  }
  FUZZ_CHECK(OnlyIn(before, s.image, s.layout, {Field::CodeRecordLength, Field::CodeCount}));
  const int L = StoredRecordLength(s.image, s.layout);
  FUZZ_CHECK(L - 1 >= 2 && L - 1 <= 8);
  FUZZ_CHECK(static_cast<long>(StoredCodeCount(s.image, s.layout)) * L <= kCodeTableSize);
  return true;
}

// What an export wrote, imported into a fresh image of the same model and stored as the
// import commands store it, is the table the export was made from (a table whose only code is
// blank travels as no code). Returns what it read.
template <typename Import>
CodeStart ReadBack(const CodeStart& s, const std::string& exported, Import&& import) {
  CodeStart back{s.layout, ConfigImage(), CodeGrid()};
  back.image.raw().fill(0xA5);
  FUZZ_CHECK(!import(exported, back.image, back.layout, back.grid));
  StoreImportedCodes(back.image, back.layout, back.grid);
  const bool none = ExportedCodeCount(s.image, s.layout, s.grid) == 0;
  const std::string table = none ? std::to_string(StoredRecordLength(s.image, s.layout)) + "/0:"
                                 : StoredTable(s.image, s.layout);
  FUZZ_CHECK(StoredTable(back.image, back.layout) == table);
  return back;
}

// The lines of a text as the exchange-file readers split it: LF ends a line, a CR before it
// belongs to the line end. `lastEnded` tells whether the last line had its LF.
inline std::vector<std::string> TextLines(std::string_view text, bool* lastEnded = nullptr) {
  std::vector<std::string> lines;
  size_t start = 0;
  bool ended = true;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    ended = end != std::string_view::npos;
    if (!ended) end = text.size();
    std::string line(text.substr(start, end - start));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  if (lastEnded) *lastEnded = ended;
  return lines;
}

}  // namespace tarvelo::fuzz
