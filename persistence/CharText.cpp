#include "persistence/CharText.h"

#include <cstddef>

#include "engine/RealText.h"
#include "persistence/CodePoints.h"

namespace qx {

std::string FormatChar(char value) {
  std::string text;
  AppendUtf8(text, Windows1252ToCodePoint(static_cast<unsigned char>(value)));
  return text;
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

}  // namespace qx
