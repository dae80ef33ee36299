#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "link/Connection.h"
#include "serial/Speeds.h"
#include "tests/serial/PtyPair.h"

using namespace tarvelo;

namespace {

speed_t SpeedOf(int fd) {
  termios t{};
  tcgetattr(fd, &t);
  return cfgetospeed(&t);
}

}  // namespace

// Every speed index reaches the device at its own rate, with the device's hardware flow
// control; a pseudo-terminal keeps what it is given, so the settings can be read back.
TEST(DeviceConnection, EachSpeedIndexAndTheFlowControlReachTheDevice) {
  const speed_t expected[kSpeedCount] = {B300,  B600,   B1200,  B2400,  B4800,
                                         B9600, B19200, B38400, B57600, B115200};
  PtyPair pty;
  ASSERT_FALSE(pty.path.empty());
  DeviceConnection connection;
  connection.SetEventThread(false);
  for (int index = 0; index < kSpeedCount; ++index) {
    SCOPED_TRACE(index);
    connection.BeginTransfer(pty.path, index);
    EXPECT_EQ(SpeedOf(pty.slave), expected[index]);
    termios t{};
    tcgetattr(pty.slave, &t);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
    connection.EndTransfer();
    EXPECT_FALSE(connection.IsOpen());
  }
  // A speed index the table lacks opens at 19200.
  connection.BeginTransfer(pty.path, 200);
  EXPECT_EQ(SpeedOf(pty.slave), B19200);
  connection.EndTransfer();
}

// Whoever opened the port closes it: a transfer leaves a port the terminal holds open, and
// closes one it opened itself.
TEST(DeviceConnection, ATransferClosesOnlyWhatItOpened) {
  PtyPair pty;
  DeviceConnection connection;
  connection.SetEventThread(false);

  connection.BeginTransfer(pty.path, kDefaultSpeedIndex);
  EXPECT_TRUE(connection.IsOpen());
  connection.EndTransfer();
  EXPECT_FALSE(connection.IsOpen());

  connection.Hold(pty.path, kDefaultSpeedIndex);
  connection.BeginTransfer(pty.path, kDefaultSpeedIndex);
  connection.EndTransfer();
  EXPECT_TRUE(connection.IsOpen()) << "the terminal still holds it";
  connection.CloseUnlessHeld();
  EXPECT_TRUE(connection.IsOpen());
  connection.Release();
  EXPECT_FALSE(connection.IsOpen());
  EXPECT_FALSE(connection.Held());

  // The terminal takes hold during a transfer: the port stays open afterwards.
  connection.BeginTransfer(pty.path, kDefaultSpeedIndex);
  connection.Hold(pty.path, kDefaultSpeedIndex);
  connection.EndTransfer();
  EXPECT_TRUE(connection.IsOpen());
  connection.Release();
}

TEST(DeviceConnection, AFailedOpenHoldsNothingAndKeepsTheSystemError) {
  DeviceConnection connection;
  EXPECT_THROW(connection.Hold("/nonexistent/ttyX", kDefaultSpeedIndex), EComPort);
  EXPECT_FALSE(connection.Held());
  EXPECT_FALSE(connection.IsOpen());
  EXPECT_EQ(connection.LastOpenError(), ENOENT);
  EXPECT_THROW(connection.BeginTransfer("/nonexistent/ttyX", kDefaultSpeedIndex), EComPort);
  connection.EndTransfer();  // nothing to close, nothing thrown
  EXPECT_FALSE(connection.IsOpen());
}

// An event thread that failed leaves the port closed and nothing held, and its error goes
// on to whoever shows errors: here, to whoever serves the hand-overs.
TEST(DeviceConnection, AnEventThreadFailureClosesThePortAndPassesTheErrorOn) {
  PtyPair pty;
  TComLink failing;
  failing.LinkRxBuf = [](TCustomComPort*, const uint8_t*, int) {
    throw std::runtime_error("handler failed");
  };
  DeviceConnection connection;
  // Hand-overs are queued here and served by the test, as the window's thread would.
  std::mutex mutex;
  std::deque<std::function<void()>> queue;
  connection.SetHandOver([&](std::function<void()> f) {
    std::lock_guard lock(mutex);
    queue.push_back(std::move(f));
  });
  std::vector<bool> openChanges;
  connection.OnOpenChanged([&](bool open) { openChanges.push_back(open); });
  std::exception_ptr passed;
  auto serveAll = [&] {
    for (int i = 0; i < 400 && connection.IsOpen(); ++i) {
      std::function<void()> f;
      {
        std::lock_guard lock(mutex);
        if (!queue.empty()) {
          f = std::move(queue.front());
          queue.pop_front();
        }
      }
      if (!f) {
        usleep(5000);
        continue;
      }
      try {
        f();
      } catch (...) {
        passed = std::current_exception();
      }
    }
  };
  connection.Bind(&failing);
  connection.Hold(pty.path, kDefaultSpeedIndex);
  pty.Send("x");
  serveAll();
  EXPECT_FALSE(connection.IsOpen());
  EXPECT_FALSE(connection.Held());
  ASSERT_TRUE(passed);
  EXPECT_THROW(std::rethrow_exception(passed), std::runtime_error);
  EXPECT_EQ(openChanges, (std::vector<bool>{true, false}));
  connection.Unbind(&failing);
  connection.SetHandOver(nullptr);
}

