// Ports by network address: the simulator's pseudo-terminal served by a real serial server
// (ser2net) on the loopback address, once as a raw TCP stream and once with the com-port
// option; and small servers of the test's own for what a real one will not show on demand.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>

#include "files/DatabaseFile.h"
#include "link/Connection.h"
#include "model/ImageLayout.h"
#include "model/NewDatabase.h"
#include "serial/ComPort.h"
#include "serial/NetLine.h"
#include "serial/Telnet.h"
#include "tests/TempDirTest.h"
#include "tools/DevsimProcess.h"
#include "tools/Ser2netProcess.h"

using namespace tarvelo;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A server of the test's own: takes one connection and hands it to `serve` on a thread.
class OneShotServer {
 public:
  explicit OneShotServer(std::function<void(int fd)> serve) {
    listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    listen(listen_, 1);
    thread_ = std::thread([this, serve] {
      pollfd p{listen_, POLLIN, 0};
      if (poll(&p, 1, 10000) != 1) return;
      const int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) return;
      serve(fd);
      close(fd);
    });
  }
  ~OneShotServer() {
    thread_.join();
    close(listen_);
  }
  std::string Address(const char* scheme) const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port);
  }
  int port = 0;

 private:
  int listen_ = -1;
  std::thread thread_;
};

// Reads what comes until `done` says enough or the time is up.
telnet::Bytes ReadUntil(int fd, const std::function<bool(const telnet::Bytes&)>& done,
                        int ms = 5000) {
  telnet::Bytes got;
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  uint8_t b[512];
  while (!done(got) && Clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) != 1) continue;
    const ssize_t n = read(fd, b, sizeof b);
    if (n <= 0) break;
    got.insert(got.end(), b, b + n);
  }
  return got;
}

void Send(int fd, const telnet::Bytes& b) {
  [[maybe_unused]] ssize_t n = write(fd, b.data(), b.size());
}

bool Contains(const telnet::Bytes& hay, const telnet::Bytes& needle) {
  return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

class NetPortTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    if (Ser2netProgram().empty()) GTEST_SKIP() << "ser2net is not installed";
  }
  int Cli(const std::string& args) const {
    const std::string cmd =
        std::string(TARVELO_CLI) + " " + args + " 2>" + Path("err") + " </dev/null";
    const int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::string DeviceImage() const {
    ConfigImage image;
    StoreNewDatabaseDefaults(image, ImageLayout::For(DeviceModel::SixteenLine));
    for (int i = 51 * 32; i < 120 * 32; ++i) {
      // Every byte value, 255 among them, which the com-port line must double.
      if (i % 7 == 0) image.SetImageByte(i, static_cast<uint8_t>(i * 31));
    }
    image.SetImageByte(1900, 0xFF);
    return std::string(image.raw().begin(), image.raw().end());
  }
  void ExpectDownloadOf(const std::string& db, const std::string& memory) {
    DatabaseRecord r;
    ASSERT_EQ(LoadDatabaseFile(db, r, [] { return std::string(); }).status, LoadStatus::Ok);
    for (int i = 51 * 32; i < kImageSize; ++i)
      ASSERT_EQ(r.image.ImageByte(i), static_cast<uint8_t>(memory[i])) << i;
  }
};

class BothKinds : public NetPortTest, public ::testing::WithParamInterface<bool> {
 protected:
  std::string Address(const Ser2netProcess& s) const { return GetParam() ? s.Com() : s.Raw(); }
};

}  // namespace

