#include "opcua/TransportMessages.h"

#include <cstring>
#include <string>

namespace opcua {

namespace {
struct TypeName {
  MessageType type;
  const char* name;
};
constexpr TypeName kTypeNames[] = {
    {MessageType::Hello, "HEL"},   {MessageType::Acknowledge, "ACK"},
    {MessageType::Error, "ERR"},   {MessageType::ReverseHello, "RHE"},
    {MessageType::Open, "OPN"},    {MessageType::Message, "MSG"},
    {MessageType::Close, "CLO"},
};
}  // namespace

ChunkScan ScanChunk(std::string_view buffer, uint32_t maxChunkSize, Chunk& chunk, uint32_t& size) {
  if (buffer.size() < kChunkHeaderSize) return ChunkScan::Incomplete;
  chunk.type = MessageType::Unknown;
  for (const auto& t : kTypeNames)
    if (std::memcmp(buffer.data(), t.name, 3) == 0) chunk.type = t.type;
  chunk.chunkType = buffer[3];
  if (chunk.type == MessageType::Unknown) return ChunkScan::Invalid;
  if (chunk.chunkType != 'F' && chunk.chunkType != 'C' && chunk.chunkType != 'A')
    return ChunkScan::Invalid;
  std::memcpy(&size, buffer.data() + 4, 4);
  if (size < kChunkHeaderSize) return ChunkScan::Invalid;
  if (size > maxChunkSize) return ChunkScan::TooLarge;
  if (buffer.size() < size) return ChunkScan::Incomplete;
  chunk.payload = buffer.substr(kChunkHeaderSize, size - kChunkHeaderSize);
  return ChunkScan::Complete;
}

std::string DescribeChunkHeader(std::string_view header) {
  if (header.size() < kChunkHeaderSize)
    return "chunk header of " + std::to_string(header.size()) + " bytes, not " +
           std::to_string(kChunkHeaderSize);
  // Printable bytes as they are, others as their code.
  auto shown = [](char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x7f ? std::string(1, c) : "\\x" + std::to_string(u);
  };
  std::string type;
  for (int i = 0; i < 3; ++i) type += shown(header[i]);
  bool known = false;
  for (const auto& t : kTypeNames) known = known || std::memcmp(header.data(), t.name, 3) == 0;
  if (!known) return "unknown message type '" + type + "'";
  if (header[3] != 'F' && header[3] != 'C' && header[3] != 'A')
    return "unknown chunk type '" + shown(header[3]) + "' of a " + type + " chunk";
  uint32_t size = 0;
  std::memcpy(&size, header.data() + 4, 4);
  if (size < kChunkHeaderSize)
    return type + " chunk of size " + std::to_string(size) + ", smaller than its own " +
           std::to_string(kChunkHeaderSize) + "-byte header";
  return "valid " + type + " chunk header";
}

std::string FrameChunk(MessageType type, char chunkType, std::string_view payload) {
  std::string out;
  out.reserve(kChunkHeaderSize + payload.size());
  for (const auto& t : kTypeNames)
    if (t.type == type) out.append(t.name, 3);
  out.push_back(chunkType);
  Writer w(out);
  w.Put(static_cast<uint32_t>(kChunkHeaderSize + payload.size()));
  out.append(payload);
  return out;
}

std::string BuildErrorChunk(StatusCode code, const std::string& reason) {
  return FrameChunk(MessageType::Error, 'F', Encode(ErrorMessage{code, reason}));
}

}  // namespace opcua
