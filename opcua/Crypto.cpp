#include "opcua/Crypto.h"

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>
#include <openssl/x509.h>

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "opcua/OpenSslPointers.h"

namespace opcua::crypto {
namespace {

using namespace ossl;

const unsigned char* Bytes(std::string_view s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}
unsigned char* Bytes(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }

// OpenSSL keeps failures on a per-thread queue; a failed check of hostile
// input must not leave entries behind for the next unrelated call to find.
void ClearErrors() { ERR_clear_error(); }

bool IsRsa(const EVP_PKEY* key) { return EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA; }

// The padding and hash settings of the policy's signature on a context that
// EVP_DigestSignInit / EVP_DigestVerifyInit set up. PSS uses SHA-256 for the
// MGF1 as well; we sign with a salt as long as the digest, and accept any salt
// length from peers, since some stacks sign with the longest salt that fits.
bool ConfigureSignature(EVP_PKEY_CTX* ctx, AsymmetricSignature alg, bool signing) {
  if (alg == AsymmetricSignature::RsaPkcs15Sha256)
    return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0;
  return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PSS_PADDING) > 0 &&
         EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx, signing ? RSA_PSS_SALTLEN_DIGEST
                                                       : RSA_PSS_SALTLEN_AUTO) > 0 &&
         EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EVP_sha256()) > 0;
}

bool ConfigureOaep(EVP_PKEY_CTX* ctx, AsymmetricEncryption alg) {
  const EVP_MD* md = alg == AsymmetricEncryption::RsaOaepSha1 ? EVP_sha1() : EVP_sha256();
  return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING) > 0 &&
         EVP_PKEY_CTX_set_rsa_oaep_md(ctx, md) > 0 && EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, md) > 0;
}

std::optional<std::string> AesCbc(std::string_view key, std::string_view iv,
                                  std::string_view data, bool encrypt) {
  const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_cbc()
                             : key.size() == 32 ? EVP_aes_256_cbc()
                                                : nullptr;
  if (!cipher || iv.size() != 16 || data.size() % 16 != 0) return std::nullopt;
  CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return std::nullopt;
  std::string out(data.size(), '\0');
  int len = 0;
  bool ok = EVP_CipherInit_ex(ctx.get(), cipher, nullptr, Bytes(key), Bytes(iv), encrypt ? 1 : 0) >
                0 &&
            EVP_CIPHER_CTX_set_padding(ctx.get(), 0) > 0 &&
            EVP_CipherUpdate(ctx.get(), Bytes(out), &len, Bytes(data),
                             static_cast<int>(data.size())) > 0;
  int tail = 0;
  ok = ok && EVP_CipherFinal_ex(ctx.get(), Bytes(out) + len, &tail) > 0;
  if (!ok || static_cast<size_t>(len + tail) != data.size()) {
    ClearErrors();
    return std::nullopt;
  }
  return out;
}

}  // namespace

struct PrivateKey::Impl {
  KeyPtr key;
};

struct Certificate::Impl {
  KeyPtr publicKey;
};

PrivateKey::PrivateKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PrivateKey::~PrivateKey() = default;

std::unique_ptr<PrivateKey> PrivateKey::FromPem(std::string_view pem) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) return nullptr;
  KeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  ClearErrors();
  if (!key || !IsRsa(key.get())) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->key = std::move(key);
  return std::unique_ptr<PrivateKey>(new PrivateKey(std::move(impl)));
}

size_t PrivateKey::Bits() const { return static_cast<size_t>(EVP_PKEY_get_bits(impl_->key.get())); }

Certificate::Certificate(std::string der, std::unique_ptr<Impl> impl)
    : der_(std::move(der)), impl_(std::move(impl)) {}
Certificate::~Certificate() = default;

