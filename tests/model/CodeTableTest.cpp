#include <gtest/gtest.h>

#include <set>

#include "model/CodeTable.h"
#include "tests/model/Images.h"

using namespace tarvelo;

namespace {
void Store(ConfigImage& image, const ImageLayout& layout, int length, int count) {
  image.SetImageByte(layout.Offset(Field::CodeRecordLength), static_cast<uint8_t>(length));
  image.SetImageByte(layout.Offset(Field::CodeCount), static_cast<uint8_t>(count & 0xFF));
  image.SetImageByte(layout.Offset(Field::CodeCount) + 1, static_cast<uint8_t>(count >> 8));
}

// A predictable generator: walks through the given values, then counts up.
RandomSource Scripted(std::vector<uint32_t> values) {
  auto next = std::make_shared<size_t>(0);
  return [values, next](uint32_t bound) {
    const uint32_t v = *next < values.size() ? values[*next] : static_cast<uint32_t>(*next);
    ++*next;
    return v % bound;
  };
}

class CodeTableEachModel : public EachModel {};
TARVELO_EACH_MODEL(CodeTableEachModel);
}  // namespace

TEST_P(CodeTableEachModel, NewDatabaseShowsOneBlankRowAndLeavingStoresIt) {
  const ImageLayout& layout = this->layout();
  ConfigImage image = Defaults(layout);
  CodeGrid grid;
  const auto d = DecodeCodeTable(image, layout, grid);
  EXPECT_EQ(grid.rowCount(), 2);
  EXPECT_EQ(grid.row(1).code, " ");
  EXPECT_EQ(d.countText, "1/6");
  EncodeCodeTable(image, layout, grid);
  EXPECT_EQ(StoredCodeCount(image, layout), 1);
  EXPECT_EQ(image.Bytes(layout.Offset(Field::CodeTable), 7), "      ?");
}

TEST_P(CodeTableEachModel, RepairsATableThatDoesNotFit) {
  const ImageLayout& layout = this->layout();
  struct Case {
    int length, count;
    std::vector<std::string> messages;
    int repairedLength, repairedCount;
  };
  const std::string invalid = "Érvénytelen kódmennyiség! Az adatbázis sérült lehet.";
  const std::vector<Case> cases = {
      {9, 341, {}, 9, 341},
      {9, 342, {invalid, "Jelzett kód mennyiség:342\rBeállítom 341-ra (maximum)"}, 9, 341},
      {12, 300, {invalid, "Jelzett kód hosszúság:12\rBeállítom 8-ra (maximum)"}, 9, 300},
      {12,
       1000,
       {invalid, "Jelzett kód hosszúság:12\rBeállítom 8-ra (maximum)",
        "Jelzett kód mennyiség:1000\rBeállítom 341-ra (maximum)"},
       9,
       341},
  };
  for (const auto& c : cases) {
    ConfigImage image = Defaults(layout);
    Store(image, layout, c.length, c.count);
    CodeGrid grid;
    const auto d = DecodeCodeTable(image, layout, grid);
    EXPECT_EQ(d.messages, c.messages) << c.length << "/" << c.count;
    EXPECT_EQ(StoredRecordLength(image, layout), c.repairedLength);
    EXPECT_EQ(StoredCodeCount(image, layout), c.repairedCount);
    EXPECT_EQ(grid.rowCount(), c.repairedCount + 1);
  }
}

TEST_P(CodeTableEachModel, EncodeDecodeRoundTrip) {
  const ImageLayout& layout = this->layout();
  ConfigImage image = Defaults(layout);
  Store(image, layout, 5, 0);  // code length 4
  CodeGrid grid;
  grid.setRowCount(3);
  grid.row(1) = {"12", {"Igen", "Nem", "Nem", "Igen"}};
  grid.row(2) = {"987654", {"Nem", "", "igen", "Igen"}};
  EncodeCodeTable(image, layout, grid);
  EXPECT_EQ(StoredCodeCount(image, layout), 2);
  EXPECT_EQ(image.Bytes(layout.Offset(Field::CodeTable), 10), "12  99876\x38");
  CodeGrid back;
  const auto d = DecodeCodeTable(image, layout, back);
  EXPECT_EQ(d.countText, "2/4");
  EXPECT_EQ(back.row(1).code, "12  ");
  EXPECT_EQ(back.row(1).rights, (std::array<std::string, 4>{"Igen", "Nem", "Nem", "Igen"}));
  EXPECT_EQ(back.row(2).code, "9876");
}

