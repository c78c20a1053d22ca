#include "persistence/CodePoints.h"

namespace qx {
namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Code points of the bytes 0x80 to 0x9F; the rest of Windows-1252 equals
// Latin-1. The undefined bytes keep their own number.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

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

}  // namespace qx
