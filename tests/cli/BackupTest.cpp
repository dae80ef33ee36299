// tarvelo-cli backup against simulated sites on pseudo-terminals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <tuple>

#include "cli/Backup.h"
#include "files/DatabaseFile.h"
#include "model/ImageLayout.h"
#include "model/NewDatabase.h"
#include "model/Settings.h"
#include "tests/cli/CliFixture.h"
#include "tools/DevsimProcess.h"

using namespace tarvelo;
namespace fs = std::filesystem;

namespace {

// One result line: the site, its state, the backup file and what is said of it.
struct ResultLine {
  std::string state, file, detail;
};

std::map<std::string, ResultLine> ResultLines(const std::string& out) {
  std::map<std::string, ResultLine> lines;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> columns;
    std::istringstream cut(line);
    std::string column;
    while (std::getline(cut, column, '\t')) columns.push_back(column);
    EXPECT_TRUE(columns.size() == 3 || columns.size() == 4) << line;
    columns.resize(4);
    EXPECT_FALSE(lines.count(columns[0])) << "one line a site: " << line;
    lines[columns[0]] = {columns[1], columns[2], columns[3]};
  }
  return lines;
}

class BackupTest : public CliFixture {
 protected:
  // A simulated device of `model` whose memory is the model's defaults with the CO position
  // set to `coPosition`, reachable at the fixed path `link`.
  std::unique_ptr<DevsimProcess> Device(const std::string& name, DeviceModel model,
                                        const std::string& coPosition = "23") {
    DatabaseRecord r;
    const ImageLayout layout = ImageLayout::For(model);
    NewDatabaseDefaults(r, layout);
    EXPECT_FALSE(SettingByKey("general", "coPosition")->set(r, layout, 0, coPosition));
    Put(Path(name + ".img"), std::string(r.image.raw().begin(), r.image.raw().end()));
    auto sim = std::make_unique<DevsimProcess>(
        TARVELO_DEVSIM, std::vector<std::string>{"--image", Path(name + ".img"), "--model",
                                                 model == DeviceModel::FourLine ? "4" : "16",
                                                 "--link", Path(name + ".tty")});
    EXPECT_FALSE(sim->path.empty());
    return sim;
  }
  void Sites(const std::string& text, mode_t mode = 0600) {
    Put(Path("sites.ini"), text);
    ::chmod(Path("sites.ini").c_str(), mode);
  }
  CliRun Backup(std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"backup", Path("sites.ini"), "-d", Path("mentes")};
    args.insert(args.end(), more.begin(), more.end());
    return Cli(args);
  }
  std::vector<std::string> Files(const std::string& site) const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(Path("mentes/" + site), ec))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

}  // namespace

