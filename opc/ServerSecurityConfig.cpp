#include "opc/ServerSecurityConfig.h"

#include <arpa/inet.h>
#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "opcua/SecurityPolicies.h"
#include "opcua/TcpTransport.h"
#include "opcua/TransportMessages.h"

namespace qx {
namespace {

using opcua::MessageSecurityMode;
using opcua::SecurityOffer;

struct NamedPolicy {
  std::string_view name;
  const char* uri;
};
constexpr NamedPolicy kSecuredPolicies[] = {
    {"Basic256Sha256", opcua::kSecurityPolicyBasic256Sha256},
    {"Aes128_Sha256_RsaOaep", opcua::kSecurityPolicyAes128Sha256RsaOaep},
    {"Aes256_Sha256_RsaPss", opcua::kSecurityPolicyAes256Sha256RsaPss},
};
constexpr std::string_view kPolicyNames = "None, Basic256Sha256, Aes128_Sha256_RsaOaep, Aes256_Sha256_RsaPss";

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string Setting(const char* name, const char* value) { return std::string(name) + "=" + value; }

void AddOffer(std::vector<SecurityOffer>& offers, const char* uri, MessageSecurityMode mode) {
  const bool known = std::any_of(offers.begin(), offers.end(), [&](const SecurityOffer& o) {
    return o.policyUri == uri && o.mode == mode;
  });
  if (!known) offers.push_back(SecurityOffer{uri, mode});
}

std::vector<SecurityOffer> SecuredOffers() {
  std::vector<SecurityOffer> offers;
  for (const NamedPolicy& policy : kSecuredPolicies) {
    offers.push_back({policy.uri, MessageSecurityMode::Sign});
    offers.push_back({policy.uri, MessageSecurityMode::SignAndEncrypt});
  }
  return offers;
}

bool ParseOffers(const char* value, std::vector<SecurityOffer>& offers, std::string& error) {
  const std::string_view all(value);
  for (std::size_t start = 0; start <= all.size();) {
    std::size_t comma = all.find(',', start);
    if (comma == std::string_view::npos) comma = all.size();
    const std::string_view item = Trimmed(all.substr(start, comma - start));
    start = comma + 1;
    const std::size_t colon = item.find(':');
    const std::string_view name = Trimmed(item.substr(0, colon));
    const std::string_view mode = colon == std::string_view::npos ? "" : Trimmed(item.substr(colon + 1));
    if (SameText(name, "None")) {
      if (colon != std::string_view::npos) {
        error = Setting("QX_OPC_SECURITY", value) + ": None takes no mode ('" + std::string(item) + "')";
        return false;
      }
      AddOffer(offers, opcua::kSecurityPolicyNone, MessageSecurityMode::None);
      continue;
    }
    const auto policy = std::find_if(std::begin(kSecuredPolicies), std::end(kSecuredPolicies),
                                     [&](const NamedPolicy& p) { return SameText(p.name, name); });
    if (policy == std::end(kSecuredPolicies)) {
      error = Setting("QX_OPC_SECURITY", value) + ": unknown security policy '" + std::string(name) +
              "' (one of " + std::string(kPolicyNames) + ")";
      return false;
    }
    const bool sign = colon == std::string_view::npos || SameText(mode, "Sign");
    const bool encrypt = colon == std::string_view::npos || SameText(mode, "SignAndEncrypt");
    if (!sign && !encrypt) {
      error = Setting("QX_OPC_SECURITY", value) + ": unknown mode '" + std::string(mode) + "' of " +
              std::string(name) + " (Sign or SignAndEncrypt)";
      return false;
    }
    if (sign) AddOffer(offers, policy->uri, MessageSecurityMode::Sign);
    if (encrypt) AddOffer(offers, policy->uri, MessageSecurityMode::SignAndEncrypt);
  }
  return true;
}

bool ParseAllowDeny(const char* name, const char* value, bool& allowed, std::string& error) {
  if (SameText(value, "allow") || SameText(value, "deny")) {
    allowed = SameText(value, "allow");
    return true;
  }
  error = Setting(name, value) + ": expected allow or deny";
  return false;
}

// $variable when it is an absolute path (as the XDG variables must be),
// else ~/fallback.
std::string XdgFolder(const EnvironmentLookup& lookup, const char* variable, const char* fallback) {
  const char* folder = lookup(variable);
  if (folder && *folder == '/') return folder;
  const char* home = lookup("HOME");
  return std::string(home && *home ? home : "/tmp") + "/" + fallback;
}

EnvironmentLookup OrGetenv(const EnvironmentLookup& lookup) {
  if (lookup) return lookup;
  return [](const char* name) -> const char* { return std::getenv(name); };
}

}  // namespace

std::string UsersFilePath(const EnvironmentLookup& lookup) {
  const EnvironmentLookup get = OrGetenv(lookup);
  const char* users = get("QX_OPC_USERS");
  return users && *users ? users : XdgFolder(get, "XDG_CONFIG_HOME", ".config") + "/qxsim/users";
}

bool ReadServerSecuritySettings(ServerSecuritySettings& settings, std::string& error,
                                const EnvironmentLookup& lookup) {
  const EnvironmentLookup get = OrGetenv(lookup);
  auto set = [&](const char* name) -> const char* {
    const char* value = get(name);
    return value && *value ? value : nullptr;
  };
  settings = ServerSecuritySettings{};
  const char* pki = set("QX_OPC_PKI");
  settings.pkiFolder = pki ? pki : XdgFolder(get, "XDG_DATA_HOME", ".local/share") + "/qxsim/pki";
  settings.usersFile = UsersFilePath(get);
  if (const char* offers = set("QX_OPC_SECURITY"); offers && !ParseOffers(offers, settings.offers, error))
    return false;
  if (const char* anonymous = set("QX_OPC_ANONYMOUS");
      anonymous && !ParseAllowDeny("QX_OPC_ANONYMOUS", anonymous, settings.allowAnonymous, error))
    return false;
  if (const char* writes = set("QX_OPC_ANONYMOUS_WRITES")) {
    bool allowed = false;
    if (!ParseAllowDeny("QX_OPC_ANONYMOUS_WRITES", writes, allowed, error)) return false;
    settings.anonymousWrites = allowed;
  }
  return true;
}

bool IsLoopbackEndpoint(const std::string& endpointUrl) {
  std::string host, ignored;
  uint16_t port = 0;
  if (!opcua::ParseEndpointUrl(endpointUrl, host, port, ignored)) return false;
  if (SameText(host, "localhost")) return true;
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  return inet_pton(AF_INET6, host.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

bool ApplyEndpointSecurity(const ServerSecuritySettings& settings, const std::string& endpointUrl,
                           opcua::ServerSecurity& security, std::string& error) {
  const bool loopback = IsLoopbackEndpoint(endpointUrl);
  if (settings.anonymousWrites.value_or(false) && !loopback) {
    error = "QX_OPC_ANONYMOUS_WRITES=allow: anonymous sessions may write only on a loopback endpoint, not " +
            endpointUrl;
    return false;
  }
  security.offers = settings.offers;
  if (security.offers.empty()) {
    if (loopback) security.offers.push_back({opcua::kSecurityPolicyNone, MessageSecurityMode::None});
    for (const SecurityOffer& offer : SecuredOffers()) security.offers.push_back(offer);
  }
  const bool secured =
      std::any_of(security.offers.begin(), security.offers.end(),
                  [](const SecurityOffer& o) { return o.mode != MessageSecurityMode::None; });
  if (!secured && !settings.allowAnonymous) {
    // A password is never sent over a channel that protects nothing.
    error = "QX_OPC_ANONYMOUS=deny with QX_OPC_SECURITY=None: no session could sign in";
    return false;
  }
  security.allowAnonymous = settings.allowAnonymous;
  security.anonymousWrites = settings.anonymousWrites.value_or(loopback);
  return true;
}

std::string DescribeSecurity(const opcua::ServerSecurity& security) {
  std::string text;
  for (const SecurityOffer& offer : security.offers) {
    if (!text.empty()) text += ", ";
    if (offer.mode == MessageSecurityMode::None) {
      text += "None";
      continue;
    }
    const auto policy = std::find_if(std::begin(kSecuredPolicies), std::end(kSecuredPolicies),
                                     [&](const NamedPolicy& p) { return offer.policyUri == p.uri; });
    text += policy != std::end(kSecuredPolicies) ? std::string(policy->name) : offer.policyUri;
    text += offer.mode == MessageSecurityMode::Sign ? " Sign" : " SignAndEncrypt";
  }
  if (!security.allowAnonymous) return text + "; signed-in users only";
  return text + (security.anonymousWrites ? "; anonymous sessions may read and write"
                                          : "; anonymous sessions may read, signed-in users write");
}

}  // namespace qx
