#pragma once
// A small blocking OPC UA client (opc.tcp): enough to read, write, call
// methods and subscribe, for a master link, benchmarks and tests. Without settings it
// connects under SecurityPolicy None and anonymously; it can secure its
// channel and sign in with a user name and password.
// Not thread-safe; one thread uses one Client, except for Interrupt().

#include <map>
#include <set>
#include <string>
#include <vector>

#include "opcua/ClientChannel.h"
#include "opcua/MethodTypes.h"
#include "opcua/TcpStream.h"

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
  // The application URI the client announces; a server checks it against
  // the client's certificate. Empty unless set. Takes effect at the next
  // Connect.
  void SetApplicationUri(std::string uri) { applicationUri_ = std::move(uri); }
  // Secures the channel with `policyUri` and `mode`, as the application of
  // `certificateDer` with its private key `privateKeyPem`; the server's
  // certificate is taken from its endpoint. Takes effect at the next
  // Connect.
  void SetSecurity(std::string policyUri, MessageSecurityMode mode, std::string certificateDer,
                   std::string privateKeyPem);
  // Signs in as `user` instead of anonymously at the next Connect. The
  // password travels encrypted for the server's certificate, or as it is
  // only inside an encrypted channel whose endpoint asks for no more.
  void SetUser(std::string user, std::string password);

  // Opens the channel and an activated session. A secured channel first
  // asks the server for its endpoints over a channel without security.
  bool Connect(const std::string& endpointUrl, std::string& error, int timeoutMs = 5000);
  // Closes the session and the channel and frees what the connection held
  // (a response half received, answers nobody took); harmless when not
  // connected.
  void Disconnect();
  // Any thread, for good: the call waiting now and every later one give up
  // at once (BadCommunicationError, "interrupted"), so a thread that talks
  // to a silent server can be stopped without waiting out its timeouts; a
  // Disconnect then only closes the socket.
  void Interrupt() { stream_.Interrupt(); }
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
  // Calls method `method` of `object`. Returns the method's status (or the
  // request's, when it failed as a whole); `outputs` gets the method's
  // outputs when Good.
  StatusCode CallMethod(const NodeId& object, const NodeId& method, std::vector<Variant> inputs,
                        std::vector<Variant>& outputs);
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
  // Closes the socket after a broken exchange and frees the connection's
  // buffers; the channel is unusable from here on.
  void Drop();
  // TCP connection, HEL/ACK and OPN with the channel as set up in channel_.
  bool OpenChannel(const std::string& endpointUrl, std::string& error, int timeoutMs);
  // The server's endpoint for our policy and mode, asked over a channel
  // without security that is closed again.
  bool DiscoverEndpoint(const std::string& endpointUrl, EndpointDescription& endpoint,
                        std::string& error, int timeoutMs);
  // The session's CreateSession and ActivateSession on the open channel.
  bool OpenSession(const std::string& endpointUrl, const std::string& serverCertificate,
                   std::string& error, int timeoutMs);
  // The identity token of our user, or anonymous; false with `error` when
  // the endpoint offers no way to send the password safely.
  bool IdentityToken(const std::vector<EndpointDescription>& endpoints,
                     const std::string& serverCertificate, const std::string& serverNonce,
                     ExtensionObject& token, std::string& error) const;

  TcpStream stream_;
  ClientChannel channel_;
  std::map<uint32_t, ServerMessage> early_;  // answers to other requests
  std::set<uint32_t> abandoned_;             // requests whose caller gave up
  std::vector<SubscriptionAcknowledgement> pendingAcks_;
  std::string lastError_;
  std::string applicationName_ = "client";
  std::string applicationUri_;
  ClientSecurity security_;  // serverCertificateDer filled in at Connect
  std::string user_;         // empty: anonymous
  std::string password_;
};

}  // namespace opcua
