// The command-line transfers through the real serial port against the device simulator.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "files/DatabaseFile.h"
#include "link/Connection.h"
#include "link/SerialLinkPort.h"
#include "link/Transfers.h"
#include "model/ImageLayout.h"
#include "model/NewDatabase.h"
#include "tests/TempDirTest.h"
#include "tools/DevsimProcess.h"

using namespace tarvelo;
namespace fs = std::filesystem;

namespace {

struct Simulator : DevsimProcess {
  explicit Simulator(const std::vector<std::string>& args) : DevsimProcess(TARVELO_DEVSIM, args) {}
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
  ASSERT_EQ(Cli("upload --port " + sim.path + " --speed 115200 " + Path("up.pin") + " --model 16"),
            0)
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
  // Its type cannot be read, so nothing is sent.
  ASSERT_EQ(Cli("upload --port " + sim.path + " --speed 115200 --model 4 " + Path("up.pin")), 3);
  EXPECT_NE(Slurp(Path("err")).find("típusa nem olvasható"), std::string::npos);
}

// A 16-line device whose replies to the type question are cut took a 4-line database, 212
// frames, and the upload said it succeeded. Now nothing is sent unless the user says to go
// on without the check, and then only the database's own range goes out.
TEST_F(DevsimTest, AnUploadToADeviceOfUnreadableTypeNeedsToBeForced) {
  std::ofstream(Path("dev.img"), std::ios::binary) << DeviceImage(DeviceModel::SixteenLine);
  const std::vector<std::string> cutType = {
      "--image", Path("dev.img"), "--model",          "16",
      "--fault", "short=1",       "--fault-segments", "43-43"};
  const auto database = [&](DeviceModel model) {
    DatabaseRecord r;
    NewDatabaseDefaults(r, ImageLayout::For(model));
    r.image.SetImageByte(ImageLayout::For(model).Offset(Field::CoPosition), 42);
    EXPECT_TRUE(SaveDatabaseFile(Path("up.pin"), r).ok);
  };
  {
    Simulator sim(cutType);
    const std::string before = Slurp(Path("dev.img"));
    database(DeviceModel::FourLine);
    ASSERT_EQ(Cli("upload --port " + sim.path + " --speed 115200 " + Path("up.pin")), 3);
    const std::string err = Slurp(Path("err"));
    EXPECT_NE(err.find("típusa nem olvasható"), std::string::npos) << err;
    EXPECT_NE(err.find("--no-type-check"), std::string::npos) << err;
    sim.Stop();
    // The simulator keeps its version text in its type segment.
    EXPECT_EQ(Slurp(Path("dev.img")).substr(44 * 32), before.substr(44 * 32))
        << "no frame went out";
  }
  Simulator sim(cutType);
  database(DeviceModel::SixteenLine);
  ASSERT_EQ(Cli("upload --port " + sim.path + " --speed 115200 --no-type-check " + Path("up.pin")),
            0)
      << Slurp(Path("err"));
  sim.Stop();
  const std::string saved = Slurp(Path("dev.img"));
  ASSERT_EQ(saved.size(), 8192u);
  EXPECT_EQ(static_cast<uint8_t>(saved[1683]), 42) << "the 16-line database's CO position";
  EXPECT_EQ(static_cast<uint8_t>(saved[1656]), 4) << "a 16-line line's settings byte";
}

// Faults a line or a device can show, some of which no checksum catches. Whatever happens,
// a transfer ends with the device's exact bytes or a clean failure that writes nothing;
// never with a wrong image reported as success. The faults hit a band of segments so the
// slow kinds stay quick.
class FaultyLineTest : public DevsimTest, public ::testing::WithParamInterface<const char*> {
 protected:
  // Runs the command; on success returns true, on a clean failure false; anything else
  // fails the test.
  bool Transfer(const std::string& args, const std::string& output) {
    std::error_code ignored;
    fs::remove(output, ignored);
    const int status = Cli(args);
    EXPECT_TRUE(status == 0 || status == 3) << args << "\n" << Slurp(Path("err"));
    if (status != 0) {
      EXPECT_FALSE(fs::exists(output)) << "a failure writes nothing";
    }
    return status == 0;
  }
};

TEST_P(FaultyLineTest, EveryTransferEndsExactOrCleanly) {
  const std::string kind = GetParam();
  std::string memory = DeviceImage(DeviceModel::FourLine);
  for (int i = 44 * 32; i < 56 * 32; ++i) memory[i] = static_cast<char>(i * 11);
  memory.replace(kVersionTextOffset, 5, "P4239");  // as the simulator holds it
  std::string prom(8192, '\0');
  for (int i = 0; i < 8192; ++i) prom[i] = static_cast<char>(i * 13 + 1);
  std::ofstream(Path("prom.bin"), std::ios::binary) << prom;
  for (const char* rate : {"0.05", "0.2"}) {
    SCOPED_TRACE(kind + "=" + rate);
    std::ofstream(Path("dev.img"), std::ios::binary | std::ios::trunc) << memory;
    Simulator sim({"--image", Path("dev.img"), "--prom", Path("prom.bin"), "--model", "4",
                   "--fault", kind + "=" + rate, "--fault-segments", "44-51", "--seed",
                   std::string(rate) == "0.2" ? "11" : "5"});
    ASSERT_FALSE(sim.path.empty());
    const std::string port = "--port " + sim.path + " --speed 115200 ";

    if (Transfer("download " + port + "-o " + Path("dl.pin"), Path("dl.pin"))) {
      DatabaseRecord r;
      ASSERT_EQ(LoadDatabaseFile(Path("dl.pin"), r, [] { return std::string(); }).status,
                LoadStatus::Ok);
      for (int i = 43 * 32; i < kImageSize; ++i)
        ASSERT_EQ(r.image.ImageByte(i), static_cast<uint8_t>(memory[i])) << i;
    }
    if (Transfer("prom " + port + "-o " + Path("prom.out"), Path("prom.out"))) {
      EXPECT_EQ(Slurp(Path("prom.out")), prom);
    }

    // An upload that says it succeeded has put every byte of the range in place.
    DatabaseRecord up;
    NewDatabaseDefaults(up, ImageLayout::For(DeviceModel::FourLine));
    for (int i = 44 * 32; i < 56 * 32; ++i) up.image.SetImageByte(i, static_cast<uint8_t>(i * 7));
    up.image.SetBytes(kVersionTextOffset, "P4239");
    ASSERT_TRUE(SaveDatabaseFile(Path("up.pin"), up).ok);
    const int status = Cli("upload " + port + Path("up.pin"));
    EXPECT_TRUE(status == 0 || status == 3) << Slurp(Path("err"));
    sim.Stop();
    if (status == 0) {
      const std::string device = Slurp(Path("dev.img"));
      for (int i = 44 * 32; i < kImageSize; ++i)
        ASSERT_EQ(static_cast<uint8_t>(device[i]), up.image.ImageByte(i)) << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, FaultyLineTest,
                         ::testing::Values("spoil", "late", "double", "slow", "flip", "short",
                                           "checksum", "nak", "silence"));

// After a verified upload the device is read back; a device that takes a frame yet keeps
// other bytes is reported segment by segment (exit 4). A backup of what the device held is
// saved first.
TEST_F(DevsimTest, UploadWithBackupAndVerify) {
  const std::string memory = DeviceImage(DeviceModel::SixteenLine);
  std::ofstream(Path("dev.img"), std::ios::binary) << memory;
  Simulator sim({"--image", Path("dev.img"), "--model", "16"});
  DatabaseRecord up;
  NewDatabaseDefaults(up, ImageLayout::For(DeviceModel::SixteenLine));
  up.image.SetImageByte(1683, 42);
  ASSERT_TRUE(SaveDatabaseFile(Path("up.pin"), up).ok);
  ASSERT_EQ(Cli("upload --port " + sim.path + " --speed 115200 --model 16 --verify --backup " +
                Path("before.pin") + " " + Path("up.pin")),
            0)
      << Slurp(Path("err"));
  DatabaseRecord before;
  ASSERT_EQ(LoadDatabaseFile(Path("before.pin"), before, [] { return std::string(); }).status,
            LoadStatus::Ok);
  for (int i = 51 * 32; i < kImageSize; ++i)
    ASSERT_EQ(before.image.ImageByte(i), static_cast<uint8_t>(memory[i])) << i;
  EXPECT_EQ(before.image.VersionText(), "P4290");

  // The other model is refused before anything is sent.
  DatabaseRecord four;
  NewDatabaseDefaults(four, ImageLayout::For(DeviceModel::FourLine));
  four.image.SetImageByte(1683, 7);
  ASSERT_TRUE(SaveDatabaseFile(Path("four.pin"), four).ok);
  EXPECT_EQ(Cli("upload --port " + sim.path + " --speed 115200 --model 4 " + Path("four.pin")), 3);
  EXPECT_NE(Slurp(Path("err")).find("Zentor-16"), std::string::npos) << Slurp(Path("err"));
  sim.Stop();
  EXPECT_EQ(static_cast<uint8_t>(Slurp(Path("dev.img"))[1683]), 42);

  // A device that refuses every frame: the upload fails, the backup is there all the same.
  Simulator refusing({"--model", "16", "--fault", "nak=1"});
  ASSERT_EQ(Cli("upload --port " + refusing.path + " --speed 115200 --model 16 --backup " +
                Path("kept.pin") + " " + Path("up.pin")),
            3);
  EXPECT_NE(Slurp(Path("err")).find("mentve: " + Path("kept.pin")), std::string::npos)
      << Slurp(Path("err"));
  DatabaseRecord kept;
  EXPECT_EQ(LoadDatabaseFile(Path("kept.pin"), kept, [] { return std::string(); }).status,
            LoadStatus::Ok);

  // A backup file that cannot be written is found out before the transfer starts.
  EXPECT_EQ(Cli("upload --port /nonexistent --model 16 --backup /nonexistent/dir/b.pin " +
                Path("up.pin")),
            2);
  EXPECT_NE(Slurp(Path("err")).find("b.pin"), std::string::npos);
}

// The simulator saves its memory back into its image file, so a file that is no memory
// image (a database given by mistake) is refused and left as it was.
// An upload breaks in only when the device does not answer its type question without one:
// both kinds of device are backed up, written and read back.
TEST_F(DevsimTest, AnUploadReachesADeviceThatNeedsTheBreakIn) {
  for (const bool needsBreakIn : {false, true}) {
    SCOPED_TRACE(needsBreakIn ? "needs the break-in" : "answers at once");
    const std::string memory = DeviceImage(DeviceModel::FourLine);
    std::ofstream(Path("dev.img"), std::ios::binary) << memory;
    std::vector<std::string> args = {"--image", Path("dev.img"), "--model", "4"};
    if (needsBreakIn) args.push_back("--break-in");
    Simulator sim(args);
    ASSERT_FALSE(sim.path.empty());
    DatabaseRecord up;
    NewDatabaseDefaults(up, ImageLayout::For(DeviceModel::FourLine));
    up.image.SetImageByte(1500, 0x21);
    ASSERT_TRUE(SaveDatabaseFile(Path("up.pin"), up).ok);
    ASSERT_EQ(Cli("upload --port " + sim.path + " --speed 115200 --model 4 --verify --backup " +
                  Path("before.pin") + " " + Path("up.pin")),
              0)
        << Slurp(Path("err"));
    DatabaseRecord before;
    ASSERT_EQ(LoadDatabaseFile(Path("before.pin"), before, [] { return std::string(); }).status,
              LoadStatus::Ok);
    EXPECT_EQ(static_cast<uint8_t>(before.image.ImageByte(1500)), 0x5C);
    sim.Stop();
    EXPECT_EQ(static_cast<uint8_t>(Slurp(Path("dev.img"))[1500]), 0x21);
    fs::remove(Path("before.pin"));
  }
}

TEST_F(DevsimTest, AnImageFileOfAnotherSizeIsRefused) {
  for (const size_t size : {size_t{9227}, size_t{100}}) {
    const std::string bytes(size, 'x');
    std::ofstream(Path("db.pin"), std::ios::binary) << bytes;
    const std::string cmd = std::string(TARVELO_DEVSIM) + " --image " + Path("db.pin") + " 2>" +
                            Path("err") + " </dev/null >/dev/null";
    const int raw = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == kDevsimFailed) << size;
    EXPECT_EQ(Slurp(Path("db.pin")), bytes) << size;
    EXPECT_NE(Slurp(Path("err")).find("8192"), std::string::npos) << Slurp(Path("err"));
  }
}

// On a slow line a frame takes longer than the answer's time-out to cross: the wait for the
// answer starts once the frame has left the port.
TEST_F(DevsimTest, SlowLinesWaitForTheFrameToLeave) {
  struct Case {
    int baud;
    TBaudRate rate;
  };
  for (const Case& c : {Case{600, br600}, Case{300, br300}}) {
    SCOPED_TRACE(c.baud);
    Simulator sim({"--model", "4", "--baud", std::to_string(c.baud)});
    ASSERT_FALSE(sim.path.empty());
    DeviceConnection connection;
    connection.SetEventThread(false);
    connection.BeginTransfer(sim.path, c.rate);
    SerialLinkPort port(connection);
    SteadyClock clock;
    SegmentLink link(port, clock);
    if (c.baud == 600) {
      // Two segments of an upload: 70 bytes a frame, 1167 ms on the wire at 600 baud.
      for (uint8_t segment : {44, 45}) {
        link.WriteSegment(SegmentLink::BuildWriteFrame(segment, std::string(64, 'A')));
        EXPECT_FALSE(link.TimedOut()) << int(segment);
        EXPECT_EQ(link.SegmentReply()[0], kAck);
      }
    } else {
      // The clock frame, 2333 ms on the wire at 300 baud.
      struct Host : TransferHost {
        void Status(const std::string&) override {}
        void Message(const std::string& m) override { messages.push_back(m); }
        void Busy(bool) override {}
        void ProcessEvents(int) override {}
        void SwitchModel(DeviceModel) override {}
        void Decode() override {}
        bool PortOpen() override { return true; }
        void ReleasePort() override {}
        std::vector<std::string> messages;
      } host;
      ConfigImage image;
      Transfers transfers(port, clock, host, image);
      EXPECT_EQ(transfers.SyncClock(), TransferResult::Ok);
      EXPECT_TRUE(host.messages.empty());
    }
    connection.EndTransfer();
  }
}
