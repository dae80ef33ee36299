// tarvelo-cli codes and numbers: the exchange files from the command line.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "files/DatabaseFile.h"
#include "model/CodeTable.h"
#include "model/FreeNumbers.h"
#include "tests/EachModel.h"
#include "tests/cli/CliFixture.h"

using namespace tarvelo;

namespace {

class ExchangeCliTest : public CliFixture {
 protected:
  std::string NewDb(const std::string& name, const std::string& model) const {
    const std::string db = Path(name);
    EXPECT_EQ(Cli({"new", "--model", model, "-o", db, "--password", "pw"}).status, 0);
    return db;
  }
  static DatabaseRecord Load(const std::string& db) {
    DatabaseRecord r;
    EXPECT_EQ(LoadDatabaseFile(db, r, [] { return std::string("pw"); }).status, LoadStatus::Ok);
    return r;
  }
  static std::string CodeTable(const std::string& db, DeviceModel model) {
    const DatabaseRecord r = Load(db);
    const ImageLayout layout = ImageLayout::For(model);
    const int n = StoredCodeCount(r.image, layout);
    const int l = StoredRecordLength(r.image, layout);
    return std::to_string(n) + "x" + std::to_string(l) + ":" +
           r.image.Bytes(layout.Offset(Field::CodeTable), n * l);
  }
};

class ExchangeCliEachModel : public ExchangeCliTest, public ModelParam {};
TARVELO_EACH_MODEL(ExchangeCliEachModel);

TEST_P(ExchangeCliEachModel, CodesTravelThroughBothFormats) {
  const std::string flag = this->flag();
  const DeviceModel model = this->model();
  const std::string db = NewDb(std::string("a") + flag + ".pi1", flag);
  Put(Path("in.txt"), "1234\tHelyi\r\n654321\r\n12\tx\r\n");
  CliRun r = Cli({"codes", "import", Path("in.txt"), db, "--password", "pw", "--model", flag});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "3 kód beolvasva (6 jegyű).\n");
  const std::string table = CodeTable(db, model);
  EXPECT_EQ(table.substr(0, 6), "3x7:12");

  ASSERT_EQ(
      Cli({"codes", "export", Path("out.dat"), db, "--password", "pw", "--model", flag}).status, 0);
  const std::string dat = Slurp(Path("out.dat"));
  EXPECT_EQ(dat.size(), 25u);
  EXPECT_EQ(dat.substr(0, 3), std::string("\x07\x03\x00", 3));
  ASSERT_EQ(Cli({"codes", "export", Path("out.list"), db, "--format", "txt", "--password", "pw",
                 "--model", flag})
                .status,
            0);
  const std::string first = "1234  \tHelyi\tT\xE1v\tMobil\tNemz\r\n";
  EXPECT_EQ(Slurp(Path("out.list")).substr(0, first.size()), first);

  for (const auto& [file, format] : {std::pair{"out.dat", "dat"}, std::pair{"out.list", "txt"}}) {
    const std::string other = NewDb(std::string("b") + flag + format + ".pi1", flag);
    r = Cli({"codes", "import", Path(file), other, "--format", format, "--password", "pw",
             "--model", flag});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CodeTable(other, model), table) << format;
  }
}

