#include <gtest/gtest.h>

#include "model/General.h"
#include "model/Lines.h"
#include "tests/model/Images.h"

using namespace tarvelo;

namespace {
// The settings whose rule is the same in both models.
class GeneralEachModel : public EachModel {};
TARVELO_EACH_MODEL(GeneralEachModel);
}  // namespace

TEST(SmdrFormat, EncodeTable) {
  struct Case {
    const ImageLayout* layout;
    int speed, parity;
    uint8_t stored;
  };
  const std::vector<Case> cases = {
      {&kFour, 6, 1, 0x31},    // "300", "Páros"
      {&kFour, 1, 0, 0x08},    // "9600"
      {&kFour, 1, 2, 0x08},    // "Páratlan" is stored like "Nincs"
      {&kSixteen, 2, 2, 'C'},  // "2400", "Páratlan" is stored like "Páros"
      {&kSixteen, 0, 0, '1'}, {&kSixteen, 5, 1, 'F'},
  };
  for (const auto& c : cases) {
    ConfigImage image;
    EncodeSmdrFormat(image, *c.layout, {c.speed, c.parity});
    EXPECT_EQ(image.ImageByte(c.layout->Offset(Field::SmdrFormat)), c.stored);
  }
}

TEST(SmdrFormat, DecodeTable) {
  struct Case {
    const ImageLayout* layout;
    uint8_t stored;
    int speed, parity;
  };
  const std::vector<Case> cases = {
      {&kFour, 0x0A, 1, 0},   {&kFour, 0x31, 6, 1},
      {&kFour, 0x38, 6, 0},  // index 7 is beyond the list: the last item
      {&kSixteen, 'C', 2, 1}, {&kSixteen, '6', 5, 0},
      {&kSixteen, '0', 1, 0}, {&kSixteen, 'Z', 1, 0},
  };
  for (const auto& c : cases) {
    ConfigImage image;
    image.SetImageByte(c.layout->Offset(Field::SmdrFormat), c.stored);
    EXPECT_EQ(DecodeSmdrFormat(image, *c.layout), (SmdrFormatChoice{c.speed, c.parity}))
        << int(c.stored);
  }
}

TEST(SmdrMode, DecodeAndEncode) {
  ConfigImage image;
  image.SetImageByte(kSixteen.Offset(Field::SmdrMode), 0x17);
  EXPECT_EQ(DecodeSmdrMode(image, kSixteen), (SmdrModeChoice{2, 1}));  // "Saját", "Átenged"
  image.SetImageByte(kFour.Offset(Field::SmdrMode), 0x13);
  EXPECT_EQ(DecodeSmdrMode(image, kFour), (SmdrModeChoice{1, 1}));
  EncodeSmdrMode(image, kSixteen, {0, 1});
  EXPECT_EQ(image.ImageByte(kSixteen.Offset(Field::SmdrMode)), 0x10);
}

TEST_P(GeneralEachModel, TestByteRangeAcceptsOnlyWholeNumbersFrom0To255) {
  const long at = layout().Offset(Field::CoPosition);
  struct Case {
    const char* text;
    int stored;  // -1: refused
  };
  for (const Case& c : std::vector<Case>{{" 42 ", 42},
                                         {"0", 0},
                                         {"255", 255},
                                         {"256", -1},
                                         {"-1", -1},
                                         {"abc", -1},
                                         {"", -1},
                                         {"4 2", -1},
                                         {"99999999999999999999", -1}}) {
    ConfigImage image;
    image.SetImageByte(at, 7);
    const Refusal r = TestByteRange(image, layout(), Field::CoPosition, c.text);
    if (c.stored < 0) {
      ASSERT_TRUE(r) << c.text;
      EXPECT_EQ(*r, "Értéknek 0..255 között kell lenni !!!");
      EXPECT_EQ(image.ImageByte(at), 7) << c.text;
    } else {
      EXPECT_FALSE(r) << c.text;
      EXPECT_EQ(image.ImageByte(at), c.stored);
    }
  }
}

TEST_P(GeneralEachModel, CoCharCountDecodeAndEncode) {
  const ImageLayout& l = layout();
  ConfigImage image = DefaultImage();
  EXPECT_EQ(DecodeCoCharCount(image, l), 1);
  // Outside 1..4 the box shows the width the CO numbers are cut with.
  for (auto [stored, index] : {std::pair{0, 0}, std::pair{5, 3}, std::pair{255, 3}}) {
    image.SetImageByte(l.Offset(Field::CoCharCount), static_cast<uint8_t>(stored));
    EXPECT_EQ(DecodeCoCharCount(image, l), index) << stored;
    EXPECT_EQ(DecodeCoCharCount(image, l) + 1, CoNumberWidth(image, l)) << stored;
  }
  EXPECT_EQ(EncodeCoCharCount(image, l, -1), "Válasszon egy értéket 1..4 között !!!");
  EXPECT_EQ(image.ImageByte(l.Offset(Field::CoCharCount)), 255);
  EXPECT_FALSE(EncodeCoCharCount(image, l, 3));
  EXPECT_EQ(image.ImageByte(l.Offset(Field::CoCharCount)), 4);
}

TEST_P(GeneralEachModel, RecordTerminatorRefusesAnythingButAByte) {
  const ImageLayout& l = layout();
  ConfigImage image = DefaultImage();
  const long at = l.Offset(Field::RecordTerminator);
  for (const char* bad : {"x", "-1", "300", ""}) {
    EXPECT_EQ(EncodeRecordTerminator(image, l, bad), "Hibás érték !!!") << bad;
    EXPECT_EQ(image.ImageByte(at), 13);
  }
  EXPECT_FALSE(EncodeRecordTerminator(image, l, "10"));
  EXPECT_EQ(DecodeRecordTerminator(image, l), "10");
}

TEST(NumberTerminator, AllowedCharacters) {
  ConfigImage image = Defaults(kSixteen);
  const long at = kSixteen.Offset(Field::NumberTerminator);
  for (const char* ok : {"#", "*", "0", "9", " "}) {
    EXPECT_FALSE(EncodeNumberTerminator(image, kSixteen, ok)) << ok;
    EXPECT_EQ(image.ImageByte(at), ok[0]);
  }
  for (const char* bad : {"a", "", "+1"}) {
    EXPECT_EQ(EncodeNumberTerminator(image, kSixteen, bad), "Csak 0..9,*,# lehet !!!") << bad;
    EXPECT_EQ(image.ImageByte(at), ' ');
  }
  image.SetImageByte(at, 'x');
  EXPECT_EQ(DecodeNumberTerminator(image, kSixteen), ' ');
}

TEST(SwitchBits, KeepTheDevicesBits) {
  ConfigImage image;
  const long at = kFour.Offset(Field::SwitchBits);
  image.SetImageByte(at, 0xFA);  // bits 3..7 set, DST on, PIN off
  EncodeSwitchBits(image, kFour, {true, false, false});
  EXPECT_EQ(image.ImageByte(at), 0xF9);
  EXPECT_EQ(DecodeSwitchBits(image, kFour), (Switches{true, false, false}));
}

TEST(SwitchBits, SixteenLineModelHasNoneAndNothingChanges) {
  ConfigImage image = Defaults(kSixteen);
  const ConfigImage before = image;
  EncodeSwitchBits(image, kSixteen, {false, false, false});
  EXPECT_EQ(image, before);
}
