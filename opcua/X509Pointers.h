#pragma once
// Owning pointers to the OpenSSL objects of certificate handling, so that
// every early return frees what was made.

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace opcua::x509 {

struct X509Free {
  void operator()(X509* x) const { X509_free(x); }
};
struct CrlFree {
  void operator()(X509_CRL* c) const { X509_CRL_free(c); }
};
struct KeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct BioFree {
  void operator()(BIO* b) const { BIO_free(b); }
};
struct StoreFree {
  void operator()(X509_STORE* s) const { X509_STORE_free(s); }
};
struct StoreCtxFree {
  void operator()(X509_STORE_CTX* c) const { X509_STORE_CTX_free(c); }
};
struct CertificateListFree {
  void operator()(STACK_OF(X509) * s) const { sk_X509_free(s); }
};
struct NamesFree {
  void operator()(GENERAL_NAMES* n) const { GENERAL_NAMES_free(n); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;
using CrlPtr = std::unique_ptr<X509_CRL, CrlFree>;
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using BioPtr = std::unique_ptr<BIO, BioFree>;
using StorePtr = std::unique_ptr<X509_STORE, StoreFree>;
using StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, StoreCtxFree>;
using CertificateListPtr = std::unique_ptr<STACK_OF(X509), CertificateListFree>;
using NamesPtr = std::unique_ptr<GENERAL_NAMES, NamesFree>;

}  // namespace opcua::x509
