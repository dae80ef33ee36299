#include "model/Lines.h"

#include <algorithm>
#include <stdexcept>

#include "model/Codecs.h"

namespace tarvelo {

const std::vector<std::string>& DialItems(DeviceModel model, int line) {
  static const std::vector<std::string> four = {"Impulzus", "DTMF normal", "DTMF gyors"};
  static const std::vector<std::string> sixteen = {"DTMF", "Impulzus"};
  return (model == DeviceModel::FourLine && line == 1) ? four : sixteen;
}

const std::vector<std::string>& SeizeItems() {
  static const std::vector<std::string> items = {"Tárcsázáskor", "Azonnal"};
  return items;
}

const std::vector<std::string>& TimerSetItems() {
  static const std::vector<std::string> items = {"#1", "#2"};
  return items;
}

std::vector<LineView> DecodeLines(const ConfigImage& image, const ImageLayout& layout) {
  const DeviceModel model = layout.model();
  const int count = LineCount(model);
  const long base = layout.Offset(Field::LineSettings);
  std::vector<LineView> lines(count);
  for (int n = 1; n <= count; ++n) lines[n - 1].coNumber = DecodeCoNumber(image, layout, n);
  if (model == DeviceModel::SixteenLine) {
    for (int n = 0; n < count; ++n) {
      const uint8_t b = image.ImageByte(base + n);
      lines[n].dial = (b >> 1) & 1;
      lines[n].seize = (b >> 2) & 1;
      lines[n].subLine = (b & 8) != 0;
      lines[n].callIn = (b & 16) != 0;
      lines[n].timerSet = b & 1;
    }
  } else {
    const uint8_t bits = image.ImageByte(base);
    const uint8_t dial = image.ImageByte(base + 1);
    const uint8_t seize = image.ImageByte(base + 2);
    for (int n = 0; n < count; ++n) {
      lines[n].dial = (dial >= 1 && dial <= 3) ? dial - 1 : 1;
      lines[n].seize = seize != 0 ? 1 : 0;
      lines[n].subLine = (bits >> n) & 1;
      lines[n].callIn = (bits >> (n + 4)) & 1;
    }
  }
  return lines;
}

uint8_t RewriteLineByte16(uint8_t b, const LineControls16& c) {
  if (c.seize) b = static_cast<uint8_t>((b & 0x1B) | (*c.seize * 4));
  if (c.dial) b = static_cast<uint8_t>((b & 0x1D) | (*c.dial * 2));
  if (c.timerSet) b = static_cast<uint8_t>((b & 0x1E) | *c.timerSet);
  if (c.subLine) b = static_cast<uint8_t>((b & 0x17) + (*c.subLine ? 8 : 0));
  if (c.callIn) b = static_cast<uint8_t>((b & 0x0F) + (*c.callIn ? 16 : 0));
  return b;
}

void EncodeLines16(ConfigImage& image, const ImageLayout& layout,
                   const std::array<LineControls16, 16>& lines) {
  const long base = layout.Offset(Field::LineSettings);
  const int count = std::min<int>(16, layout.Size(Field::LineSettings));
  for (int n = 0; n < count; ++n) {
    image.SetImageByte(base + n, RewriteLineByte16(image.ImageByte(base + n), lines[n]));
  }
}

void EncodeDialMode4(ConfigImage& image, const ImageLayout& layout, int itemIndex) {
  image.SetImageByte(layout.Offset(Field::LineSettings) + 1, static_cast<uint8_t>(itemIndex + 1));
}

void EncodeSeizeMode4(ConfigImage& image, const ImageLayout& layout, int itemIndex) {
  image.SetImageByte(layout.Offset(Field::LineSettings) + 2, itemIndex == 1 ? 1 : 0);
}

void EncodeLineBit4(ConfigImage& image, const ImageLayout& layout, bool callIn, int line,
                    bool checked) {
  if (line < 1 || line > 4) return;
  const long at = layout.Offset(Field::LineSettings);
  const uint8_t bit = static_cast<uint8_t>((callIn ? 16 : 1) << (line - 1));
  const uint8_t b = image.ImageByte(at);
  image.SetImageByte(at, checked ? (b | bit) : (b & ~bit));
}

int CoNumberWidth(const ConfigImage& image, const ImageLayout& layout) {
  return std::clamp<int>(image.ImageByte(layout.Offset(Field::CoCharCount)), 1, 4);
}

std::string DecodeCoNumber(const ConfigImage& image, const ImageLayout& layout, int line) {
  const int width = CoNumberWidth(image, layout);
  return ImageTextField(image, layout.Offset(Field::CoNumbers), static_cast<uint8_t>(width),
                        static_cast<uint8_t>(line));
}

void EncodeCoNumber(ConfigImage& image, const ImageLayout& layout, int line,
                    const std::string& text) {
  if (line < 1 || line > LineCount(layout.model())) return;
  const int width = CoNumberWidth(image, layout);
  std::string stored = text.substr(0, std::min<size_t>(text.size(), width));
  stored.resize(width, ' ');
  image.SetBytes(layout.Offset(Field::CoNumbers) + width * (line - 1), stored);
}

const std::vector<ByteFieldRow>& ByteFields() {
  using F = Field;
  // The two timer sets have the same boxes.
  static constexpr const char* kFirstTone = "Elsö T. hang:";
  static constexpr const char* kSecondTone = "Második T. hang:";
  static constexpr const char* kCoTimeout = "CO leidözítés:";
  static constexpr const char* kCoReset = "CO reszet:";
  static constexpr const char* kTenths = "x100mS";
  // clang-format off
  static const std::vector<ByteFieldRow> rows = {
    {"MEcopos", "CO pozíció:", "", F::CoPosition, 0, 0},
    {"MEcallpos", "Hívottszám pozíció:", "", F::CalledPosition, 0, 0},
    {"MEibe", "Beemelési:", "x 100mS", F::SeizeTimer, 2, 0},
    {"MEibo", "Bontási:", "x 100mS", F::ReleaseTimer, 2, 0},
    {"MEintd", "Interdigit:", "x 0,5S", F::InterdigitTimer, 2, 0},
    {"ME1t1", kFirstTone, kTenths, F::FirstTone1, 2, 1},
    {"ME2t1", kSecondTone, kTenths, F::SecondTone1, 2, 1},
    {"MEcol1", kCoTimeout, kTenths, F::CoTimeout1, 2, 1},
    {"MEcor1", kCoReset, kTenths, F::CoReset1, 2, 1},
    {"ME1t2", kFirstTone, kTenths, F::FirstTone2, 2, 2},
    {"ME2t2", kSecondTone, kTenths, F::SecondTone2, 2, 2},
    {"MEcol2", kCoTimeout, kTenths, F::CoTimeout2, 2, 2},
    {"MEcor2", kCoReset, kTenths, F::CoReset2, 2, 2},
    {"edLI", "Hurok/Imp különbség:", "A két jelfogó elengedése közötti idő (x10mS)",
        F::LoopImpulseDelta, 2, 0},
    {"MEloclen", "Helyi számhossz:", "", F::LocalLength, 3, 0},
    {"MEnatlen", "Belföldi számhossz:", "", F::NationalLength, 3, 0},
  };
  // clang-format on
  return rows;
}

const ByteFieldRow& ByteFieldOf(Field field) {
  for (const ByteFieldRow& row : ByteFields()) {
    if (row.field == field) return row;
  }
  throw std::logic_error("field has no byte box");
}

}  // namespace tarvelo
