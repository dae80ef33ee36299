#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "files/DatabaseFile.h"
#include "model/ImageLayout.h"
#include "model/NewDatabase.h"
#include "tests/EachModel.h"
#include "tests/TempDirTest.h"

using namespace tarvelo;
namespace fs = std::filesystem;

namespace {

class DatabaseFileTest : public TempDirTest {
 protected:
  static std::string ReadAll(const std::string& path) { return Slurp(path); }
  static void WriteAll(const std::string& path, const std::string& bytes) { Put(path, bytes); }

  static DatabaseRecord Sample(const std::string& site, const std::string& owner,
                               const std::string& password,
                               DeviceModel model = DeviceModel::FourLine) {
    DatabaseRecord r = NewRecord(model);
    r.site.set(site);
    r.owner.set(owner);
    r.password.set(password);
    r.connectionName.set("Iroda");
    // A device byte no field names.
    r.image.SetImageByte(model == DeviceModel::FourLine ? 1408 : 1632, 0x5A);
    return r;
  }

  static std::function<std::string()> Typing(const std::string& text) {
    return [text] { return text; };
  }
};

// What the file holds of the image: the same for a database of either model.
class DatabaseFileEachModel : public DatabaseFileTest, public ModelParam {
 protected:
  DatabaseRecord Sample(const std::string& site, const std::string& owner,
                        const std::string& password) const {
    return DatabaseFileTest::Sample(site, owner, password, model());
  }
};
TARVELO_EACH_MODEL(DatabaseFileEachModel);

}  // namespace

TEST_P(DatabaseFileEachModel, KeyAndScramblingAsAnotherReaderSeesThem) {
  struct Case {
    std::string site, owner;
    uint8_t key;
  };
  const std::vector<Case> cases = {
      {"AB", "", 0x83},              // 65 + 66
      {"Budapest", "Kovacs", 0x9F},  // sum 1439 wraps modulo 256
      {"", "", 0x00},                // no key: stored unchanged
  };
  for (const auto& c : cases) {
    DatabaseRecord r = Sample(c.site, c.owner, "titok");
    EXPECT_EQ(FileKey(r), c.key) << c.site;
    const std::string path = Path("key.pin");
    ASSERT_TRUE(SaveDatabaseFile(path, r).ok);
    const std::string bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), 9227u);
    EXPECT_EQ(bytes.substr(0, 11), "\x0ATarvelo1V2");
    EXPECT_EQ(static_cast<uint8_t>(bytes[523]), 5) << "password length is plain";
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(static_cast<uint8_t>(bytes[524 + i]), static_cast<uint8_t>("titok"[i] ^ c.key));
    }
    EXPECT_EQ(bytes.substr(779, 6), "\x05Iroda");
    for (int i = 0; i < kImageSize; ++i) {
      ASSERT_EQ(static_cast<uint8_t>(bytes[1035 + i]), r.image.ImageByte(i) ^ c.key) << i;
    }
  }
}

TEST_P(DatabaseFileEachModel, SaveAndLoadRoundTrip) {
  DatabaseRecord r = Sample("Győr", "Ödön", "Jelszó");
  const DatabaseRecord inMemory = r;
  const std::string path = Path("a.pin");
  ASSERT_TRUE(SaveDatabaseFile(path, r).ok);
  const std::string first = ReadAll(path);
  ASSERT_TRUE(SaveDatabaseFile(path, r).ok);
  EXPECT_EQ(ReadAll(path), first) << "saving twice writes the same file";
  EXPECT_EQ(r.image, inMemory.image) << "saving leaves the image in memory plain";

  DatabaseRecord loaded;
  const LoadResult result = LoadDatabaseFile(path, loaded, Typing("Jelszó"));
  EXPECT_EQ(result.status, LoadStatus::Ok);
  EXPECT_TRUE(result.fileDate);
  EXPECT_EQ(loaded.image, inMemory.image);
  EXPECT_EQ(loaded.password.text(), "Jelszó");
  EXPECT_EQ(loaded.connectionName.text(), "Iroda");
}

// The password's length byte is stored plain and only its characters are scrambled, so
// anything left after them in the character area would be readable by anyone: a password
// made shorter must not leave the end of the old one in the file.
TEST_F(DatabaseFileTest, AShortenedPasswordLeavesNothingOfTheOldOne) {
  DatabaseRecord r = Sample("", "", "secret123");  // no key: the file shows memory as it is
  r.password.set("abc");
  r.site.set("");
  const std::string path = Path("short.pin");
  ASSERT_TRUE(SaveDatabaseFile(path, r).ok);
  const std::string bytes = ReadAll(path);
  EXPECT_EQ(bytes.substr(523, 4),
            "\x03"
            "abc");
  EXPECT_EQ(bytes.substr(527, 252), std::string(252, '\0'));
  EXPECT_EQ(bytes.find("ret123"), std::string::npos);
}

