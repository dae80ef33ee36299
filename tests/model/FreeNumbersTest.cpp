#include <gtest/gtest.h>

#include "model/FreeNumbers.h"
#include "tests/model/Images.h"

using namespace tarvelo;

namespace {
std::string Entry(const std::string& s) {
  return s + std::string(16 - s.size(), ' ');
}

class FreeNumbersEachModel : public EachModel {};
TARVELO_EACH_MODEL(FreeNumbersEachModel);
}  // namespace

TEST_P(FreeNumbersEachModel, GapsAreSkippedAndTheFlushClosesThem) {
  const ImageLayout& l = layout();
  ConfigImage image = DefaultImage();
  const long start = l.Offset(Field::FreeNumbers);
  image.SetBytes(start, Entry("0612345"));
  image.SetBytes(start + 16 * 5, Entry("0680 1"));
  const auto items = DecodeFreeNumbers(image, l);
  EXPECT_EQ(items, (std::vector<std::string>{Entry("0612345"), Entry("0680 1")}));
  FlushFreeNumbers(image, l, items);
  EXPECT_EQ(image.Bytes(start + 16, 16), Entry("0680 1"));
  EXPECT_EQ(image.Bytes(start + 16 * 5, 16), Entry(""));
  EXPECT_EQ(image.ImageByte(start - 1), Defaults(l).ImageByte(start - 1));
  EXPECT_EQ(image.ImageByte(l.Offset(Field::CodeTable)), ' ');  // the code table starts untouched
}

TEST_P(FreeNumbersEachModel, CapacityStopsAdding) {
  const ImageLayout& l = layout();
  const int capacity = FreeNumberCapacity(l);
  EXPECT_EQ(capacity, fourLine() ? 208 : 192);
  FreeNumberList list(capacity);
  for (int i = 0; i < capacity; ++i) {
    std::string text = std::to_string(1000 + i);
    ASSERT_EQ(list.Add(text), FreeNumberList::AddResult::Added);
  }
  std::string more = "999";
  EXPECT_EQ(list.Add(more), FreeNumberList::AddResult::Full);
  EXPECT_EQ(more, "999") << "a full list does not even normalise";
  ConfigImage image = Defaults(l);
  FlushFreeNumbers(image, l, list.items());
  const long codes = l.Offset(Field::CodeTable);
  EXPECT_EQ(image.Bytes(codes - 16, 16), Entry(std::to_string(1000 + capacity - 1)));
  EXPECT_EQ(image.ImageByte(codes), ' ');
}

TEST_P(FreeNumbersEachModel, AddNormalisesAndRefusesDuplicates) {
  FreeNumberList list(10);
  std::string entry = " 06 80 123 456 ";
  ASSERT_EQ(list.Add(entry), FreeNumberList::AddResult::Added);
  EXPECT_EQ(entry, "0680123456      ");
  std::string again = "0680123456";
  EXPECT_EQ(list.Add(again), FreeNumberList::AddResult::Duplicate);
  EXPECT_EQ(list.items().size(), 1u);
  // An empty entry adds 16 spaces, which the flush writes as an empty entry.
  std::string empty;
  ASSERT_EQ(list.Add(empty), FreeNumberList::AddResult::Added);
  const ImageLayout& l = layout();
  ConfigImage image = DefaultImage();
  FlushFreeNumbers(image, l, list.items());
  EXPECT_EQ(DecodeFreeNumbers(image, l).size(), 1u);
}

TEST(FreeNumberList, ReplaceDeleteAndSort) {
  FreeNumberList list(10);
  for (std::string s : {"30", "10", "20"}) list.Add(s);
  std::string fix = "1 5";
  EXPECT_EQ(list.Replace(0, fix), 0);
  EXPECT_EQ(list.items()[0], Entry("15"));
  list.SetSorted(true);
  EXPECT_EQ(list.items(), (std::vector<std::string>{Entry("10"), Entry("15"), Entry("20")}));
  std::string s = "12";
  int at = -1;
  list.Add(s, &at);
  EXPECT_EQ(at, 1);
  list.SetSorted(false);
  std::string last = "01";
  list.Add(last, &at);
  EXPECT_EQ(at, 4) << "unsorted again: new items go to the end";
  EXPECT_EQ(list.Delete({0, 2, 4, 99}), 3);
  EXPECT_EQ(list.items(), (std::vector<std::string>{Entry("12"), Entry("20")}));
}

TEST_P(FreeNumbersEachModel, TrimmedFlushStripsBlanksAndControls) {
  const ImageLayout& l = layout();
  ConfigImage image = DefaultImage();
  FlushFreeNumbersTrimmed(image, l, {"\t 0612 \r", "12345678901234567890"});
  EXPECT_EQ(image.Bytes(l.Offset(Field::FreeNumbers), 32), Entry("0612") + "1234567890123456");
}

TEST(FreeNumbers, FindGoesOnFromTheCurrentItemAndWraps) {
  const std::vector<std::string> items = {Entry("0612345"), Entry("06 80 123"), Entry("112"),
                                          Entry("0680123")};
  EXPECT_EQ(FindFreeNumber(items, -1, "0680"), 1);
  EXPECT_EQ(FindFreeNumber(items, 1, "0680"), 3);
  EXPECT_EQ(FindFreeNumber(items, 3, "06 80"), 1);
  EXPECT_EQ(FindFreeNumber(items, 2, "112"), 2);
  EXPECT_EQ(FindFreeNumber(items, 0, "999"), -1);
  EXPECT_EQ(FindFreeNumber({}, -1, "1"), -1);
  EXPECT_EQ(FindFreeNumber(items, 0, ""), -1);
}
