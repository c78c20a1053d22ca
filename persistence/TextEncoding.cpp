#include "persistence/TextEncoding.h"

#include <cstdint>

#include "persistence/CodePoints.h"

namespace qx {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

std::string DecodeUtf16(std::string_view bytes, bool bigEndian) {
  auto unit = [&](std::size_t i) -> char32_t {
    auto b0 = static_cast<unsigned char>(bytes[i]), b1 = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0);
  };
  std::string out;
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    char32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
      char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
  }
  if (i < bytes.size()) AppendUtf8(out, kReplacement);  // a lone last byte
  return out;
}

}  // namespace

std::string DecodeFileText(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    bytes.remove_prefix(3);
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t pos = 0; pos < bytes.size();) AppendUtf8(out, NextUtf8(bytes, pos));
    return out;
  }
  if (bytes.starts_with("\xFF\xFE")) return DecodeUtf16(bytes.substr(2), false);
  if (bytes.starts_with("\xFE\xFF")) return DecodeUtf16(bytes.substr(2), true);
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) AppendUtf8(out, Windows1252ToCodePoint(static_cast<unsigned char>(c)));
  return out;
}

std::string EncodeFileText(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    unsigned char byte = '?';
    Windows1252FromCodePoint(NextUtf8(utf8, pos), byte);
    out.push_back(static_cast<char>(byte));
  }
  return out;
}

}  // namespace qx
