#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/CodeClipboard.h"
#include "model/Codecs.h"

using namespace tarvelo;

namespace {

const std::array<std::string, 4> kAll = {kYes, kYes, kYes, kYes};

CodeGrid Rows(std::vector<std::string> codes) {
  CodeGrid grid;
  grid.setRowCount(static_cast<int>(codes.size()) + 1);
  for (size_t i = 0; i < codes.size(); ++i) grid.row(static_cast<int>(i) + 1) = {codes[i], kAll};
  return grid;
}

std::vector<std::string> Codes(const CodeGrid& grid) {
  std::vector<std::string> out;
  for (int k = 1; k < grid.rowCount(); ++k) out.push_back(grid.row(k).code);
  return out;
}

}  // namespace

// Every spelling of a right a spreadsheet or the code text file may give, in each column.
TEST(CodeClipboard, RightsSpellings) {
  struct Case {
    const char* line;
    std::array<std::string, 4> rights;
  };
  const std::string no = kNo, yes = kYes;
  const Case cases[] = {
      {"123456", {yes, yes, yes, yes}},  // a code alone gets every right, as a new row
      {"123456\tIgen\tNem\tNem\tIgen", {yes, no, no, yes}},
      {"123456\tI\tN\tn\ti", {yes, no, no, yes}},
      {"123456\t1\t0\t0\t1", {yes, no, no, yes}},
      {"123456\tx\t\t\tX", {yes, no, no, yes}},
      {"123456\tx", {yes, no, no, no}},  // empty cells at the end left out
      {"123456;igen;NEM;nem;IGEN", {yes, no, no, yes}},
      {"\"123456\";\"Igen\";\"Nem\";\"Igen\";\"Nem\"", {yes, no, yes, no}},
      {"123456\tHelyi\tT\xE1v\tMobil\tNemz", {yes, yes, yes, yes}},  // the code text file
      {"123456\tHelyi\t\t\tNemz\t\t", {yes, no, no, yes}},
      {"123456\thelyi\tT\xE1vols\xE1gi\tmobil\tNemzetk\xF6zi", {yes, yes, yes, yes}},
      {"  123456  \t Igen \tNem\tNem\tNem", {yes, no, no, no}},
  };
  for (const Case& c : cases) {
    const CodePaste p = ReadCodeClipboard(c.line, 6, 1, 438);
    ASSERT_FALSE(p.refused) << c.line << ": " << *p.refused;
    ASSERT_EQ(p.rows.size(), 1u) << c.line;
    EXPECT_EQ(p.rows[0].code, "123456") << c.line;
    EXPECT_EQ(p.rows[0].rights, c.rights) << c.line;
  }
}

TEST(CodeClipboard, RefusalsNameTheFirstRefusedLineAndWhy) {
  struct Case {
    std::string text;
    int firstRow;
    std::string message;
  };
  const Case cases[] = {
      {"111111\n12a456\n", 1,
       "A vágólap 2. sorában a kód (\"12a456\") nem csak számjegyekből áll !!!"},
      {"1234567\n", 1, "A vágólap 1. sorában a kód (\"1234567\") hosszabb 6 jegynél !!!"},
      {"12 34\n", 1, "A vágólap 1. sorában a kód (\"12 34\") nem csak számjegyekből áll !!!"},
      {"111111\n\n222222\n", 1, "A vágólap 2. sora üres !!!"},
      {"111111\tIgen\ttalán\tNem\tNem", 1,
       "A vágólap 1. sorában a \"Távolsági\" oszlopban \"talán\" áll; Igen vagy Nem lehet !!!"},
      {"111111\tIgen\tNem\tNem\tNem\tKiss Béla", 1,
       "A vágólap 1. sorában a kód és a négy jog után még adat áll (\"Kiss Béla\") !!!"},
      {"111111\n222222\n333333\n", 437,
       "A vágólap 3. sora már nem fér el: a táblában legfeljebb 438 kód lehet !!!"},
      {"K\xF3"
       "d\tHelyi\n",
       1, "A vágólap 1. sorában a kód (\"Kód\") nem csak számjegyekből áll !!!"},
  };
  for (const Case& c : cases) {
    // The texts of the table are Windows-1250; the messages UTF-8.
    std::string text = c.text;
    for (auto [utf8, cp] : {std::pair<std::string, std::string>{"talán", "tal\xE1n"},
                            {"Kiss Béla", "Kiss B\xE9la"}}) {
      if (auto at = text.find(utf8); at != std::string::npos) text.replace(at, utf8.size(), cp);
    }
    const CodePaste p = ReadCodeClipboard(text, 6, c.firstRow, 438);
    ASSERT_TRUE(p.refused) << c.text;
    EXPECT_EQ(*p.refused, c.message);
    EXPECT_TRUE(p.rows.empty());
  }
}

TEST(CodeClipboard, LineEndsAndTrailingBlankLines) {
  const CodePaste p = ReadCodeClipboard("11\r\n22\r33\n44\n\n  \r\n", 6, 1, 438);
  ASSERT_FALSE(p.refused);
  ASSERT_EQ(p.rows.size(), 4u);
  EXPECT_EQ(p.rows[2].code, "33");
  EXPECT_EQ(ReadCodeClipboard("", 6, 1, 438).rows.size(), 0u);
}

