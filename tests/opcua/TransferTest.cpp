// TransferSubscriptions: a client that lost its connection takes its
// subscriptions to a new session and misses nothing.

#include <gtest/gtest.h>

#include <memory>

#include "ServerFixture.h"

namespace opcua {
namespace {

using test::ServerFixture;
using test::TestClient;

class Transfer : public ServerFixture {
 protected:
  TransferSubscriptionsResponse TransferTo(TestClient& client, std::vector<uint32_t> ids,
                                           bool sendInitialValues, StatusCode expected = status::Good) {
    TransferSubscriptionsRequest req;
    req.subscriptionIds = std::move(ids);
    req.sendInitialValues = sendInitialValues;
    TransferSubscriptionsResponse resp;
    EXPECT_EQ(client.Call(req, resp), expected);
    return resp;
  }

  // The status change a Publish answer carries, or Good when it has none.
  static StatusCode StatusChange(const PublishResponse& resp) {
    for (const auto& data : resp.notificationMessage.notificationData) {
      StatusChangeNotification change;
      if (Unwrap(data, change).IsGood()) return change.status;
    }
    return status::Good;
  }
};

TEST_F(Transfer, AReconnectingClientKeepsItsSubscriptionAndMissesNothing) {
  auto old = std::make_unique<TestClient>(core);
  ASSERT_TRUE(old->ConnectAndOpenSession());
  NodeId oldToken = old->channel.authenticationToken;
  uint32_t sub = CreateSubscription(*old);
  Monitor(*old, sub, {var("A")});
  EXPECT_EQ(PublishOnce(*old).notificationMessage.sequenceNumber, 1u);  // the initial value
  // Message 2 is sent but the connection dies before the client reads it.
  SendPublish(*old);
  Set(0, "x");
  Advance(*old, 50);
  old.reset();
  Set(0, "y");

  TestClient fresh(core);
  ASSERT_TRUE(fresh.ConnectAndOpenSession());
  auto resp = TransferTo(fresh, {sub, 999}, true);
  ASSERT_EQ(resp.results.size(), 2u);
  EXPECT_EQ(resp.results[0].statusCode, status::Good);
  EXPECT_EQ(resp.results[0].availableSequenceNumbers, (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(resp.results[1].statusCode, status::BadSubscriptionIdInvalid);

  // The lost message comes back through Republish...
  RepublishRequest republish;
  republish.subscriptionId = sub;
  republish.retransmitSequenceNumber = 2;
  RepublishResponse again;
  ASSERT_EQ(fresh.Call(republish, again), status::Good);
  PublishResponse resent;
  resent.notificationMessage = again.notificationMessage;
  auto lost = Changes(resent);
  ASSERT_EQ(lost.size(), 1u);
  EXPECT_EQ(Text(lost[0].value), "x");
  // ...and the next message follows it without a gap, with the change made
  // while nobody was connected and the current value asked for.
  PublishResponse next = PublishOnce(fresh, 50, {{sub, 1}, {sub, 2}});
  EXPECT_EQ(next.subscriptionId, sub);
  EXPECT_EQ(next.notificationMessage.sequenceNumber, 3u);
  auto changes = Changes(next);
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(Text(changes[0].value), "y");
  EXPECT_EQ(Text(changes[1].value), "y");  // the initial value sent on transfer

  // The old session, back on a channel of its own, learns where its
  // subscription went, and has nothing more to publish.
  TestClient revived(core);
  ASSERT_TRUE(revived.Connect());
  revived.channel.authenticationToken = oldToken;
  ActivateSessionRequest activate;
  activate.userIdentityToken = Wrap(AnonymousIdentityToken{"anonymous"});
  ActivateSessionResponse activated;
  ASSERT_EQ(revived.Call(activate, activated), status::Good);
  PublishResponse told = PublishOnce(revived);
  EXPECT_EQ(told.subscriptionId, sub);
  EXPECT_EQ(StatusChange(told), status::GoodSubscriptionTransferred);
  PublishResponse none;
  EXPECT_EQ(revived.Call(PublishRequest{}, none), status::BadNoSubscription);
}

TEST_F(Transfer, AConnectedOldSessionIsToldAtOnceAndChangesGoToTheNewOne) {
  TestClient old(core), fresh(core);
  ASSERT_TRUE(old.ConnectAndOpenSession());
  ASSERT_TRUE(fresh.ConnectAndOpenSession());
  uint32_t sub = CreateSubscription(old);
  Monitor(old, sub, {var("A")});
  PublishOnce(old);
  EXPECT_TRUE(SendPublish(old).empty());
  EXPECT_TRUE(SendPublish(old).empty());

  auto resp = TransferTo(fresh, {sub}, false);
  ASSERT_EQ(resp.results.size(), 1u);
  EXPECT_EQ(resp.results[0].statusCode, status::Good);
  // The first waiting Publish carries the status change, the second is
  // turned away: the old session has no subscription left.
  auto answers = old.Collect();
  ASSERT_EQ(answers.size(), 2u);
  PublishResponse told, refused;
  ASSERT_EQ(TestClient::Answer(answers[0], told), status::Good);
  EXPECT_EQ(told.subscriptionId, sub);
  EXPECT_EQ(StatusChange(told), status::GoodSubscriptionTransferred);
  // It carries the number the next data message will get, so the new
  // owner sees no gap.
  EXPECT_EQ(told.notificationMessage.sequenceNumber, 2u);
  EXPECT_EQ(TestClient::Answer(answers[1], refused), status::BadNoSubscription);

  // A second transfer to the owner is harmless; the old session may not
  // use the subscription any more.
  EXPECT_EQ(TransferTo(fresh, {sub}, false).results.at(0).statusCode, status::Good);
  SetPublishingModeRequest mode;
  mode.subscriptionIds = {sub};
  SetPublishingModeResponse modeResp;
  ASSERT_EQ(old.Call(mode, modeResp), status::Good);
  EXPECT_EQ(modeResp.results, (std::vector<StatusCode>{status::BadSubscriptionIdInvalid}));

  Set(0, "z");
  PublishResponse next = PublishOnce(fresh);
  EXPECT_EQ(next.notificationMessage.sequenceNumber, 2u);
  auto changes = Changes(next);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(Text(changes[0].value), "z");
  EXPECT_TRUE(old.Collect().empty());

  TransferTo(fresh, {}, false, status::BadNothingToDo);
}

}  // namespace
}  // namespace opcua
