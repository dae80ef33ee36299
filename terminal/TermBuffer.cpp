#include "terminal/TermBuffer.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace tarvelo {

const TermCell TComTermBuffer::kEmpty{};

char32_t LineDrawingGlyph(uint8_t ch) {
  static constexpr char32_t kGlyphs[] = {
      U' ',      U'\u25C6', U'\u2592', U'\u2409', U'\u240C', U'\u240D', U'\u240A', U'\u00B0',
      U'\u00B1', U'\u2424', U'\u240B', U'\u2518', U'\u2510', U'\u250C', U'\u2514', U'\u253C',
      U'\u23BA', U'\u23BB', U'\u2500', U'\u23BC', U'\u23BD', U'\u251C', U'\u2524', U'\u2534',
      U'\u252C', U'\u2502', U'\u2264', U'\u2265', U'\u03C0', U'\u2260', U'\u00A3', U'\u00B7'};
  if (ch < 0x5F || ch > 0x7E) return 0;
  return kGlyphs[ch - 0x5F];
}

bool TermChanges::AnyRowDirty() const {
  return std::any_of(dirtyRows.begin(), dirtyRows.end(), [](uint8_t d) { return d != 0; });
}

bool TermChanges::Empty() const {
  return !repaintAll && !sizeChanged && !caretMoved && scrolled == 0 && scrollbackAdded == 0 &&
         !AnyRowDirty();
}

void TermChanges::Reset() {
  repaintAll = sizeChanged = caretMoved = false;
  scrolled = scrollbackAdded = 0;
  std::fill(dirtyRows.begin(), dirtyRows.end(), 0);
}

TComTermBuffer::TComTermBuffer(int columns, int rows) {
  Rebuild(columns, rows);
  // A new buffer is what a new view already shows.
  repaintAll_ = sizeChanged_ = false;
}

void TComTermBuffer::Rebuild(int columns, int rows) {
  columns = std::max(columns, 1);
  rows = std::max(rows, 1);
  if (columns != columns_ || rows != rows_) sizeChanged_ = true;
  columns_ = columns;
  rows_ = rows;
  top_ = 0;
  cells_.assign(static_cast<size_t>(columns_) * rows_, TermCell{});
  lineDirty_.assign(rows_, 0);
  lineSizes_.assign(rows_, LineSize::kSingle);
  tabs_.assign(columns_, 0);
  for (int column = 1; column <= columns_; column += 8) tabs_[column - 1] = 1;
  repaintAll_ = true;
}

void TComTermBuffer::Fill(const TermCell& cell) {
  std::fill(cells_.begin(), cells_.end(), cell);
  std::fill(lineSizes_.begin(), lineSizes_.end(), LineSize::kSingle);
  repaintAll_ = true;
}

void TComTermBuffer::ClearStorageLine(int line, int fromColumn) {
  // An empty cell is all zero bytes, so a whole run clears at memset speed.
  static_assert(std::is_trivially_copyable_v<TermCell>);
  TermCell* const begin = cells_.data() + static_cast<size_t>(line) * columns_ + (fromColumn - 1);
  std::memset(static_cast<void*>(begin), 0, sizeof(TermCell) * (columns_ - fromColumn + 1));
  lineDirty_[line] = 1;
}

void TComTermBuffer::ShiftUp() {
  if (scrollbackCapacity_ > 0) {
    std::vector<TermCell> kept = std::move(spareLine_);
    spareLine_.clear();
    const auto begin = cells_.begin() + static_cast<ptrdiff_t>(top_) * columns_;
    kept.assign(begin, begin + columns_);
    scrollback_.push_back(std::move(kept));
    if (static_cast<int>(scrollback_.size()) > scrollbackCapacity_) {
      spareLine_ = std::move(scrollback_.front());
      scrollback_.pop_front();
    }
    ++scrollbackAdded_;
  }
  // The old row 1 becomes the empty last row; the dirty marks travel with their lines.
  ClearStorageLine(top_, 1);
  lineSizes_[top_] = LineSize::kSingle;
  top_ = top_ + 1 == rows_ ? 0 : top_ + 1;
  ++scrolled_;
}

void TComTermBuffer::ShiftDown() {
  top_ = top_ == 0 ? rows_ - 1 : top_ - 1;
  ClearStorageLine(top_, 1);
  lineSizes_[top_] = LineSize::kSingle;
  --scrolled_;
}

void TComTermBuffer::CopyRow(int from, int to) {
  const int source = StorageLine(from);
  const int target = StorageLine(to);
  std::memcpy(static_cast<void*>(cells_.data() + static_cast<size_t>(target) * columns_),
              cells_.data() + static_cast<size_t>(source) * columns_, sizeof(TermCell) * columns_);
  lineSizes_[target] = lineSizes_[source];
  lineDirty_[target] = 1;
}

void TComTermBuffer::ScrollRegionUp(int top, int bottom, int count) {
  top = std::max(top, 1);
  bottom = std::min(bottom, rows_);
  if (top > bottom || count <= 0) return;
  count = std::min(count, bottom - top + 1);
  for (int row = top; row + count <= bottom; ++row) CopyRow(row + count, row);
  for (int row = bottom - count + 1; row <= bottom; ++row) {
    ClearStorageLine(StorageLine(row), 1);
    lineSizes_[StorageLine(row)] = LineSize::kSingle;
  }
}

