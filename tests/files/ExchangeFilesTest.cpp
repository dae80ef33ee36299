#include "files/ExchangeFiles.h"

#include <gtest/gtest.h>

#include "model/NewDatabase.h"
#include "tests/TempDirTest.h"

using namespace tarvelo;

namespace {

class ExchangeFilesTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    NewDatabaseDefaults(record_, layout_);
  }
  // A decoded table of the given codes (all of one length) with the given rights bits.
  void Table(const std::vector<std::pair<std::string, int>>& codes, int codeLength) {
    StoreRecordLength(image(), layout_, codeLength + 1);
    StoreCodeCount(image(), layout_, static_cast<int>(codes.size()));
    grid_.setRowCount(static_cast<int>(codes.size()) + 1);
    for (size_t i = 0; i < codes.size(); ++i) {
      CodeRow& row = grid_.row(static_cast<int>(i) + 1);
      row.code = codes[i].first;
      for (int r = 0; r < 4; ++r) row.rights[r] = (codes[i].second >> r) & 1 ? kYes : kNo;
    }
    EncodeCodeTable(image(), layout_, grid_);
  }
  ConfigImage& image() { return record_.image; }
  int L() { return StoredRecordLength(image(), layout_); }
  int N() { return StoredCodeCount(image(), layout_); }

  ImageLayout layout_ = ImageLayout::For(DeviceModel::SixteenLine);
  DatabaseRecord record_;
  CodeGrid grid_;
};

TEST_F(ExchangeFilesTest, PinDatHoldsHeaderRecordsOfBitsAndAClosingZero) {
  Table({{"123456", 0x0F}, {"000001", 0x05}, {"99", 0}}, 6);
  const std::string dat = ExportPinDat(image(), layout_, grid_);
  ASSERT_EQ(dat.size(), 25u);
  EXPECT_EQ(dat.substr(0, 3), std::string("\x07\x03\x00", 3));
  EXPECT_EQ(dat.substr(3, 7), std::string("123456\x0F"));
  EXPECT_EQ(dat.substr(10, 7), std::string("000001\x05"));
  EXPECT_EQ(dat.substr(17, 7), std::string("99    \x00", 7));  // padded, no rights
  EXPECT_EQ(dat.back(), '\0');

  // Back into another database of the other model: same table, same bytes.
  DatabaseRecord other;
  const ImageLayout four = ImageLayout::For(DeviceModel::FourLine);
  NewDatabaseDefaults(other, four);
  CodeGrid grid;
  ASSERT_FALSE(ImportPinDat(dat, other.image, four, grid));
  EncodeCodeTable(other.image, four, grid);
  EXPECT_EQ(ExportPinDat(other.image, four, grid), dat);
  EXPECT_EQ(grid.rowCount(), 4);
  EXPECT_EQ(grid.row(3).code, "99    ");
}

TEST_F(ExchangeFilesTest, PinDatRightsReadOnlyTheFourLowBits) {
  const std::string dat = std::string("\x03\x03\x00", 3) + "12?" + "34\x0F" + "56\x35" + '\0';
  ASSERT_FALSE(ImportPinDat(dat, image(), layout_, grid_));
  const std::array<std::string, 4> all = {kYes, kYes, kYes, kYes};
  EXPECT_EQ(grid_.row(1).rights, all);  // 0x3F, with the image's base
  EXPECT_EQ(grid_.row(2).rights, all);  // 0x0F
  EXPECT_EQ(grid_.row(3).rights, (std::array<std::string, 4>{kYes, kNo, kYes, kNo}));
  EXPECT_EQ(L(), 3);
  EXPECT_EQ(N(), 3);
}

