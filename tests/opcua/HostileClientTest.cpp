// What hostile or careless clients can make the server hold, and that a
// well-behaved client still gets in while they try.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "ServerFixture.h"
#include "opcua/Client.h"
#include "opcua/Server.h"
#include "opcua/TcpTransport.h"

namespace opcua {
namespace {

using test::ServerFixture;
using test::TestClient;

// The chunks of a request without its last one: the server has to hold
// them and wait for the rest.
std::string WithoutLastChunk(const std::string& chunks) {
  size_t offset = 0, last = 0;
  while (offset + 8 <= chunks.size()) {
    last = offset;
    uint32_t size = 0;
    for (int i = 0; i < 4; ++i) size |= uint32_t(uint8_t(chunks[offset + 4 + i])) << (8 * i);
    offset += size;
  }
  return chunks.substr(0, last);
}

// A Write of about `bytes` bytes: many values of 200 bytes to `node`.
WriteRequest LargeWrite(NodeId node, size_t bytes) {
  WriteRequest req;
  WriteValue one{node, kAttrValue, "", DataValue::Of(std::string(200, 'x'))};
  req.nodesToWrite.assign(bytes / 200 + 1, one);
  return req;
}

// The chunks of `req` as `client` would send them.
template <class Req>
std::string Chunks(TestClient& client, Req req) {
  return client.channel.Request(req);
}

ActivateSessionRequest Anonymous() {
  ActivateSessionRequest activate;
  activate.userIdentityToken = Wrap(AnonymousIdentityToken{"anonymous"});
  return activate;
}

StatusCode ReadA(TestClient& client, const NodeId& a) {
  ReadRequest read;
  read.nodesToRead = {{a, kAttrValue, "", {}}};
  ReadResponse resp;
  return client.Call(read, resp);
}

// ---- Sessions ----------------------------------------------------------------------

class SessionAttack : public ServerFixture {
 protected:
  static ServerLimits Limits() {
    ServerLimits l;
    l.maxSessions = 3;
    return l;
  }
  SessionAttack() : ServerFixture(Limits()) {}

