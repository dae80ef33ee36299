#include "files/SafeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

#include "serial/SystemErrorText.h"

namespace tarvelo {
namespace {

constexpr const char* kCannotOpen = "A fájl nem nyitható meg";
constexpr const char* kCannotRead = "A fájl nem olvasható";
constexpr const char* kCannotWrite = "A fájl nem írható";

// As many links as the kernel itself follows before giving up with ELOOP.
constexpr int kMaxLinkHops = 40;

template <typename Result>
Result Failure(const char* what, const std::string& path, int err) {
  Result r;
  r.error = err;
  r.message = SystemError(what, path, err);
  return r;
}

// A folder or a special file is named in words of our own: the system has no reason text
// that says "this is not a regular file".
template <typename Result>
Result NotAFile(const char* what, const std::string& path, mode_t mode) {
  Result r;
  r.error = S_ISDIR(mode) ? EISDIR : EINVAL;
  r.message = std::string(what) + " (" + path +
              "): " + (S_ISDIR(mode) ? "ez egy mappa" : "nem közönséges fájl");
  return r;
}

bool WriteFully(int fd, const char* buf, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, buf + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
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

std::string BaseOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a write to `path` lands on: symbolic links followed, also a last one that names
// a file not there yet. Returns 0 or an errno; `exists` and `st` describe what was found.
int ResolveTarget(const std::string& path, std::string& target, bool& exists, struct stat& st) {
  std::string p = path;
  for (int hops = 0;; ++hops) {
    if (::lstat(p.c_str(), &st) != 0) {
      if (errno != ENOENT) return errno;
      target = p;
      exists = false;
      return 0;
    }
    if (!S_ISLNK(st.st_mode)) {
      target = p;
      exists = true;
      return 0;
    }
    if (hops == kMaxLinkHops) return ELOOP;
    std::array<char, 4096> buf{};
    const ssize_t n = ::readlink(p.c_str(), buf.data(), buf.size());
    if (n < 0) return errno;
    if (n == 0) return ENOENT;
    if (static_cast<size_t>(n) == buf.size()) return ENAMETOOLONG;
    const std::string link(buf.data(), static_cast<size_t>(n));
    // A relative link is relative to the folder that holds it.
    const auto slash = p.rfind('/');
    p = (link.front() == '/' || slash == std::string::npos) ? link : p.substr(0, slash + 1) + link;
  }
}

std::string RandomSuffix() {
  uint64_t bits = 0;
  if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
    // Only uniqueness matters here; O_EXCL catches what a weak value would let collide.
    static std::atomic<uint64_t> counter{0};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    bits = (static_cast<uint64_t>(now.tv_nsec) << 20) ^ static_cast<uint64_t>(now.tv_sec) ^
           (static_cast<uint64_t>(::getpid()) << 40) ^ counter.fetch_add(0x9E3779B97F4A7C15ull);
  }
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuv";
  std::string s;
  for (int i = 0; i < 10; ++i, bits >>= 5) s += kDigits[bits & 31];
  return s;
}

// A temporary file is named "." + the target's name + kTempMark + RandomSuffix(): hidden,
// beside the target, and unlike any name a user would give a file, since the tidy-up below
// removes what carries it.
constexpr const char* kTempMark = ".~";
constexpr size_t kSuffixLength = 10;

// The temporary files of `target` start with this name; short enough to stay within a
// name's limit whatever the target's name.
std::string TempPrefix(const std::string& target) {
  return "." + BaseOf(target).substr(0, 200) + kTempMark;
}

bool IsTempName(const std::string& name, const std::string& prefix) {
  if (name.size() != prefix.size() + kSuffixLength || name.compare(0, prefix.size(), prefix) != 0)
    return false;
  return std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'v'); });
}

// A save holds an exclusive lock on its temporary file from creating it until it is renamed
// or removed. The kernel drops the lock when the process ends in any way, SIGKILL included,
// so an unlocked temporary file is one nobody is writing any more.
//
// Takes the lock on a file just created as `temp`. False when the tidy-up of another save
// got to the file between its creation and the lock and is removing it: the caller starts
// again under another name.
bool HoldAsOurs(int fd, const std::string& temp) {
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    // Where the file system has no locks, no tidy-up can lock the file either, so it is
    // never removed under us.
    return errno != EWOULDBLOCK;
  }
  struct stat mine {
  }, named{};
  return ::fstat(fd, &mine) == 0 && ::lstat(temp.c_str(), &named) == 0 &&
         mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

// Creates a fresh temporary file next to `target`, locked as being written. With `mode` 0666
// the kernel applies the umask (and any default ACL of the folder) as it would for the file
// itself; the process umask is never touched, as that would race with other threads.
int CreateTemp(const std::string& target, mode_t mode, std::string& temp) {
  const std::string stem = FolderOf(target) + "/" + TempPrefix(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = stem + RandomSuffix();
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return -1;
    }
    if (HoldAsOurs(fd, temp)) return fd;
    ::close(fd);
  }
  errno = EEXIST;
  return -1;
}

// Removes `path` when it is a regular file that no save holds locked. The name is checked to
// still mean the file that was locked, so a file put there since is never the one removed.
void RemoveIfAbandoned(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;  // not ours to read, or gone already
  struct stat held {
  }, named{};
  if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
      ::lstat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
      named.st_ino == held.st_ino) {
    ::unlink(path.c_str());
  }
  ::close(fd);
}