TEST_F(ExchangeFilesTest, UnrepresentableCodeFilesAreRefusedBeforeAnythingChanges) {
  Table({{"111111", 0x0F}, {"222222", 0x01}}, 6);
  const ConfigImage before = image();
  const CodeGrid gridBefore = grid_;
  const std::string tooShortTable = std::string("\x07\x02\x00", 3) + "1234561";  // 1 of 2 codes
  std::string tooManyLines;
  for (int i = 0; i < 1025; ++i) tooManyLines += "12\r\n";  // 1025 x 3 > 3072
  const struct {
    const char* what;
    std::string bytes;
    bool dat;
  } cases[] = {
      {"empty PIN.DAT", "", true},
      {"header cut short", std::string("\x07\x01", 2), true},
      {"L = 0", std::string("\x00\x01\x00", 3) + "x", true},
      {"code length 1", std::string("\x02\x01\x00", 3) + "1\x0F", true},
      {"code length 9", std::string("\x0A\x01\x00", 3) + "123456789\x0F", true},
      {"N x L over the table", std::string("\x09\x56\x01", 3) + std::string(342 * 9, '1'), true},
      {"ends before its last code", tooShortTable, true},
      {"empty text", "", false},
      {"one-digit codes", "1\t\r\n2\r\n", false},
      {"nine-digit code", "123456789\r\n12\r\n", false},
      {"more lines than fit", tooManyLines, false},
  };
  for (const auto& c : cases) {
    const Refusal refused = c.dat ? ImportPinDat(c.bytes, image(), layout_, grid_)
                                  : ImportCodeText(c.bytes, image(), layout_, grid_);
    ASSERT_TRUE(refused) << c.what;
    EXPECT_NE(refused->find("!!!"), std::string::npos) << c.what;
    EXPECT_TRUE(image() == before) << c.what;
    EXPECT_EQ(grid_.rowCount(), gridBefore.rowCount()) << c.what;
    EXPECT_EQ(grid_.row(1).code, gridBefore.row(1).code) << c.what;
  }
  // The largest tables that fit are taken.
  EXPECT_FALSE(ImportPinDat(std::string("\x09\x55\x01", 3) + std::string(341 * 9, '1'), image(),
                            layout_, grid_));
  EXPECT_EQ(N(), 341);
  std::string lines;
  for (int i = 0; i < 1024; ++i) lines += "12\r\n";
  EXPECT_FALSE(ImportCodeText(lines, image(), layout_, grid_));
  EXPECT_EQ(N(), 1024);
  EXPECT_EQ(L(), 3);
}

TEST_F(ExchangeFilesTest, CodeTextTakesTheLongestCodeAndGrantsEveryRight) {
  const std::string text = "1234\tHelyi\t\t\t\r\n654321\tx\r\n12\tNem\r\n";
  ASSERT_FALSE(ImportCodeText(text, image(), layout_, grid_));
  EXPECT_EQ(N(), 3);
  EXPECT_EQ(L(), 7);
  EncodeCodeTable(image(), layout_, grid_);
  const long table = layout_.Offset(Field::CodeTable);
  EXPECT_EQ(image().Bytes(table + 14, 7), "12    ?");
  EXPECT_EQ(image().Bytes(table, 7), "1234  ?");

  // Blank lines are empty codes; a line without a tab is all code; LF alone ends lines.
  ASSERT_FALSE(ImportCodeText("  55  \n\n123", image(), layout_, grid_));
  EXPECT_EQ(N(), 3);
  EXPECT_EQ(L(), 4);  // blanks around a code do not count towards its length
  EXPECT_EQ(grid_.row(1).code, "55");
  EXPECT_EQ(grid_.row(2).code, "");
  EXPECT_EQ(grid_.row(3).code, "123");
}

TEST_F(ExchangeFilesTest, CodeTextCodesAreStoredWholeWhateverBlanksSurroundThem) {
  // Blanks before a code are not counted in its length, so kept they would push its last
  // digits past the length when the grid is written back.
  ASSERT_FALSE(ImportCodeText("   12\r\n 1 \r\n\t987\r\n", image(), layout_, grid_));
  EncodeCodeTable(image(), layout_, grid_);
  ASSERT_EQ(L(), 3);
  const long table = layout_.Offset(Field::CodeTable);
  EXPECT_EQ(image().Bytes(table, 3 * L()), "12?1 ?  ?");
}

