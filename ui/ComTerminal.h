// The terminal control: draws the terminal state, takes keys and the mouse, and is bound to
// a serial port through a link. Everything the terminal means lives in TComTermState; this
// class only turns it into pixels and Qt events into calls.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QRawFont>
#include <QTimer>
#include <QTransform>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "files/LogFile.h"
#include "link/Connection.h"
#include "terminal/TermState.h"

namespace tarvelo {

enum TTermCaret : uint8_t { tcBlock, tcUnderline, tcNone };
enum TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TBorderStyle : uint8_t { bsNone, bsSingle };

class TCustomComTerminal : public QAbstractScrollArea, private TermEvents {
  Q_OBJECT
 public:
  explicit TCustomComTerminal(QWidget* parent = nullptr);
  ~TCustomComTerminal() override;

  // --- The port

  // Moves the link from the old connection to the new one (none: unbound). Who opens and
  // closes the port is the connection's business; the terminal only reads and writes.
  void SetConnection(DeviceConnection* connection);
  bool Connected() const { return connection_ && connection_->IsOpen(); }
  // Takes the link off the port while someone else reads it (a transfer), and puts it back.
  // Received bytes then stay queued for that reader.
  void SetLinkSuspended(bool suspended);
  bool LinkSuspended() const { return linkSuspended_; }

  // --- Properties

