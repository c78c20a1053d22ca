#pragma once
// Turns fuzzer bytes into a session with a ServerCore on a manual clock.
//
// Byte 0, bit 0: when set, the harness first opens the channel and an
// activated session itself, so the records reach the services.
// Then records, each: kind (1 byte), length (2 bytes, little-endian), data.
//   kind 0: raw bytes on the connection (framing, handshake, chunking)
//   kind 1: a service request: data[0..1] the request's type id, the rest
//           the request after its header; the harness adds a header with
//           the session's token and frames it as MSG chunks
//   kind 2: time passes (data[0] * 10 ms) and the timers run
//   kind 3: the application publishes data as the value of variable data[0] % 3

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "opcua/ClientChannel.h"
#include "opcua/MemoryConnection.h"
#include "opcua/NodeIds.h"
#include "opcua/ServerCore.h"

namespace opcua::fuzz {

enum RecordKind : uint8_t { kRaw = 0, kRequest = 1, kTime = 2, kValue = 3 };

struct Record {
  uint8_t kind;
  std::string data;
};

inline std::string EncodeRecords(bool handshake, const std::vector<Record>& records) {
  std::string out(1, handshake ? '\x01' : '\x00');
  for (const auto& r : records) {
    out.push_back(static_cast<char>(r.kind));
    uint16_t n = static_cast<uint16_t>(r.data.size());
    out.append(reinterpret_cast<const char*>(&n), 2);
    out.append(r.data);
  }
  return out;
}

// A request record for `request`, without its header.
template <class Req>
Record RequestRecord(const Req& request) {
  std::string body = Encode(request);
  std::string header = Encode(request.requestHeader);
  uint16_t typeId = static_cast<uint16_t>(Req::kTypeId);
  std::string data(reinterpret_cast<const char*>(&typeId), 2);
  data += body.substr(header.size());
  return {kRequest, data};
}

class Harness {
 public:
  Harness() : core_(Config(), clock_) {
    uint16_t ns = core_.RegisterNamespace("urn:fuzz");
    std::string error;
    core_.AddFolder(NodeId(0, ids::ObjectsFolder), NodeId(ns, "F"), "F", error);
    for (const char* name : {"A", "B", "C"}) {
      uint32_t handle = 0;
      core_.AddVariable(NodeId(ns, "F"), NodeId(ns, name), name, "empty", true, handle, error);
    }
    core_.SetWriteCallback([](uint32_t, const NodeId&, Variant& v) {
      return v.Type() == BuiltinType::String ? status::Good : status::BadTypeMismatch;
    });
  }

  void Run(const uint8_t* data, size_t size) {
    if (size == 0) return;
    MemoryConnection connection(core_);
    ClientChannel channel;
    if (data[0] & 1) Handshake(connection, channel);
    size_t at = 1;
    while (at + 3 <= size && !connection.Closed()) {
      uint8_t kind = data[at] % 4;
      uint16_t n = 0;
      std::memcpy(&n, data + at + 1, 2);
      at += 3;
      n = static_cast<uint16_t>(std::min<size_t>(n, size - at));
      std::string_view bytes(reinterpret_cast<const char*>(data + at), n);
      at += n;
      Apply(kind, bytes, connection, channel);
      Drain(connection, channel);
    }
  }

 private:
  static ServerConfig Config() {
    ServerConfig c;
    c.limits.maxSessions = 4;
    c.limits.maxSubscriptionsPerSession = 3;
    c.limits.maxMonitoredItemsPerSession = 20;
    c.limits.maxQueueSize = 50;
    c.limits.transport.maxMessageSize = 256 * 1024;
    return c;
  }

  void Handshake(MemoryConnection& connection, ClientChannel& channel) {
    connection.Send(channel.Hello("opc.tcp://fuzz:4840"));
    connection.Send(channel.Open(SecurityTokenRequestType::Issue, 600'000));
    Drain(connection, channel);
    CreateSessionRequest create;
    create.requestedSessionTimeout = 60'000;
    connection.Send(channel.Request(create));
    std::vector<ServerMessage> answers;
    std::string error;
    channel.OnBytes(connection.Take(), answers, error);
    CreateSessionResponse created;
    if (answers.size() == 1 && Decode(answers[0].body, created).IsGood())
      channel.authenticationToken = created.authenticationToken;
    ActivateSessionRequest activate;
    activate.userIdentityToken = Wrap(AnonymousIdentityToken{"anonymous"});
    connection.Send(channel.Request(activate));
    Drain(connection, channel);
  }

  void Apply(uint8_t kind, std::string_view bytes, MemoryConnection& connection,
             ClientChannel& channel) {
    switch (kind) {
      case kRaw:
        connection.Send(bytes);
        break;
      case kRequest: {
        if (bytes.size() < 2) return;
        uint16_t typeId = 0;
        std::memcpy(&typeId, bytes.data(), 2);
        RequestHeader header;
        header.authenticationToken = channel.authenticationToken;
        header.requestHandle = ++handle_;
        std::string body = Encode(header);
        body.append(bytes.substr(2));
        connection.Send(channel.Message(++requestId_, typeId, body));
        break;
      }
      case kTime:
        clock_.Advance(bytes.empty() ? 10 : static_cast<uint8_t>(bytes[0]) * 10);
        core_.Tick();
        break;
      case kValue: {
        std::vector<ValueUpdate> batch(1);
        batch[0].handle = bytes.empty() ? 0 : static_cast<uint8_t>(bytes[0]) % 3;
        batch[0].value = DataValue::Of(std::string(bytes));
        core_.ApplyUpdates(batch);
        break;
      }
    }
  }

  // Reads what the server sent, as a client would, so the server's own
  // output goes through the decoders too.
  static void Drain(MemoryConnection& connection, ClientChannel& channel) {
    std::vector<ServerMessage> answers;
    std::string error;
    channel.OnBytes(connection.Take(), answers, error);
  }

  ManualClock clock_;
  ServerCore core_;
  uint32_t handle_ = 100;
  uint32_t requestId_ = 1000;
};

}  // namespace opcua::fuzz
