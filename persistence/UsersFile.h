// The user accounts of the OPC server: a text file of one line per user,
//   NAME:scrypt:N:r:p:SALT:HASH
// where HASH is scrypt(password, SALT) with the cost parameters N, r and p,
// and SALT and HASH are base64. Empty lines and lines starting with '#' are
// comments and are kept as they are. The file is replaced atomically and
// is readable by its owner only.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

// scrypt cost of new password hashes: 16 MiB and some tens of milliseconds
// per check, so that a stolen file is slow to guess from while a sign-in
// holds the server only briefly.
inline constexpr unsigned long kScryptN = 1ul << 14;
inline constexpr unsigned long kScryptR = 8;
inline constexpr unsigned long kScryptP = 1;
inline constexpr std::size_t kMaxUserNameLength = 64;
inline constexpr std::size_t kMaxPasswordLength = 1024;

// A name may be used: 1 to kMaxUserNameLength printable characters, none
// of them ':' or white space. Otherwise false with the reason.
bool ValidUserName(std::string_view name, std::string& error);

// The users file is read whole at every sign-in; this is room for some
// thousands of accounts, and keeps a file that is not one (a link to a
// large file) from being read without end.
inline constexpr std::size_t kMaxUsersFileBytes = std::size_t{1} << 20;

class UsersFile {
 public:
  // Reads `path`; a file that does not exist holds no users. Only a regular
  // file of at most kMaxUsersFileBytes is read, and opening it never blocks
  // (a FIFO is refused, not waited on). False with the system's error or
  // what the file is instead. A line that is not an account does not stop
  // the others from working: it is kept as it is, its user cannot sign in,
  // and Problems() names it.
  bool Load(const std::string& path, std::string& error);
  // What the last Load found wrong, one message each: "FILE:LINE: why" for
  // a line that is not an account, and a warning when group or others may
  // write the file (whoever may write it can add a user).
  const std::vector<std::string>& Problems() const { return problems_; }
  // A line that is not an account.
  bool HasMalformedLines() const { return malformed_; }
  // Writes the accounts to `path` (its folder is made when missing, owner
  // only), replacing the file atomically with mode 0600.
  bool Save(const std::string& path, std::string& error) const;

  // The user exists and `password` is theirs. Takes as long for an unknown
  // user as for a known one, and compares in constant time.
  bool Authenticate(std::string_view user, std::string_view password) const;
  // Adds the user, or gives an existing one the new password. False with
  // the reason for an invalid name or password.
  bool Add(std::string_view user, std::string_view password, std::string& error);
  // False when there is no such user.
  bool Remove(std::string_view user);
  bool Has(std::string_view user) const;

 private:
  struct Line {
    std::string user;  // empty for a comment
    std::string text;
  };
  const Line* Find(std::string_view user) const;
  std::vector<Line> lines_;
  std::vector<std::string> problems_;
  bool malformed_ = false;
};

// Checks a password against `path` as it is now, so that accounts added or
// removed while a server runs count at the next sign-in. False for a file
// that cannot be read. What is wrong with the file (it cannot be read, or
// Problems()) is said on standard error when it differs from what was last
// said about that path, so that a bad line is reported at the sign-in that
// meets it without repeating at every sign-in. Any thread.
bool AuthenticateUser(const std::string& path, std::string_view user, std::string_view password);

// Reads the users file at `path` as a server's start does and says on
// `out` what is wrong with it, if anything (a missing file holds no users
// and is not wrong); the sign-ins after it repeat only what changes.
void ReportUsersFile(const std::string& path, std::ostream& out);

}  // namespace qx