TEST_P(CodeTableEachModel, EncodeNeverLowersTheCountAndKeepsCutOffRows) {
  const ImageLayout& layout = this->layout();
  ConfigImage image = Defaults(layout);
  Store(image, layout, 3, 0);
  CodeGrid grid;
  grid.setRowCount(4);
  for (int k = 1; k <= 3; ++k)
    grid.row(k) = {std::to_string(k * 11), {"Igen", "Igen", "Igen", "Igen"}};
  EncodeCodeTable(image, layout, grid);
  grid.setRowCount(2);
  grid.row(3).code = "77";
  EncodeCodeTable(image, layout, grid);
  EXPECT_EQ(StoredCodeCount(image, layout), 3);
  EXPECT_EQ(image.Bytes(layout.Offset(Field::CodeTable) + 6, 2), "77");
}

TEST_P(CodeTableEachModel, EncodeStopsAtTheEndOfTheImage) {
  const ImageLayout& layout = this->layout();
  ConfigImage image = Defaults(layout);
  Store(image, layout, 9, 0);
  CodeGrid grid;
  grid.setRowCount(400);  // 399 × 9 bytes would run past the image
  EXPECT_NO_THROW(EncodeCodeTable(image, layout, grid));
  EXPECT_EQ(image.ImageByte(layout.Offset(Field::CodeTable) + 341 * 9 - 1), 0x30);
}

TEST_P(CodeTableEachModel, DifferentCodesOfTheFullLengthWithAllRights) {
  const ImageLayout& layout = this->layout();
  ConfigImage image = Defaults(layout);
  Store(image, layout, 5, 10);
  CodeGrid grid;
  DecodeCodeTable(image, layout, grid);
  // 5 and 10005 both give 0005 within the range; the second must be drawn again.
  ASSERT_FALSE(GenerateCodes(image, layout, grid, Scripted({5, 10005, 42})));
  std::set<std::string> seen;
  for (int k = 1; k <= 10; ++k) {
    EXPECT_EQ(grid.row(k).code.size(), 4u);
    EXPECT_EQ(grid.row(k).rights, (std::array<std::string, 4>{"Igen", "Igen", "Igen", "Igen"}));
    seen.insert(grid.row(k).code);
  }
  EXPECT_EQ(seen.size(), 10u);
  EXPECT_EQ(grid.row(1).code, "0005");
  EXPECT_EQ(grid.row(2).code, "0042");
}

TEST_P(CodeTableEachModel, LengthFiveIsScaledAndStaysBelowTheRange) {
  const ImageLayout& layout = this->layout();
  ConfigImage image = Defaults(layout);
  Store(image, layout, 6, 3);
  CodeGrid grid;
  DecodeCodeTable(image, layout, grid);
  ASSERT_FALSE(GenerateCodes(image, layout, grid, Scripted({65534, 1, 0})));
  EXPECT_EQ(grid.row(1).code, "99998");  // 65534 × 100000 / 65535 rounded
  EXPECT_EQ(grid.row(2).code, "00002");
  EXPECT_EQ(grid.row(3).code, "00000");
}

TEST_P(CodeTableEachModel, RefusesWhatItCannotServeLeavingTheGridAlone) {
  const ImageLayout& layout = this->layout();
  struct Case {
    int length, count;
    std::string message;
  };
  const std::vector<Case> cases = {
      {7, 615, "Értelmetlen adat: Kódok darabszáma:615"},
      {2, 5, "Értelmetlen adat: Kódok hossza:2"},
      {10, 5, "Értelmetlen adat: Kódok hossza:10"},
      {3, 101, "Értelmetlen adat: 2 jegyű kódból csak 100 különböző van, 101 nem generálható !!!"},
  };
  for (const auto& c : cases) {
    ConfigImage image = Defaults(layout);
    Store(image, layout, c.length, c.count);
    CodeGrid grid;
    grid.setRowCount(3);
    grid.row(1).code = "keep";
    EXPECT_EQ(GenerateCodes(image, layout, grid, Scripted({})), c.message);
    EXPECT_EQ(grid.row(1).code, "keep");
    EXPECT_EQ(grid.rowCount(), 3);
  }
  // Exactly as many codes as there are: it finishes.
  ConfigImage image = Defaults(layout);
  Store(image, layout, 3, 100);
  CodeGrid grid;
  EXPECT_FALSE(GenerateCodes(image, layout, grid, Scripted({})));
}

