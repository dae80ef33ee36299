// What the code-table targets share: where an image changed, whether two grids hold the same
// rows, and what a code may be made of.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <string>

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

}  // namespace tarvelo::fuzz
