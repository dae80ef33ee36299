#include "files/SafeFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <thread>
#include <vector>

#include "files/DatabaseFile.h"
#include "files/IniFile.h"
#include "tests/TempDirTest.h"

using namespace tarvelo;
namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;
constexpr int kTimedOut = -1;

class SafeFileTest : public TempDirTest {
 protected:
  // Runs `body` in a child process and returns its result (0..255), or kTimedOut when it has
  // not ended within the limit, so a call that blocks fails the test instead of hanging it.
  // With `unprivileged`, a child of the superuser gives up its rights first: permission
  // checks mean nothing to the superuser.
  int InChild(const std::function<int()>& body, bool unprivileged = false) {
    if (unprivileged && ::geteuid() == 0) ::chmod(dir_.c_str(), 0777);
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (unprivileged && ::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
        ::_exit(254);
      }
      ::_exit(body() & 0xFF);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return kTimedOut;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
  }

  static int WriteError(const std::string& path, const std::string& bytes) {
    const FileResult r = WriteFileAtomically(path, bytes);
    return r.ok ? 0 : r.error;
  }

  // Nothing but the names given: no temporary file left behind.
  void ExpectOnly(std::vector<std::string> names) const {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir_)) found.push_back(e.path().filename());
    std::sort(found.begin(), found.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(found, names);
  }

  static struct stat Lstat(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
  }
};

}  // namespace

TEST_F(SafeFileTest, RefusedTargetsStayWhatTheyWere) {
  Put(Path("readonly.pin"), "old bytes");
  ::chmod(Path("readonly.pin").c_str(), 0444);
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0666), 0);
  fs::create_directory(Path("folder"));
  fs::create_symlink("fifo", Path("to-fifo"));
  fs::create_symlink("loop-b", Path("loop-a"));
  fs::create_symlink("loop-a", Path("loop-b"));
  // A device node of our own when we may make one; otherwise the system's, which a user
  // without rights could not replace anyway, so the refusal is checked either way.
  std::string device = "/dev/null";
  if (::mknod(Path("null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0) device = Path("null");

  struct Case {
    std::string path;
    int error;
    bool unprivileged = false;
  };
  const std::vector<Case> cases = {
      {Path("readonly.pin"), EACCES, true},
      {Path("fifo"), EINVAL},
      {device, EINVAL},
      {Path("folder"), EISDIR},
      {Path("to-fifo"), EINVAL},  // the link is followed to what it names
      {Path("loop-a"), ELOOP},
  };
  for (const auto& c : cases) {
    const struct stat before = Lstat(c.path);
    EXPECT_EQ(InChild([&] { return WriteError(c.path, "new bytes"); }, c.unprivileged), c.error)
        << c.path;
    const struct stat after = Lstat(c.path);
    EXPECT_EQ(after.st_ino, before.st_ino) << c.path << " was replaced";
    EXPECT_EQ(after.st_mode, before.st_mode) << c.path;
    EXPECT_EQ(after.st_rdev, before.st_rdev) << c.path;
  }
  EXPECT_EQ(Slurp(Path("readonly.pin")), "old bytes");
  std::vector<std::string> names = {"readonly.pin", "fifo",   "folder",
                                    "to-fifo",      "loop-a", "loop-b"};
  if (device != "/dev/null") names.push_back("null");
  ExpectOnly(names);

  const FileResult refused = WriteFileAtomically(Path("fifo"), "x");
  EXPECT_NE(refused.message.find(Path("fifo")), std::string::npos) << refused.message;
}

TEST_F(SafeFileTest, FullDiskLeavesTheOldFileWhole) {
  const std::string path = Path("keep.pin");
  const std::string old(3000, 'o');
  Put(path, old);
  // The size limit makes the write fail part-way, as a full disk would; in a child, as the
  // limit and the ignored signal are the whole process's.
  const int error = InChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{4096, RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &small);
    return WriteError(path, std::string(64 * 1024, 'n'));
  });
  EXPECT_EQ(error, EFBIG);
  EXPECT_EQ(Slurp(path), old);
  ExpectOnly({"keep.pin"});
}

