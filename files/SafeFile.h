// The one way the program reads and writes its files. Writing replaces the file as a whole,
// so a crash or a full disk never leaves half a file; both ways refuse anything that is not
// a regular file, so a device node or a FIFO given as a file name is neither replaced nor
// waited on.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace tarvelo {

// "<what> (<path>): <the system's reason>", the form of every file error the user sees.
std::string SystemError(const std::string& what, const std::string& path, int err);

struct FileResult {
  bool ok = false;
  int error = 0;        // errno when not ok
  std::string message;  // UTF-8, what to show the user; empty on success
};

// Writes `bytes` as the whole new content of `path`. The bytes go to a new file in the same
// folder that is flushed to disk and renamed over the target, so any failure leaves the old
// file as it was. A symbolic link is written through to the file it names, which is created
// when missing; the link stays. An existing file keeps its mode; a new one gets 0666 less
// the umask. Refused: a target the user may not write (EACCES), a folder (EISDIR) and any
// other kind of file that is not a regular one (EINVAL). The new file is a hidden name
// beside the target, locked while it is written; a write first removes the ones of that
// target nobody holds locked any more, left by a process killed in the middle of a write.
FileResult WriteFileAtomically(const std::string& path, std::string_view bytes);

// Whether WriteFileAtomically could write `path` now, without writing anything: for work
// that takes long to produce what is to be saved.
FileResult CheckWritable(const std::string& path);

struct ReadResult : FileResult {
  std::string bytes;
  bool whole = false;  // false when the file holds more than the bytes read
  std::chrono::system_clock::time_point modified;  // the file's last-write time
};

// Reads at most `maxBytes` from the start of `path`, without ever blocking on a FIFO or
// opening a device. A file that is not a regular one is refused (EISDIR for a folder,
// EINVAL otherwise); a missing file fails with ENOENT.
ReadResult ReadRegularFile(const std::string& path, size_t maxBytes);

}  // namespace tarvelo
