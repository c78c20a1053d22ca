#include "opcua/TransportMessages.h"

#include <cstring>

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
