#include "files/Workstation.h"

#include <cstdlib>

#include "files/IniFile.h"

namespace tarvelo {
namespace {
constexpr const char* kOptions = "OPTIONS";
constexpr const char* kVerify = "VERIFY";
}  // namespace

std::string SpeedIndexToText(int index) {
  return (index >= 0 && index < kSpeedCount) ? kPortSpeeds[index].text : "------";
}

int SpeedTextToIndex(const std::string& text) {
  for (const PortSpeed& s : kPortSpeeds) {
    if (text == s.text) return s.index;
  }
  return 5;
}

const PortSpeed& PortSpeedFor(int speedIndex) {
  constexpr int kFallback = 6;  // 19200
  return kPortSpeeds[(speedIndex >= 0 && speedIndex < kSpeedCount) ? speedIndex : kFallback];
}

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
      static_cast<unsigned long>(ini.ReadInteger("CONNECTION", "COMSP", 6)) & 0xFF);
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

ConnectionLookup LookupConnection(const std::string& name, WorkstationSettings& settings,
                                  const std::string& iniPath) {
  ConnectionLookup result;
  if (name.empty()) return result;
  result.looked = true;
  const IniFile ini(iniPath);
  settings.SetPortName(ini.ReadString(name, "COM", settings.portName));
  settings.speedIndex =
      SpeedTextToIndex(ini.ReadString(name, "SPEED", SpeedIndexToText(settings.speedIndex)));
  result.phone = ini.ReadString(name, "PHONE", "");
  result.showName = ini.HasKey(name, "COM");
  return result;
}

}  // namespace tarvelo
