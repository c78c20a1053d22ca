#include "persistence/TextEncoding.h"

#include <gtest/gtest.h>

#include "persistence/LineCursor.h"

namespace qx {
namespace {

TEST(SplitLines, EndsLinesAtCrLfLoneLfAndLoneCr) {
  using Lines = std::vector<std::string>;
  struct Case { std::string text; Lines lines; };
  const Case cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},           // text after the last break is a line
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"a\n\rb", {"a", "", "b"}},       // LF CR is two breaks
      {"\r\n", {""}},
      {std::string("x\0y\r\n", 5), {std::string("x\0y", 3)}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitLines(c.text), c.lines) << c.text;
}

TEST(TextEncoding, ByteOrderMarksSelectTheEncoding) {
  // "Ü€1" in each encoding, with a CR LF.
  struct Case { std::string bytes; std::string text; };
  const Case cases[] = {
      {"\xDC\x80" "1\r\n", "\xC3\x9C\xE2\x82\xAC" "1\r\n"},                       // Windows-1252
      {"\xEF\xBB\xBF\xC3\x9C\xE2\x82\xAC" "1\r\n", "\xC3\x9C\xE2\x82\xAC" "1\r\n"}, // UTF-8
      {std::string("\xFF\xFE\xDC\x00\xAC\x20" "1\x00\r\x00\n\x00", 12), "\xC3\x9C\xE2\x82\xAC" "1\r\n"},
      {std::string("\xFE\xFF\x00\xDC\x20\xAC\x00" "1\x00\r\x00\n", 12), "\xC3\x9C\xE2\x82\xAC" "1\r\n"},
      {std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), "\xF0\x9F\x98\x80"},             // surrogate pair
      {std::string("\xFF\xFE\x00\xD8" "A", 5), "\xEF\xBF\xBD\xEF\xBF\xBD"},           // lone surrogate, odd byte
      {"\xEF\xBB\xBF" "a\xFF" "b", "a\xEF\xBF\xBD" "b"},                              // malformed UTF-8
      {"\xEF\xBB\xBF", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeFileText(c.bytes), c.text);
}

TEST(TextEncoding, EveryCodePageByteSurvivesDecodeAndEncode) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  // A leading byte that does not start a byte-order mark.
  EXPECT_EQ(EncodeFileText(DecodeFileText(all)), all);
  EXPECT_EQ(EncodeFileText("\xE4\xB8\xAD" "a\xFF"), "?a?");
}

}  // namespace
}  // namespace qx
