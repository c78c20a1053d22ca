#include "CaseNames.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>

namespace qx::test {
namespace {

template <typename T>
std::string ShortestNumberName(T value) {
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  std::string name;
  for (const char* c = buffer; c != end; ++c) {
    if (*c == '-') name += "Minus";
    else if (*c == '.') name += 'p';
    else if (*c != '+') name += *c;
  }
  return name;
}

}  // namespace

std::string NumberName(double value) { return ShortestNumberName(value); }
std::string NumberName(float value) { return ShortestNumberName(value); }

std::string TextName(std::string_view text) {
  if (text.empty()) return "Empty";
  std::string name;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte)) name += c;
    else if (c == '-') name += "Minus";
    else if (c == '+') name += "Plus";
    else if (c == '.') name += "Dot";
    else if (c == ',') name += "Comma";
    else if (c == ' ') name += "Sp";
    else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "x%02X", byte);
      name += hex;
    }
  }
  if (name.size() <= 40) return name;
  uint32_t hash = 2166136261u;  // FNV-1a
  for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  char tail[48];
  std::snprintf(tail, sizeof tail, "Of%zuCharsHash%08X", text.size(), static_cast<unsigned>(hash));
  return name.substr(0, 24) + tail;
}

}  // namespace qx::test
