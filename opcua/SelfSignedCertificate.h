#pragma once
// A new application instance certificate that signs itself, for a server
// that has none yet.

#include <string>

namespace opcua {

// Makes an RSA 2048 key and a SHA-256 certificate for it, valid from an
// hour ago (for peers whose clock is a little behind) for `validYears`:
// common name `applicationName` (cut to 64 characters), `applicationUri`
// and `hostName` in the subject alternative name, key usage digital
// signature, non-repudiation, key and data encipherment and certificate
// signing, extended key usage server and client authentication. False when
// OpenSSL fails.
bool MakeSelfSignedCertificate(const std::string& applicationUri, const std::string& applicationName,
                               const std::string& hostName, int validYears, std::string& certificateDer,
                               std::string& privateKeyPem);

}  // namespace opcua
