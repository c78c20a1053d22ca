// The security settings of the simulator's OPC server, from environment
// variables, and what they mean for one endpoint:
//   QX_OPC_PKI               certificate folder (default
//                            $XDG_DATA_HOME/qxsim/pki, ~/.local/share/qxsim/pki)
//   QX_OPC_USERS             users file (default $XDG_CONFIG_HOME/qxsim/users,
//                            ~/.config/qxsim/users)
//   QX_OPC_SECURITY          the offered policies, a comma-separated list of
//                            POLICY[:MODE] (POLICY None, Basic256Sha256,
//                            Aes128_Sha256_RsaOaep or Aes256_Sha256_RsaPss;
//                            MODE Sign or SignAndEncrypt, both when left out)
//   QX_OPC_ANONYMOUS         allow (default) or deny sessions without a user
//   QX_OPC_ANONYMOUS_WRITES  allow or deny writes of anonymous sessions
// Unset or empty variables take the defaults. A loopback endpoint offers
// None and every secured policy and lets anonymous sessions write; any
// other endpoint offers only the secured policies and lets only signed-in
// users write.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "opcua/ServerConfig.h"

namespace qx {

struct ServerSecuritySettings {
  std::string pkiFolder;
  std::string usersFile;
  // Empty: the endpoint's defaults.
  std::vector<opcua::SecurityOffer> offers;
  bool allowAnonymous = true;
  // Unset: allowed on a loopback endpoint only.
  std::optional<bool> anonymousWrites;
};

// Looks up an environment variable; null when it is not set.
using EnvironmentLookup = std::function<const char*(const char* name)>;

// The users file: QX_OPC_USERS, else $XDG_CONFIG_HOME/qxsim/users, else
// ~/.config/qxsim/users.
std::string UsersFilePath(const EnvironmentLookup& lookup = {});

// Reads the settings through `lookup` (std::getenv by default). False with
// a one-line message naming the variable and its value when one is not
// understood.
bool ReadServerSecuritySettings(ServerSecuritySettings& settings, std::string& error,
                                const EnvironmentLookup& lookup = {});

// The host of `endpointUrl` is a loopback address: 127.0.0.0/8, ::1 or
// "localhost". False for every other host and for a URL that does not
// parse.
bool IsLoopbackEndpoint(const std::string& endpointUrl);

// Sets the offers, allowAnonymous and anonymousWrites of `security` for
// serving at `endpointUrl`. False with a message when the settings ask for
// something the endpoint may not have (anonymous writes on an endpoint
// other than loopback) or that would let nobody in.
bool ApplyEndpointSecurity(const ServerSecuritySettings& settings, const std::string& endpointUrl,
                           opcua::ServerSecurity& security, std::string& error);

// What a server offers, for its start-up line: "None, Basic256Sha256 Sign,
// Basic256Sha256 SignAndEncrypt; anonymous sessions may read and write".
std::string DescribeSecurity(const opcua::ServerSecurity& security);

}  // namespace qx
