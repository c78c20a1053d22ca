// "qxsim user add NAME" and "qxsim user remove NAME": the accounts that may
// sign in to the OPC server, in its users file (QX_OPC_USERS or the
// default place).
#pragma once

#include <string>
#include <vector>

namespace qx {

// The arguments after "user". The password of "add" is read from standard
// input: one line when it is not a terminal, else asked twice without echo.
// Exit status 0, 1 when the password or the file is at fault, 2 on a usage
// error.
int UserCommand(const std::vector<std::string>& args);

}  // namespace qx
