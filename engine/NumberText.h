// Number <-> text conversions of the operator panel, independent of any
// process locale: a GUI toolkit sets the C library's locale, so none of these
// use strtod or printf("%f").
#pragma once

#include <cmath>
#include <limits>
#include <string>
#include <string_view>

namespace qx {

// The operator's text-to-number conversion: leading white space is skipped,
// the longest prefix that forms a decimal number (optional sign, digits, "."
// as decimal point, optional exponent) is converted, the rest is ignored;
// text without such a prefix gives 0. Only decimal: no hex, "inf" or "nan".
// A magnitude beyond double precision saturates to the largest finite value.
double ParseLeadingDecimal(std::string_view text);

// Rounds to single precision, saturating at the largest finite single value
// (with its sign) instead of producing an infinity; NaN becomes 0. Inline:
// every store of a model field goes through it, many times per run step.
inline float ToSingle(double value) {
  constexpr double kMax = std::numeric_limits<float>::max();
  // The usual value, with one test: a NaN and a value beyond the largest
  // float both fail it.
  if (std::fabs(value) <= kMax) [[likely]]
    return static_cast<float>(value);
  if (std::isnan(value)) return 0.0f;
  return value > 0 ? std::numeric_limits<float>::max() : -std::numeric_limits<float>::max();
}

// ParseLeadingDecimal stored as a single-precision field value.
inline float ParseLeadingSingle(std::string_view text) {
  return ToSingle(ParseLeadingDecimal(text));
}

// Parses text that must be one decimal number in full (surrounding blanks
// allowed). Returns false for an empty, partial or non-finite number.
bool ParseWholeDecimal(std::string_view text, double& value);

// C fixed notation with 0 to 4 decimals ("%.0f" .. "%.4f"), "." as separator,
// rounding to nearest with ties to even on the exact binary value, as the C
// library does. Any other number of decimals gives an empty text.
std::string FormatFixed(double value, int decimals);

// Whether FormatFixed writes `a` and `b` alike, told without writing them;
// false also when that cannot be told cheaply (a value that no single
// field holds).
bool SameFixedText(double a, double b, int decimals);

// The toolkit patterns "0.0", "0.00", "0.000", "0.000000": at least one
// integer digit and exactly `decimals` decimals, with the given separator.
std::string FormatPattern(double value, int decimals, char decimalSeparator);

// A real as printf's "%.9g" writes it in the C locale: enough digits to
// give back every single-precision value exactly.
std::string FormatReal9(double value);

}  // namespace qx
