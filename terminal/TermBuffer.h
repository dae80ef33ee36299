// The character cells and tab stops of one terminal screen, the lines that scrolled off its
// top, and a record of what changed since the drawing side last looked.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace tarvelo {

using TermColor = uint32_t;  // 0xRRGGBB

struct TermCell {
  uint8_t ch = 0;  // 0: empty, never drawn; the view shows its background colour there
  bool underline = false;
  // The attributes the character was written with; the colours already account for them.
  // `bright` is bold: draw the character in a bold face (its colour is already the bright one).
  bool bright = false;
  bool inverse = false;
  TermColor foreground = 0;
  TermColor background = 0;
  // Shown blinking: the view alternates between the character and an empty cell.
  bool blink = false;
  // `ch` (0x5F..0x7E) is not a code-page character but a glyph of the DEC special graphics
  // set: draw LineDrawingGlyph(ch) instead. The UK set's pound sign is stored this way too,
  // as 0x7D.
  bool lineDrawing = false;

  bool operator==(const TermCell&) const = default;
};

// The Unicode character a line-drawing cell shows; 0 for a byte the set does not have.
char32_t LineDrawingGlyph(uint8_t ch);

// How a screen line is drawn: at normal size, each cell twice as wide (only the left half of
// the columns is used), or the top or bottom half of characters twice as wide and high.
enum class LineSize : uint8_t { kSingle, kDoubleWidth, kDoubleTop, kDoubleBottom };

// What the drawing side has to do to catch up. When repaintAll is set the rest does not
// matter. Otherwise: first move the pixels of the screen up by `scrolled` rows (down when
// negative; everything when the amount reaches the row count), then repaint the dirty rows.
struct TermChanges {
  bool repaintAll = false;
  bool sizeChanged = false;  // Columns or Rows differ from the last report
  bool caretMoved = false;
  int scrolled = 0;
  int scrollbackAdded = 0;         // lines that went into the scroll-back (some may have aged out)
  std::vector<uint8_t> dirtyRows;  // one per screen row, row 1 first; non-zero: repaint

  bool RowDirty(int row) const {
    return repaintAll ||
           (row >= 1 && row <= static_cast<int>(dirtyRows.size()) && dirtyRows[row - 1] != 0);
  }
  bool AnyRowDirty() const;
  bool Empty() const;
  void Reset();
};

// Positions are 1-based (column, row). Reads outside the screen give an empty cell, writes
// outside it are dropped: callers clamp, this is the last guard.
class TComTermBuffer {
 public:
  static constexpr int kDefaultScrollback = 1000;

  TComTermBuffer(int columns = 80, int rows = 24);

  // An empty screen of the given size with tab stops every eight columns from column 1. The
  // scroll-back is kept: it is history, not screen.
  void Rebuild(int columns, int rows);
  int Columns() const { return columns_; }
  int Rows() const { return rows_; }

  bool Inside(int column, int row) const {
    return column >= 1 && column <= columns_ && row >= 1 && row <= rows_;
  }
  const TermCell& Cell(int column, int row) const {
    return Inside(column, row) ? cells_[Index(column, row)] : kEmpty;
  }
  void PutCell(int column, int row, const TermCell& cell) {
    if (!Inside(column, row)) return;
    const int line = StorageLine(row);
    cells_[static_cast<size_t>(line) * columns_ + (column - 1)] = cell;
    lineDirty_[line] = 1;
  }
  // PutCell with the character given apart, so that a pen cell can be reused as it is.
  void PutChar(int column, int row, const TermCell& pen, uint8_t ch) {
    if (!Inside(column, row)) return;
    const int line = StorageLine(row);
    TermCell& cell = cells_[static_cast<size_t>(line) * columns_ + (column - 1)];
    cell = pen;
    cell.ch = ch;
    lineDirty_[line] = 1;
  }
  // PutChar on a line of single size; false, with nothing written, on any other line.
  bool PutSingle(int column, int row, const TermCell& pen, uint8_t ch) {
    if (!Inside(column, row)) return false;
    const int line = StorageLine(row);
    if (lineSizes_[line] != LineSize::kSingle) return false;
    TermCell& cell = cells_[static_cast<size_t>(line) * columns_ + (column - 1)];
    cell = pen;
    cell.ch = ch;
    lineDirty_[line] = 1;
    return true;
  }
  void Fill(const TermCell& cell);

