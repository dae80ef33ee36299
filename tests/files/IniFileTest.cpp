#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "files/IniFile.h"
#include "files/Workstation.h"
#include "serial/ComPort.h"
#include "tests/TempDirTest.h"

using namespace tarvelo;
namespace fs = std::filesystem;

namespace {

using IniTest = TempDirTest;

// As another program writes them: comments, odd case, blank lines, CRLF, spaces around "=".
const char* const kForeign =
    "; connections of the office\r\n"
    "[Iroda]\r\n"
    "Com = COM2\r\n"
    "speed=9600\r\n"
    "\r\n"
    "[telephely B]\r\n"
    "; dial-up\r\n"
    "COM=COM3\r\n"
    "PHONE=\"06 1 234 5678\"\r\n"
    "\r\n"
    "[IRODA]\r\n"
    "COM=ignored, the first section of a name counts\r\n";

}  // namespace

TEST_F(IniTest, ReadsLikeTheFormatsOtherUsers) {
  Put(Path("a.ini"), kForeign);
  const IniFile ini(Path("a.ini"));
  EXPECT_EQ(ini.ReadString("iroda", "COM", "x"), "COM2");
  EXPECT_EQ(ini.ReadString("IRODA", "Speed", "x"), "9600");
  EXPECT_EQ(ini.ReadString("Telephely b", "phone", "x"), "06 1 234 5678");
  EXPECT_EQ(ini.ReadString("Iroda", "PHONE", "none"), "none");
  EXPECT_EQ(ini.ReadString("missing", "COM", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadInteger("Iroda", "SPEED", 1), 9600);
  EXPECT_EQ(ini.ReadInteger("Iroda", "COM", 7), 7);
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Iroda", "telephely B"}));
  EXPECT_TRUE(IniFile(Path("missing.ini")).ReadSections().empty());
  // A section's keys, to refuse those a reader does not know: the first section of a name,
  // each key once, comments and text without "=" left out.
  const IniFile keys =
      IniFile::FromText(std::string(kForeign) + "[Harmadik]\nA=1\nnot a key\na=2\n\n; B=3\nC=\n");
  EXPECT_EQ(keys.ReadKeys("IRODA"), (std::vector<std::string>{"Com", "speed"}));
  EXPECT_EQ(keys.ReadKeys("telephely b"), (std::vector<std::string>{"COM", "PHONE"}));
  EXPECT_EQ(keys.ReadKeys("Harmadik"), (std::vector<std::string>{"A", "C"}));
  EXPECT_TRUE(keys.ReadKeys("missing").empty());
}

TEST_F(IniTest, WritingAKeyKeepsEveryOtherLine) {
  Put(Path("a.ini"), kForeign);
  IniFile ini(Path("a.ini"));
  ASSERT_TRUE(ini.WriteString("IRODA", "speed", "19200"));       // replaced in place
  ASSERT_TRUE(ini.WriteString("telephely b", "SPEED", "2400"));  // added to the section
  ASSERT_TRUE(ini.WriteString("Új", "COM", "USB0"));             // a new section at the end
  const std::string expected =
      "; connections of the office\r\n"
      "[Iroda]\r\n"
      "Com = COM2\r\n"
      "speed=19200\r\n"
      "\r\n"
      "[telephely B]\r\n"
      "; dial-up\r\n"
      "COM=COM3\r\n"
      "PHONE=\"06 1 234 5678\"\r\n"
      "SPEED=2400\r\n"
      "\r\n"
      "[IRODA]\r\n"
      "COM=ignored, the first section of a name counts\r\n"
      "\r\n"
      "[Új]\r\n"
      "COM=USB0\r\n";
  EXPECT_EQ(Slurp(Path("a.ini")), expected);
  EXPECT_EQ(IniFile(Path("a.ini")).ReadString("Új", "com", ""), "USB0");
}

// A header is read without its blanks, so a name typed with blanks around it (or made only of
// blanks) must still find the section it wrote: each key once, in one section.
TEST_F(IniTest, SectionNamesWithBlanksFindTheirOwnSection) {
  IniFile ini(Path("tvconn.ini"));
  for (const char* name : {" Pécs ", "   "}) {
    for (const char* key : {"COM", "SPEED", "PHONE", "COM"})
      ASSERT_TRUE(ini.WriteString(name, key, std::string(key) + "!"));
  }
  EXPECT_EQ(Slurp(Path("tvconn.ini")),
            "[ Pécs ]\nCOM=COM!\nSPEED=SPEED!\nPHONE=PHONE!\n\n"
            "[   ]\nCOM=COM!\nSPEED=SPEED!\nPHONE=PHONE!\n");
  const IniFile again(Path("tvconn.ini"));
  EXPECT_EQ(again.ReadSections(), (std::vector<std::string>{"Pécs", ""}));
  EXPECT_EQ(again.ReadString(" Pécs ", "PHONE", "x"), "PHONE!");
  EXPECT_EQ(again.ReadString("Pécs", "PHONE", "x"), "PHONE!");
  EXPECT_EQ(again.ReadString("  ", "COM", "x"), "COM!");
}

// Connection names are Windows-1250 text, and a name typed in capitals finds its section
// whatever its accented letters.
TEST_F(IniTest, NamesMatchInEitherCaseAccentedLettersToo) {
  IniFile ini(Path("tvconn.ini"));
  // "Árvíztűrő Łódź Šilheř" and the same in capitals, in Windows-1250.
  const std::string lower =
      "\xC1rv\xEDzt\xFBr\xF5 \xA3\xF3"
      "d\x9F \x8Ailhe\xF8";
  const std::string upper =
      "\xC1RV\xCDZT\xDBR\xD5 \xA3\xD3"
      "D\x8F \x8AILHE\xD8";
  ASSERT_TRUE(ini.WriteString(lower, "PHONE", "1"));
  ASSERT_TRUE(ini.WriteString(upper, "PHONE", "2"));
  EXPECT_EQ(IniFile(Path("tvconn.ini")).ReadSections(), std::vector<std::string>{lower});
  EXPECT_EQ(IniFile(Path("tvconn.ini")).ReadString(lower, "phone", ""), "2");
  // Signs are no letters: the multiplication sign is not the division sign's capital.
  ASSERT_TRUE(
      ini.WriteString("a\xD7"
                      "b",
                      "PHONE", "3"));
  EXPECT_EQ(IniFile(Path("tvconn.ini"))
                .ReadString("a\xF7"
                            "b",
                            "PHONE", "none"),
            "none");
}

// A connection list as large as a settings file may be, names alike up to their last
// characters: every name once, in file order, a repeat in other letter case left out.
TEST_F(IniTest, ThousandsOfSectionsAreListedOnce) {
  const std::string prefix = "\xC1rv\xEDzt\xFBr\xF5 t\xFCk\xF6rf\xFAr\xF3g\xE9p telephely ";
  const std::string upper = "\xC1RV\xCDZT\xDBR\xD5 T\xDCK\xD6RF\xDAR\xD3G\xC9P TELEPHELY ";
  std::string text;
  std::vector<std::string> expected;
  for (int i = 0; i < 20000; ++i) {
    const std::string name = prefix + std::to_string(100000 + i);
    text += "[" + name + "]\n";
    expected.push_back(name);
    if (i % 1000 == 999) text += "[" + upper + std::to_string(100000 + i - 500) + "]\n";
  }
  ASSERT_LT(text.size(), size_t{1} << 20) << "within what a settings file may be";
  Put(Path("tvconn.ini"), text);
  EXPECT_EQ(IniFile(Path("tvconn.ini")).ReadSections(), expected);
}

TEST_F(IniTest, WriteCreatesFolderAndFile) {
  IniFile ini(Path("deep/er/t.ini"));
  ASSERT_TRUE(ini.WriteInteger("CONNECTION", "COMSP", 3));
  EXPECT_EQ(Slurp(Path("deep/er/t.ini")), "[CONNECTION]\nCOMSP=3\n");
}

TEST_F(IniTest, WorkstationSettings) {
  // First run: no file.
  WorkstationSettings s = LoadWorkstationSettings(Path("tarvelo.ini"));
  EXPECT_EQ(s.portName, "COM1");
  EXPECT_EQ(s.speedIndex, 6);
  EXPECT_EQ(s.PanelText(), "COM1 ( 19200 )");
  Put(Path("tarvelo.ini"), "[connection]\ncomnr=COM12345\nCOMSP=12\n");
  s = LoadWorkstationSettings(Path("tarvelo.ini"));
  EXPECT_EQ(s.portName, "COM123");
  EXPECT_EQ(s.PanelText(), "COM123 ( ------ )");
  s.speedIndex = 9;
  SaveWorkstationSettings(s, Path("tarvelo.ini"));
  EXPECT_EQ(Slurp(Path("tarvelo.ini")), "[connection]\ncomnr=COM123\nCOMSP=9\n");
}

// A speed index that is not a plain number is no number at all: "+-1" once read as -1 and
// became index 255.
TEST_F(IniTest, ASignedJunkSpeedIndexGivesTheDefault) {
  for (const char* value : {"+-1", "-+1", "++6", "7x", ""}) {
    Put(Path("tarvelo.ini"), std::string("[CONNECTION]\nCOMSP=") + value + "\n");
    EXPECT_EQ(LoadWorkstationSettings(Path("tarvelo.ini")).speedIndex, 6) << value;
  }
  Put(Path("tarvelo.ini"), "[CONNECTION]\nCOMSP= +3 \n");
  EXPECT_EQ(LoadWorkstationSettings(Path("tarvelo.ini")).speedIndex, 3);
}

// The in-memory form reads and writes as the file does.
TEST_F(IniTest, TextInMemoryReadsAndWritesLikeTheFile) {
  const std::string text = "; c\r\n[A]\r\nk = \"v\" \r\n\r\n[b]\r\nx=1\r\n";
  Put(Path("same.ini"), text);
  IniFile file(Path("same.ini"));
  IniFile memory = IniFile::FromText(text);
  EXPECT_EQ(memory.Text(), text);
  EXPECT_EQ(memory.ReadString("a", "K", "-"), "v");
  EXPECT_EQ(memory.ReadSections(), file.ReadSections());
  ASSERT_TRUE(file.WriteString("A", "new", "2"));
  ASSERT_TRUE(memory.WriteString("A", "new", "2"));
  EXPECT_EQ(memory.Text(), Slurp(Path("same.ini")));
}

TEST_F(IniTest, LookupConnection) {
  Put(Path("tvconn.ini"), kForeign);
  WorkstationSettings s;
  s.speedIndex = 3;

  ConnectionLookup r = LookupConnection("", s, Path("tvconn.ini"));
  EXPECT_FALSE(r.looked);

  r = LookupConnection("nincs ilyen", s, Path("tvconn.ini"));
  EXPECT_TRUE(r.looked);
  EXPECT_EQ(r.phone, "");
  EXPECT_FALSE(r.showName);
  EXPECT_EQ(s.portName, "COM1");
  EXPECT_EQ(s.speedIndex, 3);

  r = LookupConnection("iroda", s, Path("tvconn.ini"));
  EXPECT_TRUE(r.showName);
  EXPECT_EQ(s.portName, "COM2");
  EXPECT_EQ(s.speedIndex, 5);

  r = LookupConnection("Telephely B", s, Path("tvconn.ini"));
  EXPECT_EQ(s.portName, "COM3");
  EXPECT_EQ(s.speedIndex, 5) << "no SPEED key: the current speed stays";
  EXPECT_EQ(r.phone, "06 1 234 5678");
}

TEST_F(IniTest, ConfigFolderFromTheEnvironment) {
  setenv("TARVELO_CONFIG_DIR", Path("cfg").c_str(), 1);
  EXPECT_EQ(ProgramIniPath(), Path("cfg") + "/tarvelo.ini");
  unsetenv("TARVELO_CONFIG_DIR");
  setenv("XDG_CONFIG_HOME", Path("xdg").c_str(), 1);
  EXPECT_EQ(ConnectionsIniPath(), Path("xdg") + "/tarvelo/tvconn.ini");
  unsetenv("XDG_CONFIG_HOME");
}

// Every reader of a connection gets the same keys; only what a missing key stands for is the
// reader's own: the dialog's fixed port and speed, or the workstation's current ones.
TEST_F(IniTest, ReadConnectionFillsMissingKeysFromTheDefaultsGiven) {
  Put(Path("tvconn.ini"), kForeign + std::string("[Szeged]\nSPEED=9601\nPHONE=3\n"));
  struct Case {
    const char* name;
    ConnectionDefaults defaults;
    NamedConnection expected;
  } const cases[] = {
      {"iroda", PickedConnectionDefaults(), {"COM2", "9600", "", true, {}, true}},
      {"TELEPHELY B",
       PickedConnectionDefaults(),
       {"COM3", "9600", "06 1 234 5678", true, {}, true}},
      {"Telephely B", {"USB0", "2400"}, {"COM3", "2400", "06 1 234 5678", true, {}, true}},
      // A stored speed that is no speed text is handed on as it is: the dialog then picks
      // none, the lookup takes it for 9600.
      {"szeged", {"USB0", "2400"}, {"USB0", "9601", "3", false, {}, true}},
      {"nincs ilyen", PickedConnectionDefaults(), {"COM1", "9600", "", false, {}, false}},
  };
  for (const Case& c : cases) {
    const NamedConnection got = ReadConnection(c.name, c.defaults, Path("tvconn.ini"));
    EXPECT_EQ(got.port, c.expected.port) << c.name;
    EXPECT_EQ(got.speed, c.expected.speed) << c.name;
    EXPECT_EQ(got.phone, c.expected.phone) << c.name;
    EXPECT_EQ(got.hasPort, c.expected.hasPort) << c.name;
  }
  EXPECT_EQ(ConnectionNames(Path("tvconn.ini")),
            (std::vector<std::string>{"Iroda", "telephely B", "Szeged"}));
  WorkstationSettings s;
  s.speedIndex = 3;
  LookupConnection("Szeged", s, Path("tvconn.ini"));
  EXPECT_EQ(s.portName, "COM1");
  EXPECT_EQ(s.speedIndex, 5);
}

TEST_F(IniTest, StoreConnectionWritesItsKeysTogether) {
  Put(Path("tvconn.ini"), "; kept\n[Iroda]\nPHONE=1\nMODEM=x\n\n[Szeged]\nCOM=USB7\nSPEED=7\n");
  ASSERT_TRUE(StoreConnection("IRODA", {"USB0", "19200", "2", {}}, Path("tvconn.ini")));
  ASSERT_TRUE(StoreConnection("szeged", {std::nullopt, std::nullopt, "3", {}}, Path("tvconn.ini")));
  ASSERT_TRUE(
      StoreConnection("P\xE9"
                      "cs",
                      {"COM2", std::nullopt, "", {}}, Path("tvconn.ini")));
  EXPECT_EQ(Slurp(Path("tvconn.ini")),
            "; kept\n[Iroda]\nPHONE=2\nMODEM=x\nCOM=USB0\nSPEED=19200\n\n"
            "[Szeged]\nCOM=USB7\nSPEED=7\nPHONE=3\n\n"
            "[P\xE9"
            "cs]\nCOM=COM2\nPHONE=\n");
  // A file that cannot be read whole is not replaced by the few keys of one connection.
  const std::string big = "[A]\nPHONE=" + std::string(size_t{1} << 20, '1') + "\n";
  Put(Path("big.ini"), big);
  EXPECT_FALSE(StoreConnection("A", {"COM1", "9600", "2", {}}, Path("big.ini")));
  EXPECT_EQ(Slurp(Path("big.ini")), big);
  // A missing file and folder are made.
  ASSERT_TRUE(StoreConnection("B", {"COM1", "9600", "", {}}, Path("new/tvconn.ini")));
  EXPECT_EQ(Slurp(Path("new/tvconn.ini")), "[B]\nCOM=COM1\nSPEED=9600\nPHONE=\n");
}

// A network address does not fit the original's port field: it is kept whole in the settings
// and shown shortened.
TEST_F(IniTest, NetworkAddressesAreKeptWholeAndShownShort) {
  struct Case {
    const char* assigned;
    const char* kept;
    const char* shown;
  } const cases[] = {
      {"rfc2217://10.0.0.5:4001", "rfc2217://10.0.0.5:4001", "rfc2217 10.0.0.5:4001"},
      {"socket://ser2net.site.local:3001", "socket://ser2net.site.local:3001",
       "tcp ser2net.site.local:3001"},
      {"rfc2217://[fe80::1]:2217", "rfc2217://[fe80::1]:2217", "rfc2217 [fe80::1]:2217"},
      {"COM12345", "COM123", "COM123"},
      {"USB0", "USB0", "USB0"},
  };
  for (const Case& c : cases) {
    WorkstationSettings s;
    s.SetPortName(c.assigned);
    EXPECT_EQ(s.portName, c.kept) << c.assigned;
    EXPECT_EQ(ShortPortName(s.portName), c.shown) << c.assigned;
  }
  WorkstationSettings s;
  s.SetPortName("rfc2217://10.0.0.5:4001");
  s.speedIndex = 9;
  EXPECT_EQ(s.PanelText(), "rfc2217 10.0.0.5:4001 ( 115200 )");
  SaveWorkstationSettings(s, Path("tarvelo.ini"));
  EXPECT_EQ(LoadWorkstationSettings(Path("tarvelo.ini")).portName, "rfc2217://10.0.0.5:4001");
}

// A file written by the original, with a network connection and a serial connection with
// terminal settings added beside its entries: the old entries read exactly as before, and
// what the original reads of the new ones leaves its port and speed alone.
TEST_F(IniTest, ANetworkConnectionLeavesAnOlderReaderItsPortAndSpeed) {
  Put(Path("tvconn.ini"), kForeign);
  LineChoice terminal{dbSeven, prEven, sbOneStopBit, fcSoftware};
  ASSERT_TRUE(StoreConnection("Szerver", {"rfc2217://10.0.0.5:4001", "115200", "12", {}},
                              Path("tvconn.ini")));
  ASSERT_TRUE(StoreConnection("Modem", {"USB0", "2400", "", terminal}, Path("tvconn.ini")));
  // The original's bytes are all still there, untouched, and the new sections follow.
  const std::string text = Slurp(Path("tvconn.ini"));
  EXPECT_EQ(text.substr(0, std::string(kForeign).size()), kForeign);
  EXPECT_EQ(text.substr(std::string(kForeign).size()),
            "\r\n[Szerver]\r\nNETPORT=rfc2217://10.0.0.5:4001\r\nNETSPEED=115200\r\nPHONE=12\r\n"
            "\r\n[Modem]\r\nCOM=USB0\r\nSPEED=2400\r\nPHONE=\r\nDATABITS=7\r\nPARITY=EVEN\r\n"
            "STOPBITS=1\r\nFLOW=XONXOFF\r\n");

  // An older reader knows only COM, SPEED and PHONE: the network section names no port.
  const IniFile old(Path("tvconn.ini"));
  EXPECT_FALSE(old.HasKey("Szerver", "COM"));
  EXPECT_FALSE(old.HasKey("Szerver", "SPEED"));
  WorkstationSettings s;
  s.speedIndex = 3;
  // This program reads every kind.
  struct Read {
    const char* name;
    NamedConnection expected;
  } const reads[] = {
      {"iroda", {"COM2", "9600", "", true, {}, true}},
      {"Telephely B", {"COM3", "9600", "06 1 234 5678", true, {}, true}},
      {"szerver", {"rfc2217://10.0.0.5:4001", "115200", "12", true, {}, true}},
      {"Modem", {"USB0", "2400", "", true, terminal, true}},
  };
  for (const Read& r : reads) {
    const NamedConnection got =
        ReadConnection(r.name, PickedConnectionDefaults(), Path("tvconn.ini"));
    EXPECT_EQ(got.port, r.expected.port) << r.name;
    EXPECT_EQ(got.speed, r.expected.speed) << r.name;
    EXPECT_EQ(got.phone, r.expected.phone) << r.name;
    EXPECT_EQ(got.hasPort, r.expected.hasPort) << r.name;
    EXPECT_TRUE(got.line == r.expected.line) << r.name;
  }
  const ConnectionLookup found = LookupConnection("Szerver", s, Path("tvconn.ini"));
  EXPECT_TRUE(found.showName);
  EXPECT_EQ(s.portName, "rfc2217://10.0.0.5:4001");
  EXPECT_EQ(s.speedIndex, 9);
  LookupConnection("Modem", s, Path("tvconn.ini"));
  EXPECT_TRUE(s.terminalLine == terminal);
  LookupConnection("iroda", s, Path("tvconn.ini"));
  EXPECT_TRUE(s.terminalLine == LineChoice{}) << "the device's settings";
  LookupConnection("Modem", s, Path("tvconn.ini"));
  LookupConnection("nincs ilyen", s, Path("tvconn.ini"));
  EXPECT_TRUE(s.terminalLine == terminal) << "a name the file lacks changes nothing";
}

// Storing keeps the file as it is wherever it changes nothing, and a connection moves between
// the two kinds of port without leaving the other kind's keys behind.
TEST_F(IniTest, StoringChangesOnlyWhatChanged) {
  Put(Path("tvconn.ini"), kForeign);
  // What the file holds already, quotes and blanks around "=" and a missing PHONE included.
  const ConnectionEntry heldAlready[][2] = {
      {{"COM3", std::nullopt, "06 1 234 5678", {}}, {}},
      {{"COM2", "9600", "", {}}, {}},
  };
  const char* names[] = {"TELEPHELY b", "iroda"};
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(ConnectionHolds(names[i], heldAlready[i][0], Path("tvconn.ini"))) << names[i];
    ASSERT_TRUE(StoreConnection(names[i], heldAlready[i][0], Path("tvconn.ini")));
    EXPECT_EQ(Slurp(Path("tvconn.ini")), kForeign) << names[i];
  }
  EXPECT_FALSE(ConnectionHolds("iroda", {"COM2", "9600", "1", {}}, Path("tvconn.ini")));
  EXPECT_FALSE(ConnectionHolds("nincs ilyen", {}, Path("tvconn.ini")));

  ASSERT_TRUE(StoreConnection("Iroda", {"socket://h:1", "9600", "", {}}, Path("tvconn.ini")));
  std::string expected = kForeign;
  expected.replace(expected.find("Com = COM2\r\nspeed=9600\r\n"), 24,
                   "NETPORT=socket://h:1\r\nNETSPEED=9600\r\n");
  EXPECT_EQ(Slurp(Path("tvconn.ini")), expected);
  ASSERT_TRUE(StoreConnection("Iroda", {"COM4", "9600", "", {}}, Path("tvconn.ini")));
  expected.replace(expected.find("NETPORT"), 37, "COM=COM4\r\nSPEED=9600\r\n");
  EXPECT_EQ(Slurp(Path("tvconn.ini")), expected);
  // No port picked: the speed goes where the stored kind keeps it.
  ASSERT_TRUE(StoreConnection("Szerver", {"rfc2217://h:2", "9600", "", {}}, Path("tvconn.ini")));
  ASSERT_TRUE(StoreConnection("Szerver", {std::nullopt, "2400", "", {}}, Path("tvconn.ini")));
  EXPECT_EQ(ReadConnection("Szerver", {}, Path("tvconn.ini")).speed, "2400");
  EXPECT_FALSE(IniFile(Path("tvconn.ini")).HasKey("Szerver", "SPEED"));
  // Terminal settings set back to the device's leave no key.
  const LineChoice terminal{dbSeven, prEven, sbTwoStopBits, fcNone};
  ASSERT_TRUE(StoreConnection("Szerver", {std::nullopt, "2400", "", terminal}, Path("tvconn.ini")));
  EXPECT_TRUE(ReadConnection("Szerver", {}, Path("tvconn.ini")).line == terminal);
  ASSERT_TRUE(StoreConnection("Szerver", {std::nullopt, "2400", "", {}}, Path("tvconn.ini")));
  EXPECT_EQ(Slurp(Path("tvconn.ini")),
            expected + "\r\n[Szerver]\r\nNETPORT=rfc2217://h:2\r\nNETSPEED=2400\r\nPHONE=\r\n");
}