TEST(DuplicateCodes, ReportsPairsInOrderUntilCancelled) {
  CodeGrid grid;
  grid.setRowCount(8);
  for (int k = 1; k <= 7; ++k) grid.row(k).code = std::to_string(k);
  grid.row(7).code = "3";
  grid.row(5).code = "1";
  std::vector<std::string> shown;
  EXPECT_TRUE(CheckDuplicateCodes(grid, [&](int i, int j) {
    shown.push_back(DuplicateCodeMessage(i, j));
    return true;
  }));
  EXPECT_EQ(shown, (std::vector<std::string>{"Kód eggyezés:1 = 5", "Kód eggyezés:3 = 7"}));
  shown.clear();
  CheckDuplicateCodes(grid, [&](int i, int j) {
    shown.push_back(DuplicateCodeMessage(i, j));
    return false;
  });
  EXPECT_EQ(shown.size(), 1u);
  grid.row(7).code = "7";
  grid.row(5).code = "5";
  EXPECT_FALSE(CheckDuplicateCodes(grid, [](int, int) { return true; }));
}

// A grid whose row count was raised past the rows it has texts for: reading the rest must
// neither move the rows already read nor fail (the duplicate check holds one row while it
// reads the next).
TEST(CodeGrid, RowsWithoutTextsReadEmptyAndLeaveTheStorageAlone) {
  CodeGrid grid;
  grid.setRowCount(12);
  grid.row(1).code = "1";
  // A row held while later rows are read stays where it was.
  const CodeGrid& reading = grid;
  const CodeRow& first = reading.row(1);
  EXPECT_EQ(reading.row(11).code, "");
  EXPECT_EQ(reading.row(11).rights[0], "");
  EXPECT_EQ(first.code, "1");
  EXPECT_EQ(&first, &reading.row(1));

  CodeGrid checked;
  checked.setRowCount(12);
  checked.row(1).code = "1";
  std::vector<std::pair<int, int>> pairs;
  EXPECT_TRUE(CheckDuplicateCodes(checked, [&](int i, int j) {
    pairs.emplace_back(i, j);
    return pairs.size() < 3;
  }));
  EXPECT_EQ(pairs, (std::vector<std::pair<int, int>>{{2, 3}, {2, 4}, {2, 5}}));
}

TEST_P(CodeTableEachModel, DownAddsRowsWhileTheTableHasRoom) {
  const ImageLayout& layout = this->layout();
  struct Case {
    int length, rows;
    bool added;
  };
  // As many codes as the preferences allow: 438 of six digits, 100 of two (the rows count
  // the heading row).
  for (const Case c : {Case{7, 438, true}, Case{7, 439, false}, Case{3, 100, true},
                       Case{3, 101, false}, Case{0, 2, false}}) {
    ConfigImage image = Defaults(layout);
    Store(image, layout, c.length, 5);
    CodeGrid grid;
    grid.setRowCount(c.rows);
    grid.row(c.rows).code = "cut off";  // a row the grid once had keeps its code
    EXPECT_EQ(AppendCodeRow(image, layout, grid), c.added) << c.length << "/" << c.rows;
    EXPECT_EQ(grid.rowCount(), c.added ? c.rows + 1 : c.rows);
    EXPECT_EQ(StoredCodeCount(image, layout), c.added ? c.rows : 5);
    if (c.added) {
      EXPECT_EQ(grid.row(c.rows).code, "cut off");
      EXPECT_EQ(grid.row(c.rows).rights, (std::array<std::string, 4>{kYes, kYes, kYes, kYes}));
      EXPECT_EQ(CodeCountText(grid, c.length),
                std::to_string(c.rows) + "/" + std::to_string(c.length - 1));
    }
  }
}

TEST_P(CodeTableEachModel, RemovedLastRowDoesNotReturnAtTheNextDecode) {
  const ImageLayout& layout = this->layout();
  ConfigImage image = Defaults(layout);
  Store(image, layout, 7, 0);
  CodeGrid grid;
  grid.setRowCount(4);
  for (int k = 1; k <= 3; ++k) grid.row(k) = {std::to_string(k) + "00000", {kYes, kNo, kNo, kNo}};
  EncodeCodeTable(image, layout, grid);
  ASSERT_EQ(StoredCodeCount(image, layout), 3);
  EXPECT_TRUE(RemoveLastCodeRow(image, layout, grid));
  EXPECT_EQ(StoredCodeCount(image, layout), 2);
  EncodeCodeTable(image, layout, grid);
  CodeGrid back;
  EXPECT_EQ(DecodeCodeTable(image, layout, back).countText, "2/6");
  EXPECT_EQ(back.row(2).code, "200000");
  // The last code row stays.
  EXPECT_TRUE(RemoveLastCodeRow(image, layout, back));
  EXPECT_FALSE(RemoveLastCodeRow(image, layout, back));
  EXPECT_EQ(back.rowCount(), 2);
  EXPECT_EQ(StoredCodeCount(image, layout), 1);
  // A count already below the grid's rows is not raised by removing.
  Store(image, layout, 7, 1);
  CodeGrid longer;
  longer.setRowCount(6);
  RemoveLastCodeRow(image, layout, longer);
  EXPECT_EQ(StoredCodeCount(image, layout), 1);
}