  // A session created (and activated when asked) and then left alone.
  std::unique_ptr<TestClient> Abandoned(bool activate, double timeoutMs = 3'600'000) {
    auto c = std::make_unique<TestClient>(core);
    EXPECT_TRUE(c->Connect());
    CreateSessionRequest create;
    create.requestedSessionTimeout = timeoutMs;
    CreateSessionResponse created;
    EXPECT_EQ(c->Call(create, created), status::Good);
    EXPECT_EQ(created.revisedSessionTimeout, std::min(timeoutMs, ServerLimits{}.maxSessionTimeoutMs));
    c->channel.authenticationToken = created.authenticationToken;
    ActivateSessionResponse activated;
    if (activate) {
      EXPECT_EQ(c->Call(Anonymous(), activated), status::Good);
    }
    return c;
  }
};

TEST_F(SessionAttack, AbandonedSessionsGiveWayToANewcomer) {
  std::vector<std::unique_ptr<TestClient>> attackers;
  for (int i = 0; i < 3; ++i) {
    attackers.push_back(Abandoned(true));
    clock.Advance(100);  // the first one is the longest idle
  }
  TestClient newcomer(core);
  ASSERT_TRUE(newcomer.ConnectAndOpenSession());
  EXPECT_EQ(core.SessionCount(), 3u);
  // The longest idle session made room; the others still work.
  EXPECT_EQ(ReadA(*attackers[0], var("A")), status::BadSessionIdInvalid);
  EXPECT_EQ(ReadA(*attackers[1], var("A")), status::Good);

  // Sessions in use (a subscription, a waiting Publish) are never evicted.
  CreateSubscription(newcomer);
  CreateSubscription(*attackers[1]);
  CreateSubscription(*attackers[2]);
  TestClient late(core);
  ASSERT_TRUE(late.Connect());
  EXPECT_EQ(late.OpenSession(), status::BadTooManySessions);
}

TEST_F(SessionAttack, SessionsWhoseClientVanishedGiveWayWhateverTheyHold) {
  // Every session subscribes, monitors a variable and leaves a Publish
  // waiting, as a client that means to stay would.
  std::vector<std::unique_ptr<TestClient>> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(Abandoned(true));
    uint32_t subscription = CreateSubscription(*clients.back());
    Monitor(*clients.back(), subscription, {var("A")});
    SendPublish(*clients.back());
    clock.Advance(100);
  }
  // Two of them drop their sockets; the third stays.
  const NodeId lastToken = clients[1]->channel.authenticationToken;
  clients[0].reset();
  clients[1].reset();
  std::vector<std::unique_ptr<TestClient>> newcomers;
  for (int i = 0; i < 2; ++i) {
    newcomers.push_back(std::make_unique<TestClient>(core));
    ASSERT_TRUE(newcomers.back()->Connect());
    EXPECT_EQ(newcomers.back()->OpenSession(), status::Good) << "newcomer " << i;
    EXPECT_EQ(core.SessionCount(), 3u);
    CreateSubscription(*newcomers.back());
  }
  // Both vanished sessions went, the oldest first: the second one cannot
  // move to a new channel any more.
  TestClient returning(core);
  ASSERT_TRUE(returning.Connect());
  returning.channel.authenticationToken = lastToken;
  ActivateSessionResponse activated;
  EXPECT_EQ(returning.Call(Anonymous(), activated), status::BadSessionIdInvalid);
  // The connected session in use keeps its place.
  EXPECT_EQ(ReadA(*clients[2], var("A")), status::Good);
}

TEST_F(SessionAttack, SessionsNeverActivatedCloseWithinSeconds) {
  std::vector<std::unique_ptr<TestClient>> attackers;
  for (int i = 0; i < 3; ++i) attackers.push_back(Abandoned(false));
  clock.Advance(ServerLimits{}.activationTimeoutMs - 1);
  core.Tick();
  EXPECT_EQ(core.SessionCount(), 3u);
  clock.Advance(2);
  core.Tick();
  EXPECT_EQ(core.SessionCount(), 0u);
  TestClient newcomer(core);
  EXPECT_TRUE(newcomer.ConnectAndOpenSession());
}

TEST_F(SessionAttack, AbandonedSessionsEndAtTheMaximumTimeout) {
  auto attacker = Abandoned(true);  // asked for an hour
  double most = ServerLimits{}.maxSessionTimeoutMs;
  clock.Advance(static_cast<int64_t>(most) - 1);
  core.Tick();
  EXPECT_EQ(core.SessionCount(), 1u);
  clock.Advance(2);
  core.Tick();
  EXPECT_EQ(core.SessionCount(), 0u);
}

// ---- Connections -----------------------------------------------------------------

class ConnectionAttack : public ServerFixture {
 protected:
  static ServerLimits Limits() {
    ServerLimits l;
    l.maxConnections = 6;
    l.maxConnectionsPerPeer = 2;
    return l;
  }
  ConnectionAttack() : ServerFixture(Limits()) {}
};

TEST_F(ConnectionAttack, OneRemotePeerCannotTakeEverySlot) {
  std::vector<std::unique_ptr<MemoryConnection>> held;
  for (int i = 0; i < 2; ++i) {
    held.push_back(std::make_unique<MemoryConnection>(core, "10.0.0.9"));
    EXPECT_TRUE(held.back()->Accepted());
  }
  EXPECT_FALSE(MemoryConnection(core, "10.0.0.9").Accepted());
  EXPECT_TRUE(MemoryConnection(core, "10.0.0.10").Accepted());
  // Local clients are not limited per peer.
  for (const char* local : {"127.0.0.1", "::1", "127.0.0.1"}) {
    held.push_back(std::make_unique<MemoryConnection>(core, local));
    EXPECT_TRUE(held.back()->Accepted()) << local;
  }
  // A connection that goes gives its peer the slot back.
  held.erase(held.begin());
  EXPECT_TRUE(MemoryConnection(core, "10.0.0.9").Accepted());
}

TEST_F(ConnectionAttack, ChannelsWithoutASessionAreDropped) {
  TestClient idle(core), working(core);
  ASSERT_TRUE(idle.Connect());
  ASSERT_TRUE(working.ConnectAndOpenSession());
  int64_t limit = ServerLimits{}.sessionlessConnectionTimeoutMs;
  for (int64_t passed = 0; passed <= limit; passed += 10'000) {
    clock.Advance(10'000);
    ReadA(working, var("A"));  // keeps its session alive
    core.Tick();
  }
  EXPECT_TRUE(idle.connection.Closed());
  EXPECT_FALSE(working.connection.Closed());
}

TEST_F(ConnectionAttack, AConnectionIsServedOneChunkPerTurn) {
  TestClient busy(core), other(core);
  ASSERT_TRUE(busy.ConnectAndOpenSession());
  ASSERT_TRUE(other.ConnectAndOpenSession());
  // Five requests in one read, as a client that floods the server sends them.
  constexpr int kRequests = 5;
  std::string burst;
  ReadRequest read;
  read.nodesToRead = {{var("A"), kAttrValue, "", {}}};
  for (int i = 0; i < kRequests; ++i) burst += busy.channel.Request(read);
  const ConnectionId id = busy.connection.Id();
  ASSERT_TRUE(core.Receive(id, burst));
  EXPECT_EQ(busy.Collect().size(), 1u);
  EXPECT_TRUE(core.HasBacklog(id));
  EXPECT_EQ(core.NextTimerMs(), clock.MonotonicMs());  // the server thread does not sleep
  // Another client is served in between, and each turn serves one more.
  EXPECT_EQ(ReadA(other, var("A")), status::Good);
  for (int turn = 2; turn <= kRequests; ++turn) {
    core.Tick();
    EXPECT_EQ(busy.Collect().size(), 1u) << "turn " << turn;
  }
  EXPECT_FALSE(core.HasBacklog(id));
}

// ---- Incomplete requests ------------------------------------------------------------

class IncompleteRequests : public ServerFixture {
 protected:
  static ServerLimits Limits() {
    ServerLimits l;
    l.maxIncompleteRequestBytes = 1 << 20;
    return l;
  }
  IncompleteRequests() : ServerFixture(Limits()) {}
};

TEST_F(IncompleteRequests, LargeRequestsNeedASession) {
  size_t small = TransportLimits{}.maxMessageSizeWithoutSession;
  TestClient anonymous(core);
  ASSERT_TRUE(anonymous.Connect());
  auto answer = anonymous.Exchange(Chunks(anonymous, LargeWrite(var("A"), small)));
  ASSERT_EQ(answer.size(), 1u);
  EXPECT_EQ(answer[0].type, MessageType::Error);
  EXPECT_EQ(answer[0].error.error, status::BadRequestTooLarge);
  EXPECT_EQ(core.IncompleteRequestBytes(), 0u);

  TestClient client(core);
  ASSERT_TRUE(client.ConnectAndOpenSession());
  WriteResponse resp;
  ASSERT_EQ(client.Call(LargeWrite(var("A"), 3 * small / 2), resp), status::Good);
  EXPECT_EQ(resp.results.size(), 3 * small / 2 / 200 + 1);
  EXPECT_TRUE(std::all_of(resp.results.begin(), resp.results.end(),
                          [](StatusCode r) { return r == status::Good; }));
  EXPECT_EQ(core.IncompleteRequestBytes(), 0u);  // given back once complete
}

TEST_F(IncompleteRequests, HeldBytesAreBoundedServerWideAndExpire) {
  TestClient first(core), second(core), reader(core);
  for (TestClient* c : {&first, &second, &reader}) ASSERT_TRUE(c->ConnectAndOpenSession());
  EXPECT_TRUE(first.Exchange(WithoutLastChunk(Chunks(first, LargeWrite(var("A"), 900'000))))
                  .empty());
  EXPECT_GE(core.IncompleteRequestBytes(), 900'000u);
  auto refused = second.Exchange(Chunks(second, LargeWrite(var("B"), 200'000)));
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].error.error, status::BadTcpServerTooBusy);
  // Requests in one chunk are not held and go on being served.
  EXPECT_EQ(ReadA(reader, var("A")), status::Good);

  clock.Advance(ServerLimits{}.incompleteRequestTimeoutMs + 1);
  ReadA(first, var("A"));  // activity does not extend an incomplete request
  core.Tick();
  EXPECT_TRUE(first.connection.Closed());
  core.CloseConnection(core.TakeConnectionsToClose().at(0));
  EXPECT_EQ(core.IncompleteRequestBytes(), 0u);
}

// ---- Monitored item memory ---------------------------------------------------------

class QueueBudget : public ServerFixture {
 protected:
  static ServerLimits Limits() {
    ServerLimits l;
    l.maxMonitoredItemsPerSession = 4;
    l.maxQueuedValuesPerSession = 10;
    l.maxRetransmissionBytesPerSession = 2000;
    return l;
  }
  QueueBudget() : ServerFixture(Limits()) {}
  void SetUp() override { ASSERT_TRUE(client.ConnectAndOpenSession()); }
  TestClient client{core};
};

TEST_F(QueueBudget, TheDefaultLimitsFitTheBudget) {
  ServerLimits defaults;
  EXPECT_LE(WorstCaseMonitoredItemBytes(defaults), defaults.monitoredItemBudgetBytes);
  EXPECT_GE(defaults.maxQueuedValuesPerSession, defaults.maxMonitoredItemsPerSession);
}

TEST_F(QueueBudget, QueueSizesAreRevisedToLeaveEveryItemASlotAndGivenBackAtTheEnd) {
  uint32_t sub = CreateSubscription(client);
  auto items = Monitor(client, sub, {var("A"), var("B"), var("A"), var("B")}, 1000);
  std::vector<uint32_t> revised;
  for (const auto& r : items.results) revised.push_back(r.revisedQueueSize);
  // Ten slots, four items: the first takes what the other three leave.
  EXPECT_EQ(revised, (std::vector<uint32_t>{7, 1, 1, 1}));
  EXPECT_EQ(core.ReservedQueueSlots(), 10u);

  // Shrinking one item lets another grow.
  ModifyMonitoredItemsRequest modify;
  modify.subscriptionId = sub;
  modify.itemsToModify = {{items.results[0].monitoredItemId, {}}, {items.results[1].monitoredItemId, {}}};
  modify.itemsToModify[0].requestedParameters.queueSize = 2;
  modify.itemsToModify[1].requestedParameters.queueSize = 1000;
  ModifyMonitoredItemsResponse modified;
  ASSERT_EQ(client.Call(modify, modified), status::Good);
  EXPECT_EQ(modified.results.at(0).revisedQueueSize, 2u);
  EXPECT_EQ(modified.results.at(1).revisedQueueSize, 6u);
  EXPECT_EQ(core.ReservedQueueSlots(), 10u);

  CloseSessionResponse closed;
  ASSERT_EQ(client.Call(CloseSessionRequest{}, closed), status::Good);
  EXPECT_EQ(core.ReservedQueueSlots(), 0u);
}

TEST_F(QueueBudget, UnacknowledgedMessagesAreKeptWithinTheSessionsBytes) {
  uint32_t sub = CreateSubscription(client);
  Monitor(client, sub, {var("A")}, 1);
  uint32_t last = 0;
  for (int i = 0; i < 10; ++i) {
    Set(0, std::string(300, 'a' + i));
    PublishResponse resp = PublishOnce(client);
    last = resp.notificationMessage.sequenceNumber;
    ASSERT_FALSE(resp.availableSequenceNumbers.empty());
    EXPECT_EQ(resp.availableSequenceNumbers.back(), last);
    EXPECT_LE(resp.availableSequenceNumbers.size(), 5u);  // about 400 bytes each
  }
  EXPECT_EQ(last, 10u);
}

// ---- Over TCP --------------------------------------------------------------------

// Opens a session over loopback TCP, activates it and walks away without
// closing it.
void AbandonSessionOverTcp(uint16_t port, double timeoutMs) {
  TcpStream stream;
  ClientChannel channel;
  std::string error;
  ASSERT_TRUE(stream.Connect("127.0.0.1", port, 2000, error)) << error;
  auto exchange = [&](const std::string& bytes) {
    std::vector<ServerMessage> out;
    EXPECT_TRUE(stream.Send(bytes, error)) << error;
    std::string received;
    while (out.empty() && stream.Receive(2000, received, error)) {
      EXPECT_TRUE(channel.OnBytes(received, out, error)) << error;
      received.clear();
    }
    return out.empty() ? ServerMessage{} : out[0];
  };
  exchange(channel.Hello("opc.tcp://127.0.0.1"));
  exchange(channel.Open(SecurityTokenRequestType::Issue, 600'000));
  CreateSessionRequest create;
  create.requestedSessionTimeout = timeoutMs;
  CreateSessionResponse created;
  ASSERT_EQ(DecodeResponse(exchange(channel.Request(create)), created), status::Good);
  channel.authenticationToken = created.authenticationToken;
  ActivateSessionRequest activate = Anonymous();
  ActivateSessionResponse activated;
  ASSERT_EQ(DecodeResponse(exchange(channel.Request(activate)), activated), status::Good);
}

TEST(HostileClientsOverTcp, AbandonedSessionsDoNotLockOutANewcomer) {
  ServerConfig config;
  config.endpointUrl = "opc.tcp://127.0.0.1:0";
  config.limits.maxSessions = 5;
  Server server(config);
  std::string error;
  ASSERT_TRUE(server.Start(error)) << error;
  for (int i = 0; i < 8; ++i) AbandonSessionOverTcp(server.Port(), 3'600'000);
  EXPECT_EQ(server.SessionCount(), 5u);
  Client newcomer;
  ASSERT_TRUE(newcomer.Connect("opc.tcp://127.0.0.1:" + std::to_string(server.Port()), error)) << error;
  DataValue value;
  EXPECT_EQ(newcomer.Read(NodeId(0, ids::ServerStatus_State), value), status::Good);
  newcomer.Disconnect();
  server.Stop();
}

}  // namespace
}  // namespace opcua
