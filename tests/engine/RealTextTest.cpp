#include "engine/RealText.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <random>
#include <vector>

namespace qx {
namespace {

constexpr float kMax = std::numeric_limits<float>::max();

TEST(FormatReal, WritesGeneralNotationWithFifteenDigits) {
  struct Case { float value; const char* text; };
  const Case cases[] = {
      {0.1f, "0.100000001490116"},
      {0.00001f, "9.99999974737875E-6"},
      {std::ldexp(1.0f, 50), "1.12589990684262E15"},
      {0.5f, "0.5"},
      {2.0f, "2"},
      {0.0001f, "9.99999974737875E-5"},  // the nearest single lies below 0.0001
      {0.25f, "0.25"},
      {0.0f, "0"},
      {-2.5f, "-2.5"},
      {0.001f, "0.00100000004749745"},
      {123456789.0f, "123456792"},
      {1e15f, "999999986991104"},        // below 10^15: still fixed
      {1e16f, "1.00000002725642E16"},
      {-1e20f, "-1.00000002004088E20"},
      {kMax, "3.40282346638529E38"},
      {std::numeric_limits<float>::denorm_min(), "1.40129846432482E-45"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatReal(c.value, '.'), c.text) << c.text;
}

// The C library's "%.15g" chooses between fixed and exponent notation by the
// same rule and drops trailing zeros the same way; only its exponent is
// spelled differently ("e-06" for "E-6"). Agreement over many values checks
// the digits, the rounding and the notation choice independently.
std::string ReferenceText(float value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", static_cast<double>(value));
  std::string text = buffer;
  std::size_t e = text.find('e');
  if (e == std::string::npos) return text;
  std::string exponent = text.substr(e + 1);
  bool negative = exponent.front() == '-';
  exponent.erase(0, 1);
  exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
  return text.substr(0, e) + "E" + (negative ? "-" : "") + exponent;
}

TEST(FormatReal, AgreesWithTheCLibrarysGeneralNotation) {
  std::mt19937 random(99);
  for (int i = 0; i < 200000; ++i) {
    float v = std::bit_cast<float>(static_cast<uint32_t>(random()));
    if (!std::isfinite(v)) continue;
    ASSERT_EQ(FormatReal(v, '.'), ReferenceText(v)) << std::bit_cast<uint32_t>(v);
  }
}

TEST(FormatReal, UsesTheGivenSeparatorAndMarksSpecialValues) {
  EXPECT_EQ(FormatReal(0.5f, ','), "0,5");
  EXPECT_EQ(FormatReal(0.00001f, ','), "9,99999974737875E-6");
  EXPECT_EQ(FormatReal(1e15f, ','), "999999986991104");
  EXPECT_EQ(FormatReal(-0.0f, '.'), "-0");
  EXPECT_EQ(FormatReal(std::numeric_limits<float>::infinity(), '.'), "INF");
  EXPECT_EQ(FormatReal(-std::numeric_limits<float>::infinity(), '.'), "-INF");
  EXPECT_EQ(FormatReal(std::numeric_limits<float>::quiet_NaN(), '.'), "NAN");
}

TEST(FormatRealDouble, WritesADoubleWithoutRoundingToSingleFirst) {
  EXPECT_EQ(FormatRealDouble(0.1, '.'), "0.1");
  EXPECT_EQ(FormatRealDouble(0.00001, ','), "1E-5");
  EXPECT_EQ(FormatRealDouble(1.0 / 3.0, ','), "0,333333333333333");
  EXPECT_EQ(FormatRealDouble(std::ldexp(1.0, 50), '.'), "1.12589990684262E15");
}

// Fifteen significant digits are far more than the nine a single needs, so
// every finite single reads back with all its bits, under either separator.
void ExpectRoundTrip(float value) {
  for (char separator : {'.', ','}) {
    std::string text = FormatReal(value, separator);
    float back = 12345.0f;
    std::string failure;
    ASSERT_TRUE(ParseReal(text, separator, back, failure)) << text << ": " << failure;
    ASSERT_EQ(std::bit_cast<uint32_t>(back), std::bit_cast<uint32_t>(value)) << text;
  }
}

TEST(FormatReal, EveryFiniteSingleReadsBackBitForBit) {
  std::vector<float> edges = {0.0f, -0.0f, kMax, -kMax, std::numeric_limits<float>::min(),
                              std::numeric_limits<float>::denorm_min(),
                              std::nextafter(std::numeric_limits<float>::min(), 0.0f),
                              0.0001f, std::nextafter(0.0001f, 1.0f), 1e15f,
                              std::nextafter(1e15f, 2e15f), 0.1f, 1.0f / 3.0f};
  for (int e = -149; e <= 127; ++e) {
    float p = std::ldexp(1.0f, e);
    edges.insert(edges.end(), {p, -p, std::nextafter(p, 0.0f), std::nextafter(p, kMax)});
  }
  for (float v : edges) ExpectRoundTrip(v);

  std::mt19937 random(20240611);
  int checked = 0;
  while (checked < 1000000) {
    float v = std::bit_cast<float>(static_cast<uint32_t>(random()));
    if (!std::isfinite(v)) continue;
    ExpectRoundTrip(v);
    ++checked;
  }
}

TEST(ParseReal, ConvertsDecimalTextToTheNearestSingle) {
  struct Case { const char* text; char separator; float value; };
  const Case cases[] = {
      {"1", '.', 1.0f},
      {"+1.5", '.', 1.5f},
      {"-.5", '.', -0.5f},
      {"5.", '.', 5.0f},
      {"1E3", '.', 1000.0f},
      {"1e-3", '.', 0.001f},
      {"2.5E+2", '.', 250.0f},
      {" \t2.5\r ", '.', 2.5f},
      {"0,25", ',', 0.25f},
      {"-9,99999974737875E-6", ',', -0.00001f},
      {"0.1", '.', 0.1f},
      {"16777217", '.', 16777216.0f},     // halfway: to even
      {"3.40282356e38", '.', kMax},       // rounds down to the largest single
      {"1E39", '.', kMax},                // beyond: saturates
      {"-1E39", '.', -kMax},
      {"1E999999999999", '.', kMax},
      {"1E-50", '.', 0.0f},               // below the smallest single
      {"0.000000001E-40", '.', 0.0f},
      {"000", '.', 0.0f},
  };
  for (const Case& c : cases) {
    float value = 99.0f;
    std::string failure;
    ASSERT_TRUE(ParseReal(c.text, c.separator, value, failure)) << c.text << ": " << failure;
    EXPECT_EQ(std::bit_cast<uint32_t>(value), std::bit_cast<uint32_t>(c.value)) << c.text;
  }
}

TEST(ParseReal, RejectsAnythingButOneDecimalNumber) {
  struct Case { const char* text; char separator; const char* failure; };
  const Case cases[] = {
      {"", '.', "'' is not a valid floating point value"},
      {"  abc ", '.', "'abc' is not a valid floating point value"},
      {"1.5.2", '.', "'1.5.2' is not a valid floating point value"},
      {"1,5", '.', "'1,5' is not a valid floating point value"},
      {"1.5", ',', "'1.5' is not a valid floating point value"},
      {"E5", '.', "'E5' is not a valid floating point value"},
      {"1E", '.', "'1E' is not a valid floating point value"},
      {"1E+", '.', "'1E+' is not a valid floating point value"},
      {".", '.', "'.' is not a valid floating point value"},
      {"--1", '.', "'--1' is not a valid floating point value"},
      {"1 2", '.', "'1 2' is not a valid floating point value"},
      {"0x10", '.', "'0x10' is not a valid floating point value"},
      {"inf", '.', "'inf' is not a valid floating point value"},
      {"NAN", '.', "'NAN' is not a valid floating point value"},
  };
  for (const Case& c : cases) {
    float value = 99.0f;
    std::string failure;
    EXPECT_FALSE(ParseReal(c.text, c.separator, value, failure)) << c.text;
    EXPECT_EQ(failure, c.failure);
    EXPECT_EQ(value, 99.0f);
  }
}

TEST(ParseInt, AcceptsSignedDecimalsWithinThirtyTwoBits) {
  struct Case { const char* text; std::optional<int32_t> value; };
  const Case cases[] = {
      {"0", 0}, {"+7", 7}, {" -12\t", -12}, {"-2147483648", INT32_MIN}, {"2147483647", INT32_MAX},
      {"2147483648", {}}, {"-2147483649", {}}, {"1.0", {}}, {"", {}}, {"12a", {}}, {"-", {}},
      {"+-1", {}}, {"$10", {}},
  };
  for (const Case& c : cases) {
    int32_t value = 99;
    std::string failure;
    bool ok = ParseInt(c.text, value, failure);
    ASSERT_EQ(ok, c.value.has_value()) << c.text;
    if (ok) {
      EXPECT_EQ(value, *c.value);
    } else {
      EXPECT_EQ(failure, "''" + std::string(TrimLine(c.text)) + "'' is not a valid integer value");
      EXPECT_EQ(value, 99);
    }
  }
  EXPECT_EQ(FormatInt(INT32_MIN), "-2147483648");
}

}  // namespace
}  // namespace qx
