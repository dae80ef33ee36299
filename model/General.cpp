#include "model/General.h"

#include <algorithm>

#include "model/Codecs.h"

namespace tarvelo {

const std::vector<std::string>& SmdrSpeedItems(DeviceModel model) {
  static const std::vector<std::string> four = {"19200", "9600", "4800", "2400",
                                                "1200",  "600",  "300"};
  static const std::vector<std::string> sixteen = {"9600", "4800", "2400", "1200", "600", "300"};
  return model == DeviceModel::FourLine ? four : sixteen;
}

const std::vector<std::string>& SmdrModeItems(DeviceModel model) {
  static const std::vector<std::string> four = {"Normal", "Saját"};
  static const std::vector<std::string> sixteen = {"Kaszkád", "Normal", "Saját"};
  return model == DeviceModel::FourLine ? four : sixteen;
}

const std::vector<std::string>& ParityItems() {
  static const std::vector<std::string> items = {"Nincs", "Páros", "Páratlan"};
  return items;
}

const std::vector<std::string>& Below20hItems() {
  static const std::vector<std::string> items = {"Lenyel", "Átenged"};
  return items;
}

const std::vector<std::string>& CoCharCountItems() {
  static const std::vector<std::string> items = {"1", "2", "3", "4"};
  return items;
}

SmdrFormatChoice DecodeSmdrFormat(const ConfigImage& image, const ImageLayout& layout) {
  const uint8_t b = image.ImageByte(layout.Offset(Field::SmdrFormat));
  SmdrFormatChoice c;
  if (layout.model() == DeviceModel::FourLine) {
    c = {(b >> 3) & 7, b & 1};
  } else if (b >= '1' && b <= '6') {
    c = {b - '1', 0};
  } else if (b >= 'A' && b <= 'F') {
    c = {b - 'A', 1};
  } else {
    c = {1, 0};
  }
  const int last = static_cast<int>(SmdrSpeedItems(layout.model()).size()) - 1;
  if (c.speed > last) c.speed = last;
  return c;
}

void EncodeSmdrFormat(ConfigImage& image, const ImageLayout& layout, SmdrFormatChoice c) {
  uint8_t b;
  if (layout.model() == DeviceModel::FourLine) {
    // Odd parity has no bit of its own in this model: it is stored as none.
    b = static_cast<uint8_t>(c.speed * 8 + (c.parity == 1 ? 1 : 0));
  } else {
    b = static_cast<uint8_t>((c.parity == 0 ? '1' : 'A') + c.speed);
  }
  image.SetImageByte(layout.Offset(Field::SmdrFormat), b);
}

SmdrModeChoice DecodeSmdrMode(const ConfigImage& image, const ImageLayout& layout) {
  const uint8_t b = image.ImageByte(layout.Offset(Field::SmdrMode));
  int mode;
  if (layout.model() == DeviceModel::FourLine) {
    mode = b & 1;
  } else {
    mode = b & 0x0F;
    if (mode > 2) mode = 2;
  }
  return {mode, (b >> 4) & 1};
}

void EncodeSmdrMode(ConfigImage& image, const ImageLayout& layout, SmdrModeChoice c) {
  image.SetImageByte(layout.Offset(Field::SmdrMode),
                     static_cast<uint8_t>(c.below20h * 16 + c.mode));
}

const char* const kByteRangeMessage = "Értéknek 0..255 között kell lenni !!!";

Refusal TestByteRange(ConfigImage& image, const ImageLayout& layout, Field field,
                      const std::string& text) {
  long value = 0;
  if (!ParseWholeNumber(TrimBlanks(text), value) || value < 0 || value > 255) {
    return kByteRangeMessage;
  }
  image.SetImageByte(layout.Offset(field), static_cast<uint8_t>(value));
  return std::nullopt;
}

int DecodeCoCharCount(const ConfigImage& image, const ImageLayout& layout) {
  // A stored count outside 1..4 still cuts the CO numbers, at 1 or at 4: the box shows the
  // width they are cut with, so what the page shows and what it stores agree.
  const uint8_t b = image.ImageByte(layout.Offset(Field::CoCharCount));
  return std::clamp<int>(b, 1, 4) - 1;
}

Refusal EncodeCoCharCount(ConfigImage& image, const ImageLayout& layout, int itemIndex) {
  if (itemIndex < 0 || itemIndex > 3) return "Válasszon egy értéket 1..4 között !!!";
  image.SetImageByte(layout.Offset(Field::CoCharCount), static_cast<uint8_t>(itemIndex + 1));
  return std::nullopt;
}

std::string DecodeRecordTerminator(const ConfigImage& image, const ImageLayout& layout) {
  return std::to_string(image.ImageByte(layout.Offset(Field::RecordTerminator)));
}

Refusal EncodeRecordTerminator(ConfigImage& image, const ImageLayout& layout,
                               const std::string& text) {
  // Only byte values are accepted: a larger number would be stored as its low bits.
  long value = 0;
  if (!ParseWholeNumber(TrimBlanks(text), value) || value < 0 || value > 255) {
    return "Hibás érték !!!";
  }
  image.SetImageByte(layout.Offset(Field::RecordTerminator), static_cast<uint8_t>(value));
  return std::nullopt;
}

namespace {
bool IsNumberTerminator(char c) {
  return c == ' ' || c == '#' || c == '*' || (c >= '0' && c <= '9');
}
}  // namespace

char DecodeNumberTerminator(const ConfigImage& image, const ImageLayout& layout) {
  const char c = static_cast<char>(image.ImageByte(layout.Offset(Field::NumberTerminator)));
  return IsNumberTerminator(c) ? c : ' ';
}

Refusal EncodeNumberTerminator(ConfigImage& image, const ImageLayout& layout,
                               const std::string& text) {
  if (text.empty() || !IsNumberTerminator(text[0])) return "Csak 0..9,*,# lehet !!!";
  image.SetImageByte(layout.Offset(Field::NumberTerminator), static_cast<uint8_t>(text[0]));
  return std::nullopt;
}

Switches DecodeSwitchBits(const ConfigImage& image, const ImageLayout& layout) {
  const uint8_t b = image.ImageByte(layout.Offset(Field::SwitchBits));
  return {(b & 1) != 0, (b & 2) != 0, (b & 4) != 0};
}

void EncodeSwitchBits(ConfigImage& image, const ImageLayout& layout, Switches s) {
  if (!layout.Has(Field::SwitchBits)) return;
  const long at = layout.Offset(Field::SwitchBits);
  uint8_t b = image.ImageByte(at) & 0xF8;
  if (s.pinEnable) b |= 1;
  if (s.dstChange) b |= 2;
  if (s.dosUpload) b |= 4;
  image.SetImageByte(at, b);
}

GeneralSettings DecodeGeneral(const ConfigImage& image, const ImageLayout& layout) {
  GeneralSettings g;
  g.format = DecodeSmdrFormat(image, layout);
  g.mode = DecodeSmdrMode(image, layout);
  g.coPosition = image.ImageByte(layout.Offset(Field::CoPosition));
  g.calledPosition = image.ImageByte(layout.Offset(Field::CalledPosition));
  g.recordTerminator = image.ImageByte(layout.Offset(Field::RecordTerminator));
  g.coCharCountIndex = DecodeCoCharCount(image, layout);
  if (layout.Has(Field::NumberTerminator))
    g.numberTerminator = DecodeNumberTerminator(image, layout);
  if (layout.Has(Field::SwitchBits)) g.switches = DecodeSwitchBits(image, layout);
  return g;
}

}  // namespace tarvelo
