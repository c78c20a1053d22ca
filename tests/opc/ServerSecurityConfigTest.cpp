// The server's security settings from environment variables, and what they
// give a loopback endpoint and one open to the network.

#include "opc/ServerSecurityConfig.h"

#include <gtest/gtest.h>

#include <map>

#include "opcua/SecurityPolicies.h"
#include "opcua/TransportMessages.h"

namespace qx {
namespace {

using opcua::MessageSecurityMode;
using Environment = std::map<std::string, std::string>;

EnvironmentLookup Lookup(const Environment& environment) {
  return [&environment](const char* name) -> const char* {
    const auto found = environment.find(name);
    return found == environment.end() ? nullptr : found->second.c_str();
  };
}

ServerSecuritySettings Read(const Environment& environment) {
  ServerSecuritySettings settings;
  std::string error;
  EXPECT_TRUE(ReadServerSecuritySettings(settings, error, Lookup(environment))) << error;
  return settings;
}

std::string Offered(const Environment& environment, const std::string& endpoint) {
  opcua::ServerSecurity security;
  std::string error;
  if (!ApplyEndpointSecurity(Read(environment), endpoint, security, error)) return "error: " + error;
  return DescribeSecurity(security);
}

constexpr const char* kAllSecured =
    "Basic256Sha256 Sign, Basic256Sha256 SignAndEncrypt, Aes128_Sha256_RsaOaep Sign, "
    "Aes128_Sha256_RsaOaep SignAndEncrypt, Aes256_Sha256_RsaPss Sign, Aes256_Sha256_RsaPss SignAndEncrypt";

TEST(ServerSecurityConfigTest, FoldersFollowTheVariablesThenXdgThenHome) {
  const Environment home{{"HOME", "/home/op"}};
  EXPECT_EQ(Read(home).pkiFolder, "/home/op/.local/share/qxsim/pki");
  EXPECT_EQ(Read(home).usersFile, "/home/op/.config/qxsim/users");

  const Environment xdg{{"HOME", "/home/op"}, {"XDG_DATA_HOME", "/data"}, {"XDG_CONFIG_HOME", "/config"}};
  EXPECT_EQ(Read(xdg).pkiFolder, "/data/qxsim/pki");
  EXPECT_EQ(Read(xdg).usersFile, "/config/qxsim/users");

  // XDG folders must be absolute; a relative one is ignored.
  const Environment relative{{"HOME", "/home/op"}, {"XDG_DATA_HOME", "data"}, {"XDG_CONFIG_HOME", ""}};
  EXPECT_EQ(Read(relative).pkiFolder, "/home/op/.local/share/qxsim/pki");
  EXPECT_EQ(Read(relative).usersFile, "/home/op/.config/qxsim/users");

  const Environment own{
      {"HOME", "/home/op"}, {"QX_OPC_PKI", "/etc/qx/pki"}, {"QX_OPC_USERS", "/etc/qx/users"}};
  EXPECT_EQ(Read(own).pkiFolder, "/etc/qx/pki");
  EXPECT_EQ(Read(own).usersFile, "/etc/qx/users");
}

TEST(ServerSecurityConfigTest, LoopbackEndpointsAreTheLocalAddressesOnly) {
  for (const char* endpoint :
       {"opc.tcp://127.0.0.1:4840", "opc.tcp://127.1.2.3:4840", "opc.tcp://localhost:4840",
        "opc.tcp://LOCALHOST", "opc.tcp://[::1]:4840/path"})
    EXPECT_TRUE(IsLoopbackEndpoint(endpoint)) << endpoint;
  for (const char* endpoint : {"opc.tcp://0.0.0.0:4840", "opc.tcp://[::]:4840", "opc.tcp://192.168.1.10:4840",
                               "opc.tcp://128.0.0.1:4840", "opc.tcp://localhost.example.com:4840",
                               "opc.tcp://plant-pc:4840", "http://127.0.0.1:4840", "opc.tcp://:4840"})
    EXPECT_FALSE(IsLoopbackEndpoint(endpoint)) << endpoint;
}

TEST(ServerSecurityConfigTest, WhatAnEndpointOffersAndWhoMayWrite) {
  const std::string loopback = "opc.tcp://127.0.0.1:4840";
  const std::string network = "opc.tcp://0.0.0.0:4840";
  struct Case {
    Environment environment;
    std::string endpoint;
    std::string expected;
  } cases[] = {
      {{}, loopback, "None, " + std::string(kAllSecured) + "; anonymous sessions may read and write"},
      {{}, network, std::string(kAllSecured) + "; anonymous sessions may read, signed-in users write"},
      {{{"QX_OPC_SECURITY", "None, Basic256Sha256:SignAndEncrypt"}},
       network,
       "None, Basic256Sha256 SignAndEncrypt; anonymous sessions may read, signed-in users write"},
      {{{"QX_OPC_SECURITY", "aes256_sha256_rsapss:sign,Aes256_Sha256_RsaPss"}},
       loopback,
       "Aes256_Sha256_RsaPss Sign, Aes256_Sha256_RsaPss SignAndEncrypt; anonymous sessions may read and "
       "write"},
      {{{"QX_OPC_ANONYMOUS_WRITES", "deny"}},
       loopback,
       "None, " + std::string(kAllSecured) + "; anonymous sessions may read, signed-in users write"},
      {{{"QX_OPC_ANONYMOUS", "deny"}}, network, std::string(kAllSecured) + "; signed-in users only"},
      {{{"QX_OPC_ANONYMOUS_WRITES", "allow"}},
       network,
       "error: QX_OPC_ANONYMOUS_WRITES=allow: anonymous sessions may write only on a loopback endpoint, "
       "not " +
           network},
      {{{"QX_OPC_SECURITY", "None"}, {"QX_OPC_ANONYMOUS", "deny"}},
       loopback,
       "error: QX_OPC_ANONYMOUS=deny with QX_OPC_SECURITY=None: no session could sign in"},
  };
  for (const Case& c : cases) EXPECT_EQ(Offered(c.environment, c.endpoint), c.expected) << c.endpoint;
}

TEST(ServerSecurityConfigTest, OffersAreStackPoliciesAndModes) {
  opcua::ServerSecurity security;
  std::string error;
  ASSERT_TRUE(ApplyEndpointSecurity(Read({{"QX_OPC_SECURITY", "None,Basic256Sha256:Sign"}}),
                                    "opc.tcp://[::1]:1", security, error));
  ASSERT_EQ(security.offers.size(), 2u);
  EXPECT_EQ(security.offers[0].policyUri, opcua::kSecurityPolicyNone);
  EXPECT_EQ(security.offers[0].mode, MessageSecurityMode::None);
  EXPECT_EQ(security.offers[1].policyUri, opcua::kSecurityPolicyBasic256Sha256);
  EXPECT_EQ(security.offers[1].mode, MessageSecurityMode::Sign);
  EXPECT_NE(opcua::FindSecurityPolicy(security.offers[1].policyUri), nullptr);
}

TEST(ServerSecurityConfigTest, ValuesNotUnderstoodAreNamedWithTheirVariable) {
  struct Case {
    const char* name;
    const char* value;
    const char* expected;
  } cases[] = {
      {"QX_OPC_SECURITY", "Basic256",
       "QX_OPC_SECURITY=Basic256: unknown security policy 'Basic256' (one of None, Basic256Sha256, "
       "Aes128_Sha256_RsaOaep, Aes256_Sha256_RsaPss)"},
      {"QX_OPC_SECURITY", "Basic256Sha256:Encrypt",
       "QX_OPC_SECURITY=Basic256Sha256:Encrypt: unknown mode 'Encrypt' of Basic256Sha256 (Sign or "
       "SignAndEncrypt)"},
      {"QX_OPC_SECURITY", "None:Sign", "QX_OPC_SECURITY=None:Sign: None takes no mode ('None:Sign')"},
      {"QX_OPC_SECURITY", "None,,Basic256Sha256",
       "QX_OPC_SECURITY=None,,Basic256Sha256: unknown security policy ''"},
      {"QX_OPC_ANONYMOUS", "yes", "QX_OPC_ANONYMOUS=yes: expected allow or deny"},
      {"QX_OPC_ANONYMOUS_WRITES", "0", "QX_OPC_ANONYMOUS_WRITES=0: expected allow or deny"},
  };
  for (const Case& c : cases) {
    const Environment environment{{c.name, c.value}};
    ServerSecuritySettings settings;
    std::string error;
    EXPECT_FALSE(ReadServerSecuritySettings(settings, error, Lookup(environment))) << c.value;
    EXPECT_TRUE(error.starts_with(c.expected)) << error;
  }
}

}  // namespace
}  // namespace qx
