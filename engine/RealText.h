// Text forms of the single values that case files and OPC item values carry:
// reals in general notation with the user's decimal separator, 32-bit
// integers and one-byte characters, and the conversions back with the exact
// failure texts the user sees. Pure functions: no I/O and no process locale;
// the decimal separator is always passed in.
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

// A line holding the one character. The character is a byte of the case
// files' code page (Windows-1252); the result is its UTF-8 form.
std::string FormatChar(char value);

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

// The first character of the trimmed line, as a Windows-1252 byte (a
// character outside that code page gives '?'). Failure, for a line that is
// empty after trimming: "Range check error".
bool ParseChar(std::string_view text, char& value, std::string& failure);

// Windows-1252, the single-byte code page of case files: the Unicode code
// point of a byte, and the byte of a code point (nothing for a code point
// outside the code page). The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the
// same number, so every byte maps to a code point and back unchanged.
char32_t Windows1252ToCodePoint(unsigned char byte);
bool Windows1252FromCodePoint(char32_t codePoint, unsigned char& byte);

// UTF-8, the form of all text in memory: appends one code point, and takes
// the code point at `pos`, advancing `pos`. A malformed sequence (bad lead
// or continuation byte, overlong form, surrogate, beyond U+10FFFF) gives
// U+FFFD and skips one byte.
void AppendUtf8(std::string& out, char32_t codePoint);
char32_t NextUtf8(std::string_view text, std::size_t& pos);

// The decimal separator of a locale name such as "de_DE.UTF-8" (',') or
// "en_US.UTF-8" ('.'). Asks the C library for an installed locale through a
// locale object of its own, never the process's global locale; a locale that
// is not installed is judged by its language and territory.
char DecimalSeparatorOfLocale(std::string_view localeName);

// The user's decimal separator: the locale named by LC_ALL, else LC_NUMERIC,
// else LANG (the first one set and not empty); '.' when none is set.
char DecimalSeparatorFromEnvironment();

}  // namespace qx
