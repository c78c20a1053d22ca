// Subscriptions, monitored items and Publish through the in-memory
// connection, on a manual clock.

#include <gtest/gtest.h>

#include "ServerFixture.h"

namespace opcua {
namespace {

using test::ServerFixture;
using test::TestClient;

class Subscriptions : public ServerFixture {
 protected:
  static ServerLimits Limits() {
    ServerLimits l;
    l.maxSubscriptionsPerSession = 2;
    l.maxMonitoredItemsPerSession = 4;
    l.maxPublishRequestsPerSession = 3;
    return l;
  }
  Subscriptions() : ServerFixture(Limits()) {}
  void SetUp() override { ASSERT_TRUE(client.ConnectAndOpenSession()); }
  TestClient client{core};
};

TEST_F(Subscriptions, EveryChangeReachesTheClientInOrder) {
  uint32_t sub = CreateSubscription(client);
  auto items = Monitor(client, sub, {var("A"), var("B")});
  ASSERT_EQ(items.results.size(), 2u);
  EXPECT_EQ(items.results[0].statusCode, status::Good);
  EXPECT_EQ(items.results[0].revisedQueueSize, 1000u);
  for (int i = 0; i < 300; ++i) Set(0, std::string("v").append(std::to_string(i)));
  Set(1, "b");

  PublishResponse resp = PublishOnce(client);
  auto changes = Changes(resp);
  // The initial value of each item, then all 300 changes of A in order.
  ASSERT_EQ(changes.size(), 303u);
  std::vector<std::string> a;
  for (const auto& c : changes)
    if (c.clientHandle == 100) a.push_back(Text(c.value));
  ASSERT_EQ(a.size(), 301u);
  EXPECT_EQ(a.front(), "empty");
  for (int i = 0; i < 300; ++i) EXPECT_EQ(a[i + 1], std::string("v").append(std::to_string(i)));
  EXPECT_EQ(resp.notificationMessage.sequenceNumber, 1u);
  EXPECT_FALSE(resp.moreNotifications);
}

TEST_F(Subscriptions, NotificationsAreSplitToFitTheClientsMessageSize) {
  TestClient small(core);
  small.channel.maxMessageSize = 8192;
  ASSERT_TRUE(small.ConnectAndOpenSession());
  uint32_t sub = CreateSubscription(small);
  Monitor(small, sub, {var("A")});
  for (int i = 0; i < 500; ++i) Set(0, std::string(40, 'x').append(std::to_string(i)));
  size_t received = 0;
  int messages = 0;
  bool more = true;
  while (more && messages < 20) {
    PublishResponse resp = PublishOnce(small);
    received += Changes(resp).size();
    more = resp.moreNotifications;
    ++messages;
  }
  EXPECT_EQ(received, 501u);
  EXPECT_GT(messages, 2);
}

TEST_F(Subscriptions, UnchangedValuesAreNotReportedAgain) {
  uint32_t sub = CreateSubscription(client);
  Monitor(client, sub, {var("A")});
  PublishOnce(client);  // the initial value
  Set(0, "x");
  Set(0, "x");
  Set(0, "y");
  auto changes = Changes(PublishOnce(client));
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(Text(changes[0].value), "x");
  EXPECT_EQ(Text(changes[1].value), "y");
}

TEST_F(Subscriptions, KeepAlivesComeWhenNothingChanges) {
  uint32_t sub = CreateSubscription(client, 50, 5);
  Monitor(client, sub, {var("A")});
  EXPECT_EQ(PublishOnce(client).notificationMessage.sequenceNumber, 1u);
  auto waiting = SendPublish(client);
  EXPECT_TRUE(waiting.empty());
  for (int quiet = 0; quiet < 4; ++quiet) EXPECT_TRUE(Advance(client, 50).empty());
  auto keepAlive = Advance(client, 50);  // the fifth quiet interval
  ASSERT_EQ(keepAlive.size(), 1u);
  PublishResponse resp;
  ASSERT_EQ(TestClient::Answer(keepAlive[0], resp), status::Good);
  EXPECT_TRUE(resp.notificationMessage.notificationData.empty());
  // A keep-alive announces the number of the next data message.
  EXPECT_EQ(resp.notificationMessage.sequenceNumber, 2u);
}

TEST_F(Subscriptions, ALatePublishRequestIsAnsweredAtOnce) {
  uint32_t sub = CreateSubscription(client);
  Monitor(client, sub, {var("A")});
  Advance(client, 50);  // data is ready but no Publish request waits
  auto answer = SendPublish(client);
  ASSERT_EQ(answer.size(), 1u);
  PublishResponse resp;
  ASSERT_EQ(TestClient::Answer(answer[0], resp), status::Good);
  EXPECT_EQ(Changes(resp).size(), 1u);
}

TEST_F(Subscriptions, FullQueuesDropValuesAndFlagTheGap) {
  uint32_t sub = CreateSubscription(client);
  Monitor(client, sub, {var("A")}, 4, true);
  Monitor(client, sub, {var("B")}, 4, false);
  for (int i = 0; i < 10; ++i) {
    Set(0, std::to_string(i));
    Set(1, std::to_string(i));
  }
  std::vector<std::string> oldestDropped, newestDropped;
  std::vector<uint32_t> statuses;
  for (const auto& c : Changes(PublishOnce(client))) {
    (c.clientHandle == 100 ? oldestDropped : newestDropped).push_back(Text(c.value));
    if (c.clientHandle == 100) statuses.push_back(c.value.status.value);
  }
  // Oldest discarded: the last four, the first flagged as following a gap.
  EXPECT_EQ(oldestDropped, (std::vector<std::string>{"6", "7", "8", "9"}));
  EXPECT_EQ(statuses.front(), status::InfoOverflowBits);
  // Newest discarded: the first three kept, the last slot takes the newest.
  EXPECT_EQ(newestDropped, (std::vector<std::string>{"empty", "0", "1", "9"}));
}

// Many updates of a variable in one batch (a producer that outpaces the
// server thread) leave every item what the same updates one batch each
// leave: the newest changes, repeats left out, the gap flagged.
TEST_F(Subscriptions, ABatchOfUpdatesQueuesAsTheSameUpdatesOneByOne) {
  struct Case {
    const char* what;
    std::vector<std::string> texts;  // a trailing '!' gives the value a bad status
    uint32_t queueSize;
    bool discardOldest;
  };
  const Case cases[] = {
      {"more changes than the queue holds, repeats among them",
       {"1", "1", "2", "3", "3", "3", "4", "5", "6", "6", "7"}, 3, true},
      {"repeats just before the newest changes", {"1", "2", "3", "4", "4", "4", "5", "6"}, 2, true},
      {"the first values repeat the one reported (\"6\", where the case before ends)",
       {"6", "6", "1", "2", "3", "4"}, 2, true},
      {"a change of status alone", {"1", "2", "3", "3!", "3", "3", "3!"}, 2, true},
      {"fewer changes than the queue holds", {"1", "1", "2", "2", "2"}, 4, true},
      {"the newest discarded", {"1", "2", "3", "4", "5", "6"}, 2, false},
  };
  auto update = [&](size_t index, std::string text) {
    ValueUpdate u;
    u.handle = handles.at(index);
    const bool bad = text.ends_with('!');
    if (bad) text.pop_back();
    u.value = DataValue::Of(text);
    u.value.hasStatus = true;
    u.value.status = bad ? status::BadWaitingForInitialData : status::Good;
    return u;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestClient session(core);
    ASSERT_TRUE(session.ConnectAndOpenSession());
    uint32_t sub = CreateSubscription(session);
    const uint32_t batched = nextClientHandle;
    Monitor(session, sub, {var("A"), var("B")}, c.queueSize, c.discardOldest);
    Changes(PublishOnce(session));  // the initial values
    std::vector<ValueUpdate> batch;
    for (const std::string& text : c.texts) batch.push_back(update(0, text));
    core.ApplyUpdates(batch);
    for (const std::string& text : c.texts) {
      std::vector<ValueUpdate> one{update(1, text)};
      core.ApplyUpdates(one);
    }
    std::vector<std::pair<std::string, uint32_t>> fromBatch, oneByOne;
    for (const auto& n : Changes(PublishOnce(session)))
      (n.clientHandle == batched ? fromBatch : oneByOne).emplace_back(Text(n.value), n.value.status.value);
    EXPECT_EQ(fromBatch, oneByOne);
    EXPECT_FALSE(fromBatch.empty());
    // Both variables were set alike: the next test case starts from "A" = "B".
  }
}

TEST_F(Subscriptions, AcknowledgedMessagesLeaveTheRetransmissionQueue) {
  uint32_t sub = CreateSubscription(client);
  Monitor(client, sub, {var("A")});
  PublishResponse first = PublishOnce(client);
  EXPECT_EQ(first.availableSequenceNumbers, (std::vector<uint32_t>{1}));

  RepublishRequest again;
  again.subscriptionId = sub;
  again.retransmitSequenceNumber = 1;
  RepublishResponse republished;
  ASSERT_EQ(client.Call(again, republished), status::Good);
  EXPECT_EQ(Encode(republished.notificationMessage), Encode(first.notificationMessage));

  Set(0, "next");
  PublishResponse second = PublishOnce(client, 50, {{sub, 1}, {sub, 77}, {999, 1}});
  EXPECT_EQ(second.results, (std::vector<StatusCode>{status::Good, status::BadSequenceNumberUnknown,
                                                     status::BadSubscriptionIdInvalid}));
  EXPECT_EQ(second.availableSequenceNumbers, (std::vector<uint32_t>{2}));
  EXPECT_EQ(client.Call(again, republished), status::BadMessageNotAvailable);
}

TEST_F(Subscriptions, LimitsAndBadItemsGetTheirStatusCodes) {
  PublishResponse none;
  EXPECT_EQ(client.Call(PublishRequest{}, none), status::BadNoSubscription);

  uint32_t sub = CreateSubscription(client);
  CreateSubscription(client);
  CreateSubscriptionResponse third;
  EXPECT_EQ(client.Call(CreateSubscriptionRequest{}, third), status::BadTooManySubscriptions);

  CreateMonitoredItemsRequest req;
  req.subscriptionId = sub;
  auto item = [](NodeId n, uint32_t attribute = kAttrValue) {
    MonitoredItemCreateRequest r;
    r.itemToMonitor = {n, attribute, "", {}};
    r.requestedParameters.queueSize = 100'000;
    return r;
  };
  MonitoredItemCreateRequest deadband = item(var("B"));
  deadband.requestedParameters.filter = Wrap(DataChangeFilter{1, 1, 0.5});
  req.itemsToCreate = {item(var("A")),          item(NodeId(ns, "missing")),
                       item(folder()),          deadband,
                       item(var("B")),          item(var("RO")),
                       item(NodeId(0, ids::ServerStatus_CurrentTime)), item(var("A"))};
  CreateMonitoredItemsResponse resp;
  ASSERT_EQ(client.Call(req, resp), status::Good);
  std::vector<StatusCode> got;
  for (const auto& r : resp.results) got.push_back(r.statusCode);
  EXPECT_EQ(got, (std::vector<StatusCode>{status::Good, status::BadNodeIdUnknown,
                                          status::BadAttributeIdInvalid,
                                          status::BadMonitoredItemFilterUnsupported, status::Good,
                                          status::Good, status::Good,
                                          status::BadTooManyMonitoredItems}));
  EXPECT_EQ(resp.results[0].revisedQueueSize, 1000u);

  req.subscriptionId = 4711;
  EXPECT_EQ(client.Call(req, resp), status::BadSubscriptionIdInvalid);
}

TEST_F(Subscriptions, SurplusPublishRequestsAreTurnedAway) {
  uint32_t sub = CreateSubscription(client, 1000);
  Monitor(client, sub, {var("A")});
  Advance(client, 1000);  // late: the first request takes the initial value
  EXPECT_EQ(SendPublish(client).size(), 1u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(SendPublish(client).empty());
  auto answer = SendPublish(client);
  ASSERT_EQ(answer.size(), 1u);
  PublishResponse resp;
  EXPECT_EQ(TestClient::Answer(answer[0], resp), status::BadTooManyPublishRequests);
}

TEST_F(Subscriptions, ASubscriptionWithoutPublishRequestsExpires) {
  uint32_t sub = CreateSubscription(client, 50, 5, 15);
  for (int i = 0; i < 14; ++i) Advance(client, 50);
  SetPublishingModeRequest mode;
  mode.subscriptionIds = {sub};
  SetPublishingModeResponse modeResp;
  ASSERT_EQ(client.Call(mode, modeResp), status::Good);
  EXPECT_EQ(modeResp.results.at(0), status::Good);
  Advance(client, 50);
  ASSERT_EQ(client.Call(mode, modeResp), status::Good);
  EXPECT_EQ(modeResp.results.at(0), status::BadSubscriptionIdInvalid);
}

TEST_F(Subscriptions, DisabledItemsReportNothingUntilEnabledAgain) {
  uint32_t sub = CreateSubscription(client);
  auto items = Monitor(client, sub, {var("A")});
  uint32_t id = items.results[0].monitoredItemId;
  PublishOnce(client);
  SetMonitoringModeRequest mode;
  mode.subscriptionId = sub;
  mode.monitoringMode = MonitoringMode::Disabled;
  mode.monitoredItemIds = {id, 999};
  SetMonitoringModeResponse modeResp;
  ASSERT_EQ(client.Call(mode, modeResp), status::Good);
  EXPECT_EQ(modeResp.results, (std::vector<StatusCode>{status::Good, status::BadMonitoredItemIdInvalid}));
  Set(0, "unseen");
  Set(0, "current");
  mode.monitoringMode = MonitoringMode::Reporting;
  mode.monitoredItemIds = {id};
  ASSERT_EQ(client.Call(mode, modeResp), status::Good);
  auto changes = Changes(PublishOnce(client));
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(Text(changes[0].value), "current");

  DeleteMonitoredItemsRequest del;
  del.subscriptionId = sub;
  del.monitoredItemIds = {id, id};
  DeleteMonitoredItemsResponse delResp;
  ASSERT_EQ(client.Call(del, delResp), status::Good);
  EXPECT_EQ(delResp.results, (std::vector<StatusCode>{status::Good, status::BadMonitoredItemIdInvalid}));
}

TEST_F(Subscriptions, AClientWriteIsReportedToOtherSessions) {
  uint32_t sub = CreateSubscription(client);
  Monitor(client, sub, {var("B")});
  PublishOnce(client);
  TestClient writer(core);
  ASSERT_TRUE(writer.ConnectAndOpenSession());
  WriteRequest w;
  w.nodesToWrite = {{var("B"), kAttrValue, "", DataValue::Of(std::string("2.5"))}};
  WriteResponse wr;
  ASSERT_EQ(writer.Call(w, wr), status::Good);
  auto changes = Changes(PublishOnce(client));
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(Text(changes[0].value), "2.5");
}

TEST_F(Subscriptions, ClosingTheSessionDeletesItsSubscriptions) {
  uint32_t sub = CreateSubscription(client);
  Monitor(client, sub, {var("A")});
  EXPECT_TRUE(SendPublish(client).empty());
  CloseSessionRequest close;
  auto answers = client.Exchange(client.channel.Request(close));
  // The waiting Publish is answered BadSessionClosed, then CloseSession.
  ASSERT_EQ(answers.size(), 2u);
  PublishResponse publish;
  EXPECT_EQ(TestClient::Answer(answers[0], publish), status::BadSessionClosed);
  CloseSessionResponse closed;
  EXPECT_EQ(TestClient::Answer(answers[1], closed), status::Good);
  // Values published afterwards touch no deleted item.
  Set(0, "after");
  Advance(client, 100);
  EXPECT_EQ(core.SessionCount(), 0u);
}

}  // namespace
}  // namespace opcua
