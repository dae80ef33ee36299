#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <future>
#include <mutex>
#include <optional>

#include "serial/ComPort.h"
#include "serial/Platform.h"
#include "serial/SystemErrorText.h"
#include "tests/serial/PtyPair.h"

using namespace tarvelo;
using namespace std::chrono_literals;

namespace {

// Stands in for the user-interface thread: hand-overs queue up until the test serves them.
struct FakeUiThread {
  std::mutex mutex;
  std::condition_variable posted;
  std::deque<std::function<void()>> queue;

  TSyncPoster Poster() {
    return [this](std::function<void()> f) {
      std::lock_guard lock(mutex);
      queue.push_back(std::move(f));
      posted.notify_all();
    };
  }
  // Waits for a hand-over and runs it; false when none came in time.
  bool ServeOne(std::chrono::milliseconds within = 2000ms) {
    std::unique_lock lock(mutex);
    if (!posted.wait_for(lock, within, [&] { return !queue.empty(); })) return false;
    auto f = std::move(queue.front());
    queue.pop_front();
    lock.unlock();
    f();
    return true;
  }
};

// Records every handler and link call in order.
struct Recorder {
  std::vector<std::string> calls;
  TComLink link;

  void Attach(TCustomComPort& port) {
    auto note = [this](const std::string& s) { calls.push_back(s); };
    auto onOff = [](bool on) { return on ? "(on)" : "(off)"; };
    port.OnBeforeOpen = [=](TCustomComPort*) { note("OnBeforeOpen"); };
    port.OnAfterOpen = [=](TCustomComPort*) { note("OnAfterOpen"); };
    port.OnBeforeClose = [=](TCustomComPort*) { note("OnBeforeClose"); };
    port.OnAfterClose = [=](TCustomComPort*) { note("OnAfterClose"); };
    port.OnCTSChange = [=](TCustomComPort*, bool on) {
      note(std::string("OnCTSChange") + onOff(on));
    };
    port.OnDSRChange = [=](TCustomComPort*, bool on) {
      note(std::string("OnDSRChange") + onOff(on));
    };
    port.OnRLSDChange = [=](TCustomComPort*, bool on) {
      note(std::string("OnRLSDChange") + onOff(on));
    };
    port.OnRxChar = [=](TCustomComPort*, int n) { note("OnRxChar " + std::to_string(n)); };
    port.OnRxBuf = [=](TCustomComPort*, const uint8_t*, int n) {
      note("OnRxBuf " + std::to_string(n));
    };
    link.LinkConnChange = [=](TCustomComPort*, bool on) {
      note(std::string("LinkConnChange") + onOff(on));
    };
    link.LinkCTSChange = [=](TCustomComPort*, bool on) {
      note(std::string("LinkCTSChange") + onOff(on));
    };
    link.LinkDSRChange = [=](TCustomComPort*, bool on) {
      note(std::string("LinkDSRChange") + onOff(on));
    };
    link.LinkRLSDChange = [=](TCustomComPort*, bool on) {
      note(std::string("LinkRLSDChange") + onOff(on));
    };
    link.LinkRxActive = [=](TCustomComPort*, bool on) {
      note(std::string("LinkRxActive") + onOff(on));
    };
    link.LinkTxActive = [=](TCustomComPort*, bool on) {
      note(std::string("LinkTxActive") + onOff(on));
    };
    link.LinkRxBuf = [=](TCustomComPort*, const uint8_t* b, int n) {
      note("LinkRxBuf " + std::string(reinterpret_cast<const char*>(b), n));
    };
    link.LinkTxBuf = [=](TCustomComPort*, const uint8_t* b, int n) {
      note("LinkTxBuf " + std::string(reinterpret_cast<const char*>(b), n));
    };
    port.AddLink(&link);
  }
};

using Calls = std::vector<std::string>;

}  // namespace