void TComTermBuffer::ScrollRegionDown(int top, int bottom, int count) {
  top = std::max(top, 1);
  bottom = std::min(bottom, rows_);
  if (top > bottom || count <= 0) return;
  count = std::min(count, bottom - top + 1);
  for (int row = bottom; row - count >= top; --row) CopyRow(row - count, row);
  for (int row = top; row < top + count; ++row) {
    ClearStorageLine(StorageLine(row), 1);
    lineSizes_[StorageLine(row)] = LineSize::kSingle;
  }
}

void TComTermBuffer::ClearLineTo(int column, int row) {
  if (row < 1 || row > rows_ || column < 1) return;
  column = std::min(column, columns_);
  TermCell* const cells = RowCells(row);
  std::memset(static_cast<void*>(cells), 0, sizeof(TermCell) * column);
  lineDirty_[StorageLine(row)] = 1;
}

void TComTermBuffer::ClearScreenTo(int column, int row) {
  if (row > rows_) {
    row = rows_;
    column = columns_;
  }
  if (row < 1) return;
  for (int r = 1; r < row; ++r) {
    ClearStorageLine(StorageLine(r), 1);
    lineSizes_[StorageLine(r)] = LineSize::kSingle;
  }
  ClearLineTo(column, row);
  if (column >= columns_) lineSizes_[StorageLine(row)] = LineSize::kSingle;
}

void TComTermBuffer::InsertCells(int column, int row, int count) {
  if (!Inside(column, row) || count <= 0) return;
  count = std::min(count, columns_ - column + 1);
  TermCell* const cells = RowCells(row);
  std::memmove(static_cast<void*>(cells + column - 1 + count), cells + column - 1,
               sizeof(TermCell) * (columns_ - column + 1 - count));
  std::memset(static_cast<void*>(cells + column - 1), 0, sizeof(TermCell) * count);
  lineDirty_[StorageLine(row)] = 1;
}

void TComTermBuffer::DeleteCells(int column, int row, int count) {
  if (!Inside(column, row) || count <= 0) return;
  count = std::min(count, columns_ - column + 1);
  TermCell* const cells = RowCells(row);
  std::memmove(static_cast<void*>(cells + column - 1), cells + column - 1 + count,
               sizeof(TermCell) * (columns_ - column + 1 - count));
  std::memset(static_cast<void*>(cells + columns_ - count), 0, sizeof(TermCell) * count);
  lineDirty_[StorageLine(row)] = 1;
}

void TComTermBuffer::EraseCells(int column, int row, int count) {
  if (!Inside(column, row) || count <= 0) return;
  count = std::min(count, columns_ - column + 1);
  std::memset(static_cast<void*>(RowCells(row) + column - 1), 0, sizeof(TermCell) * count);
  lineDirty_[StorageLine(row)] = 1;
}

void TComTermBuffer::ClearLineFrom(int column, int row) {
  if (row < 1 || row > rows_ || column > columns_) return;
  ClearStorageLine(StorageLine(row), std::max(column, 1));
}

void TComTermBuffer::ClearScreenFrom(int column, int row) {
  if (row < 1) {
    row = 1;
    column = 1;
  }
  if (row > rows_) return;
  ClearLineFrom(column, row);
  if (column <= 1) lineSizes_[StorageLine(row)] = LineSize::kSingle;
  for (int r = row + 1; r <= rows_; ++r) {
    ClearStorageLine(StorageLine(r), 1);
    lineSizes_[StorageLine(r)] = LineSize::kSingle;
  }
}

void TComTermBuffer::SetLineSize(int row, LineSize size) {
  if (row < 1 || row > rows_) return;
  const int line = StorageLine(row);
  if (lineSizes_[line] == size) return;
  lineSizes_[line] = size;
  lineDirty_[line] = 1;
}

void TComTermBuffer::SetTabAt(int column, bool on) {
  if (column >= 1 && column <= columns_) tabs_[column - 1] = on ? 1 : 0;
}

int TComTermBuffer::NextTabStop(int column) const {
  for (int c = std::max(column, 1); c <= columns_; ++c) {
    if (tabs_[c - 1]) return c;
  }
  return 0;
}

void TComTermBuffer::ClearTabStops() {
  std::fill(tabs_.begin(), tabs_.end(), 0);
}

std::span<const TermCell> TComTermBuffer::Line(int line) const {
  if (line >= 1 && line <= rows_) {
    return {cells_.data() + static_cast<size_t>(StorageLine(line)) * columns_,
            static_cast<size_t>(columns_)};
  }
  const int back = ScrollbackLines() - 1 + line;  // index in scrollback_, oldest first
  if (line <= 0 && back >= 0) return scrollback_[back];
  return {};
}

void TComTermBuffer::SetScrollbackCapacity(int lines) {
  scrollbackCapacity_ = std::max(lines, 0);
  while (static_cast<int>(scrollback_.size()) > scrollbackCapacity_) scrollback_.pop_front();
}

void TComTermBuffer::ClearScrollback() {
  scrollback_.clear();
}

void TComTermBuffer::TakeChanges(TermChanges& out) {
  out.repaintAll = repaintAll_;
  out.sizeChanged = sizeChanged_;
  out.scrolled = scrolled_;
  out.scrollbackAdded = scrollbackAdded_;
  out.dirtyRows.assign(rows_, 0);
  for (int row = 1; row <= rows_; ++row) {
    uint8_t& dirty = lineDirty_[StorageLine(row)];
    out.dirtyRows[row - 1] = dirty;
    dirty = 0;
  }
  repaintAll_ = sizeChanged_ = false;
  scrolled_ = scrollbackAdded_ = 0;
}

}  // namespace tarvelo
