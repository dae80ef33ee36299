#include "model/ConfigImage.h"

#include <stdexcept>

namespace tarvelo {

const char* ModelName(DeviceModel model) {
  return model == DeviceModel::FourLine ? "Zentor-4 (V2.39g+)" : "Zentor-16 (V 4.29+)";
}

int LineCount(DeviceModel model) {
  return model == DeviceModel::FourLine ? 4 : 16;
}

int FirstTransferSegment(DeviceModel model) {
  return model == DeviceModel::FourLine ? 44 : 51;
}

DeviceModel ModelFromVersionText(std::string_view text) {
  return text == "P4239" ? DeviceModel::FourLine : DeviceModel::SixteenLine;
}

void ConfigImage::Check(long offset) {
  if (offset < 0 || offset >= kImageSize) {
    throw std::out_of_range("image offset " + std::to_string(offset) + " outside 0..8191");
  }
}

uint8_t ConfigImage::ImageByte(long offset) const {
  Check(offset);
  return bytes_[offset];
}

void ConfigImage::SetImageByte(long offset, uint8_t value) {
  Check(offset);
  bytes_[offset] = value;
}

std::string ConfigImage::Bytes(long offset, long count) const {
  std::string out;
  for (long i = 0; i < count; ++i) out += static_cast<char>(ImageByte(offset + i));
  return out;
}

void ConfigImage::SetBytes(long offset, std::string_view bytes) {
  // Check both ends first so a write that would run off the image changes nothing.
  if (!bytes.empty()) {
    Check(offset);
    Check(offset + static_cast<long>(bytes.size()) - 1);
  }
  for (size_t i = 0; i < bytes.size(); ++i) bytes_[offset + i] = static_cast<uint8_t>(bytes[i]);
}

void ConfigImage::Fill(long first, long last, uint8_t value) {
  if (last < first) return;
  Check(first);
  Check(last);
  for (long i = first; i <= last; ++i) bytes_[i] = value;
}

std::string ConfigImage::VersionText() const {
  std::string text;
  for (int i = 0; i < kVersionTextLength; ++i) {
    const uint8_t b = bytes_[kVersionTextOffset + i];
    if (b == 0) break;
    text += static_cast<char>(b);
  }
  return text;
}

}  // namespace tarvelo
