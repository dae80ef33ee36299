// Every line speed the program knows, in one table: the workstation's speed list (an index
// and the text the INI files and the speed list hold), the rate in bits per second, the
// port component's name for it and the system's own speed code.
#pragma once

#include <span>
#include <string>

#include "serial/ComTypes.h"

namespace tarvelo {

struct PortSpeed {
  int index;             // in the workstation's speed list; -1 for a rate the list lacks
  const char* text;      // what the INI files and the speed list hold; "" when index is -1
  int baud;              // bits per second
  TBaudRate rate;        // brCustom when the port component names no constant for it
  unsigned systemSpeed;  // the classic termios code; 0 when only the extended call sets it
};

// The workstation's speed list: "300" … "115200", indexes 0..9. Stored INI files hold
// these indexes and texts, so a row never moves.
constexpr int kSpeedCount = 10;
constexpr int kSpeedIndex9600 = 5;
constexpr int kSpeedIndex19200 = 6;
// What a first run uses, and what an index past the list opens at.
constexpr int kDefaultSpeedIndex = kSpeedIndex19200;
// What a speed text that is not on the list stands for.
constexpr int kUnknownSpeedTextIndex = kSpeedIndex9600;

// Every row: the workstation's list first, in index order, then the other rates.
std::span<const PortSpeed> PortSpeeds();
// The workstation's list alone.
std::span<const PortSpeed> WorkstationSpeeds();

std::string SpeedIndexToText(int index);        // "------" from 10 on
int SpeedTextToIndex(const std::string& text);  // kUnknownSpeedTextIndex when none is equal
// The speed a port opens at for a speed index; one outside the list opens at the default.
const PortSpeed& PortSpeedFor(int speedIndex);
// The row of a rate in bits per second; nullptr when the table has none.
const PortSpeed* PortSpeedOfBaud(int baud);

// The integer rate of a TBaudRate (`customBaudRate` for brCustom), and the TBaudRate of an
// integer rate (brCustom when no constant names it).
int BaudRateValue(TBaudRate rate, int customBaudRate);
TBaudRate BaudRateFor(int baud);

}  // namespace tarvelo
