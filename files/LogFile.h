// A record that grows as things happen: each Append lands at the end of the file at once.
//
// Not written through WriteFileAtomically like the other files: that replaces a whole file,
// so a record kept that way would be copied anew for every block, and what went before would
// sit only in memory until then. Appending never touches what is already there, so a failure
// loses at most the block being added, and everything before it is on disk even when the
// program ends badly. Like every other file, a log is only ever a regular file.
#pragma once

#include <string>
#include <string_view>

#include "files/SafeFile.h"

namespace tarvelo {

class LogFile {
 public:
  LogFile() = default;
  ~LogFile() { Close(); }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Opens `path` for appending, creating it. A folder, a device or a pipe under that name is
  // refused without waiting on it: it would block or swallow the record.
  FileResult Open(const std::string& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  // Adds `bytes` at the end. A failure closes the log; its message says why.
  FileResult Append(std::string_view bytes);

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace tarvelo
