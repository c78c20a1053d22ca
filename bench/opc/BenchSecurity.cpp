#include "bench/opc/BenchSecurity.h"

#include "tests/opcua/TestKeys.h"

namespace qx::bench {
namespace {

bool secured = false;

constexpr const char* kClientUri = "urn:qx:test:client";  // in the test client's certificate

}  // namespace

void UseSecuredChannels(bool on) { secured = on; }
bool SecuredChannels() { return secured; }
const char* ChannelSecurityName() { return secured ? "Basic256Sha256 SignAndEncrypt" : "None"; }

opcua::ServerSecurity BenchServerSecurity() {
  opcua::ServerSecurity security;
  if (!secured) return security;
  security.certificateDer = opcua::testing::ServerIdentity().certificateDer;
  security.privateKeyPem = opcua::testing::ServerIdentity().privateKeyPem;
  security.offers.push_back({opcua::kSecurityPolicyBasic256Sha256, opcua::MessageSecurityMode::SignAndEncrypt});
  security.validateClientCertificate = [](std::string_view certificate, std::string_view) {
    return certificate == opcua::testing::ClientIdentity().certificateDer
               ? opcua::status::Good
               : opcua::status::BadCertificateUntrusted;
  };
  return security;
}

void SecureClient(opcua::Client& client) {
  if (!secured) return;
  client.SetApplicationUri(kClientUri);
  client.SetSecurity(opcua::kSecurityPolicyBasic256Sha256, opcua::MessageSecurityMode::SignAndEncrypt,
                     opcua::testing::ClientIdentity().certificateDer,
                     opcua::testing::ClientIdentity().privateKeyPem);
}

}  // namespace qx::bench
