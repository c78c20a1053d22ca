#include "persistence/UsersFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>

#include "persistence/SafeFile.h"

namespace qx {
namespace {

constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kHashBytes = 32;
constexpr const char* kScheme = "scrypt";
// Bounds on the cost parameters a file may name, so that a hostile or
// mistyped file cannot make a sign-in take gigabytes or minutes.
constexpr unsigned long kMinScryptN = 1ul << 10;
constexpr unsigned long kMaxScryptN = 1ul << 20;
constexpr unsigned long kMaxScryptR = 32;
constexpr unsigned long kMaxScryptP = 16;
constexpr uint64_t kMaxScryptMemory = uint64_t{256} << 20;

std::string Base64(const unsigned char* bytes, std::size_t size) {
  std::string text(4 * ((size + 2) / 3), '\0');
  EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes, static_cast<int>(size));
  return text;
}

bool FromBase64(std::string_view text, std::string& bytes) {
  if (text.empty() || text.size() % 4 != 0) return false;
  bytes.assign(3 * text.size() / 4, '\0');
  const int length =
      EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                      reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (length < 0) return false;
  // EVP_DecodeBlock counts the padding as zero bytes.
  std::size_t padding = 0;
  for (std::size_t i = text.size(); i > 0 && text[i - 1] == '='; --i) ++padding;
  bytes.resize(static_cast<std::size_t>(length) - padding);
  return true;
}

// A line split at ':'.
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t colon = line.find(':', start);
    fields.push_back(line.substr(start, colon == std::string_view::npos ? colon : colon - start));
    if (colon == std::string_view::npos) return fields;
    start = colon + 1;
  }
}

bool ParseNumber(std::string_view text, unsigned long& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// One account's hash and how it was made.
struct PasswordHash {
  unsigned long n = kScryptN, r = kScryptR, p = kScryptP;
  std::string salt;
  std::string hash;
};

bool ParseAccount(std::string_view line, std::string& user, PasswordHash& parsed, std::string& error) {
  const std::vector<std::string_view> fields = Fields(line);
  if (fields.size() != 7) {
    error = "expected NAME:scrypt:N:r:p:SALT:HASH";
    return false;
  }
  user = fields[0];
  if (!ValidUserName(user, error)) return false;
  if (fields[1] != kScheme) {
    error = "unknown hash scheme '" + std::string(fields[1]) + "' (only scrypt)";
    return false;
  }
  if (!ParseNumber(fields[2], parsed.n) || !ParseNumber(fields[3], parsed.r) ||
      !ParseNumber(fields[4], parsed.p) || parsed.n < kMinScryptN || parsed.n > kMaxScryptN ||
      (parsed.n & (parsed.n - 1)) != 0 || parsed.r < 1 || parsed.r > kMaxScryptR || parsed.p < 1 ||
      parsed.p > kMaxScryptP || uint64_t{128} * parsed.r * parsed.n > kMaxScryptMemory) {
    error = "scrypt parameters out of range";
    return false;
  }
  if (!FromBase64(fields[5], parsed.salt) || parsed.salt.size() < 8 || !FromBase64(fields[6], parsed.hash) ||
      parsed.hash.size() < 16) {
    error = "salt or hash is not base64 of a sensible length";
    return false;
  }
  return true;
}

bool Scrypt(std::string_view password, const PasswordHash& how, std::size_t length, std::string& out) {
  out.assign(length, '\0');
  const uint64_t memory = uint64_t{128} * how.r * (how.n + how.p + 2) + (uint64_t{1} << 20);
  return EVP_PBE_scrypt(password.data(), password.size(),
                        reinterpret_cast<const unsigned char*>(how.salt.data()), how.salt.size(), how.n,
                        how.r, how.p, memory, reinterpret_cast<unsigned char*>(out.data()), out.size()) == 1;
}

bool IsComment(std::string_view line) { return line.empty() || line.front() == '#'; }

// The folder of `path` and its parents, made owner-only where they are new.
bool MakeFolderOf(const std::string& path, std::string& error) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (folder.empty()) return true;
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return true;
  std::filesystem::create_directories(folder, ec);
  if (ec || chmod(folder.c_str(), 0700) != 0) {
    error = "cannot create the folder " + folder.string() + ": " + (ec ? ec.message() : std::strerror(errno));
    return false;
  }
  return true;
}

}  // namespace

bool ValidUserName(std::string_view name, std::string& error) {
  if (name.empty()) {
    error = "the user name is empty";
    return false;
  }
  if (name.size() > kMaxUserNameLength) {
    error = "the user name is longer than " + std::to_string(kMaxUserNameLength) + " characters";
    return false;
  }
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == ':' || std::isspace(u) || std::iscntrl(u)) {
      error = "the user name '" + std::string(name) + "' has a ':', a blank or a control character";
      return false;
    }
  }
  return true;
}

bool UsersFile::Load(const std::string& path, std::string& error) {
  lines_.clear();
  problems_.clear();
  malformed_ = false;
  std::string text, reason;
  if (!ReadRegularFile(path, kMaxUsersFileBytes, text, reason)) {
    if (errno == ENOENT) return true;
    error = "cannot read the users file " + path + ": " + reason;
    return false;
  }
  struct stat info{};
  if (stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    problems_.push_back("warning: " + path + " may be written by group or others (mode " + mode +
                        "): whoever can write it can add a user; make it the owner's only (chmod 600)");
  }
  std::string_view rest = text;
  for (int number = 1; !rest.empty(); ++number) {
    const std::size_t end = rest.find('\n');
    std::string_view content = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
    Line line{{}, std::string(content)};
    if (!IsComment(content)) {
      PasswordHash ignored;
      std::string why;
      if (!ParseAccount(content, line.user, ignored, why)) {
        // Kept as it is, but no user: a save does not lose it and nobody
        // signs in with it.
        line.user.clear();
        malformed_ = true;
        problems_.push_back(path + ":" + std::to_string(number) + ": " + why);
      }
    }
    lines_.push_back(std::move(line));
  }
  return true;
}

