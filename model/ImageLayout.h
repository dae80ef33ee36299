// Where each setting lives in the image, per model. The memory map below is the single
// source: one row per field, one column per model.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/ConfigImage.h"

namespace tarvelo {

enum class Field {
  TypeSegment,
  SwitchBits,
  MobilePrefixes,
  InternationalPrefixes,
  LoopImpulseDelta,
  AreaExceptions,
  CallInNumber,
  LineSettings,
  FirstTone1,
  SecondTone1,
  CoReset1,
  CoTimeout1,
  FirstTone2,
  SecondTone2,
  CoReset2,
  CoTimeout2,
  CodeRecordLength,
  CodeCount,
  SmdrFormat,
  RecordTerminator,
  SmdrMode,
  ReleaseTimer,
  SeizeTimer,
  InterdigitTimer,
  LocalLength,
  NationalLength,
  CoPosition,
  CoCharCount,
  CalledPosition,
  NumberTerminator,
  GatewayFlags,
  CoNumbers,
  ForbiddenAreaCodes,
  FreeNumbers,
  CodeTable,
  Count
};

// A field's bytes in one model, and what a new database stores there.
struct FieldLocation {
  uint16_t offset;
  uint16_t size;
  // Bytes written from `offset` on; when `fill` is set, the single byte fills the field.
  std::optional<std::string> defaults;
  bool fill = false;
};

struct MemoryMapRow {
  Field field;
  const char* name;
  std::optional<FieldLocation> fourLine;
  std::optional<FieldLocation> sixteenLine;
};

const std::vector<MemoryMapRow>& MemoryMap();

class ImageLayout {
 public:
  static ImageLayout For(DeviceModel model);

  DeviceModel model() const { return model_; }
  bool Has(Field f) const { return locations_[Index(f)].has_value(); }
  // Asking for a field the model lacks is a programming error (std::logic_error).
  uint16_t Offset(Field f) const;
  uint16_t Size(Field f) const;
  const std::optional<FieldLocation>& Location(Field f) const { return locations_[Index(f)]; }

 private:
  static size_t Index(Field f) { return static_cast<size_t>(f); }
  DeviceModel model_ = DeviceModel::FourLine;
  std::array<std::optional<FieldLocation>, static_cast<size_t>(Field::Count)> locations_{};
};

// Stores the defaults of a new database for the layout's model, image side only.
void StoreNewDatabaseDefaults(ConfigImage& image, const ImageLayout& layout);

}  // namespace tarvelo
