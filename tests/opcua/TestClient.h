#pragma once
// A client for tests: the client channel codec over an in-memory connection
// to a ServerCore, with calls that return the service result.

#include <string>
#include <vector>

#include "opcua/ClientChannel.h"
#include "opcua/MemoryConnection.h"
#include "opcua/ServerCore.h"

namespace opcua::test {

inline constexpr const char* kUrl = "opc.tcp://127.0.0.1:4840";

class TestClient {
 public:
  // `peerAddress` stands for the address the client connects from.
  explicit TestClient(ServerCore& core, const std::string& peerAddress = {})
      : connection(core, peerAddress) {}

  // Sends bytes and returns every whole message the server answered with.
  std::vector<ServerMessage> Exchange(const std::string& bytes) {
    connection.Send(bytes);
    return Collect();
  }
  std::vector<ServerMessage> Collect() {
    std::vector<ServerMessage> out;
    std::string error;
    if (!channel.OnBytes(connection.Take(), out, error)) lastError = error;
    return out;
  }

  // HEL/ACK and OPN; true when both answered as they should.
  bool Connect() {
    auto ack = Exchange(channel.Hello(kUrl));
    auto opn = Exchange(channel.Open(SecurityTokenRequestType::Issue, 600'000));
    return ack.size() == 1 && ack[0].type == MessageType::Acknowledge && opn.size() == 1 &&
           opn[0].type == MessageType::Open;
  }

  // Sends `req` and decodes the single answer into `resp`. Returns the
  // service result, the ServiceFault's code, or BadUnknownResponse.
  template <class Req, class Resp>
  StatusCode Call(Req req, Resp& resp) {
    auto messages = Exchange(channel.Request(req));
    if (messages.size() != 1) return status::BadTimeout;  // no answer (yet)
    return Answer(messages[0], resp);
  }

  template <class Resp>
  static StatusCode Answer(const ServerMessage& m, Resp& resp) {
    return DecodeResponse(m, resp);
  }

  // CreateSession + ActivateSession (anonymous).
  StatusCode OpenSession() {
    CreateSessionRequest create;
    create.requestedSessionTimeout = 60'000;
    create.sessionName = "test";
    CreateSessionResponse created;
    StatusCode result = Call(create, created);
    if (!result.IsGood()) return result;
    channel.authenticationToken = created.authenticationToken;
    ActivateSessionRequest activate;
    activate.userIdentityToken = Wrap(AnonymousIdentityToken{"anonymous"});
    ActivateSessionResponse activated;
    return Call(activate, activated);
  }

  bool ConnectAndOpenSession() { return Connect() && OpenSession().IsGood(); }

  MemoryConnection connection;
  ClientChannel channel;
  std::string lastError;
};

}  // namespace opcua::test
