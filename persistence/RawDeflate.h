// One raw DEFLATE stream (no zlib or gzip wrapper, 32 KiB window) in and out
// of memory, through zlib with negative window bits.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace qx {

// A case is about 2 KB of text; anything that inflates beyond this, or needs
// more compressed input than this before its stream ends, is not a case file.
inline constexpr std::size_t kMaxInflatedBytes = 16u << 20;
inline constexpr std::size_t kMaxCompressedBytes = 16u << 20;

// Compresses `text` at zlib's default level (lazy matching). False only when
// zlib itself fails.
bool DeflateRaw(std::string_view text, std::string& compressed);

// Supplies up to `capacity` compressed bytes into `buffer`; returns how many
// (0 at the end of the input) or -1 on a read error.
using ByteSource = std::function<long(unsigned char* buffer, std::size_t capacity)>;

// Inflates one stream from `source`, stopping at the end of its final block:
// bytes after it are never read. False when the input is not DEFLATE data,
// ends before the final block, fails to read, or exceeds the limits above.
bool InflateRaw(const ByteSource& source, std::string& text);

// InflateRaw over bytes in memory.
bool InflateRaw(std::string_view compressed, std::string& text);

}  // namespace qx