TEST_F(ExchangeFilesTest, CodesOfOtherCharactersThanDigitsAndBlanksAreRefused) {
  Table({{"111111", 0x0F}}, 6);
  const ConfigImage before = image();
  const struct {
    const char* what;
    std::string bytes;
    bool dat;
  } cases[] = {
      {"letter in a PIN.DAT code",
       std::string("\x04\x02\x00"
                   "123\x0F"
                   "1a3\x0F"
                   "\x00",
                   12),
       true},
      {"NUL in a PIN.DAT code",
       std::string("\x03\x02\x00"
                   "12\x0F"
                   "1\x00\x0F"
                   "\x00",
                   10),
       true},
      {"letters in a text code", "1234\r\nabcd\tHelyi\r\n", false},
      {"a lone CR inside a text line", "12\r\n1\r4\r\n", false},
  };
  for (const auto& c : cases) {
    const Refusal refused = c.dat ? ImportPinDat(c.bytes, image(), layout_, grid_)
                                  : ImportCodeText(c.bytes, image(), layout_, grid_);
    ASSERT_TRUE(refused) << c.what;
    EXPECT_NE(refused->find("2. kódjában nem számjegy"), std::string::npos) << *refused;
    EXPECT_TRUE(image() == before) << c.what;
    EXPECT_EQ(grid_.row(1).code, "111111") << c.what;
  }
  // Blanks are padding and blank codes are empty ones: both still come in.
  ASSERT_FALSE(ImportPinDat(std::string("\x04\x02\x00"
                                        "12 \x0F"
                                        "   \x00"
                                        "\x00",
                                        12),
                            image(), layout_, grid_));
  EXPECT_EQ(grid_.row(2).code, "   ");
}

TEST_F(ExchangeFilesTest, CodeTextExportHasFourTabsAndWindows1250Words) {
  Table({{"123456", 0x05}, {"000000", 0x0F}, {"654321", 0}}, 6);
  EXPECT_EQ(ExportCodeText(image(), layout_, grid_),
            "123456\tHelyi\t\tMobil\t\r\n"
            "000000\tHelyi\tT\xE1v\tMobil\tNemz\r\n"
            "654321\t\t\t\t\r\n");
  // Read back it gives the same codes (every right granted).
  CodeGrid back;
  ASSERT_FALSE(ImportCodeText(ExportCodeText(image(), layout_, grid_), image(), layout_, back));
  EXPECT_EQ(back.row(2).code, "000000");
  EXPECT_EQ(back.rowCount(), 4);
}

TEST_F(ExchangeFilesTest, CallTxtFillsToCapacityAndReportsWhatWasLeft) {
  std::string file;
  for (int i = 0; i < 250; ++i) file += std::to_string(1000 + i) + "\r\n";
  NumberImport in = ImportCallTxt(file, {}, 208);
  EXPECT_EQ(in.items.size(), 208u);
  EXPECT_TRUE(in.linesLeft);
  EXPECT_EQ(in.items[0], "1000            ");
  EXPECT_EQ(CallTxtFullMessage(208),
            "Maximum 208 szám lehet a listában, ezért néhány szám beolvasatlan maradt!");

  // Appending: kept items first; an exactly full list is not "left", nor are blank lines.
  in = ImportCallTxt("1234567890123456\n\n  \n", {"06801234567     "}, 2);
  ASSERT_EQ(in.items.size(), 2u);
  EXPECT_FALSE(in.linesLeft);
  EXPECT_EQ(in.items[1], "1234567890123456");

  // Only the start of a longer file: its cut last line is not a number, and what was not
  // read is reported once the list is full.
  in = ImportCallTxt("111\r\n222\r\n3", {}, 2, true);
  EXPECT_EQ(in.items, (std::vector<std::string>{"111             ", "222             "}));
  EXPECT_TRUE(in.linesLeft);
  EXPECT_FALSE(in.refused);

  // Export writes the items unchanged, one a line, and reads back the same.
  const std::vector<std::string> items = {"1234            ", "06 1 234 5678   "};
  EXPECT_EQ(ExportCallTxt(items), "1234            \r\n06 1 234 5678   \r\n");
  EXPECT_EQ(ImportCallTxt(ExportCallTxt(items), {}, 192).items, items);
}

TEST_F(ExchangeFilesTest, CallTxtTakesEachNumberOnceWhateverEndsItsLines) {
  const std::vector<std::string> three = {"111             ", "06 1 234 5678   ",
                                          "333             "};
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"CR LF", "111\r\n06 1 234 5678\r\n333\r\n"},
      {"LF", "111\n06 1 234 5678\n333"},
      {"CR alone", "111\r06 1 234 5678\r333\r"},
      {"mixed", "111\r06 1 234 5678\n333\r\n"},
      {"blank lines anywhere", "\r\n\r\n111\r\n\r\n   \t\r\n06 1 234 5678\n\n\n333\r\n\r\n"},
      {"trailing blanks, a line of 16 then blanks", "111   \n06 1 234 5678        \t\n333\n"},
  };
  for (const auto& c : cases) {
    const NumberImport in = ImportCallTxt(c.bytes, {}, 208);
    EXPECT_FALSE(in.refused) << c.what << ": " << *in.refused;
    EXPECT_EQ(in.items, three) << c.what;
    EXPECT_FALSE(in.linesLeft) << c.what;
  }
  // Blank lines take no place: a full list is full of numbers.
  const NumberImport full = ImportCallTxt("\n\n1\n\n2\n\n", {}, 2);
  EXPECT_EQ(full.items, (std::vector<std::string>{"1               ", "2               "}));
  EXPECT_FALSE(full.linesLeft);
  EXPECT_TRUE(ImportCallTxt("\n\n1\n\n2\n\n3", {}, 2).linesLeft);
}

