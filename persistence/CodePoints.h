// One character at a time between the two encodings of case-file text:
// Windows-1252, the single-byte code page of the files on disk, and UTF-8,
// the form of all text in memory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qx {

// Windows-1252: the Unicode code point of a byte, and the byte of a code
// point (nothing for a code point outside the code page). The five bytes the
// code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the
// control characters of the same number, so every byte maps to a code point
// and back unchanged.
char32_t Windows1252ToCodePoint(unsigned char byte);
bool Windows1252FromCodePoint(char32_t codePoint, unsigned char& byte);

// UTF-8: appends one code point, and takes the code point at `pos`,
// advancing `pos`. A malformed sequence (bad lead or continuation byte,
// overlong form, surrogate, beyond U+10FFFF) gives U+FFFD and skips one
// byte.
void AppendUtf8(std::string& out, char32_t codePoint);
char32_t NextUtf8(std::string_view text, std::size_t& pos);

}  // namespace qx