std::unique_ptr<Certificate> Certificate::FromDer(std::string_view der) {
  const unsigned char* p = Bytes(der);
  X509Ptr x509(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
  // Trailing bytes after the certificate mean the buffer is not one certificate.
  if (!x509 || p != Bytes(der) + der.size()) {
    ClearErrors();
    return nullptr;
  }
  KeyPtr key(X509_get_pubkey(x509.get()));
  ClearErrors();
  if (!key || !IsRsa(key.get())) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->publicKey = std::move(key);
  return std::unique_ptr<Certificate>(new Certificate(std::string(der), std::move(impl)));
}

std::string Certificate::Thumbprint() const {
  std::string digest(SHA_DIGEST_LENGTH, '\0');
  SHA1(Bytes(der_), der_.size(), Bytes(digest));
  return digest;
}

size_t Certificate::KeyBits() const {
  return static_cast<size_t>(EVP_PKEY_get_bits(impl_->publicKey.get()));
}

std::string RandomBytes(size_t n) {
  // The kernel's generator, not OpenSSL's: a session without channel
  // security needs nonces and tokens, and OpenSSL's generator would load its
  // providers for them, some 2 MiB of library pages a server without
  // security never needs otherwise.
  std::string out(n, '\0');
  for (size_t got = 0; got < n;) {
    ssize_t r = getrandom(out.data() + got, n - got, 0);
    if (r > 0) {
      got += static_cast<size_t>(r);
    } else if (r < 0 && errno != EINTR) {
      throw std::runtime_error("RandomBytes: getrandom failed to give " + std::to_string(n) +
                               " bytes: " + std::strerror(errno));
    }
  }
  return out;
}

bool ConstantTimeEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  return a.empty() || CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::optional<std::string> Sign(const PrivateKey& key, AsymmetricSignature alg,
                                std::string_view data) {
  MdCtxPtr ctx(EVP_MD_CTX_new());
  EVP_PKEY_CTX* pctx = nullptr;
  if (!ctx ||
      EVP_DigestSignInit(ctx.get(), &pctx, EVP_sha256(), nullptr, key.impl().key.get()) <= 0 ||
      !ConfigureSignature(pctx, alg, true)) {
    ClearErrors();
    return std::nullopt;
  }
  size_t len = 0;
  if (EVP_DigestSign(ctx.get(), nullptr, &len, Bytes(data), data.size()) <= 0) {
    ClearErrors();
    return std::nullopt;
  }
  std::string sig(len, '\0');
  if (EVP_DigestSign(ctx.get(), Bytes(sig), &len, Bytes(data), data.size()) <= 0) {
    ClearErrors();
    return std::nullopt;
  }
  sig.resize(len);
  return sig;
}

bool Verify(const Certificate& cert, AsymmetricSignature alg, std::string_view data,
            std::string_view signature) {
  // OpenSSL reads a shorter signature as the same number with leading zero
  // bytes, so one cut short by a peer would still verify; a signature is
  // exactly as long as the key's modulus.
  if (signature.size() != CipherBlockSize(cert.KeyBits())) return false;
  MdCtxPtr ctx(EVP_MD_CTX_new());
  EVP_PKEY_CTX* pctx = nullptr;
  bool ok = ctx &&
            EVP_DigestVerifyInit(ctx.get(), &pctx, EVP_sha256(), nullptr,
                                 cert.impl().publicKey.get()) > 0 &&
            ConfigureSignature(pctx, alg, false) &&
            EVP_DigestVerify(ctx.get(), Bytes(signature), signature.size(), Bytes(data),
                             data.size()) == 1;
  ClearErrors();
  return ok;
}

size_t CipherBlockSize(size_t keyBits) { return (keyBits + 7) / 8; }

size_t PlainBlockSize(size_t keyBits, AsymmetricEncryption alg) {
  // OAEP takes two hashes and two bytes of every block.
  size_t hashLen = alg == AsymmetricEncryption::RsaOaepSha1 ? 20 : 32;
  size_t block = CipherBlockSize(keyBits);
  return block > 2 * hashLen + 2 ? block - 2 * hashLen - 2 : 0;
}

std::optional<std::string> Encrypt(const Certificate& cert, AsymmetricEncryption alg,
                                   std::string_view plain) {
  EVP_PKEY* pub = cert.impl().publicKey.get();
  size_t bits = cert.KeyBits();
  size_t plainBlock = PlainBlockSize(bits, alg);
  size_t cipherBlock = CipherBlockSize(bits);
  if (plainBlock == 0) return std::nullopt;
  KeyCtxPtr ctx(EVP_PKEY_CTX_new(pub, nullptr));
  if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) <= 0 || !ConfigureOaep(ctx.get(), alg)) {
    ClearErrors();
    return std::nullopt;
  }
  std::string out;
  out.reserve((plain.size() + plainBlock - 1) / plainBlock * cipherBlock);
  for (size_t pos = 0; pos < plain.size(); pos += plainBlock) {
    std::string_view block = plain.substr(pos, plainBlock);
    std::string cipher(cipherBlock, '\0');
    size_t len = cipher.size();
    if (EVP_PKEY_encrypt(ctx.get(), Bytes(cipher), &len, Bytes(block), block.size()) <= 0 ||
        len != cipherBlock) {
      ClearErrors();
      return std::nullopt;
    }
    out += cipher;
  }
  return out;
}

