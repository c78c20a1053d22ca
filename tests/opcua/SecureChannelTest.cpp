// The UA TCP handshake, secure channel and chunking, through the in-memory
// connection.

#include <gtest/gtest.h>

#include "TestClient.h"
#include "opcua/ChannelSecurity.h"

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

TEST_F(SecureChannelTest, ABadChunkHeaderIsNamedForWhatIsWrongWithIt) {
  struct Case {
    std::string bytes;
    const char* reason;
  } cases[] = {
      {std::string("XYZF\x08\0\0\0", 8), "unknown message type 'XYZ'"},
      {std::string("HELX\x08\0\0\0", 8), "unknown chunk type 'X' of a HEL chunk"},
      {std::string("HELF\0\0\0\0", 8), "HEL chunk of size 0, smaller than its own 8-byte header"},
      {std::string("MSGF\x07\0\0\0", 8), "MSG chunk of size 7, smaller than its own 8-byte header"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    TestClient client(core);
    auto answer = client.Exchange(c.bytes);
    ExpectError(answer, status::BadTcpMessageTypeInvalid);
    ASSERT_FALSE(answer.empty());
    EXPECT_EQ(answer[0].error.reason, c.reason);
    EXPECT_TRUE(client.connection.Closed());
  }
}

TEST_F(SecureChannelTest, AnOpenWithARequestTypeOtherThanIssueOrRenewIsRefused) {
  for (int32_t type : {2, 9, -1}) {
    SCOPED_TRACE(type);
    TestClient client(core);
    client.Exchange(client.channel.Hello(test::kUrl));
    auto answer = client.Exchange(client.channel.Open(SecurityTokenRequestType{type}, 60'000));
    ExpectError(answer, status::BadRequestTypeInvalid);
    EXPECT_TRUE(client.connection.Closed());
  }
}

// The client's side of the limits: what its HEL announces, and a server
// that answers with chunks that never end.
TEST_F(SecureChannelTest, TheClientAnnouncesAndEnforcesAMessageSizeAndChunkCount) {
  ClientChannel fresh;
  HelloMessage hello;
  std::string helloChunk = fresh.Hello(test::kUrl);
  ASSERT_TRUE(Decode(std::string_view(helloChunk).substr(kChunkHeaderSize), hello).IsGood());
  EXPECT_EQ(hello.maxMessageSize, kDefaultMaxMessageSize);
  EXPECT_EQ(hello.maxChunkCount, kDefaultMaxChunkCount);

  struct Case {
    const char* what;
    uint32_t maxMessageSize, maxChunkCount;
    size_t pieceSize;
    int chunksAccepted;  // 'C' chunks taken before the one that breaks a limit
  } cases[] = {
      {"message size", 64 * 1024, 0, 4000, 16},  // 16 x 4000 fits, the 17th does not
      {"chunk count", 0, 10, 100, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestClient client(core);
    client.channel.maxMessageSize = c.maxMessageSize;
    client.channel.maxChunkCount = c.maxChunkCount;
    ASSERT_TRUE(client.Connect());
    uint32_t sequence = 2;  // the server's OPN answer was number 1
    const SymmetricProtection none{nullptr, MessageSecurityMode::None, {}};
    std::vector<ServerMessage> out;
    std::string error;
    int accepted = 0;
    for (; accepted < 1000; ++accepted) {
      std::string chunk = SecureChunk(MessageType::Message, 'C', 0, client.channel.TokenId(),
                                      SequenceHeader{sequence++, 7}, std::string(c.pieceSize, 'x'),
                                      none);
      if (!client.channel.OnBytes(chunk, out, error)) break;
    }
    EXPECT_EQ(accepted, c.chunksAccepted);
    EXPECT_NE(error.find("beyond"), std::string::npos) << error;
    EXPECT_TRUE(out.empty());
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
