// Text forms of the numbers that case files and OPC item values carry: reals
// in general notation with a given decimal separator and 32-bit integers,
// and the conversions back with the exact failure texts the user sees. Pure
// functions: no I/O, no environment and no process locale; the decimal
// separator is always passed in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qx {

// A real in general notation with at most 15 significant digits: the value
// widened exactly to double, rounded to 15 digits, trailing zeros dropped.
// Zero and magnitudes from 0.0001 up to below 10^15 in fixed notation
// ("0.5", "2", "0.100000001490116"), others as "9.99999974737875E-6".
// Negative zero is written "-0" so that it reads back with its sign.
// Infinities and NaN are written "INF", "-INF" and "NAN"; they do not read
// back (the model never holds them: every store saturates).
std::string FormatReal(float value, char decimalSeparator);

// The same notation for a double-precision value, not rounded to single
// precision first ("0.1" stays "0.1").
std::string FormatRealDouble(double value, char decimalSeparator);

// A decimal integer, "-" before negative values.
std::string FormatInt(int32_t value);

// Characters with codes 0 to 32 removed from both ends.
std::string_view TrimLine(std::string_view text);

// Each parser trims the text first. On failure it returns false and sets
// `failure` to the text the user is shown; `value` is then unchanged.

// Optional sign, digits with at most one decimal separator (the given one
// only), optional exponent "E"/"e" with optional sign; at least one digit.
// Converted to the nearest single; beyond the single range the value
// saturates at the largest finite single, below it gives zero.
// Failure: "'<text>' is not a valid floating point value".
bool ParseReal(std::string_view text, char decimalSeparator, float& value, std::string& failure);

// Optional sign and decimal digits within the 32-bit range.
// Failure: "''<text>'' is not a valid integer value".
bool ParseInt(std::string_view text, int32_t& value, std::string& failure);

}  // namespace qx
