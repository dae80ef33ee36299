// The device's 8 KB configuration memory as the program holds it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvelo {

constexpr int kImageSize = 8192;
constexpr int kSegmentSize = 32;
constexpr int kSegmentCount = 256;
constexpr int kTypeSegment = 43;
// The device's version text ("P4239", "P4290") within the type segment, and in the image.
constexpr int kVersionTextInSegment = 7;
constexpr int kVersionTextLength = 5;
constexpr int kVersionTextOffset = kTypeSegment * kSegmentSize + kVersionTextInSegment;

enum class DeviceModel { FourLine = 0, SixteenLine = 1 };

// Type-box text, number of lines and first transferred segment of each model.
const char* ModelName(DeviceModel model);
int LineCount(DeviceModel model);
int FirstTransferSegment(DeviceModel model);
// "P4239" is the only version text the 4-line model reports.
DeviceModel ModelFromVersionText(std::string_view text);

class ConfigImage {
 public:
  ConfigImage() { bytes_.fill(0); }

  // Every access checks the offset: a bad offset is a programming error, and the bytes
  // beside the image belong to somebody else.
  uint8_t ImageByte(long offset) const;
  void SetImageByte(long offset, uint8_t value);
  std::string Bytes(long offset, long count) const;
  void SetBytes(long offset, std::string_view bytes);
  void Fill(long first, long last, uint8_t value);  // inclusive range

  // The version text of the type segment, up to its first zero byte.
  std::string VersionText() const;

  std::array<uint8_t, kImageSize>& raw() { return bytes_; }
  const std::array<uint8_t, kImageSize>& raw() const { return bytes_; }
  bool operator==(const ConfigImage&) const = default;

 private:
  static void Check(long offset);
  std::array<uint8_t, kImageSize> bytes_;
};

}  // namespace tarvelo
