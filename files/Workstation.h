// The workstation's port and speed (program INI file) and its named connections
// ("tvconn.ini"), both in the user's settings folder.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace tarvelo {

constexpr int kSpeedCount = 10;
extern const std::array<const char*, kSpeedCount> kSpeedTexts;

std::string SpeedIndexToText(int index);        // "------" from 10 on
int SpeedTextToIndex(const std::string& text);  // 5 ("9600") when none is equal
// The baud rate a port opens at for a speed index. The table has eight entries; 8 and 9
// open at 57600 and 115200 rather than reading past its end, anything else at 19200.
int PortBaud(int speedIndex);

// $TARVELO_CONFIG_DIR, else $XDG_CONFIG_HOME/tarvelo, else ~/.config/tarvelo.
std::string ConfigDir();
std::string ProgramIniPath();      // "tarvelo.ini" there
std::string ConnectionsIniPath();  // "tvconn.ini" there

struct WorkstationSettings {
  std::string portName = "COM1";  // at most 6 characters
  int speedIndex = 6;             // one byte

  void SetPortName(const std::string& name) { portName = name.substr(0, 6); }
  std::string PanelText() const;  // "COM1 ( 19200 )"
};

WorkstationSettings LoadWorkstationSettings(const std::string& iniPath = ProgramIniPath());
void SaveWorkstationSettings(const WorkstationSettings& s,
                             const std::string& iniPath = ProgramIniPath());

// What looking up a named connection changed.
struct ConnectionLookup {
  bool looked = false;    // false for an empty name: nothing changed at all
  std::string phone;      // the terminal page's number field gets this
  bool showName = false;  // panel 2 shows the name (the section has a "COM" key)
};
ConnectionLookup LookupConnection(const std::string& name, WorkstationSettings& settings,
                                  const std::string& iniPath = ConnectionsIniPath());

}  // namespace tarvelo
