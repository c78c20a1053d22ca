#include "opcua/CertificateStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/pem.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "opcua/SelfSignedCertificate.h"
#include "opcua/OpenSslPointers.h"

namespace opcua {
namespace {

namespace fs = std::filesystem;
using namespace ossl;

// The folders the store reads or writes, below its root.
constexpr const char* kFolders[] = {"own/certs",     "own/private", "trusted/certs", "trusted/crl",
                                    "issuers/certs", "issuers/crl", "rejected"};
// The folders whose contents make up the trust list.
constexpr const char* kTrustFolders[] = {"trusted/certs", "trusted/crl", "issuers/certs", "issuers/crl"};

// Files larger than this in a trust folder are not certificates or lists a
// client could need; they are skipped rather than read whole.
constexpr std::uintmax_t kMaxTrustFileBytes = 16 * 1024 * 1024;

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  bytes = text.str();
  return !in.bad();
}

// The characters mkostemp() puts in place of the template's "XXXXXX".
constexpr std::size_t kTemporarySuffixLength = 6;

// Writes `bytes` to a temporary file beside `path` (made 0600 by mkostemp,
// then given `mode`) and flushes it to disk. Its name, or empty with
// `error` and nothing left behind.
std::string WriteTemporaryBeside(const std::string& path, std::string_view bytes, mode_t mode,
                                 std::string& error) {
  std::string temporary = path + "." + std::string(kTemporarySuffixLength, 'X');
  int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    error = "cannot create a file beside " + path + ": " + std::strerror(errno);
    return {};
  }
  bool ok = true;
  for (std::string_view rest = bytes; ok && !rest.empty();) {
    ssize_t n = write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) rest.remove_prefix(static_cast<size_t>(n));
  }
  ok = ok && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok) {
    error = "cannot write " + temporary + ": " + std::strerror(errno);
    unlink(temporary.c_str());
    return {};
  }
  return temporary;
}

// Writes `bytes` to `path` through a temporary file beside it, so that
// readers never see half a file.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode, std::string& error) {
  const std::string temporary = WriteTemporaryBeside(path, bytes, mode, error);
  if (temporary.empty()) return false;
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

// Puts a new own key and certificate in place as a pair: both are written
// and flushed beside their places first, then the key and the certificate
// are renamed into place, and a certificate that cannot be put in place
// takes the key back out. A failed attempt (a full disk, a folder that
// cannot be written) leaves neither, so the next start makes a new pair
// instead of finding a key without its certificate.
bool WritePair(const std::string& keyPath, std::string_view keyPem, const std::string& certPath,
               std::string_view certDer, std::string& error) {
  const std::string keyTemporary = WriteTemporaryBeside(keyPath, keyPem, 0600, error);
  if (keyTemporary.empty()) return false;
  const std::string certTemporary = WriteTemporaryBeside(certPath, certDer, 0644, error);
  if (certTemporary.empty()) {
    unlink(keyTemporary.c_str());
    return false;
  }
  if (rename(keyTemporary.c_str(), keyPath.c_str()) != 0) {
    error = "cannot write " + keyPath + ": " + std::strerror(errno);
    unlink(keyTemporary.c_str());
    unlink(certTemporary.c_str());
    return false;
  }
  if (rename(certTemporary.c_str(), certPath.c_str()) != 0) {
    error = "cannot write " + certPath + ": " + std::strerror(errno);
    unlink(certTemporary.c_str());
    unlink(keyPath.c_str());
    return false;
  }
  return true;
}

// A certificate from DER bytes that hold exactly one certificate.
X509Ptr CertificateFromDer(std::string_view der) {
  const auto* p = reinterpret_cast<const unsigned char*>(der.data());
  X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
  if (cert && p != reinterpret_cast<const unsigned char*>(der.data()) + der.size()) cert.reset();
  return cert;
}

