#include "opcua/SelfSignedCertificate.h"

#include <openssl/bn.h>
#include <openssl/pem.h>

#include "opcua/OpenSslPointers.h"

namespace opcua {
namespace {

using namespace ossl;

// Adds a subject alternative name of `type` (GEN_URI or GEN_DNS).
bool AddName(GENERAL_NAMES* names, int type, const std::string& value) {
  ASN1_IA5STRING* text = ASN1_IA5STRING_new();
  GENERAL_NAME* name = GENERAL_NAME_new();
  if (!text || !name || !ASN1_STRING_set(text, value.data(), static_cast<int>(value.size()))) {
    ASN1_IA5STRING_free(text);
    GENERAL_NAME_free(name);
    return false;
  }
  GENERAL_NAME_set0_value(name, type, text);
  sk_GENERAL_NAME_push(names, name);
  return true;
}

bool AddExtension(X509* cert, X509V3_CTX* ctx, int nid, const char* value) {
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, ctx, nid, value);
  const bool added = extension && X509_add_ext(cert, extension, -1);
  X509_EXTENSION_free(extension);
  return added;
}

// A self-signed application instance certificate for `key`.
X509Ptr MakeSelfSigned(EVP_PKEY* key, const std::string& applicationUri, const std::string& applicationName,
                       const std::string& hostName, int validYears) {
  X509Ptr cert(X509_new());
  if (!cert || !X509_set_version(cert.get(), X509_VERSION_3)) return nullptr;
  // A random positive 64-bit serial number.
  BignumPtr serial(BN_new());
  if (!serial || !BN_rand(serial.get(), 64, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) ||
      !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get())))
    return nullptr;
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_time_adj_ex(X509_getm_notAfter(cert.get()), 365 * validYears, 0, nullptr);
  X509_NAME* subject = X509_get_subject_name(cert.get());
  const std::string commonName = applicationName.substr(0, 64);
  X509_NAME_add_entry_by_NID(subject, NID_commonName, MBSTRING_UTF8,
                             reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
  if (!hostName.empty())
    X509_NAME_add_entry_by_NID(subject, NID_domainComponent, MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(hostName.c_str()), -1, -1, 0);
  if (!X509_set_issuer_name(cert.get(), subject) || !X509_set_pubkey(cert.get(), key)) return nullptr;

  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
  NamesPtr names(sk_GENERAL_NAME_new_null());
  if (!names || !AddName(names.get(), GEN_URI, applicationUri) ||
      (!hostName.empty() && !AddName(names.get(), GEN_DNS, hostName)) ||
      !X509_add1_ext_i2d(cert.get(), NID_subject_alt_name, names.get(), 0, X509V3_ADD_DEFAULT) ||
      !AddExtension(cert.get(), &ctx, NID_basic_constraints, "critical,CA:FALSE") ||
      !AddExtension(
          cert.get(), &ctx, NID_key_usage,
          "critical,digitalSignature,nonRepudiation,keyEncipherment,dataEncipherment,keyCertSign") ||
      !AddExtension(cert.get(), &ctx, NID_ext_key_usage, "serverAuth,clientAuth") ||
      !AddExtension(cert.get(), &ctx, NID_subject_key_identifier, "hash") ||
      !AddExtension(cert.get(), &ctx, NID_authority_key_identifier, "keyid:always"))
    return nullptr;
  if (X509_sign(cert.get(), key, EVP_sha256()) <= 0) return nullptr;
  return cert;
}

std::string DerOf(X509* cert) {
  unsigned char* bytes = nullptr;
  const int length = i2d_X509(cert, &bytes);
  if (length <= 0) return {};
  std::string der(reinterpret_cast<char*>(bytes), static_cast<size_t>(length));
  OPENSSL_free(bytes);
  return der;
}

std::string PemOf(EVP_PKEY* key) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || !PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr)) return {};
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(length));
}

}  // namespace

bool MakeSelfSignedCertificate(const std::string& applicationUri, const std::string& applicationName,
                               const std::string& hostName, int validYears, std::string& certificateDer,
                               std::string& privateKeyPem) {
  KeyPtr key(EVP_RSA_gen(2048));
  X509Ptr cert =
      key ? MakeSelfSigned(key.get(), applicationUri, applicationName, hostName, validYears) : nullptr;
  if (!cert) return false;
  certificateDer = DerOf(cert.get());
  privateKeyPem = PemOf(key.get());
  return !certificateDer.empty() && !privateKeyPem.empty();
}

}  // namespace opcua