TEST_P(BothKinds, DownloadAndUploadAreExact) {
  const std::string memory = DeviceImage();
  Put(Path("dev.img"), memory);
  DevsimProcess sim(TARVELO_DEVSIM, {"--image", Path("dev.img"), "--model", "16"});
  ASSERT_FALSE(sim.path.empty());
  Ser2netProcess server(Path("ser2net.yaml"), sim.path, 19200);
  ASSERT_TRUE(server.Up()) << "ser2net did not come up";
  const std::string port = "--port " + Address(server) + " --speed 115200 ";
  ASSERT_EQ(Cli("download " + port + "-o " + Path("dl.pin")), 0) << Slurp(Path("err"));
  ExpectDownloadOf(Path("dl.pin"), memory);

  DatabaseRecord r;
  ASSERT_EQ(LoadDatabaseFile(Path("dl.pin"), r, [] { return std::string(); }).status,
            LoadStatus::Ok);
  r.image.SetImageByte(1683, 0xFF);
  r.image.SetImageByte(1700, 0x5A);
  ASSERT_TRUE(SaveDatabaseFile(Path("up.pin"), r).ok);
  ASSERT_EQ(Cli("upload " + port + "--verify " + Path("up.pin")), 0) << Slurp(Path("err"));
  sim.Stop();
  std::string expected = memory;
  expected[1683] = static_cast<char>(0xFF);
  expected[1700] = 0x5A;
  const std::string saved = Slurp(Path("dev.img"));
  ASSERT_EQ(saved.size(), 8192u);
  EXPECT_EQ(saved.substr(51 * 32), expected.substr(51 * 32));
}

TEST_P(BothKinds, LineFaultsNeverGiveAWrongImage) {
  const std::string memory = DeviceImage();
  Put(Path("dev.img"), memory);
  DevsimProcess sim(TARVELO_DEVSIM, {"--image", Path("dev.img"), "--model", "16", "--fault",
                                     "flip=0.05", "--fault", "late=0.05", "--fault", "silence=0.05",
                                     "--fault-segments", "51-70", "--seed", "4"});
  ASSERT_FALSE(sim.path.empty());
  Ser2netProcess server(Path("ser2net.yaml"), sim.path, 19200);
  ASSERT_TRUE(server.Up()) << "ser2net did not come up";
  const int status =
      Cli("download --port " + Address(server) + " --speed 115200 -o " + Path("dl.pin"));
  ASSERT_TRUE(status == 0 || status == 3) << Slurp(Path("err"));
  if (status == 0) {
    ExpectDownloadOf(Path("dl.pin"), memory);
  } else {
    EXPECT_FALSE(fs::exists(Path("dl.pin"))) << "a failure writes nothing";
  }
}

TEST_P(BothKinds, AServerKilledMidDownloadFailsCleanly) {
  Put(Path("dev.img"), DeviceImage());
  // Paced, so the download is still going when the server goes.
  DevsimProcess sim(TARVELO_DEVSIM,
                    {"--image", Path("dev.img"), "--model", "16", "--baud", "19200"});
  ASSERT_FALSE(sim.path.empty());
  Ser2netProcess server(Path("ser2net.yaml"), sim.path, 19200);
  ASSERT_TRUE(server.Up()) << "ser2net did not come up";
  const std::string cmd = std::string(TARVELO_CLI) + " download --port " + Address(server) +
                          " -o " + Path("dl.pin") + " 2>" + Path("err") + " </dev/null";
  const pid_t child = fork();
  if (child == 0) {
    execl("/bin/sh", "sh", "-c", cmd.c_str(), (char*)nullptr);
    _exit(127);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  server.Kill();
  const auto killed = Clock::now();
  int raw = 0;
  waitpid(child, &raw, 0);
  EXPECT_LT(Clock::now() - killed, std::chrono::seconds(5)) << "the failure is seen at once";
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 3) << Slurp(Path("err"));
  EXPECT_FALSE(fs::exists(Path("dl.pin"))) << "nothing written";
  EXPECT_NE(Slurp(Path("err")).find("a kapcsolatot a túloldal bontotta"), std::string::npos)
      << Slurp(Path("err"));
}

INSTANTIATE_TEST_SUITE_P(NetPort, BothKinds, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "rfc2217" : "raw"; });

