#pragma once
// The fixed key pairs and self-signed certificates of the secured-channel
// tests (tests/opcua/data, made once with the openssl command line), read
// from the source tree so that the fuzzer and benchmarks can share them.

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace opcua::testing {

inline std::string ReadTestData(const std::string& name) {
  std::string path = std::string(QX_OPCUA_TEST_DATA) + "/" + name;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("test data file not found: " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct TestIdentity {
  std::string certificateDer;
  std::string privateKeyPem;
};

inline const TestIdentity& ServerIdentity() {
  static const TestIdentity id{ReadTestData("server_cert.der"), ReadTestData("server_key.pem")};
  return id;
}

inline const TestIdentity& ClientIdentity() {
  static const TestIdentity id{ReadTestData("client_cert.der"), ReadTestData("client_key.pem")};
  return id;
}

}  // namespace opcua::testing
