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
//   kind 4: the application sets the alarm's state (FuzzServer::SetAlarm)

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzRecords.h"
#include "FuzzServer.h"

namespace opcua::fuzz {

// The source time of the history variable's first value (2026-01-01), the
// seeds' history reads start there.
inline constexpr int64_t kHistoryStartMicros = 1'767'225'600'000'000;

enum RecordKind : uint8_t { kRaw = 0, kRequest = 1, kTime = 2, kValue = 3, kAlarm = 4, kKinds = 5 };

// The first byte of an input: whether to open a session first.
inline uint8_t Lead(bool handshake) { return handshake ? 1 : 0; }

// A request record for `request`, without its header.
template <class Req>
Record RequestRecord(const Req& request) {
  return {kRequest, RequestData(request)};
}

class Harness {
 public:
  void Run(const uint8_t* data, size_t size) {
    if (size == 0) return;
    MemoryConnection connection(server_.core());
    ClientChannel channel;
    if (data[0] & 1) Handshake(connection, channel);
    RecordReader records(data, size);
    uint8_t kind = 0;
    std::string_view bytes;
    while (!connection.Closed() && records.Next(kKinds, kind, bytes)) {
      Apply(kind, bytes, connection, channel);
      Drain(connection, channel);
    }
  }

 private:
  void Handshake(MemoryConnection& connection, ClientChannel& channel) {
    connection.Send(channel.Hello(kFuzzUrl));
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
      case kRequest:
        if (bytes.size() < 2) return;
        connection.Send(server_.RequestMessage(channel, bytes));
        break;
      case kTime:
        server_.Elapse(bytes);
        break;
      case kValue: {
        // bytes[0] picks A, B, C or the history variable H, which takes the
        // record's length as its value, a second apart.
        std::vector<ValueUpdate> batch(1);
        const uint8_t pick = bytes.empty() ? 0 : static_cast<uint8_t>(bytes[0]) % 4;
        if (pick == 3) {
          const Variant number = static_cast<double>(bytes.size());
          const DateTime time = DateTime::FromUnixMicros(kHistoryStartMicros + ++historyValues_ * 1'000'000);
          server_.core().RecordHistory(server_.historyHandle(), number, status::Good, time);
          batch[0].handle = server_.historyHandle();
          batch[0].value = DataValue::Of(number);
          batch[0].value.hasSourceTimestamp = true;
          batch[0].value.sourceTimestamp = time;
        } else {
          batch[0].handle = pick;
          batch[0].value = DataValue::Of(std::string(bytes));
        }
        server_.core().ApplyUpdates(batch);
        break;
      }
      case kAlarm:
        server_.SetAlarm(bytes);
        break;
    }
  }

  FuzzServer server_{FuzzConfig()};
  int64_t historyValues_ = 0;
};

}  // namespace opcua::fuzz