TEST(ComPort, OpenAndCloseRunHandlersAndLinksInOrder) {
  PtyPair pty;
  Recorder r;  // outlives the port, whose close still calls the link
  TComPort port;
  r.Attach(port);
  port.SetPort(pty.path);
  port.Open();
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(r.calls, (Calls{"OnBeforeOpen", "LinkConnChange(on)", "OnAfterOpen",
                            "LinkCTSChange(off)", "OnCTSChange(off)", "LinkDSRChange(off)",
                            "OnDSRChange(off)", "LinkRLSDChange(off)", "OnRLSDChange(off)"}));
  r.calls.clear();
  port.Open();  // already open: nothing
  EXPECT_TRUE(r.calls.empty());
  port.Close();
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(r.calls, (Calls{"LinkRxActive(off)", "LinkTxActive(off)", "LinkCTSChange(off)",
                            "LinkDSRChange(off)", "LinkRLSDChange(off)", "OnCTSChange(off)",
                            "OnDSRChange(off)", "OnRLSDChange(off)", "OnBeforeClose",
                            "LinkConnChange(off)", "OnAfterClose"}));
  r.calls.clear();
  port.Close();
  EXPECT_TRUE(r.calls.empty());
}

TEST(ComPort, ReadAndWrite) {
  PtyPair pty;
  Recorder r;  // outlives the port, whose close still calls the link
  TComPort port;
  r.Attach(port);
  port.SetPort(pty.path);
  port.SetEvents(0);
  port.Open();
  r.calls.clear();

  uint8_t buf[16];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(buf, sizeof buf), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);

  EXPECT_EQ(port.WriteText(""), 0);
  EXPECT_EQ(r.calls, (Calls{"LinkRxActive(off)"})) << "an empty write calls no link";
  r.calls.clear();

  EXPECT_EQ(port.WriteText("D2B"), 3);
  EXPECT_EQ(r.calls, (Calls{"LinkTxActive(on)", "LinkTxBuf D2B"}));
  EXPECT_EQ(pty.Received(), "D2B");

  pty.Send(std::string("ab\0c", 4));
  ASSERT_TRUE(port.WaitForInput(1000));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(port.Read(buf, 2), 2);
  EXPECT_EQ(port.QueuedInput(), 2);
  port.SetDiscardNull(true);
  EXPECT_EQ(port.Read(buf, sizeof buf), 1) << "zero bytes dropped";
  EXPECT_EQ(buf[0], 'c');
}

TEST(ComPort, ReceiveRuleHandsQueuedBytesToTheLink) {
  PtyPair pty;
  Recorder r;
  FakeUiThread ui;
  TComPort port;
  r.Attach(port);
  port.SetSyncPoster(ui.Poster());
  port.SetPort(pty.path);
  port.Open();
  r.calls.clear();
  pty.Send("12345");
  ASSERT_TRUE(ui.ServeOne());
  // The read empties the queue before the bytes are handed on.
  EXPECT_EQ(r.calls,
            (Calls{"LinkRxActive(on)", "LinkRxActive(off)", "OnRxBuf 5", "LinkRxBuf 12345"}));

  // Without a link that reads, the count is reported and the bytes stay queued.
  port.RemoveLink(&r.link);
  r.calls.clear();
  pty.Send("678");
  ASSERT_TRUE(ui.ServeOne());
  EXPECT_EQ(r.calls, (Calls{"OnRxChar 3"}));
  EXPECT_EQ(port.QueuedInput(), 3);
  EXPECT_FALSE(ui.ServeOne(100ms)) << "bytes already told of are not news";
  // Someone reads two of them and two new ones take their place: the count is the same,
  // yet there is news.
  r.calls.clear();
  uint8_t two[2];
  ASSERT_EQ(port.Read(two, 2), 2);
  pty.Send("90");
  ASSERT_TRUE(ui.ServeOne());
  EXPECT_EQ(r.calls, (Calls{"OnRxChar 3"}));
  EXPECT_FALSE(ui.ServeOne(100ms));
  port.Close();
}

namespace {
// Bytes whose every position can be told apart from its neighbours', so a lost, doubled or
// swapped block shows.
std::string Burst(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
  return s;
}

size_t FirstDifference(const std::string& a, const std::string& b) {
  const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return static_cast<size_t>(ia - a.begin());
}
}  // namespace

