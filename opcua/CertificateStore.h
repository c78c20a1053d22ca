#pragma once
// A server's certificates on disk, in the folder layout that OPC UA
// programs commonly share, so that an administrator manages trust by moving
// files:
//   own/certs/cert.der      the server's application instance certificate
//   own/private/key.pem     its private key (folder 0700, file 0600)
//   trusted/certs, trusted/crl   peers (or their CAs) that are trusted, and
//                                the revocation lists of trusted CAs
//   issuers/certs, issuers/crl   CAs that complete a chain without being
//                                trusted themselves, and their lists
//   rejected/               certificates that were refused as unknown, as
//                           "<name> [<SHA-1 thumbprint>].der"
// Certificates may be DER or PEM files; revocation lists likewise.

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "opcua/StatusCodes.h"

namespace opcua {

class CertificateStore {
 public:
  // At most this many certificates are kept in rejected/; the oldest go
  // first, so that clients cannot fill the disk.
  static constexpr std::size_t kMaxRejected = 100;
  // Years a new own certificate is valid for.
  static constexpr int kOwnCertificateYears = 5;

  // Opens the store at `root`, creating the folders that are missing.
  // Null with a message naming the folder when one cannot be made.
  static std::unique_ptr<CertificateStore> Open(const std::string& root, std::string& error);
  ~CertificateStore();
  CertificateStore(const CertificateStore&) = delete;
  CertificateStore& operator=(const CertificateStore&) = delete;

  // Loads the own certificate and key, or, when there are none, makes a
  // self-signed one: RSA 2048, SHA-256, `applicationUri` and `hostName` in
  // the subject alternative name, `applicationName` as common name. Safe
  // against another process doing the same at once. False with a message
  // naming the file when an existing pair is unusable (unreadable, key and
  // certificate do not match, another application URI, expired): the
  // administrator deletes it to have a new one made.
  bool EnsureOwnCertificate(const std::string& applicationUri, const std::string& applicationName,
                            const std::string& hostName, std::string& error);
  // Set by EnsureOwnCertificate.
  const std::string& CertificateDer() const { return certificateDer_; }
  const std::string& PrivateKeyPem() const { return privateKeyPem_; }

  // Checks a peer's application instance certificate (DER, possibly
  // followed by certificates of its chain, which help to reach a trusted
  // certificate but are not trusted themselves): structure,
  // self-signature, trust (trusted/ with issuers/ completing the chain),
  // validity periods, `applicationUri` among its URIs when not empty, key
  // usage, and revocation. Good, or the standard status of the first check
  // that failed. A certificate that is not trusted is stored in rejected/.
  // The trust folders are read again whenever their contents changed, so a
  // certificate moved into trusted/certs counts at the next check. Any
  // thread.
  StatusCode Validate(std::string_view der, std::string_view applicationUri);

  const std::string& Root() const { return root_; }
  std::string OwnCertificatePath() const { return root_ + "/own/certs/cert.der"; }
  std::string PrivateKeyPath() const { return root_ + "/own/private/key.pem"; }
  std::string RejectedFolder() const { return root_ + "/rejected"; }
  std::string TrustedCertificatesFolder() const { return root_ + "/trusted/certs"; }

 private:
  struct TrustList;
  explicit CertificateStore(std::string root);
  // The trust list, read again when the folders changed. Called locked.
  const TrustList& CurrentTrustList();
  void StoreRejected(std::string_view der, const std::string& fileName);

  std::string root_;
  std::string certificateDer_;
  std::string privateKeyPem_;
  std::mutex mutex_;
  std::unique_ptr<TrustList> trust_;
};

}  // namespace opcua