TEST_F(NetPortTest, ASpeedChangeReachesTheServersPort) {
  DevsimProcess sim(TARVELO_DEVSIM, {"--image", Path("dev.img")});
  ASSERT_FALSE(sim.path.empty());
  Ser2netProcess server(Path("ser2net.yaml"), sim.path, 19200);
  ASSERT_TRUE(server.Up()) << "ser2net did not come up";
  auto ptySettings = [&] {
    termios t{};
    const int fd = open(sim.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    tcgetattr(fd, &t);
    close(fd);
    return t;
  };
  TComPort port;
  port.SetPort(server.Com());
  port.SetBaudRate(br38400);
  port.Open();
  termios t = ptySettings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B38400));
  port.SetBaudRate(br115200);
  t = ptySettings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
  port.SetBaudRate(br9600);
  t = ptySettings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  port.Close();
}

TEST_F(NetPortTest, AnAddressNobodyListensOnIsNamedWithItsReason) {
  const int free = FreeTcpPort();
  for (const char* scheme : {"socket", "rfc2217"}) {
    TComPort port;
    port.SetPort(std::string(scheme) + "://127.0.0.1:" + std::to_string(free));
    const auto started = Clock::now();
    try {
      port.Open();
      ADD_FAILURE() << "opened";
    } catch (const EComPort& e) {
      const std::string m = e.what();
      EXPECT_NE(m.find("127.0.0.1:" + std::to_string(free)), std::string::npos) << m;
      EXPECT_NE(m.find("senki sem fogad kapcsolatot"), std::string::npos) << m;
    }
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(2));
    EXPECT_FALSE(port.Connected());
  }
  // An address that swallows the connection attempt: the wait has its bound. (Where the
  // test network has no route there, the refusal comes at once; either way it is named.)
  int error = 0;
  std::string detail;
  const auto started = Clock::now();
  EXPECT_FALSE(OpenNetLine("socket://192.0.2.1:9", error, detail, 400));
  EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(1500));
  EXPECT_NE(detail.find("192.0.2.1:9"), std::string::npos) << detail;
  if (error == ETIMEDOUT) {
    EXPECT_NE(detail.find("1 másodpercen belül"), std::string::npos)
        << "a limit under a second is not called zero seconds: " << detail;
  }
  // A name nobody knows, and a malformed address.
  EXPECT_FALSE(OpenNetLine("socket://no-such-host.invalid:9", error, detail));
  EXPECT_NE(detail.find("no-such-host.invalid"), std::string::npos) << detail;
  EXPECT_FALSE(OpenNetLine("rfc2217://127.0.0.1", error, detail));
  EXPECT_NE(detail.find("hibás hálózati cím"), std::string::npos) << detail;
}

namespace {

constexpr uint32_t kAsAsked = 0xFFFFFFFF;

// A com-port server's side of the settings: takes the option and answers every setting as
// asked but the speed, which it answers with `speedAnswer` (kAsAsked: as asked; 0: not at
// all). Returns when the client leaves, or when it has been quiet for `quietMs` (0: never).
void ServeSettings(int fd, uint32_t speedAnswer, int quietMs = 0) {
  using namespace telnet;
  Send(fd, {kIac, kDo, kComPortOption});
  Bytes pending;
  const auto end = Clock::now() + std::chrono::seconds(8);
  auto lastHeard = Clock::now();
  uint8_t b[256];
  while (Clock::now() < end) {
    if (quietMs > 0 && Clock::now() - lastHeard > std::chrono::milliseconds(quietMs)) return;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 20) != 1) continue;
    const ssize_t n = read(fd, b, sizeof b);
    if (n <= 0) return;
    lastHeard = Clock::now();
    pending.insert(pending.end(), b, b + n);
    // Commands are IAC SB 44 command value IAC SE; the values asked here hold no 255.
    for (size_t i = 0; i + 5 < pending.size();) {
      if (pending[i] == kIac && pending[i + 1] == kSb && pending[i + 2] == kComPortOption) {
        size_t j = i + 3;
        while (j + 1 < pending.size() && !(pending[j] == kIac && pending[j + 1] == kSe)) ++j;
        if (j + 1 >= pending.size()) break;
        const uint8_t command = pending[i + 3];
        const Bytes value(pending.begin() + static_cast<long>(i) + 4,
                          pending.begin() + static_cast<long>(j));
        const uint8_t answer = command + kServerOffset;
        if (command != kSetBaudRate || speedAnswer == kAsAsked) {
          Send(fd, ComPortCommand(answer, value));
        } else if (speedAnswer != 0) {
          Send(fd, ComPortCommand(answer, BaudValue(speedAnswer)));
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(j) + 2);
        i = 0;
        continue;
      }
      ++i;
    }
  }
}

}  // namespace

