#include "serial/Speeds.h"

#include <termios.h>

#include <array>
#include <string_view>
#include <type_traits>

namespace tarvelo {
namespace {

static_assert(std::is_same_v<speed_t, unsigned>, "the speed code column holds speed_t");

constexpr unsigned kNoCode = B0;  // B0 hangs the line up; no rate is ever set with it

// The workstation's rows come first and stay where they are: their indexes and texts are
// stored in INI files. The rates past them are what the port component names, and what the
// classic termios interface names, for a port opened by rate (the command line, the
// benchmarks). 57600 and 115200 open at their own rates rather than at whatever lay past
// the end of a shorter list.
constexpr std::array<PortSpeed, 24> kTable = {{
    {0, "300", 300, br300, B300},         {1, "600", 600, br600, B600},
    {2, "1200", 1200, br1200, B1200},     {3, "2400", 2400, br2400, B2400},
    {4, "4800", 4800, br4800, B4800},     {5, "9600", 9600, br9600, B9600},
    {6, "19200", 19200, br19200, B19200}, {7, "38400", 38400, br38400, B38400},
    {8, "57600", 57600, br57600, B57600}, {9, "115200", 115200, br115200, B115200},
    {-1, "", 50, brCustom, B50},          {-1, "", 75, brCustom, B75},
    {-1, "", 110, br110, B110},           {-1, "", 134, brCustom, B134},
    {-1, "", 150, brCustom, B150},        {-1, "", 200, brCustom, B200},
    {-1, "", 1800, brCustom, B1800},      {-1, "", 14400, br14400, kNoCode},
    {-1, "", 56000, br56000, kNoCode},    {-1, "", 128000, br128000, kNoCode},
    {-1, "", 230400, brCustom, B230400},  {-1, "", 256000, br256000, kNoCode},
    {-1, "", 460800, brCustom, B460800},  {-1, "", 921600, brCustom, B921600},
}};

constexpr bool ListInOrder() {
  for (int i = 0; i < static_cast<int>(kTable.size()); ++i) {
    if (kTable[i].index != (i < kSpeedCount ? i : -1)) return false;
  }
  return true;
}
static_assert(ListInOrder(), "the speed list's rows lead the table, in index order");
static_assert(std::string_view(kTable[kSpeedIndex9600].text) == "9600");
static_assert(std::string_view(kTable[kSpeedIndex19200].text) == "19200");

}  // namespace

std::span<const PortSpeed> PortSpeeds() {
  return kTable;
}

std::span<const PortSpeed> WorkstationSpeeds() {
  return PortSpeeds().first(kSpeedCount);
}

std::string SpeedIndexToText(int index) {
  return (index >= 0 && index < kSpeedCount) ? kTable[index].text : "------";
}

int SpeedTextToIndex(const std::string& text) {
  for (const PortSpeed& s : WorkstationSpeeds()) {
    if (text == s.text) return s.index;
  }
  return kUnknownSpeedTextIndex;
}

const PortSpeed& PortSpeedFor(int speedIndex) {
  return kTable[(speedIndex >= 0 && speedIndex < kSpeedCount) ? speedIndex : kDefaultSpeedIndex];
}

const PortSpeed* PortSpeedOfBaud(int baud) {
  for (const PortSpeed& s : kTable) {
    if (s.baud == baud) return &s;
  }
  return nullptr;
}

int BaudRateValue(TBaudRate rate, int customBaudRate) {
  if (rate == brCustom) return customBaudRate;
  for (const PortSpeed& s : kTable) {
    if (s.rate == rate) return s.baud;
  }
  return customBaudRate;
}

TBaudRate BaudRateFor(int baud) {
  const PortSpeed* s = PortSpeedOfBaud(baud);
  return s ? s->rate : brCustom;
}

}  // namespace tarvelo
