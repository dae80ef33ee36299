#include "files/Workstation.h"

#include <cstdlib>

#include "files/IniFile.h"

namespace tarvelo {
namespace {
constexpr const char* kOptions = "OPTIONS";
constexpr const char* kVerify = "VERIFY";
constexpr const char* kPortKey = "COM";
constexpr const char* kSpeedKey = "SPEED";
constexpr const char* kPhoneKey = "PHONE";
}  // namespace

std::string ConfigDir() {
  if (const char* dir = std::getenv("TARVELO_CONFIG_DIR"); dir && *dir) return dir;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    return std::string(xdg) + "/tarvelo";
  }
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config/tarvelo";
}

std::string ProgramIniPath() {
  return ConfigDir() + "/tarvelo.ini";
}
std::string ConnectionsIniPath() {
  return ConfigDir() + "/tvconn.ini";
}

std::string WorkstationSettings::PanelText() const {
  return portName + " ( " + SpeedIndexToText(speedIndex) + " )";
}

WorkstationSettings LoadWorkstationSettings(const std::string& iniPath) {
  const IniFile ini(iniPath);
  WorkstationSettings s;
  s.SetPortName(ini.ReadString("CONNECTION", "COMNR", "COM1"));
  // The index is one byte wide.
  s.speedIndex = static_cast<int>(
      static_cast<unsigned long>(ini.ReadInteger("CONNECTION", "COMSP", kDefaultSpeedIndex)) &
      0xFF);
  s.verifyAfterUpload = ini.ReadInteger(kOptions, kVerify, 0) != 0;
  return s;
}

bool SaveVerifyAfterUpload(bool on, const std::string& iniPath) {
  IniFile ini(iniPath);
  return ini.WriteInteger(kOptions, kVerify, on ? 1 : 0);
}

void SaveWorkstationSettings(const WorkstationSettings& s, const std::string& iniPath) {
  IniFile ini(iniPath);
  ini.WriteString("CONNECTION", "COMNR", s.portName);
  ini.WriteInteger("CONNECTION", "COMSP", s.speedIndex);
}

ConnectionDefaults PickedConnectionDefaults() {
  return {"COM1", SpeedIndexToText(kSpeedIndex9600)};
}

std::vector<std::string> ConnectionNames(const std::string& iniPath) {
  return IniFile(iniPath).ReadSections();
}

NamedConnection ReadConnection(const std::string& name, const ConnectionDefaults& defaults,
                               const std::string& iniPath) {
  const IniFile ini(iniPath);
  NamedConnection c;
  c.port = ini.ReadString(name, kPortKey, defaults.port);
  c.speed = ini.ReadString(name, kSpeedKey, defaults.speed);
  c.phone = ini.ReadString(name, kPhoneKey, "");
  c.hasPort = ini.HasKey(name, kPortKey);
  return c;
}

bool StoreConnection(const std::string& name, const std::optional<std::string>& port,
                     const std::optional<std::string>& speed, const std::string& phone,
                     const std::string& iniPath) {
  std::vector<std::pair<std::string, std::string>> keys;
  if (port) keys.emplace_back(kPortKey, *port);
  if (speed) keys.emplace_back(kSpeedKey, *speed);
  keys.emplace_back(kPhoneKey, phone);
  IniFile ini(iniPath);
  return ini.WriteStrings(name, keys);
}

ConnectionLookup LookupConnection(const std::string& name, WorkstationSettings& settings,
                                  const std::string& iniPath) {
  ConnectionLookup result;
  if (name.empty()) return result;
  result.looked = true;
  // A key the connection lacks leaves the workstation's value as it is.
  const NamedConnection c =
      ReadConnection(name, {settings.portName, SpeedIndexToText(settings.speedIndex)}, iniPath);
  settings.SetPortName(c.port);
  settings.speedIndex = SpeedTextToIndex(c.speed);
  result.phone = c.phone;
  result.showName = c.hasPort;
  return result;
}

}  // namespace tarvelo
