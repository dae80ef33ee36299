#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "files/LogFile.h"
#include "tests/TempDirTest.h"

using namespace tarvelo;

namespace {
using LogFileTest = TempDirTest;
}  // namespace

TEST_F(LogFileTest, AppendsToWhatIsThereAsItGoes) {
  Put(Path("session.log"), "earlier\n");
  LogFile log;
  ASSERT_TRUE(log.Open(Path("session.log")).ok);
  ASSERT_TRUE(log.Append("one\n").ok);
  EXPECT_EQ(Slurp(Path("session.log")), "earlier\none\n") << "on disk before the log closes";
  ASSERT_TRUE(log.Append(std::string("two\0\n", 5)).ok);
  log.Close();
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(Slurp(Path("session.log")), std::string("earlier\none\ntwo\0\n", 17));
  EXPECT_FALSE(log.Append("late").ok) << "a closed log takes nothing";
  // A new file is made.
  ASSERT_TRUE(log.Open(Path("new.log")).ok);
  ASSERT_TRUE(log.Append("x").ok);
  EXPECT_EQ(Slurp(Path("new.log")), "x");
}

// Only a regular file is taken: a folder, a device or a pipe with no reader is refused at
// once, with the reason in words.
TEST_F(LogFileTest, RefusesWhatIsNotARegularFile) {
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
  struct Case {
    std::string path;
    std::string message;
  } const cases[] = {
      {Path(""), "A naplófájl nem nyitható meg: " + Path("") + " (ez egy mappa)"},
      {"/dev/null", "A napló csak közönséges fájlba írható: /dev/null"},
      {Path("pipe"), "A naplófájl nem nyitható meg: " + Path("pipe") + " ("},
      {Path("no/such/folder.log"), "A naplófájl nem nyitható meg: " + Path("no/such/folder.log")},
  };
  for (const Case& c : cases) {
    LogFile log;
    const FileResult r = log.Open(c.path);
    EXPECT_FALSE(r.ok) << c.path;
    EXPECT_NE(r.error, 0) << c.path;
    EXPECT_EQ(r.message.rfind(c.message, 0), 0u) << r.message;
    EXPECT_FALSE(log.IsOpen());
  }
}

// A write the file cannot take (here: past the size the process may write) is reported with
// the system's reason, and the log closes rather than going on with a gap in it.
TEST_F(LogFileTest, AFailedWriteIsReportedAndClosesTheLog) {
  LogFile log;
  ASSERT_TRUE(log.Open(Path("full.log")).ok);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 10;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const FileResult r = log.Append(std::string(100, 'x'));
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldSignal);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, EFBIG);
  EXPECT_EQ(r.message.rfind("A napló írása nem sikerült, a napló leállt: ", 0), 0u) << r.message;
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(Slurp(Path("full.log")), std::string(10, 'x'));
}
