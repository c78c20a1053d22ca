#pragma once
// How often a user name, or a peer address, may fail to sign in. Guessing
// passwords is slowed down to a few tries a minute: after a number of free
// failures in a row, every further failure locks the name or the address
// for a time that doubles with each failure up to a most. No clock and no
// thread of its own: the server tells it the time.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace opcua {

struct SignInLimits {
  uint32_t freeFailures = 5;    // failures in a row before the first lock
  int64_t firstLockMs = 1'000;  // the first lock; each further failure doubles it
  int64_t maxLockMs = 60'000;
  // A name or address that has not failed for this long starts afresh.
  int64_t memoryMs = 900'000;
  // Names and addresses remembered at once; beyond, the longest quiet go.
  size_t maxRecords = 10'000;
};

class SignInLimiter {
 public:
  // Only this much of a user name is told apart; longer names share a
  // record with their start, which makes them no easier to guess.
  static constexpr size_t kMaxNameBytes = 256;

  explicit SignInLimiter(const SignInLimits& limits) : limits_(limits) {}

  // False while `user` or `peer` is locked: the sign-in is refused without
  // looking at the password.
  bool Allowed(std::string_view user, std::string_view peer, int64_t nowMs) const;
  // A password check refused `user` from `peer`.
  void Failed(std::string_view user, std::string_view peer, int64_t nowMs);
  // `user` signed in: its count starts afresh. The peer's does not, so that
  // signing in to one account now and then does not let a peer guess
  // others without end.
  void Succeeded(std::string_view user);

 private:
  struct Record {
    uint32_t failures = 0;
    int64_t lastFailureMs = 0;
    int64_t lockedUntilMs = 0;
  };
  using Records = std::map<std::string, Record, std::less<>>;
  bool Locked(const Records& records, std::string_view key, int64_t nowMs) const;
  void Count(Records& records, std::string_view key, int64_t nowMs);

  SignInLimits limits_;
  Records users_;
  Records peers_;
};

}  // namespace opcua