bool UsersFile::Save(const std::string& path, std::string& error) const {
  if (!MakeFolderOf(path, error)) return false;
  // The file is owner-only before any hash is in it: ReplaceFile keeps the
  // mode of the file it replaces. Opened without blocking (a FIFO without a
  // reader fails at once), and only a regular file is given the mode: a
  // link to a device must not make the device the owner's only.
  struct stat info{};
  std::string why;
  if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    error = "cannot write the users file " + path + ": " + NotRegularFile(info.st_mode);
    return false;
  }
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0 || fstat(fd, &info) != 0) why = std::strerror(errno);
  else if (!S_ISREG(info.st_mode)) why = NotRegularFile(info.st_mode);
  else if (fchmod(fd, 0600) != 0) why = std::strerror(errno);
  if (fd >= 0 && close(fd) != 0 && why.empty()) why = std::strerror(errno);
  if (!why.empty()) {
    error = "cannot write the users file " + path + ": " + why;
    return false;
  }
  std::string text;
  for (const Line& line : lines_) text.append(line.text).append("\n");
  std::string reason;
  if (!ReplaceFile(path, text, reason)) {
    error = "cannot write the users file: " + reason;
    return false;
  }
  return true;
}

const UsersFile::Line* UsersFile::Find(std::string_view user) const {
  for (const Line& line : lines_)
    if (!line.user.empty() && line.user == user) return &line;
  return nullptr;
}

bool UsersFile::Has(std::string_view user) const { return Find(user) != nullptr; }

bool UsersFile::Authenticate(std::string_view user, std::string_view password) const {
  const Line* line = Find(user);
  PasswordHash stored;
  std::string name, ignored;
  const bool known = line && ParseAccount(line->text, name, stored, ignored);
  if (!known) {
    // An unknown user costs a hash too, so the time taken does not tell
    // which names exist.
    stored = PasswordHash{};
    stored.salt.assign(kSaltBytes, '\0');
    stored.hash.assign(kHashBytes, '\0');
  }
  std::string computed;
  if (!Scrypt(password.substr(0, kMaxPasswordLength), stored, stored.hash.size(), computed)) return false;
  const bool same = CRYPTO_memcmp(computed.data(), stored.hash.data(), computed.size()) == 0;
  return known && password.size() <= kMaxPasswordLength && same;
}

bool UsersFile::Add(std::string_view user, std::string_view password, std::string& error) {
  if (!ValidUserName(user, error)) return false;
  if (password.empty()) {
    error = "the password is empty";
    return false;
  }
  if (password.size() > kMaxPasswordLength) {
    error = "the password is longer than " + std::to_string(kMaxPasswordLength) + " bytes";
    return false;
  }
  PasswordHash made;
  made.salt.assign(kSaltBytes, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(made.salt.data()), static_cast<int>(kSaltBytes)) != 1 ||
      !Scrypt(password, made, kHashBytes, made.hash)) {
    error = "cannot hash the password";
    return false;
  }
  const std::string text = std::string(user) + ":" + kScheme + ":" + std::to_string(made.n) + ":" +
                           std::to_string(made.r) + ":" + std::to_string(made.p) + ":" +
                           Base64(reinterpret_cast<const unsigned char*>(made.salt.data()), kSaltBytes) +
                           ":" + Base64(reinterpret_cast<const unsigned char*>(made.hash.data()), kHashBytes);
  for (Line& line : lines_) {
    if (line.user == user) {
      line.text = text;
      return true;
    }
  }
  lines_.push_back(Line{std::string(user), text});
  return true;
}

bool UsersFile::Remove(std::string_view user) {
  const auto before = lines_.size();
  std::erase_if(lines_, [&](const Line& line) { return !line.user.empty() && line.user == user; });
  return lines_.size() != before;
}

namespace {

// What was last said about each users file, so that a sign-in repeats only
// what changed.
struct ReportedProblems {
  std::mutex mutex;
  std::map<std::string, std::string> said;
};

ReportedProblems& Reported() {
  static ReportedProblems reported;
  return reported;
}

// Loads `path` and says what is wrong with it on `out`: always, or only
// when it differs from what was last said.
bool LoadAndReport(const std::string& path, UsersFile& users, std::ostream& out, bool always) {
  std::string error;
  const bool loaded = users.Load(path, error);
  std::string text;
  if (!loaded) text = error + "\n";
  for (const std::string& problem : users.Problems()) text += problem + "\n";
  ReportedProblems& reported = Reported();
  std::lock_guard<std::mutex> hold(reported.mutex);
  std::string& said = reported.said[path];
  if (always || text != said) {
    out << text << std::flush;
    said = std::move(text);
  }
  return loaded;
}

}  // namespace

bool AuthenticateUser(const std::string& path, std::string_view user, std::string_view password) {
  UsersFile users;
  return LoadAndReport(path, users, std::cerr, false) && users.Authenticate(user, password);
}

void ReportUsersFile(const std::string& path, std::ostream& out) {
  UsersFile users;
  LoadAndReport(path, users, out, true);
}

}  // namespace qx
