#include "files/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "serial/SystemErrorText.h"

namespace tarvelo {
namespace {

// A write the system keeps breaking off with signals is given up rather than tried forever.
constexpr int kMaxInterruptions = 100;

FileResult Failure(int err, std::string message) {
  FileResult r;
  r.error = err;
  r.message = std::move(message);
  return r;
}

FileResult Success() {
  FileResult r;
  r.ok = true;
  return r;
}

}  // namespace

FileResult LogFile::Open(const std::string& path) {
  Close();
  // Non-blocking only for the open itself: a pipe without a reader must not hang the caller.
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int err = errno;
    return Failure(err,
                   "A naplófájl nem nyitható meg: " + path + " (" + SystemErrorText(err) + ")");
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Failure(EINVAL, "A napló csak közönséges fájlba írható: " + path);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  fd_ = fd;
  path_ = path;
  return Success();
}

void LogFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

FileResult LogFile::Append(std::string_view bytes) {
  if (fd_ < 0) return Failure(EBADF, "A napló nincs megnyitva.");
  size_t done = 0;
  int interruptions = 0;
  int err = 0;
  // Every pass writes at least one byte or ends the loop.
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR && ++interruptions < kMaxInterruptions) continue;
    if (n <= 0) {
      err = n < 0 ? errno : EIO;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (done == bytes.size()) return Success();
  Close();
  return Failure(err, "A napló írása nem sikerült, a napló leállt: " + SystemErrorText(err));
}

}  // namespace tarvelo
