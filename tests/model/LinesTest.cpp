#include <gtest/gtest.h>

#include "model/Lines.h"
#include "tests/model/Images.h"

using namespace tarvelo;

namespace {
// The controls as a decode leaves them.
std::array<LineControls16, 16> ControlsFrom(const std::vector<LineView>& lines) {
  std::array<LineControls16, 16> c;
  for (int n = 0; n < 16; ++n) {
    c[n] = {lines[n].seize, lines[n].dial, lines[n].timerSet, lines[n].subLine, lines[n].callIn};
  }
  return c;
}

class LinesEachModel : public EachModel {};
TARVELO_EACH_MODEL(LinesEachModel);
}  // namespace

TEST(Lines16, RewriteTable) {
  struct Case {
    uint8_t before;
    LineControls16 controls;
    uint8_t after;
  };
  const std::vector<Case> cases = {
      {0x04, {1, 1, 1, true, true}, 0x1F},  // "Impulzus", "#2", both boxes, "Azonnal"
      {0x04, {0, 1, 1, true, true}, 0x1B},  // the same with "Tárcsázáskor"
      {0xFF, {1, 1, 1, true, true}, 0x1F},  // bits 5..7 are never kept
      {0xFF, {1, {}, {}, {}, {}}, 0x1F},    // a missing control leaves its step out
      {0x1F, {{}, {}, {}, false, {}}, 0x17}, {0x00, {}, 0x00},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RewriteLineByte16(c.before, c.controls), c.after) << int(c.before);
  }
}

TEST(Lines16, DecodeAndLeavingAnyControlRewritesAllLines) {
  ConfigImage image = Defaults(kSixteen);
  const long base = kSixteen.Offset(Field::LineSettings);
  image.SetImageByte(base + 2, 0x12);
  image.SetImageByte(base + 9, 0xFF);
  auto lines = DecodeLines(image, kSixteen);
  EXPECT_EQ(lines[2].timerSet, 0);
  EXPECT_EQ(DialItems(DeviceModel::SixteenLine, 3)[lines[2].dial], "Impulzus");
  EXPECT_EQ(SeizeItems()[lines[2].seize], "Tárcsázáskor");
  EXPECT_FALSE(lines[2].subLine);
  EXPECT_TRUE(lines[2].callIn);

  auto controls = ControlsFrom(lines);
  controls[4] = {1, 1, 1, true, true};
  EncodeLines16(image, kSixteen, controls);
  EXPECT_EQ(image.ImageByte(base + 4), 0x1F);
  EXPECT_EQ(image.ImageByte(base + 2), 0x12);
  EXPECT_EQ(image.ImageByte(base + 9), 0x1F);
  EXPECT_EQ(image.ImageByte(base + 0), 0x04);
  EXPECT_EQ(image.ImageByte(base + 16), 0x0A) << "the byte after the field is not touched";
}

TEST(Lines4, EachControlStoresItsOwnPart) {
  ConfigImage image = Defaults(kFour);
  const long base = kFour.Offset(Field::LineSettings);
  EncodeLineBit4(image, kFour, /*callIn=*/true, 3, true);
  EXPECT_EQ(image.ImageByte(base), 0x40);
  EncodeLineBit4(image, kFour, /*callIn=*/false, 1, true);
  EncodeLineBit4(image, kFour, /*callIn=*/true, 3, false);
  EXPECT_EQ(image.ImageByte(base), 0x01);
  EncodeDialMode4(image, kFour, 2);  // "DTMF gyors"
  EXPECT_EQ(image.ImageByte(base + 1), 3);
  for (uint8_t stored : {0, 7}) {
    image.SetImageByte(base + 1, stored);
    EXPECT_EQ(DialItems(DeviceModel::FourLine, 1)[DecodeLines(image, kFour)[0].dial],
              "DTMF normal");
  }
}

TEST(Lines4, SeizeModeReadsBackAsChosen) {
  ConfigImage image = Defaults(kFour);
  for (int chosen : {0, 1, 0}) {
    EncodeSeizeMode4(image, kFour, chosen);
    EXPECT_EQ(DecodeLines(image, kFour)[0].seize, chosen);
  }
}

TEST_P(LinesEachModel, CoNumberWidthFollowsTheCharacterCount) {
  const ImageLayout& l = layout();
  ConfigImage image = DefaultImage();
  const long base = l.Offset(Field::CoNumbers);
  image.SetImageByte(l.Offset(Field::CoCharCount), 3);
  EncodeCoNumber(image, l, 2, "12345");
  EXPECT_EQ(image.Bytes(base + 3, 3), "123");
  EXPECT_EQ(DecodeCoNumber(image, l, 2), "123");
  EncodeCoNumber(image, l, 2, "7");
  EXPECT_EQ(image.Bytes(base + 3, 3), "7  ");
}

TEST_P(LinesEachModel, AnOutOfRangeCoCountNeverReachesPastTheField) {
  const ImageLayout& layout = this->layout();
  ConfigImage image = Defaults(layout);
  const long base = layout.Offset(Field::CoNumbers);
  const long end = base + layout.Size(Field::CoNumbers);
  const uint8_t after = image.ImageByte(end);
  image.SetImageByte(layout.Offset(Field::CoCharCount), 200);
  const int lines = LineCount(layout.model());
  EncodeCoNumber(image, layout, lines, "ABCDEFGH");
  EXPECT_EQ(image.Bytes(end - 4, 4), "ABCD");
  EXPECT_EQ(image.ImageByte(end), after);
  EXPECT_EQ(DecodeCoNumber(image, layout, lines), "ABCD");
  image.SetImageByte(layout.Offset(Field::CoCharCount), 0);
  EXPECT_EQ(DecodeCoNumber(image, layout, 1).size(), 1u);
}

// The timers page pairs the k-th box of set #2 with the k-th box of set #1, and shows set #2
// only where the model has it.
TEST(ByteFields, TimerSetsPairUpAndSetTwoIsSixteenLineOnly) {
  std::vector<const ByteFieldRow*> sets[3];
  for (const ByteFieldRow& row : ByteFields()) {
    ASSERT_GE(row.timerSet, 0);
    ASSERT_LE(row.timerSet, 2);
    sets[row.timerSet].push_back(&row);
    if (row.timerSet != 0) {
      EXPECT_EQ(row.page, 2) << row.control;
    }
  }
  ASSERT_EQ(sets[1].size(), 4u);
  ASSERT_EQ(sets[2].size(), 4u);
  for (size_t k = 0; k < 4; ++k) {
    EXPECT_STREQ(sets[1][k]->label, sets[2][k]->label);
    EXPECT_TRUE(kFour.Has(sets[1][k]->field) && kSixteen.Has(sets[1][k]->field));
    EXPECT_TRUE(!kFour.Has(sets[2][k]->field) && kSixteen.Has(sets[2][k]->field));
  }
}
