#include <gtest/gtest.h>

#include "model/Codecs.h"
#include "model/General.h"
#include "tests/EachModel.h"

using namespace tarvelo;

TEST(Codecs, DigitPairRoundTripsEveryByte) {
  for (int b = 0; b < 256; ++b) {
    const std::string pair = ByteToDigitPair(static_cast<uint8_t>(b));
    ASSERT_EQ(pair.size(), 2u);
    EXPECT_EQ(DigitPairToByte(pair), b);
  }
}

TEST(Codecs, DigitPairTexts) {
  EXPECT_EQ(ByteToDigitPair(0x36), "36");
  EXPECT_EQ(ByteToDigitPair(0xDD), "==");
  EXPECT_EQ(ByteToDigitPair(0xFF), "??");
  EXPECT_EQ(ByteToDigitPair(0xEE), ">>");
  EXPECT_EQ(ByteToDigitPair(0xAB), ":;");
  // Any length but two gives 0xEE; every character gives its low four bits.
  for (const char* t : {"", "1", "123"}) EXPECT_EQ(DigitPairToByte(t), 0xEE) << t;
  EXPECT_EQ(DigitPairToByte("AB"), 0x12);
  EXPECT_EQ(DigitPairToByte("1?"), 0x1F);
  EXPECT_EQ(DigitPairToByte("=="), 0xDD);
}

TEST(Codecs, ByteToHexIsUpperCase) {
  EXPECT_EQ(ByteToHex(0x00), "00");
  EXPECT_EQ(ByteToHex(0x2B), "2B");
  EXPECT_EQ(ByteToHex(0xD4), "D4");
  EXPECT_EQ(ByteToHex(0xFF), "FF");
}

TEST(Codecs, ImageTextFieldReadsRecordK) {
  ConfigImage image;
  image.SetBytes(100, "ABCDEFGH");
  EXPECT_EQ(ImageTextField(image, 100, 4, 1), "ABCD");
  EXPECT_EQ(ImageTextField(image, 100, 4, 2), "EFGH");
  EXPECT_EQ(ImageTextField(image, 100, 0, 2), "");
  EXPECT_THROW(ImageTextField(image, 8190, 4, 1), std::out_of_range);
}

TEST(Codecs, ExceptionEntryText) {
  struct Case {
    std::string bytes;
    std::string text;
  };
  const std::vector<Case> cases = {
      {std::string("\xDD\xDD\x00", 3), "====00"},
      {"\x36\x1F\x07", "361?07"},
      {"\x06\x20\x09", "062009"},
      {"\x06\x20\x0A", "062010"},
      {"\x06\x20\x78", "0620120"},
      {"\x06\x20\xFF", "0620255"},
  };
  for (const auto& c : cases) {
    ConfigImage image;
    image.SetBytes(1584 + 3, c.bytes);
    EXPECT_EQ(ExceptionEntryText(image, 1584, 1), c.text);
  }
}

TEST(Codecs, NormalizeNumber16) {
  EXPECT_EQ(NormalizeNumber16(""), std::string(16, ' '));
  EXPECT_EQ(NormalizeNumber16("06 80 123 456"), "0680123456      ");
  EXPECT_EQ(NormalizeNumber16("  06 1 "), "061             ");
  EXPECT_EQ(NormalizeNumber16("12345678901234567890"), "12345678901234567890");
  // Spaces go before the length is judged: 18 characters with 3 spaces fit in 16.
  EXPECT_EQ(NormalizeNumber16("123 456 789 012345"), "123456789012345 ");
}

TEST(Codecs, ImageByteRejectsOffsetsOutsideTheImage) {
  ConfigImage image;
  EXPECT_THROW(image.ImageByte(8192), std::out_of_range);
  EXPECT_THROW(image.ImageByte(-1), std::out_of_range);
  EXPECT_THROW(image.SetImageByte(8192, 1), std::out_of_range);
  // A write that would run off the end changes nothing at all.
  EXPECT_THROW(image.SetBytes(8190, "abc"), std::out_of_range);
  EXPECT_EQ(image.ImageByte(8190), 0);
  EXPECT_EQ(image.ImageByte(8191), 0);
}

// Every caller that stores a typed number (byte boxes, record terminator, exception lengths,
// INI integers) goes through this one reader, so a sign it lets through is stored.
TEST(Codecs, ParseWholeNumberTakesOneSignAndDigitsOnly) {
  struct Case {
    const char* text;
    bool ok;
    long value;
  };
  const Case cases[] = {
      {"0", true, 0},     {"255", true, 255}, {"+7", true, 7},
      {"-1", true, -1},   {"007", true, 7},   {"+0", true, 0},
      {"-0", true, 0},    {"", false, 0},     {"+", false, 0},
      {"-", false, 0},    {"+-5", false, 0},  {"-+5", false, 0},
      {"++5", false, 0},  {"--5", false, 0},  {"+-0", false, 0},
      {" 5", false, 0},   {"5 ", false, 0},   {"5a", false, 0},
      {"0x10", false, 0}, {"1e3", false, 0},  {"99999999999999999999", false, 0},
  };
  for (const auto& c : cases) {
    long value = -42;
    EXPECT_EQ(ParseWholeNumber(c.text, value), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    }
  }
}

namespace {
class CodecsEachModel : public EachModel {};
TARVELO_EACH_MODEL(CodecsEachModel);
}  // namespace

TEST_P(CodecsEachModel, SignedJunkIsNotStoredAsAByte) {
  ConfigImage image;
  const ImageLayout& layout = this->layout();
  image.SetImageByte(layout.Offset(Field::CoPosition), 23);
  for (const char* text : {"+-0", "+-1", "-+3"}) {
    EXPECT_TRUE(TestByteRange(image, layout, Field::CoPosition, text).has_value()) << text;
    EXPECT_TRUE(EncodeRecordTerminator(image, layout, text).has_value()) << text;
  }
  EXPECT_EQ(image.ImageByte(layout.Offset(Field::CoPosition)), 23);
  EXPECT_FALSE(TestByteRange(image, layout, Field::CoPosition, " +9 ").has_value());
  EXPECT_EQ(image.ImageByte(layout.Offset(Field::CoPosition)), 9);
}
