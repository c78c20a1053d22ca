#include "engine/RealText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <limits>
#include <locale.h>
#include <system_error>

namespace qx {
namespace {

constexpr int kSignificantDigits = 15;
constexpr char32_t kReplacementCharacter = 0xFFFD;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Code points of the bytes 0x80 to 0x9F; the rest of Windows-1252 equals
// Latin-1. The undefined bytes keep their own number.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

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

std::string FormatChar(char value) {
  std::string text;
  AppendUtf8(text, Windows1252ToCodePoint(static_cast<unsigned char>(value)));
  return text;
}

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

bool ParseChar(std::string_view text, char& value, std::string& failure) {
  std::string_view trimmed = TrimLine(text);
  if (trimmed.empty()) {
    failure = "Range check error";
    return false;
  }
  unsigned char byte = '?';
  std::size_t pos = 0;
  Windows1252FromCodePoint(NextUtf8(trimmed, pos), byte);
  value = static_cast<char>(byte);
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

char32_t NextUtf8(std::string_view text, std::size_t& pos) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(pos);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  int length = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2, minimum = 0x80;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3, minimum = 0x800;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4, minimum = 0x10000;
  if (length == 0 || pos + length > text.size()) {
    ++pos;
    return kReplacementCharacter;
  }
  char32_t cp = lead & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) {
      ++pos;
      return kReplacementCharacter;
    }
    cp = (cp << 6) | (byte(pos + i) & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return kReplacementCharacter;
  }
  pos += length;
  return cp;
}

char32_t Windows1252ToCodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
  return byte;
}

bool Windows1252FromCodePoint(char32_t codePoint, unsigned char& byte) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
    byte = static_cast<unsigned char>(codePoint);
    return true;
  }
  for (int k = 0; k < 32; ++k) {
    if (kHighControls[k] == codePoint) {
      byte = static_cast<unsigned char>(0x80 + k);
      return true;
    }
  }
  return false;
}

namespace {

// Languages whose usual decimal separator is the comma, and the territories
// of those languages that use the point instead. Only consulted for locales
// that are not installed on this machine.
constexpr std::string_view kCommaLanguages[] = {
    "af", "az", "be", "bg", "bs", "ca", "cs", "da", "de", "el", "es", "et", "eu", "fi",
    "fo", "fr", "gl", "hr", "hu", "hy", "id", "is", "it", "ka", "kk", "ky", "lt", "lv",
    "mk", "mn", "nb", "nl", "nn", "no", "pl", "pt", "ro", "ru", "sk", "sl", "sq", "sr",
    "sv", "tr", "uk", "uz", "vi"};
constexpr std::string_view kPointTerritories[] = {
    "de_CH", "de_LI", "it_CH", "es_MX", "es_US", "es_PR", "es_DO", "es_GT", "es_HN",
    "es_NI", "es_PA", "es_SV"};

char SeparatorByName(std::string_view name) {
  std::string_view base = name.substr(0, name.find_first_of(".@"));
  std::string_view language = base.substr(0, base.find('_'));
  for (std::string_view t : kPointTerritories)
    if (base == t) return '.';
  for (std::string_view l : kCommaLanguages)
    if (language == l) return ',';
  return '.';
}

}  // namespace

char DecimalSeparatorOfLocale(std::string_view localeName) {
  if (localeName.empty() || localeName == "C" || localeName == "POSIX" ||
      localeName.starts_with("C."))
    return '.';
  std::string name(localeName);
  locale_t locale = newlocale(LC_NUMERIC_MASK, name.c_str(), static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return SeparatorByName(localeName);
  const char* radix = nl_langinfo_l(RADIXCHAR, locale);
  // A separator that is not one ASCII character cannot appear in a case file.
  char separator = (radix && std::strlen(radix) == 1) ? radix[0] : '.';
  freelocale(locale);
  return separator;
}

char DecimalSeparatorFromEnvironment() {
  for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return DecimalSeparatorOfLocale(value);
  }
  return '.';
}

}  // namespace qx
