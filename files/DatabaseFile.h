// The database file: the whole record in one piece, image and password scrambled with a
// key taken from the site and owner texts.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "model/DatabaseRecord.h"

namespace tarvelo {

constexpr const char* kNotOurFormatMessage = "File formátum nem Tarvelo1 V2 típusú !!!";
constexpr const char* kWrongPasswordMessage = "Hibás jelszó !!!";

uint8_t FileKey(const DatabaseRecord& record);
// XORs the image and password characters 1..length with the key; its own inverse.
void Scramble(DatabaseRecord& record, uint8_t key);

enum class LoadStatus { Ok, NotOurFormat, WrongPassword, IoError };

struct LoadResult {
  LoadStatus status = LoadStatus::IoError;
  std::string message;  // UTF-8, what to show the user; empty on success
  std::optional<std::chrono::system_clock::time_point> fileDate;  // set on success
};

// The load's checks on the file's bytes, without the file: only the first record's worth
// counts. On any failure the record is as it was; the result carries no file date.
LoadResult DecodeDatabaseBytes(std::string_view bytes, DatabaseRecord& record,
                               const std::function<std::string()>& askPassword);
// What a save writes: the record with its format marker set, image and password scrambled.
std::array<uint8_t, kRecordSize> EncodeDatabaseBytes(DatabaseRecord& record);

// Loads the file into `record`. On any failure the record is as it was; what is not a
// regular file is refused without waiting on it. `askPassword`
// is asked once the file has proved to be ours and returns the typed text (Windows-1250);
// it is asked even for a file without a password, as the user expects the question.
LoadResult LoadDatabaseFile(const std::string& path, DatabaseRecord& record,
                            const std::function<std::string()>& askPassword);

struct SaveResult {
  bool ok = false;
  std::string message;  // UTF-8 error description when not ok
};

// Sets the record's format marker and writes it with WriteFileAtomically: a failed save
// leaves the old file as it was, and a write-protected file or one that is not a regular
// file is refused. The caller has copied the connection name in.
SaveResult SaveDatabaseFile(const std::string& path, DatabaseRecord& record);

// A device's configuration kept as a database of `site` (its texts and password), so it can
// be opened and uploaded again as it was. The reason when it could not be written.
std::optional<std::string> SaveDeviceBackup(const std::string& path, const DatabaseRecord& site,
                                            const ConfigImage& device);

}  // namespace tarvelo