TEST_F(NetPortTest, ASettingTheServerRefusesIsNamed) {
  {
    OneShotServer server([](int fd) { ServeSettings(fd, 9600); });
    TComPort port;
    port.SetPort(server.Address("rfc2217"));
    port.SetBaudRate(br57600);
    try {
      port.Open();
      ADD_FAILURE() << "opened";
    } catch (const EComPort& e) {
      const std::string m = e.what();
      EXPECT_EQ(e.ErrorCode, ecSetState);
      EXPECT_NE(m.find("nem fogadta el: sebesség 57600 (válasza: 9600)"), std::string::npos) << m;
      EXPECT_NE(m.find(std::to_string(server.port)), std::string::npos) << m;
    }
    EXPECT_FALSE(port.Connected());
  }
  OneShotServer server([](int fd) { ServeSettings(fd, 0); });
  TComPort port;
  port.SetPort(server.Address("rfc2217"));
  port.SetBaudRate(br57600);
  const auto started = Clock::now();
  try {
    port.Open();
    ADD_FAILURE() << "opened";
  } catch (const EComPort& e) {
    const std::string m = e.what();
    EXPECT_NE(m.find("nem válaszolt"), std::string::npos) << m;
    EXPECT_NE(m.find("sebesség 57600"), std::string::npos) << m;
  }
  EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(kNetSettingMs + 1500));
}

