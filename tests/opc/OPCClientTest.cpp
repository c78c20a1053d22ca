// The OPC client layer: OPC UA statuses as quality words, values as text,
// and the OPC UA client against the simulator's own server in this process
// (connect, registration outcomes, data changes, a lost connection).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ServedServer.h"
#include "opc/OPCQuality.h"
#include "opc/OPCUAClient.h"

namespace qx {
namespace {

using Clock = std::chrono::steady_clock;

TEST(OPCQuality, StatusCodesMapToTheirQualityWords) {
  struct Case {
    uint32_t status;
    uint16_t quality;
  };
  const Case cases[] = {
      {0x00000000, 192},  // Good
      {0x00000480, 192},  // Good with the overflow info bits
      {0x002D0000, 192},  // another Good sub-code
      {0x00960000, 216},  // GoodLocalOverride
      {0x40000000, 64},   // Uncertain
      {0x40900000, 0x44}, {0x40930000, 0x50}, {0x40940000, 0x54}, {0x40950000, 0x58},
      {0x80000000, 0},    // Bad
      {0x80340000, 0},    // BadNodeIdUnknown
      {0x808A0000, 0x08}, {0x808B0000, 0x0C}, {0x808C0000, 0x10},
      {0x80310000, 0x18}, {0x808D0000, 0x1C}, {0x80320000, 0x20},
  };
  for (const Case& c : cases)
    EXPECT_EQ(QualityOfStatus(opcua::StatusCode{c.status}), c.quality) << std::hex << c.status;
}

TEST(OPCQuality, ValuesAsText) {
  EXPECT_EQ(ValueText(opcua::Variant(std::string("12,5"))), "12,5");
  EXPECT_EQ(ValueText(opcua::Variant(12.5)), "12.5");
  EXPECT_EQ(ValueText(opcua::Variant(0.1f)), "0.1");
  EXPECT_EQ(ValueText(opcua::Variant(int32_t{-7})), "-7");
  EXPECT_EQ(ValueText(opcua::Variant(uint8_t{200})), "200");
  EXPECT_EQ(ValueText(opcua::Variant(true)), "True");
  EXPECT_EQ(ValueText(opcua::Variant()), "");
}

// Records the events as words, with the values of the first item.
class Recorder : public OPCClientEvents {
 public:
  std::vector<std::string> Events;
  void OnConnect() override { Events.push_back("connect"); }
  void OnDisconnect() override { Events.push_back("disconnect"); }
  void OnDataChange(OPCClientGroup& group) override {
    const OPCClientItem& item = group.Item(0);
    Events.push_back("data " + item.ValueText + " " + std::to_string(item.Quality));
  }
  void OnSetActiveDone(std::string_view error) override {
    Events.push_back(error.empty() ? "active" : "active failed: " + std::string(error));
  }
  void OnAddItemsDone(OPCClientGroup&, std::string_view error) override {
    Events.push_back(error.empty() ? "added" : "add failed: " + std::string(error));
  }
};

class OPCUAClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = test::ServeOnFreePort([this] { return std::make_unique<COPCServer>(model_, '.'); }, endpoint_);
    ASSERT_TRUE(server_);
    client_.SetEndpoint(endpoint_);
  }

  // Sets the master's QX_S.OP.
  void SetOutput(const std::string& text, int quality = kQualityGood) {
    server_->GBBeginUpdate();
    server_->GBSetItem(server_->ItemHandles()[2], text, quality, opcua::DateTime{});
    server_->GBEndUpdate();
  }

