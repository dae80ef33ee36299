#include "model/ImageLayout.h"

#include <stdexcept>

namespace tarvelo {
namespace {

std::string Rep(int count, char byte) {
  return std::string(count, byte);
}

FieldLocation At(uint16_t first, uint16_t last) {
  return {first, static_cast<uint16_t>(last - first + 1), std::nullopt};
}
FieldLocation At(uint16_t first, uint16_t last, std::string defaults) {
  return {first, static_cast<uint16_t>(last - first + 1), std::move(defaults)};
}
FieldLocation Filled(uint16_t first, uint16_t last, char byte) {
  return {first, static_cast<uint16_t>(last - first + 1), std::string(1, byte), true};
}
FieldLocation Byte(uint16_t at, uint8_t value) {
  return {at, 1, std::string(1, static_cast<char>(value))};
}

// A plain literal: the map may be built while other files are still being initialised.
constexpr const char* kCoDigits = "01020304050607080910111213141516";

std::vector<MemoryMapRow> BuildMap() {
  using F = Field;
  // clang-format off
  return {
    {F::TypeSegment, "TypeSegment", At(1376, 1407), At(1376, 1407)},
    {F::SwitchBits, "SwitchBits", Byte(1409, 7), std::nullopt},
    {F::MobilePrefixes, "MobilePrefixes",
        At(1412, 1419, "\x06\x20\x06\x30\x06\x70\xDD\xDD"), std::nullopt},
    {F::InternationalPrefixes, "InternationalPrefixes", At(1420, 1421, std::string("\x00\xDD", 2)), std::nullopt},
    {F::LoopImpulseDelta, "LoopImpulseDelta", Byte(1422, 15), std::nullopt},
    // The 16-line entries are two bytes, so its new database gets 16 emptied entries
    // (00 FF) rather than the 4-line block, which would not fit them.
    {F::AreaExceptions, "AreaExceptions",
        At(1584, 1631, std::string("\x06\x20\x0B\x06\x30\x0B\x06\x70\x0B", 9) +
                       [] { std::string s; for (int i = 0; i < 13; ++i) s += "\xDD\xDD" + std::string(1, '\0'); return s; }()),
        At(1760, 1791, [] { std::string s; for (int i = 0; i < 16; ++i) s += std::string("\x00\xFF", 2); return s; }())},
    {F::CallInNumber, "CallInNumber", At(1632, 1655), At(1792, 1815)},
    {F::LineSettings, "LineSettings", At(1666, 1668, std::string("\x00\x02\x01", 3)), Filled(1648, 1663, 0x04)},
    {F::FirstTone1, "FirstTone1", Byte(1663, 10), Byte(1664, 10)},
    {F::SecondTone1, "SecondTone1", Byte(1664, 2), Byte(1665, 2)},
    {F::CoReset1, "CoReset1", Byte(1665, 15), Byte(1666, 15)},
    {F::CoTimeout1, "CoTimeout1", Byte(1662, 90), Byte(1667, 90)},
    {F::FirstTone2, "FirstTone2", std::nullopt, Byte(1668, 10)},
    {F::SecondTone2, "SecondTone2", std::nullopt, Byte(1669, 2)},
    {F::CoReset2, "CoReset2", std::nullopt, Byte(1670, 15)},
    {F::CoTimeout2, "CoTimeout2", std::nullopt, Byte(1671, 90)},
    {F::CodeRecordLength, "CodeRecordLength", Byte(1670, 7), Byte(1672, 7)},
    {F::CodeCount, "CodeCount", At(1671, 1672, Rep(2, 0)), At(1673, 1674, Rep(2, 0))},
    {F::SmdrFormat, "SmdrFormat", Byte(1659, 0x0A), Byte(1675, '1')},
    {F::RecordTerminator, "RecordTerminator", Byte(1660, 13), Byte(1676, 13)},
    {F::SmdrMode, "SmdrMode", Byte(1661, 1), Byte(1677, 1)},
    {F::ReleaseTimer, "ReleaseTimer", Byte(1673, 20), Byte(1678, 20)},
    {F::SeizeTimer, "SeizeTimer", Byte(1674, 20), Byte(1679, 20)},
    {F::InterdigitTimer, "InterdigitTimer", Byte(1675, 20), Byte(1680, 20)},
    {F::LocalLength, "LocalLength", Byte(1676, 6), Byte(1681, 6)},
    {F::NationalLength, "NationalLength", Byte(1677, 10), Byte(1682, 10)},
    {F::CoPosition, "CoPosition", Byte(1656, 23), Byte(1683, 23)},
    {F::CoCharCount, "CoCharCount", Byte(1657, 2), Byte(1684, 2)},
    {F::CalledPosition, "CalledPosition", Byte(1658, 26), Byte(1685, 26)},
    {F::NumberTerminator, "NumberTerminator", std::nullopt, Byte(1686, ' ')},
    {F::GatewayFlags, "GatewayFlags", Byte(1669, 3), Byte(1818, 3)},
    {F::CoNumbers, "CoNumbers", At(1680, 1695, std::string(kCoDigits, 16)), At(1696, 1759, kCoDigits)},
    {F::ForbiddenAreaCodes, "ForbiddenAreaCodes",
        At(1696, 1759, "\x21\x31\x40\x41\x50\x51\x61\x71\x80\x81\x90\x91" + Rep(52, '\xFF')),
        At(1840, 1903, "\x21\x31\x40\x41\x50\x51\x61\x71\x80\x81\x90\x91" + Rep(52, '\xFF'))},
    {F::FreeNumbers, "FreeNumbers", Filled(1792, 5119, ' '), Filled(2048, 5119, ' ')},
    {F::CodeTable, "CodeTable", Filled(5120, 8191, ' '), Filled(5120, 8191, ' ')},
  };
  // clang-format on
}

}  // namespace

const std::vector<MemoryMapRow>& MemoryMap() {
  static const std::vector<MemoryMapRow> map = BuildMap();
  return map;
}

ImageLayout ImageLayout::For(DeviceModel model) {
  ImageLayout layout;
  layout.model_ = model;
  for (const auto& row : MemoryMap()) {
    layout.locations_[Index(row.field)] =
        model == DeviceModel::FourLine ? row.fourLine : row.sixteenLine;
  }
  return layout;
}

uint16_t ImageLayout::Offset(Field f) const {
  const auto& loc = locations_[Index(f)];
  if (!loc) throw std::logic_error("field has no location in this model");
  return loc->offset;
}

uint16_t ImageLayout::Size(Field f) const {
  const auto& loc = locations_[Index(f)];
  if (!loc) throw std::logic_error("field has no location in this model");
  return loc->size;
}

void StoreNewDatabaseDefaults(ConfigImage& image, const ImageLayout& layout) {
  for (const auto& row : MemoryMap()) {
    const auto& loc = layout.Location(row.field);
    if (!loc || !loc->defaults) continue;
    if (loc->fill) {
      image.Fill(loc->offset, loc->offset + loc->size - 1,
                 static_cast<uint8_t>((*loc->defaults)[0]));
    } else {
      image.SetBytes(loc->offset, *loc->defaults);
    }
  }
}

}  // namespace tarvelo
