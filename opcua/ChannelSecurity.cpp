#include "opcua/ChannelSecurity.h"

#include <cstring>

namespace opcua {
namespace {

// The header of a chunk of `totalSize` bytes.
std::string ChunkHeader(MessageType type, char chunkType, size_t totalSize) {
  std::string header = FrameChunk(type, chunkType, {});
  uint32_t size = static_cast<uint32_t>(totalSize);
  std::memcpy(header.data() + 4, &size, 4);
  return header;
}

// Pads `region` (the part to be encrypted, so far) so that it and a
// signature of `signatureSize` bytes fill whole blocks of `block` bytes:
// the padding size byte, that many padding bytes of the same value, and
// with `extraByte` (RSA keys above 2048 bits) the upper byte of the size.
void AppendPadding(std::string& region, size_t signatureSize, size_t block, bool extraByte) {
  size_t used = region.size() + 1 + (extraByte ? 1 : 0) + signatureSize;
  size_t padding = (block - used % block) % block;
  char low = static_cast<char>(padding & 0xff);
  region.push_back(low);
  region.append(padding, low);
  if (extraByte) region.push_back(static_cast<char>(padding >> 8));
}

// Removes the padding that AppendPadding added from the end of `region`
// (the signature already taken off); false when it is malformed. The
// sequence header before it must stay whole.
bool StripPadding(std::string& region, bool extraByte) {
  size_t fixed = extraByte ? 2 : 1;
  if (region.size() < kSequenceHeaderSize + fixed) return false;
  auto low = static_cast<unsigned char>(region[region.size() - fixed]);
  size_t padding = low;
  if (extraByte) padding |= size_t{static_cast<unsigned char>(region.back())} << 8;
  size_t total = padding + fixed;
  if (total > region.size() - kSequenceHeaderSize) return false;
  // The size byte and every padding byte carry the low byte of the size.
  size_t start = region.size() - total;
  for (size_t i = start; i < start + padding + 1; ++i)
    if (static_cast<unsigned char>(region[i]) != low) return false;
  region.erase(start);
  return true;
}

std::string SequenceAndBody(const SequenceHeader& sequence, std::string_view body) {
  std::string region;
  region.reserve(kSequenceHeaderSize + body.size() + 64);
  Writer w(region);
  w.Put(sequence);
  region.append(body);
  return region;
}

}  // namespace

bool SequenceCheck::Accept(uint32_t sequenceNumber) {
  if (known_ && sequenceNumber != expected_) {
    bool wrapped = expected_ > 4294966271u && sequenceNumber < 1024;
    if (!wrapped) return false;
  }
  known_ = true;
  expected_ = sequenceNumber + 1;
  return true;
}

size_t MaxSymmetricBody(const SymmetricProtection& p, size_t chunkSize) {
  size_t fixed = kSymmetricSecurityHeaderEnd + kSequenceHeaderSize;
  if (!p.Signs()) return chunkSize > fixed ? chunkSize - fixed : 0;
  size_t signature = p.policy->symmetricSignatureSize;
  if (!p.Encrypts()) return chunkSize > fixed + signature ? chunkSize - fixed - signature : 0;
  // The encrypted part is whole blocks and holds at least the padding size byte.
  size_t block = p.policy->symmetricBlockSize;
  size_t encrypted = (chunkSize - kSymmetricSecurityHeaderEnd) / block * block;
  size_t overhead = kSequenceHeaderSize + 1 + signature;
  return encrypted > overhead ? encrypted - overhead : 0;
}

std::string SecureChunk(MessageType type, char chunkType, uint32_t channelId, uint32_t tokenId,
                        const SequenceHeader& sequence, std::string_view body,
                        const SymmetricProtection& p) {
  if (!p.Signs()) {
    // Nothing to pad or sign: the body is copied once, straight into place.
    std::string out = ChunkHeader(type, chunkType,
                                  kSymmetricSecurityHeaderEnd + kSequenceHeaderSize + body.size());
    Writer w(out);
    w.Put(channelId);
    w.Put(tokenId);
    w.Put(sequence);
    out.append(body);
    return out;
  }
  std::string region = SequenceAndBody(sequence, body);
  size_t signatureSize = p.Signs() ? p.policy->symmetricSignatureSize : 0;
  if (p.Encrypts()) AppendPadding(region, signatureSize, p.policy->symmetricBlockSize, false);
  std::string out =
      ChunkHeader(type, chunkType, kSymmetricSecurityHeaderEnd + region.size() + signatureSize);
  Writer w(out);
  w.Put(channelId);
  w.Put(tokenId);
  out.append(region);
  if (!p.Signs()) return out;
  out.append(crypto::HmacSha256(p.keys.signingKey, out));
  if (!p.Encrypts()) return out;
  // Derived keys always have the policy's sizes and the region is whole
  // blocks, so AES cannot refuse them.
  std::string encrypted =
      *crypto::AesCbcEncrypt(p.keys.encryptingKey, p.keys.iv,
                             std::string_view(out).substr(kSymmetricSecurityHeaderEnd));
  out.replace(kSymmetricSecurityHeaderEnd, std::string::npos, encrypted);
  return out;
}

StatusCode OpenChunk(std::string_view chunk, const SymmetricProtection& p, std::string& plain) {
  if (chunk.size() < kSymmetricSecurityHeaderEnd) return status::BadSecurityChecksFailed;
  std::string_view region = chunk.substr(kSymmetricSecurityHeaderEnd);
  if (!p.Signs()) {
    plain.assign(region);
    return status::Good;
  }
  std::string signedPart(chunk.substr(0, kSymmetricSecurityHeaderEnd));
  if (p.Encrypts()) {
    size_t block = p.policy->symmetricBlockSize;
    if (region.empty() || region.size() % block != 0) return status::BadSecurityChecksFailed;
    std::optional<std::string> decrypted =
        crypto::AesCbcDecrypt(p.keys.encryptingKey, p.keys.iv, region);
    if (!decrypted) return status::BadSecurityChecksFailed;
    signedPart += *decrypted;
  } else {
    signedPart.append(region);
  }
  size_t signatureSize = p.policy->symmetricSignatureSize;
  if (signedPart.size() < kSymmetricSecurityHeaderEnd + kSequenceHeaderSize + signatureSize)
    return status::BadSecurityChecksFailed;
  size_t signedEnd = signedPart.size() - signatureSize;
  std::string expected =
      crypto::HmacSha256(p.keys.signingKey, std::string_view(signedPart).substr(0, signedEnd));
  if (!crypto::ConstantTimeEqual(expected, std::string_view(signedPart).substr(signedEnd)))
    return status::BadSecurityChecksFailed;
  plain.assign(signedPart, kSymmetricSecurityHeaderEnd, signedEnd - kSymmetricSecurityHeaderEnd);
  if (p.Encrypts() && !StripPadding(plain, false)) return status::BadSecurityChecksFailed;
  return status::Good;
}

std::optional<std::string> SecureOpenChunk(uint32_t channelId, const SequenceHeader& sequence,
                                           std::string_view body, const AsymmetricProtection& p) {
  std::string header;
  Writer hw(header);
  hw.Put(channelId);
  hw.Put(AsymmetricSecurityHeader{std::string(p.policy->uri),
                                  ByteString(p.ownCertificate->Der()),
                                  ByteString(p.peerCertificate->Thumbprint())});
  size_t signatureSize = crypto::CipherBlockSize(p.ownKey->Bits());
  size_t peerBits = p.peerCertificate->KeyBits();
  size_t plainBlock = crypto::PlainBlockSize(peerBits, p.policy->asymmetricEncryption);
  size_t cipherBlock = crypto::CipherBlockSize(peerBits);
  if (plainBlock == 0) return std::nullopt;
  std::string region = SequenceAndBody(sequence, body);
  AppendPadding(region, signatureSize, plainBlock, cipherBlock > 256);
  size_t encryptedSize = (region.size() + signatureSize) / plainBlock * cipherBlock;
  std::string out =
      ChunkHeader(MessageType::Open, 'F', kChunkHeaderSize + header.size() + encryptedSize);
  out += header;
  out += region;
  std::optional<std::string> signature =
      crypto::Sign(*p.ownKey, p.policy->asymmetricSignature, out);
  if (!signature || signature->size() != signatureSize) return std::nullopt;
  region += *signature;
  std::optional<std::string> encrypted =
      crypto::Encrypt(*p.peerCertificate, p.policy->asymmetricEncryption, region);
  if (!encrypted || encrypted->size() != encryptedSize) return std::nullopt;
  out.resize(kChunkHeaderSize + header.size());
  out += *encrypted;
  return out;
}

StatusCode OpenOpenChunk(std::string_view chunk, size_t headerEnd, const AsymmetricProtection& p,
                         std::string& plain) {
  if (headerEnd > chunk.size()) return status::BadSecurityChecksFailed;
  std::string_view region = chunk.substr(headerEnd);
  size_t cipherBlock = crypto::CipherBlockSize(p.ownKey->Bits());
  if (region.empty() || cipherBlock == 0 || region.size() % cipherBlock != 0)
    return status::BadSecurityChecksFailed;
  std::optional<std::string> decrypted =
      crypto::Decrypt(*p.ownKey, p.policy->asymmetricEncryption, region);
  if (!decrypted) return status::BadSecurityChecksFailed;
  size_t signatureSize = crypto::CipherBlockSize(p.peerCertificate->KeyBits());
  if (decrypted->size() < kSequenceHeaderSize + 1 + signatureSize)
    return status::BadSecurityChecksFailed;
  size_t signedEnd = decrypted->size() - signatureSize;
  std::string signedPart(chunk.substr(0, headerEnd));
  signedPart.append(*decrypted, 0, signedEnd);
  if (!crypto::Verify(*p.peerCertificate, p.policy->asymmetricSignature, signedPart,
                      std::string_view(*decrypted).substr(signedEnd)))
    return status::BadSecurityChecksFailed;
  decrypted->resize(signedEnd);
  if (!StripPadding(*decrypted, cipherBlock > 256)) return status::BadSecurityChecksFailed;
  plain = std::move(*decrypted);
  return status::Good;
}

}  // namespace opcua