// A device sends more than the input queue holds in one go and then falls silent, as
// pseudo-terminals, USB adapters and network serial servers deliver: every byte reaches the
// reader, in order, soon after it arrived. What arrives while a reader reads is news to it.
TEST(ComPort, BurstsOfAnySizeReachTheReaderWhole) {
  enum Reader { kLink, kToldCount };
  struct Case {
    const char* name;
    Reader reader;
    TSyncMethod sync;
  };
  const Case cases[] = {
      {"a link served on the user-interface thread", kLink, smThreadSync},
      {"a link on the event thread", kLink, smNone},
      {"a handler that reads what it is told of", kToldCount, smThreadSync},
  };
  for (const Case& c : cases) {
    for (const size_t size :
         {size_t{1024}, size_t{6 * 1024}, size_t{20 * 1024}, size_t{100 * 1024}}) {
      SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(size) + " bytes");
      PtyPair pty;
      FakeUiThread ui;
      std::mutex mutex;
      std::condition_variable grew;
      std::string received;
      // Like the terminal, the reader takes a while over each block (it parses and draws),
      // and the line goes on delivering meanwhile.
      auto take = [&](const uint8_t* bytes, int n) {
        std::this_thread::sleep_for(2ms);
        std::lock_guard lock(mutex);
        received.append(reinterpret_cast<const char*>(bytes), n);
        grew.notify_all();
      };
      auto count = [&] {
        std::lock_guard lock(mutex);
        return received.size();
      };
      TComLink link;
      TComPort port;
      if (c.reader == kLink) {
        link.LinkRxBuf = [&](TCustomComPort*, const uint8_t* bytes, int n) { take(bytes, n); };
        port.AddLink(&link);
      } else {
        port.OnRxChar = [&](TCustomComPort* p, int n) {
          std::vector<uint8_t> buffer(n);
          take(buffer.data(), p->Read(buffer.data(), n));
        };
      }
      port.SetSyncMethod(c.sync);
      port.SetSyncPoster(ui.Poster());
      port.SetPort(pty.path);
      port.Open();
      const std::string sent = Burst(size);
      auto sending = std::async(std::launch::async, [&] { return pty.SendAll(sent); });
      const auto deadline = std::chrono::steady_clock::now() + 3s;
      while (count() < size && std::chrono::steady_clock::now() < deadline) {
        if (c.sync == smThreadSync) {
          ui.ServeOne(50ms);
        } else {
          std::unique_lock lock(mutex);
          grew.wait_for(lock, 50ms);
        }
      }
      EXPECT_TRUE(sending.get()) << "the line stopped taking bytes";
      port.Close();
      if (c.reader == kLink) port.RemoveLink(&link);
      std::lock_guard lock(mutex);
      EXPECT_EQ(received.size(), size);
      EXPECT_EQ(FirstDifference(received, sent), size) << "lost or out of order from here";
    }
  }
}

TEST(ComPort, LinkRegistration) {
  TComPort port;
  TComLink a, b;
  port.AddLink(&a);
  try {
    port.AddLink(&a);
    FAIL();
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorCode, 18);
    EXPECT_STREQ(e.what(), "Link (un)registration failed");
  }
  try {
    port.RemoveLink(&b);
    FAIL();
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorCode, 18);
  }
  port.RemoveLink(&a);
}

