#pragma once
// The UA TCP framing: the 8-byte chunk header, the HEL/ACK/ERR messages, and
// the security and sequence headers that precede a chunk's body.

#include <cstdint>
#include <string>
#include <string_view>

#include "opcua/Binary.h"

namespace opcua {

inline constexpr const char* kSecurityPolicyNone = "http://opcfoundation.org/UA/SecurityPolicy#None";
inline constexpr const char* kTransportProfileBinary =
    "http://opcfoundation.org/UA-Profile/Transport/uatcp-uasc-uabinary";
inline constexpr uint32_t kChunkHeaderSize = 8;
// Chunk header, channel id, token id and sequence header of a MSG/CLO chunk.
inline constexpr uint32_t kSymmetricOverhead = 24;
// Smallest buffer size either side may announce.
inline constexpr uint32_t kMinBufferSize = 8192;
// The largest message and the most chunks of one message that either side
// of this stack announces and reassembles, unless configured otherwise:
// far above any response of the services offered, far below what would
// strain memory.
inline constexpr uint32_t kDefaultMaxMessageSize = 16 * 1024 * 1024;
inline constexpr uint32_t kDefaultMaxChunkCount = 1024;

enum class MessageType : uint8_t { Hello, Acknowledge, Error, ReverseHello, Open, Message, Close, Unknown };

struct Chunk {
  MessageType type = MessageType::Unknown;
  char chunkType = 'F';  // 'F' final, 'C' continued, 'A' abort
  std::string_view payload;  // everything after the 8-byte header
};

// Outcome of looking for a complete chunk at the start of a buffer.
enum class ChunkScan { Incomplete, Complete, Invalid, TooLarge };

// Looks for one complete chunk at the start of `buffer`; on Complete, `size`
// is its whole length and `chunk` points into `buffer`.
ChunkScan ScanChunk(std::string_view buffer, uint32_t maxChunkSize, Chunk& chunk, uint32_t& size);

// What is wrong with a chunk header that ScanChunk found Invalid: its
// message type, its chunk type or its size, named with the value found.
std::string DescribeChunkHeader(std::string_view header);

// Builds a whole chunk: header with the right size, then `payload`.
std::string FrameChunk(MessageType type, char chunkType, std::string_view payload);

struct HelloMessage {
  uint32_t protocolVersion = 0;
  uint32_t receiveBufferSize = 65536;
  uint32_t sendBufferSize = 65536;
  uint32_t maxMessageSize = 0;
  uint32_t maxChunkCount = 0;
  std::string endpointUrl;
  QX_UA_FIELDS(protocolVersion, receiveBufferSize, sendBufferSize, maxMessageSize, maxChunkCount,
               endpointUrl)
};

struct AcknowledgeMessage {
  uint32_t protocolVersion = 0;
  uint32_t receiveBufferSize = 65536;
  uint32_t sendBufferSize = 65536;
  uint32_t maxMessageSize = 0;
  uint32_t maxChunkCount = 0;
  QX_UA_FIELDS(protocolVersion, receiveBufferSize, sendBufferSize, maxMessageSize, maxChunkCount)
};

struct ErrorMessage {
  StatusCode error;
  std::string reason;
  QX_UA_FIELDS(error, reason)
};

struct AsymmetricSecurityHeader {
  std::string securityPolicyUri;
  ByteString senderCertificate;
  ByteString receiverCertificateThumbprint;
  QX_UA_FIELDS(securityPolicyUri, senderCertificate, receiverCertificateThumbprint)
};

struct SequenceHeader {
  uint32_t sequenceNumber = 0;
  uint32_t requestId = 0;
  QX_UA_FIELDS(sequenceNumber, requestId)
};

// An ERR chunk carrying `code` and `reason`.
std::string BuildErrorChunk(StatusCode code, const std::string& reason);

}  // namespace opcua