  // Delivers events until `last` has been recorded or `timeout` passed.
  bool DeliverUntil(const std::string& last, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto end = Clock::now() + timeout;
    while (Clock::now() < end) {
      client_.DeliverEvents(events_);
      if (!events_.Events.empty() && events_.Events.back() == last) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  OPCClientGroup& GroupWith(std::vector<std::string> items) {
    OPCClientGroup& group = client_.AddGroup("Brelvine Slave");
    group.SetUpdateRate(100);
    for (std::string& id : items) group.AddItem(std::move(id));
    return group;
  }

  LoopModel model_;
  std::string endpoint_;
  std::unique_ptr<COPCServer> server_;
  OPCUAClient client_;
  Recorder events_;
};

TEST_F(OPCUAClientTest, ConnectingRegistersTheItemsAndDeliversTheirChanges) {
  OPCClientGroup& group = GroupWith({"QX_S.OP"});
  SetOutput("40");
  client_.SetActive(true);
  EXPECT_TRUE(client_.Active());
  ASSERT_TRUE(DeliverUntil("data 40 192")) << ::testing::PrintToString(events_.Events);
  EXPECT_EQ(events_.Events[0], "connect");
  EXPECT_EQ(events_.Events[1], "active");
  EXPECT_TRUE(group.Item(0).Registered);
  EXPECT_EQ(group.Item(0).LastError, 0u);

  SetOutput("45.5");
  ASSERT_TRUE(DeliverUntil("data 45.5 192"));
  SetOutput("45.5", 0);
  ASSERT_TRUE(DeliverUntil("data 45.5 0")) << "a bad value is not quality 192";

  client_.SetActive(false);
  EXPECT_FALSE(client_.Active());
  ASSERT_TRUE(DeliverUntil("disconnect"));
}

TEST_F(OPCUAClientTest, AnItemTheServerLacksCarriesItsErrorAndFailsTheConnect) {
  OPCClientGroup& group = GroupWith({"QX_S.NOPE", "QX_S.OP"});
  client_.SetActive(true);
  ASSERT_TRUE(DeliverUntil("active failed: the server rejected the item \"QX_S.NOPE\""))
      << ::testing::PrintToString(events_.Events);
  EXPECT_EQ(group.Item(0).LastError, opcua::status::BadNodeIdUnknown.value);
  EXPECT_EQ(group.Item(1).LastError, 0u);
  EXPECT_TRUE(client_.Active()) << "the server is there: the connection stays";
}

TEST_F(OPCUAClientTest, ItemsWaitForTheConnectAndRegisterOnDemandOnceConnected) {
  OPCClientGroup& group = GroupWith({"QX_S.OP"});
  client_.AddPendingItems(group);
  ASSERT_TRUE(DeliverUntil("added"));
  EXPECT_FALSE(group.Item(0).Registered) << "inactive: nothing asked of the server";

  client_.SetActive(true);
  ASSERT_TRUE(DeliverUntil("active"));
  group.RemoveAllItems();
  group.AddItem("QX_S.PV");
  group.AddItem("NO.SUCH");
  client_.AddPendingItems(group);
  ASSERT_TRUE(DeliverUntil("add failed: the server rejected the item \"NO.SUCH\""))
      << ::testing::PrintToString(events_.Events);
  EXPECT_TRUE(group.Item(0).Registered);
  EXPECT_NE(group.Item(1).LastError, 0u);
}

TEST_F(OPCUAClientTest, AServerThatIsNotThereFailsTheConnectAlone) {
  server_.reset();
  GroupWith({"QX_S.OP"});
  client_.SetActive(true);
  const auto end = Clock::now() + std::chrono::seconds(5);
  while (Clock::now() < end && events_.Events.empty()) {
    client_.DeliverEvents(events_);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_EQ(events_.Events.size(), 1u) << "no connect event";
  EXPECT_EQ(events_.Events[0].rfind("active failed: cannot connect to " + endpoint_, 0), 0u) << events_.Events[0];
  EXPECT_FALSE(client_.Active());
  EXPECT_EQ(client_.Group(0).Item(0).LastError, 0u) << "no item was rejected";
}

TEST_F(OPCUAClientTest, AServerThatGoesAwayRaisesTheDisconnectWithinOneSecond) {
  for (bool withItems : {false, true}) {
    SCOPED_TRACE(withItems ? "subscribed" : "connected without items");
    if (withItems) {
      SetUp();  // a new server, the old one went away
      GroupWith({"QX_S.OP"});
    }
    events_.Events.clear();
    client_.SetActive(true);
    ASSERT_TRUE(DeliverUntil("active"));
    // Let the worker settle into waiting for publications or heartbeats.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const auto gone = Clock::now();
    server_.reset();
    ASSERT_TRUE(DeliverUntil("disconnect", std::chrono::seconds(3)));
    EXPECT_LT(Clock::now() - gone, std::chrono::seconds(1));
    EXPECT_FALSE(client_.Active());
  }
}

// A master that accepts the connection and never says a word: the
// client's end (the window closing, qxsim finishing) does not wait for the
// connect's timeout.
TEST(OPCUAClientEnd, ASilentMasterDoesNotDelayTheEnd) {
  int silent = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(silent, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(silent, 4), 0);
  socklen_t length = sizeof address;
  ASSERT_EQ(getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);

  auto client = std::make_unique<OPCUAClient>();
  client->SetEndpoint("opc.tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port)));
  client->AddGroup("Brelvine Slave").AddItem("QX_S.OP");
  client->SetActive(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));  // the worker waits for the ACK
  const auto ending = Clock::now();
  client.reset();
  EXPECT_LT(Clock::now() - ending, std::chrono::milliseconds(300));
  close(silent);
}

}  // namespace
}  // namespace qx