std::vector<std::string_view> SplitCertificateChain(std::string_view der) {
  constexpr unsigned char kSequenceTag = 0x30;
  constexpr unsigned char kLongForm = 0x80;
  constexpr size_t kMaxLengthBytes = 4;  // certificates are far below 4 GiB
  std::vector<std::string_view> certificates;
  while (!der.empty()) {
    if (der.size() < 2 || static_cast<unsigned char>(der[0]) != kSequenceTag ||
        certificates.size() == kMaxChainCertificates)
      return {};
    size_t header = 2;
    size_t length = static_cast<unsigned char>(der[1]);
    if (length & kLongForm) {
      size_t lengthBytes = length & ~size_t{kLongForm};
      if (lengthBytes == 0 || lengthBytes > kMaxLengthBytes || der.size() < 2 + lengthBytes)
        return {};
      length = 0;
      for (size_t i = 0; i < lengthBytes; ++i)
        length = length << 8 | static_cast<unsigned char>(der[2 + i]);
      header += lengthBytes;
    }
    if (length > der.size() - header) return {};
    certificates.push_back(der.substr(0, header + length));
    der.remove_prefix(header + length);
  }
  return certificates;
}

std::string_view LeafCertificate(std::string_view der) {
  std::vector<std::string_view> chain = SplitCertificateChain(der);
  return chain.empty() ? std::string_view() : chain.front();
}

std::optional<std::string> Decrypt(const PrivateKey& key, AsymmetricEncryption alg,
                                   std::string_view cipher) {
  size_t cipherBlock = CipherBlockSize(key.Bits());
  if (cipherBlock == 0 || cipher.size() % cipherBlock != 0) return std::nullopt;
  KeyCtxPtr ctx(EVP_PKEY_CTX_new(key.impl().key.get(), nullptr));
  if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) <= 0 || !ConfigureOaep(ctx.get(), alg)) {
    ClearErrors();
    return std::nullopt;
  }
  std::string out;
  out.reserve(cipher.size());
  std::string plain(cipherBlock, '\0');
  for (size_t pos = 0; pos < cipher.size(); pos += cipherBlock) {
    size_t len = plain.size();
    if (EVP_PKEY_decrypt(ctx.get(), Bytes(plain), &len, Bytes(cipher) + pos, cipherBlock) <= 0) {
      ClearErrors();
      return std::nullopt;
    }
    out.append(plain, 0, len);
  }
  return out;
}

std::string HmacSha256(std::string_view key, std::string_view data) {
  std::string mac(EVP_MAX_MD_SIZE, '\0');
  unsigned int len = 0;
  HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), Bytes(data), data.size(),
       Bytes(mac), &len);
  mac.resize(len);
  return mac;
}

std::string PSha256(std::string_view secret, std::string_view seed, size_t length) {
  // A(0) = seed, A(i) = HMAC(secret, A(i-1)); output = HMAC(secret, A(i) + seed)...
  std::string out;
  out.reserve(length + 32);
  std::string a(seed);
  while (out.size() < length) {
    a = HmacSha256(secret, a);
    out += HmacSha256(secret, a + std::string(seed));
  }
  out.resize(length);
  return out;
}

std::optional<std::string> AesCbcEncrypt(std::string_view key, std::string_view iv,
                                         std::string_view data) {
  return AesCbc(key, iv, data, true);
}

std::optional<std::string> AesCbcDecrypt(std::string_view key, std::string_view iv,
                                         std::string_view data) {
  return AesCbc(key, iv, data, false);
}

SymmetricKeys DeriveKeys(const SecurityPolicy& policy, std::string_view secret,
                         std::string_view seed) {
  size_t sigLen = policy.symmetricSignatureKeyLength;
  size_t encLen = policy.symmetricEncryptionKeyLength;
  size_t ivLen = policy.symmetricBlockSize;
  std::string material = PSha256(secret, seed, sigLen + encLen + ivLen);
  return SymmetricKeys{material.substr(0, sigLen), material.substr(sigLen, encLen),
                       material.substr(sigLen + encLen, ivLen)};
}

}  // namespace opcua::crypto
