#include <gtest/gtest.h>

#include "model/NumberPlan.h"
#include "tests/model/Images.h"

using namespace tarvelo;

namespace {
class CallInEachModel : public EachModel {};
TARVELO_EACH_MODEL(CallInEachModel);
}  // namespace

TEST(Exceptions4, EditingAnEntryPadsAndStores) {
  ConfigImage image = Defaults(kFour);
  auto texts = DecodeExceptionTexts(image, kFour);
  Prefixes prefixes = DecodePrefixes(image, kFour);
  std::string text;
  ASSERT_FALSE(MakeExceptionText("1", "8", LengthInput::Typed, text));
  EXPECT_EQ(text, "1???08");
  texts[1] = text;
  ASSERT_FALSE(StoreNumberPlan4(image, kFour, texts, prefixes));
  EXPECT_EQ(image.Bytes(1584 + 3, 3), "\x1F\xFF\x08");
  EXPECT_EQ(image.Bytes(1584, 3), "\x06\x20\x0B");
}

TEST(Exceptions4, LengthMustBeAWholeNumberUpTo99) {
  for (const char* bad : {"x", "-1", "100", "", "1a", "+5"}) {
    std::string text = "unchanged";
    EXPECT_EQ(MakeExceptionText("06", bad, LengthInput::Typed, text),
              "A hossznak 0..99 között kell lenni !!!")
        << bad;
    EXPECT_EQ(text, "unchanged");
  }
}

TEST(Exceptions4, DeletedEntryAndThreeDigitLengthsSurviveAStore) {
  ConfigImage image = Defaults(kFour);
  image.SetImageByte(1584 + 3 * 5 + 2, 120);
  auto texts = DecodeExceptionTexts(image, kFour);
  EXPECT_EQ(texts[5], "====120");
  std::string text;
  ASSERT_FALSE(MakeExceptionText("====", "00", LengthInput::Typed, text));
  texts[0] = text;
  Prefixes prefixes = DecodePrefixes(image, kFour);
  ASSERT_FALSE(StoreNumberPlan4(image, kFour, texts, prefixes));
  EXPECT_EQ(image.Bytes(1584, 3), std::string("\xDD\xDD\x00", 3));
  EXPECT_EQ(image.ImageByte(1584 + 3 * 5 + 2), 120);
}

// An entry edited without retyping its length keeps the stored length, 100..255 included;
// only a typed length is held to 0..99.
TEST(Exceptions, AStoredLengthTheUserDidNotChangeIsKept) {
  ConfigImage four = Defaults(kFour);
  four.SetImageByte(1584 + 3 * 2 + 2, 200);
  auto texts = DecodeExceptionTexts(four, kFour);
  ASSERT_EQ(texts[2], "0670200");
  ASSERT_FALSE(MakeExceptionText("0680", texts[2].substr(4), LengthInput::AsSelected, texts[2]));
  EXPECT_EQ(texts[2], "0680200");
  Prefixes prefixes = DecodePrefixes(four, kFour);
  ASSERT_FALSE(StoreNumberPlan4(four, kFour, texts, prefixes));
  EXPECT_EQ(four.Bytes(1584 + 3 * 2, 3), "\x06\x80\xC8");

  ConfigImage sixteen = Defaults(kSixteen);
  const long at = kSixteen.Offset(Field::AreaExceptions) + 2 * 4;
  DeleteException16(sixteen, kSixteen, 4);  // shown "00" and "255"
  const ExceptionCells shown = ExceptionRow(sixteen, kSixteen, "", 4);
  ASSERT_FALSE(
      EditException16(sixteen, kSixteen, 4, shown.areaCode, shown.length, LengthInput::AsSelected));
  EXPECT_EQ(sixteen.Bytes(at, 2), std::string("\x00\xFF", 2));
  for (const char* typed : {"100", "255"}) {
    EXPECT_EQ(EditException16(sixteen, kSixteen, 4, "36", typed, LengthInput::Typed),
              "A hossznak 0..99 között kell lenni !!!");
  }
  EXPECT_EQ(sixteen.Bytes(at, 2), std::string("\x00\xFF", 2));
}

