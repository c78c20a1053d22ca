#pragma once
// The secured policies the stack speaks, as a table of their algorithms and
// sizes, so that the channel and the session code never branch on a policy's
// name.

#include <cstddef>
#include <string_view>

namespace opcua {

inline constexpr const char* kSecurityPolicyBasic256Sha256 =
    "http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256";
inline constexpr const char* kSecurityPolicyAes128Sha256RsaOaep =
    "http://opcfoundation.org/UA/SecurityPolicy#Aes128_Sha256_RsaOaep";
inline constexpr const char* kSecurityPolicyAes256Sha256RsaPss =
    "http://opcfoundation.org/UA/SecurityPolicy#Aes256_Sha256_RsaPss";

enum class AsymmetricSignature { RsaPkcs15Sha256, RsaPssSha256 };
enum class AsymmetricEncryption { RsaOaepSha1, RsaOaepSha256 };

struct SecurityPolicy {
  std::string_view uri;
  AsymmetricSignature asymmetricSignature;
  AsymmetricEncryption asymmetricEncryption;
  // Algorithm URIs as SignatureData and encrypted user tokens name them.
  std::string_view asymmetricSignatureUri;
  std::string_view asymmetricEncryptionUri;
  size_t symmetricSignatureKeyLength;   // HMAC-SHA256 key, bytes
  size_t symmetricEncryptionKeyLength;  // AES-CBC key, bytes (16 or 32)
  size_t symmetricBlockSize;            // AES block, 16
  size_t symmetricSignatureSize;        // HMAC-SHA256 output, 32
  size_t nonceLength;                   // secure channel nonces, 32
  size_t minAsymmetricKeyBits;
  size_t maxAsymmetricKeyBits;
};

// The policy named `uri`, or nullptr for None and for policies not spoken.
const SecurityPolicy* FindSecurityPolicy(std::string_view uri);

}  // namespace opcua
