// The one speed table: the workstation's list as stored INI files hold it, every row's rate
// in each of its names, and every rate reaching a line.
#include <gtest/gtest.h>
#include <termios.h>

#include <set>
#include <string>

#include "serial/ComPort.h"
#include "serial/Speeds.h"
#include "tests/serial/PtyPair.h"

using namespace tarvelo;

// Stored INI files hold these indexes ("COMSP") and texts ("SPEED"): neither may move.
TEST(Speeds, TheWorkstationListIsAsStored) {
  const char* const texts[kSpeedCount] = {"300",  "600",   "1200",  "2400",  "4800",
                                          "9600", "19200", "38400", "57600", "115200"};
  ASSERT_EQ(WorkstationSpeeds().size(), size_t{kSpeedCount});
  for (int i = 0; i < kSpeedCount; ++i) {
    SCOPED_TRACE(i);
    const PortSpeed& row = WorkstationSpeeds()[i];
    EXPECT_EQ(row.index, i);
    EXPECT_STREQ(row.text, texts[i]);
    EXPECT_EQ(std::to_string(row.baud), texts[i]);
    EXPECT_EQ(SpeedIndexToText(i), texts[i]);
    EXPECT_EQ(SpeedTextToIndex(texts[i]), i);
    EXPECT_EQ(&PortSpeedFor(i), &row);
  }
  EXPECT_EQ(SpeedIndexToText(kSpeedIndex9600), "9600");
  EXPECT_EQ(SpeedIndexToText(kSpeedIndex19200), "19200");
  EXPECT_EQ(kDefaultSpeedIndex, 6) << "a first run stores COMSP=6";
  EXPECT_EQ(kUnknownSpeedTextIndex, 5);

  // Past the list: no text, and the port opens at the default.
  for (int index : {-1, kSpeedCount, 200, 255}) {
    SCOPED_TRACE(index);
    if (index >= 0) {
      EXPECT_EQ(SpeedIndexToText(index), "------");
    }
    EXPECT_EQ(PortSpeedFor(index).baud, 19200);
  }
  // A text is equal or not at all: no trimming, no number parsing.
  for (const char* text : {"9601", " 300", "300 ", "", "0300", "19200.0", "------"}) {
    EXPECT_EQ(SpeedTextToIndex(text), kUnknownSpeedTextIndex) << '"' << text << '"';
  }
  // Rates the list lacks have no index and no text.
  for (const PortSpeed& row : PortSpeeds().subspan(kSpeedCount)) {
    EXPECT_EQ(row.index, -1) << row.baud;
    EXPECT_STREQ(row.text, "") << row.baud;
  }
}

// Each rate is one row, and its names lead back to it: the number, the port component's
// constant and the system's code.
TEST(Speeds, EveryRateHasOneRowAndItsNamesAgree) {
  std::set<int> bauds;
  std::set<TBaudRate> rates;
  std::set<unsigned> codes;
  for (const PortSpeed& row : PortSpeeds()) {
    SCOPED_TRACE(row.baud);
    EXPECT_TRUE(bauds.insert(row.baud).second) << "one row per rate";
    EXPECT_EQ(PortSpeedOfBaud(row.baud), &row);
    EXPECT_EQ(BaudRateFor(row.baud), row.rate);
    if (row.rate != brCustom) {
      EXPECT_TRUE(rates.insert(row.rate).second);
      EXPECT_EQ(BaudRateValue(row.rate, 1), row.baud);
    }
    if (row.systemSpeed != B0) {
      EXPECT_TRUE(codes.insert(row.systemSpeed).second);
    }
  }
  // Every constant but brCustom names a row; brCustom and rates without a row use the
  // custom rate.
  EXPECT_EQ(rates.size(), size_t{br256000});
  EXPECT_EQ(BaudRateValue(brCustom, 12345), 12345);
  EXPECT_EQ(BaudRateFor(12345), brCustom);
  EXPECT_EQ(PortSpeedOfBaud(12345), nullptr);
  // The rates the device and the workstation use have their classic codes.
  EXPECT_EQ(PortSpeedFor(kSpeedIndex9600).systemSpeed, B9600);
  EXPECT_EQ(PortSpeedFor(kSpeedIndex19200).systemSpeed, B19200);
  EXPECT_EQ(PortSpeedFor(9).systemSpeed, B115200);
}

// Every row opens a line at its rate: with its code where the classic interface names one,
// and through the extended call, not some neighbouring code, where it does not.
TEST(Speeds, EveryRowOpensALineAtItsRate) {
  std::set<unsigned> codes;
  for (const PortSpeed& row : PortSpeeds()) {
    if (row.systemSpeed != B0) codes.insert(row.systemSpeed);
  }
  PtyPair pty;
  ASSERT_FALSE(pty.path.empty());
  TComPort port;
  port.SetEvents(0);
  port.SetPort(pty.path);
  for (const PortSpeed& row : PortSpeeds()) {
    SCOPED_TRACE(row.baud);
    port.SetCustomBaudRate(row.baud);
    port.SetBaudRate(row.rate);
    ASSERT_NO_THROW(port.Open());
    termios t{};
    ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
    if (row.systemSpeed != B0) {
      EXPECT_EQ(cfgetospeed(&t), row.systemSpeed);
    } else {
      EXPECT_EQ(codes.count(cfgetospeed(&t)), 0u) << "a rate of its own";
    }
    port.Close();
  }
}
