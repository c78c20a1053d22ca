// Byte <-> text conversion of compressed line files. Text in memory is UTF-8;
// on disk it is Windows-1252 (the Western single-byte Windows code page, so
// files written by Windows tools read with their accented letters intact),
// unless a byte-order mark selects UTF-8 or UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace qx {

// Decodes the decompressed bytes of a file into UTF-8: EF BB BF selects
// UTF-8, FF FE UTF-16 little-endian, FE FF UTF-16 big-endian (the mark is
// dropped); otherwise every byte is a Windows-1252 character. Malformed
// UTF-8 or UTF-16 units become U+FFFD, so the result is always valid UTF-8.
std::string DecodeFileText(std::string_view bytes);

// Encodes UTF-8 text as Windows-1252 without a byte-order mark. A character
// the code page lacks, or a malformed UTF-8 byte, becomes '?'. Text decoded
// from Windows-1252 encodes back to the identical bytes.
std::string EncodeFileText(std::string_view utf8);

}  // namespace qx
