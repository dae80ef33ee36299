#include <gtest/gtest.h>
#include <iconv.h>

#include "model/Text.h"

using namespace tarvelo;

TEST(Text, HungarianLettersRoundTrip) {
  const std::string utf8 = "áéíóöőúüű ÁÉÍÓÖŐÚÜŰ";
  const auto bytes = Utf8ToCp1250(utf8);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*bytes, "\xE1\xE9\xED\xF3\xF6\xF5\xFA\xFC\xFB \xC1\xC9\xCD\xD3\xD6\xD5\xDA\xDC\xDB");
  EXPECT_EQ(Cp1250ToUtf8(*bytes), utf8);
}

// Our table against the C library's converter, for every byte it defines.
TEST(Text, EveryByteMatchesTheSystemConverter) {
  iconv_t cd = iconv_open("UTF-8", "CP1250");
  if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no CP1250 converter";
  for (int b = 0; b < 256; ++b) {
    char in[1] = {static_cast<char>(b)};
    char out[8] = {};
    char* ip = in;
    char* op = out;
    size_t il = 1, ol = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) continue;  // undefined byte
    const std::string expected(out, op - out);
    EXPECT_EQ(Cp1250ToUtf8(std::string(1, static_cast<char>(b))), expected) << "byte " << b;
    EXPECT_EQ(Utf8ToCp1250(expected), std::string(1, static_cast<char>(b))) << "byte " << b;
  }
  iconv_close(cd);
}

TEST(Text, CharactersOutsideTheCodePageAreRefusedAndNamed) {
  struct Case {
    std::string input;
    std::string bad;
  };
  for (const Case& c :
       std::vector<Case>{{"señor", "ñ"}, {"ok ✓", "✓"}, {"a\xFF", "\\xFF"}, {"\xC3", "\\xC3"}}) {
    std::string bad;
    EXPECT_FALSE(Utf8ToCp1250(c.input, &bad)) << c.input;
    EXPECT_EQ(bad, c.bad);
  }
  EXPECT_NE(UnencodableMessage("ñ").find("ñ"), std::string::npos);
}
