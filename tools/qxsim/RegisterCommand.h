// "qxsim register [ENDPOINT]" and "qxsim unregister": the registration record
// through which OPC clients and the master link find the simulation server.
#pragma once

#include <string>
#include <vector>

namespace qx {

// `command` is "register" or "unregister". Exit status 0, 1 when the record
// cannot be written or removed, 2 on a usage error.
int RegisterCommand(const std::string& command, const std::vector<std::string>& args);

}  // namespace qx
