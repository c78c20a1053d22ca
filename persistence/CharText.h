// The text form of the one-byte character fields of case files: the byte is
// a Windows-1252 character on disk and UTF-8 text in the line.
#pragma once

#include <string>
#include <string_view>

namespace qx {

// A line holding the one character: the UTF-8 form of the Windows-1252 byte.
std::string FormatChar(char value);

// The first character of the trimmed line (TrimLine), as a Windows-1252 byte
// (a character outside that code page gives '?'). On failure, for a line
// that is empty after trimming, returns false with `failure` set to "Range
// check error" and `value` unchanged.
bool ParseChar(std::string_view text, char& value, std::string& failure);

}  // namespace qx
