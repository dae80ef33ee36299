#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "files/DatabaseFile.h"
#include "model/CodeTable.h"
#include "model/DatabaseRecord.h"
#include "model/FreeNumbers.h"
#include "model/ImageLayout.h"
#include "model/NewDatabase.h"
#include "model/Text.h"
#include "tests/TempDirTest.h"

using namespace tarvelo;
namespace fs = std::filesystem;

namespace {

struct CliRun {
  int status;
  std::string out, err;
};

class CliTest : public TempDirTest {
 protected:
  static std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  }

  CliRun Cli(const std::vector<std::string>& args) const {
    std::string cmd = Quote(TARVELO_CLI);
    for (const auto& a : args) cmd += " " + Quote(a);
    cmd += " </dev/null >" + Quote(Path("out")) + " 2>" + Quote(Path("err"));
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(Path("out")), Slurp(Path("err"))};
  }
};

// Reads a database file the way the format describes it, without the program's loader.
ConfigImage Descramble(const std::string& bytes) {
  uint8_t key = 0;
  for (int i = 0; i < static_cast<uint8_t>(bytes[11]); ++i)
    key += static_cast<uint8_t>(bytes[12 + i]);
  for (int i = 0; i < static_cast<uint8_t>(bytes[267]); ++i)
    key += static_cast<uint8_t>(bytes[268 + i]);
  ConfigImage image;
  for (int i = 0; i < kImageSize; ++i) image.raw()[i] = static_cast<uint8_t>(bytes[1035 + i]) ^ key;
  return image;
}

}  // namespace