// Every certificate in a file, DER or PEM (a PEM file may hold several).
std::vector<X509Ptr> CertificatesFromFile(const std::string& bytes) {
  std::vector<X509Ptr> certs;
  if (X509Ptr der = CertificateFromDer(bytes)) {
    certs.push_back(std::move(der));
    return certs;
  }
  BioPtr bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
  while (X509* cert = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) certs.emplace_back(cert);
  return certs;
}

std::vector<CrlPtr> CrlsFromFile(const std::string& bytes) {
  std::vector<CrlPtr> crls;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  if (X509_CRL* der = d2i_X509_CRL(nullptr, &p, static_cast<long>(bytes.size()))) {
    crls.emplace_back(der);
    return crls;
  }
  BioPtr bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
  while (X509_CRL* crl = PEM_read_bio_X509_CRL(bio.get(), nullptr, nullptr, nullptr)) crls.emplace_back(crl);
  return crls;
}

// The regular files of a folder, by name.
std::vector<fs::directory_entry> FilesOf(const std::string& folder) {
  std::vector<fs::directory_entry> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.is_regular_file(ec)) files.push_back(entry);
  std::sort(files.begin(), files.end(),
            [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
  return files;
}

// Removes what a writer of `path` that was killed left beside it: files
// named "<path>.XXXXXX". Called with the store's lock held, so no writer of
// the own pair is at work. Best effort: a leftover that stays does no harm
// but take room (for the key, it is readable by the owner only).
void RemoveTemporariesOf(const std::string& path) {
  const fs::path target(path);
  const std::string prefix = target.filename().string() + ".";
  for (const auto& file : FilesOf(target.parent_path().string())) {
    const std::string name = file.path().filename().string();
    if (name.size() == prefix.size() + kTemporarySuffixLength && name.starts_with(prefix) &&
        std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                    [](char c) { return std::isalnum(static_cast<unsigned char>(c)); })) {
      std::error_code ec;
      fs::remove(file.path(), ec);
    }
  }
}

// What the trust folders hold, as names, sizes and modification times: a
// change of any of them means the trust list is read again.
std::string TrustFoldersState(const std::string& root) {
  std::string state;
  for (const char* folder : kTrustFolders) {
    state.append(folder).append("\n");
    for (const auto& file : FilesOf(root + "/" + folder)) {
      struct stat info{};
      if (stat(file.path().c_str(), &info) != 0) continue;
      char stamp[64];
      std::snprintf(stamp, sizeof stamp, " %lld %lld.%09ld\n", static_cast<long long>(info.st_size),
                    static_cast<long long>(info.st_mtim.tv_sec), info.st_mtim.tv_nsec);
      state.append(file.path().filename().string()).append(stamp);
    }
  }
  return state;
}

std::string Thumbprint(X509* cert) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  X509_digest(cert, EVP_sha1(), digest, &length);
  std::string hex;
  char byte[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(byte, sizeof byte, "%02X", digest[i]);
    hex += byte;
  }
  return hex;
}

// The common name with only the characters that are safe in a file name.
std::string FileSafeCommonName(X509* cert) {
  char name[256] = {};
  X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, name, sizeof name);
  std::string safe;
  for (const char* c = name; *c && safe.size() < 64; ++c)
    if (std::isalnum(static_cast<unsigned char>(*c)) || std::strchr(" ._-()@", *c)) safe += *c;
  return safe.empty() ? "certificate" : safe;
}

bool HasUri(X509* cert, std::string_view uri) {
  auto* names = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr));
  bool found = false;
  for (int i = 0; names && !found && i < sk_GENERAL_NAME_num(names); ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
    if (name->type != GEN_URI) continue;
    const ASN1_IA5STRING* text = name->d.uniformResourceIdentifier;
    found = std::string_view(reinterpret_cast<const char*>(ASN1_STRING_get0_data(text)),
                             static_cast<size_t>(ASN1_STRING_length(text))) == uri;
  }
  GENERAL_NAMES_free(names);
  return found;
}

