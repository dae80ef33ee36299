#include "files/DatabaseFile.h"

#include <array>
#include <cstring>
#include <string_view>

#include "files/SafeFile.h"

namespace tarvelo {

uint8_t FileKey(const DatabaseRecord& record) {
  unsigned sum = 0;
  for (int i = 0; i < record.site.length; ++i) sum += record.site.chars[i];
  for (int i = 0; i < record.owner.length; ++i) sum += record.owner.chars[i];
  return static_cast<uint8_t>(sum & 0xFF);
}

void Scramble(DatabaseRecord& record, uint8_t key) {
  for (auto& b : record.image.raw()) b ^= key;
  for (int i = 0; i < record.password.length; ++i) record.password.chars[i] ^= key;
}

LoadResult LoadDatabaseFile(const std::string& path, DatabaseRecord& record,
                            const std::function<std::string()>& askPassword) {
  LoadResult result;
  // Only the first record's worth counts; whatever follows is ignored.
  const ReadResult read = ReadRegularFile(path, kRecordSize);
  if (!read.ok) {
    result.message = read.message;
    return result;
  }
  // A short file is not a whole record, whatever its first bytes say.
  if (read.bytes.size() < static_cast<size_t>(kRecordSize) ||
      std::memcmp(read.bytes.data(), kFormatMarker.data(), kFormatMarker.size()) != 0) {
    result.status = LoadStatus::NotOurFormat;
    result.message = kNotOurFormatMessage;
    return result;
  }
  std::array<uint8_t, kRecordSize> bytes{};
  std::memcpy(bytes.data(), read.bytes.data(), bytes.size());
  DatabaseRecord loaded = DatabaseRecord::FromBytes(bytes);
  Scramble(loaded, FileKey(loaded));
  const std::string typed = askPassword ? askPassword() : std::string();
  if (typed != loaded.password.text()) {
    result.status = LoadStatus::WrongPassword;
    result.message = kWrongPasswordMessage;
    return result;
  }
  record = loaded;
  result.status = LoadStatus::Ok;
  result.fileDate = read.modified;
  return result;
}

SaveResult SaveDatabaseFile(const std::string& path, DatabaseRecord& record) {
  std::memcpy(record.marker.data(), kFormatMarker.data(), kFormatMarker.size());
  DatabaseRecord scrambled = record;
  Scramble(scrambled, FileKey(scrambled));
  const auto bytes = scrambled.ToBytes();
  const FileResult written = WriteFileAtomically(
      path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  SaveResult result;
  result.ok = written.ok;
  result.message = written.message;
  return result;
}

}  // namespace tarvelo