TEST_F(ExchangeFilesTest, CallTxtRefusesALineTooLongForANumberAndChangesNothing) {
  const std::vector<std::string> kept = {"112             "};
  const NumberImport in = ImportCallTxt("0612345\r\n\r\n12345678901234567890\r\n", kept, 208);
  ASSERT_TRUE(in.refused);
  EXPECT_EQ(*in.refused,
            "A fájl 3. sora 20 karakter hosszú; egy szám legfeljebb 16 karakter lehet !!! A lista "
            "nem változott.");
  EXPECT_EQ(in.items, kept);
  // Past a full list nothing more is read, a long line included.
  const NumberImport full = ImportCallTxt("1\n12345678901234567890\n", {}, 1);
  EXPECT_FALSE(full.refused);
  EXPECT_TRUE(full.linesLeft);
}

TEST_F(ExchangeFilesTest, CallTxtThatCannotBeReadWholeChangesNothing) {
  const std::vector<std::string> kept = {"111             ", "222             "};
  // The first line alone is larger than what is read of a file.
  const std::string huge = Path("huge.txt");
  Put(huge, std::string(kTextFileMaxBytes + 10, '1') + "\r\n2\r\n");
  const auto one = ImportCallTxtFile(huge, kept, 208);
  ASSERT_TRUE(one);
  ASSERT_TRUE(one->refused);
  EXPECT_NE(one->refused->find("nagyobb 1 MiB-nál"), std::string::npos) << *one->refused;
  EXPECT_EQ(one->items, kept);
  // Whole lines of numbers, but blank lines fill the rest: the list has room for what is unread.
  const std::string sparse = Path("sparse.txt");
  Put(sparse, "333\r\n" + std::string(kTextFileMaxBytes, '\n') + "444\r\n");
  const auto two = ImportCallTxtFile(sparse, kept, 208);
  ASSERT_TRUE(two && two->refused);
  EXPECT_EQ(two->items, kept);
  // A large file whose start fills the list is read as far as the list takes, and says so.
  const std::string many = Path("many.txt");
  std::string lines;
  while (lines.size() <= kTextFileMaxBytes) lines += "0680123456\r\n";
  Put(many, lines);
  const auto three = ImportCallTxtFile(many, {}, 208);
  ASSERT_TRUE(three);
  EXPECT_FALSE(three->refused);
  EXPECT_EQ(three->items.size(), 208u);
  EXPECT_TRUE(three->linesLeft);
}

TEST_F(ExchangeFilesTest, RefusalsSayWhatIsWrongWithTheFile) {
  const struct {
    const char* what;
    std::string bytes;
    bool dat;
    const char* says;
  } cases[] = {
      {"record length 0", std::string("\x00\x01\x00", 3) + "x", true,
       "A fájl fejlécében a rekordhossz 0, ebben kód nem fér el; a rekordhossz 3..9 lehet"},
      {"record length 1", std::string("\x01\x01\x00", 3) + "x", true,
       "A fájl fejlécében a rekordhossz 1, ebben kód nem fér el"},
      {"record length 2", std::string("\x02\x01\x00", 3) + "1\x0F", true,
       "A fájl fejléce szerint a kódok 1 jegyűek; a kód 2..8 jegyű lehet"},
      {"a line of words without a tab", "1234\tHelyi\r\n5678 Helyi\r\n", false,
       "A fájl 2. kódjában nem számjegy is van (a sorban nincs tabulátor: az egész sor kód)"},
      {"a ten-digit code", "1234\r\n1234567890\tHelyi\r\n", false,
       "A fájl 2. kódja 10 jegyű; a kód 2..8 jegyű lehet"},
      {"one-digit codes", "1\r\n2\r\n", false,
       "A fájl leghosszabb kódja is csak 1 jegyű; a kód 2..8 jegyű lehet"},
      {"blank lines only", "\r\n  \r\n", false, "A fájlban nincs kód !!!"},
  };
  for (const auto& c : cases) {
    const Refusal refused = c.dat ? ImportPinDat(c.bytes, image(), layout_, grid_)
                                  : ImportCodeText(c.bytes, image(), layout_, grid_);
    ASSERT_TRUE(refused) << c.what;
    EXPECT_EQ(refused->rfind(c.says, 0), 0u) << c.what << ": " << *refused;
    EXPECT_EQ(refused->find("-1"), std::string::npos) << *refused;
  }
}

