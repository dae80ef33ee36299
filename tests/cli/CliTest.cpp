#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli/Commands.h"
#include "files/DatabaseFile.h"
#include "model/CodeTable.h"
#include "model/DatabaseRecord.h"
#include "model/FreeNumbers.h"
#include "model/ImageLayout.h"
#include "model/NewDatabase.h"
#include "model/Text.h"
#include "tests/EachModel.h"
#include "tests/cli/CliFixture.h"

using namespace tarvelo;
namespace fs = std::filesystem;

namespace {

class CliTest : public CliFixture {};

// What the tool does alike with a database of either model.
class CliEachModel : public CliFixture, public ModelParam {};
TARVELO_EACH_MODEL(CliEachModel);

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

TEST_P(CliEachModel, NewWritesTheDefaultsOfTheModel) {
  const std::string file = Path("new.pin");
  const CliRun r = Cli({"new", "--model", flag(), "-o", file, "--site", "Szeged", "--owner",
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
  StoreNewDatabaseDefaults(expected, layout());
  EXPECT_EQ(Descramble(bytes), expected);
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
  // No version text, and neither model's map reads an image of zeros: it needs --model.
  DatabaseRecord zeros;
  ASSERT_TRUE(SaveDatabaseFile(Path("zeros.pin"), zeros).ok);
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
      {{"show", Path("zeros.pin"), "--password", ""}, 1, "--model"},
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

// The help text is made from the command table; it reads as it always has.
TEST_F(CliTest, HelpListsEveryCommandAsBefore) {
  const std::string expected =
      "Használat:\n"
      "  tarvelo-cli new --model 4|16 -o FILE [--force] [--site S] [--owner O] [--password P]\n"
      "  tarvelo-cli show FILE [--model 4|16] [--password P] [--json]\n"
      "  tarvelo-cli diff A B [--password P] [--password-b P] [--model 4|16] [--model-b 4|16] "
      "[--json]\n"
      "  tarvelo-cli apply SETTINGS.json FILE [--model 4|16] [--password P]\n"
      "  tarvelo-cli download --port DEV [--speed BAUD] -o FILE [--site S] [--owner O] "
      "[--password P]\n"
      "  tarvelo-cli upload --port DEV [--speed BAUD] FILE [--model 4|16] [--password P]\n"
      "                     [--backup FILE] [--verify] [--no-type-check]\n"
      "  tarvelo-cli prom --port DEV [--speed BAUD] -o FILE\n"
      "  tarvelo-cli clock --port DEV [--speed BAUD]\n"
      "  tarvelo-cli backup SITES.ini -d FOLDER [-j N]\n"
      "                     (3-as kilépési kód, ha egy telephely mentése nem sikerült)\n"
      "  tarvelo-cli codes export|import FILE DB [--format dat|txt] [--password P] [--model "
      "4|16]\n"
      "  tarvelo-cli numbers export|import FILE DB [--append] [--password P] [--model 4|16]\n"
      "  tarvelo-cli print codes|numbers FILE [--rows A-B] [--model 4|16] [--password P]\n"
      "                    -o OUT.pdf|OUT.txt\n";
  EXPECT_EQ(UsageText(), expected);
  for (const char* asked : {"--help", "-h", "help"}) {
    const CliRun r = Cli({asked, "whatever", "--follows"});
    EXPECT_EQ(r.status, 0) << asked;
    EXPECT_EQ(r.out, expected) << asked;
    EXPECT_EQ(r.err, "") << asked;
  }
}

// Each row parses by its own options: every one it takes is shown in its help lines, and a
// switch it does not take is refused in one line with the row's usage status, before
// anything is read or written.
TEST_F(CliTest, EveryCommandTakesExactlyTheOptionsItsHelpNames) {
  std::vector<std::string> seen;
  for (const Command& c : Commands()) {
    for (const std::string& name : c.names) {
      EXPECT_EQ(std::count(seen.begin(), seen.end(), name), 0) << name << " twice in the table";
      seen.push_back(name);
    }
    if (c.anyArguments) continue;
    std::string help;
    for (const std::string& line : c.usage) help += " " + line + " ";
    for (const auto* list : {&c.withValue, &c.flags}) {
      for (const std::string& option : *list) {
        const bool named = help.find(" " + option + " ") != std::string::npos ||
                           help.find("[" + option + " ") != std::string::npos ||
                           help.find("[" + option + "]") != std::string::npos;
        EXPECT_TRUE(named) << c.names[0] << ": " << option << " missing from the help";
      }
    }
    std::vector<std::string> args = {c.names[0]};
    if (c.action) args.push_back("export");
    args.insert(args.end(), {Path("a"), Path("b"), "--bogus"});
    const CliRun r = Cli(args);
    EXPECT_EQ(r.status, c.usageStatus) << c.names[0] << ": " << r.err;
    EXPECT_EQ(r.err, "tarvelo-cli: ismeretlen kapcsoló: --bogus (súgó: tarvelo-cli --help)\n")
        << c.names[0];
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(Path("a")) || fs::exists(Path("b"))) << c.names[0];
    // An option that takes a value and is given none is refused alike.
    if (!c.withValue.empty()) {
      std::vector<std::string> bare = {c.names[0]};
      if (c.action) bare.push_back("export");
      bare.push_back(c.withValue.back());
      const CliRun last = Cli(bare);
      EXPECT_EQ(last.status, c.usageStatus) << c.names[0];
      EXPECT_EQ(last.err, "tarvelo-cli: hiányzik az érték: " + c.withValue.back() +
                              " (súgó: tarvelo-cli --help)\n")
          << c.names[0];
    }
  }
  for (const char* command : {"new", "show", "diff", "apply", "download", "upload", "prom", "clock",
                              "codes", "numbers", "print"}) {
    EXPECT_EQ(std::count(seen.begin(), seen.end(), command), 1) << command;
  }
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

// Runs the tool with its standard output on `outFd` (closed when negative) and SIGPIPE as
// given; stdin is /dev/null.
CliRun RunWithOutput(const std::vector<std::string>& args, int outFd, bool ignoreSigpipe,
                     const std::string& errPath) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(in, 0);
    if (outFd >= 0) {
      ::dup2(outFd, 1);
    } else {
      ::close(1);
    }
    ::dup2(err, 2);
    ::signal(SIGPIPE, ignoreSigpipe ? SIG_IGN : SIG_DFL);
    std::vector<char*> argv{const_cast<char*>(TARVELO_CLI)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(TARVELO_CLI, argv.data());
    ::_exit(127);
  }
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  std::ifstream e(errPath, std::ios::binary);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw),
          "",
          {std::istreambuf_iterator<char>(e), {}}};
}

// A database whose texts hold what a hostile file could: escape sequences, other control
// bytes, DEL and the C1 range.
DatabaseRecord HostileRecord() {
  DatabaseRecord r;
  NewDatabaseDefaults(r, ImageLayout::For(DeviceModel::FourLine));
  r.site.set("\x1B]0;pwned\x07Site");
  r.owner.set("own\x1B[2Jer");
  r.connectionName.set(
      std::string("c\x81"
                  "31m\x7F\x0D\\",
                  8));
  const ImageLayout layout = ImageLayout::For(DeviceModel::FourLine);
  r.image.SetBytes(layout.Offset(Field::CoNumbers), "\x1B[1m");
  r.image.SetBytes(layout.Offset(Field::CallInNumber), "06\x1B[?1049h");
  r.image.SetBytes(layout.Offset(Field::FreeNumbers),
                   "\x1B"
                   "c0612345       ");
  r.image.SetImageByte(layout.Offset(Field::CodeCount), 1);
  r.image.SetBytes(layout.Offset(Field::CodeTable), std::string("\x1B[5m12?", 7));
  return r;
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

// A file's texts reach the terminal only as printable characters; the escapes name the
// stored bytes.
TEST_F(CliTest, ShowNeverPassesControlBytesFromTheFile) {
  DatabaseRecord r = HostileRecord();
  ASSERT_TRUE(SaveDatabaseFile(Path("hostile.db"), r).ok);
  for (const bool json : {false, true}) {
    std::vector<std::string> args = {"show", Path("hostile.db"), "--model", "4", "--password", ""};
    if (json) args.push_back("--json");
    const CliRun run = Cli(args);
    ASSERT_EQ(run.status, 0) << run.err;
    for (size_t i = 0; i < run.out.size(); ++i) {
      const auto c = static_cast<uint8_t>(run.out[i]);
      ASSERT_TRUE(c >= 0x20 || c == '\n') << "byte " << int(c) << " at " << i << " json " << json;
      ASSERT_NE(c, 0x7F) << i;
      if (c == 0xC2 && i + 1 < run.out.size()) {
        ASSERT_FALSE(static_cast<uint8_t>(run.out[i + 1]) < 0xA0) << "a C1 control at " << i;
      }
    }
    if (!json) {
      for (const char* expected : {"Telepítés: \\x1B]0;pwned\\x07Site", "Tulajdonos: own\\x1B[2Jer",
                                   "Kapcsolat: c\\x8131m\\x7F\\x0D\\\\",
                                   "Behívószám: 06\\x1B[?1049h", "  \\x1Bc0612345", "\\x1B[5m12"}) {
        EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
      }
    } else {
      EXPECT_NE(run.out.find("\"c\\u008131m\\u007f\\r\\\\\""), std::string::npos) << run.out;
    }
  }
}

// A report that cannot be written whole is a failure with one line of its own, whether the
// disk is full or the reader has gone, and whatever the caller did with SIGPIPE.
TEST_F(CliTest, AFailedStandardOutputIsNoSuccess) {
  ASSERT_EQ(Cli({"new", "--model", "16", "-o", Path("db.pin")}).status, 0);
  const std::vector<std::string> show = {"show", Path("db.pin"), "--model", "16", "--password", ""};
  struct Case {
    const char* name;
    std::vector<std::string> args;
    enum { Full, Pipe, Closed } out;
    bool ignoreSigpipe;
    const char* reason;  // in the user's language, like every other message
  };
  std::vector<std::string> json = show;
  json.push_back("--json");
  const Case cases[] = {
      {"full disk", show, Case::Full, false, "betelt a lemez"},
      {"full disk, json", json, Case::Full, false, "betelt a lemez"},
      {"help on a full disk", {"--help"}, Case::Full, false, "betelt a lemez"},
      {"closed pipe", show, Case::Pipe, false, "lezárt cső"},
      {"closed pipe, SIGPIPE ignored", show, Case::Pipe, true, "lezárt cső"},
      {"closed pipe, help", {"--help"}, Case::Pipe, false, "lezárt cső"},
      // Started with its standard output closed: said as such, not as a port's error.
      {"no standard output", show, Case::Closed, false, "a szabványos kimenet le van zárva"},
      {"no standard output, help",
       {"--help"},
       Case::Closed,
       false,
       "a szabványos kimenet le van zárva"},
  };
  for (const auto& c : cases) {
    int fd = -1;
    int fds[2] = {-1, -1};
    if (c.out == Case::Pipe) {
      ASSERT_EQ(::pipe(fds), 0);
      ::close(fds[0]);
      fd = fds[1];
    } else if (c.out == Case::Full) {
      fd = ::open("/dev/full", O_WRONLY);
      ASSERT_GE(fd, 0);
    }
    const CliRun r = RunWithOutput(c.args, fd, c.ignoreSigpipe, Path("err"));
    if (fd >= 0) ::close(fd);
    EXPECT_EQ(r.status, 2) << c.name << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.name << ": " << r.err;
    EXPECT_NE(r.err.find("kimenet"), std::string::npos) << c.name << ": " << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.name << ": " << r.err;
    EXPECT_EQ(r.err.find("port"), std::string::npos) << c.name << ": " << r.err;
  }
}

// Every command's report goes out the same checked way. One that has written a file first
// says so in its one line: the failure must not pass for one that changed nothing.
TEST_F(CliTest, EveryCommandsReportIsChecked) {
  const std::string a = Path("a.pin"), b = Path("b.pin");
  WriteListsDatabase(a, 3, 2);
  WriteListsDatabase(b, 4, 2);
  Put(Path("codes.txt"), "1234\r\n");
  Put(Path("CALL.TXT"), "112\r\n");
  Put(Path("change.json"), R"({"general": {"coPosition": 30}})");
  const struct {
    std::vector<std::string> args;
    std::string saved;  // the file written before the report, if any
  } cases[] = {
      {{"diff", a, b}, ""},
      {{"diff", a, b, "--json"}, ""},
      {{"codes", "export", Path("out.dat"), a}, Path("out.dat")},
      {{"codes", "import", Path("codes.txt"), b}, b},
      {{"numbers", "export", Path("out.txt"), a}, Path("out.txt")},
      {{"numbers", "import", Path("CALL.TXT"), b, "--append"}, b},
      {{"apply", Path("change.json"), b}, b},
  };
  for (const auto& c : cases) {
    const int full = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    const CliRun r = RunWithOutput(c.args, full, false, Path("err"));
    ::close(full);
    const std::string name = c.args[0] + " " + c.args[1];
    EXPECT_EQ(r.status, 2) << name << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << name << ": " << r.err;
    EXPECT_NE(r.err.find("a kimenet nem írható: betelt a lemez"), std::string::npos)
        << name << ": " << r.err;
    if (c.saved.empty()) {
      EXPECT_EQ(r.err.find("Mentve"), std::string::npos) << name << ": " << r.err;
    } else {
      EXPECT_NE(r.err.find("Mentve: " + c.saved), std::string::npos) << name << ": " << r.err;
    }
  }
}

// Whatever writes a file names it in the last line on stderr, and only then.
TEST_F(CliTest, EveryWrittenFileIsNamed) {
  const std::string db = Path("db.pin");
  WriteListsDatabase(db, 3, 2);
  Put(Path("same.json"), "{}");
  Put(Path("change.json"), R"({"general": {"coPosition": 30}})");
  const struct {
    std::vector<std::string> args;
    std::string saved;  // empty: nothing is written
  } cases[] = {
      {{"codes", "export", Path("k.dat"), db}, Path("k.dat")},
      {{"codes", "export", Path("k.txt"), db}, Path("k.txt")},
      {{"codes", "import", Path("k.dat"), db}, db},
      {{"numbers", "export", Path("CALL.TXT"), db}, Path("CALL.TXT")},
      {{"numbers", "import", Path("CALL.TXT"), db}, db},
      {{"print", "numbers", db, "-o", Path("list.txt")}, Path("list.txt")},
      {{"apply", Path("change.json"), db}, db},
      {{"apply", Path("same.json"), db}, ""},
  };
  for (const auto& c : cases) {
    const CliRun r = Cli(c.args);
    EXPECT_EQ(r.status, 0) << c.args[0] << " " << c.args[1] << ": " << r.err;
    EXPECT_EQ(r.err, c.saved.empty() ? "" : "Mentve: " + c.saved + "\n")
        << c.args[0] << " " << c.args[1];
    if (!c.saved.empty()) {
      EXPECT_TRUE(fs::exists(c.saved));
    }
  }
}

// Whatever writes a file says so on stderr; a new database never silently replaces one.
TEST_F(CliTest, NewRefusesAnExistingFileUnlessForced) {
  const std::string file = Path("site.pin");
  Put(file, "precious");
  struct Case {
    std::vector<std::string> extra;
    int status;
    std::string stderrHas;
    bool replaced;
  };
  const Case cases[] = {
      {{}, 2, "már létezik", false},
      {{"--site", "Pécs"}, 2, "--force", false},
      {{"--force"}, 0, "Mentve: " + file, true},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"new", "--model", "4", "-o", file};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const CliRun r = Cli(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.stderrHas), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(Slurp(file) != "precious", c.replaced);
  }
  // A symbolic link to nowhere is a name in use too.
  fs::create_symlink(Path("nowhere"), Path("link.pin"));
  EXPECT_EQ(Cli({"new", "--model", "4", "-o", Path("link.pin")}).status, 2);
  EXPECT_FALSE(fs::exists(Path("nowhere")));

  const CliRun fresh = Cli({"new", "--model", "16", "-o", Path("fresh.pin")});
  EXPECT_EQ(fresh.status, 0);
  EXPECT_EQ(fresh.err, "Mentve: " + Path("fresh.pin") + "\n");
}

// A code table that does not fit is repaired as the window repairs it when it opens the
// file; every command that reads the table says what it repaired, one line a repair.
TEST_P(CliEachModel, ARepairedCodeTableIsReportedByEveryReader) {
  DatabaseRecord r = NewRecord(model());
  r.image.SetBytes(kVersionTextOffset, fourLine() ? "P4239" : "P4290");
  r.image.SetImageByte(layout().Offset(Field::CodeRecordLength), 12);
  r.image.SetImageByte(layout().Offset(Field::CodeCount), 1000 & 0xFF);
  r.image.SetImageByte(layout().Offset(Field::CodeCount) + 1, 1000 >> 8);
  const std::string db = Path("broken.pin");
  ASSERT_TRUE(SaveDatabaseFile(db, r).ok);
  const std::string warnings =
      "figyelmeztetés: Érvénytelen kódmennyiség! Az adatbázis sérült lehet.\n"
      "figyelmeztetés: Jelzett kód hosszúság:12 Beállítom 8-ra (maximum)\n"
      "figyelmeztetés: Jelzett kód mennyiség:1000 Beállítom 341-ra (maximum)\n";
  const std::vector<std::vector<std::string>> readers = {
      {"show", db},
      {"codes", "export", Path("codes.txt"), db},
      {"print", "codes", db, "-o", Path("codes-list.txt")},
  };
  for (auto args : readers) {
    args.insert(args.end(), {"--password", ""});
    const CliRun run = Cli(args);
    EXPECT_EQ(run.status, 0) << args[0] << ": " << run.err;
    EXPECT_EQ(run.err.substr(0, warnings.size()), warnings) << args[0];
  }
}

// The count shown is the width the CO numbers are cut with, also when the stored count is
// outside 1..4, so that the count and the numbers agree.
TEST_P(CliEachModel, ShowGivesTheCoCountTheNumbersAreCutWith) {
  struct Case {
    uint8_t stored;
    const char* count;
    const char* line2;
  };
  // The defaults put "0102030405..." in the field: line 2 starts at the width.
  const Case cases[] = {{0, "1", "\"1\""},    {1, "1", "\"1\""},    {3, "3", "\"203\""},
                        {4, "4", "\"0304\""}, {5, "4", "\"0304\""}, {255, "4", "\"0304\""}};
  for (const auto& c : cases) {
    DatabaseRecord r = NewRecord(model());
    r.image.SetImageByte(layout().Offset(Field::CoCharCount), c.stored);
    ASSERT_TRUE(SaveDatabaseFile(Path("co.pin"), r).ok);
    for (const bool json : {false, true}) {
      std::vector<std::string> args = {"show", Path("co.pin"), "--model", flag(), "--password", ""};
      if (json) args.push_back("--json");
      const CliRun run = Cli(args);
      ASSERT_EQ(run.status, 0) << run.err;
      const std::string count = json ? std::string("\"coCharCount\": ") + c.count
                                     : std::string("CO karakterszám: ") + c.count + "\n";
      EXPECT_NE(run.out.find(count), std::string::npos) << int(c.stored) << "\n" << run.out;
      const std::string line2 =
          json ? std::string("\"coNumber\": ") + c.line2 : std::string("  02    ") + c.line2;
      EXPECT_NE(run.out.find(line2), std::string::npos) << int(c.stored) << "\n" << run.out;
    }
  }
}

// A password with a character the code page lacks cannot match any stored one; taking it
// as empty would open an unprotected database. Refused, typed or given, naming the character.
TEST_F(CliTest, AnUnstorablePasswordIsRefused) {
  ASSERT_EQ(Cli({"new", "--model", "4", "-o", Path("open.pin")}).status, 0);
  const CliRun given = Cli({"show", Path("open.pin"), "--model", "4", "--password", "señor"});
  EXPECT_EQ(given.status, 1);
  EXPECT_NE(given.err.find("ñ"), std::string::npos) << given.err;
  EXPECT_TRUE(given.out.empty());

  // Every command that reads a database asks the same way; an upload too.
  struct Prompted {
    const char* typed;
    std::vector<std::string> args;
  };
  const std::string db = Path("open.pin");
  const std::vector<std::string> show = {"show", db, "--model", "4"};
  const Prompted cases[] = {{"señor\n", show},
                            {"\xFF\xFE\n", show},
                            {"\n", show},
                            {"señor\n", {"upload", db, "--port", Path("no-port")}}};
  for (const Prompted& c : cases) {
    const char* typed = c.typed;
    std::vector<char*> argv = {const_cast<char*>(TARVELO_CLI)};
    for (const std::string& arg : c.args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::execv(TARVELO_CLI, argv.data());
      ::_exit(127);
    }
    // The prompt comes first (naming the file); the line typed then.
    std::string seen;
    char buf[4096];
    for (int reads = 0;
         seen.find("Jelszó") == std::string::npos || seen.find(": ") == std::string::npos;
         ++reads) {
      ASSERT_LT(reads, 100) << seen;
      pollfd p{master, POLLIN, 0};
      ASSERT_GT(::poll(&p, 1, 5000), 0) << "no prompt: " << seen;
      const ssize_t n = ::read(master, buf, sizeof buf);
      ASSERT_GT(n, 0) << seen;
      seen.append(buf, static_cast<size_t>(n));
    }
    ASSERT_EQ(::write(master, typed, std::strlen(typed)), static_cast<ssize_t>(std::strlen(typed)));
    for (;;) {
      const ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;
      seen.append(buf, static_cast<size_t>(n));
    }
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    ::close(master);
    ASSERT_TRUE(WIFEXITED(raw));
    if (std::string(typed) == "\n") {
      EXPECT_EQ(WEXITSTATUS(raw), 0) << "an empty password opens an open database\n" << seen;
      EXPECT_NE(seen.find("Típus: Zentor-4"), std::string::npos) << seen;
    } else {
      EXPECT_EQ(WEXITSTATUS(raw), 1) << seen;
      EXPECT_NE(seen.find(std::string(typed)[0] == 's' ? "\"ñ\"" : "\\xFF"), std::string::npos)
          << seen;
      EXPECT_EQ(seen.find("Típus:"), std::string::npos) << seen;
    }
  }
}

// A --model that contradicts what the database proves wrote one model's image over the
// other's fields: `codes import --model 4` on a 16-line database overwrote its timers, and
// an upload sent a 4-line image to a 16-line device. Every command that opens a database
// refuses it, naming both models, before it reads or writes anything else.
TEST_P(CliEachModel, AModelThatContradictsTheDatabaseIsRefused) {
  Put(Path("codes.txt"), "1234\r\n");
  Put(Path("CALL.TXT"), "112\r\n");
  Put(Path("empty.json"), "{}");
  struct Db {
    const char* name;
    DeviceModel model;
    const char* version;  // "" for one never downloaded, proven by its map
  };
  for (const Db& db : {Db{"downloaded.pin", model(), fourLine() ? "P4239" : "P4290"},
                       Db{"new.pin", model(), ""}}) {
    const std::string file = Path(db.name);
    DatabaseRecord r;
    NewDatabaseDefaults(r, ImageLayout::For(db.model));
    r.image.SetBytes(kVersionTextOffset, db.version);
    ASSERT_TRUE(SaveDatabaseFile(file, r).ok);
    const std::string before = Slurp(file);
    const bool four = db.model == DeviceModel::FourLine;
    const std::string own = four ? "4" : "16", wrong = four ? "16" : "4";
    const std::vector<std::vector<std::string>> commands = {
        {"show", file},
        {"codes", "import", Path("codes.txt"), file},
        {"codes", "export", Path("out.dat"), file},
        {"numbers", "import", Path("CALL.TXT"), file},
        {"numbers", "export", Path("out.txt"), file},
        {"apply", Path("empty.json"), file},
        {"print", "codes", file, "-o", Path("out.txt")},
        {"upload", "--port", Path("no-such-port"), file},
        {"diff", file, file},
    };
    for (auto args : commands) {
      SCOPED_TRACE(std::string(db.name) + ": " + args[0] + " " + args[1]);
      args.insert(args.end(), {"--password", "", "--model", wrong});
      const CliRun r = Cli(args);
      // diff keeps 1 for "they differ".
      EXPECT_EQ(r.status, args[0] == "diff" ? 2 : 1) << r.err;
      EXPECT_NE(r.err.find(ModelName(db.model)), std::string::npos) << r.err;
      EXPECT_NE(r.err.find(ModelName(four ? DeviceModel::SixteenLine : DeviceModel::FourLine)),
                std::string::npos)
          << r.err;
      if (*db.version) {
        EXPECT_NE(r.err.find(db.version), std::string::npos) << r.err;
      }
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
      EXPECT_TRUE(r.out.empty());
      EXPECT_EQ(Slurp(file), before);
      EXPECT_FALSE(fs::exists(Path("out.dat")) || fs::exists(Path("out.txt")));
    }
    // The database's own model, named or not, is taken.
    for (const std::vector<std::string>& model :
         {std::vector<std::string>{"--model", own}, std::vector<std::string>{}}) {
      std::vector<std::string> args = {"show", file, "--password", ""};
      args.insert(args.end(), model.begin(), model.end());
      const CliRun r = Cli(args);
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_NE(r.out.find(std::string("Típus: ") + ModelName(db.model)), std::string::npos);
    }
  }
  // What proves no model is read as the user says.
  DatabaseRecord zeros;
  ASSERT_TRUE(SaveDatabaseFile(Path("zeros.pin"), zeros).ok);
  const CliRun r = Cli({"show", Path("zeros.pin"), "--password", "", "--model", flag()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(std::string("Típus: ") + ModelName(model())), std::string::npos);
}