  // Row 1 goes into the scroll-back, the rest move up, the last row comes back empty.
  void ShiftUp();
  // The rows move down, the last one is lost, row 1 comes back empty.
  void ShiftDown();
  // Within the rows top..bottom only, and without the scroll-back: `count` rows leave at the
  // top and empty ones come in at the bottom (Up), or the other way round (Down).
  void ScrollRegionUp(int top, int bottom, int count);
  void ScrollRegionDown(int top, int bottom, int count);
  void ClearLineFrom(int column, int row);
  // Column 1 through `column` of `row`.
  void ClearLineTo(int column, int row);
  // The rest of `row` from `column`, then every later row; rows erased whole become single.
  void ClearScreenFrom(int column, int row);
  // Every earlier row, then `row` through `column`; rows erased whole become single.
  void ClearScreenTo(int column, int row);
  // `count` empty cells at `column`; the cells after it move right, the last ones are lost.
  void InsertCells(int column, int row, int count);
  // `count` cells at `column` go; the cells after them move left, empty ones come in at the end.
  void DeleteCells(int column, int row, int count);
  // `count` cells from `column` become empty, the rest stays where it is.
  void EraseCells(int column, int row, int count);

  // Every screen line starts single; the size moves with the line when the screen scrolls and
  // a line scrolled in or erased whole is single again.
  LineSize LineSizeOf(int row) const {
    return row >= 1 && row <= rows_ ? lineSizes_[StorageLine(row)] : LineSize::kSingle;
  }
  void SetLineSize(int row, LineSize size);

  bool TabAt(int column) const {
    return column >= 1 && column <= columns_ && tabs_[column - 1] != 0;
  }
  void SetTabAt(int column, bool on);
  // The first tab stop at or after `column`; 0 when there is none up to the last column.
  int NextTabStop(int column) const;
  void ClearTabStops();

  // Lines run from 1 - ScrollbackLines() (the oldest kept) through 0 (the last to scroll off)
  // to 1..Rows() (the screen). A scroll-back line keeps the width it had; outside the range
  // the span is empty.
  std::span<const TermCell> Line(int line) const;
  int FirstLine() const { return 1 - ScrollbackLines(); }
  int ScrollbackLines() const { return static_cast<int>(scrollback_.size()); }
  int ScrollbackCapacity() const { return scrollbackCapacity_; }
  void SetScrollbackCapacity(int lines);
  void ClearScrollback();

  // Hands over what changed since the last call and starts a fresh record.
  void TakeChanges(TermChanges& out);
  void MarkAllDirty() { repaintAll_ = true; }

 private:
  static const TermCell kEmpty;

  // Screen rows are a ring over the storage lines so that scrolling moves no cells.
  int StorageLine(int row) const {
    const int line = top_ + row - 1;
    return line >= rows_ ? line - rows_ : line;
  }
  size_t Index(int column, int row) const {
    return static_cast<size_t>(StorageLine(row)) * columns_ + (column - 1);
  }
  void ClearStorageLine(int line, int fromColumn);
  TermCell* RowCells(int row) {
    return cells_.data() + static_cast<size_t>(StorageLine(row)) * columns_;
  }
  void CopyRow(int from, int to);

  int columns_ = 0;
  int rows_ = 0;
  int top_ = 0;  // storage line of row 1
  std::vector<TermCell> cells_;
  std::vector<uint8_t> tabs_;
  std::vector<uint8_t> lineDirty_;   // by storage line
  std::vector<LineSize> lineSizes_;  // by storage line
  bool repaintAll_ = true;
  bool sizeChanged_ = true;
  int scrolled_ = 0;
  int scrollbackAdded_ = 0;

  std::deque<std::vector<TermCell>> scrollback_;  // oldest first
  std::vector<TermCell> spareLine_;               // an aged-out line, reused for the next one
  int scrollbackCapacity_ = kDefaultScrollback;
};

}  // namespace tarvelo
