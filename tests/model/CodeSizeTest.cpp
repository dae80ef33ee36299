#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "model/CodeSize.h"
#include "model/CodeTable.h"
#include "tests/model/Images.h"

using namespace tarvelo;

namespace {

// Code k of a table: different for every k below 10^digits, zero-padded to `digits`.
std::string CodeOf(int k, int digits) {
  long mod = 1;
  for (int i = 0; i < digits; ++i) mod *= 10;
  std::string s = std::to_string((k * 7919L) % mod);
  return std::string(static_cast<size_t>(digits) - s.size(), '0') + s;
}

// A new database's image holding `count` different codes of `length` digits, each with
// its own rights byte, stored record by record as the device would hold them.
ConfigImage WithCodes(const ImageLayout& layout, int count, int length) {
  ConfigImage image = Defaults(layout);
  StoreRecordLength(image, layout, length + 1);
  StoreCodeCount(image, layout, count);
  for (int k = 1; k <= count; ++k) {
    const long start = layout.Offset(Field::CodeTable) + static_cast<long>(k - 1) * (length + 1);
    image.SetBytes(start, CodeOf(k, length));
    image.SetImageByte(start + length, static_cast<uint8_t>(0x30 + k % 16));
  }
  return image;
}

CodeGrid GridOf(ConfigImage image, const ImageLayout& layout) {
  CodeGrid grid;
  DecodeCodeTable(image, layout, grid);
  return grid;
}

class CodeSizeTest : public EachModel {};
TARVELO_EACH_MODEL(CodeSizeTest);

}  // namespace

TEST_P(CodeSizeTest, LimitsFollowTheCodeLength) {
  const std::vector<std::pair<int, int>> limits = {{2, 100}, {3, 768}, {4, 614}, {5, 512},
                                                   {6, 438}, {7, 384}, {8, 341}};
  for (const auto& [length, limit] : limits) {
    EXPECT_EQ(MaxCodeCount(layout(), length), limit) << length;
  }
}

TEST_P(CodeSizeTest, StoresCountLowByteFirstAndRecordLength) {
  const ImageLayout& layout = this->layout();
  ConfigImage image = Defaults(layout);
  EXPECT_FALSE(StoreCodeSize(image, layout, 341, 8));
  EXPECT_EQ(StoredRecordLength(image, layout), 9);
  EXPECT_EQ(image.ImageByte(layout.Offset(Field::CodeCount)), 0x55);
  EXPECT_EQ(image.ImageByte(layout.Offset(Field::CodeCount) + 1), 0x01);
  EXPECT_EQ(StoredCodeCount(image, layout), 341);
}

// The fault this guards against: a new length stored over records still laid out at the old
// one, so that every code and rights byte read back garbled.
TEST_P(CodeSizeTest, ANewLengthReLaysTheTableAndComesBackByteForByte) {
  const ImageLayout& layout = this->layout();
  for (const bool fromGrid : {false, true}) {
    SCOPED_TRACE(fromGrid ? "grid" : "image");
    const ConfigImage original = WithCodes(layout, 438, 4);
    ConfigImage image = original;
    auto store = [&](int length) {
      return fromGrid ? StoreCodeSize(image, layout, 438, length, GridOf(image, layout))
                      : StoreCodeSize(image, layout, 438, length);
    };
    ASSERT_FALSE(store(6));
    EXPECT_EQ(StoredRecordLength(image, layout), 7);
    EXPECT_EQ(StoredCodeCount(image, layout), 438);
    const CodeGrid grown = GridOf(image, layout);
    for (int k = 1; k <= 438; ++k) {
      ASSERT_EQ(grown.row(k).code, CodeOf(k, 4) + "  ") << k;
      const uint8_t rights = image.ImageByte(layout.Offset(Field::CodeTable) + k * 7L - 1);
      ASSERT_EQ(rights, 0x30 + k % 16) << k;
    }
    ASSERT_FALSE(store(4));
    EXPECT_TRUE(image == original);
  }
}