TEST(ComPort, SettingRules) {
  PtyPair pty, other;
  Recorder r;  // outlives the port, whose close still calls the link
  TComPort port;
  r.Attach(port);
  port.SetPort(pty.path);
  port.Open();

  try {
    port.SetSyncMethod(smNone);
    FAIL();
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorCode, 14);
  }
  EXPECT_EQ(port.SyncMethod(), smThreadSync);

  port.Buffer().SetInputSize(1025);
  EXPECT_EQ(port.Buffer().InputSize(), 1024);
  port.Buffer().SetOutputSize(2048);
  EXPECT_EQ(port.Buffer().OutputSize(), 2048);

  // As the main window declares its port; the summary reads back and DTR stays.
  port.FlowControl().SetControlDTR(dtrEnable);
  port.FlowControl().SetFlowControl(fcHardware);
  EXPECT_EQ(port.FlowControl().FlowControl(), fcHardware);
  EXPECT_EQ(port.FlowControl().ControlDTR(), dtrEnable);
  port.FlowControl().SetFlowControl(fcSoftware);
  EXPECT_EQ(port.FlowControl().FlowControl(), fcSoftware);
  EXPECT_FALSE(port.FlowControl().OutCTSFlow());
  port.FlowControl().SetOutCTSFlow(true);
  EXPECT_EQ(port.FlowControl().FlowControl(), fcCustom);
  port.FlowControl().SetFlowControl(fcNone);
  EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);

  // Every rate Linux offers applies on the open port, the odd ones too.
  for (TBaudRate rate : {br110, br14400, br19200, br56000, br128000, br256000}) {
    EXPECT_NO_THROW(port.SetBaudRate(rate));
  }
  port.Parity().SetBits(prMark);
  port.SetStopBits(sbOne5StopBits);
  port.SetDataBits(dbSeven);

  r.calls.clear();
  port.SetPort(pty.path);  // same name: nothing
  EXPECT_TRUE(r.calls.empty());
  port.SetPort(other.path);
  EXPECT_TRUE(port.Connected());
  ASSERT_GE(r.calls.size(), 4u);
  EXPECT_NE(std::find(r.calls.begin(), r.calls.end(), "OnBeforeClose"), r.calls.end());
  EXPECT_NE(std::find(r.calls.begin(), r.calls.end(), "OnAfterClose"), r.calls.end());
  EXPECT_NE(std::find(r.calls.begin(), r.calls.end(), "OnBeforeOpen"), r.calls.end());
  EXPECT_NE(std::find(r.calls.begin(), r.calls.end(), "OnAfterOpen"), r.calls.end());
  EXPECT_EQ(port.DevicePath(), other.path);
}

// A pseudo-terminal carries only 8-bit bytes and its driver refuses a change of nothing but
// the character format; the port takes the other settings and goes on, as on an open for
// the terminal's own line settings after the device's.
TEST(ComPort, APseudoTerminalTakesAnyCharacterFormat) {
  PtyPair pty;
  TComPort port;
  port.SetPort(pty.path);
  port.SetEvents(0);
  port.Open();
  EXPECT_NO_THROW(port.SetDataBits(dbSeven));
  EXPECT_NO_THROW(port.Parity().SetBits(prEven));
  EXPECT_NO_THROW(port.SetStopBits(sbTwoStopBits));
  termios t{};
  ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
  EXPECT_TRUE(t.c_cflag & CSTOPB) << "the settings a pseudo-terminal keeps still apply";
  EXPECT_EQ(port.WriteText("7E2"), 3);
  EXPECT_EQ(pty.Received(), "7E2");
}

TEST(ComPort, OpeningAMissingDeviceFails) {
  TComPort port;
  port.SetPort("/nonexistent/ttyX");
  bool afterOpen = false;
  port.OnAfterOpen = [&](TCustomComPort*) { afterOpen = true; };
  try {
    port.Open();
    FAIL();
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorCode, 1);
    EXPECT_EQ(e.SystemErrorCode, ENOENT);
    EXPECT_NE(std::string(e.what()).find("Unable to open com port"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find(SystemErrorText(ENOENT)), std::string::npos);
  }
  EXPECT_FALSE(port.Connected());
  EXPECT_FALSE(afterOpen);
}

