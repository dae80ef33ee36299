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

LoadResult DecodeDatabaseBytes(std::string_view bytes, DatabaseRecord& record,
                               const std::function<std::string()>& askPassword) {
  LoadResult result;
  // A short file is not a whole record, whatever its first bytes say.
  if (bytes.size() < static_cast<size_t>(kRecordSize) ||
      std::memcmp(bytes.data(), kFormatMarker.data(), kFormatMarker.size()) != 0) {
    result.status = LoadStatus::NotOurFormat;
    result.message = kNotOurFormatMessage;
    return result;
  }
  std::array<uint8_t, kRecordSize> raw{};
  std::memcpy(raw.data(), bytes.data(), raw.size());
  DatabaseRecord loaded = DatabaseRecord::FromBytes(raw);
  Scramble(loaded, FileKey(loaded));
  const std::string typed = askPassword ? askPassword() : std::string();
  if (typed != loaded.password.text()) {
    result.status = LoadStatus::WrongPassword;
    result.message = kWrongPasswordMessage;
    return result;
  }
  record = loaded;
  result.status = LoadStatus::Ok;
  return result;
}

std::array<uint8_t, kRecordSize> EncodeDatabaseBytes(DatabaseRecord& record) {
  std::memcpy(record.marker.data(), kFormatMarker.data(), kFormatMarker.size());
  DatabaseRecord scrambled = record;
  Scramble(scrambled, FileKey(scrambled));
  return scrambled.ToBytes();
}

LoadResult LoadDatabaseFile(const std::string& path, DatabaseRecord& record,
                            const std::function<std::string()>& askPassword) {
  // Only the first record's worth counts; whatever follows is ignored.
  const ReadResult read = ReadRegularFile(path, kRecordSize);
  if (!read.ok) {
    LoadResult result;
    result.message = read.message;
    return result;
  }
  LoadResult result = DecodeDatabaseBytes(read.bytes, record, askPassword);
  if (result.status == LoadStatus::Ok) result.fileDate = read.modified;
  return result;
}

SaveResult SaveDatabaseFile(const std::string& path, DatabaseRecord& record) {
  const auto bytes = EncodeDatabaseBytes(record);
  const FileResult written = WriteFileAtomically(
      path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  SaveResult result;
  result.ok = written.ok;
  result.message = written.message;
  return result;
}

std::optional<std::string> SaveDeviceBackup(const std::string& path, const DatabaseRecord& site,
                                            const ConfigImage& device) {
  DatabaseRecord saved = site;
  saved.image = device;
  const SaveResult written = SaveDatabaseFile(path, saved);
  if (!written.ok) return written.message;
  return std::nullopt;
}

}  // namespace tarvelo
