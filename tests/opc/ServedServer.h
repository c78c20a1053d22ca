// A COPCServer serving on a free loopback port, and a client session to it,
// for the tests that go through the server's real client-write path.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>

#include "opc/OPCServer.h"
#include "opcua/Client.h"

namespace qx::test {

// Starts `server` (made by `make`) on a port in 4900..5099, trying other
// ports while one is taken. Null with a test failure when none is free.
template <class Make>
std::unique_ptr<COPCServer> ServeOnFreePort(Make make, std::string& endpoint) {
  std::mt19937 random(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::string error;
  for (int attempt = 0; attempt < 20; ++attempt) {
    endpoint = "opc.tcp://127.0.0.1:" + std::to_string(4900 + random() % 200);
    std::unique_ptr<COPCServer> server = make();
    if (server->InitializeOPC(endpoint, error)) return server;
  }
  ADD_FAILURE() << "no free port for the OPC server: " << error;
  return nullptr;
}

inline opcua::NodeId ItemNode(std::string_view name) {
  return opcua::NodeId(1, std::string(name));
}

// The text an item reads, or the status name when the read fails.
inline std::string ReadItemText(opcua::Client& client, std::string_view name) {
  opcua::DataValue value;
  const opcua::StatusCode status = client.Read(ItemNode(name), value);
  if (!status.IsGood()) return opcua::StatusName(status);
  const auto* text = std::get_if<std::string>(&value.value.scalar);
  return text ? *text : "(not a string)";
}

}  // namespace qx::test