TEST(CodeClipboard, PasteGrowsTheGridUpToTheLimitOnlyAndRefusedLeavesItAsItWas) {
  CodeGrid grid = Rows({"000001", "000002", "000003"});
  PasteResult r = PasteCodes(grid, "777777\t0\t0\t0\t0\n888888\n999999\n", 2, 6);
  ASSERT_FALSE(r.refused);
  EXPECT_EQ(r.rows, 3);
  EXPECT_EQ(Codes(grid), (std::vector<std::string>{"000001", "777777", "888888", "999999"}));
  EXPECT_EQ(grid.row(2).rights[3], kNo);
  EXPECT_EQ(grid.row(4).rights[0], kYes);
  // Two-digit codes: 100 at most.
  std::string hundred;
  for (int i = 0; i < 100; ++i) hundred += std::to_string(10 + i % 90) + "\n";
  CodeGrid small = Rows({"12"});
  ASSERT_FALSE(PasteCodes(small, hundred, 1, 2).refused);
  EXPECT_EQ(small.rowCount(), 101);
  const CodeGrid before = small;
  r = PasteCodes(small, "11\n22\n", 100, 2);
  ASSERT_TRUE(r.refused);
  EXPECT_EQ(small.rowCount(), before.rowCount());
  EXPECT_EQ(Codes(small), Codes(before));
}

TEST(CodeClipboard, CopyThenPasteIsTheSame) {
  CodeGrid grid = Rows({"123456", "", "000007", "12    "});
  grid.row(1).rights = {kYes, kNo, kNo, kYes};
  grid.row(2).rights = {kNo, kNo, kNo, kNo};
  const std::string text = CodeClipboardText(grid, 1, 4);
  EXPECT_EQ(text,
            "123456\tIgen\tNem\tNem\tIgen\n\tNem\tNem\tNem\tNem\n000007\tIgen\tIgen\tIgen\tIgen\n"
            "12\tIgen\tIgen\tIgen\tIgen\n");
  CodeGrid copy = Rows({"999999"});
  ASSERT_FALSE(PasteCodes(copy, text, 1, 6).refused);
  EXPECT_EQ(CodeClipboardText(copy, 1, 4), text);
}

TEST(CodeClipboard, InsertDeleteAndSortRows) {
  CodeGrid grid = Rows({"1", "2", "3", "4", "5"});
  ASSERT_TRUE(InsertCodeRow(grid, 1, 6));
  ASSERT_TRUE(InsertCodeRow(grid, 4, 6));
  ASSERT_TRUE(InsertCodeRow(grid, 8, 6));  // below the last row
  EXPECT_EQ(Codes(grid), (std::vector<std::string>{"", "1", "2", "", "3", "4", "5", ""}));
  EXPECT_EQ(grid.row(1).rights, kAll);
  EXPECT_EQ(DeleteCodeRows(grid, 4, 5), 2);
  EXPECT_EQ(Codes(grid), (std::vector<std::string>{"", "1", "2", "4", "5", ""}));
  // What moved up leaves nothing behind past the last row.
  EXPECT_EQ(grid.row(7).code, "");
  EXPECT_EQ(grid.row(7).rights[0], "");
  SortCodeRows(grid, true);
  EXPECT_EQ(Codes(grid), (std::vector<std::string>{"1", "2", "4", "5", "", ""}));
  SortCodeRows(grid, false);
  EXPECT_EQ(Codes(grid), (std::vector<std::string>{"5", "4", "2", "1", "", ""}));
  EXPECT_EQ(DeleteCodeRows(grid, 1, 99), 6);
  EXPECT_EQ(grid.rowCount(), 2);
  EXPECT_EQ(grid.row(1).code, " ");
  // Two-digit codes: no row beyond the hundredth.
  CodeGrid full;
  full.setRowCount(101);
  EXPECT_FALSE(InsertCodeRow(full, 1, 2));
  EXPECT_EQ(full.rowCount(), 101);
}

TEST(CodeClipboard, Numbers) {
  const std::vector<std::string> items = {NormalizeNumber16("0612345")};
  NumberPaste p = ReadNumberClipboard(" 06 80 123 456 \r\n\r\n112\n", items, 208);
  ASSERT_FALSE(p.refused);
  EXPECT_EQ(p.numbers, (std::vector<std::string>{"0680123456      ", "112             "}));
  struct Case {
    const char* text;
    int capacity;
    std::string message;
  };
  const Case cases[] = {
      {"111\n06 12 345\n", 208,
       "A vágólap 2. sorának száma (\"0612345\") már bent van a listában !!!"},
      {"111\n222\n111\n", 208, "A vágólap 3. sorának száma (\"111\") az 1. sorban is szerepel !!!"},
      {"12345678901234567\n", 208,
       "A vágólap 1. sorában a szám (\"12345678901234567\") hosszabb 16 karakternél !!!"},
      {"111\tKiss\n", 208, "A vágólap 1. sorában a szám után még adat áll (\"Kiss\") !!!"},
      {"111\n222\n333\n", 3,
       "A vágólap 3. sora már nem fér el: a listában legfeljebb 3 szám lehet !!!"},
  };
  for (const Case& c : cases) {
    p = ReadNumberClipboard(c.text, items, c.capacity);
    ASSERT_TRUE(p.refused) << c.text;
    EXPECT_EQ(*p.refused, c.message);
    EXPECT_TRUE(p.numbers.empty());
  }
  EXPECT_EQ(NumberClipboardText({"112             ", "0612            "}, {0, 1}), "112\n0612\n");
}