// An application instance certificate signs and carries keys; a
// certificate without the key usage extension is not limited.
bool UsageAllowed(X509* cert) {
  if ((X509_get_extension_flags(cert) & EXFLAG_KUSAGE) == 0) return true;
  const uint32_t usage = X509_get_key_usage(cert);
  return (usage & KU_DIGITAL_SIGNATURE) != 0 && (usage & (KU_KEY_ENCIPHERMENT | KU_DATA_ENCIPHERMENT)) != 0;
}

// One error that the chain verification reported, and at which depth (0 is
// the peer's own certificate).
struct ChainError {
  int error;
  int depth;
};

int CollectChainError(int ok, X509_STORE_CTX* ctx) {
  if (!ok) {
    auto* errors = static_cast<std::vector<ChainError>*>(X509_STORE_CTX_get_app_data(ctx));
    errors->push_back({X509_STORE_CTX_get_error(ctx), X509_STORE_CTX_get_error_depth(ctx)});
  }
  return 1;  // go on, so that every problem is seen and the worst one is reported
}

bool IsUntrusted(int error) {
  switch (error) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
      return true;
    default:
      return false;
  }
}

bool IsTimeError(int error) {
  return error == X509_V_ERR_CERT_NOT_YET_VALID || error == X509_V_ERR_CERT_HAS_EXPIRED;
}

bool IsRevocationUnknown(int error) {
  switch (error) {
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_CRL_HAS_EXPIRED:
    case X509_V_ERR_CRL_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CRL_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
    case X509_V_ERR_KEYUSAGE_NO_CRL_SIGN:
    case X509_V_ERR_DIFFERENT_CRL_SCOPE:
      return true;
    default:
      return false;
  }
}

bool IsIssuerUseError(int error) {
  return error == X509_V_ERR_INVALID_CA || error == X509_V_ERR_KEYUSAGE_NO_CERTSIGN ||
         error == X509_V_ERR_PATH_LENGTH_EXCEEDED || error == X509_V_ERR_INVALID_PURPOSE;
}

bool AnyError(const std::vector<ChainError>& errors, bool (*kind)(int), bool issuer) {
  return std::any_of(errors.begin(), errors.end(),
                     [&](const ChainError& e) { return kind(e.error) && (e.depth > 0) == issuer; });
}

// Holds an exclusive lock on a file for as long as it lives.
class FileLock {
 public:
  explicit FileLock(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
      close(fd_);
      fd_ = -1;
    }
    if (fd_ < 0) error_ = errno;
  }
  ~FileLock() {
    if (fd_ >= 0) close(fd_);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool Held() const { return fd_ >= 0; }
  // Why the lock is not held.
  const char* Failure() const { return std::strerror(error_); }

 private:
  int fd_;
  int error_ = 0;
};

}  // namespace

struct CertificateStore::TrustList {
  std::string state;  // TrustFoldersState() when it was read
  StorePtr store{X509_STORE_new()};
  std::vector<X509Ptr> issuers;  // complete chains; not trusted themselves
};

CertificateStore::CertificateStore(std::string root) : root_(std::move(root)) {}

CertificateStore::~CertificateStore() = default;

std::unique_ptr<CertificateStore> CertificateStore::Open(const std::string& root, std::string& error) {
  for (const char* folder : kFolders) {
    const std::string path = root + "/" + folder;
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec || !fs::is_directory(path, ec)) {
      error = "cannot create the certificate folder " + path + (ec ? ": " + ec.message() : "");
      return nullptr;
    }
  }
  // The private key's folder is the owner's alone.
  const std::string privateFolder = root + "/own/private";
  struct stat info{};
  if (stat(privateFolder.c_str(), &info) != 0 ||
      ((info.st_mode & 077) != 0 && chmod(privateFolder.c_str(), 0700) != 0)) {
    error = "cannot make " + privateFolder + " private: " + std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<CertificateStore>(new CertificateStore(root));
}