TEST_F(SafeFileTest, LinksAreWrittenThroughAndKept) {
  fs::create_directory(Path("real"));
  // A chain whose last link names a file not there yet, relative to the link's own folder.
  fs::create_symlink("real/data.pin", Path("second"));
  fs::create_symlink(Path("second"), Path("first"));
  ASSERT_TRUE(WriteFileAtomically(Path("first"), "one").ok);
  EXPECT_TRUE(fs::is_symlink(Path("first")));
  EXPECT_TRUE(fs::is_symlink(Path("second")));
  EXPECT_EQ(Slurp(Path("real/data.pin")), "one");

  ASSERT_TRUE(WriteFileAtomically(Path("first"), "two").ok);
  EXPECT_TRUE(fs::is_symlink(Path("first")));
  EXPECT_EQ(Slurp(Path("real/data.pin")), "two");
  ExpectOnly({"first", "second", "real"});
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("real")), fs::directory_iterator()), 1);
}

TEST_F(SafeFileTest, ModesComeFromTheOldFileOrTheUmask) {
  const mode_t saved = ::umask(027);
  ASSERT_TRUE(WriteFileAtomically(Path("new.pin"), "x").ok);
  Put(Path("private.pin"), "old");
  ::chmod(Path("private.pin").c_str(), 0600);
  Put(Path("shared.pin"), "old");
  ::chmod(Path("shared.pin").c_str(), 0666);
  ASSERT_TRUE(WriteFileAtomically(Path("private.pin"), "new").ok);
  ASSERT_TRUE(WriteFileAtomically(Path("shared.pin"), "new").ok);
  ::umask(saved);

  EXPECT_EQ(Lstat(Path("new.pin")).st_mode & 07777, 0640u);
  EXPECT_EQ(Lstat(Path("private.pin")).st_mode & 07777, 0600u);
  EXPECT_EQ(Lstat(Path("shared.pin")).st_mode & 07777, 0666u) << "not narrowed by the umask";
  EXPECT_EQ(Slurp(Path("shared.pin")), "new");

  // The superuser saving a user's file leaves it the user's.
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(Path("shared.pin").c_str(), kNobody, kNobody), 0);
    ASSERT_TRUE(WriteFileAtomically(Path("shared.pin"), "again").ok);
    EXPECT_EQ(Lstat(Path("shared.pin")).st_uid, kNobody);
    EXPECT_EQ(Lstat(Path("shared.pin")).st_gid, kNobody);
  }
}

TEST_F(SafeFileTest, ReadingRefusesWhatIsNotARegularFilePromptly) {
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0666), 0);
  fs::create_directory(Path("folder"));
  const std::string fifo = Path("fifo");

  struct Case {
    std::string name;
    std::function<int()> read;
    int result;
  };
  const std::vector<Case> cases = {
      {"fifo", [&] { return ReadRegularFile(fifo, 100).error; }, EINVAL},
      {"device", [&] { return ReadRegularFile("/dev/zero", 100).error; }, EINVAL},
      {"folder", [&] { return ReadRegularFile(Path("folder"), 100).error; }, EISDIR},
      {"missing", [&] { return ReadRegularFile(Path("missing"), 100).error; }, ENOENT},
      {"database on a fifo",
       [&] {
         DatabaseRecord r;
         return static_cast<int>(LoadDatabaseFile(fifo, r, [] { return std::string(); }).status);
       },
       static_cast<int>(LoadStatus::IoError)},
      {"settings on a fifo",
       [&] {
         IniFile ini(fifo);
         return ini.WriteString("CONNECTION", "COMNR", "COM2") ? 1 : 0;
       },
       0},
  };
  for (const auto& c : cases) EXPECT_EQ(InChild(c.read), c.result) << c.name;
  EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
}

