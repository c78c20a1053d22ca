#include "engine/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace qx {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Length of the longest prefix of `text` (starting at `pos`) that forms a
// decimal number, or 0 when there is none.
std::size_t DecimalPrefixLength(std::string_view text, std::size_t pos) {
  std::size_t i = pos;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  // An exponent counts only when at least one digit follows it.
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && IsDigit(text[j])) {
      while (j < text.size() && IsDigit(text[j])) ++j;
      i = j;
    }
  }
  return i - pos;
}

// The power of ten of the leading non-zero digit of an unsigned decimal
// number ("0.00012" -> -4, "12e5" -> 6). Only its sign matters: a number out
// of double range is beyond the largest value when it is at least 1, and
// below the smallest otherwise, whatever the sign of its exponent.
long long LeadingDigitPower(std::string_view number) {
  std::size_t i = 0;
  long long integerDigits = 0, leadingFractionZeros = 0;
  bool nonZero = false;
  for (; i < number.size() && IsDigit(number[i]); ++i) {
    nonZero = nonZero || number[i] != '0';
    if (nonZero) ++integerDigits;
  }
  if (i < number.size() && number[i] == '.') {
    for (++i; i < number.size() && IsDigit(number[i]); ++i) {
      if (!nonZero && number[i] == '0') ++leadingFractionZeros;
      nonZero = nonZero || number[i] != '0';
    }
  }
  long long power = integerDigits > 0 ? integerDigits - 1 : -(leadingFractionZeros + 1);
  if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
    ++i;
    const bool negative = i < number.size() && number[i] == '-';
    if (i < number.size() && (number[i] == '+' || number[i] == '-')) ++i;
    long long exponent = 0;
    for (; i < number.size() && IsDigit(number[i]); ++i)
      exponent = std::min(exponent * 10 + (number[i] - '0'), 1000000000LL);
    power += negative ? -exponent : exponent;
  }
  return power;
}

double ConvertDecimal(std::string_view number) {
  // from_chars does not accept a leading '+'.
  bool negative = false;
  if (!number.empty() && (number.front() == '+' || number.front() == '-')) {
    negative = number.front() == '-';
    number.remove_prefix(1);
  }
  double value = 0.0;
  auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                   std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // Overflow saturates; underflow gives zero.
    value = LeadingDigitPower(number) < 0 ? 0.0 : std::numeric_limits<double>::max();
  } else if (ec != std::errc() || ptr != number.data() + number.size()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

}  // namespace

double ParseLeadingDecimal(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  std::size_t length = DecimalPrefixLength(text, pos);
  if (length == 0) return 0.0;
  return ConvertDecimal(text.substr(pos, length));
}

bool ParseWholeDecimal(std::string_view text, double& value) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsSpace(text[begin])) ++begin;
  while (end > begin && IsSpace(text[end - 1])) --end;
  std::string_view trimmed = text.substr(begin, end - begin);
  if (trimmed.empty() || DecimalPrefixLength(trimmed, 0) != trimmed.size()) return false;
  double parsed = ConvertDecimal(trimmed);
  if (!std::isfinite(parsed) || std::fabs(parsed) == std::numeric_limits<double>::max())
    return false;
  value = parsed;
  return true;
}

namespace {

// Fixed notation with any number of decimals, "." as separator, rounded
// correctly from the exact binary value as printf does, without a locale.
std::string FixedNotation(double value, int decimals) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  // 310 integer digits hold any double; the decimals come on top. Written
  // on the stack for the usual few decimals: the run formats the tracked
  // output at every step, and its short text then needs no heap allocation.
  constexpr std::size_t kIntegerRoom = 320;
  constexpr int kStackDecimals = 16;
  char stack[kIntegerRoom + kStackDecimals];
  std::string heap;
  char* first = stack;
  std::size_t room = sizeof stack;
  if (decimals > kStackDecimals) {
    heap.resize(kIntegerRoom + static_cast<std::size_t>(decimals));
    first = heap.data();
    room = heap.size();
  }
  auto result = std::to_chars(first, first + room, value, std::chars_format::fixed, decimals);
  return std::string(first, result.ptr);
}

// FormatFixed for a value that a single-precision field holds, with a
// magnitude below 2^30 (the run's tracked set point and output): such a
// value times 10^decimals (decimals 0 to 4) is exact in double precision, so
// rounding that product to an integer rounds the exact binary value, ties
// to even, as the general notation does, at a fraction of its cost. The
// magnitude's digits are `scaled`; false for any other value.
bool ScaledSingle(double value, int decimals, uint64_t& scaled) {
  constexpr double kLimit = 1 << 30;
  constexpr double kScales[] = {1, 10, 100, 1000, 10000};
  if (decimals < 0 || decimals > 4 || !(std::fabs(value) < kLimit) ||
      static_cast<double>(static_cast<float>(value)) != value)
    return false;
  scaled = static_cast<uint64_t>(std::nearbyint(std::fabs(value) * kScales[decimals]));
  return true;
}

bool ScaledSingleFixed(double value, int decimals, std::string& text) {
  uint64_t scaled = 0;
  if (!ScaledSingle(value, decimals, scaled)) return false;
  // The digits right-aligned after enough zeros for one integer digit.
  char digits[32];
  std::fill(digits, digits + sizeof digits, '0');
  const char* end = std::to_chars(digits + 8, digits + sizeof digits, scaled).ptr;
  const char* first = std::min<const char*>(digits + 8, end - decimals - 1);
  const char* point = end - decimals;
  text.clear();
  if (std::signbit(value)) text += '-';
  text.append(first, point);
  if (decimals > 0) {
    text += '.';
    text.append(point, end);
  }
  return true;
}

}  // namespace

std::string FormatFixed(double value, int decimals) {
  if (decimals < 0 || decimals > 4) return {};
  std::string text;
  if (ScaledSingleFixed(value, decimals, text)) return text;
  return FixedNotation(value, decimals);
}

bool SameFixedText(double a, double b, int decimals) {
  uint64_t scaledA = 0, scaledB = 0;
  return ScaledSingle(a, decimals, scaledA) && ScaledSingle(b, decimals, scaledB) &&
         scaledA == scaledB && std::signbit(a) == std::signbit(b);
}

std::string FormatPattern(double value, int decimals, char decimalSeparator) {
  if (decimals < 0) return {};
  std::string text = FixedNotation(value, decimals);
  if (decimalSeparator != '.') {
    for (char& c : text)
      if (c == '.') c = decimalSeparator;
  }
  return text;
}

std::string FormatReal9(double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 9);
  return std::string(buffer, result.ptr);
}

}  // namespace qx
