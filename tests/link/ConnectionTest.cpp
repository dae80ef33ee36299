#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>

#include "files/Workstation.h"
#include "link/Connection.h"
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
  connection.port().SetEvents(0);
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
  connection.port().SetEvents(0);

  connection.BeginTransfer(pty.path, 6);
  EXPECT_TRUE(connection.IsOpen());
  connection.EndTransfer();
  EXPECT_FALSE(connection.IsOpen());

  connection.Hold(pty.path, 6);
  connection.BeginTransfer(pty.path, 6);
  connection.EndTransfer();
  EXPECT_TRUE(connection.IsOpen()) << "the terminal still holds it";
  connection.CloseUnlessHeld();
  EXPECT_TRUE(connection.IsOpen());
  connection.Release();
  EXPECT_FALSE(connection.IsOpen());
  EXPECT_FALSE(connection.Held());

  // The terminal takes hold during a transfer: the port stays open afterwards.
  connection.BeginTransfer(pty.path, 6);
  connection.Hold(pty.path, 6);
  connection.EndTransfer();
  EXPECT_TRUE(connection.IsOpen());
  connection.Release();
}

TEST(DeviceConnection, AFailedOpenHoldsNothingAndKeepsTheSystemError) {
  DeviceConnection connection;
  EXPECT_THROW(connection.Hold("/nonexistent/ttyX", 6), EComPort);
  EXPECT_FALSE(connection.Held());
  EXPECT_FALSE(connection.IsOpen());
  EXPECT_EQ(connection.LastOpenError(), ENOENT);
  EXPECT_THROW(connection.BeginTransfer("/nonexistent/ttyX", 6), EComPort);
  connection.EndTransfer();  // nothing to close, nothing thrown
  EXPECT_FALSE(connection.IsOpen());
}

// An event thread that failed leaves the port closed and nothing held, and its error goes
// on to whoever shows errors.
TEST(DeviceConnection, AnEventThreadFailureClosesThePortAndPassesTheErrorOn) {
  PtyPair pty;
  DeviceConnection connection;
  TComPort& port = connection.port();
  // Hand-overs are queued here and served by the test, as the window's thread would.
  std::mutex mutex;
  std::deque<std::function<void()>> queue;
  port.SetSyncPoster([&](std::function<void()> f) {
    std::lock_guard lock(mutex);
    queue.push_back(std::move(f));
  });
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
      if (f) {
        f();
      } else {
        usleep(5000);
      }
    }
  };
  port.OnRxChar = [](TCustomComPort*, int) { throw std::runtime_error("handler failed"); };
  connection.Hold(pty.path, 6);
  std::exception_ptr passed;
  port.OnThreadFailure = [&, inner = port.OnThreadFailure](TCustomComPort* p,
                                                           std::exception_ptr e) {
    try {
      inner(p, e);
    } catch (...) {
      passed = std::current_exception();
    }
  };
  pty.Send("x");
  serveAll();
  EXPECT_FALSE(connection.IsOpen());
  EXPECT_FALSE(connection.Held());
  ASSERT_TRUE(passed);
  EXPECT_THROW(std::rethrow_exception(passed), std::runtime_error);
}

// With no hand-over the failure is reported on the event thread, which cannot close its own
// port (it would wait for itself): the program goes on, and the port closes later as usual.
TEST(DeviceConnection, AFailureReportedOnTheEventThreadLeavesThePortToItsOwner) {
  for (const bool noPoster : {true, false}) {
    SCOPED_TRACE(noPoster ? "no hand-over" : "smNone");
    PtyPair pty;
    DeviceConnection connection;
    TComPort& port = connection.port();
    if (!noPoster) {
      port.SetSyncMethod(smNone);
      port.SetSyncPoster([](std::function<void()> f) { f(); });
    }
    std::atomic<int> reports{0};
    port.OnThreadFailure = [&, inner = port.OnThreadFailure](TCustomComPort* p,
                                                             std::exception_ptr e) {
      ++reports;
      inner(p, e);
    };
    connection.Hold(pty.path, 6);
    pty.CloseMaster();
    for (int i = 0; i < 200 && reports == 0; ++i) usleep(5000);
    EXPECT_EQ(reports, 1);
    EXPECT_TRUE(connection.IsOpen());
    EXPECT_TRUE(connection.Held()) << "the owner releases it";
    connection.Release();
    EXPECT_FALSE(connection.IsOpen());
  }
}