  TTermEmulation Emulation() const { return state_.Emulation(); }
  void SetEmulation(TTermEmulation emulation) { state_.SetEmulation(emulation); }
  int Columns() const { return state_.Columns(); }
  void SetColumns(int columns) { state_.SetColumns(columns); }
  int Rows() const { return state_.Rows(); }
  void SetRows(int rows) { state_.SetRows(rows); }
  TTermCaret Caret() const { return caret_; }
  void SetCaret(TTermCaret caret);
  TArrowKeys ArrowKeys() const { return state_.ArrowKeys(); }
  void SetArrowKeys(TArrowKeys keys) { state_.SetArrowKeys(keys); }
  bool LocalEcho() const { return state_.LocalEcho(); }
  void SetLocalEcho(bool on) { state_.SetLocalEcho(on); }
  bool SendLF() const { return state_.SendLF(); }
  void SetSendLF(bool on) { state_.SetSendLF(on); }
  bool AppendLF() const { return state_.AppendLF(); }
  void SetAppendLF(bool on) { state_.SetAppendLF(on); }
  bool Force7Bit() const { return state_.Force7Bit(); }
  void SetForce7Bit(bool on) { state_.SetForce7Bit(on); }
  bool WrapLines() const { return state_.WrapLines(); }
  void SetWrapLines(bool on) { state_.SetWrapLines(on); }
  bool SmoothScroll() const { return smoothScroll_; }
  void SetSmoothScroll(bool on);
  bool WantTab() const { return wantTab_; }
  void SetWantTab(bool on) { wantTab_ = on; }
  QColor AltColor() const;
  void SetAltColor(const QColor& color);
  // The background, and the text colour of inverse characters.
  QColor Color() const;
  void SetColor(const QColor& color);
  // The normal text colour (the font's colour).
  QColor FontColor() const;
  void SetFontColor(const QColor& color);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle bars);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle style);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  int ScrollbackCapacity() const { return state_.ScrollbackCapacity(); }
  void SetScrollbackCapacity(int lines);

  // --- Operations

  void WipeScreen() { state_.WipeScreen(); }
  void ShowBytes(std::string_view bytes) { state_.ShowBytes(bytes); }
  void SendKeyChar(uint8_t ch) { state_.SendKeyChar(ch); }
  void SendCodeEcho(TEscapeCode code, const EscapeParams& params = {}) {
    state_.SendCodeEcho(code, params);
  }
  void SendCodeQuiet(TEscapeCode code, const EscapeParams& params = {}) {
    state_.SendCodeQuiet(code, params);
  }
  bool ApplyCode(TEscapeCode code, const EscapeParams& params = {}) {
    return state_.ApplyCode(code, params);
  }
  const TComTermState& state() const { return state_; }

  // --- Selection and clipboard

  bool HasSelection() const { return selecting_ || hasSelection_; }
  // The selected cells as text (Windows-1250 shown as Unicode); empty without a selection.
  QString SelectedText() const;
  // Selects from one cell to another, both inclusive; rows are lines as in
  // TComTermState::Line (scroll-back at 0 and below).
  void Select(TermPos from, TermPos to, bool rectangular = false);
  void ClearSelection();
  void CopySelection();
  // Sends the clipboard's text as if typed: line ends become CR, characters the code page
  // lacks become "?".
  void PasteClipboard();
  void PasteText(const QString& text);

  // --- Session log

  // Appends a record of every block sent and received to `path`; see SessionLogLine.
  bool StartLog(const QString& path, QString* error);
  void StopLog();
  bool Logging() const { return log_.IsOpen(); }
  QString LogPath() const { return QString::fromStdString(log_.path()); }

  // --- View geometry

  int CellWidth() const { return cellWidth_; }
  int CellHeight() const { return cellHeight_; }
  // The line shown at the top of the view (1 is the first screen row, scroll-back at 0 and
  // below) and the first column shown.
  int TopLine() const;
  int LeftColumn() const;
  // The viewport rectangle of a cell; rows are lines as above.
  QRect CellRect(int column, int line) const;
  // The cell under a viewport point, pulled into the lines and columns there are.
  TermPos CellAt(const QPoint& point) const;
  // Brings the caret back into view and lets the view follow it again: a typed key does so
  // after the user has scrolled away to read.
  void ScrollToCaret();
  // The columns and rows whole cells of the current font fill in the control as it is now,
  // with room left for the vertical scroll bar the scroll-back needs.
  QSize FittingSize() const;
  // On: the screen takes FittingSize() now and whenever the control is resized (AutoSize
  // then does nothing). Off: the screen keeps the size it has.
  void SetFitToWindow(bool on);
  bool FitToWindow() const { return fitToWindow_; }
  // Whether blinking cells in view are being shown and hidden in turn.
  bool Blinking() const { return blinkTimer_.isActive(); }
  // Paints that are waiting to be done, now (tests and the benchmark).
  void FlushChanges();
  QSize sizeHint() const override;

  // --- Events, each raised through its own step below

  std::function<void(TCustomComTerminal*, uint8_t)> OnChar;
  std::function<void(TCustomComTerminal*, std::unique_ptr<TEscapeCodes>&)> OnGetEscapeCodes;
  std::function<void(TCustomComTerminal*, TEscapeCode, const std::string&)> OnUnhandledCode;
  std::function<void(TCustomComTerminal*, std::string&)> OnStrRecieved;
  // The session log could not be written and has been closed; the text says why.
  std::function<void(TCustomComTerminal*, const QString&)> OnLogFailed;

 protected:
  virtual void DoChar(uint8_t ch);
  virtual void DoGetEscapeCodes(std::unique_ptr<TEscapeCodes>& codes);
  virtual void DoUnhandledCode(TEscapeCode code, const std::string& text);
  virtual void DoStrRecieved(std::string& text);
  // The link's receive step: a block the port has read.
  virtual void ReceiveBlock(const uint8_t* bytes, int count);

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  // The picture the next paint shows has just been drawn from the state as it is now.
  virtual void ViewDrawn() {}

 private:
  // TermEvents
  void ScreenChanged(const TermChanges& changes) override;
  void CharApplied(uint8_t ch) override { DoChar(ch); }
  void Bell() override;
  bool CanSend() override { return Connected() && !linkSuspended_; }
  void Send(std::string_view bytes) override;
  void UnhandledCode(TEscapeCode code, std::string_view text) override;
  void TextReceived(std::string& text) override { DoStrRecieved(text); }
  std::unique_ptr<TEscapeCodes> ParserWanted() override;

  // What waits for the next paint, gathered over every block since the last one.
  struct Pending {
    bool all = false;
    bool size = false;
    bool caret = false;
    bool bars = false;  // the scroll bar is to catch up now
    int scrolled = 0;
    int scrollbackAdded = 0;
    std::vector<uint8_t> dirty;  // by screen row, in the rows' latest places
    // The user moved the view: its new place, numbered as at the last paint.
    bool view = false;
    bool follow = true;
    int top = 1;
    int left = 1;
  };

  void ApplyFont();
  // Lazy: a bar that only needs to count more scroll-back lines may wait for barTimer_.
  void FitScrollBars(bool lazy = false);
  void FitSize();
  int VisibleRows() const;
  int VisibleColumns() const;
  int BottomTopLine() const;  // the top line with the last screen row at the view's bottom
  // The top line nearest `top` that shows the caret's row whole.
  int CaretTopLine(int top) const;
  bool Following() const;
  void FitScreenToWindow();
  LineSize SizeOf(int line) const;
  // Maps a line's own coordinates (cell c at x = (c - 1) x CellWidth, y from 0) into the view,
  // widened and heightened for double-size lines.
  QTransform LineTransform(int line) const;
  QRect RowRect(int line) const;  // the view's strip that shows `line`
  void CellColors(const TermCell& cell, bool selected, QColor& fg, QColor& bg) const;
  bool Shown(const TermCell& cell) const { return cell.ch != 0 && (!cell.blink || blinkOn_); }
  bool Runnable(const TermCell& cell) const;
  const QFont& FontFor(const TermCell& cell) const {
    return fonts_[(cell.bright ? 2 : 0) + (cell.underline ? 1 : 0)];
  }
  // One cell's character in `rect` (line coordinates); the background is already drawn.
  void DrawContent(class QPainter& p, const TermCell& cell, const QRect& rect, const QColor& fg);
  void DrawLineDrawing(class QPainter& p, uint8_t ch, const QRect& rect, const QColor& fg);
  // Cells alike that the face has glyphs for, from x on (line coordinates).
  void DrawRun(class QPainter& p, std::span<const TermCell> cells, int x, const QColor& fg);
  bool LineBlinks(int line) const;
  void BlinkTick();
  void SetTopLine(int line);
  void ScheduleFlush();
  void RedrawAll();
  void UpdateCaret();
  QRect ScreenArea() const;
  bool Selected(int column, int line) const;
  void DrawLine(class QPainter& p, int line);
  void RecordAndDrop(char direction, const uint8_t* bytes, int count);
  QChar Glyph(uint8_t ch) const { return glyphs_[ch]; }

  TComTermState state_;
  DeviceConnection* connection_ = nullptr;
  TComLink link_;
  bool linkSuspended_ = false;
  LogFile log_;

  TTermCaret caret_ = tcBlock;
  bool smoothScroll_ = false;
  bool wantTab_ = false;
  TScrollStyle scrollBars_ = ssBoth;
  TBorderStyle borderStyle_ = bsSingle;
  bool autoSize_ = false;

  int cellWidth_ = 8;
  int cellHeight_ = 16;
  int ascent_ = 12;
  int underlineY_ = 14;  // top of the underline within a cell
  int underlineHeight_ = 1;
  bool drawRuns_ = false;  // whole runs may be drawn as one text: every advance is the cell's
  std::array<QChar, 256> glyphs_{};
  std::array<bool, 256> runnable_{};
  std::array<bool, 256> runnableBold_{};
  std::array<QRawFont, 2> rawFonts_;  // plain and bold
  std::array<std::array<quint32, 256>, 2> glyphIndex_{};
  QList<quint32> runGlyphs_;
  QList<QPointF> runPositions_;
  bool applyingFont_ = false;
  std::array<QFont, 4> fonts_;  // plain, underlined, bold, bold and underlined
  bool fitToWindow_ = false;

  // Blinking cells: shown while blinkOn_, hidden in between. The timer runs only while some
  // line in view holds a blinking cell.
  QTimer blinkTimer_;
  bool blinkOn_ = true;
  bool sawBlink_ = false;  // a blinking cell was drawn since the last look

  Pending pending_;
  QTimer flushTimer_;
  QElapsedTimer sinceFlush_;
  bool adjustingBars_ = false;
  bool paintPending_ = false;  // an update asked for has not been painted yet
  // The picture of the view as of the last flush; paints copy from it, so a paint never
  // shows a state the scrolled pixels do not belong to.
  QImage image_;
  int topLine_ = 1;     // first line shown (1: screen row 1; scroll-back at 0 and below)
  int leftColumn_ = 1;  // first column shown
  int barFirst_ = 1;    // the first line when the bars were last set
  int barShift_ = 0;    // lines gone into the scroll-back since then
  QTimer barTimer_;
  bool following_ = true;  // the view keeps the caret in sight as the screen changes
  TermPos caretShownAt_{1, 1};

  // Selection, in lines as TComTermState::Line counts them.
  bool selecting_ = false;
  bool hasSelection_ = false;
  bool rectangular_ = false;
  TermPos anchor_;
  TermPos extent_;
};