TEST_P(ExchangeCliEachModel, RefusedImportsLeaveTheDatabaseFileAlone) {
  const std::string db = NewDb("db.pi1", flag());
  const std::string before = Slurp(db);
  const struct {
    const char* name;
    std::string bytes;
    const char* says;
  } cases[] = {
      {"zero.dat", std::string("\x00\x02\x00", 3) + "xxxx", "!!!"},
      {"short.dat", std::string("\x07\x02\x00", 3) + "1234567", "!!!"},
      {"big.dat", std::string("\x09\x56\x01", 3) + std::string(342 * 9 + 1, '1'), "341"},
      {"long.txt", "123456789\r\n", "!!!"},
  };
  for (const auto& c : cases) {
    Put(Path(c.name), c.bytes);
    const CliRun r =
        Cli({"codes", "import", Path(c.name), db, "--password", "pw", "--model", flag()});
    EXPECT_EQ(r.status, 2) << c.name;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(Slurp(db), before) << c.name;
  }
  CliRun r =
      Cli({"numbers", "import", Path("nincs.txt"), db, "--password", "pw", "--model", flag()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Megnyitási hiba!"), std::string::npos);
  r = Cli({"codes", "import", Path("short.dat"), db, "--password", "rossz", "--model", flag()});
  EXPECT_EQ(r.status, 2);
  r = Cli({"codes", "export", Path("x.bin"), db, "--password", "pw", "--model", flag()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("--format"), std::string::npos);
  EXPECT_EQ(Slurp(db), before);
}

TEST_P(ExchangeCliEachModel, NumbersFillToCapacityAndAppendOnRequest) {
  const std::string flag = this->flag();
  const int capacity = fourLine() ? 208 : 192;
  const std::string db = NewDb(std::string("n") + flag + ".pi1", flag);
  std::string lines;
  for (int i = 0; i < 250; ++i) lines += std::to_string(100000 + i) + "\r\n";
  Put(Path("CALL.TXT"), lines);
  CliRun r = Cli({"numbers", "import", Path("CALL.TXT"), db, "--password", "pw", "--model", flag});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Maximum " + std::to_string(capacity) + " szám"), std::string::npos);
  const ImageLayout& layout = this->layout();
  EXPECT_EQ(static_cast<int>(DecodeFreeNumbers(Load(db).image, layout).size()), capacity);

  ASSERT_EQ(
      Cli({"numbers", "export", Path("out.txt"), db, "--password", "pw", "--model", flag}).status,
      0);
  EXPECT_EQ(Slurp(Path("out.txt")).size(), static_cast<size_t>(capacity) * 18);
  Put(Path("two.txt"), "0612345\n0698765\n");
  r = Cli({"numbers", "import", Path("two.txt"), db, "--password", "pw", "--model", flag});
  ASSERT_EQ(r.status, 0) << r.err;
  Put(Path("one.txt"), "112\n");
  r = Cli(
      {"numbers", "import", Path("one.txt"), db, "--append", "--password", "pw", "--model", flag});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(DecodeFreeNumbers(Load(db).image, layout),
            (std::vector<std::string>{"0612345         ", "0698765         ", "112             "}));
}

TEST_P(ExchangeCliEachModel, NumberFilesAreReadAsWrittenOrNotAtAll) {
  const std::string db = NewDb("n.pi1", flag());
  const ImageLayout& layout = this->layout();
  // CR alone ends a line as well; blank lines are no numbers.
  Put(Path("cr.txt"), "\r\r0612345\r\r  \r112\r");
  CliRun r = Cli({"numbers", "import", Path("cr.txt"), db, "--password", "pw", "--model", flag()});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> two = {"0612345         ", "112             "};
  EXPECT_EQ(DecodeFreeNumbers(Load(db).image, layout), two);

  // Refused, the database stays as it was, with or without --append.
  const std::string before = Slurp(db);
  Put(Path("long.txt"), "0612345\n12345678901234567\n");
  Put(Path("huge.txt"), std::string((1 << 20) + 5, '1') + "\n2\n");
  const struct {
    const char* file;
    const char* says;
  } cases[] = {{"long.txt", "2. sora 17 karakter hosszú"}, {"huge.txt", "nagyobb 1 MiB-nál"}};
  for (const auto& c : cases) {
    for (bool append : {false, true}) {
      std::vector<std::string> args = {"numbers",    "import", Path(c.file), db,
                                       "--password", "pw",     "--model",    flag()};
      if (append) args.push_back("--append");
      r = Cli(args);
      EXPECT_EQ(r.status, 2) << c.file;
      EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
      EXPECT_EQ(r.err.find("Maximum"), std::string::npos) << r.err;
      EXPECT_EQ(Slurp(db), before) << c.file;
    }
  }
}

TEST_P(ExchangeCliEachModel, ATableOfNoCodesTravelsAsNone) {
  const std::string fresh = NewDb("fresh.pi1", flag());
  ASSERT_EQ(Cli({"codes", "export", Path("none.dat"), fresh, "--password", "pw", "--model", flag()})
                .status,
            0);
  EXPECT_EQ(Slurp(Path("none.dat")), std::string("\x07\x00\x00\x00", 4));
  ASSERT_EQ(Cli({"codes", "export", Path("none.txt"), fresh, "--password", "pw", "--model", flag()})
                .status,
            0);
  EXPECT_EQ(Slurp(Path("none.txt")), "");

  const std::string db = NewDb("codes.pi1", flag());
  Put(Path("in.txt"), "1234\r\n5678\r\n");
  ASSERT_EQ(
      Cli({"codes", "import", Path("in.txt"), db, "--password", "pw", "--model", flag()}).status,
      0);
  const CliRun r =
      Cli({"codes", "import", Path("none.dat"), db, "--password", "pw", "--model", flag()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CodeTable(db, model()), "0x7:");

  // A header of record length 0 says so, not "-1 digits".
  Put(Path("zero.dat"), std::string("\x00\x01\x00", 3) + "x");
  const CliRun zero =
      Cli({"codes", "import", Path("zero.dat"), db, "--password", "pw", "--model", flag()});
  EXPECT_EQ(zero.status, 2);
  EXPECT_NE(zero.err.find("rekordhossz 0"), std::string::npos) << zero.err;
  EXPECT_EQ(zero.err.find("-1"), std::string::npos) << zero.err;
}

}  // namespace
