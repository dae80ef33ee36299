// The open database: four header texts and the configuration image, exactly as stored.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/ConfigImage.h"

namespace tarvelo {

constexpr int kRecordSize = 9227;
constexpr int kImageRecordOffset = 1035;
constexpr std::string_view kFormatMarker = "\x0ATarvelo1V2";

// A length byte and a 255-byte character area. The bytes after the length are kept as
// they are, because the file writes them back unchanged.
struct ShortString {
  uint8_t length = 0;
  std::array<uint8_t, 255> chars{};

  std::string text() const;               // the first `length` characters (Windows-1250)
  void set(std::string_view cp1250Text);  // longer texts are cut to 255 characters
  bool operator==(const ShortString&) const = default;
};

struct DatabaseRecord {
  std::array<uint8_t, 11> marker{};
  ShortString site;
  ShortString owner;
  ShortString password;
  ShortString connectionName;
  ConfigImage image;

  std::array<uint8_t, kRecordSize> ToBytes() const;
  static DatabaseRecord FromBytes(const std::array<uint8_t, kRecordSize>& bytes);
  bool operator==(const DatabaseRecord&) const = default;
};

}  // namespace tarvelo
