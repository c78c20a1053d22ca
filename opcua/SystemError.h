#pragma once
// The text of a failed system call, for the sockets' error messages.

#include <cerrno>
#include <cstring>
#include <string>

namespace opcua {

// "what: the system's text for err".
inline std::string SystemError(const std::string& what, int err = errno) {
  return what + ": " + std::strerror(err);
}

}  // namespace opcua