TEST(Prefixes4, CompletedWhenStored) {
  ConfigImage image = Defaults(kFour);
  auto texts = DecodeExceptionTexts(image, kFour);
  Prefixes p = DecodePrefixes(image, kFour);
  p.mobile[3] = "";
  p.mobile[1] = "063";
  p.international[1] = "1";
  ASSERT_FALSE(StoreNumberPlan4(image, kFour, texts, p));
  EXPECT_EQ(p.mobile[3], "====");
  EXPECT_EQ(p.mobile[1], "063?");
  EXPECT_EQ(p.international[1], "1?");
  EXPECT_EQ(image.Bytes(1412, 8), "\x06\x20\x06\x3F\x06\x70\xDD\xDD");
  EXPECT_EQ(image.Bytes(1420, 2), std::string("\x00\x1F", 2));
}

TEST(Prefixes4, NothingStoredInTheSixteenLineModel) {
  ConfigImage image = Defaults(kSixteen);
  const ConfigImage before = image;
  Prefixes p;
  EXPECT_FALSE(StoreNumberPlan4(image, kSixteen, std::vector<std::string>(16, "1???08"), p));
  EXPECT_EQ(image, before);
}

TEST(Exceptions16, EditAndDeleteGoStraightToTheImage) {
  ConfigImage image = Defaults(kSixteen);
  const long at = kSixteen.Offset(Field::AreaExceptions) + 2 * 3;
  ASSERT_FALSE(EditException16(image, kSixteen, 3, "36", "9", LengthInput::Typed));
  EXPECT_EQ(image.Bytes(at, 2), "\x36\x09");
  auto row = ExceptionRow(image, kSixteen, "ignored", 3);
  EXPECT_EQ(row.areaCode, "36");
  EXPECT_EQ(row.length, "09");
  EXPECT_EQ(EditException16(image, kSixteen, 3, "36", "abc", LengthInput::Typed),
            "A hossznak 0..99 között kell lenni !!!");
  EXPECT_EQ(image.Bytes(at, 2), "\x36\x09");
  DeleteException16(image, kSixteen, 3);
  row = ExceptionRow(image, kSixteen, "", 3);
  EXPECT_EQ(row.areaCode, "00");
  EXPECT_EQ(row.length, "255");
  // The call-in number right after the field is not touched by the defaults.
  EXPECT_EQ(image.ImageByte(kSixteen.Offset(Field::CallInNumber)), 0);
}

TEST_P(CallInEachModel, NumberFlagsAndForbiddenCodes) {
  const ImageLayout& layout = this->layout();
  ConfigImage image = Defaults(layout);
  CallInSettings s = DecodeCallIn(image, layout);
  s.number = "123456789012345678901234";
  s.forbidden[20] = CompleteForbiddenEntry("1");
  EXPECT_EQ(s.forbidden[20], "1?");
  EncodeCallIn(image, layout, s);
  const long number = layout.Offset(Field::CallInNumber);
  EXPECT_EQ(image.Bytes(number, 24), s.number);
  EXPECT_EQ(image.ImageByte(layout.Offset(Field::ForbiddenAreaCodes) + 20), 0x1F);
  EXPECT_EQ(DecodeCallIn(image, layout).number, s.number);
  s.number = "06";
  EncodeCallIn(image, layout, s);
  EXPECT_EQ(image.Bytes(number, 24), std::string("06") + std::string(22, '\0'));
}

TEST(CallIn, GatewayFlagRules) {
  struct Case {
    uint8_t before;
    bool foreign, national;
    uint8_t after;
  };
  for (const Case& c : std::vector<Case>{{0xFF, false, true, 0x01},
                                         {0xFF, true, true, 0xFF},
                                         {0xFF, true, false, 0x02},
                                         {0x00, true, true, 0x03},
                                         {0xFC, false, false, 0x00}}) {
    EXPECT_EQ(RewriteGatewayFlags(c.before, c.foreign, c.national), c.after) << int(c.before);
  }
}