bool CertificateStore::EnsureOwnCertificate(const std::string& applicationUri,
                                            const std::string& applicationName, const std::string& hostName,
                                            std::string& error) {
  error.clear();  // the checks below report through it
  const std::string certPath = OwnCertificatePath();
  const std::string keyPath = PrivateKeyPath();
  // Two programs starting at once on one store make one pair between them.
  // A store that an administrator made read-only needs no lock: its pair is
  // only read.
  FileLock lock(root_ + "/own/private/.lock");
  std::error_code ec;
  const bool haveCert = fs::exists(certPath, ec);
  const bool haveKey = fs::exists(keyPath, ec);
  if (!lock.Held() && !(haveCert && haveKey)) {
    error = "cannot lock " + root_ + "/own/private/.lock: " + lock.Failure();
    return false;
  }
  if (lock.Held()) {
    RemoveTemporariesOf(keyPath);
    RemoveTemporariesOf(certPath);
  }
  if (haveCert != haveKey) {
    error = "the certificate folder has " + (haveCert ? certPath : keyPath) + " without " +
            (haveCert ? keyPath : certPath) + "; delete it to have a new pair made";
    return false;
  }
  if (!haveCert) {
    std::string newDer, newPem;
    if (!MakeSelfSignedCertificate(applicationUri, applicationName, hostName, kOwnCertificateYears, newDer,
                                   newPem)) {
      error = "cannot make a certificate for " + applicationUri;
      return false;
    }
    if (!WritePair(keyPath, newPem, certPath, newDer, error)) return false;
  }

  // A key that was copied in with looser permissions is made the owner's
  // alone before it is used.
  struct stat keyInfo{};
  if (stat(keyPath.c_str(), &keyInfo) == 0 && (keyInfo.st_mode & 077) != 0 &&
      chmod(keyPath.c_str(), 0600) != 0) {
    error = "cannot make " + keyPath + " readable by its owner only: " + std::strerror(errno);
    return false;
  }
  std::string der, pem;
  if (!ReadWholeFile(certPath, der) || !ReadWholeFile(keyPath, pem)) {
    error = "cannot read " + certPath + " or " + keyPath;
    return false;
  }
  X509Ptr cert = CertificateFromDer(der);
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  KeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  if (!cert)
    error = certPath + " is not a DER certificate; delete it and its key to have a new pair made";
  else if (!key)
    error = keyPath + " is not an unencrypted PEM private key";
  else if (X509_check_private_key(cert.get(), key.get()) != 1)
    error = keyPath + " is not the key of " + certPath + "; delete both to have a new pair made";
  else if (!HasUri(cert.get(), applicationUri))
    error = certPath + " is not made out to " + applicationUri +
            "; delete it and its key to have a new pair made";
  else if (X509_cmp_current_time(X509_get0_notAfter(cert.get())) < 0)
    error = certPath + " has expired; delete it and its key to have a new pair made";
  if (!error.empty()) return false;
  certificateDer_ = std::move(der);
  privateKeyPem_ = std::move(pem);
  return true;
}

const CertificateStore::TrustList& CertificateStore::CurrentTrustList() {
  std::string state = TrustFoldersState(root_);
  if (trust_ && trust_->state == state) return *trust_;
  auto trust = std::make_unique<TrustList>();
  trust->state = std::move(state);
  for (const char* folder : kTrustFolders) {
    const bool trusted = std::string_view(folder).starts_with("trusted/");
    const bool crls = std::string_view(folder).ends_with("/crl");
    for (const auto& file : FilesOf(root_ + "/" + folder)) {
      std::error_code ec;
      std::string bytes;
      if (file.file_size(ec) > kMaxTrustFileBytes || !ReadWholeFile(file.path().string(), bytes)) continue;
      if (crls) {
        for (const CrlPtr& crl : CrlsFromFile(bytes)) X509_STORE_add_crl(trust->store.get(), crl.get());
        continue;
      }
      for (X509Ptr& cert : CertificatesFromFile(bytes)) {
        if (trusted)
          X509_STORE_add_cert(trust->store.get(), cert.get());
        else
          trust->issuers.push_back(std::move(cert));
      }
    }
  }
  trust_ = std::move(trust);
  return *trust_;
}

