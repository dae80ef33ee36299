// Everything a terminal does between the serial port and the pixels: it takes received bytes
// through a parser onto the screen buffer, performs the escape codes, answers queries, turns
// key presses into bytes for the port, and tells the drawing side what changed. The widget on
// top only draws, handles focus and scroll bars, and forwards keys and port data.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/EscapeCodes.h"
#include "terminal/TermBuffer.h"

namespace tarvelo {

enum TTermEmulation : uint8_t { teVT100orANSI, teVT52, teNone };
enum TArrowKeys : uint8_t { akTerminal, akWindows };  // send codes, or move the caret locally

// The keys that are not characters.
enum class TermKey : uint8_t { kHome, kLeft, kUp, kRight, kDown };

// A cell position, 1-based. For the screen `row` is 1..Rows; in selections it may also be a
// scroll-back line (0 the newest, then -1, ...), as in TComTermBuffer::Line.
struct TermPos {
  int column = 1;
  int row = 1;
  bool operator==(const TermPos&) const = default;
};

// The sixteen colours of SGR 30..37, 90..97 (and their backgrounds): 0..7 normal, 8..15
// bright. Bold text in one of 0..7 is drawn in its bright counterpart.
inline constexpr TermColor kTermPalette[16] = {
    0x000000, 0xCD0000, 0x00CD00, 0xCDCD00, 0x0000EE, 0xCD00CD, 0x00CDCD, 0xE5E5E5,
    0x7F7F7F, 0xFF0000, 0x00FF00, 0xFFFF00, 0x5C5CFF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

struct TermAttributes {
  static constexpr int8_t kDefaultColor = -1;
  bool inverse = false;
  bool bright = false;  // bold
  bool underline = false;
  bool blink = false;
  int8_t foreground = kDefaultColor;  // a kTermPalette index, or the text colour
  int8_t background = kDefaultColor;  // a kTermPalette index, or the background colour
  bool operator==(const TermAttributes&) const = default;
};

// What the terminal reports. Every call comes on the thread that called into the terminal,
// and a handler may call back into it (for instance WipeScreen from CharApplied).
class TermEvents {
 public:
  virtual ~TermEvents() = default;
  // Once at the end of each public operation that changed something.
  virtual void ScreenChanged(const TermChanges&) {}
  // After each character is applied to the screen, control characters included.
  virtual void CharApplied(uint8_t) {}
  virtual void Bell() {}
  // Whether a port is set and open; nothing is sent, and typed characters are not echoed,
  // while this says no.
  virtual bool CanSend() { return false; }
  virtual void Send(std::string_view) {}
  // A code this terminal does not perform, with the characters that followed ESC.
  virtual void UnhandledCode(TEscapeCode, std::string_view) {}
  // Each received block before it is shown; the handler may change it.
  virtual void TextReceived(std::string&) {}
  // Emulation teNone asks here for a parser of the handler's own; none means every byte is
  // a plain character.
  virtual std::unique_ptr<TEscapeCodes> ParserWanted() { return nullptr; }
};

class TComTermState {
 public:
  static constexpr int kMinColumns = 2;
  static constexpr int kMaxColumns = 256;
  static constexpr int kMinRows = 2;
  static constexpr int kMaxRows = 100;

  // `events` may be null (nothing is reported and nothing can be sent); it must outlive the
  // terminal or be replaced first.
  explicit TComTermState(TermEvents* events = nullptr);
  ~TComTermState();
  TComTermState(const TComTermState&) = delete;
  TComTermState& operator=(const TComTermState&) = delete;
  void SetEvents(TermEvents* events);

  // --- Data and keys

  // A block from the port: an LF goes after each CR when AppendLF is on, bit 7 is cleared when
  // Force7Bit is on, TextReceived may change the text, then it is shown.
  void ReceiveBytes(std::string_view bytes);
  // Puts bytes on the screen as if they came from the port, without those steps.
  void ShowBytes(std::string_view bytes);
  // A typed character: sent (and echoed when LocalEcho is on) only while CanSend(); a CR is
  // followed by an LF when SendLF or new-line mode is on.
  void SendKeyChar(uint8_t ch);
  // Typed or pasted text as one write, by the rules of SendKeyChar for each character.
  void SendText(std::string_view text);
  // A cursor key or Home, by the cursor-key mode and ArrowKeys.
  void SendKey(TermKey key);
  // Sends the parser's text for `code` while CanSend(); the Echo form also performs the code
  // when LocalEcho is on.
  void SendCodeEcho(TEscapeCode code, const EscapeParams& params = {});
  void SendCodeQuiet(TEscapeCode code, const EscapeParams& params = {});
  // Performs one code; false when this terminal does not perform it.
  bool ApplyCode(TEscapeCode code, const EscapeParams& params = {});
  // Empty screen without a scroll region, default tab stops, caret at the top-left cell. The
  // scroll-back stays.
  void WipeScreen();
  // Back to the state of a new terminal as the far end sees it (ESC c): empty screen, caret
  // home, attributes, margins, character sets, tab stops and the modes the far end sets; the
  // properties the user chose (colours, echo, line ends, wrapping) and the scroll-back stay.
  void Reset();

  // --- Reading, for drawing and copying

  int Columns() const { return buffer_.Columns(); }
  int Rows() const { return buffer_.Rows(); }
  TermPos Caret() const { return caret_; }
  const TermCell& Cell(int column, int row) const { return buffer_.Cell(column, row); }
  // Screen rows 1..Rows, scroll-back lines 0 and below; see TComTermBuffer::Line.
  std::span<const TermCell> Line(int line) const { return buffer_.Line(line); }
  int ScrollbackLines() const { return buffer_.ScrollbackLines(); }
  const TComTermBuffer& Buffer() const { return buffer_; }
  // The text from `from` to `to` (either order), inclusive. Linear: from the first position
  // to the end of its line, whole lines between, up to the last position. Rectangular: the
  // same columns of every line. Empty cells read as blanks, blanks at line ends are dropped,
  // lines are joined by LF. Positions outside the lines are pulled in.
  std::string SelectedText(TermPos from, TermPos to, bool rectangular) const;
  TermAttributes Attributes() const { return attributes_; }
  // The keys' modes the far end chose: cursor keys in application mode (ESC [ ? 1 h), the
  // keypad in application mode (ESC =, left by ESC >), and the VT52 mode of the VT100
  // emulation (entered by ESC [ ? 2 l, left by ESC <), in which the cursor keys send VT52 codes.
  bool AppCursorKeys() const { return appCursorKeys_; }
  bool AppKeypad() const { return appKeypad_; }
  bool Vt52Mode() const { return vt52Mode_; }
  // New-line mode (ESC [ 20 h): LF, VT and FF also return to column 1, and a typed CR goes
  // out as CR LF.
  bool NewLineMode() const { return newLineMode_; }
  // The whole screen shown with text and background swapped (ESC [ ? 5 h); a flip repaints all.
  bool ReverseScreen() const { return reverseScreen_; }
  LineSize LineSizeOf(int row) const { return buffer_.LineSizeOf(row); }
  // The parser reading the received bytes now (in VT52 mode the VT52 one).
  const TEscapeCodes* Parser() const { return ActiveParser(); }
  // The scroll region (DECSTBM), whole screen when none is set.
  int TopMargin() const { return top_; }
  int BottomMargin() const { return bottom_; }
  bool OriginMode() const { return originMode_; }

  // --- Properties

  TTermEmulation Emulation() const { return emulation_; }
  // A new parser for the new emulation; a sequence half received is dropped.
  void SetEmulation(TTermEmulation emulation);
  // Held within 2..256 and 2..100. A change empties the screen; the caret keeps its place as
  // far as the new size allows.
  void SetColumns(int columns) { SetSize(columns, Rows()); }
  void SetRows(int rows) { SetSize(Columns(), rows); }
  void SetSize(int columns, int rows);
  // Auto-wrap: a character in the last column waits there, and the next one starts the next
  // line. The far end may switch it too (ESC [ ? 7 h / l, ESC [ 7 h / l); a reset returns
  // it to what was set here.
  bool WrapLines() const { return wrapLines_; }
  void SetWrapLines(bool on) { wrapLines_ = wrapLinesChosen_ = on; }
  bool LocalEcho() const { return localEcho_; }
  void SetLocalEcho(bool on) { localEcho_ = on; }
  bool SendLF() const { return sendLF_; }
  void SetSendLF(bool on) { sendLF_ = on; }
  bool AppendLF() const { return appendLF_; }
  void SetAppendLF(bool on) { appendLF_ = on; }
  bool Force7Bit() const { return force7Bit_; }
  void SetForce7Bit(bool on) { force7Bit_ = on; }
  TArrowKeys ArrowKeys() const { return arrowKeys_; }
  void SetArrowKeys(TArrowKeys keys) { arrowKeys_ = keys; }
  // Colours of new characters: text (the font colour) and background (the control's colour);
  // inverse characters swap them. Bold text in the text colour keeps it (the view draws it in
  // a bold face) unless AltColor has been set, which then colours it. Cells already written
  // keep theirs.
  TermColor TextColor() const { return textColor_; }
  void SetTextColor(TermColor color);
  TermColor BackgroundColor() const { return backgroundColor_; }
  void SetBackgroundColor(TermColor color);
  TermColor AltColor() const { return altColor_; }
  void SetAltColor(TermColor color);
  int ScrollbackCapacity() const { return buffer_.ScrollbackCapacity(); }
  void SetScrollbackCapacity(int lines) { buffer_.SetScrollbackCapacity(lines); }

 private:
  enum class Step : uint8_t { kAdvance, kReturn, kLineDown, kLineUp, kTab, kBack };
  class Batch;

  // What ESC 7 keeps and ESC 8 brings back.
  struct SavedState {
    TermAttributes attributes;
    bool originMode = false;
    bool pendingWrap = false;
    uint8_t charsets[2] = {'B', 'B'};
    uint8_t shift = 0;
  };

  TEscapeCodes* ActiveParser() const { return vt52Mode_ ? vt52Parser_.get() : parser_.get(); }
  void MakeParser();
  void ApplyChar(uint8_t ch);
  void PutPrintable(uint8_t ch);
  void PutSpecial(uint8_t ch);
  void StepCaret(Step step);
  void LineDown();
  void LineUp();
  void PlaceCaret(long long column, long long row);
  // A position the far end gave, counted from the scroll region's top in origin mode.
  void MoveCaretTo(long long column, long long row);
  int RightEdge(int row) const;
  bool PerformCode(TEscapeCode code, const EscapeParams& params);  // ApplyCode inside a batch
  bool PerformEdit(TEscapeCode code, const EscapeParams& params);
  void ApplyAttributes(const EscapeParams& params);
  void ApplyMode(const EscapeParams& params, bool on);
  void SetMode(char marker, int mode, bool on);
  void SetScrollRegion(const EscapeParams& params);
  void SetAttributes(const TermAttributes& attributes);
  void SetReverseScreen(bool on);
  void SetVt52Mode(bool on);
  void UpdatePen();
  void UpdateCharset();
  void ResetModes();
  void Report();

  TermEvents* events_;
  TComTermBuffer buffer_;
  std::unique_ptr<TEscapeCodes> parser_;
  std::unique_ptr<TEscapeCodes> vt52Parser_;  // the VT100 emulation's VT52 mode
  // Parsers replaced while a block was being shown live until the outermost call returns: the
  // loop may still be reading one.
  std::vector<std::unique_ptr<TEscapeCodes>> retiredParsers_;
  TTermEmulation emulation_ = teVT100orANSI;

  TermPos caret_;
  // A character went into the last column with auto-wrap on: the caret stays there, and the
  // next character goes to the start of the next line.
  bool pendingWrap_ = false;
  int top_ = 1;  // scroll region, rows
  int bottom_ = 24;
  bool originMode_ = false;
  bool insertMode_ = false;
  bool newLineMode_ = false;          // LF, VT and FF also return to column 1
  uint8_t charsets_[2] = {'B', 'B'};  // G0 and G1 designators
  uint8_t shift_ = 0;                 // which of them is in use (SO / SI)
  bool vt52Graphics_ = false;
  // The character set in use changes characters, or insert mode is on: printing takes the
  // slower path.
  bool specialPrint_ = false;
  bool graphicsSet_ = false;  // the set in use is the line-drawing one
  bool ukSet_ = false;
  TermPos savedCaret_;
  SavedState saved_;
  TermPos reportedCaret_;
  TermAttributes attributes_;
  TermAttributes savedAttributes_;
  TermCell pen_;  // a cell as the current attributes and colours write it
  bool appCursorKeys_ = false;
  bool appKeypad_ = false;
  bool vt52Mode_ = false;
  bool reverseScreen_ = false;

  bool wrapLines_ = false;
  bool wrapLinesChosen_ = false;
  bool altColorChosen_ = false;
  bool localEcho_ = false;
  bool sendLF_ = false;
  bool appendLF_ = false;
  bool force7Bit_ = false;
  TArrowKeys arrowKeys_ = akTerminal;
  TermColor textColor_ = 0xFFFFFF;
  TermColor backgroundColor_ = 0x000000;
  TermColor altColor_ = 0xA6A6A6;

  int depth_ = 0;  // nesting of public operations; the outermost reports
  TermChanges changes_;
};

}  // namespace tarvelo
