// The workstation's port and speed (program INI file) and its named connections
// ("tvconn.ini"), both in the user's settings folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "serial/ComTypes.h"
#include "serial/PortLine.h"
#include "serial/Speeds.h"

namespace tarvelo {

// $TARVELO_CONFIG_DIR, else $XDG_CONFIG_HOME/tarvelo, else ~/.config/tarvelo.
std::string ConfigDir();
std::string ProgramIniPath();      // "tarvelo.ini" there
std::string ConnectionsIniPath();  // "tvconn.ini" there

// How a panel shows a port: "rfc2217 10.0.0.5:4001", "tcp 10.0.0.5:4001"; a serial port's
// name as it is.
std::string ShortPortName(const std::string& name);

struct WorkstationSettings {
  std::string portName = "COM1";        // a serial port's name, at most 6 characters
  int speedIndex = kDefaultSpeedIndex;  // one byte
  bool verifyAfterUpload = false;       // read the device back after every upload
  LineChoice terminalLine;              // what the terminal opens with; empty: the device's

  // A serial port's name is cut to the original's field; a network address would be spoilt
  // by that and is kept whole.
  void SetPortName(const std::string& name) {
    portName = IsNetworkPortName(name) ? name : name.substr(0, 6);
  }
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
//
// A serial port is kept as the original keeps it ("COM" and "SPEED"). A name that does not fit
// the original's field (a network address) goes into "NETPORT" and its speed into
// "NETSPEED", and the section then has no "COM" or "SPEED": an older reader finds no port in
// it and leaves the workstation's port and speed as they were. A section with "COM" is a
// serial connection whatever else it holds (an older program that saved it last chose that
// port). The terminal's data bits, parity, stop bits and flow control are "DATABITS" (5..8),
// "PARITY" (NONE, ODD, EVEN, MARK, SPACE), "STOPBITS" (1, 1.5, 2) and "FLOW" (RTSCTS,
// XONXOFF, NONE); a key that is absent or unreadable stands for the device's setting.
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
  bool hasPort = false;  // the section names a port
  LineChoice line;
  bool exists = false;  // the file has such a section
};
// The connection names in file order, each once.
std::vector<std::string> ConnectionNames(const std::string& iniPath = ConnectionsIniPath());
// A name without a section reads as the defaults and no number.
NamedConnection ReadConnection(const std::string& name, const ConnectionDefaults& defaults,
                               const std::string& iniPath = ConnectionsIniPath());

// What storing a connection writes. A port or speed not given keeps what is stored.
struct ConnectionEntry {
  std::optional<std::string> port;
  std::optional<std::string> speed;
  std::string phone;
  LineChoice line;
};
// Writes the connection's keys with one save of the file, adding the section for a new name;
// other keys and sections stay as they were, and so does the file when nothing changes.
// False when the file could not be written.
bool StoreConnection(const std::string& name, const ConnectionEntry& entry,
                     const std::string& iniPath = ConnectionsIniPath());
// The file has the connection, and storing the entry would change nothing in it.
bool ConnectionHolds(const std::string& name, const ConnectionEntry& entry,
                     const std::string& iniPath = ConnectionsIniPath());
// False when there is no such connection or the file could not be written.
bool RenameConnection(const std::string& from, const std::string& to,
                      const std::string& iniPath = ConnectionsIniPath());
bool RemoveConnection(const std::string& name, const std::string& iniPath = ConnectionsIniPath());

// What looking up a named connection changed.
struct ConnectionLookup {
  bool looked = false;    // false for an empty name: nothing changed at all
  std::string phone;      // the terminal page's number field gets this
  bool showName = false;  // panel 2 shows the name (the section names a port)
};
ConnectionLookup LookupConnection(const std::string& name, WorkstationSettings& settings,
                                  const std::string& iniPath = ConnectionsIniPath());

}  // namespace tarvelo