TEST(CodeTable, KeysAndEditsOfTheGrid) {
  for (char c : std::string("0123456789\b")) EXPECT_TRUE(CodeKeyAccepted(c)) << int(c);
  for (char c : std::string("aI -+.\t")) EXPECT_FALSE(CodeKeyAccepted(c)) << c;
  EXPECT_EQ(RightForKey('I'), kYes);
  EXPECT_EQ(RightForKey('i'), kYes);
  EXPECT_EQ(RightForKey('N'), kNo);
  EXPECT_EQ(RightForKey('n'), kNo);
  EXPECT_EQ(RightForKey('x'), std::nullopt);
  EXPECT_EQ(RightForKey('1'), std::nullopt);

  struct Case {
    std::string typed;
    int length;
    std::string text;
    bool cut;
  };
  for (const auto& c : {Case{"123456", 7, "123456", false}, Case{"1234567", 7, "123456", true},
                        Case{"12  5", 5, "12  ", true}, Case{"12ab3", 7, "123", false},
                        Case{"", 7, "", false}, Case{"1", 1, "", true}}) {
    const EditedCode e = TakeEditedCode(c.typed, c.length);
    EXPECT_EQ(e.text, c.text) << c.typed;
    EXPECT_EQ(e.cut, c.cut) << c.typed;
  }
}

TEST(CodeTable, RightsToggles) {
  EXPECT_EQ(ToggledRight("Igen"), kNo);
  EXPECT_EQ(ToggledRight("Nem"), kYes);
  EXPECT_EQ(ToggledRight(""), kYes);
  EXPECT_EQ(ToggledRight("Igenis"), kYes);  // only the exact text counts as granted here
  EXPECT_EQ(ToggledRightByInitial("Igenis"), kNo);
  EXPECT_EQ(ToggledRightByInitial(""), kYes);
  EXPECT_EQ(ToggledRightByInitial("Nem"), kYes);
}

TEST(CodeTable, RightsItemsActOnEachRowOfTheRange) {
  CodeGrid grid;
  grid.setRowCount(11);
  for (int k = 1; k <= 10; ++k) grid.row(k).rights = {kYes, kNo, k % 2 ? kYes : kNo, kYes};
  ApplyRightsItem(grid, 3, 9, 4);  // "Mobil"
  for (int k = 1; k <= 10; ++k) {
    const bool inside = k >= 3 && k <= 9;
    EXPECT_EQ(grid.row(k).rights[2], (k % 2 == 1) != inside ? kYes : kNo) << k;
    EXPECT_EQ(grid.row(k).rights[0], kYes);
  }
  ApplyRightsItem(grid, 3, 9, kForbidAllItem);  // "Tiltott"
  for (int k = 1; k <= 10; ++k) {
    const bool inside = k >= 3 && k <= 9;
    EXPECT_EQ(grid.row(k).rights[0], inside ? kNo : kYes) << k;
    EXPECT_EQ(grid.row(k).rights[3], inside ? kNo : kYes) << k;
  }
  // A range past the grid's rows stops at its last row.
  ApplyRightsItem(grid, 9, 400, 2);
  EXPECT_EQ(grid.row(10).rights[0], kNo);
  EXPECT_EQ(std::as_const(grid).row(11).rights[0], "");
}

TEST(CodeTable, FindGoesOnFromTheCurrentRowAndWraps) {
  CodeGrid grid;
  grid.setRowCount(6);
  const char* codes[] = {"123456", "000123", "999999", "12 3  ", "555555"};
  for (int k = 1; k <= 5; ++k) grid.row(k).code = codes[k - 1];
  EXPECT_EQ(FindCode(grid, 1, "123"), 2);
  EXPECT_EQ(FindCode(grid, 2, "123"), 4);
  EXPECT_EQ(FindCode(grid, 4, "123"), 1);
  EXPECT_EQ(FindCode(grid, 0, "123"), 1);
  EXPECT_EQ(FindCode(grid, 3, "99 9"), 3);  // the current row itself, last
  EXPECT_EQ(FindCode(grid, 1, "777"), 0);
  EXPECT_EQ(FindCode(grid, 1, "  "), 0);
}