TEST_P(DatabaseFileEachModel, RefusedLoadsLeaveTheRecordAsItWas) {
  DatabaseRecord saved = Sample("Site", "Owner", "Secret");
  const std::string good = Path("good.pin");
  ASSERT_TRUE(SaveDatabaseFile(good, saved).ok);
  const std::string bytes = ReadAll(good);

  std::string badMagic = bytes;
  badMagic[3] = 'X';
  std::string badLength = bytes;
  badLength[0] = 9;
  WriteAll(Path("magic.pin"), badMagic);
  WriteAll(Path("length.pin"), badLength);
  WriteAll(Path("short.pin"), bytes.substr(0, 9226));
  WriteAll(Path("long.pin"), bytes + "trailing bytes are ignored");

  struct Case {
    std::string file, typed;
    LoadStatus status;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"magic.pin", "Secret", LoadStatus::NotOurFormat, kNotOurFormatMessage},
      {"length.pin", "Secret", LoadStatus::NotOurFormat, kNotOurFormatMessage},
      {"short.pin", "Secret", LoadStatus::NotOurFormat, kNotOurFormatMessage},
      {"good.pin", "secret", LoadStatus::WrongPassword, kWrongPasswordMessage},
      {"good.pin", "", LoadStatus::WrongPassword, kWrongPasswordMessage},
      {"missing.pin", "Secret", LoadStatus::IoError, nullptr},
      {"long.pin", "Secret", LoadStatus::Ok, ""},
  };
  for (const auto& c : cases) {
    DatabaseRecord current = Sample("Before", "", "");
    const DatabaseRecord before = current;
    const LoadResult result = LoadDatabaseFile(Path(c.file), current, Typing(c.typed));
    EXPECT_EQ(result.status, c.status) << c.file;
    if (c.message) {
      EXPECT_EQ(result.message, c.message) << c.file;
    }
    if (c.status == LoadStatus::Ok) {
      EXPECT_EQ(current.image, saved.image);
    } else {
      EXPECT_EQ(current, before) << c.file;
      EXPECT_FALSE(result.fileDate);
    }
  }
}

TEST_F(DatabaseFileTest, EmptyStoredPasswordOpensWithAnEmptyAnswer) {
  DatabaseRecord r = Sample("", "", "");
  ASSERT_TRUE(SaveDatabaseFile(Path("open.pin"), r).ok);
  DatabaseRecord loaded;
  EXPECT_EQ(LoadDatabaseFile(Path("open.pin"), loaded, Typing("")).status, LoadStatus::Ok);
}

TEST_P(DatabaseFileEachModel, FailedWriteKeepsTheOldFile) {
  DatabaseRecord r = Sample("Site", "", "");
  const std::string path = Path("keep.pin");
  ASSERT_TRUE(SaveDatabaseFile(path, r).ok);
  const std::string before = ReadAll(path);
  ::chmod(path.c_str(), 0640);

  // A file size limit makes the write fail part-way, as a full disk would.
  r.image.SetImageByte(2000, 0x42);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 4096;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &small);
  const SaveResult result = SaveDatabaseFile(path, r);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.message.find("keep.pin"), std::string::npos);
  EXPECT_EQ(ReadAll(path), before);
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().filename(), "keep.pin") << "no temporary file is left behind";
  }

  // The next save goes through and keeps the file's permissions.
  ASSERT_TRUE(SaveDatabaseFile(path, r).ok);
  struct stat st {};
  ::stat(path.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(static_cast<uint8_t>(ReadAll(path)[1035 + 2000]), 0x42 ^ FileKey(r));
}

TEST_F(DatabaseFileTest, SaveIntoAMissingFolderFails) {
  DatabaseRecord r = Sample("Site", "", "");
  const SaveResult result = SaveDatabaseFile(Path("no/such/folder.pin"), r);
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.message.find("folder.pin"), std::string::npos);
}

TEST_P(DatabaseFileEachModel, SavingThroughALinkReplacesItsTarget) {
  DatabaseRecord r = Sample("Site", "", "");
  const std::string target = Path("real.pin");
  const std::string link = Path("link.pin");
  ASSERT_TRUE(SaveDatabaseFile(target, r).ok);
  fs::create_symlink(target, link);
  r.image.SetImageByte(3000, 0x11);
  ASSERT_TRUE(SaveDatabaseFile(link, r).ok);
  EXPECT_TRUE(fs::is_symlink(link));
  DatabaseRecord loaded;
  ASSERT_EQ(LoadDatabaseFile(target, loaded, Typing("")).status, LoadStatus::Ok);
  EXPECT_EQ(loaded.image.ImageByte(3000), 0x11);
}

// A save killed at any moment (power cut, OOM killer) leaves the file as a previous save
// left it, never half of one. A child saves record after record; it is killed at a random
// moment, twenty times, and each time the file must load and be one whole record.
TEST_F(DatabaseFileTest, ASaveKilledMidwayLeavesAWholeFile) {
  const std::string file = Path("killed.pin");
  // Each record's image holds its own run number everywhere, so a mix of two shows.
  auto record = [](int run) {
    DatabaseRecord r;
    r.site.set("run " + std::to_string(run));
    r.password.set("pw");
    r.image.raw().fill(static_cast<uint8_t>(run * 37 + 1));
    std::memcpy(r.marker.data(), kFormatMarker.data(), kFormatMarker.size());
    return r;
  };
  DatabaseRecord first = record(0);
  ASSERT_TRUE(SaveDatabaseFile(file, first).ok);
  std::srand(static_cast<unsigned>(::getpid()));
  int lastSeen = 0;
  for (int attempt = 0; attempt < 20; ++attempt) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int run = 1;; ++run) {
        DatabaseRecord r = record(attempt * 100000 + run);
        if (!SaveDatabaseFile(file, r).ok) ::_exit(3);
      }
    }
    ::usleep(static_cast<useconds_t>(2000 + std::rand() % 40000));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped saving by itself: " << status;

    DatabaseRecord loaded;
    ASSERT_EQ(LoadDatabaseFile(file, loaded, Typing("pw")).status, LoadStatus::Ok)
        << "attempt " << attempt;
    const std::string site = loaded.site.text();
    ASSERT_EQ(site.rfind("run ", 0), 0u) << site;
    const int run = std::stoi(site.substr(4));
    EXPECT_EQ(loaded, record(run)) << "attempt " << attempt << ": not one whole record";
    lastSeen = run;
  }
  EXPECT_NE(lastSeen, 0) << "no save finished in any attempt";
}