TEST_F(SafeFileTest, ReadingStopsAtTheBound) {
  Put(Path("six"), "abcdef");
  struct Case {
    size_t bound;
    std::string bytes;
    bool whole;
  };
  for (const Case& c : {Case{4, "abcd", false}, Case{6, "abcdef", true}, Case{100, "abcdef", true},
                        Case{0, "", false}}) {
    const ReadResult r = ReadRegularFile(Path("six"), c.bound);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.bytes, c.bytes) << c.bound;
    EXPECT_EQ(r.whole, c.whole) << c.bound;
  }
}

TEST_F(SafeFileTest, SettingsTooLargeToReadAreNotOverwritten) {
  // Larger than any settings file the program writes: read as empty, and a write that
  // would replace it with the one key written is refused.
  const std::string big = "[BIG]\n" + std::string(2 << 20, ';') + "\n";
  Put(Path("big.ini"), big);
  IniFile ini(Path("big.ini"));
  EXPECT_FALSE(ini.WriteString("CONNECTION", "COMNR", "COM2"));
  EXPECT_EQ(Slurp(Path("big.ini")), big);
}

namespace {

// Stops the process in the middle of a write: with a file size limit, the write that passes
// it raises SIGXFSZ, and this handler halts right there, the temporary file half written.
void StopHere(int) {
  ::raise(SIGSTOP);
}

std::vector<std::string> Hidden(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().filename().string().front() == '.') names.push_back(e.path().filename());
  }
  return names;
}

}  // namespace

// A save killed part-way leaves its temporary file; the next save of that file removes it,
// but never one a live save (here a stopped one) is still writing.
TEST_F(SafeFileTest, TheNextSaveRemovesWhatAKilledSaveLeft) {
  const std::string path = Path("site.pin");
  Put(path, "old");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGXFSZ, StopHere);
    const rlimit small{4096, RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &small);
    WriteFileAtomically(path, std::string(64 * 1024, 'k'));
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, WUNTRACED), pid);
  ASSERT_TRUE(WIFSTOPPED(status)) << "the child was to stop in its write";
  const std::vector<std::string> left = Hidden(dir_);
  ASSERT_EQ(left.size(), 1u) << "the half-written temporary file";

  ASSERT_TRUE(WriteFileAtomically(path, "while it waits").ok);
  EXPECT_EQ(Hidden(dir_), left) << "a save in progress keeps its file";

  ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(fs::exists(Path(left[0])));
  ASSERT_TRUE(WriteFileAtomically(path, "after the kill").ok);
  EXPECT_TRUE(Hidden(dir_).empty()) << left[0];
  EXPECT_EQ(Slurp(path), "after the kill");
}

// The tidy-up takes only what its own saves of that very file leave: a user's files with
// similar names, another file's leftovers, a folder or a link of that name all stay.
TEST_F(SafeFileTest, TheTidyUpRemovesOnlyItsOwnLeftovers) {
  const std::string path = Path("site.pin");
  Put(path, "old");
  const std::vector<std::string> stay = {
      ".site.pin.2026121101",    // a user's hidden copy, named by date
      ".site.pin.~012345678",    // one character short
      ".site.pin.~0123456789a",  // one too many
      ".site.pin.~ABCDEFGHIJ",   // letters the pattern never uses
      ".site.pin.~0123456wxy",
      "site.pin.~0123456789",  // not hidden
      ".other.pin.~0123456789",
      ".site.pin.~folder0000",  // a folder
      ".site.pin.~link000000",  // a link to the file
  };
  for (const auto& name : stay) {
    if (name == ".site.pin.~folder0000") {
      fs::create_directory(Path(name));
    } else if (name == ".site.pin.~link000000") {
      fs::create_symlink("site.pin", Path(name));
    } else {
      Put(Path(name), "keep");
    }
  }
  Put(Path(".site.pin.~0123456789"), "left by a killed save");
  Put(Path(".site.pin.~uvuvuvuvuv"), "");

  ASSERT_TRUE(WriteFileAtomically(path, "new").ok);
  std::vector<std::string> names = stay;
  names.push_back("site.pin");
  ExpectOnly(names);
  EXPECT_EQ(Slurp(path), "new");
}
