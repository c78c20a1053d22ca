// Our client against the threaded server over loopback TCP with security
// configured: every offered policy and mode with a user name, anonymous
// sessions that may only read, and the refusals a client reports.

#include <gtest/gtest.h>

#include "TestKeys.h"
#include "opcua/Client.h"
#include "opcua/NodeIds.h"
#include "opcua/Server.h"

namespace opcua {
namespace {

using testing::ClientIdentity;
using testing::ServerIdentity;

constexpr const char* kUser = "operator";
constexpr const char* kPassword = "s3cret pass";

const SecurityOffer kOffers[] = {
    {kSecurityPolicyNone, MessageSecurityMode::None},
    {kSecurityPolicyBasic256Sha256, MessageSecurityMode::Sign},
    {kSecurityPolicyBasic256Sha256, MessageSecurityMode::SignAndEncrypt},
    {kSecurityPolicyAes128Sha256RsaOaep, MessageSecurityMode::Sign},
    {kSecurityPolicyAes128Sha256RsaOaep, MessageSecurityMode::SignAndEncrypt},
    {kSecurityPolicyAes256Sha256RsaPss, MessageSecurityMode::Sign},
    {kSecurityPolicyAes256Sha256RsaPss, MessageSecurityMode::SignAndEncrypt},
};

class SecureClient : public ::testing::Test {
 protected:
  void SetUp() override {
    ServerConfig config;
    config.endpointUrl = "opc.tcp://127.0.0.1:0";
    ServerSecurity& s = config.security;
    s.certificateDer = ServerIdentity().certificateDer;
    s.privateKeyPem = ServerIdentity().privateKeyPem;
    s.offers.assign(std::begin(kOffers), std::end(kOffers));
    s.anonymousWrites = false;
    s.validateClientCertificate = [](std::string_view, std::string_view) { return status::Good; };
    s.authenticateUser = [](std::string_view user, std::string_view password) {
      return user == kUser && password == kPassword ? status::Good : status::BadUserAccessDenied;
    };
    server = std::make_unique<Server>(config);
    uint16_t ns = server->RegisterNamespace("urn:test:secure");
    std::string error;
    ASSERT_TRUE(server->AddFolder(NodeId(0, ids::ObjectsFolder), NodeId(ns, "F"), "F", error));
    uint32_t handle = 0;
    node = NodeId(ns, "X");
    ASSERT_TRUE(server->AddVariable(NodeId(ns, "F"), node, "X", "empty", true, handle, error));
    ASSERT_TRUE(server->Start(error)) << error;
  }

  std::string Url() const { return "opc.tcp://127.0.0.1:" + std::to_string(server->Port()); }

  static void Secure(Client& client, const SecurityOffer& offer) {
    client.SetSecurity(offer.policyUri, offer.mode, ClientIdentity().certificateDer,
                       ClientIdentity().privateKeyPem);
  }

  std::unique_ptr<Server> server;
  NodeId node;
};

TEST_F(SecureClient, SignsInWithAUserOnEveryOfferedPolicyAndMode) {
  for (const SecurityOffer& offer : kOffers) {
    SCOPED_TRACE(offer.policyUri + " mode " + std::to_string(static_cast<int>(offer.mode)));
    Client client;
    Secure(client, offer);
    client.SetUser(kUser, kPassword);
    std::string error;
    ASSERT_TRUE(client.Connect(Url(), error)) << error;
    std::string text = "by " + offer.policyUri;
    EXPECT_EQ(client.Write(node, text), status::Good);
    DataValue value;
    ASSERT_EQ(client.Read(node, value), status::Good);
    EXPECT_EQ(std::get<std::string>(value.value.scalar), text);
  }
}

TEST_F(SecureClient, AnonymousSessionsReadButMayNotWrite) {
  Client client;
  Secure(client, kOffers[2]);
  std::string error;
  ASSERT_TRUE(client.Connect(Url(), error)) << error;
  EXPECT_EQ(client.Write(node, "anonymous"), status::BadUserAccessDenied);
  DataValue value;
  ASSERT_EQ(client.Read(node, value), status::Good);
  EXPECT_EQ(std::get<std::string>(value.value.scalar), "empty");
}

TEST_F(SecureClient, RefusalsAreReportedWithTheirStep) {
  struct Case {
    const char* name;
    SecurityOffer offer;
    const char* password;
    const char* expected;  // in the error
  };
  const Case cases[] = {
      {"wrong password", kOffers[2], "guess", "activate session: BadUserAccessDenied"},
      {"wrong password without security", kOffers[0], "guess",
       "activate session: BadUserAccessDenied"},
      {"mode the server does not offer",
       {kSecurityPolicyBasic256Sha256, MessageSecurityMode::Invalid}, kPassword,
       "offers no endpoint"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Client client;
    Secure(client, c.offer);
    client.SetUser(kUser, c.password);
    std::string error;
    EXPECT_FALSE(client.Connect(Url(), error));
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    EXPECT_FALSE(client.Connected());
  }
}

}  // namespace
}  // namespace opcua
