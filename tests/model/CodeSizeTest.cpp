#include <gtest/gtest.h>

#include "model/CodeSize.h"
#include "model/CodeTable.h"
#include "tests/model/Images.h"

using namespace tarvelo;

TEST(CodeSizeTest, LimitsFollowTheCodeLength) {
  const std::vector<std::pair<int, int>> limits = {{2, 100}, {3, 768}, {4, 614}, {5, 512},
                                                   {6, 438}, {7, 384}, {8, 341}};
  for (const auto& [length, limit] : limits) {
    EXPECT_EQ(MaxCodeCount(kFour, length), limit) << length;
    EXPECT_EQ(MaxCodeCount(kSixteen, length), limit) << length;
  }
}

TEST(CodeSizeTest, StoresCountLowByteFirstAndRecordLength) {
  for (const ImageLayout* layout : {&kFour, &kSixteen}) {
    ConfigImage image = Defaults(*layout);
    EXPECT_FALSE(StoreCodeSize(image, *layout, 341, 8));
    EXPECT_EQ(StoredRecordLength(image, *layout), 9);
    EXPECT_EQ(image.ImageByte(layout->Offset(Field::CodeCount)), 0x55);
    EXPECT_EQ(image.ImageByte(layout->Offset(Field::CodeCount) + 1), 0x01);
    EXPECT_EQ(StoredCodeCount(image, *layout), 341);
  }
}

TEST(CodeSizeTest, RefusesWhatTheDialogWouldNotOfferAndStoresNothing) {
  struct Case {
    int count, length;
    const char* message;
  };
  const Case cases[] = {
      {5, 1, "A kódjegyek száma 2..8 lehet !!!"},
      {5, 9, "A kódjegyek száma 2..8 lehet !!!"},
      {101, 2, "A kódok darabszáma 2 jegyű kódból 0..100 lehet !!!"},
      {769, 3, "A kódok darabszáma 3 jegyű kódból 0..768 lehet !!!"},
      {342, 8, "A kódok darabszáma 8 jegyű kódból 0..341 lehet !!!"},
      {-1, 6, "A kódok darabszáma 6 jegyű kódból 0..438 lehet !!!"},
  };
  for (const Case& c : cases) {
    ConfigImage image = Defaults(kSixteen);
    const ConfigImage before = image;
    const Refusal r = StoreCodeSize(image, kSixteen, c.count, c.length);
    ASSERT_TRUE(r) << c.count << "/" << c.length;
    EXPECT_EQ(*r, c.message);
    EXPECT_EQ(image, before);
  }
}
