// Clipboard text pasted into the code grid and the number list, from any stored table and at
// any row, with rows inserted, deleted and sorted between. The grid never grows beyond the
// table's limit (or the rows a stored table already had); a refused paste leaves the grid as
// it was; an accepted one holds codes of digits within the code length and rights the grid
// knows, touches only the rows it was given, and copied back it pastes to the same grid. The
// number list never passes its capacity, holds each number once, 16 characters each.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/CodeFuzz.h"
#include "fuzz/FuzzCheck.h"
#include "model/CodeClipboard.h"
#include "model/FreeNumbers.h"

using namespace tarvelo;
using namespace tarvelo::fuzz;

namespace {

bool SameRow(const CodeRow& a, const CodeRow& b) {
  return a.code == b.code && a.rights == b.rights;
}

void CheckPaste(CodeGrid& grid, const std::string& text, int first, int codeLength) {
  const CodeGrid before = grid;
  const int rowsBefore = grid.rowCount();
  const PasteResult r = PasteCodes(grid, text, first, codeLength);
  if (r.refused) {
    FUZZ_CHECK(!r.refused->empty());
    FUZZ_CHECK(SameGrid(before, grid, rowsBefore));
    return;
  }
  first = std::max(first, 1);
  const int last = first + r.rows - 1;
  FUZZ_CHECK(grid.rowCount() == std::max(rowsBefore, last + 1));
  for (int k = 1; k < grid.rowCount(); ++k) {
    const CodeRow& row = std::as_const(grid).row(k);
    if (k < first || k > last) {
      FUZZ_CHECK(SameRow(row, before.row(k)));
      continue;
    }
    FUZZ_CHECK(static_cast<int>(row.code.size()) <= codeLength);
    FUZZ_CHECK(
        std::all_of(row.code.begin(), row.code.end(), [](char c) { return c >= '0' && c <= '9'; }));
    for (const std::string& right : row.rights) FUZZ_CHECK(right == kYes || right == kNo);
  }
  if (r.rows == 0) return;
  // What was pasted, copied and pasted again over the grid before, is the same grid.
  CodeGrid again = before;
  const PasteResult back =
      PasteCodes(again, CodeClipboardText(grid, first, last), first, codeLength);
  FUZZ_CHECK(!back.refused && back.rows == r.rows);
  FUZZ_CHECK(SameGrid(again, grid, grid.rowCount()));
}

void CheckNumbers(const std::vector<std::string>& items, const std::string& text, int capacity) {
  const NumberPaste p = ReadNumberClipboard(text, items, capacity);
  if (p.refused) {
    FUZZ_CHECK(p.numbers.empty());
    return;
  }
  std::vector<std::string> all = items;
  all.insert(all.end(), p.numbers.begin(), p.numbers.end());
  FUZZ_CHECK(static_cast<int>(all.size()) <= std::max(capacity, static_cast<int>(items.size())));
  for (const std::string& n : p.numbers) {
    FUZZ_CHECK(n.size() == static_cast<size_t>(kFreeNumberWidth));
    FUZZ_CHECK(n.find_first_not_of(' ') != std::string::npos);
    for (char c : n) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
  }
  std::sort(all.begin(), all.end());
  FUZZ_CHECK(std::adjacent_find(all.begin(), all.end()) == all.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  CodeStart start = StartFromAnyTable(in);
  CodeGrid& grid = start.grid;
  const int codeLength = StoredRecordLength(start.image, start.layout) - 1;
  const int allowed = std::max(CodeCountLimit(codeLength), grid.rowCount() - 1);
  const int capacity = FreeNumberCapacity(start.layout);
  std::vector<std::string> items;

  for (int step = 0; step < 16 && in.remaining_bytes() > 0; ++step) {
    const int rows = grid.rowCount() - 1;
    const int k = in.ConsumeIntegralInRange<int>(0, rows + 1);
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
      case 0:
        CheckPaste(grid, in.ConsumeRandomLengthString(4096), k, codeLength);
        break;
      case 1: {
        const bool inserted = InsertCodeRow(grid, k, codeLength);
        FUZZ_CHECK(grid.rowCount() == rows + 1 + (inserted ? 1 : 0));
        if (inserted) FUZZ_CHECK(grid.row(k).code.empty());
        break;
      }
      case 2: {
        const int last = in.ConsumeIntegralInRange<int>(0, rows + 1);
        const int removed = DeleteCodeRows(grid, k, last);
        FUZZ_CHECK(removed >= 0 && removed <= rows);
        FUZZ_CHECK(grid.rowCount() == std::max(rows - removed, 1) + 1);
        // Nothing is left behind the last row.
        for (int j = grid.rowCount(); j <= rows; ++j) FUZZ_CHECK(grid.row(j).code.empty());
        break;
      }
      case 3:
        SortCodeRows(grid, in.ConsumeBool());
        FUZZ_CHECK(grid.rowCount() == rows + 1);
        break;
      case 4: {
        const std::string text = in.ConsumeRandomLengthString(4096);
        CheckNumbers(items, text, capacity);
        const NumberPaste p = ReadNumberClipboard(text, items, capacity);
        if (!p.refused) items.insert(items.end(), p.numbers.begin(), p.numbers.end());
        FUZZ_CHECK(static_cast<int>(items.size()) <= capacity);
        break;
      }
    }
    FUZZ_CHECK(grid.rowCount() >= 2);
    FUZZ_CHECK(grid.rowCount() - 1 <= allowed);
  }
  return 0;
}