// A folder is read this far at most for the tidy-up; what lies beyond waits for later saves.
constexpr int kMaxFolderEntries = 100000;
constexpr size_t kMaxRemovedAtOnce = 1000;

// Removes the temporary files that saves of `target` left behind when they were killed
// before they could remove them. Only names of our own pattern for this target are
// considered, and of those only the ones no live process is writing.
void RemoveStaleTemps(const std::string& target) {
  const std::string folder = FolderOf(target);
  const std::string prefix = TempPrefix(target);
  std::vector<std::string> found;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  for (int seen = 0; seen < kMaxFolderEntries && found.size() < kMaxRemovedAtOnce; ++seen) {
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) break;
    if (IsTempName(entry->d_name, prefix)) found.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  for (const auto& name : found) RemoveIfAbandoned(folder + "/" + name);
}

}  // namespace

std::string SystemError(const std::string& what, const std::string& path, int err) {
  return what + " (" + path + "): " + SystemErrorText(err);
}

namespace {
// The refusals every write makes before it touches anything; fills in where the bytes go.
FileResult CheckTarget(const std::string& path, std::string& target, bool& existed,
                       struct stat& old) {
  if (path.empty()) return Failure<FileResult>(kCannotWrite, path, ENOENT);
  if (const int err = ResolveTarget(path, target, existed, old); err != 0) {
    return Failure<FileResult>(kCannotWrite, path, err);
  }
  if (existed) {
    // A rename would put a plain file where a device, a FIFO or a socket was.
    if (!S_ISREG(old.st_mode)) return NotAFile<FileResult>(kCannotWrite, path, old.st_mode);
    // The rename needs only the folder's permission; the file's own says whether the user
    // meant it to change.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
      return Failure<FileResult>(kCannotWrite, path, errno);
    }
  }
  FileResult ok;
  ok.ok = true;
  return ok;
}
}  // namespace

FileResult CheckWritable(const std::string& path) {
  std::string target;
  bool existed = false;
  struct stat old {};
  FileResult result = CheckTarget(path, target, existed, old);
  if (!result.ok) return result;
  // The new file is made in the target's folder.
  if (::faccessat(AT_FDCWD, FolderOf(target).c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    return Failure<FileResult>(kCannotWrite, path, errno);
  }
  return result;
}

FileResult WriteFileAtomically(const std::string& path, std::string_view bytes) {
  std::string target;
  bool existed = false;
  struct stat old {};
  if (FileResult refused = CheckTarget(path, target, existed, old); !refused.ok) return refused;

  RemoveStaleTemps(target);
  std::string temp;
  // A replacement starts private and gets the old mode once it is ours alone.
  const int fd = CreateTemp(target, existed ? 0600 : 0666, temp);
  if (fd < 0) return Failure<FileResult>(kCannotWrite, path, errno);
  // The lock lasts while any descriptor of the file is open: this one keeps it over the
  // close below, whose result counts, until the file has its final name.
  const int lockHolder = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  bool ok = true;
  if (existed) {
    // Best effort: only the superuser may give a file away, and then it should stay the
    // owner's file rather than become the superuser's.
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
      if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        [[maybe_unused]] const int ignored = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
      }
    }
    ok = ::fchmod(fd, old.st_mode & 07777) == 0;
  }
  ok = ok && WriteFully(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
  int err = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) ::unlink(temp.c_str());
  if (lockHolder >= 0) ::close(lockHolder);
  if (!ok) return Failure<FileResult>(kCannotWrite, path, err);
  // Make the rename itself durable. The new file is in place by now, so a failure here is
  // not reported: the user's data is not at risk the way a failed save would claim.
  const int dirFd = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  FileResult result;
  result.ok = true;
  return result;
}

ReadResult ReadRegularFile(const std::string& path, size_t maxBytes) {
  // Looked at before opening: opening a device can have effects of its own (a serial port
  // raises its control lines, a tape rewinds).
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Failure<ReadResult>(kCannotOpen, path, errno);
  if (!S_ISREG(st.st_mode)) return NotAFile<ReadResult>(kCannotOpen, path, st.st_mode);
  // O_NONBLOCK in case the name came to mean a FIFO in between; the check on the open file
  // below then refuses it. For a regular file the flag changes nothing.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Failure<ReadResult>(kCannotOpen, path, errno);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = errno;
    ::close(fd);
    return S_ISREG(st.st_mode) ? Failure<ReadResult>(kCannotOpen, path, err)
                               : NotAFile<ReadResult>(kCannotOpen, path, st.st_mode);
  }

  ReadResult result;
  size_t done = 0;
  bool atEnd = false;
  while (done < maxBytes) {
    const size_t chunk = std::min<size_t>(maxBytes - done, 64 * 1024);
    result.bytes.resize(done + chunk);
    const ssize_t n = ::read(fd, result.bytes.data() + done, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int err = errno;
      ::close(fd);
      return Failure<ReadResult>(kCannotRead, path, err);
    }
    if (n == 0) {
      atEnd = true;
      break;
    }
    done += static_cast<size_t>(n);
  }
  result.bytes.resize(done);
  if (!atEnd) {
    char probe = 0;
    ssize_t n;
    do {
      n = ::read(fd, &probe, 1);
    } while (n < 0 && errno == EINTR);
    atEnd = n == 0;
  }
  ::close(fd);
  result.ok = true;
  result.whole = atEnd;
  result.modified = std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
  return result;
}

}  // namespace tarvelo
