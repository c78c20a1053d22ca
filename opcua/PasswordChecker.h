#pragma once
// Where a server has the passwords of its sign-ins checked. A check may be
// slow on purpose (a password hash made to cost tens of milliseconds), so
// the server thread hands it over and takes the verdict back later instead
// of waiting; ServerCore itself stays free of threads.

#include <cstdint>
#include <string>
#include <vector>

#include "opcua/StatusCodes.h"

namespace opcua {

struct PasswordCheck {
  uint64_t ticket = 0;  // names the check in its verdict
  std::string user;
  std::string password;
};

struct PasswordVerdict {
  uint64_t ticket = 0;
  StatusCode result;  // Good: the password is the user's
};

class PasswordChecker {
 public:
  virtual ~PasswordChecker() = default;
  // Starts a check; called on the server thread, which never waits for it.
  virtual void Submit(PasswordCheck check) = 0;
  // The verdicts reached since the last call, on the server thread.
  virtual std::vector<PasswordVerdict> TakeVerdicts() = 0;
};

}  // namespace opcua
