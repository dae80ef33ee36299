#include "ui/ComTerminal.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <chrono>
#include <cstring>

#include "terminal/CodePage.h"
#include "terminal/KeyInput.h"
#include "terminal/SessionLog.h"
#include "ui/ErrorGuard.h"
#include "ui/QtText.h"
#include "ui/TerminalKeys.h"

namespace tarvelo {
namespace {

// Paints wait at least this long after the last one, so a flood of small blocks costs one
// paint per frame rather than one per block. 40 frames a second keep every line within
// about 35 ms of its last byte under a 115200-baud flood at two thirds of the paint cost of 60.
constexpr int kFrameMs = 25;
// Blinking characters are shown and hidden for this long each.
constexpr int kBlinkMs = 500;
// How often the scroll bar catches up with a scroll-back that grows as the view follows.
constexpr int kBarMs = 250;

QColor ToQColor(TermColor c) {
  return QColor::fromRgb((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}
TermColor FromQColor(const QColor& c) {
  return (static_cast<TermColor>(c.red()) << 16) | (static_cast<TermColor>(c.green()) << 8) |
         static_cast<TermColor>(c.blue());
}

// A fixed-pitch font of the size of `wanted`: proportional text would not stay in its cells.
// The system's fixed font first, then what the font matcher offers for a typewriter face,
// then the first fixed-pitch family installed.
QFont FixedPitchLike(const QFont& wanted) {
  const auto sized = [&wanted](QFont f) {
    if (wanted.pixelSize() > 0) {
      f.setPixelSize(wanted.pixelSize());
    } else {
      f.setPointSizeF(wanted.pointSizeF());
    }
    return f;
  };
  QFont system = sized(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  if (QFontInfo(system).fixedPitch()) return system;
  QFont typewriter = sized(QFont(QStringLiteral("Monospace")));
  typewriter.setStyleHint(QFont::TypeWriter);
  typewriter.setFixedPitch(true);
  if (QFontInfo(typewriter).fixedPitch()) return typewriter;
  for (const QString& family : QFontDatabase::families()) {
    if (!QFontDatabase::isFixedPitch(family)) continue;
    QFont f = sized(QFont(family));
    if (QFontInfo(f).fixedPitch()) return f;
  }
  return system;
}

}  // namespace

// ---------------------------------------------------------------- TCustomComTerminal

TCustomComTerminal::TCustomComTerminal(QWidget* parent)
    : QAbstractScrollArea(parent), state_(this) {
  for (int b = 0; b < 256; ++b) {
    const CodePageCharacter& c = TerminalCharacter(static_cast<uint8_t>(b));
    glyphs_[b] = c.visible ? QChar(static_cast<char16_t>(c.codePoint)) : QChar(u' ');
  }
  link_.LinkRxBuf = [this](TCustomComPort*, const uint8_t* bytes, int count) {
    RecordAndDrop('<', bytes, count);
    ReceiveBlock(bytes, count);
  };
  link_.LinkTxBuf = [this](TCustomComPort*, const uint8_t* bytes, int count) {
    RecordAndDrop('>', bytes, count);
  };

  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setCursor(Qt::IBeamCursor);
  SetBorderStyle(bsSingle);
  SetScrollBars(ssBoth);
  verticalScrollBar()->setTracking(false);
  horizontalScrollBar()->setTracking(false);
  // The bars' own menu would jump to either end; the terminal keeps its place on such
  // requests, so the menu offers nothing.
  verticalScrollBar()->setContextMenuPolicy(Qt::NoContextMenu);
  horizontalScrollBar()->setContextMenuPolicy(Qt::NoContextMenu);

  flushTimer_.setSingleShot(true);
  connect(&flushTimer_, &QTimer::timeout, this, Guarded([this] { FlushChanges(); }));
  barTimer_.setSingleShot(true);
  barTimer_.setInterval(kBarMs);
  connect(&barTimer_, &QTimer::timeout, this, Guarded([this] {
    pending_.bars = true;
    ScheduleFlush();
  }));
  blinkTimer_.setInterval(kBlinkMs);
  connect(&blinkTimer_, &QTimer::timeout, this, Guarded([this] { BlinkTick(); }));
  sinceFlush_.start();

  QFont f(QStringLiteral("Fixedsys"));
  f.setPointSize(9);
  setFont(f);
  ApplyFont();
  resize(400, 250);
  pending_.all = true;
}

TCustomComTerminal::~TCustomComTerminal() {
  try {
    SetConnection(nullptr);
  } catch (...) {
    // The link was not registered after all; nothing is left to undo.
  }
}

void TCustomComTerminal::SetConnection(DeviceConnection* connection) {
  if (connection == connection_) return;
  DeviceConnection* old = connection_;
  connection_ = connection;
  if (old && !linkSuspended_) old->Unbind(&link_);
  if (connection_ && !linkSuspended_) connection_->Bind(&link_);
}

void TCustomComTerminal::SetLinkSuspended(bool suspended) {
  if (suspended == linkSuspended_) return;
  linkSuspended_ = suspended;
  if (!connection_) return;
  if (suspended) {
    connection_->Unbind(&link_);
  } else {
    connection_->Bind(&link_);
  }
}

// ---------------------------------------------------------------- properties

void TCustomComTerminal::SetCaret(TTermCaret caret) {
  if (caret == caret_) return;
  caret_ = caret;
  UpdateCaret();
}

void TCustomComTerminal::SetSmoothScroll(bool on) {
  smoothScroll_ = on;
  verticalScrollBar()->setTracking(on);
  horizontalScrollBar()->setTracking(on);
}

QColor TCustomComTerminal::AltColor() const {
  return ToQColor(state_.AltColor());
}
void TCustomComTerminal::SetAltColor(const QColor& color) {
  state_.SetAltColor(FromQColor(color));
}
QColor TCustomComTerminal::Color() const {
  return ToQColor(state_.BackgroundColor());
}
void TCustomComTerminal::SetColor(const QColor& color) {
  state_.SetBackgroundColor(FromQColor(color));
  pending_.all = true;
  ScheduleFlush();
}
QColor TCustomComTerminal::FontColor() const {
  return ToQColor(state_.TextColor());
}
void TCustomComTerminal::SetFontColor(const QColor& color) {
  state_.SetTextColor(FromQColor(color));
  UpdateCaret();
}

void TCustomComTerminal::SetScrollBars(TScrollStyle bars) {
  scrollBars_ = bars;
  const bool h = bars == ssHorizontal || bars == ssBoth;
  const bool v = bars == ssVertical || bars == ssBoth;
  setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(v ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  pending_.all = true;
  ScheduleFlush();
}

void TCustomComTerminal::SetBorderStyle(TBorderStyle style) {
  borderStyle_ = style;
  setFrameStyle(style == bsSingle ? QFrame::StyledPanel | QFrame::Sunken : QFrame::NoFrame);
  FitSize();
}

void TCustomComTerminal::SetAutoSize(bool on) {
  autoSize_ = on;
  FitSize();
}

void TCustomComTerminal::SetScrollbackCapacity(int lines) {
  state_.SetScrollbackCapacity(lines);
  ClearSelection();
  pending_.all = true;
  ScheduleFlush();
}

// ---------------------------------------------------------------- events and their steps

void TCustomComTerminal::DoChar(uint8_t ch) {
  if (OnChar) OnChar(this, ch);
}

void TCustomComTerminal::DoGetEscapeCodes(std::unique_ptr<TEscapeCodes>& codes) {
  if (OnGetEscapeCodes) OnGetEscapeCodes(this, codes);
}

void TCustomComTerminal::DoUnhandledCode(TEscapeCode code, const std::string& text) {
  if (OnUnhandledCode) OnUnhandledCode(this, code, text);
}

void TCustomComTerminal::DoStrRecieved(std::string& text) {
  if (OnStrRecieved) OnStrRecieved(this, text);
}

void TCustomComTerminal::ReceiveBlock(const uint8_t* bytes, int count) {
  state_.ReceiveBytes(std::string_view(reinterpret_cast<const char*>(bytes), count));
}

void TCustomComTerminal::UnhandledCode(TEscapeCode code, std::string_view text) {
  DoUnhandledCode(code, std::string(text));
}

std::unique_ptr<TEscapeCodes> TCustomComTerminal::ParserWanted() {
  std::unique_ptr<TEscapeCodes> codes;
  DoGetEscapeCodes(codes);
  return codes;
}

void TCustomComTerminal::Bell() {
  QApplication::beep();
}

void TCustomComTerminal::Send(std::string_view bytes) {
  connection_->Write(std::string(bytes));
}

void TCustomComTerminal::RecordAndDrop(char direction, const uint8_t* bytes, int count) {
  if (!log_.IsOpen()) return;
  const FileResult written = log_.Append(
      SessionLogLine(direction, std::string_view(reinterpret_cast<const char*>(bytes), count),
                     std::chrono::system_clock::now()));
  if (!written.ok && OnLogFailed) OnLogFailed(this, Q(written.message));
}

bool TCustomComTerminal::StartLog(const QString& path, QString* error) {
  const FileResult opened = log_.Open(path.toStdString());
  if (!opened.ok && error) *error = Q(opened.message);
  return opened.ok;
}

void TCustomComTerminal::StopLog() {
  log_.Close();
}

// ---------------------------------------------------------------- changes and painting

void TCustomComTerminal::ScreenChanged(const TermChanges& changes) {
  Pending& p = pending_;
  const int rows = state_.Rows();
  if (changes.sizeChanged) p.size = true;
  if (changes.repaintAll || changes.sizeChanged) p.all = true;
  p.caret = p.caret || changes.caretMoved;
  if (changes.scrollbackAdded != 0) {
    p.scrollbackAdded += changes.scrollbackAdded;
    // The selection keeps to its text as the lines are numbered anew.
    anchor_.row -= changes.scrollbackAdded;
    extent_.row -= changes.scrollbackAdded;
  }
  if (changes.repaintAll && HasSelection()) ClearSelection();
  if (!p.all) {
    if (static_cast<int>(p.dirty.size()) != rows) p.dirty.assign(rows, 0);
    if (changes.scrolled != 0) {
      // Rows marked before move with the pixels that will be scrolled.
      std::vector<uint8_t> moved(rows, 0);
      for (int r = 1; r <= rows; ++r) {
        const int to = r - changes.scrolled;
        if (p.dirty[r - 1] && to >= 1 && to <= rows) moved[to - 1] = 1;
      }
      p.dirty.swap(moved);
    }
    for (int r = 1; r <= rows; ++r)
      if (changes.RowDirty(r)) p.dirty[r - 1] = 1;
  }
  p.scrolled += changes.scrolled;
  ScheduleFlush();
}

void TCustomComTerminal::ScheduleFlush() {
  if (flushTimer_.isActive()) return;
  const qint64 since = sinceFlush_.elapsed();
  flushTimer_.start(since >= kFrameMs ? 0 : static_cast<int>(kFrameMs - since));
}

int TCustomComTerminal::VisibleRows() const {
  return std::max(1, viewport()->height() / cellHeight_);
}
int TCustomComTerminal::VisibleColumns() const {
  return std::max(1, viewport()->width() / cellWidth_);
}
int TCustomComTerminal::BottomTopLine() const {
  return std::max(1, state_.Rows() - VisibleRows() + 1);
}
int TCustomComTerminal::CaretTopLine(int top) const {
  const int visible = VisibleRows();
  const int caret = state_.Caret().row;
  if (caret < top) {
    top = caret;
  } else if (caret >= top + visible) {
    top = caret - visible + 1;
  }
  return std::clamp(top, 1, BottomTopLine());
}
int TCustomComTerminal::TopLine() const {
  return topLine_;
}
int TCustomComTerminal::LeftColumn() const {
  return leftColumn_;
}
bool TCustomComTerminal::Following() const {
  return following_;
}

void TCustomComTerminal::FitScrollBars(bool lazy) {
  adjustingBars_ = true;
  const int first = 1 - state_.ScrollbackLines();
  const int bottom = BottomTopLine();
  const bool vertical = scrollBars_ == ssVertical || scrollBars_ == ssBoth;
  if (!vertical) following_ = true;
  if (following_) {
    topLine_ = CaretTopLine(topLine_);
  } else if (topLine_ > bottom) {
    topLine_ = bottom;
  }
  if (vertical) {
    topLine_ = std::max(topLine_, first);
  }
  QScrollBar* v = verticalScrollBar();
  const int vmax = vertical ? bottom - first : 0;
  const int value = vertical ? topLine_ - first : 0;
  // While the view follows the output the bar changes only by the scroll-back growing, and
  // redrawing it for every frame of a flood would cost more than the text: it catches up a
  // few times a second instead, unless it is to appear or go.
  const bool onlyGrown = lazy && v->maximum() - v->value() == vmax - value &&
                         v->pageStep() == VisibleRows() && (v->maximum() > 0) == (vmax > 0);
  if (onlyGrown) {
    if (v->maximum() != vmax && !barTimer_.isActive()) barTimer_.start();
  } else {
    barTimer_.stop();
    v->setRange(0, vmax);
    v->setPageStep(VisibleRows());
    v->setSingleStep(1);
    v->setValue(value);
    barFirst_ = first;
    barShift_ = 0;
  }
  const bool horizontal = scrollBars_ == ssHorizontal || scrollBars_ == ssBoth;
  const int hmax = horizontal ? std::max(0, state_.Columns() - VisibleColumns()) : 0;
  leftColumn_ = std::clamp(leftColumn_, 1, 1 + hmax);
  QScrollBar* h = horizontalScrollBar();
  h->setRange(0, hmax);
  h->setPageStep(VisibleColumns());
  h->setSingleStep(1);
  h->setValue(leftColumn_ - 1);
  adjustingBars_ = false;
}

void TCustomComTerminal::FitSize() {
  updateGeometry();
  if (!autoSize_ || fitToWindow_) return;
  // A control that a layout places (filling its parent) keeps the size it is given.
  if (QWidget* parent = parentWidget();
      parent && parent->layout() && parent->layout()->indexOf(this) >= 0)
    return;
  resize(sizeHint());
}

QSize TCustomComTerminal::sizeHint() const {
  const int frame = 2 * frameWidth();
  return {state_.Columns() * cellWidth_ + frame, state_.Rows() * cellHeight_ + frame};
}

QSize TCustomComTerminal::FittingSize() const {
  int width = contentsRect().width();
  const int height = contentsRect().height();
  if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) {
    width -= verticalScrollBar()->sizeHint().width();
    if (style()->styleHint(QStyle::SH_ScrollView_FrameOnlyAroundContents, nullptr, this))
      width -= style()->pixelMetric(QStyle::PM_ScrollView_ScrollBarSpacing, nullptr, this);
  }
  return {std::clamp(width / cellWidth_, TComTermState::kMinColumns, TComTermState::kMaxColumns),
          std::clamp(height / cellHeight_, TComTermState::kMinRows, TComTermState::kMaxRows)};
}

void TCustomComTerminal::SetFitToWindow(bool on) {
  fitToWindow_ = on;
  if (on) {
    FitScreenToWindow();
  } else {
    FitSize();
  }
}

void TCustomComTerminal::FitScreenToWindow() {
  const QSize fitting = FittingSize();
  if (fitting != QSize(state_.Columns(), state_.Rows()))
    state_.SetSize(fitting.width(), fitting.height());
}

QRect TCustomComTerminal::RowRect(int line) const {
  return {0, (line - topLine_) * cellHeight_, viewport()->width(), cellHeight_};
}

QRect TCustomComTerminal::CellRect(int column, int line) const {
  return {(column - leftColumn_) * cellWidth_, (line - topLine_) * cellHeight_, cellWidth_,
          cellHeight_};
}

TermPos TCustomComTerminal::CellAt(const QPoint& point) const {
  const int first = 1 - state_.ScrollbackLines();
  const int column = leftColumn_ + std::max(0, point.x()) / cellWidth_;
  const int line = topLine_ + std::max(0, point.y()) / cellHeight_;
  return {std::clamp(column, 1, state_.Columns()), std::clamp(line, first, state_.Rows())};
}

QRect TCustomComTerminal::ScreenArea() const {
  // The part of the view that shows screen rows; with the view following, rows only.
  const int width =
      std::min(viewport()->width(), (state_.Columns() - leftColumn_ + 1) * cellWidth_);
  const int height = std::min(VisibleRows(), state_.Rows() - topLine_ + 1) * cellHeight_;
  return {0, 0, std::max(0, width), std::max(0, height)};
}

void TCustomComTerminal::FlushChanges() {
  flushTimer_.stop();
  sinceFlush_.restart();
  Pending p = std::move(pending_);
  pending_ = Pending{};
  if (p.view) {
    following_ = p.follow;
    topLine_ = p.top;
    leftColumn_ = p.left;
    p.all = true;
  }
  if (p.size) FitSize();
  if (!following_) topLine_ -= p.scrollbackAdded;
  barShift_ += p.scrollbackAdded;
  const int topBefore = topLine_;
  const int leftBefore = leftColumn_;
  FitScrollBars(following_ && !p.view && !p.size && !p.bars);
  if (topLine_ != topBefore || leftColumn_ != leftBefore) p.all = true;
  if (image_.size() != viewport()->size()) {
    image_ = QImage(viewport()->size(), QImage::Format_RGB32);
    p.all = true;
  }
  const TermPos caretBefore = caretShownAt_;
  caretShownAt_ = state_.Caret();
  if (image_.isNull()) return;
  // Scrolled while looking at the scroll-back: everything in view has moved.
  if (!following_ && (p.scrolled != 0 || p.scrollbackAdded != 0)) p.all = true;
  const int visible = VisibleRows();
  if (std::abs(p.scrolled) >= visible) p.all = true;

  QPainter painter(&image_);
  if (p.all) {
    painter.fillRect(image_.rect(), Color());
    for (int line = topLine_; line < topLine_ + visible + 1; ++line) DrawLine(painter, line);
    viewport()->update();
    paintPending_ = true;
    if (sawBlink_ && !blinkTimer_.isActive()) blinkTimer_.start();
    ViewDrawn();
    return;
  }
  QRegion changed;
  if (p.scrolled != 0) {
    // Move the screen's pixels by whole rows; only the rows that come into view are drawn.
    const QRect area = ScreenArea();
    const int shift = p.scrolled * cellHeight_;
    const int lines = area.height() - std::abs(shift);
    if (lines > 0) {
      const qsizetype stride = image_.bytesPerLine();
      uchar* bits = image_.bits();
      if (shift > 0) {
        std::memmove(bits, bits + stride * shift, static_cast<size_t>(stride * lines));
      } else {
        std::memmove(bits + stride * -shift, bits, static_cast<size_t>(stride * lines));
      }
    }
    const int firstRow = topLine_;
    const int lastRow = topLine_ + area.height() / cellHeight_ - 1;
    const int enteringFirst = p.scrolled > 0 ? lastRow - p.scrolled + 1 : firstRow;
    const int enteringLast = p.scrolled > 0 ? lastRow : firstRow - p.scrolled - 1;
    for (int row = enteringFirst; row <= enteringLast; ++row)
      if (row >= 1 && row <= state_.Rows()) p.dirty[row - 1] = 1;
    // The row cut off at the bottom of the window is not moved with the whole ones, yet its
    // content has changed as well.
    if (lastRow + 1 >= 1 && lastRow + 1 <= state_.Rows()) p.dirty[lastRow] = 1;
    if (paintPending_) {
      // The window still waits for an earlier picture: moving its pixels would move stale
      // ones, so the whole screen is copied from the picture instead.
      changed += area;
    } else {
      viewport()->scroll(0, -shift, area);
    }
  }
  const int lastVisible = topLine_ + visible;
  for (int row = std::max(1, topLine_); row <= std::min(state_.Rows(), lastVisible); ++row) {
    if (row - 1 >= static_cast<int>(p.dirty.size()) || !p.dirty[row - 1]) continue;
    DrawLine(painter, row);
    changed += QRect(0, (row - topLine_) * cellHeight_, viewport()->width(), cellHeight_);
  }
  if (p.caret || p.scrolled != 0 || caretBefore != caretShownAt_) {
    // Whole rows: on a double-width line the caret's cell is not where CellRect says.
    changed += RowRect(caretBefore.row - p.scrolled);
    changed += RowRect(caretBefore.row);
    changed += RowRect(caretShownAt_.row);
  }
  if (!changed.isEmpty()) {
    viewport()->update(changed);
    paintPending_ = true;
  }
  if (sawBlink_ && !blinkTimer_.isActive()) blinkTimer_.start();
  ViewDrawn();
}

bool TCustomComTerminal::Selected(int column, int line) const {
  if (!HasSelection()) return false;
  TermPos a = anchor_;
  TermPos b = extent_;
  if (rectangular_) {
    return line >= std::min(a.row, b.row) && line <= std::max(a.row, b.row) &&
           column >= std::min(a.column, b.column) && column <= std::max(a.column, b.column);
  }
  if (b.row < a.row || (b.row == a.row && b.column < a.column)) std::swap(a, b);
  if (line < a.row || line > b.row) return false;
  if (line == a.row && column < a.column) return false;
  if (line == b.row && column > b.column) return false;
  return true;
}

LineSize TCustomComTerminal::SizeOf(int line) const {
  return line >= 1 && line <= state_.Rows() ? state_.LineSizeOf(line) : LineSize::kSingle;
}

QTransform TCustomComTerminal::LineTransform(int line) const {
  const qreal x = -static_cast<qreal>((leftColumn_ - 1) * cellWidth_);
  const qreal y = static_cast<qreal>((line - topLine_) * cellHeight_);
  switch (SizeOf(line)) {
    case LineSize::kDoubleWidth:
      return QTransform(2, 0, 0, 1, x, y);
    case LineSize::kDoubleTop:
      return QTransform(2, 0, 0, 2, x, y);
    case LineSize::kDoubleBottom:
      // The lower half of characters twice as high: their top half falls on the row above.
      return QTransform(2, 0, 0, 2, x, y - cellHeight_);
    case LineSize::kSingle:
      break;
  }
  return QTransform::fromTranslate(x, y);
}

void TCustomComTerminal::CellColors(const TermCell& cell, bool selected, QColor& fg,
                                    QColor& bg) const {
  if (cell.ch == 0) {
    fg = FontColor();
    bg = Color();
  } else {
    fg = ToQColor(cell.foreground);
    bg = ToQColor(cell.background);
  }
  if (state_.ReverseScreen()) std::swap(fg, bg);
  if (selected) std::swap(fg, bg);
}

bool TCustomComTerminal::Runnable(const TermCell& cell) const {
  return drawRuns_ && !cell.lineDrawing &&
         (cell.bright ? runnableBold_[cell.ch] : runnable_[cell.ch]);
}

void TCustomComTerminal::DrawLineDrawing(QPainter& p, uint8_t ch, const QRect& rect,
                                         const QColor& fg) {
  const int x = rect.left();
  const int w = cellWidth_;
  const int h = cellHeight_;
  // Box pieces are strokes from the cell's middle to its edges, so they join their
  // neighbours whatever the font has or lacks.
  const int t = std::max(1, (std::min(w, h) + 4) / 8);
  const int cx = x + (w - t) / 2;
  const int cy = (h - t) / 2;
  enum : uint8_t { kUp = 1, kDown = 2, kLeft = 4, kRight = 8 };
  static constexpr uint8_t kArms[] = {
      kUp | kLeft,                   // 0x6A lower right corner
      kDown | kLeft,                 // 0x6B upper right corner
      kDown | kRight,                // 0x6C upper left corner
      kUp | kRight,                  // 0x6D lower left corner
      kUp | kDown | kLeft | kRight,  // 0x6E crossing
      0,
      0,               // 0x6F, 0x70 scan lines 1 and 3
      kLeft | kRight,  // 0x71 horizontal line (scan line 5)
      0,
      0,                       // 0x72, 0x73 scan lines 7 and 9
      kUp | kDown | kRight,    // 0x74 left tee
      kUp | kDown | kLeft,     // 0x75 right tee
      kUp | kLeft | kRight,    // 0x76 bottom tee
      kDown | kLeft | kRight,  // 0x77 top tee
      kUp | kDown,             // 0x78 vertical line
  };
  const uint8_t arms = ch >= 0x6A && ch <= 0x78 ? kArms[ch - 0x6A] : 0;
  if (arms != 0) {
    if (arms & kLeft) p.fillRect(QRect(x, cy, cx - x + t, t), fg);
    if (arms & kRight) p.fillRect(QRect(cx, cy, x + w - cx, t), fg);
    if (arms & kUp) p.fillRect(QRect(cx, 0, t, cy + t), fg);
    if (arms & kDown) p.fillRect(QRect(cx, cy, t, h - cy), fg);
    return;
  }
  switch (ch) {
    case 0x5F:  // blank
      return;
    case 0x61:  // checkerboard
      p.fillRect(QRect(x, 0, w, h), QBrush(fg, Qt::Dense4Pattern));
      return;
    case 0x6F:
    case 0x70:
    case 0x72:
    case 0x73: {
      static constexpr int kTenths[] = {1, 3, 0, 7, 9};
      const int y = std::clamp(h * kTenths[ch - 0x6F] / 10 - t / 2, 0, h - t);
      p.fillRect(QRect(x, y, w, t), fg);
      return;
    }
    case 0x62:
    case 0x63:
    case 0x64:
    case 0x65:
    case 0x68:
    case 0x69: {
      // Control pictures: fonts seldom have them, so the two letters are drawn small, one
      // above the other's right, as the terminal's own glyphs show them.
      static constexpr const char* kPictures[] = {"HT", "FF", "CR", "LF", 0, 0, "NL", "VT"};
      const char* letters = kPictures[ch - 0x62];
      QFont small = fonts_[0];
      small.setPixelSize(std::max(4, h * 45 / 100));
      p.setFont(small);
      p.setPen(fg);
      p.drawText(QRect(x, 0, w, h / 2), Qt::AlignLeft | Qt::AlignVCenter, QString(letters[0]));
      p.drawText(QRect(x, h / 2, w, h - h / 2), Qt::AlignRight | Qt::AlignVCenter,
                 QString(letters[1]));
      return;
    }
    default:
      break;
  }
  const char32_t glyph = LineDrawingGlyph(ch);
  if (glyph == 0) return;
  p.setFont(fonts_[0]);
  p.setPen(fg);
  p.drawText(QRect(x, 0, w, h), Qt::AlignCenter, QString::fromUcs4(&glyph, 1));
}

void TCustomComTerminal::DrawContent(QPainter& p, const TermCell& cell, const QRect& rect,
                                     const QColor& fg) {
  if (!Shown(cell)) return;
  if (cell.lineDrawing) {
    DrawLineDrawing(p, cell.ch, rect, fg);
    return;
  }
  p.setFont(FontFor(cell));
  p.setPen(fg);
  p.drawText(rect.left(), ascent_, QString(glyphs_[cell.ch]));
}

void TCustomComTerminal::DrawRun(QPainter& p, std::span<const TermCell> cells, int x,
                                 const QColor& fg) {
  // Glyphs straight from the font, each at its cell: text shaping would cost more than all
  // the rest of a frame, and a terminal's cells need none.
  const int face = cells.front().bright ? 1 : 0;
  runGlyphs_.clear();
  runPositions_.clear();
  for (const TermCell& c : cells) {
    runGlyphs_.push_back(glyphIndex_[face][c.ch]);
    runPositions_.push_back(QPointF(x, ascent_));
    x += cellWidth_;
  }
  QGlyphRun run;
  run.setRawFont(rawFonts_[face]);
  run.setGlyphIndexes(runGlyphs_);
  run.setPositions(runPositions_);
  p.setPen(fg);
  p.drawGlyphRun(QPointF(0, 0), run);
  // A glyph run draws no underline of its own.
  if (cells.front().underline) {
    const int start = static_cast<int>(runPositions_.front().x());
    p.fillRect(QRect(start, underlineY_, x - start, underlineHeight_), fg);
  }
}

void TCustomComTerminal::DrawLine(QPainter& p, int line) {
  const QRect strip(0, (line - topLine_) * cellHeight_, image_.width(), cellHeight_);
  const bool stored = line <= state_.Rows() && line >= 1 - state_.ScrollbackLines();
  p.fillRect(strip, stored && state_.ReverseScreen() ? FontColor() : Color());
  if (!stored) return;
  const std::span<const TermCell> cells = state_.Line(line);
  const int width = static_cast<int>(cells.size());
  int firstColumn = leftColumn_;
  int lastColumn = std::min(width, leftColumn_ + VisibleColumns());
  if (SizeOf(line) != LineSize::kSingle) {
    // Each cell twice as wide: the first half of the columns fills the line.
    firstColumn = (leftColumn_ - 1) / 2 + 1;
    lastColumn = std::min(width / 2, (leftColumn_ - 1 + VisibleColumns()) / 2 + 1);
  }
  p.save();
  p.setClipRect(strip);
  p.setTransform(LineTransform(line));
  const bool anySelected = HasSelection();
  int column = firstColumn;
  while (column <= lastColumn) {
    const TermCell& cell = cells[column - 1];
    const bool selected = anySelected && Selected(column, line);
    if (cell.ch == 0 && !selected) {
      ++column;
      continue;
    }
    if (cell.blink) sawBlink_ = true;
    // A run: neighbours drawn alike, as glyphs each put in its cell.
    int end = column + 1;
    const bool shown = Shown(cell);
    if (shown && Runnable(cell)) {
      while (end <= lastColumn) {
        const TermCell& next = cells[end - 1];
        if (!Shown(next) || !Runnable(next) || next.foreground != cell.foreground ||
            next.background != cell.background || next.underline != cell.underline ||
            next.bright != cell.bright || (anySelected && Selected(end, line) != selected))
          break;
        if (next.blink) sawBlink_ = true;
        ++end;
      }
    }
    QColor fg;
    QColor bg;
    CellColors(cell, selected, fg, bg);
    const QRect rect((column - 1) * cellWidth_, 0, (end - column) * cellWidth_, cellHeight_);
    p.fillRect(rect, bg);
    if (shown && Runnable(cell)) {
      DrawRun(p, cells.subspan(column - 1, end - column), rect.left(), fg);
    } else {
      DrawContent(p, cell, rect, fg);
    }
    column = end;
  }
  p.restore();
}

bool TCustomComTerminal::LineBlinks(int line) const {
  if (line > state_.Rows() || line < 1 - state_.ScrollbackLines()) return false;
  const std::span<const TermCell> cells = state_.Line(line);
  return std::any_of(cells.begin(), cells.end(),
                     [](const TermCell& c) { return c.blink && c.ch != 0; });
}

void TCustomComTerminal::BlinkTick() {
  // The picture first catches up with the state, so the rows redrawn here sit where the
  // picture has them.
  if (flushTimer_.isActive()) FlushChanges();
  blinkOn_ = !blinkOn_;
  bool any = false;
  if (!image_.isNull()) {
    QPainter painter(&image_);
    const int visible = VisibleRows();
    for (int line = topLine_; line < topLine_ + visible + 1; ++line) {
      if (!LineBlinks(line)) continue;
      any = true;
      DrawLine(painter, line);
      viewport()->update(RowRect(line));
      paintPending_ = true;
    }
  }
  if (!any) {
    blinkTimer_.stop();
    blinkOn_ = true;
  }
  sawBlink_ = false;
}

void TCustomComTerminal::paintEvent(QPaintEvent* event) {
  paintPending_ = false;
  QPainter p(viewport());
  const QRect rect = event->rect();
  // A plain copy of the picture; only what it does not cover is filled.
  if (!image_.rect().contains(rect)) p.fillRect(rect, Color());
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(rect.topLeft(), image_, rect);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  if (!hasFocus() || caret_ == tcNone) return;
  const TermPos at = caretShownAt_;
  const QRect strip = RowRect(at.row);
  const QTransform transform = LineTransform(at.row);
  const QRect cell((at.column - 1) * cellWidth_, 0, cellWidth_, cellHeight_);
  if (!transform.mapRect(cell).intersects(rect)) return;
  const TermCell& under = state_.Cell(at.column, at.row);
  QColor fg;
  QColor bg;
  CellColors(under, false, fg, bg);
  p.setClipRect(strip);
  p.setTransform(transform);
  if (caret_ == tcUnderline) {
    const int h = std::max(1, cellHeight_ / 8);
    p.fillRect(QRect(cell.left(), cell.bottom() - h + 1, cell.width(), h), fg);
    return;
  }
  // A block caret shows its cell with the colours swapped.
  p.fillRect(cell, fg);
  DrawContent(p, under, cell, bg);
}

void TCustomComTerminal::UpdateCaret() {
  viewport()->update(RowRect(caretShownAt_.row));
}

void TCustomComTerminal::RedrawAll() {
  pending_.all = true;
  ScheduleFlush();
}

// ---------------------------------------------------------------- geometry and scrolling

void TCustomComTerminal::ApplyFont() {
  if (applyingFont_) return;
  applyingFont_ = true;
  QFont f = font();
  if (!QFontInfo(f).fixedPitch()) f = FixedPitchLike(f);
  f.setUnderline(false);
  if (!(f == font())) setFont(f);
  applyingFont_ = false;
  for (size_t i = 0; i < fonts_.size(); ++i) {
    fonts_[i] = f;
    fonts_[i].setUnderline((i & 1) != 0);
    // Bold is drawn bold, in the colour the cell was given; never dimmed.
    if (i & 2) fonts_[i].setWeight(QFont::Bold);
  }

  const QFontMetrics fm(f);
  const QFontMetricsF fmf(f);
  cellHeight_ = std::max(1, fm.height());
  ascent_ = fm.ascent();
  underlineHeight_ = std::max(1, fm.lineWidth());
  underlineY_ = std::clamp(ascent_ + fm.underlinePos(), 0, cellHeight_ - underlineHeight_);
  int widest = 1;
  for (int b = 32; b < 256; ++b)
    if (fm.inFont(glyphs_[b])) widest = std::max(widest, fm.horizontalAdvance(glyphs_[b]));
  cellWidth_ = widest;
  drawRuns_ = false;
  // Characters the face itself has go by glyph; the rest by text, which finds them in
  // another font.
  rawFonts_[0] = QRawFont::fromFont(fonts_[0]);
  rawFonts_[1] = QRawFont::fromFont(fonts_[2]);
  for (int face = 0; face < 2; ++face) {
    for (int b = 0; b < 256; ++b) {
      const QList<quint32> index = b >= 32 && rawFonts_[face].isValid()
                                       ? rawFonts_[face].glyphIndexesForString(QString(glyphs_[b]))
                                       : QList<quint32>();
      glyphIndex_[face][b] = index.size() == 1 ? index[0] : 0;
    }
  }
  for (int b = 0; b < 256; ++b) {
    runnable_[b] = glyphIndex_[0][b] != 0 && fm.inFont(glyphs_[b]);
    runnableBold_[b] = runnable_[b] && glyphIndex_[1][b] != 0;
    drawRuns_ = drawRuns_ || runnable_[b];
  }
  FitSize();
  pending_.all = true;
  ScheduleFlush();
}

void TCustomComTerminal::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) ApplyFont();
}

void TCustomComTerminal::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (fitToWindow_) FitScreenToWindow();
  pending_.all = true;
  if (adjustingBars_) {
    ScheduleFlush();
  } else {
    FlushChanges();
  }
}

void TCustomComTerminal::scrollContentsBy(int, int) {
  if (adjustingBars_) return;
  // The user moved a bar: the view is drawn afresh at its new place.
  // It follows the caret again when the caret's row is in sight whole; a view moved off the
  // caret keeps its place on the text while output goes on.
  // The bar may not yet count the latest lines that went into the scroll-back.
  const int top = barFirst_ + verticalScrollBar()->value() - barShift_;
  const int caret = state_.Caret().row;
  pending_.view = true;
  pending_.follow = top >= 1 && caret >= top && caret < top + VisibleRows();
  pending_.top = top;
  pending_.left = 1 + horizontalScrollBar()->value();
  FlushChanges();
}

void TCustomComTerminal::ScrollToCaret() {
  if (following_) return;
  pending_.view = true;
  pending_.follow = true;
  pending_.top = topLine_;
  pending_.left = leftColumn_;
  FlushChanges();
}

// ---------------------------------------------------------------- keyboard and focus

bool TCustomComTerminal::focusNextPrevChild(bool next) {
  // Connected, Tab and Shift+Tab are keys for the far end.
  if (wantTab_ || CanSend()) return false;
  return QAbstractScrollArea::focusNextPrevChild(next);
}

void TCustomComTerminal::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  const int key = event->key();
  if ((key == Qt::Key_Insert && mods == Qt::ShiftModifier) ||
      (key == Qt::Key_V && mods == (Qt::ControlModifier | Qt::ShiftModifier))) {
    PasteClipboard();
    return;
  }
  if ((key == Qt::Key_Insert && mods == Qt::ControlModifier) ||
      (key == Qt::Key_C && mods == (Qt::ControlModifier | Qt::ShiftModifier))) {
    CopySelection();
    return;
  }
  if (mods == Qt::ShiftModifier && (key == Qt::Key_PageUp || key == Qt::Key_PageDown)) {
    QScrollBar* v = verticalScrollBar();
    v->setValue(v->value() + (key == Qt::Key_PageUp ? -1 : 1) * v->pageStep());
    return;
  }
  const KeyOutput out = EncodeKey(TypedKeyOf(*event), KeyModesOf(state_));
  switch (out.kind) {
    case KeyOutput::Kind::kNone:
      QAbstractScrollArea::keyPressEvent(event);
      return;
    case KeyOutput::Kind::kCursor:
      ScrollToCaret();
      state_.SendKey(out.cursor);
      return;
    case KeyOutput::Kind::kBytes:
      ScrollToCaret();
      for (const char c : out.bytes) state_.SendKeyChar(static_cast<uint8_t>(c));
      return;
  }
}

