#include "model/DatabaseRecord.h"

#include <algorithm>
#include <cstring>

namespace tarvelo {

std::string ShortString::text() const {
  return std::string(reinterpret_cast<const char*>(chars.data()), length);
}

void ShortString::set(std::string_view cp1250Text) {
  const size_t n = std::min<size_t>(cp1250Text.size(), chars.size());
  // Only the length says where a text ends, and the file keeps the whole character area: an
  // old, longer text left behind it would be saved too (a password's end in the clear).
  chars.fill(0);
  std::memcpy(chars.data(), cp1250Text.data(), n);
  length = static_cast<uint8_t>(n);
}

namespace {
constexpr size_t kFieldSize = 256;

void PutString(uint8_t* at, const ShortString& s) {
  at[0] = s.length;
  std::memcpy(at + 1, s.chars.data(), s.chars.size());
}

void GetString(const uint8_t* at, ShortString& s) {
  s.length = at[0];
  std::memcpy(s.chars.data(), at + 1, s.chars.size());
}
}  // namespace

std::array<uint8_t, kRecordSize> DatabaseRecord::ToBytes() const {
  std::array<uint8_t, kRecordSize> out{};
  std::memcpy(out.data(), marker.data(), marker.size());
  PutString(out.data() + 11, site);
  PutString(out.data() + 11 + kFieldSize, owner);
  PutString(out.data() + 11 + 2 * kFieldSize, password);
  PutString(out.data() + 11 + 3 * kFieldSize, connectionName);
  std::memcpy(out.data() + kImageRecordOffset, image.raw().data(), kImageSize);
  return out;
}

DatabaseRecord DatabaseRecord::FromBytes(const std::array<uint8_t, kRecordSize>& bytes) {
  DatabaseRecord r;
  std::memcpy(r.marker.data(), bytes.data(), r.marker.size());
  GetString(bytes.data() + 11, r.site);
  GetString(bytes.data() + 11 + kFieldSize, r.owner);
  GetString(bytes.data() + 11 + 2 * kFieldSize, r.password);
  GetString(bytes.data() + 11 + 3 * kFieldSize, r.connectionName);
  std::memcpy(r.image.raw().data(), bytes.data() + kImageRecordOffset, kImageSize);
  return r;
}

}  // namespace tarvelo