// Renaming and deleting a connection touch its own section only; a second section of the
// same name, hidden behind the first, neither comes to light nor is lost.
TEST_F(IniTest, RenamingAndDeletingAConnection) {
  Put(Path("tvconn.ini"), kForeign + std::string("\r\n[Szeged] ; south\r\nCOM=COM5\r\n"));
  ASSERT_TRUE(RenameConnection("IRODA", "K\xF6zpont", Path("tvconn.ini")));
  EXPECT_EQ(ConnectionNames(Path("tvconn.ini")),
            (std::vector<std::string>{"K\xF6zpont", "telephely B", "Szeged"}));
  EXPECT_EQ(ReadConnection("k\xD6ZPONT", {}, Path("tvconn.ini")).port, "COM2");
  EXPECT_FALSE(ReadConnection("Iroda", {}, Path("tvconn.ini")).exists);
  ASSERT_TRUE(RenameConnection("szeged", "D\xE9l", Path("tvconn.ini")));
  EXPECT_NE(Slurp(Path("tvconn.ini")).find("[D\xE9l] ; south\r\nCOM=COM5\r\n"), std::string::npos);

  ASSERT_TRUE(RemoveConnection("telephely b", Path("tvconn.ini")));
  ASSERT_TRUE(RemoveConnection("K\xF6zpont", Path("tvconn.ini")));
  EXPECT_EQ(Slurp(Path("tvconn.ini")),
            "; connections of the office\r\n[D\xE9l] ; south\r\nCOM=COM5\r\n");
  ASSERT_TRUE(RemoveConnection("D\xE9l", Path("tvconn.ini")));
  EXPECT_EQ(Slurp(Path("tvconn.ini")), "; connections of the office\r\n");
  EXPECT_FALSE(RemoveConnection("nincs ilyen", Path("tvconn.ini")));
  EXPECT_FALSE(RenameConnection("nincs ilyen", "x", Path("tvconn.ini")));

  // A comment parted from the deleted section by a blank line belongs to what follows it; one
  // right under the section's keys goes with them.
  Put(Path("tvconn.ini"),
      "[A]\nCOM=COM1\n; A's modem\n\n; B: the warehouse\n[B]\nCOM=COM2\n\n; end\n");
  ASSERT_TRUE(RemoveConnection("A", Path("tvconn.ini")));
  EXPECT_EQ(Slurp(Path("tvconn.ini")), "; B: the warehouse\n[B]\nCOM=COM2\n\n; end\n");
  ASSERT_TRUE(RemoveConnection("B", Path("tvconn.ini")));
  EXPECT_EQ(Slurp(Path("tvconn.ini")), "; B: the warehouse\n; end\n");
}
