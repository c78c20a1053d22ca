#include "opcua/SessionCrypto.h"

#include <cstdint>

namespace opcua {

namespace {

// A password needs one or two cipher blocks; a longer secret would only make
// the server spend an RSA decryption per block on a client's behalf.
constexpr size_t kMaxUserSecretBytes = 4096;

std::string Concat(std::string_view a, std::string_view b) {
  std::string out;
  out.reserve(a.size() + b.size());
  out.append(a).append(b);
  return out;
}

}  // namespace

std::optional<SignatureData> SignApplication(const crypto::PrivateKey& key,
                                             const SecurityPolicy& policy,
                                             std::string_view certificate, std::string_view nonce) {
  auto signature = crypto::Sign(key, policy.asymmetricSignature, Concat(certificate, nonce));
  if (!signature) return std::nullopt;
  SignatureData out;
  out.algorithm = std::string(policy.asymmetricSignatureUri);
  out.signature = ByteString(std::move(*signature));
  return out;
}

bool VerifyApplication(const crypto::Certificate& signer, const SecurityPolicy& policy,
                       std::string_view certificate, std::string_view nonce,
                       const SignatureData& signature) {
  return signature.algorithm == policy.asymmetricSignatureUri &&
         crypto::Verify(signer, policy.asymmetricSignature, Concat(certificate, nonce),
                        signature.signature.data);
}

std::optional<std::string> EncryptUserSecret(const crypto::Certificate& serverCertificate,
                                             AsymmetricEncryption algorithm,
                                             std::string_view password,
                                             std::string_view serverNonce) {
  uint64_t length = uint64_t{password.size()} + serverNonce.size();
  if (length > UINT32_MAX) return std::nullopt;
  std::string plain;
  plain.reserve(4 + length);
  for (int shift = 0; shift < 32; shift += 8)
    plain.push_back(static_cast<char>((length >> shift) & 0xFF));
  plain.append(password).append(serverNonce);
  return crypto::Encrypt(serverCertificate, algorithm, plain);
}

StatusCode DecryptUserSecret(const crypto::PrivateKey& key, AsymmetricEncryption algorithm,
                             std::string_view secret, std::string_view serverNonce,
                             std::string& password) {
  if (secret.size() > kMaxUserSecretBytes) return status::BadIdentityTokenInvalid;
  auto plain = crypto::Decrypt(key, algorithm, secret);
  if (!plain || plain->size() < 4) return status::BadIdentityTokenInvalid;
  uint64_t length = 0;
  for (int i = 0; i < 4; ++i)
    length |= uint64_t{static_cast<unsigned char>((*plain)[i])} << (8 * i);
  // Padding may follow what the length covers; the nonce ends the covered part.
  if (length > plain->size() - 4 || length < serverNonce.size())
    return status::BadIdentityTokenInvalid;
  std::string_view covered = std::string_view(*plain).substr(4, length);
  std::string_view nonce = covered.substr(covered.size() - serverNonce.size());
  if (serverNonce.empty() || !crypto::ConstantTimeEqual(nonce, serverNonce))
    return status::BadIdentityTokenInvalid;
  password.assign(covered.substr(0, covered.size() - serverNonce.size()));
  return status::Good;
}

}  // namespace opcua