TEST_F(ExchangeFilesTest, AnEmptyTableTravelsAsNoCodes) {
  // A new database: no code stored, the grid's one blank row, or that row stored blank.
  CodeGrid grid;
  DecodeCodeTable(image(), layout_, grid);
  const std::string none = std::string("\x07\x00\x00\x00", 4);
  EXPECT_EQ(ExportPinDat(image(), layout_, grid), none);
  EXPECT_EQ(ExportCodeText(image(), layout_, grid), "");
  EncodeCodeTable(image(), layout_, grid);
  ASSERT_EQ(N(), 1);
  EXPECT_EQ(ExportPinDat(image(), layout_, grid), none);
  EXPECT_EQ(ExportCodeText(image(), layout_, grid), "");

  // An empty PIN.DAT over a table of codes leaves no code stored.
  Table({{"123456", 0x0F}, {"654321", 0x01}}, 6);
  ASSERT_FALSE(ImportPinDat(none, image(), layout_, grid_));
  StoreImportedCodes(image(), layout_, grid_);
  EXPECT_EQ(N(), 0);
  EXPECT_EQ(L(), 7);
  EXPECT_EQ(ExportPinDat(image(), layout_, grid_), none);
  // A code typed into that blank row is a code.
  grid_.row(1).code = "4321";
  EXPECT_EQ(ExportCodeText(image(), layout_, grid_), "4321\tHelyi\tT\xE1v\tMobil\tNemz\r\n");
}

TEST_F(ExchangeFilesTest, BothCodeExportsWriteTheRowsTheGridShows) {
  Table({{"111111", 0x0F}, {"222222", 0x01}}, 6);
  // A row added and typed into, not yet encoded.
  grid_.setRowCount(4);
  grid_.row(3) = {"333333", {kYes, kNo, kNo, kNo}};
  EXPECT_EQ(ExportCodeText(image(), layout_, grid_),
            "111111\tHelyi\tT\xE1v\tMobil\tNemz\r\n"
            "222222\tHelyi\t\t\t\r\n"
            "333333\tHelyi\t\t\t\r\n");
  const std::string dat = ExportPinDat(image(), layout_, grid_);
  EXPECT_EQ(dat.substr(0, 3), std::string("\x07\x03\x00", 3));
  EXPECT_EQ(dat.substr(3 + 14, 7), std::string("333333\x01"));
}

TEST_F(ExchangeFilesTest, FilesAreReadAndWrittenWholeOrNotAtAll) {
  Table({{"123456", 0x0F}}, 6);
  const std::string path = Path("PIN.DAT");
  ASSERT_FALSE(WriteExchangeFile(path, ExportPinDat(image(), layout_, grid_)));
  CodeGrid grid;
  EXPECT_FALSE(ImportPinDatFile(path, image(), layout_, grid));
  EXPECT_EQ(grid.row(1).code, "123456");

  const Refusal missing = ImportPinDatFile(Path("nincs.dat"), image(), layout_, grid);
  ASSERT_TRUE(missing);
  EXPECT_NE(missing->find("nincs.dat"), std::string::npos);
  EXPECT_TRUE(ImportCodeTextFile(dir_.string(), image(), layout_, grid));
  EXPECT_FALSE(ImportCallTxtFile(Path("nincs.txt"), {}, 208));
  EXPECT_TRUE(WriteExchangeFile(Path("nincs/CALL.TXT"), "x"));
}

TEST(CodeCountLimit, IsTheDifferentCodesOrWhatFitsWhicheverIsLess) {
  const std::pair<int, int> cases[] = {{2, 100}, {3, 768}, {4, 614}, {5, 512},
                                       {6, 438}, {7, 384}, {8, 341}};
  for (const auto& [length, limit] : cases) EXPECT_EQ(CodeCountLimit(length), limit) << length;
}

}  // namespace
