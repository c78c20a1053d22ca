#include "persistence/CharText.h"

#include <gtest/gtest.h>

#include <string>

namespace qx {
namespace {

TEST(ParseChar, TakesTheFirstCharacterAsACodePageByte) {
  struct Case { const char* text; char value; };
  const Case cases[] = {
      {"PI", 'P'}, {"  x ", 'x'}, {"\xC3\xA9", '\xE9'} /* é */, {"\xE2\x82\xAC", '\x80'} /* € */,
      {"\xE4\xB8\xAD", '?'} /* a character Windows-1252 lacks */,
  };
  for (const Case& c : cases) {
    char value = 0;
    std::string failure;
    ASSERT_TRUE(ParseChar(c.text, value, failure)) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  for (const char* blank : {"", "   ", "\t\r"}) {
    char value = 'k';
    std::string failure;
    EXPECT_FALSE(ParseChar(blank, value, failure));
    EXPECT_EQ(failure, "Range check error");
    EXPECT_EQ(value, 'k');
  }
}

TEST(ParseChar, EveryVisibleByteSurvivesFormatChar) {
  for (int byte = 33; byte < 256; ++byte) {
    char value = 0;
    std::string failure;
    ASSERT_TRUE(ParseChar(FormatChar(static_cast<char>(byte)), value, failure)) << byte;
    EXPECT_EQ(static_cast<unsigned char>(value), byte);
  }
}

}  // namespace
}  // namespace qx
