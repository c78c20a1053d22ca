#include "engine/RealText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace qx {
namespace {

constexpr int kSignificantDigits = 15;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal exponent of the first significant digit of a number that has
// passed the grammar check (mantissa not all zeros), saturated far beyond
// any float so that huge exponents cannot overflow.
long long ScientificExponent(std::string_view mantissa, long long exponent) {
  long long position = 0;  // digits before the point, counted from the first nonzero
  bool seenPoint = false, seenNonZero = false;
  long long leadingFractionZeros = 0;
  for (char c : mantissa) {
    if (c == '.') { seenPoint = true; continue; }
    if (!seenNonZero && c == '0') {
      if (seenPoint) ++leadingFractionZeros;
      continue;
    }
    if (!seenNonZero && seenPoint) return exponent - leadingFractionZeros - 1;
    seenNonZero = true;
    if (!seenPoint) ++position;
  }
  return exponent + position - 1;
}

std::string InvalidReal(std::string_view text) {
  std::string message(1, '\'');
  message.append(text).append("' is not a valid floating point value");
  return message;
}

}  // namespace

std::string_view TrimLine(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.remove_suffix(1);
  return text;
}

std::string FormatReal(float value, char decimalSeparator) {
  return FormatRealDouble(static_cast<double>(value), decimalSeparator);
}

std::string FormatRealDouble(double value, char decimalSeparator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0.0) return std::signbit(value) ? "-0" : "0";

  // Scientific form "d.ddddddddddddddde+XX", correctly rounded from the
  // exact double value; it gives the digits and the decimal exponent.
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                              std::chars_format::scientific, kSignificantDigits - 1);
  std::string_view sci(buffer, result.ptr - buffer);
  bool negative = sci.front() == '-';
  if (negative) sci.remove_prefix(1);
  std::size_t ePos = sci.find('e');
  int exponent = 0;
  std::string_view expText = sci.substr(ePos + 1);
  if (expText.front() == '+') expText.remove_prefix(1);
  std::from_chars(expText.data(), expText.data() + expText.size(), exponent);
  std::string digits;
  for (char c : sci.substr(0, ePos))
    if (IsDigit(c)) digits.push_back(c);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string text = negative ? "-" : "";
  if (exponent >= -4 && exponent < kSignificantDigits) {
    if (exponent < 0) {
      text += '0';
      text += decimalSeparator;
      text.append(static_cast<std::size_t>(-exponent - 1), '0');
      text += digits;
    } else {
      std::size_t integerDigits = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= integerDigits) {
        text += digits;
        text.append(integerDigits - digits.size(), '0');
      } else {
        text.append(digits, 0, integerDigits);
        text += decimalSeparator;
        text.append(digits, integerDigits);
      }
    }
  } else {
    text += digits.front();
    if (digits.size() > 1) {
      text += decimalSeparator;
      text.append(digits, 1);
    }
    text += 'E';
    text += std::to_string(exponent);
  }
  return text;
}

std::string FormatInt(int32_t value) { return std::to_string(value); }

bool ParseReal(std::string_view text, char decimalSeparator, float& value, std::string& failure) {
  std::string_view trimmed = TrimLine(text);
  // Grammar check, building the number with "." for from_chars.
  std::string mantissa;
  bool negative = false;
  std::size_t i = 0;
  if (i < trimmed.size() && (trimmed[i] == '+' || trimmed[i] == '-')) negative = trimmed[i++] == '-';
  std::size_t digits = 0;
  bool seenSeparator = false, nonZero = false;
  for (; i < trimmed.size(); ++i) {
    char c = trimmed[i];
    if (IsDigit(c)) {
      mantissa.push_back(c);
      ++digits;
      nonZero = nonZero || c != '0';
    } else if (c == decimalSeparator && !seenSeparator) {
      mantissa.push_back('.');
      seenSeparator = true;
    } else {
      break;
    }
  }
  long long exponent = 0;
  bool hasExponent = false;
  if (digits > 0 && i < trimmed.size() && (trimmed[i] == 'E' || trimmed[i] == 'e')) {
    ++i;
    bool expNegative = false;
    if (i < trimmed.size() && (trimmed[i] == '+' || trimmed[i] == '-')) expNegative = trimmed[i++] == '-';
    std::size_t expDigits = 0;
    for (; i < trimmed.size() && IsDigit(trimmed[i]); ++i, ++expDigits)
      if (exponent < 1000000000) exponent = exponent * 10 + (trimmed[i] - '0');
    if (expDigits == 0) {
      failure = InvalidReal(trimmed);
      return false;
    }
    if (expNegative) exponent = -exponent;
    hasExponent = true;
  }
  if (digits == 0 || i != trimmed.size()) {
    failure = InvalidReal(trimmed);
    return false;
  }

  float parsed = 0.0f;
  if (nonZero) {
    std::string number = mantissa;
    if (hasExponent) number.append("e").append(std::to_string(exponent));
    auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), parsed,
                                     std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
      parsed = ScientificExponent(mantissa, exponent) >= 0 ? std::numeric_limits<float>::max() : 0.0f;
    } else if (ec != std::errc() || ptr != number.data() + number.size()) {
      failure = InvalidReal(trimmed);
      return false;
    }
  }
  value = negative ? -parsed : parsed;
  return true;
}

bool ParseInt(std::string_view text, int32_t& value, std::string& failure) {
  std::string_view trimmed = TrimLine(text);
  std::string_view number = trimmed;
  bool plus = !number.empty() && number.front() == '+';
  if (plus) number.remove_prefix(1);  // from_chars takes "-" only
  int32_t parsed = 0;
  bool ok = !number.empty() && (IsDigit(number.front()) || (!plus && number.front() == '-'));
  if (ok) {
    auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), parsed);
    ok = ec == std::errc() && ptr == number.data() + number.size();
  }
  if (!ok) {
    failure.assign("''").append(trimmed).append("'' is not a valid integer value");
    return false;
  }
  value = parsed;
  return true;
}

}  // namespace qx