// Of the programs that have the device open, the one holding its lock is named, not the
// first one found.
TEST(ComPort, TheHolderNamedIsTheOneWithTheLock) {
  PtyPair pty;
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  auto spawn = [&](bool lock) {
    const pid_t pid = fork();
    if (pid == 0) {
      const int fd = open(pty.path.c_str(), O_RDWR | O_NOCTTY);
      if (lock) flock(fd, LOCK_EX);
      [[maybe_unused]] ssize_t n = write(ready[1], "r", 1);
      pause();
      _exit(0);
    }
    char c;
    [[maybe_unused]] ssize_t n = read(ready[0], &c, 1);
    return pid;
  };
  const pid_t bystander = spawn(false);  // the lower number: found first in /proc
  const pid_t holder = spawn(true);
  TComPort port;
  port.SetPort(pty.path);
  std::string text;
  try {
    port.Open();
  } catch (const EComPort& e) {
    text = e.what();
  }
  kill(bystander, SIGKILL);
  kill(holder, SIGKILL);
  waitpid(bystander, nullptr, 0);
  waitpid(holder, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  EXPECT_NE(text.find("(pid " + std::to_string(holder) + ")"), std::string::npos) << text;
  EXPECT_EQ(text.find("(pid " + std::to_string(bystander) + ")"), std::string::npos) << text;
}

TEST(ComPort, APortHeldByAnotherProgramFails) {
  PtyPair pty;
  TComPort port;
  port.SetPort(pty.path);
  // No event thread: a thread holding a lock when the process forks can leave the child,
  // which allocates, waiting for ever.
  port.SetEvents(0);
  port.Open();
  const pid_t child = fork();
  if (child == 0) {
    TComPort second;
    second.SetPort(pty.path);
    try {
      second.Open();
      _exit(0);
    } catch (const EComPort& e) {
      const bool named =
          std::string(e.what()).find("a portot használó program:") != std::string::npos;
      _exit(e.ErrorCode == 1 ? (named ? 2 : 3) : 4);
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2) << "error 1 naming the holder";
}

TEST(ComPort, PortNamesMapToDevices) {
  setenv("TARVELO_DEV_DIR", "/tmp/devs", 1);
  EXPECT_EQ(platform::DevicePath("COM1"), "/tmp/devs/ttyS0");
  EXPECT_EQ(platform::DevicePath("COM12"), "/tmp/devs/ttyS11");
  EXPECT_EQ(platform::DevicePath("USB0"), "/tmp/devs/ttyUSB0");
  EXPECT_EQ(platform::DevicePath("ACM3"), "/tmp/devs/ttyACM3");
  EXPECT_EQ(platform::DevicePath("/dev/pts/4"), "/dev/pts/4");
  unsetenv("TARVELO_DEV_DIR");
  EXPECT_EQ(platform::DevicePath("COM2"), "/dev/ttyS1");
}

TEST(ComPort, UnplugRaisesOnceAndCloseStillSucceeds) {
  PtyPair pty;
  FakeUiThread ui;
  TComPort port;
  port.SetSyncPoster(ui.Poster());
  port.SetPort(pty.path);
  port.Open();
  pty.CloseMaster();
  ::close(pty.slave);
  pty.slave = -1;
  uint8_t buf[8];
  try {
    port.Read(buf, sizeof buf);
    FAIL() << "a read from a device that is gone";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorCode, 3);
  }
  EXPECT_THROW(port.WriteText("x"), EComPort);
  // The event thread has ended rather than spinning on the hang-up.
  std::this_thread::sleep_for(200ms);
  const long long cpu = port.EventThreadCpuNs();
  std::this_thread::sleep_for(200ms);
  EXPECT_LT(port.EventThreadCpuNs() - cpu, 5'000'000);
  EXPECT_NO_THROW(port.Close());
  EXPECT_FALSE(port.Connected());
}

TEST(ComPort, CloseDoesNotWaitForASlowUserInterface) {
  PtyPair pty;
  auto port = std::make_unique<TComPort>();
  FakeUiThread ui;  // never serves
  port->SetSyncPoster(ui.Poster());
  port->SetPort(pty.path);
  port->Open();
  pty.Send("xyz");
  {
    std::unique_lock lock(ui.mutex);
    ASSERT_TRUE(ui.posted.wait_for(lock, 2000ms, [&] { return !ui.queue.empty(); }));
  }
  auto closing = std::async(std::launch::async, [&] { port->Close(); });
  ASSERT_EQ(closing.wait_for(5s), std::future_status::ready) << "Close deadlocked";
  closing.get();
  port.reset();
  ui.ServeOne(10ms);  // a late hand-over after the port is gone does nothing
}

TEST(ComPort, ErrorTexts) {
  EXPECT_STREQ(EComPort(ecSetState).what(), "SetCommState function failed");
  EXPECT_EQ(EComPort(ecSetState).SystemErrorCode, -1);
  EXPECT_STREQ(EComPort(ecRegistry).what(), "Registry error");
  const EComPort denied(ecOpenFailed, EACCES);
  EXPECT_EQ(std::string(denied.what()),
            "Unable to open com port (rendszerhiba 13: nincs hozzá jogosultság) – a felhasználónak "
            "a \"dialout\" csoport tagjának kell lennie (a felvétel után újra be kell "
            "jelentkeznie)");
}

TEST(ComPort, SystemReasonsInHungarian) {
  const std::pair<int, const char*> cases[] = {
      {ENOENT, "nincs ilyen fájl vagy mappa"},
      {EACCES, "nincs hozzá jogosultság"},
      {EROFS, "a fájlrendszer csak olvasható"},
      {ENOSPC, "betelt a lemez"},
      {EISDIR, "ez egy mappa"},
      {EBUSY, "az eszköz foglalt"},
      {ENODEV, "az eszköz nem érhető el"},
      {ENOTDIR, "az útvonal egyik tagja nem mappa"},
      {ENAMETOOLONG, "túl hosszú a fájlnév vagy az útvonal"},
      {ELOOP, "túl sok egymásra mutató szimbolikus hivatkozás (hurok?)"}};
  for (const auto& [err, text] : cases) EXPECT_EQ(SystemErrorText(err), text) << err;
  // The rest in the system's words.
  EXPECT_EQ(SystemErrorText(EDOM), std::strerror(EDOM));
  EXPECT_NE(std::string(EComPort(ecSetState, EBUSY).what()).find("az eszköz foglalt"),
            std::string::npos);
}

TEST(ComPort, PortListInAStandInFolder) {
  char tmpl[] = "/tmp/tarvelo-devs-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  PtyPair pty;
  for (const char* name : {"ttyUSB0", "ttyS3", "ttyACM1", "null"}) {
    ASSERT_EQ(symlink(pty.path.c_str(), (dir + "/" + name).c_str()), 0);
  }
  setenv("TARVELO_DEV_DIR", dir.c_str(), 1);
  std::vector<std::string> names;
  for (const auto& p : platform::ListPorts())
    names.push_back(p.name + "=" + p.path.substr(dir.size()));
  EXPECT_EQ(names, (std::vector<std::string>{"ACM1=/ttyACM1", "COM4=/ttyS3", "USB0=/ttyUSB0"}));
  // The short name reaches the same device.
  TComPort port;
  port.SetPort("USB0");
  EXPECT_NO_THROW(port.Open());
  port.Close();
  unsetenv("TARVELO_DEV_DIR");
  for (const char* name : {"ttyUSB0", "ttyS3", "ttyACM1", "null"})
    unlink((dir + "/" + name).c_str());
  rmdir(dir.c_str());
}

// An event thread that ends early says why, once, where the handlers run; the port stays
// open until somebody closes it.
TEST(ComPort, AnEventThreadThatEndsReportsWhy) {
  struct Case {
    const char* name;
    bool handlerThrows;  // else the device goes away
    const char* expected;
  };
  for (const Case& c : {Case{"handler", true, "handler failed"},
                        Case{"device gone", false, "ReadFile function failed"}}) {
    SCOPED_TRACE(c.name);
    PtyPair pty;
    FakeUiThread ui;
    TComPort port;
    port.SetSyncPoster(ui.Poster());
    if (c.handlerThrows) {
      port.OnRxChar = [](TCustomComPort*, int) { throw std::runtime_error("handler failed"); };
    }
    std::vector<std::string> reports;
    port.OnThreadFailure = [&](TCustomComPort*, std::exception_ptr e) {
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& x) {
        reports.push_back(x.what());
      }
    };
    port.SetPort(pty.path);
    port.Open();
    if (c.handlerThrows) {
      pty.Send("a");
      ASSERT_TRUE(ui.ServeOne());  // the failing hand-over
    } else {
      pty.CloseMaster();
    }
    ASSERT_TRUE(ui.ServeOne()) << "the failure is handed over";
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(c.expected), std::string::npos) << reports[0];
    EXPECT_TRUE(port.EventThreadError());
    EXPECT_TRUE(port.Connected());
    if (c.handlerThrows) {
      pty.Send("b");
      EXPECT_FALSE(ui.ServeOne(300ms)) << "no events after the failure";
    }
    EXPECT_NO_THROW(port.Close());
  }
}