TEST_F(BackupTest, TwoSitesUpOneDownThenUnchanged) {
  const auto pecs = Device("pecs", DeviceModel::SixteenLine);
  const auto iroda = Device("iroda", DeviceModel::FourLine);
  Sites("[Bolt Pécs]\nCOM=" + Path("pecs.tty") + "\nSPEED=19200\nPASSWORD=titok\n\n" +
        "[Iroda]\nCOM=" + Path("iroda.tty") + "\n\n" +  //
        "[Raktár]\nCOM=" + Path("senki.tty") + "\nSPEED=115200\n");

  const CliRun first = Backup({"-j", "2"});
  EXPECT_EQ(first.status, 3) << first.err;
  auto lines = ResultLines(first.out);
  ASSERT_EQ(lines.size(), 3u) << first.out;
  EXPECT_EQ(lines["Bolt Pécs"].state, "első");
  EXPECT_EQ(lines["Iroda"].state, "első");
  EXPECT_EQ(lines["Raktár"].state, "sikertelen");
  EXPECT_EQ(lines["Raktár"].file, "-");
  EXPECT_NE(lines["Raktár"].detail.find("senki.tty"), std::string::npos) << lines["Raktár"].detail;
  EXPECT_FALSE(fs::exists(Path("mentes/Raktár"))) << "a failed site leaves no folder behind";
  EXPECT_EQ(fs::status(Path("mentes/Iroda")).permissions() & fs::perms::all, fs::perms::owner_all);

  // The backup is the device's memory in a database of the site's password and name.
  ASSERT_EQ(Files("Bolt Pécs").size(), 1u);
  EXPECT_TRUE(IsBackupFileName(Files("Bolt Pécs")[0])) << Files("Bolt Pécs")[0];
  EXPECT_EQ(lines["Bolt Pécs"].file, Path("mentes/Bolt Pécs/" + Files("Bolt Pécs")[0]));
  DatabaseRecord r;
  ASSERT_EQ(
      LoadDatabaseFile(lines["Bolt Pécs"].file, r, [] { return std::string("titok"); }).status,
      LoadStatus::Ok);
  EXPECT_EQ(r.site.text(),
            "Bolt P\xE9"
            "cs");
  EXPECT_EQ(r.image.VersionText(), "P4290");
  const std::string device = Slurp(Path("pecs.img"));
  for (int i = 51 * 32; i < kImageSize; ++i) {
    ASSERT_EQ(r.image.ImageByte(i), static_cast<uint8_t>(device[i])) << i;
  }
  const std::string firstBytes = Slurp(lines["Iroda"].file);

  // Within the same minute: a name of its own, and the first backup stays as it was.
  const CliRun second = Backup();
  EXPECT_EQ(second.status, 3) << second.err;
  lines = ResultLines(second.out);
  ASSERT_EQ(lines.size(), 3u) << second.out;
  EXPECT_EQ(lines["Bolt Pécs"].state, "változatlan") << lines["Bolt Pécs"].detail;
  EXPECT_EQ(lines["Iroda"].state, "változatlan") << lines["Iroda"].detail;
  EXPECT_EQ(lines["Raktár"].state, "sikertelen");
  ASSERT_EQ(Files("Iroda").size(), 2u);
  EXPECT_EQ(Slurp(Path("mentes/Iroda/" + Files("Iroda")[0])), firstBytes);
  EXPECT_EQ(lines["Iroda"].file, Path("mentes/Iroda/" + Files("Iroda")[1]))
      << "the names sort in the order they were written";
}

TEST_F(BackupTest, AChangedDeviceNamesTheSettingAndAllSucceededIsZero) {
  auto sim = Device("pecs", DeviceModel::SixteenLine);
  // Two sites on one port take turns rather than spoiling each other's exchanges.
  Sites("[Pécs]\nCOM=" + Path("pecs.tty") +
        "\nPASSWORD=titok\n[Pécs másik]\nCOM=" + Path("pecs.tty") + "\nPASSWORD=titok\n");
  const CliRun first = Backup();
  ASSERT_EQ(first.status, 0) << first.out << first.err;
  EXPECT_EQ(ResultLines(first.out).size(), 2u);

  sim.reset();
  sim = Device("pecs", DeviceModel::SixteenLine, "30");
  const CliRun second = Backup({"-j", "1"});
  ASSERT_EQ(second.status, 0) << second.out << second.err;
  auto lines = ResultLines(second.out);
  EXPECT_EQ(lines["Pécs"].state, "változott");
  EXPECT_EQ(lines["Pécs"].detail, "Alap: CO pozíció");
  EXPECT_EQ(lines["Pécs másik"].state, "változott");
}

TEST_F(BackupTest, ASitesFileOthersCanReadIsRefusedWhenItHoldsPasswords) {
  const std::string down = "[Raktár]\nCOM=" + Path("senki.tty") + "\n";
  // mode, password line, exit status: 2 refused before anything, 3 tried and the site failed
  for (const auto& [mode, password, status] : {std::tuple{0644, "PASSWORD=titok\n", 2},
                                               {0640, "PASSWORD=titok\n", 2},
                                               {0604, "PASSWORD=titok\n", 2},
                                               {0600, "PASSWORD=titok\n", 3},
                                               {0400, "PASSWORD=titok\n", 3},
                                               {0644, "PASSWORD=\n", 3},
                                               // a connection's other keys are no password
                                               {0644, "PHONE=0612345678\nPARITY=EVEN\n", 3},
                                               // misspelled, it still holds a password
                                               {0644, "PASWORD=titok\n", 2}}) {
    fs::remove_all(Path("mentes"));
    Sites(down + password, static_cast<mode_t>(mode));
    const CliRun run = Backup();
    EXPECT_EQ(run.status, status) << std::oct << mode << " " << run.err;
    if (status == 2) {
      EXPECT_EQ(run.out, "");
      EXPECT_NE(run.err.find("chmod 600"), std::string::npos) << run.err;
      EXPECT_FALSE(fs::exists(Path("mentes"))) << "nothing is written";
    }
  }
}

