// The code grid as the code page drives it, from any stored table: rows added and removed,
// keys and typed codes, rights toggled one by one and over ranges, the duplicate check, the
// search, writes back and decodes in any order. The grid never holds more code rows than
// the table has room for, a write back never leaves the table and its count, and each
// operation's answer agrees with the grid it looked at.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz/CodeFuzz.h"
#include "fuzz/FuzzCheck.h"

using namespace tarvelo;
using namespace tarvelo::fuzz;

namespace {

std::string WithoutBlanks(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (static_cast<unsigned char>(c) > ' ') out += c;
  }
  return out;
}

bool Holds(const CodeGrid& grid, int k, const std::string& wanted) {
  return WithoutBlanks(grid.row(k).code).find(wanted) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  CodeStart start = StartFromAnyTable(in);
  // References, not a structured binding: the checks below capture them in lambdas.
  const ImageLayout& layout = start.layout;
  ConfigImage& image = start.image;
  CodeGrid& grid = start.grid;
  const ConfigImage decoded = image;
  const int L = StoredRecordLength(image, layout);

  for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
    const int rows = grid.rowCount() - 1;
    const int k = in.ConsumeIntegralInRange<int>(1, std::max(rows, 1));
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
      case 0: {  // Down on the last row
        const bool added = AppendCodeRow(image, layout, grid);
        FUZZ_CHECK(grid.rowCount() == rows + 1 + (added ? 1 : 0));
        if (added) {
          FUZZ_CHECK(StoredCodeCount(image, layout) == rows + 1);
          for (const std::string& right : grid.row(rows + 1).rights) FUZZ_CHECK(right == kYes);
        }
        break;
      }
      case 1: {  // Ctrl+Delete on the last row
        const int stored = StoredCodeCount(image, layout);
        const bool removed = RemoveLastCodeRow(image, layout, grid);
        FUZZ_CHECK(removed == (rows > 1));
        FUZZ_CHECK(grid.rowCount() == (removed ? rows : rows + 1));
        FUZZ_CHECK(StoredCodeCount(image, layout) ==
                   (removed ? std::min(stored, rows - 1) : stored));
        break;
      }
      case 2: {  // keys typed into a code cell, then the edit ends
        std::string typed = grid.row(k).code;
        for (char c : in.ConsumeRandomLengthString(12)) {
          if (!CodeKeyAccepted(c)) continue;
          if (c == '\b') {
            if (!typed.empty()) typed.pop_back();
          } else {
            typed += c;
          }
        }
        const EditedCode edited = TakeEditedCode(typed, L);
        FUZZ_CHECK(DigitsAndBlanks(edited.text));
        FUZZ_CHECK(L < 1 || static_cast<int>(edited.text.size()) <= L - 1);
        grid.row(k).code = edited.text;
        break;
      }
      case 3: {  // any text set into a code cell (a paste)
        const EditedCode edited = TakeEditedCode(in.ConsumeRandomLengthString(16), L);
        FUZZ_CHECK(DigitsAndBlanks(edited.text));
        FUZZ_CHECK(L < 1 || static_cast<int>(edited.text.size()) <= L - 1);
        grid.row(k).code = edited.text;
        break;
      }
      case 4: {  // a key in a rights cell
        const int column = in.ConsumeIntegralInRange<int>(0, 3);
        const std::string was = grid.row(k).rights[column];
        const auto right = RightForKey(in.ConsumeIntegral<char>());
        if (right) grid.row(k).rights[column] = *right;
        const std::string& now = grid.row(k).rights[column];
        FUZZ_CHECK(right ? (now == kYes || now == kNo) : now == was);
        break;
      }
      case 5: {  // a double click on a rights cell
        const int column = in.ConsumeIntegralInRange<int>(0, 3);
        std::string& cell = grid.row(k).rights[column];
        const bool granted = !cell.empty() && cell[0] == 'I';
        cell = ToggledRightByInitial(cell);
        FUZZ_CHECK(cell == (granted ? kNo : kYes));
        break;
      }
      case 6: {  // a rights popup item over a range of rows
        const int first = in.ConsumeIntegralInRange<int>(-2, rows + 2);
        const int last = in.ConsumeIntegralInRange<int>(-2, rows + 2);
        const int item = in.ConsumeIntegralInRange<int>(-1, 6);
        const CodeGrid was = grid;
        ApplyRightsItem(grid, first, last, item);
        FUZZ_CHECK(grid.rowCount() == was.rowCount());
        for (int r = 1; r <= rows + 3; ++r) {
          FUZZ_CHECK(grid.row(r).code == was.row(r).code);
          const bool inRange = r >= first && r <= last && r >= 1 && r <= rows;
          for (int c = 0; c < 4; ++c) {
            const std::string& before = was.row(r).rights[c];
            std::string expected = before;
            if (inRange && item == kForbidAllItem) expected = kNo;
            if (inRange && item == c + 2) expected = before == kYes ? kNo : kYes;
            FUZZ_CHECK(grid.row(r).rights[c] == expected);
          }
        }
        break;
      }
      case 7: {  // the duplicate check, OK answered a few times
        int answers = in.ConsumeIntegralInRange<int>(0, 4);
        int lastI = 0, lastJ = 0;
        const bool found = CheckDuplicateCodes(grid, [&](int i, int j) {
          FUZZ_CHECK(i >= 1 && i < j && j <= rows);
          FUZZ_CHECK(i > lastI || (i == lastI && j > lastJ));
          FUZZ_CHECK(grid.row(i).code == grid.row(j).code);
          lastI = i;
          lastJ = j;
          return answers-- > 0;
        });
        FUZZ_CHECK(found == (lastI > 0));
        if (!found && rows <= 400) {
          for (int i = 1; i <= rows; ++i) {
            for (int j = i + 1; j <= rows; ++j) FUZZ_CHECK(grid.row(i).code != grid.row(j).code);
          }
        }
        break;
      }
      case 8: {  // the search from a current row
        const int current = in.ConsumeIntegralInRange<int>(-1, rows + 1);
        const std::string sought = in.ConsumeRandomLengthString(4);
        const std::string wanted = WithoutBlanks(sought);
        const int found = FindCode(grid, current, sought);
        const int from = current >= 1 && current <= rows ? current : rows;
        if (found == 0) {
          for (int r = 1; r <= rows && !wanted.empty(); ++r) FUZZ_CHECK(!Holds(grid, r, wanted));
        } else {
          FUZZ_CHECK(!wanted.empty() && found >= 1 && found <= rows && Holds(grid, found, wanted));
          for (int r = from % rows + 1; r != found; r = r % rows + 1) {
            FUZZ_CHECK(!Holds(grid, r, wanted));
          }
        }
        break;
      }
      case 9: {  // the grid loses the focus, or the page is decoded again
        const ConfigImage was = image;
        if (in.ConsumeBool()) {
          EncodeCodeTable(image, layout, grid);
          FUZZ_CHECK(OnlyIn(was, image, layout, {Field::CodeTable, Field::CodeCount}));
          const int n = StoredCodeCount(image, layout);
          FUZZ_CHECK(n >= rows);
          CodeGrid back;
          DecodeCodeTable(image, layout, back);
          for (int r = 1; L >= 2 && r <= rows; ++r) {
            std::string code = grid.row(r).code + std::string(8, ' ');
            code.resize(L - 1, ' ');
            FUZZ_CHECK(back.row(r).code == code);
            FUZZ_CHECK(RightsByte(back.row(r).rights) == RightsByte(grid.row(r).rights));
          }
        } else {
          FUZZ_CHECK(DecodeCodeTable(image, layout, grid).messages.empty());
          FUZZ_CHECK(image == was);
          const int n = StoredCodeCount(image, layout);
          FUZZ_CHECK(grid.rowCount() == (n > 0 ? n + 1 : 2));
        }
        break;
      }
    }
    FUZZ_CHECK(StoredRecordLength(image, layout) == L);
    if (L >= 1) {
      FUZZ_CHECK(grid.rowCount() - 1 <= kCodeTableSize / L);
      FUZZ_CHECK(StoredCodeCount(image, layout) <= kCodeTableSize / L);
    }
  }
  FUZZ_CHECK(OnlyIn(decoded, image, layout, {Field::CodeTable, Field::CodeCount}));
  return 0;
}
