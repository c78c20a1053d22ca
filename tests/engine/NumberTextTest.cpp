#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "CaseNames.h"
#include "engine/NumberText.h"

namespace qx {
namespace {

struct ParseCase {
  std::string text;
  float value;
};

class TextToNumber : public ::testing::TestWithParam<ParseCase> {};

TEST_P(TextToNumber, LeadingDecimalPrefixOrZero) {
  const float value = ParseLeadingSingle(GetParam().text);
  EXPECT_EQ(value, GetParam().value) << "'" << GetParam().text << "'";
}

constexpr float kMax = std::numeric_limits<float>::max();

// `head`, then 400 zeros, then `tail`: a number too long for any edit.
std::string WithZeros(const char* head, const char* tail) {
  std::string text(head);
  text.append(400, '0').append(tail);
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextToNumber,
    ::testing::Values(
        ParseCase{"1.5.2", 1.5f}, ParseCase{"-", 0}, ParseCase{"abc", 0}, ParseCase{"--1..2", 0},
        ParseCase{"", 0}, ParseCase{"  42", 42}, ParseCase{"\t-3.25xyz", -3.25f},
        ParseCase{".5", 0.5f}, ParseCase{"5.", 5}, ParseCase{"-.5", -0.5f}, ParseCase{"+7", 7},
        ParseCase{".", 0}, ParseCase{"-.", 0}, ParseCase{"e5", 0}, ParseCase{"- 5", 0},
        ParseCase{"1e3", 1000}, ParseCase{"2E-2", 0.02f}, ParseCase{"1e", 1},
        ParseCase{"1e+", 1}, ParseCase{"1.5e2.7", 150}, ParseCase{"1,5", 1},
        ParseCase{"5.e3", 5000}, ParseCase{"-.5e1", -5}, ParseCase{"007.50", 7.5f},
        ParseCase{"\n\v\f\r 3", 3},
        // decimal only: no hexadecimal, infinity or NaN
        ParseCase{"0x1A", 0}, ParseCase{"0X10", 0}, ParseCase{"inf", 0}, ParseCase{"-inf", 0},
        ParseCase{"INFINITY", 0}, ParseCase{"nan", 0}, ParseCase{"NAN(1)", 0},
        // beyond single precision: saturates with its sign, never infinite
        ParseCase{"1e999", kMax}, ParseCase{"-1e999", -kMax}, ParseCase{"1e39", kMax},
        ParseCase{"-4e38", -kMax}, ParseCase{WithZeros("1", ""), kMax},
        // below the smallest value: zero
        ParseCase{"1e-999", 0}, ParseCase{"-1e-50", 0},
        ParseCase{WithZeros("0.", "1"), 0},
        // whether it is out of range above or below does not follow the
        // exponent's sign alone
        ParseCase{WithZeros("1", "e-3"), kMax}, ParseCase{WithZeros("0.", "1e5"), 0}),
    [](const auto& info) { return "Text" + test::TextName(info.param.text); });

TEST(TextToNumber, NeverGivesInfinityOrNaN) {
  for (const char* text : {"1e309", "-1e309", "9e99999999999999999999", "1e-99999999999999999999",
                           "3.4028236e38", "340282356779733661637539395458142568448"}) {
    const float value = ParseLeadingSingle(text);
    EXPECT_TRUE(std::isfinite(value)) << text;
  }
}

TEST(ToSingle, RoundsSaturatesAndTurnsNaNIntoZero) {
  constexpr float kMax = std::numeric_limits<float>::max();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const double justAbove = std::nextafter(static_cast<double>(kMax), kInf);
  const struct {
    double value;
    float expected;
  } cases[] = {
      {0.1, 0.1f},           {-2.5, -2.5f},          {1e-45, 1e-45f},  {kMax, kMax},
      {-kMax, -kMax},        {justAbove, kMax},       {-justAbove, -kMax}, {1e300, kMax},
      {-1e300, -kMax},       {kInf, kMax},            {-kInf, -kMax},
      {std::numeric_limits<double>::quiet_NaN(), 0.0f}, {-std::numeric_limits<double>::quiet_NaN(), 0.0f},
  };
  for (const auto& c : cases) {
    const float got = ToSingle(c.value);
    EXPECT_EQ(got, c.expected) << c.value;
    EXPECT_EQ(std::signbit(got), std::signbit(c.expected)) << c.value;
  }
  EXPECT_TRUE(std::signbit(ToSingle(-0.0))) << "-0 keeps its sign";
}

struct FormatCase {
  double value;
  int decimals;
  std::string text;
};

class FormatFixedCases : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatFixedCases, CFixedNotationWithAPoint) {
  EXPECT_EQ(FormatFixed(GetParam().value, GetParam().decimals), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatFixedCases,
    ::testing::Values(FormatCase{2, 4, "2.0000"}, FormatCase{2.5, 3, "2.500"},
                      FormatCase{-2.5, 1, "-2.5"}, FormatCase{37.126f, 2, "37.13"},
                      FormatCase{37.126f, 1, "37.1"}, FormatCase{0.125, 2, "0.12"},
                      FormatCase{2.5, 0, "2"}, FormatCase{3.5, 0, "4"}, FormatCase{0, 0, "0"},
                      FormatCase{12345678, 4, "12345678.0000"},
                      FormatCase{1e20, 4, "100000000000000000000.0000"},
                      FormatCase{std::numeric_limits<float>::max(), 0,
                                 "340282346638528859811704183484516925440"},
                      FormatCase{-0.00001, 3, "-0.000"}, FormatCase{1, 5, ""},
                      FormatCase{1, -1, ""}),
    [](const auto& info) {
      return test::NumberName(info.param.value) + "With" + test::NumberName(static_cast<double>(info.param.decimals)) +
             "Decimals";
    });

// Values a single field holds take a shortcut through an exact scaled
// integer; it must write what the general notation writes, ties and the
// sign of a value that rounds to zero included.
TEST(FormatFixed, SingleValuesMatchTheGeneralNotation) {
  std::vector<double> values = {0.05f,    0.15f,   0.25,     0.35f,      2.5,       0.125,   0.0625,
                                99.95f,   100,     -0.04f,   -0.05,      -0.0,      1e-7f,   0.00005f,
                                0.00015f, 1234.5f, 1073741823, 1073741824, 1e12f, 37.126f, 0.1};
  // Exact ties at every number of decimals, and a sweep over many magnitudes.
  for (int k = 0; k < 400; ++k) values.push_back(k / 32.0);
  uint32_t bits = 0x3A000000u;  // about 5e-4 upward
  for (int k = 0; k < 20000; ++k, bits += 0x5171u) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    values.push_back(f);
    values.push_back(std::nextafter(f, 2 * f));  // mostly the same text as f
    values.push_back(-f);
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    for (int decimals = 0; decimals <= 4; ++decimals) {
      const std::string text = FormatFixed(values[i], decimals);
      ASSERT_EQ(text, FormatPattern(values[i], decimals, '.'))
          << "value " << values[i] << " with " << decimals << " decimals";
      // The run skips writing a text that SameFixedText says is unchanged.
      if (i > 0 && SameFixedText(values[i - 1], values[i], decimals)) {
        ASSERT_EQ(FormatFixed(values[i - 1], decimals), text) << values[i - 1] << " and " << values[i];
      }
    }
  }
  EXPECT_TRUE(SameFixedText(12.31f, 12.34f, 1));
  EXPECT_FALSE(SameFixedText(12.34f, 12.36f, 1));
  EXPECT_FALSE(SameFixedText(0.01f, -0.01f, 1)) << "0.0 and -0.0";
  EXPECT_FALSE(SameFixedText(0.1, 0.1, 1)) << "not a single value";
}

TEST(FormatPattern, UsesTheGivenSeparator) {
  EXPECT_EQ(FormatPattern(2.5, 2, '.'), "2.50");
  EXPECT_EQ(FormatPattern(2.5, 3, ','), "2,500");
  EXPECT_EQ(FormatPattern(1234.5, 1, ','), "1234,5");
}

// The edits that client writes update show six decimals ("0.000000"); an
// empty text there would read back as 0 at the next pickup.
TEST(FormatPattern, WritesSixDecimalsAndLargeValuesInFull) {
  EXPECT_EQ(FormatPattern(2.5, 6, '.'), "2.500000");
  EXPECT_EQ(FormatPattern(0.1f, 6, ','), "0,100000");
  EXPECT_EQ(FormatPattern(-3.4028234663852886e38, 6, '.'),
            "-340282346638528859811704183484516925440.000000");
}

}  // namespace
}  // namespace qx