TEST_F(BackupTest, SitesThatCannotBeBackedUpFailAloneAndUsageErrors) {
  Sites(
      "[../kint]\nCOM=x\n[a\\b]\nCOM=x\n[Nincs port]\nSPEED=9600\n[Rossz sebesség]\nCOM=x\n"
      "SPEED=9601\n[Elírt "
      "kulcs]\nCOM=x\nPASWORD=titok\nspeed=9600\nPHONE=1\nJelszó=x\n[Zárolt]\nCOM=" +
      Path("senki.tty") + "\n");
  // Another run holds this site's folder.
  fs::create_directories(Path("mentes/Zárolt"));
  const int held = ::open(Path("mentes/Zárolt").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const CliRun run = Backup();
  ::close(held);
  EXPECT_EQ(run.status, 3) << run.err;
  const auto lines = ResultLines(run.out);
  ASSERT_EQ(lines.size(), 6u) << run.out;
  for (const auto& [site, line] : lines) EXPECT_EQ(line.state, "sikertelen") << site;
  // A misspelled key would mean an empty password; every unknown key is named, no known one.
  const std::string misspelled = lines.at("Elírt kulcs").detail;
  EXPECT_EQ(misspelled.find("ismeretlen kulcs"), 0u) << misspelled;
  EXPECT_EQ(misspelled.substr(misspelled.rfind("): ") + 3), "PASWORD, Jelszó") << misspelled;
  EXPECT_NE(lines.at("Rossz sebesség").detail.find("9601"), std::string::npos);
  EXPECT_NE(lines.at("Nincs port").detail.find("COM"), std::string::npos);
  EXPECT_NE(lines.at("Zárolt").detail.find("másik mentés"), std::string::npos);
  EXPECT_FALSE(fs::exists(Path("kint")));
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("mentes")), {}), 1) << "only the held one";
  EXPECT_TRUE(fs::is_empty(Path("mentes/Zárolt")));

  for (const auto& args :
       std::vector<std::vector<std::string>>{{"-j", "0"}, {"-j", "33"}, {"-j", "2x"}, {"-j", ""}}) {
    EXPECT_EQ(Backup(args).status, 1) << args[1];
  }
  EXPECT_EQ(Cli({"backup", Path("sites.ini")}).status, 1) << "-d is needed";
  EXPECT_EQ(Cli({"backup", Path("nincs.ini"), "-d", Path("mentes")}).status, 2);
  Sites("; only a comment\n");
  EXPECT_EQ(Backup().status, 2);
}

TEST(BackupNames, SiteNamesAreTakenAsTheyAreOrRefused) {
  for (const char* name : {"Bolt Pécs", "Iroda-2", "ŐRSÉG 1.", "a.b"}) {
    EXPECT_FALSE(SiteNameRefusal(name)) << name;
  }
  for (const std::string& name :
       std::vector<std::string>{"", ".", "..", "../x", ".rejtett", "a/b", "a\\b", "a\tb", "a\x7F",
                                "\xC3", "\xE4\xB8\xAD", std::string(256, 'x')}) {
    EXPECT_TRUE(SiteNameRefusal(name)) << name;
  }
}

TEST(BackupNames, OnlyTheBackupsOwnNamesCountAsBackups) {
  for (const char* name : {"2024-03-05_0207.pi1", "2024-03-05_020715.pi1"}) {
    EXPECT_TRUE(IsBackupFileName(name)) << name;
  }
  for (const char* name :
       {"2024-03-05_0207.pi4", "2024-03-05_02071.pi1", "2024-03-05-0207.pi1", "x024-03-05_0207.pi1",
        "2024-03-05_0207.pi1~", ".2024-03-05_0207.pi1", "régi.pi1"}) {
    EXPECT_FALSE(IsBackupFileName(name)) << name;
  }
}