TEST_P(CodeSizeTest, RefusesWhatWouldNotFitOrWouldBeCutAndChangesNothing) {
  // Ten codes at length 6: rows 4 and 8 with six digits, the others with four.
  auto sixDigits = [](const ImageLayout& layout) {
    ConfigImage image = WithCodes(layout, 10, 6);
    for (int k = 1; k <= 10; ++k) {
      if (k % 4 != 0) image.SetBytes(layout.Offset(Field::CodeTable) + (k - 1) * 7L + 4, "  ");
    }
    return image;
  };
  struct Case {
    std::function<ConfigImage(const ImageLayout&)> image;
    int count, length;
    const char* message;
  };
  const Case cases[] = {
      {[](const ImageLayout& l) { return WithCodes(l, 614, 4); }, 614, 6,
       "614 darab 6 jegyű kód nem fér el a kódtáblában (legfeljebb 438 fér el) !!!"},
      {[](const ImageLayout& l) { return WithCodes(l, 614, 4); }, 614, 5,
       "614 darab 5 jegyű kód nem fér el a kódtáblában (legfeljebb 512 fér el) !!!"},
      {sixDigits, 10, 4, "2 kód hosszabb 4 jegynél, a kódjegyek száma nem lehet 4 !!!"},
      {sixDigits, 10, 3, "10 kód hosszabb 3 jegynél, a kódjegyek száma nem lehet 3 !!!"},
      {[](const ImageLayout& l) { return WithCodes(l, 150, 3); }, 150, 2,
       "150 darab 2 jegyű kód túl sok: csak 100 különböző van !!!"},
      {[](const ImageLayout& l) { return Defaults(l); }, 5, 1, "A kódjegyek száma 2..8 lehet !!!"},
      {[](const ImageLayout& l) { return Defaults(l); }, 5, 9, "A kódjegyek száma 2..8 lehet !!!"},
      {[](const ImageLayout& l) { return Defaults(l); }, 439, 6,
       "A kódok darabszáma 6 jegyű kódból 0..438 lehet !!!"},
      {[](const ImageLayout& l) { return Defaults(l); }, -1, 6,
       "A kódok darabszáma 6 jegyű kódból 0..438 lehet !!!"},
      // A table outside the limits may be kept, but not grown.
      {[](const ImageLayout& l) { return WithCodes(l, 150, 2); }, 151, 2,
       "A kódok darabszáma 2 jegyű kódból 0..100 lehet !!!"},
  };
  const ImageLayout& layout = this->layout();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + "/" + std::to_string(c.length));
    ConfigImage image = c.image(layout);
    const ConfigImage before = image;
    const CodeGrid grid = GridOf(image, layout);
    const Refusal checked = CheckCodeSize(image, layout, c.count, c.length, grid);
    ASSERT_TRUE(checked);
    EXPECT_EQ(*checked, c.message);
    const Refusal viaGrid = StoreCodeSize(image, layout, c.count, c.length, grid);
    ASSERT_TRUE(viaGrid);
    EXPECT_EQ(*viaGrid, c.message);
    const Refusal viaImage = StoreCodeSize(image, layout, c.count, c.length);
    ASSERT_TRUE(viaImage);
    EXPECT_EQ(*viaImage, c.message);
    EXPECT_TRUE(image == before);
  }
}

TEST_P(CodeSizeTest, TheSizeAsStoredIsNoChangeWhereverItLies) {
  const ImageLayout& layout = this->layout();
  // Two-digit codes beyond the dialog's 100, a record length of 15, none at all.
  for (const auto& [count, length] : {std::pair{150, 2}, {10, 14}, {0, 0}, {3, -1}}) {
    ConfigImage image = WithCodes(layout, count, 4);
    StoreRecordLength(image, layout, length + 1);
    const ConfigImage before = image;
    EXPECT_FALSE(CheckCodeLength(image, layout, length)) << length;
    EXPECT_FALSE(CheckCodeCount(image, layout, count, length)) << count;
    EXPECT_FALSE(StoreCodeSize(image, layout, count, length, GridOf(image, layout)));
    EXPECT_FALSE(StoreCodeSize(image, layout, count, length));
    EXPECT_TRUE(image == before) << count << "/" << length;
  }
  // Lowering such a count is a change like any other: up to the box's limit.
  ConfigImage image = WithCodes(layout, 150, 2);
  EXPECT_TRUE(StoreCodeSize(image, layout, 120, 2));
  EXPECT_FALSE(StoreCodeSize(image, layout, 100, 2));
  EXPECT_EQ(StoredCodeCount(image, layout), 100);
}

TEST_P(CodeSizeTest, ACountChangeTouchesOnlyTheRecordsItAdds) {
  const ImageLayout& layout = this->layout();
  const long table = layout.Offset(Field::CodeTable);
  ConfigImage image = WithCodes(layout, 20, 4);
  // Lowered: the records left behind stay as they were.
  const ConfigImage full = image;
  ASSERT_FALSE(StoreCodeSize(image, layout, 10, 4));
  EXPECT_EQ(StoredCodeCount(image, layout), 10);
  EXPECT_EQ(image.Bytes(table, 20 * 5), full.Bytes(table, 20 * 5));
  // Raised: the added records read as the grid shows rows it never had, blank without
  // rights; the ones kept are not written again.
  image.SetImageByte(table + 4, 0x7F);  // a rights byte no page would store
  ASSERT_FALSE(StoreCodeSize(image, layout, 12, 4));
  EXPECT_EQ(image.ImageByte(table + 4), 0x7F);
  EXPECT_EQ(image.Bytes(table + 10 * 5, 10), "    0    0");
  // From the grid, the added rows as the grid holds them.
  CodeGrid grid = GridOf(image, layout);
  grid.setRowCount(15);
  grid.row(13) = {"42", {kYes, kNo, kNo, kYes}};
  ASSERT_FALSE(StoreCodeSize(image, layout, 14, 4, grid));
  EXPECT_EQ(image.ImageByte(table + 4), 0x7F);
  EXPECT_EQ(image.Bytes(table + 12 * 5, 10), "42  9    0");
  EXPECT_EQ(StoredCodeCount(image, layout), 14);
}