// A port its failure handler closed (as the window's connection does) says so on the read or
// write that finds it closed, so that nobody shows the same failure twice; a port closed by
// its owner does not.
TEST(ComPort, AReadOfAPortClosedOnItsReportedFailureSaysItWasReported) {
  PtyPair pty;
  FakeUiThread ui;
  TComPort port;
  port.SetSyncPoster(ui.Poster());
  port.OnRxChar = [](TCustomComPort*, int) { throw std::runtime_error("handler failed"); };
  port.OnThreadFailure = [](TCustomComPort* p, std::exception_ptr) { p->Close(); };
  port.SetPort(pty.path);
  uint8_t buf[4];
  auto readFails = [&]() -> std::optional<EComPort> {
    try {
      port.Read(buf, sizeof buf);
    } catch (const EComPort& e) {
      return e;
    }
    return std::nullopt;
  };

  port.Open();
  pty.Send("a");
  ASSERT_TRUE(ui.ServeOne());  // the failing hand-over
  ASSERT_TRUE(ui.ServeOne());  // its report, which closes the port
  ASSERT_FALSE(port.Connected());
  auto e = readFails();
  ASSERT_TRUE(e);
  EXPECT_EQ(e->ErrorCode, ecReadFailed);
  EXPECT_TRUE(e->AlreadyReported);
  try {
    port.WriteText("x");
    ADD_FAILURE() << "a write of a closed port";
  } catch (const EComPort& w) {
    EXPECT_EQ(w.ErrorCode, ecWriteFailed);
    EXPECT_TRUE(w.AlreadyReported);
  }

  // Opened again and closed by its owner: nothing was reported for this close.
  port.OnRxChar = nullptr;
  port.Open();
  port.Close();
  e = readFails();
  ASSERT_TRUE(e);
  EXPECT_FALSE(e->AlreadyReported);
  // A port never opened has nothing reported either.
  TComPort fresh;
  try {
    fresh.WriteText("x");
    ADD_FAILURE() << "a write of a port never opened";
  } catch (const EComPort& w) {
    EXPECT_FALSE(w.AlreadyReported);
  }
}

