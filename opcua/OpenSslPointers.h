#pragma once
// Owning pointers to the OpenSSL objects the stack makes, so that every early
// return frees what was made.

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace opcua::ossl {

// Calls the OpenSSL function that frees the object; an empty unique_ptr never
// calls it.
template <auto Free>
struct Deleter {
  void operator()(auto* p) const { Free(p); }
};

// sk_X509_free is a macro, so it cannot be a template argument itself.
inline void FreeCertificateList(STACK_OF(X509) * s) { sk_X509_free(s); }

using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using KeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX_free>>;
using CipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, Deleter<EVP_CIPHER_CTX_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free>>;
using BignumPtr = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509_free>>;
using CrlPtr = std::unique_ptr<X509_CRL, Deleter<X509_CRL_free>>;
using StorePtr = std::unique_ptr<X509_STORE, Deleter<X509_STORE_free>>;
using StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, Deleter<X509_STORE_CTX_free>>;
using CertificateListPtr = std::unique_ptr<STACK_OF(X509), Deleter<FreeCertificateList>>;
using NamesPtr = std::unique_ptr<GENERAL_NAMES, Deleter<GENERAL_NAMES_free>>;

}  // namespace opcua::ossl
