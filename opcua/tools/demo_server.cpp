// A small server with a folder of writable String variables that change
// every few milliseconds, for trying the stack with any OPC UA client.
// Usage: opcua_demo_server [endpoint-url] [seconds] [period-ms]
// With OPCUA_DEMO_CERT (a DER certificate file) and OPCUA_DEMO_KEY (its
// PEM private key) set, it also offers every secured policy in both modes
// and, being a demo, accepts every client certificate.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "opcua/NodeIds.h"
#include "opcua/SecurityPolicies.h"
#include "opcua/Server.h"

namespace {

bool ReadFile(const char* path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// Offers the secured policies when a certificate and key are given.
bool ConfigureSecurity(opcua::ServerSecurity& security) {
  const char* cert = std::getenv("OPCUA_DEMO_CERT");
  const char* key = std::getenv("OPCUA_DEMO_KEY");
  if (!cert || !key) return true;
  if (!ReadFile(cert, security.certificateDer) || !ReadFile(key, security.privateKeyPem)) {
    std::fprintf(stderr, "cannot read OPCUA_DEMO_CERT '%s' or OPCUA_DEMO_KEY '%s'\n", cert, key);
    return false;
  }
  for (const char* policy :
       {opcua::kSecurityPolicyBasic256Sha256, opcua::kSecurityPolicyAes128Sha256RsaOaep,
        opcua::kSecurityPolicyAes256Sha256RsaPss})
    for (auto mode : {opcua::MessageSecurityMode::Sign, opcua::MessageSecurityMode::SignAndEncrypt})
      security.offers.push_back({policy, mode});
  security.validateClientCertificate = [](std::string_view, std::string_view) {
    return opcua::status::Good;
  };
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  opcua::ServerConfig config;
  if (argc > 1) config.endpointUrl = argv[1];
  int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
  int periodMs = argc > 3 ? std::atoi(argv[3]) : 100;
  config.applicationName = "Demo Server";
  if (!ConfigureSecurity(config.security)) return 1;
  opcua::Server server(config);
  uint16_t ns = server.RegisterNamespace("urn:demo");
  std::string error;
  opcua::NodeId folder(ns, "Demo");
  if (!server.AddFolder(opcua::NodeId(0, opcua::ids::ObjectsFolder), folder, "Demo", error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  uint32_t handles[3];
  const char* names[3] = {"Demo.A", "Demo.B", "Demo.C"};
  for (int i = 0; i < 3; ++i)
    if (!server.AddVariable(folder, opcua::NodeId(ns, names[i]), names[i], "empty", true,
                            handles[i], error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
  server.SetWriteCallback([](uint32_t handle, const opcua::NodeId& id, opcua::Variant& value) {
    if (value.Type() != opcua::BuiltinType::String) return opcua::status::BadTypeMismatch;
    std::printf("write %u %s = %s\n", handle, id.ToString().c_str(),
                std::get<std::string>(value.scalar).c_str());
    std::fflush(stdout);
    return opcua::status::Good;
  });
  if (!server.Start(error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("serving %s\n", config.endpointUrl.c_str());
  std::fflush(stdout);
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (long tick = 0; std::chrono::steady_clock::now() < end; ++tick) {
    server.BeginUpdate();
    server.SetValue(handles[0], std::to_string(tick), opcua::status::Good, opcua::DateTime::Now());
    server.EndUpdate();
    std::this_thread::sleep_for(std::chrono::milliseconds(periodMs));
  }
  std::printf("sessions at end: %zu\n", server.SessionCount());
  return 0;
}
