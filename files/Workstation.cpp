#include "files/Workstation.h"

#include <strings.h>

#include <cstdlib>

#include "files/IniFile.h"
#include "model/Codecs.h"
#include "model/Text.h"

namespace tarvelo {
namespace {
constexpr const char* kOptions = "OPTIONS";
constexpr const char* kVerify = "VERIFY";
constexpr const char* kPortKey = "COM";
constexpr const char* kSpeedKey = "SPEED";
constexpr const char* kPhoneKey = "PHONE";
constexpr const char* kNetPortKey = "NETPORT";
constexpr const char* kNetSpeedKey = "NETSPEED";
constexpr const char* kDataBitsKey = "DATABITS";
constexpr const char* kParityKey = "PARITY";
constexpr const char* kStopBitsKey = "STOPBITS";
constexpr const char* kFlowKey = "FLOW";

// The stored words of each line setting, one row per value.
template <typename T>
struct Word {
  T value;
  const char* text;
};
constexpr Word<TDataBits> kDataBitsWords[] = {
    {dbFive, "5"}, {dbSix, "6"}, {dbSeven, "7"}, {dbEight, "8"}};
constexpr Word<TParityBits> kParityWords[] = {
    {prNone, "NONE"}, {prOdd, "ODD"}, {prEven, "EVEN"}, {prMark, "MARK"}, {prSpace, "SPACE"}};
constexpr Word<TStopBits> kStopBitsWords[] = {
    {sbOneStopBit, "1"}, {sbOne5StopBits, "1.5"}, {sbTwoStopBits, "2"}};
constexpr Word<TFlowControl> kFlowWords[] = {
    {fcHardware, "RTSCTS"}, {fcSoftware, "XONXOFF"}, {fcNone, "NONE"}};

template <typename T, size_t N>
std::optional<T> FromWord(const IniFile& ini, const std::string& section, const char* key,
                          const Word<T> (&words)[N]) {
  const std::string text = ini.ReadString(section, key, "");
  for (const Word<T>& w : words) {
    if (strcasecmp(text.c_str(), w.text) == 0) return w.value;
  }
  return std::nullopt;
}

template <typename T, size_t N>
const char* ToWord(T value, const Word<T> (&words)[N]) {
  for (const Word<T>& w : words) {
    if (w.value == value) return w.text;
  }
  return nullptr;
}

LineChoice ReadLine(const IniFile& ini, const std::string& section) {
  LineChoice line;
  line.dataBits = FromWord(ini, section, kDataBitsKey, kDataBitsWords);
  line.parity = FromWord(ini, section, kParityKey, kParityWords);
  line.stopBits = FromWord(ini, section, kStopBitsKey, kStopBitsWords);
  line.flow = FromWord(ini, section, kFlowKey, kFlowWords);
  return line;
}

// The keys a section gets and loses when it is given these line settings.
struct SectionEdit {
  std::vector<std::pair<std::string, std::string>> set;
  std::vector<std::string> remove;
};

template <typename T, size_t N>
void EditWord(SectionEdit& edit, const char* key, const std::optional<T>& value,
              const Word<T> (&words)[N]) {
  const char* word = value ? ToWord(*value, words) : nullptr;
  if (word) {
    edit.set.emplace_back(key, word);
  } else {
    edit.remove.emplace_back(key);
  }
}

void EditLine(SectionEdit& edit, const LineChoice& line) {
  EditWord(edit, kDataBitsKey, line.dataBits, kDataBitsWords);
  EditWord(edit, kParityKey, line.parity, kParityWords);
  EditWord(edit, kStopBitsKey, line.stopBits, kStopBitsWords);
  EditWord(edit, kFlowKey, line.flow, kFlowWords);
}

// The original's field holds a serial port's short name; whatever else is stored beside it.
bool FitsOriginalPortField(const std::string& name) {
  return !IsNetworkPortName(name) && name.size() <= 6;
}

// A section that names a network address and no serial port.
bool HoldsNetworkPort(const IniFile& ini, const std::string& name) {
  return !ini.HasKey(name, kPortKey) && ini.HasKey(name, kNetPortKey);
}

bool HasSection(const IniFile& ini, const std::string& name) {
  const std::string wanted = TrimBlanks(name);
  for (const std::string& section : ini.ReadSections()) {
    if (section.size() != wanted.size()) continue;
    bool same = true;
    for (size_t i = 0; i < section.size() && same; ++i) {
      same = Cp1250Lower(section[i]) == Cp1250Lower(wanted[i]);
    }
    if (same) return true;
  }
  return false;
}

SectionEdit EditFor(const IniFile& ini, const std::string& name, const ConnectionEntry& entry) {
  SectionEdit edit;
  const bool network =
      entry.port ? !FitsOriginalPortField(*entry.port) : HoldsNetworkPort(ini, name);
  if (entry.port) {
    edit.set.emplace_back(network ? kNetPortKey : kPortKey, *entry.port);
    if (network) {
      edit.remove = {kPortKey, kSpeedKey};
    } else {
      edit.remove = {kNetPortKey, kNetSpeedKey};
    }
  }
  if (entry.speed) edit.set.emplace_back(network ? kNetSpeedKey : kSpeedKey, *entry.speed);
  // A stored connection without a number already reads as none.
  if (!entry.phone.empty() || !HasSection(ini, name) || ini.HasKey(name, kPhoneKey)) {
    edit.set.emplace_back(kPhoneKey, entry.phone);
  }
  EditLine(edit, entry.line);
  return edit;
}

}  // namespace

std::string ShortPortName(const std::string& name) {
  const auto scheme = name.find("://");
  if (scheme == std::string::npos) return name;
  const std::string kind = name.substr(0, scheme);
  return (kind == "socket" ? std::string("tcp") : kind) + " " + name.substr(scheme + 3);
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
  return ShortPortName(portName) + " ( " + SpeedIndexToText(speedIndex) + " )";
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
  s.terminalLine = ReadLine(ini, "CONNECTION");
  return s;
}

bool SaveVerifyAfterUpload(bool on, const std::string& iniPath) {
  IniFile ini(iniPath);
  return ini.WriteInteger(kOptions, kVerify, on ? 1 : 0);
}

void SaveWorkstationSettings(const WorkstationSettings& s, const std::string& iniPath) {
  IniFile ini(iniPath);
  SectionEdit edit;
  edit.set = {{"COMNR", s.portName}, {"COMSP", std::to_string(s.speedIndex)}};
  EditLine(edit, s.terminalLine);
  ini.UpdateSection("CONNECTION", edit.set, edit.remove);
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
  const bool network = HoldsNetworkPort(ini, name);
  c.port = ini.ReadString(name, network ? kNetPortKey : kPortKey, defaults.port);
  c.speed = ini.ReadString(name, network ? kNetSpeedKey : kSpeedKey, defaults.speed);
  c.phone = ini.ReadString(name, kPhoneKey, "");
  c.hasPort = network || ini.HasKey(name, kPortKey);
  c.line = ReadLine(ini, name);
  c.exists = HasSection(ini, name);
  return c;
}

bool StoreConnection(const std::string& name, const ConnectionEntry& entry,
                     const std::string& iniPath) {
  IniFile ini(iniPath);
  const SectionEdit edit = EditFor(ini, name, entry);
  return ini.UpdateSection(name, edit.set, edit.remove);
}

bool ConnectionHolds(const std::string& name, const ConnectionEntry& entry,
                     const std::string& iniPath) {
  const IniFile ini(iniPath);
  if (!HasSection(ini, name)) return false;
  const SectionEdit edit = EditFor(ini, name, entry);
  for (const auto& [key, value] : edit.set) {
    if (!ini.HasKey(name, key) || ini.ReadString(name, key, "") != value) return false;
  }
  for (const std::string& key : edit.remove) {
    if (ini.HasKey(name, key)) return false;
  }
  return true;
}

bool RenameConnection(const std::string& from, const std::string& to, const std::string& iniPath) {
  IniFile ini(iniPath);
  return ini.RenameSection(from, to);
}

bool RemoveConnection(const std::string& name, const std::string& iniPath) {
  IniFile ini(iniPath);
  return ini.RemoveSection(name);
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
  // Like the port, the terminal's line stays as it was for a name the file does not have.
  if (c.exists) settings.terminalLine = c.line;
  result.phone = c.phone;
  result.showName = c.hasPort;
  return result;
}

}  // namespace tarvelo
