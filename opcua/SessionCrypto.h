#pragma once
// The cryptography of opening a session, shared by the server and our
// client: the application signatures by which each side proves it holds the
// private key of its certificate, and the encrypted secret in which a user
// name token carries its password.

#include <optional>
#include <string>
#include <string_view>

#include "opcua/Crypto.h"
#include "opcua/SecurityPolicies.h"
#include "opcua/ServiceTypes.h"
#include "opcua/StatusCodes.h"

namespace opcua {

// The signature over the other side's `certificate` followed by its latest
// `nonce`, made with `key` as `policy` prescribes; nullopt when signing fails.
std::optional<SignatureData> SignApplication(const crypto::PrivateKey& key,
                                             const SecurityPolicy& policy,
                                             std::string_view certificate, std::string_view nonce);

// True when `signature` names the policy's algorithm and is `signer`'s
// signature over `certificate` followed by `nonce`.
bool VerifyApplication(const crypto::Certificate& signer, const SecurityPolicy& policy,
                       std::string_view certificate, std::string_view nonce,
                       const SignatureData& signature);

// The secret of a user name token: the length of what follows (uint32,
// little endian), the password and the server's latest nonce, encrypted for
// the server's certificate. The nonce binds the secret to one activation, so
// a captured token cannot be replayed. nullopt when encryption fails.
std::optional<std::string> EncryptUserSecret(const crypto::Certificate& serverCertificate,
                                             AsymmetricEncryption algorithm,
                                             std::string_view password,
                                             std::string_view serverNonce);

// Recovers the password from a secret made by EncryptUserSecret.
// BadIdentityTokenInvalid when the secret is longer than a password needs
// (4 KiB), does not decrypt with `key`, its length field does not fit, or it
// carries another nonce than `serverNonce`.
StatusCode DecryptUserSecret(const crypto::PrivateKey& key, AsymmetricEncryption algorithm,
                             std::string_view secret, std::string_view serverNonce,
                             std::string& password);

}  // namespace opcua