// The event thread over a com-port line: 255s arrive doubled and reach the reader once,
// the modem lines the server reports reach the links, what is written goes out doubled, and
// the server's going away ends the thread as an unplugged adapter does.
TEST_F(NetPortTest, TheEventThreadReadsAComPortLine) {
  using namespace telnet;
  std::atomic<bool> wrote{false};
  telnet::Bytes fromClient;
  OneShotServer server([&](int fd) {
    ServeSettings(fd, kAsAsked, 150);
    Send(fd, {kIac, kWill, kBinary});
    // Data split inside a doubled 255, a modem report in the middle.
    Send(fd, {'A', kIac});
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    Send(fd, {kIac, 'B', kIac, kSb, kComPortOption, 107, kCts | kCarrier, kIac, kSe, 'C'});
    fromClient = ReadUntil(fd, [](const Bytes& b) { return Contains(b, {'x', kIac, kIac, 'y'}); });
    wrote = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  });
  TComPort port;
  port.SetPort(server.Address("rfc2217"));
  port.SetSyncMethod(smNone);
  std::mutex m;
  std::string got;
  bool carrier = false;
  std::atomic<bool> failed{false};
  port.OnRxBuf = [&](TCustomComPort*, const uint8_t* b, int n) {
    std::lock_guard lock(m);
    got.append(reinterpret_cast<const char*>(b), n);
  };
  port.OnRLSDChange = [&](TCustomComPort*, bool on) {
    std::lock_guard lock(m);
    carrier = on;
  };
  std::string why;
  port.OnThreadFailure = [&](TCustomComPort*, std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const EComPort& error) {
      std::lock_guard lock(m);
      why = error.what();
    }
    failed = true;
  };
  port.SetReportRxCountOnly(false);
  port.Open();
  for (int i = 0; i < 200; ++i) {
    {
      std::lock_guard lock(m);
      if (got.size() >= 4 && carrier) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  {
    std::lock_guard lock(m);
    EXPECT_EQ(got, std::string("A\xFF"
                               "BC"));
    EXPECT_TRUE(carrier);
  }
  port.WriteText(std::string("x\xFFy"));
  for (int i = 0; i < 300 && !failed; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(failed) << "the server's leaving ends the event thread";
  {
    std::lock_guard lock(m);
    EXPECT_NE(why.find("a kapcsolatot a túloldal bontotta"), std::string::npos) << why;
  }
  port.Close();
  ASSERT_TRUE(wrote);
  EXPECT_TRUE(Contains(fromClient, {'x', kIac, kIac, 'y'}));
}

// The terminal page's way to the line: the connection held with an event thread whose
// events are handed over to the user-interface thread (here the test's own loop), over a
// com-port line; the server's leaving closes the port and reaches that thread as an error.
TEST_F(NetPortTest, AHeldConnectionHandsItsEventsOver) {
  using namespace telnet;
  OneShotServer server([&](int fd) {
    ServeSettings(fd, kAsAsked, 150);
    Send(fd, {'o', 'k', kIac, kIac, '\r'});
    ReadUntil(fd, [](const Bytes& b) { return Contains(b, {'A', 'T', '\r'}); });
    Send(fd, {'O', 'K', '\r'});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  });
  std::mutex queueMutex;
  std::vector<std::function<void()>> queue;
  auto pump = [&] {
    std::vector<std::function<void()>> now;
    {
      std::lock_guard lock(queueMutex);
      now.swap(queue);
    }
    std::string error;
    for (auto& f : now) {
      try {
        f();
      } catch (const EComPort& e) {
        error = e.what();
      }
    }
    return error;
  };
  DeviceConnection connection;
  connection.SetEventThread(true);
  connection.SetHandOver([&](std::function<void()> f) {
    std::lock_guard lock(queueMutex);
    queue.push_back(std::move(f));
  });
  std::string got;
  TComLink link;
  link.LinkRxBuf = [&](TCustomComPort*, const uint8_t* b, int n) {
    got.append(reinterpret_cast<const char*>(b), n);
  };
  connection.Bind(&link);
  connection.Hold(server.Address("rfc2217"), 6);
  std::string error;
  for (int i = 0; i < 300 && got.find("\r") == std::string::npos; ++i) {
    error += pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(got, "ok\xFF\r");
  connection.Write("AT\r");
  for (int i = 0; i < 300 && connection.IsOpen(); ++i) {
    error += pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(got, "ok\xFF\rOK\r");
  EXPECT_FALSE(connection.IsOpen()) << "the port is closed once the server has gone";
  EXPECT_FALSE(connection.Held());
  EXPECT_NE(error.find("a kapcsolatot a túloldal bontotta"), std::string::npos) << error;
  connection.SetHandOver(nullptr);
  connection.Unbind(&link);
}

// A setting changed while the event thread watches the line: the thread may take the
// server's answer off the socket first, and the change must not wait out its time-out for it.
TEST_F(NetPortTest, ASettingIsAnsweredPromptlyWhileTheEventThreadRuns) {
  OneShotServer server([](int fd) { ServeSettings(fd, kAsAsked); });
  TComPort port;
  port.SetPort(server.Address("rfc2217"));
  port.SetSyncMethod(smNone);
  port.OnRxBuf = [](TCustomComPort*, const uint8_t*, int) {};
  port.Open();
  Clock::duration slowest{};
  for (TBaudRate rate : {br38400, br57600, br115200, br9600, br19200}) {
    const auto started = Clock::now();
    EXPECT_NO_THROW(port.SetBaudRate(rate));
    slowest = std::max(slowest, Clock::now() - started);
  }
  EXPECT_LT(slowest, std::chrono::milliseconds(500));
  port.Close();
}
