#pragma once
// The cryptographic operations of secured channels and sessions, over
// OpenSSL 3: keys and certificates, RSA signatures and encryption as the
// policies use them, HMAC-SHA256, the P_SHA256 key derivation and AES-CBC.
// Byte strings are std::string; nothing here knows of channels or messages.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "opcua/SecurityPolicies.h"

namespace opcua::crypto {

// An RSA private key.
class PrivateKey {
 public:
  // nullptr when `pem` holds no usable RSA private key.
  static std::unique_ptr<PrivateKey> FromPem(std::string_view pem);
  ~PrivateKey();
  size_t Bits() const;
  struct Impl;
  const Impl& impl() const { return *impl_; }

 private:
  explicit PrivateKey(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// An X.509 certificate with an RSA public key.
class Certificate {
 public:
  // nullptr when `der` is not one DER certificate with an RSA key.
  static std::unique_ptr<Certificate> FromDer(std::string_view der);
  ~Certificate();
  const std::string& Der() const { return der_; }
  std::string Thumbprint() const;  // SHA-1 of the DER, 20 bytes
  size_t KeyBits() const;
  struct Impl;
  const Impl& impl() const { return *impl_; }

 private:
  Certificate(std::string der, std::unique_ptr<Impl> impl);
  std::string der_;
  std::unique_ptr<Impl> impl_;
};

// A peer may send its certificate followed by the certificates that issued
// it, each a DER SEQUENCE with nothing between or after them. Splits such
// bytes into the certificates (the leaf first), unparsed; empty when the
// bytes are not such a sequence or hold more than kMaxChainCertificates.
inline constexpr size_t kMaxChainCertificates = 8;
std::vector<std::string_view> SplitCertificateChain(std::string_view der);
// The first certificate of a chain, its leaf; empty when `der` does not split.
std::string_view LeafCertificate(std::string_view der);

// Cryptographically strong random bytes.
std::string RandomBytes(size_t n);

// Equal contents, in time independent of where they differ.
bool ConstantTimeEqual(std::string_view a, std::string_view b);

// RSA signatures (PKCS#1 v1.5 or PSS, SHA-256). Sign returns nullopt on an
// OpenSSL failure; a signature is as long as the key's modulus.
std::optional<std::string> Sign(const PrivateKey& key, AsymmetricSignature alg,
                                std::string_view data);
bool Verify(const Certificate& cert, AsymmetricSignature alg, std::string_view data,
            std::string_view signature);

// RSA-OAEP in blocks: a plain block holds at most PlainBlockSize bytes and
// becomes a cipher block of the modulus' length. Encrypt takes any length
// and splits it; Decrypt needs whole cipher blocks. nullopt on failure
// (a wrong key, bad padding, a partial block).
size_t PlainBlockSize(size_t keyBits, AsymmetricEncryption alg);
size_t CipherBlockSize(size_t keyBits);
std::optional<std::string> Encrypt(const Certificate& cert, AsymmetricEncryption alg,
                                   std::string_view plain);
std::optional<std::string> Decrypt(const PrivateKey& key, AsymmetricEncryption alg,
                                   std::string_view cipher);

std::string HmacSha256(std::string_view key, std::string_view data);
// P_SHA256(secret, seed) of RFC 5246, `length` bytes.
std::string PSha256(std::string_view secret, std::string_view seed, size_t length);

// AES-CBC without padding (the channel pads itself): `data` must be whole
// blocks, `key` 16 or 32 bytes, `iv` 16 bytes. nullopt otherwise.
std::optional<std::string> AesCbcEncrypt(std::string_view key, std::string_view iv,
                                         std::string_view data);
std::optional<std::string> AesCbcDecrypt(std::string_view key, std::string_view iv,
                                         std::string_view data);

// The keys one side of a channel signs and encrypts with: derived with
// P_SHA256 from the other side's nonce (secret) and its own (seed).
struct SymmetricKeys {
  std::string signingKey;
  std::string encryptingKey;
  std::string iv;
};
SymmetricKeys DeriveKeys(const SecurityPolicy& policy, std::string_view secret,
                         std::string_view seed);

}  // namespace opcua::crypto
