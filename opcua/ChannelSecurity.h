#pragma once
// The protection of secure channel chunks, shared by the server's and the
// client's channel: padding, signing and encrypting a chunk on the way out,
// and decrypting, checking the signature and the padding on the way in.
// Pure functions over byte buffers; the channels decide which keys apply.
//
// A MSG or CLO chunk is protected with the symmetric keys of the channel's
// current token (HMAC-SHA256, AES-CBC); an OPN chunk with the RSA keys of
// the two certificates. The part after the security header (sequence
// header, body, padding, signature) is what gets encrypted; the signature
// covers the whole chunk before it, headers included.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "opcua/Crypto.h"
#include "opcua/SecurityPolicies.h"
#include "opcua/ServiceTypes.h"
#include "opcua/StatusCodes.h"
#include "opcua/TransportMessages.h"

namespace opcua {

// Channel id and token id that precede the sequence header of MSG/CLO.
inline constexpr size_t kSymmetricSecurityHeaderEnd = kChunkHeaderSize + 8;
inline constexpr size_t kSequenceHeaderSize = 8;

// How one direction of an open channel protects its MSG and CLO chunks.
struct SymmetricProtection {
  const SecurityPolicy* policy = nullptr;  // nullptr: SecurityPolicy None
  MessageSecurityMode mode = MessageSecurityMode::None;
  crypto::SymmetricKeys keys;
  bool Signs() const { return policy && mode != MessageSecurityMode::None; }
  bool Encrypts() const { return policy && mode == MessageSecurityMode::SignAndEncrypt; }
};

// The largest body one MSG chunk of at most `chunkSize` bytes can carry
// after its headers, padding and signature; 0 when none fits.
size_t MaxSymmetricBody(const SymmetricProtection& p, size_t chunkSize);

// A whole MSG or CLO chunk: header, `channelId`, `tokenId`, `sequence` and
// `body`, padded, signed and encrypted as `p` requires.
std::string SecureChunk(MessageType type, char chunkType, uint32_t channelId, uint32_t tokenId,
                        const SequenceHeader& sequence, std::string_view body,
                        const SymmetricProtection& p);

// Undoes SecureChunk on a received whole chunk (its 8-byte header
// included): decrypts, checks the signature in constant time before
// anything else is looked at, then the padding. `plain` gets the sequence
// header and the body. BadSecurityChecksFailed when any check fails.
StatusCode OpenChunk(std::string_view chunk, const SymmetricProtection& p, std::string& plain);

// The RSA keys of an OPN exchange, seen from one side.
struct AsymmetricProtection {
  const SecurityPolicy* policy = nullptr;
  const crypto::PrivateKey* ownKey = nullptr;           // signs outgoing, decrypts incoming
  const crypto::Certificate* ownCertificate = nullptr;  // sent as the sender certificate
  const crypto::Certificate* peerCertificate = nullptr;  // encrypts outgoing, verifies incoming
};

// A whole OPN chunk with the asymmetric security header (policy, our
// certificate, the thumbprint of the peer's), signed with our key and
// encrypted with the peer's certificate. nullopt on an OpenSSL failure.
std::optional<std::string> SecureOpenChunk(uint32_t channelId, const SequenceHeader& sequence,
                                           std::string_view body, const AsymmetricProtection& p);

// Undoes SecureOpenChunk on a received whole OPN chunk whose first
// `headerEnd` bytes (chunk header, channel id, asymmetric security header)
// are in clear: decrypts with our key, checks the signature with the peer's
// certificate, then the padding. `plain` gets the sequence header and body.
StatusCode OpenOpenChunk(std::string_view chunk, size_t headerEnd, const AsymmetricProtection& p,
                         std::string& plain);

// The sequence numbers a channel receives: each must follow the one before,
// except that after 4294966271 the sender may wrap around to any number
// below 1024. The first one received sets the start.
class SequenceCheck {
 public:
  bool Accept(uint32_t sequenceNumber);

 private:
  uint32_t expected_ = 0;
  bool known_ = false;
};

// The whole chunk a ScanChunk result points into.
inline std::string_view WholeChunk(const Chunk& chunk) {
  return std::string_view(chunk.payload.data() - kChunkHeaderSize,
                          chunk.payload.size() + kChunkHeaderSize);
}

}  // namespace opcua