void TCustomComTerminal::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  UpdateCaret();
}

void TCustomComTerminal::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  UpdateCaret();
}

// ---------------------------------------------------------------- selection and clipboard

void TCustomComTerminal::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton) {
    if (QApplication::clipboard()->supportsSelection())
      PasteText(QApplication::clipboard()->text(QClipboard::Selection));
    return;
  }
  if (event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(event);
    return;
  }
  setFocus(Qt::MouseFocusReason);
  if (HasSelection()) ClearSelection();
  selecting_ = true;
  rectangular_ = (event->modifiers() & Qt::AltModifier) != 0;
  anchor_ = extent_ = CellAt(event->position().toPoint());
}

void TCustomComTerminal::mouseMoveEvent(QMouseEvent* event) {
  if (!selecting_) return;
  const TermPos at = CellAt(event->position().toPoint());
  if (at == extent_) return;
  extent_ = at;
  RedrawAll();
}

void TCustomComTerminal::mouseReleaseEvent(QMouseEvent* event) {
  if (!selecting_ || event->button() != Qt::LeftButton) return;
  selecting_ = false;
  hasSelection_ = !(anchor_ == extent_);
  RedrawAll();
  QClipboard* clipboard = QApplication::clipboard();
  if (hasSelection_ && clipboard->supportsSelection())
    clipboard->setText(SelectedText(), QClipboard::Selection);
}