TEST_F(CliTest, NewWritesTheDefaultsOfEachModel) {
  for (const auto& [flag, model] :
       {std::pair{"4", DeviceModel::FourLine}, std::pair{"16", DeviceModel::SixteenLine}}) {
    const std::string file = Path(std::string("new") + flag + ".pin");
    const CliRun r = Cli({"new", "--model", flag, "-o", file, "--site", "Szeged", "--owner",
                          "Kovács Ödön", "--password", "Titok"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string bytes = Slurp(file);
    ASSERT_EQ(bytes.size(), 9227u);
    EXPECT_EQ(bytes.substr(0, 11), "\x0ATarvelo1V2");
    EXPECT_EQ(bytes.substr(267, 12),
              "\x0BKov\xE1"
              "cs \xD6"
              "d\xF6n")
        << "owner in Windows-1250";
    ConfigImage expected;
    StoreNewDatabaseDefaults(expected, ImageLayout::For(model));
    EXPECT_EQ(Descramble(bytes), expected) << flag;
  }
}

TEST_F(CliTest, ShowPrintsThePagesAndJson) {
  const std::string file = Path("show.pin");
  ASSERT_EQ(Cli({"new", "--model", "16", "-o", file, "--password", "pw"}).status, 0);

  CliRun r = Cli({"show", file, "--model", "16", "--password", "pw"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* expected :
       {"Típus: Zentor-16 (V 4.29+)", "SMDR mód: Normal", "Számzáró kód: \" \"", "  16    \"16\"",
        "Belföldi számhossz: 10", "Behívásról tiltott körzetszámok: 21 31 40",
        "Bontási: 20 (x 100mS)", "Elsö T. hang (#1): 10 (x100mS)", "CO reszet (#2): 15 (x100mS)"}) {
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  }
  EXPECT_EQ(r.out.find("Pinkód engedélyezés"), std::string::npos);

  r = Cli({"show", file, "--model", "16", "--password", "pw", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* expected : {"\"model\": 16", "\"smdrSpeed\": \"9600\"", "\"timerSet\": \"#1\"",
                               "\"count\": 0", "\"freeNumbers\": []"}) {
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected;
  }
}

TEST_F(CliTest, FailuresExitWithOneLineAndWriteNothing) {
  const std::string file = Path("db.pin");
  ASSERT_EQ(Cli({"new", "--model", "4", "-o", file, "--password", "pw"}).status, 0);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string stderrHas;
  };
  const std::vector<Case> cases = {
      {{}, 1, "hiányzik a parancs"},
      {{"frob"}, 1, "ismeretlen parancs"},
      {{"new", "-o", Path("x.pin")}, 1, "--model"},
      {{"new", "--model", "8", "-o", Path("x.pin")}, 1, "4 vagy 16"},
      {{"new", "--model", "4", "-o", Path("x.pin"), "--site", "señor"}, 1, "ñ"},
      {{"new", "--model", "4", "-o", Path("no/such/x.pin")}, 2, "x.pin"},
      {{"show", file, "--password", "pw"}, 1, "--model"},
      {{"show", file, "--model", "4", "--password", "PW"}, 2, "Hibás jelszó !!!"},
      {{"show", Path("missing.pin"), "--model", "4"}, 2, "missing.pin"},
      {{"show", file, "--model", "4", "--bogus"}, 1, "--bogus"},
  };
  for (const auto& c : cases) {
    const CliRun r = Cli(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.stderrHas), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_FALSE(fs::exists(Path("x.pin")));
}

TEST_F(CliTest, ShowTakesTheModelFromTheVersionText) {
  // A record as a download leaves it: the 4-line device reports "P4239".
  DatabaseRecord r;
  StoreNewDatabaseDefaults(r.image, ImageLayout::For(DeviceModel::FourLine));
  r.image.SetBytes(kVersionTextOffset, "P4239");
  std::memcpy(r.marker.data(), kFormatMarker.data(), kFormatMarker.size());
  const auto bytes = r.ToBytes();
  std::ofstream(Path("dl.pin"), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const CliRun run = Cli({"show", Path("dl.pin")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Típus: Zentor-4 (V2.39g+)"), std::string::npos);
  EXPECT_NE(run.out.find("Mobil prefixek: 0620 0630 0670 ===="), std::string::npos);
  EXPECT_NE(run.out.find("CO leidözítés (#1): 90"), std::string::npos);
  EXPECT_EQ(run.out.find("(#2)"), std::string::npos) << "one timer set in this model";
}

namespace {

// A database of the 16-line model with `codes` codes of six digits and `numbers` numbers.
void WriteListsDatabase(const std::string& path, int codes, int numbers) {
  const ImageLayout layout = ImageLayout::For(DeviceModel::SixteenLine);
  DatabaseRecord r;
  StoreNewDatabaseDefaults(r.image, layout);
  r.image.SetBytes(kVersionTextOffset, "P4290");
  r.site.set(*Utf8ToCp1250("Győr, Űrhajós utca"));
  r.owner.set(*Utf8ToCp1250("Őze Áron"));
  CodeGrid grid;
  grid.setRowCount(codes + 1);
  for (int k = 1; k <= codes; ++k) {
    const std::string n = std::to_string(k);
    grid.row(k).code = std::string(6 - n.size(), '0') + n;
    grid.row(k).rights = {kYes, k % 2 ? kNo : kYes, kYes, kNo};
  }
  EncodeCodeTable(r.image, layout, grid);
  std::vector<std::string> items;
  for (int i = 1; i <= numbers; ++i) items.push_back("0680" + std::to_string(100000 + i));
  FlushFreeNumbers(r.image, layout, items);
  ASSERT_TRUE(SaveDatabaseFile(path, r).ok);
}

bool HavePdfToText() {
  return std::system("command -v pdftotext >/dev/null 2>&1") == 0;
}

}  // namespace

TEST_F(CliTest, PrintWritesBothListsAsPdfAndText) {
  if (!HavePdfToText()) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  const std::string db = Path("iroda.pin");
  WriteListsDatabase(db, 150, 5);

  for (const char* form : {"pdf", "txt"}) {
    const std::string out = Path(std::string("codes.") + form);
    const CliRun run = Cli({"print", "codes", db, "-o", out});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string text = Slurp(out);
    if (std::string(form) == "pdf") {
      ASSERT_EQ(
          std::system(
              ("pdftotext -layout " + Quote(out) + " " + Quote(Path("codes.pdf.txt"))).c_str()),
          0);
      text = Slurp(Path("codes.pdf.txt"));
    }
    SCOPED_TRACE(form);
    EXPECT_NE(text.find("Személyi kódok:" + db), std::string::npos) << text.substr(0, 400);
    EXPECT_NE(text.find("Telepítési hely:Győr, Űrhajós utca"), std::string::npos);
    EXPECT_NE(text.find("Telepítő       :Őze Áron"), std::string::npos);
    EXPECT_NE(text.find("Sorsz. |Kód      |Jog"), std::string::npos);
    EXPECT_NE(text.find("0001|000001   |Loc,Mob,"), std::string::npos);
    EXPECT_NE(text.find("0002|000002   |Loc,Nat,Mob,"), std::string::npos);
    EXPECT_NE(text.find("0150|000150   |Loc,Nat,Mob,"), std::string::npos);
    // 150 codes are 75 lines of two and their rules: three A4 pages.
    EXPECT_NE(text.find("Oldal:3"), std::string::npos);
    EXPECT_EQ(text.find("Oldal:4"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), std::string(form) == "pdf" ? 3 : 2);
  }

  const std::string out = Path("numbers.pdf");
  const CliRun run = Cli({"print", "numbers", db, "--rows", "3-4", "-o", out});
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(std::system(("pdftotext " + Quote(out) + " " + Quote(Path("n.txt"))).c_str()), 0);
  const std::string text = Slurp(Path("n.txt"));
  EXPECT_NE(text.find("Szabadon hívható számok " + db), std::string::npos) << text;
  EXPECT_NE(text.find("Oldal:1"), std::string::npos);
  EXPECT_EQ(text.find("0680100002"), std::string::npos);
  EXPECT_NE(text.find("0680100003"), std::string::npos);
  EXPECT_NE(text.find("0680100004"), std::string::npos);
  EXPECT_EQ(text.find("0680100005"), std::string::npos);
}

TEST_F(CliTest, PrintRefusesWhatItCannotDoAndWritesNothing) {
  const std::string db = Path("d.pin");
  WriteListsDatabase(db, 3, 3);
  const std::vector<std::vector<std::string>> bad = {
      {"print", "codes", db, "-o", Path("x.doc")},
      {"print", "codes", db, "--rows", "4-3", "-o", Path("x.pdf")},
      {"print", "codes", db, "--rows", "0-3", "-o", Path("x.pdf")},
      {"print", "codes", db, "--rows", "a", "-o", Path("x.pdf")},
      {"print", "lines", db, "-o", Path("x.pdf")},
      {"print", "codes", db},
  };
  for (const auto& args : bad) {
    const CliRun run = Cli(args);
    EXPECT_EQ(run.status, 1) << args[1] << " " << args.back();
    EXPECT_NE(run.err.find("tarvelo-cli: "), std::string::npos);
  }
  const CliRun wrong = Cli({"print", "codes", db, "--password", "nem", "-o", Path("x.pdf")});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_FALSE(fs::exists(Path("x.pdf")));
  EXPECT_FALSE(fs::exists(Path("x.doc")));
}
