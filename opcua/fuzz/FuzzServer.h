#pragma once
// The server both fuzz harnesses play their inputs against: a ServerCore on a
// manual clock with a folder F of three string variables A, B and C, a
// Double variable H that keeps a short history, an alarm condition on F, an
// object O with a method O.M(Double, Int32) -> Double, and the steps of a
// record that do not depend on the channel's security.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "opcua/ClientChannel.h"
#include "opcua/MemoryConnection.h"
#include "opcua/EventNodeIds.h"
#include "opcua/Methods.h"
#include "opcua/NodeIds.h"
#include "opcua/ServerCore.h"

namespace opcua::fuzz {

inline constexpr const char* kFuzzUrl = "opc.tcp://fuzz:4840";

// Limits small enough that inputs reach them.
inline ServerConfig FuzzConfig() {
  ServerConfig c;
  c.limits.maxSessions = 4;
  c.limits.maxSubscriptionsPerSession = 3;
  c.limits.maxMonitoredItemsPerSession = 20;
  c.limits.maxQueueSize = 50;
  c.limits.transport.maxMessageSize = 256 * 1024;
  return c;
}

// Reads what the server sent, as a client would, so the server's own output
// goes through the client's decoders and checks too.
inline void Drain(MemoryConnection& connection, ClientChannel& channel) {
  std::vector<ServerMessage> answers;
  std::string error;
  channel.OnBytes(connection.Take(), answers, error);
}

class FuzzServer {
 public:
  explicit FuzzServer(ServerConfig config) : core_(std::move(config), clock_) {
    uint16_t ns = core_.RegisterNamespace("urn:fuzz");
    std::string error;
    core_.AddFolder(NodeId(0, ids::ObjectsFolder), NodeId(ns, "F"), "F", error);
    for (const char* name : {"A", "B", "C"}) {
      uint32_t handle = 0;
      core_.AddVariable(NodeId(ns, "F"), NodeId(ns, name), name, "empty", true, handle, error);
    }
    // Small enough that a few value records wrap it.
    constexpr size_t kHistoryValues = 8;
    core_.AddVariable(NodeId(ns, "F"), NodeId(ns, "H"), "H", 0.0, false, history_, error);
    core_.EnableHistory(history_, kHistoryValues, error);
    ConditionDefinition alarm{NodeId(ns, "F.Alarm"), NodeId(0, ids::ExclusiveLevelAlarmType),
                        NodeId(ns, "F"), "Alarm", NodeId(ns, "A"), {}, {}};
    core_.AddCondition(alarm, alarm_, error);
    core_.SetWriteCallback([](uint32_t, const NodeId&, Variant& v) {
      return v.Type() == BuiltinType::String ? status::Good : status::BadTypeMismatch;
    });
    core_.AddObject(NodeId(ns, "F"), NodeId(ns, "O"), "O", NodeId(0, ids::BaseObjectType), 1, error);
    core_.AddMethod(NodeId(ns, "O"), NodeId(ns, "O.M"), "M",
                    {{"x", NodeId(0, ids::Double), {}}, {"n", NodeId(0, ids::Int32), {}}},
                    {{"y", NodeId(0, ids::Double), {}}},
                    [](const MethodCall& call, std::vector<Variant>& out) {
                      const double x = std::get<double>(call.inputs[0].scalar);
                      if (!std::isfinite(x)) return status::BadOutOfRange;
                      out = {x * std::get<int32_t>(call.inputs[1].scalar)};
                      return status::Good;
                    },
                    error);
  }

  ServerCore& core() { return core_; }
  uint32_t historyHandle() const { return history_; }

  // A MSG chunk, secured as `channel` is, around a request record's data:
  // `bytes` is the type id (2 bytes) and the request after its header; the
  // header with the session's token is added here. Empty when `bytes` is
  // shorter than a type id.
  std::string RequestMessage(ClientChannel& channel, std::string_view bytes) {
    if (bytes.size() < 2) return {};
    uint16_t typeId = 0;
    std::memcpy(&typeId, bytes.data(), 2);
    RequestHeader header;
    header.authenticationToken = channel.authenticationToken;
    header.requestHandle = ++handle_;
    std::string body = Encode(header);
    body.append(bytes.substr(2));
    return channel.Message(++requestId_, typeId, body);
  }

  // The application sets the alarm's state from bytes[0]: bit 0 active,
  // bit 1 acknowledged, bit 2 confirmed, bits 3-5 the limit; the rest is
  // its message.
  void SetAlarm(std::string_view bytes) {
    uint8_t bits = bytes.empty() ? 0 : static_cast<uint8_t>(bytes[0]);
    ConditionState state;
    state.active = bits & 1;
    state.acked = bits & 2;
    state.confirmed = bits & 4;
    state.limit = static_cast<LimitState>((bits >> 3) % 5);
    state.severity = static_cast<uint16_t>(bits) * 4 + 1;
    if (!bytes.empty()) state.message.text = std::string(bytes.substr(1));
    std::vector<ConditionUpdate> updates{{alarm_, std::move(state)}};
    core_.ApplyConditionUpdates(updates);
  }

  // Time passes (bytes[0] * 10 ms, 10 ms without data) and the timers run.
  void Elapse(std::string_view bytes) {
    clock_.Advance(bytes.empty() ? 10 : static_cast<uint8_t>(bytes[0]) * 10);
    core_.Tick();
  }

 private:
  ManualClock clock_;
  ServerCore core_;
  uint32_t alarm_ = 0;
  uint32_t history_ = 0;
  uint32_t handle_ = 100;
  uint32_t requestId_ = 1000;
};

}  // namespace opcua::fuzz
