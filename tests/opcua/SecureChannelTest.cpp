// The UA TCP handshake, secure channel and chunking, through the in-memory
// connection.

#include <gtest/gtest.h>

#include "TestClient.h"

namespace opcua {
namespace {

using test::TestClient;

class SecureChannelTest : public ::testing::Test {
 protected:
  ServerConfig Config() {
    ServerConfig c;
    c.limits.transport.receiveBufferSize = 8192;
    c.limits.transport.maxMessageSize = 64 * 1024;
    c.limits.transport.maxChunkCount = 16;
    return c;
  }
  ManualClock clock;
  ServerCore core{Config(), clock};
};

// The only message of an answer must be an ERR with `code`.
void ExpectError(const std::vector<ServerMessage>& answer, StatusCode code) {
  ASSERT_EQ(answer.size(), 1u);
  EXPECT_EQ(answer[0].type, MessageType::Error);
  EXPECT_EQ(answer[0].error.error, code) << StatusName(answer[0].error.error) << ": "
                                         << answer[0].error.reason;
}

TEST_F(SecureChannelTest, HelloIsAcknowledgedWithTheNegotiatedSizes) {
  TestClient client(core);
  client.channel.receiveBufferSize = 10000;
  client.channel.sendBufferSize = 100000;
  auto answer = client.Exchange(client.channel.Hello(test::kUrl));
  ASSERT_EQ(answer.size(), 1u);
  ASSERT_EQ(answer[0].type, MessageType::Acknowledge);
  EXPECT_EQ(client.channel.ServerReceiveBufferSize(), 8192u);
}

TEST_F(SecureChannelTest, ProtocolViolationsCloseTheConnectionWithTheRightCode) {
  struct Case {
    const char* what;
    std::function<std::string(ClientChannel&)> bytes;
    StatusCode code;
  } cases[] = {
      {"MSG before HEL",
       [](ClientChannel& c) {
         ReadRequest r;
         return c.Request(r);
       },
       status::BadTcpMessageTypeInvalid},
      {"unknown message type", [](ClientChannel&) { return std::string("XYZF\x08\0\0\0", 8); },
       status::BadTcpMessageTypeInvalid},
      {"chunk larger than the receive buffer",
       [](ClientChannel&) { return std::string("HELF\x00\x00\x01\x00", 8); },
       status::BadTcpMessageTooLarge},
      {"tiny buffers in HEL",
       [](ClientChannel& c) {
         c.receiveBufferSize = 1024;
         return c.Hello(test::kUrl);
       },
       status::BadTcpInternalError},
  };
  for (const auto& c : cases) {
    TestClient client(core);
    auto answer = client.Exchange(c.bytes(client.channel));
    ExpectError(answer, c.code);
    EXPECT_TRUE(client.connection.Closed()) << c.what;
  }
}

TEST_F(SecureChannelTest, AnUnknownSecurityPolicyIsRejected) {
  TestClient client(core);
  client.Exchange(client.channel.Hello(test::kUrl));
  std::string open = client.channel.Open(SecurityTokenRequestType::Issue, 60'000);
  // Swap the policy URI for another of the same length (…#None -> …#Nope).
  size_t at = open.find("#None");
  ASSERT_NE(at, std::string::npos);
  open.replace(at, 5, "#Nope");
  ExpectError(client.Exchange(open), status::BadSecurityPolicyRejected);
}

TEST_F(SecureChannelTest, TokenRenewalKeepsTheChannelAndExpiryClosesIt) {
  TestClient client(core);
  ASSERT_TRUE(client.Connect());
  uint32_t firstToken = client.channel.TokenId();
  clock.Advance(30'000);
  auto renewed = client.Exchange(client.channel.Open(SecurityTokenRequestType::Renew, 60'000));
  ASSERT_EQ(renewed.size(), 1u);
  EXPECT_EQ(renewed[0].type, MessageType::Open);
  EXPECT_NE(client.channel.TokenId(), firstToken);
  EXPECT_TRUE(client.OpenSession().IsGood());

  // Without a further renewal the token runs out (lifetime plus a quarter).
  clock.Advance(76'000);
  core.Tick();
  EXPECT_TRUE(client.connection.Closed());
}

TEST_F(SecureChannelTest, RequestsAndResponsesTravelInSeveralChunks) {
  ServerCore& server = core;
  uint16_t ns = server.RegisterNamespace("urn:test");
  uint32_t handle = 0;
  std::string error;
  ASSERT_TRUE(server.AddVariable(NodeId(0, 85), NodeId(ns, "Big"), "Big",
                                 std::string(30'000, 'x'), false, handle, error));
  TestClient client(core);
  client.channel.receiveBufferSize = 8192;
  ASSERT_TRUE(client.ConnectAndOpenSession());

  // 2000 reads of one node: a request of several 8 KiB chunks, and an
  // answer (2000 x 30 kB would be too big, so read the small NodeId).
  ReadRequest read;
  for (int i = 0; i < 2000; ++i) read.nodesToRead.push_back({NodeId(ns, "Big"), 1, "", {}});
  std::string bytes = client.channel.Request(read);
  EXPECT_GT(bytes.size(), 2 * 8192u);
  auto answer = client.Exchange(bytes);
  ASSERT_EQ(answer.size(), 1u);
  ReadResponse response;
  ASSERT_EQ(TestClient::Answer(answer[0], response), status::Good);
  EXPECT_EQ(response.results.size(), 2000u);

  // The 30 kB value comes back in several chunks and is put together again.
  ReadRequest one;
  one.nodesToRead = {{NodeId(ns, "Big"), 13, "", {}}};
  ReadResponse big;
  ASSERT_EQ(client.Call(one, big), status::Good);
  EXPECT_EQ(std::get<std::string>(big.results.at(0).value.scalar).size(), 30'000u);
}

TEST_F(SecureChannelTest, OversizedRequestsAndResponsesAreRefused) {
  TestClient client(core);
  ASSERT_TRUE(client.ConnectAndOpenSession());
  // Beyond the 16-chunk limit: the channel is closed with BadRequestTooLarge.
  ReadRequest read;
  for (int i = 0; i < 20'000; ++i) read.nodesToRead.push_back({NodeId(0, 85), 1, "", {}});
  ExpectError(client.Exchange(client.channel.Request(read)), status::BadRequestTooLarge);

  // A client that accepts at most 8 KiB messages gets BadResponseTooLarge.
  TestClient small(core);
  small.channel.maxMessageSize = 8192;
  ASSERT_TRUE(small.ConnectAndOpenSession());
  ReadRequest many;
  for (int i = 0; i < 2000; ++i) many.nodesToRead.push_back({NodeId(0, 85), 3, "", {}});
  ReadResponse response;
  EXPECT_EQ(small.Call(many, response), status::BadResponseTooLarge);
}

TEST_F(SecureChannelTest, HalfOpenAndIdleConnectionsAreDropped) {
  TestClient silent(core);
  TestClient helloOnly(core);
  helloOnly.Exchange(helloOnly.channel.Hello(test::kUrl));
  TestClient open(core);
  ASSERT_TRUE(open.Connect());
  clock.Advance(10'001);
  core.Tick();
  EXPECT_TRUE(silent.connection.Closed());
  EXPECT_TRUE(helloOnly.connection.Closed());
  EXPECT_FALSE(open.connection.Closed());
}

TEST_F(SecureChannelTest, CloseEndsTheConnection) {
  TestClient client(core);
  ASSERT_TRUE(client.Connect());
  EXPECT_TRUE(client.Exchange(client.channel.Close()).empty());
  EXPECT_TRUE(client.connection.Closed());
}

}  // namespace
}  // namespace opcua
