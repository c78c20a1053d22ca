// The security of the simulator's OPC server as the program runs it: the
// settings from the environment, the own certificate from the certificate
// folder (made on the first start), clients' certificates checked against
// that folder's trust list, and users checked against the users file.
#pragma once

#include <string>

#include "opc/GBDataAccess.h"
#include "opcua/ServerConfig.h"

namespace qx {

// Fills `security` for serving `identity` at its endpoint. False with a
// one-line message naming the variable, folder or file at fault.
bool LoadServerSecurity(const GBServerIdentity& identity, opcua::ServerSecurity& security,
                        std::string& error);

}  // namespace qx
