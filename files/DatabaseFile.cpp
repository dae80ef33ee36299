#include "files/DatabaseFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tarvelo {
namespace {

std::string SystemError(const std::string& what, const std::string& path, int err) {
  return what + " (" + path + "): " + std::strerror(err);
}

// Reads up to `size` bytes; returns how many were read, or -1 with errno set.
ssize_t ReadFully(int fd, uint8_t* buf, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, buf + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

bool WriteFully(int fd, const uint8_t* buf, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, buf + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

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
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    result.message = SystemError("A fájl nem nyitható meg", path, errno);
    return result;
  }
  std::array<uint8_t, kRecordSize> bytes{};
  const ssize_t got = ReadFully(fd, bytes.data(), bytes.size());
  const int readErr = errno;
  struct stat st {};
  const bool haveDate = ::fstat(fd, &st) == 0;
  ::close(fd);
  if (got < 0) {
    result.message = SystemError("A fájl nem olvasható", path, readErr);
    return result;
  }
  // A short file is not a whole record, whatever its first bytes say.
  if (got < kRecordSize ||
      std::memcmp(bytes.data(), kFormatMarker.data(), kFormatMarker.size()) != 0) {
    result.status = LoadStatus::NotOurFormat;
    result.message = kNotOurFormatMessage;
    return result;
  }
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
  if (haveDate) {
    result.fileDate = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(st.st_mtim.tv_sec) +
            std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
  }
  return result;
}

SaveResult SaveDatabaseFile(const std::string& path, DatabaseRecord& record) {
  SaveResult result;
  std::memcpy(record.marker.data(), kFormatMarker.data(), kFormatMarker.size());
  DatabaseRecord scrambled = record;
  Scramble(scrambled, FileKey(scrambled));
  const auto bytes = scrambled.ToBytes();

  // Write through a symbolic link to the file it names, as an in-place write would.
  std::string target = path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }
  struct stat old {};
  const bool existed = ::stat(target.c_str(), &old) == 0;
  const std::string folder = FolderOf(target);
  std::string temp = target + ".XXXXXX";
  std::vector<char> tempName(temp.begin(), temp.end());
  tempName.push_back('\0');
  const int fd = ::mkostemp(tempName.data(), O_CLOEXEC);
  if (fd < 0) {
    result.message = SystemError("A fájl nem írható", path, errno);
    return result;
  }
  temp = tempName.data();
  // mkostemp makes the file private; give it the old file's mode, or the usual one.
  mode_t mode = 0666;
  if (existed) {
    mode = old.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode &= ~mask;
  }
  bool ok =
      ::fchmod(fd, mode) == 0 && WriteFully(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
  int err = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    result.message = SystemError("A fájl nem írható", path, err);
    return result;
  }
  // Make the rename itself durable.
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  result.ok = true;
  return result;
}

}  // namespace tarvelo
