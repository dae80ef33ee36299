// The command-line transfers through the real serial port against the device simulator.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "files/DatabaseFile.h"
#include "model/ImageLayout.h"
#include "model/NewDatabase.h"
#include "tests/TempDirTest.h"

using namespace tarvelo;
namespace fs = std::filesystem;

namespace {

class Simulator {
 public:
  explicit Simulator(const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      std::vector<char*> argv = {const_cast<char*>(TARVELO_DEVSIM)};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(TARVELO_DEVSIM, argv.data());
      _exit(127);
    }
    close(out[1]);
    char buf[256];
    const ssize_t n = read(out[0], buf, sizeof buf - 1);
    close(out[0]);
    if (n > 0) path = std::string(buf, n - 1);  // without the newline
  }
  // Ends the simulator, which saves its memory.
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  ~Simulator() { Stop(); }
  std::string path;

 private:
  pid_t pid_ = -1;
};

class DevsimTest : public TempDirTest {
 protected:
  int Cli(const std::string& args) const {
    const std::string cmd =
        std::string(TARVELO_CLI) + " " + args + " 2>" + Path("err") + " </dev/null";
    const int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  // A device memory: the defaults of a model with a pattern in the bytes no field names.
  std::string DeviceImage(DeviceModel model) const {
    ConfigImage image;
    StoreNewDatabaseDefaults(image, ImageLayout::For(model));
    image.SetImageByte(model == DeviceModel::FourLine ? 1500 : 1900, 0x5C);
    image.SetImageByte(1656, 99);
    return std::string(image.raw().begin(), image.raw().end());
  }
};

}  // namespace

TEST_F(DevsimTest, DownloadBothModels) {
  for (auto [model, flag, first] : {std::tuple{DeviceModel::FourLine, "4", 44},
                                    std::tuple{DeviceModel::SixteenLine, "16", 51}}) {
    const std::string memory = DeviceImage(model);
    std::ofstream(Path("dev.img"), std::ios::binary) << memory;
    Simulator sim({"--image", Path("dev.img"), "--model", flag, "--fault", "checksum=0.2",
                   "--fault", "flip=0.1", "--seed", "7"});
    ASSERT_FALSE(sim.path.empty());
    const std::string db = Path(std::string("dl") + flag + ".pin");
    ASSERT_EQ(Cli("download --port " + sim.path + " -o " + db + " --site Site"), 0)
        << Slurp(Path("err"));
    DatabaseRecord r;
    ASSERT_EQ(LoadDatabaseFile(db, r, [] { return std::string(); }).status, LoadStatus::Ok);
    EXPECT_EQ(r.site.text(), "Site");
    EXPECT_EQ(r.image.VersionText(), model == DeviceModel::FourLine ? "P4239" : "P4290");
    for (int i = first * 32; i < kImageSize; ++i) {
      ASSERT_EQ(r.image.ImageByte(i), static_cast<uint8_t>(memory[i])) << i;
    }
    EXPECT_EQ(r.image.ImageByte(first * 32 - 1), 0) << "below the range stays zero";
  }
}

TEST_F(DevsimTest, UploadChangesTheDevicesMemory) {
  std::ofstream(Path("dev.img"), std::ios::binary) << DeviceImage(DeviceModel::SixteenLine);
  Simulator sim({"--image", Path("dev.img"), "--model", "16", "--fault", "nak=0.3", "--seed", "3"});
  DatabaseRecord r;
  NewDatabaseDefaults(r, ImageLayout::For(DeviceModel::SixteenLine));
  r.image.SetImageByte(1683, 42);
  r.image.SetImageByte(100, 0x77);  // below the range: never sent
  ASSERT_TRUE(SaveDatabaseFile(Path("up.pin"), r).ok);
  ASSERT_EQ(Cli("upload --port " + sim.path + " --speed 115200 " + Path("up.pin") + " --model 16"), 0)
      << Slurp(Path("err"));
  sim.Stop();
  const std::string saved = Slurp(Path("dev.img"));
  ASSERT_EQ(saved.size(), 8192u);
  EXPECT_EQ(static_cast<uint8_t>(saved[1683]), 42);
  EXPECT_EQ(static_cast<uint8_t>(saved[100]), 0);
  EXPECT_EQ(saved.substr(kVersionTextOffset, 5), "P4290");
}

TEST_F(DevsimTest, PromAndClock) {
  std::string prom(8192, '\0');
  for (int i = 0; i < 8192; ++i) prom[i] = static_cast<char>(i * 13);
  std::ofstream(Path("prom.bin"), std::ios::binary) << prom;
  Simulator sim({"--prom", Path("prom.bin")});
  ASSERT_EQ(Cli("prom --port " + sim.path + " -o " + Path("out.bin")), 0) << Slurp(Path("err"));
  EXPECT_EQ(Slurp(Path("out.bin")), prom);
  EXPECT_EQ(Cli("clock --port " + sim.path), 0) << Slurp(Path("err"));
}

TEST_F(DevsimTest, ASilentDeviceFails) {
  Simulator sim({"--fault", "silence=1"});
  DatabaseRecord r;
  NewDatabaseDefaults(r, ImageLayout::For(DeviceModel::FourLine));
  ASSERT_TRUE(SaveDatabaseFile(Path("up.pin"), r).ok);
  // Eleven frames for the first segment, a second each, then it gives up.
  ASSERT_EQ(Cli("upload --port " + sim.path + " --speed 115200 --model 4 " + Path("up.pin")), 3);
  EXPECT_NE(Slurp(Path("err")).find("Feltöltési időtúllépés !!!"), std::string::npos);
}