// The control as the form uses it, its properties open to Qt's property system.
class TComTerminal : public TCustomComTerminal {
  Q_OBJECT
  Q_PROPERTY(int Columns READ Columns WRITE SetColumns)
  Q_PROPERTY(int Rows READ Rows WRITE SetRows)
  Q_PROPERTY(bool Connected READ Connected)
  Q_PROPERTY(bool LocalEcho READ LocalEcho WRITE SetLocalEcho)
  Q_PROPERTY(bool SendLF READ SendLF WRITE SetSendLF)
  Q_PROPERTY(bool AppendLF READ AppendLF WRITE SetAppendLF)
  Q_PROPERTY(bool Force7Bit READ Force7Bit WRITE SetForce7Bit)
  Q_PROPERTY(bool WrapLines READ WrapLines WRITE SetWrapLines)
  Q_PROPERTY(bool SmoothScroll READ SmoothScroll WRITE SetSmoothScroll)
  Q_PROPERTY(bool WantTab READ WantTab WRITE SetWantTab)
  Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
  Q_PROPERTY(QColor AltColor READ AltColor WRITE SetAltColor)
  Q_PROPERTY(QColor Color READ Color WRITE SetColor)
  Q_PROPERTY(QColor FontColor READ FontColor WRITE SetFontColor)
  Q_PROPERTY(int ScrollbackCapacity READ ScrollbackCapacity WRITE SetScrollbackCapacity)
 public:
  using TCustomComTerminal::TCustomComTerminal;
};

}  // namespace tarvelo
