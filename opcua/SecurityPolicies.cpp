#include "opcua/SecurityPolicies.h"

namespace opcua {
namespace {

constexpr std::string_view kRsaSha256 = "http://www.w3.org/2001/04/xmldsig-more#rsa-sha256";
constexpr std::string_view kRsaPssSha256 = "http://opcfoundation.org/UA/security/rsa-pss-sha2-256";
constexpr std::string_view kRsaOaep = "http://www.w3.org/2001/04/xmlenc#rsa-oaep";
constexpr std::string_view kRsaOaepSha256 = "http://opcfoundation.org/UA/security/rsa-oaep-sha2-256";

constexpr SecurityPolicy kPolicies[] = {
    {kSecurityPolicyBasic256Sha256, AsymmetricSignature::RsaPkcs15Sha256,
     AsymmetricEncryption::RsaOaepSha1, kRsaSha256, kRsaOaep, 32, 32, 16, 32, 32, 2048, 4096},
    {kSecurityPolicyAes128Sha256RsaOaep, AsymmetricSignature::RsaPkcs15Sha256,
     AsymmetricEncryption::RsaOaepSha1, kRsaSha256, kRsaOaep, 32, 16, 16, 32, 32, 2048, 4096},
    {kSecurityPolicyAes256Sha256RsaPss, AsymmetricSignature::RsaPssSha256,
     AsymmetricEncryption::RsaOaepSha256, kRsaPssSha256, kRsaOaepSha256, 32, 32, 16, 32, 32, 2048,
     4096},
};

}  // namespace

const SecurityPolicy* FindSecurityPolicy(std::string_view uri) {
  for (const SecurityPolicy& p : kPolicies)
    if (p.uri == uri) return &p;
  return nullptr;
}

}  // namespace opcua
