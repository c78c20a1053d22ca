#pragma once
// A small blocking OPC UA client (opc.tcp, SecurityPolicy None, anonymous):
// enough to read, write and subscribe, for a master link and for tests.
// Not thread-safe; one thread uses one Client.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "opcua/ClientChannel.h"
#include "opcua/TcpTransport.h"

namespace opcua {

class Client {
 public:
  Client() = default;
  ~Client() { Disconnect(); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // The name the client announces: its session name and the application
  // name of its description ("client" unless set). Takes effect at the next
  // Connect.
  void SetApplicationName(std::string name) { applicationName_ = std::move(name); }

  // Opens the channel and an activated anonymous session.
  bool Connect(const std::string& endpointUrl, std::string& error, int timeoutMs = 5000);
  // Closes the session and the channel; harmless when not connected.
  void Disconnect();
  bool Connected() const { return stream_.IsOpen(); }

  // Sends `req` and waits for its answer. Returns the service result, the
  // code of a ServiceFault, or BadCommunicationError/BadTimeout (see
  // LastError()).
  template <class Req, class Resp>
  StatusCode Call(Req& req, Resp& resp, int timeoutMs = 5000) {
    uint32_t requestId = 0;
    std::string bytes = channel_.Request(req, &requestId);
    ServerMessage answer;
    StatusCode sent = Exchange(bytes, requestId, answer, timeoutMs);
    if (!sent.IsGood()) return sent;
    return DecodeResponse(answer, resp);
  }

  StatusCode Read(const NodeId& node, DataValue& value);
  StatusCode Write(const NodeId& node, const Variant& value);
  StatusCode CreateSubscription(double publishingIntervalMs, uint32_t& subscriptionId);
  // Monitors the Value of each node with sampling interval 0; the client
  // handle of nodes[i] is i.
  StatusCode Monitor(uint32_t subscriptionId, const std::vector<NodeId>& nodes, uint32_t queueSize);
  // One Publish round trip, acknowledging what the previous one brought.
  StatusCode Publish(PublishResponse& response, int timeoutMs = 5000);

  const std::string& LastError() const { return lastError_; }

 private:
  StatusCode Exchange(const std::string& bytes, uint32_t requestId, ServerMessage& answer,
                      int timeoutMs);

  TcpStream stream_;
  ClientChannel channel_;
  std::map<uint32_t, ServerMessage> early_;  // answers to other requests
  std::set<uint32_t> abandoned_;             // requests whose caller gave up
  std::vector<SubscriptionAcknowledgement> pendingAcks_;
  std::string lastError_;
  std::string applicationName_ = "client";
};

}  // namespace opcua
