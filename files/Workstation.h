// The workstation's port and speed (program INI file) and its named connections
// ("tvconn.ini"), both in the user's settings folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "serial/Speeds.h"

namespace tarvelo {

// $TARVELO_CONFIG_DIR, else $XDG_CONFIG_HOME/tarvelo, else ~/.config/tarvelo.
std::string ConfigDir();
std::string ProgramIniPath();      // "tarvelo.ini" there
std::string ConnectionsIniPath();  // "tvconn.ini" there

struct WorkstationSettings {
  std::string portName = "COM1";        // at most 6 characters
  int speedIndex = kDefaultSpeedIndex;  // one byte
  bool verifyAfterUpload = false;       // read the device back after every upload

  void SetPortName(const std::string& name) { portName = name.substr(0, 6); }
  std::string PanelText() const;  // "COM1 ( 19200 )"
};

WorkstationSettings LoadWorkstationSettings(const std::string& iniPath = ProgramIniPath());
void SaveWorkstationSettings(const WorkstationSettings& s,
                             const std::string& iniPath = ProgramIniPath());
// The check item of the settings menu is kept at once, whatever becomes of the database.
bool SaveVerifyAfterUpload(bool on, const std::string& iniPath = ProgramIniPath());

// One named connection as "tvconn.ini" holds it. Every reader goes through ReadConnection;
// only what a key the section lacks stands for differs between them, so that is what each
// names.
struct ConnectionDefaults {
  std::string port;
  std::string speed;  // one of the speed texts
};
// What the COM port dialog shows for a connection that names no port or no speed.
ConnectionDefaults PickedConnectionDefaults();

struct NamedConnection {
  std::string port;
  std::string speed;     // as stored: a text that is no speed text stays as it is
  std::string phone;     // empty when missing
  bool hasPort = false;  // the section has a "COM" key
};
// The connection names in file order, each once.
std::vector<std::string> ConnectionNames(const std::string& iniPath = ConnectionsIniPath());
// A name without a section reads as the defaults and no number.
NamedConnection ReadConnection(const std::string& name, const ConnectionDefaults& defaults,
                               const std::string& iniPath = ConnectionsIniPath());
// Writes the connection's keys with one save of the file, adding the section for a new name;
// other keys and sections stay as they were. A port or speed not given keeps what is stored.
// False when the file could not be written.
bool StoreConnection(const std::string& name, const std::optional<std::string>& port,
                     const std::optional<std::string>& speed, const std::string& phone,
                     const std::string& iniPath = ConnectionsIniPath());

// What looking up a named connection changed.
struct ConnectionLookup {
  bool looked = false;    // false for an empty name: nothing changed at all
  std::string phone;      // the terminal page's number field gets this
  bool showName = false;  // panel 2 shows the name (the section has a "COM" key)
};
ConnectionLookup LookupConnection(const std::string& name, WorkstationSettings& settings,
                                  const std::string& iniPath = ConnectionsIniPath());

}  // namespace tarvelo