void CertificateStore::StoreRejected(std::string_view der, const std::string& fileName) {
  const std::string folder = RejectedFolder();
  std::vector<fs::directory_entry> files = FilesOf(folder);
  const std::string path = folder + "/" + fileName;
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    // Room for the new one: the oldest go.
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
      std::error_code e;
      return a.last_write_time(e) < b.last_write_time(e);
    });
    for (size_t i = 0; i + kMaxRejected <= files.size(); ++i) fs::remove(files[i].path(), ec);
  }
  std::string ignored;
  WriteFileAtomically(path, der, 0644, ignored);
}

StatusCode CertificateStore::Validate(std::string_view der, std::string_view applicationUri) {
  X509Ptr cert = CertificateFromDer(der);
  if (!cert) return status::BadCertificateInvalid;
  // A self-signed certificate must carry its own valid signature, whether
  // or not it is trusted.
  if ((X509_get_extension_flags(cert.get()) & EXFLAG_SI) != 0 &&
      X509_verify(cert.get(), X509_get0_pubkey(cert.get())) != 1)
    return status::BadCertificateInvalid;

  std::lock_guard<std::mutex> hold(mutex_);
  const TrustList& trust = CurrentTrustList();
  CertificateListPtr issuers(sk_X509_new_null());
  for (const X509Ptr& issuer : trust.issuers) sk_X509_push(issuers.get(), issuer.get());
  StoreCtxPtr ctx(X509_STORE_CTX_new());
  std::vector<ChainError> errors;
  if (!ctx || !X509_STORE_CTX_init(ctx.get(), trust.store.get(), cert.get(), issuers.get()))
    return status::BadInternalError;
  // A trusted certificate is an anchor even when it is not a root (a
  // client's own certificate moved into trusted/certs); revocation lists are
  // checked for every CA in the chain that has one.
  X509_STORE_CTX_set_flags(ctx.get(),
                           X509_V_FLAG_PARTIAL_CHAIN | X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL);
  X509_STORE_CTX_set_app_data(ctx.get(), &errors);
  X509_STORE_CTX_set_verify_cb(ctx.get(), CollectChainError);
  X509_verify_cert(ctx.get());
  // A CA without a revocation list is not an error: self-signed client
  // certificates have none.
  std::erase_if(errors, [](const ChainError& e) { return e.error == X509_V_ERR_UNABLE_TO_GET_CRL; });

  if (AnyError(errors, IsUntrusted, false) || AnyError(errors, IsUntrusted, true)) {
    StoreRejected(der, FileSafeCommonName(cert.get()) + " [" + Thumbprint(cert.get()) + "].der");
    return status::BadCertificateUntrusted;
  }
  auto isSignatureError = [](int error) {
    return error == X509_V_ERR_CERT_SIGNATURE_FAILURE ||
           error == X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE ||
           error == X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY;
  };
  if (std::any_of(errors.begin(), errors.end(),
                  [&](const ChainError& e) { return isSignatureError(e.error); }))
    return status::BadCertificateInvalid;
  if (AnyError(errors, IsTimeError, false)) return status::BadCertificateTimeInvalid;
  if (AnyError(errors, IsTimeError, true)) return status::BadCertificateIssuerTimeInvalid;
  if (!applicationUri.empty() && !HasUri(cert.get(), applicationUri)) return status::BadCertificateUriInvalid;
  if (!UsageAllowed(cert.get())) return status::BadCertificateUseNotAllowed;
  if (AnyError(errors, IsIssuerUseError, true)) return status::BadCertificateIssuerUseNotAllowed;
  auto isRevoked = [](int error) { return error == X509_V_ERR_CERT_REVOKED; };
  if (AnyError(errors, isRevoked, false)) return status::BadCertificateRevoked;
  if (AnyError(errors, isRevoked, true)) return status::BadCertificateIssuerRevoked;
  if (AnyError(errors, IsRevocationUnknown, false)) return status::BadCertificateRevocationUnknown;
  if (AnyError(errors, IsRevocationUnknown, true)) return status::BadCertificateIssuerRevocationUnknown;
  return errors.empty() ? status::Good : status::BadCertificateInvalid;
}

}  // namespace opcua
