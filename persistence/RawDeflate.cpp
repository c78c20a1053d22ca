#include "persistence/RawDeflate.h"

#include <zlib.h>

#include <algorithm>

namespace qx {
namespace {

constexpr int kRawWindowBits = -15;  // negative: no header, no trailer; 32 KiB window
constexpr int kMemoryLevel = 8;
constexpr std::size_t kChunk = 64 * 1024;

}  // namespace

bool DeflateRaw(std::string_view text, std::string& compressed) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kRawWindowBits, kMemoryLevel,
                   Z_DEFAULT_STRATEGY) != Z_OK)
    return false;
  compressed.resize(deflateBound(&stream, static_cast<uLong>(text.size())));
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(compressed.data());
  stream.avail_out = static_cast<uInt>(compressed.size());
  int status = deflate(&stream, Z_FINISH);
  compressed.resize(stream.total_out);
  deflateEnd(&stream);
  return status == Z_STREAM_END;
}

bool InflateRaw(const ByteSource& source, std::string& text) {
  z_stream stream{};
  if (inflateInit2(&stream, kRawWindowBits) != Z_OK) return false;
  std::string out;
  unsigned char input[kChunk];
  unsigned char output[kChunk];
  std::size_t consumed = 0;
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    if (stream.avail_in == 0) {
      if (consumed >= kMaxCompressedBytes) break;
      long got = source(input, std::min(kChunk, kMaxCompressedBytes - consumed));
      if (got <= 0) break;  // read error, or the input ends inside the stream
      consumed += static_cast<std::size_t>(got);
      stream.next_in = input;
      stream.avail_in = static_cast<uInt>(got);
    }
    stream.next_out = output;
    stream.avail_out = sizeof output;
    status = inflate(&stream, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) break;
    std::size_t produced = sizeof output - stream.avail_out;
    if (out.size() + produced > kMaxInflatedBytes) break;
    out.append(reinterpret_cast<char*>(output), produced);
  }
  inflateEnd(&stream);
  if (status != Z_STREAM_END) return false;
  text = std::move(out);
  return true;
}

bool InflateRaw(std::string_view compressed, std::string& text) {
  std::size_t offset = 0;
  return InflateRaw(
      [&](unsigned char* buffer, std::size_t capacity) -> long {
        std::size_t n = std::min(capacity, compressed.size() - offset);
        std::copy_n(compressed.data() + offset, n, buffer);
        offset += n;
        return static_cast<long>(n);
      },
      text);
}

}  // namespace qx