void TCustomComTerminal::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* copy = menu.addAction("&Másolás", this, [this] { CopySelection(); });
  copy->setObjectName("mnuTermCopy");
  copy->setEnabled(hasSelection_);
  QAction* paste = menu.addAction("&Beillesztés", this, [this] { PasteClipboard(); });
  paste->setObjectName("mnuTermPaste");
  paste->setEnabled(CanSend() && !QApplication::clipboard()->text().isEmpty());
  menu.exec(event->globalPos());
}

void TCustomComTerminal::Select(TermPos from, TermPos to, bool rectangular) {
  selecting_ = false;
  hasSelection_ = true;
  rectangular_ = rectangular;
  anchor_ = from;
  extent_ = to;
  RedrawAll();
}

void TCustomComTerminal::ClearSelection() {
  if (!selecting_ && !hasSelection_) return;
  selecting_ = hasSelection_ = false;
  RedrawAll();
}

QString TCustomComTerminal::SelectedText() const {
  if (!HasSelection()) return QString();
  return FromCp1250(state_.SelectedText(anchor_, extent_, rectangular_));
}

void TCustomComTerminal::CopySelection() {
  if (!hasSelection_) return;
  QApplication::clipboard()->setText(SelectedText());
}

void TCustomComTerminal::PasteClipboard() {
  PasteText(QApplication::clipboard()->text());
}

void TCustomComTerminal::PasteText(const QString& text) {
  if (text.isEmpty() || !CanSend()) return;
  const std::string bytes = EncodePastedText(text.toStdString());
  ScrollToCaret();
  state_.SendText(bytes);
}

}  // namespace tarvelo