// With no hand-over the failure is reported on the event thread, which cannot close its own
// port (it would wait for itself): the program goes on, the port stays with its owner, and
// the next write fails where the user sees it.
TEST(DeviceConnection, AFailureReportedOnTheEventThreadLeavesThePortToItsOwner) {
  for (const bool noPoster : {true, false}) {
    SCOPED_TRACE(noPoster ? "no hand-over" : "served on the event thread");
    PtyPair pty;
    DeviceConnection connection;
    std::atomic<int> hangUps{0};
    TComLink watcher;
    // The hang-up is a failure of the event thread; the reader hears of the line going down
    // only when it closes.
    watcher.LinkConnChange = [&](TCustomComPort*, bool open) {
      if (!open) ++hangUps;
    };
    if (!noPoster) connection.SetHandOver([](std::function<void()> f) { f(); });
    connection.Bind(&watcher);
    connection.Hold(pty.path, kDefaultSpeedIndex);
    pty.CloseMaster();
    // Time for the event thread to find the line gone and report it.
    for (int i = 0; i < 60 && connection.Held() && connection.IsOpen(); ++i) usleep(5000);
    EXPECT_TRUE(connection.IsOpen());
    EXPECT_TRUE(connection.Held()) << "the owner releases it";
    EXPECT_EQ(hangUps, 0);
    EXPECT_THROW(connection.Write("x"), EComPort);
    connection.Release();
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(hangUps, 1);
    connection.Unbind(&watcher);
  }
}

// The terminal may talk with two stop bits and XON/XOFF to whatever is on the line; a
// transfer always talks to the device with one stop bit and hardware flow control, on a port
// the terminal holds as on one it opens itself, and the terminal gets its settings back
// afterwards. (A pseudo-terminal keeps 8 data bits and no parity whatever it is told, so
// those two cannot be read back here.)
TEST(DeviceConnection, TransfersUseTheDevicesLineWhateverTheTerminalChose) {
  PtyPair pty;
  ASSERT_FALSE(pty.path.empty());
  struct Line {
    tcflag_t size;
    bool parity, odd, twoStops, rtscts, xon;
  };
  auto lineOf = [&] {
    termios t{};
    tcgetattr(pty.slave, &t);
    return Line{t.c_cflag & CSIZE,          (t.c_cflag & PARENB) != 0,
                (t.c_cflag & PARODD) != 0,  (t.c_cflag & CSTOPB) != 0,
                (t.c_cflag & CRTSCTS) != 0, (t.c_iflag & IXON) != 0 && (t.c_iflag & IXOFF) != 0};
  };
  auto expectDevice = [&](const char* when) {
    SCOPED_TRACE(when);
    const Line l = lineOf();
    EXPECT_FALSE(l.twoStops);
    EXPECT_TRUE(l.rtscts);
    EXPECT_FALSE(l.xon);
  };
  auto expectTerminal = [&](const char* when) {
    SCOPED_TRACE(when);
    const Line l = lineOf();
    EXPECT_TRUE(l.twoStops);
    EXPECT_FALSE(l.rtscts);
    EXPECT_TRUE(l.xon);
  };
  DeviceConnection connection;
  connection.SetEventThread(false);
  const LineChoice terminal{std::nullopt, std::nullopt, sbTwoStopBits, fcSoftware};

  connection.Hold(pty.path, kDefaultSpeedIndex, terminal);
  expectTerminal("held by the terminal");
  connection.BeginTransfer(pty.path, kDefaultSpeedIndex);
  expectDevice("a transfer on the held port");
  connection.EndTransfer();
  expectTerminal("after the transfer");
  connection.BeginTransfer(pty.path, kDefaultSpeedIndex);
  connection.CloseUnlessHeld();  // a transfer that failed
  expectTerminal("after a failed transfer");
  connection.Release();

  // The terminal's settings do not linger for a transfer that opens the port itself.
  connection.BeginTransfer(pty.path, kDefaultSpeedIndex);
  expectDevice("a transfer opening the port");
  // The terminal takes hold meanwhile: the transfer goes on as it began, then the terminal's.
  connection.Hold(pty.path, kDefaultSpeedIndex, terminal);
  expectDevice("the terminal took hold during the transfer");
  connection.EndTransfer();
  expectTerminal("the transfer ended");
  connection.Release();

  // Some settings chosen, the rest the device's.
  connection.Hold(pty.path, kDefaultSpeedIndex, {std::nullopt, std::nullopt, std::nullopt, fcNone});
  const Line l = lineOf();
  EXPECT_FALSE(l.twoStops);
  EXPECT_FALSE(l.rtscts);
  EXPECT_FALSE(l.xon);
  connection.Release();
  connection.Hold(pty.path, kDefaultSpeedIndex);
  expectDevice("held with no choice of its own");
  connection.Release();
}