// A failure report that arrives after the port was closed and opened again belongs to the
// old opening and is dropped.
TEST(ComPort, ALateFailureReportOfAnEarlierOpenIsDropped) {
  PtyPair pty;
  FakeUiThread ui;
  TComPort port;
  port.SetSyncPoster(ui.Poster());
  port.OnRxChar = [](TCustomComPort*, int) { throw std::runtime_error("handler failed"); };
  int reports = 0;
  port.OnThreadFailure = [&](TCustomComPort*, std::exception_ptr) { ++reports; };
  port.SetPort(pty.path);
  port.Open();
  pty.Send("a");
  ASSERT_TRUE(ui.ServeOne());
  std::this_thread::sleep_for(100ms);  // the report is posted, not yet served
  port.Close();
  port.OnRxChar = nullptr;
  port.Open();
  ASSERT_TRUE(ui.ServeOne());
  EXPECT_EQ(reports, 0);
  EXPECT_FALSE(port.EventThreadError());
  port.Close();
}

// An event thread that could not be made could never be stopped: the open fails instead,
// and leaves nothing open behind it.
TEST(ComPort, AnOpenWithNoRoomForTheEventThreadFailsWhole) {
#ifdef __SANITIZE_ADDRESS__
  // The sanitizers' own checks open descriptors too, and report what they cannot check.
  GTEST_SKIP() << "no descriptors to spare under the sanitizers";
#endif
  PtyPair pty;
  TComPort port;
  port.SetPort(pty.path);
  const int lowest = ::dup(0);
  ASSERT_GE(lowest, 0);
  ::close(lowest);
  rlimit old{};
  ::getrlimit(RLIMIT_NOFILE, &old);
  rlimit tight = old;
  tight.rlim_cur = static_cast<rlim_t>(lowest) + 1;  // the device's descriptor, no more
  ::setrlimit(RLIMIT_NOFILE, &tight);
  EXPECT_THROW(port.Open(), EComPort);
  ::setrlimit(RLIMIT_NOFILE, &old);
  EXPECT_FALSE(port.Connected());
  const int next = ::dup(0);
  EXPECT_EQ(next, lowest) << "the device was closed";
  ::close(next);
  port.Open();
  EXPECT_TRUE(port.Connected());
  port.Close();
}
