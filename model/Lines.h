// Line settings, CO numbers and timers (pages "&Vonalak" and "I&dőzítők").
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "model/ConfigImage.h"
#include "model/ImageLayout.h"

namespace tarvelo {

// Dial items of line 1 depend on the model; lines 2..16 always offer the 16-line pair.
const std::vector<std::string>& DialItems(DeviceModel model, int line);
const std::vector<std::string>& SeizeItems();  // "Tárcsázáskor", "Azonnal"
const std::vector<std::string>& TimerSetItems();

// What one line panel shows. In the 4-line model the dial and seize modes are shared by
// all four lines and live in line 1's panel; the timer set is always 0 there.
struct LineView {
  std::string coNumber;  // Windows-1250
  int dial = 0;
  int seize = 0;
  int timerSet = 0;
  bool subLine = false;
  bool callIn = false;
};

std::vector<LineView> DecodeLines(const ConfigImage& image, const ImageLayout& layout);

// The 16-line rewrite of one line's byte from its controls; a control that is missing
// leaves its step out. Bits 5..7 always come out 0.
struct LineControls16 {
  std::optional<int> seize, dial, timerSet;
  std::optional<bool> subLine, callIn;
};
uint8_t RewriteLineByte16(uint8_t byte, const LineControls16& controls);
// Leaving any line control rewrites all 16 bytes.
void EncodeLines16(ConfigImage& image, const ImageLayout& layout,
                   const std::array<LineControls16, 16>& lines);

// The 4-line model stores each control on its own.
void EncodeDialMode4(ConfigImage& image, const ImageLayout& layout, int itemIndex);
// "Tárcsázáskor" is stored as 0 and "Azonnal" as 1, so that what is stored reads back
// as what was chosen.
void EncodeSeizeMode4(ConfigImage& image, const ImageLayout& layout, int itemIndex);
void EncodeLineBit4(ConfigImage& image, const ImageLayout& layout, bool callIn, int line,
                    bool checked);

// The width of one CO number: the stored character count, held to 1..4 so that no line
// reaches past the field.
int CoNumberWidth(const ConfigImage& image, const ImageLayout& layout);
std::string DecodeCoNumber(const ConfigImage& image, const ImageLayout& layout, int line);
void EncodeCoNumber(ConfigImage& image, const ImageLayout& layout, int line,
                    const std::string& text);

// Every byte-valued edit box of the pages, with the field it shows and stores.
struct ByteFieldRow {
  const char* control;
  const char* label;
  const char* hint;
  Field field;
  int page;      // page index in the main window
  int timerSet;  // 1 or 2 for the boxes of a timer set, 0 for every other box
};
const std::vector<ByteFieldRow>& ByteFields();
// The row of a field that has a byte box; asking for any other field is a programming
// error (std::logic_error).
const ByteFieldRow& ByteFieldOf(Field field);

}  // namespace tarvelo
