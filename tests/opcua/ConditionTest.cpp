// Conditions answered by clients: Acknowledge and Confirm through the Call
// service with every refusal, the application's callback, and
// ConditionRefresh.

#include <gtest/gtest.h>

#include "EventFixture.h"

namespace opcua {
namespace {

using test::EventFixture;
using test::StandardFilter;
using test::TestClient;
using namespace test;  // field indices

constexpr uint32_t kAcknowledge = ids::AcknowledgeableConditionType_Acknowledge;
constexpr uint32_t kConfirm = ids::AcknowledgeableConditionType_Confirm;
constexpr uint32_t kRefresh = ids::ConditionType_ConditionRefresh;

struct Answered {
  uint32_t handle;
  ConditionResponse response;
  std::string comment;
  std::string identity;
};

class Conditions : public EventFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(client.ConnectAndOpenSession());
    core.SetConditionResponseCallback([this](uint32_t handle, ConditionResponse response,
                                             const LocalizedText& comment, const std::string& who) {
      answered.push_back({handle, response, comment.text, who});
      return verdict;
    });
    sub = CreateSubscription(client);
    ASSERT_EQ(MonitorEvents(client, sub, NodeId(0, ids::Server), StandardFilter()).statusCode,
              status::Good);
    PublishOnce(client);
  }

  // The newest event of the level alarm after `change`.
  EventFieldList After(const std::function<void()>& change) {
    change();
    auto events = NextEvents(client);
    EXPECT_FALSE(events.empty());
    return events.empty() ? EventFieldList{} : events.back();
  }

  TestClient client{core};
  uint32_t sub = 0;
  std::vector<Answered> answered;
  StatusCode verdict = status::Good;
};

TEST_F(Conditions, AcknowledgeThenConfirmWithEveryRefusalOnTheWay) {
  const ByteString wrong(std::string(16, 'x'));
  // Nothing raised yet: no EventId is known.
  EXPECT_EQ(Answer(client, kAcknowledge, wrong, "early"), status::BadEventIdUnknown);
  EventFieldList first = After([&] { SetState(levelHandle, HighActive()); });
  ConditionState higher = HighActive();
  higher.severity = 700;
  EventFieldList active = After([&] { SetState(levelHandle, higher); });
  const ByteString stale = Get<ByteString>(first, kEventId);
  const ByteString id = Get<ByteString>(active, kEventId);
  const NodeId nowhere(ns, "Nowhere");
  const NodeId notCondition = var("A");

  struct Refusal {
    const char* name;
    uint32_t method;
    std::vector<Variant> inputs;
    const NodeId* object;
    StatusCode expected;
  };
  std::vector<Refusal> refusals = {
      {"wrong EventId", kAcknowledge, {wrong, LocalizedText{"en", "x"}}, nullptr, status::BadEventIdUnknown},
      {"stale EventId", kAcknowledge, {stale, LocalizedText{"en", "x"}}, nullptr, status::BadEventIdUnknown},
      {"no comment", kAcknowledge, {id}, nullptr, status::BadArgumentsMissing},
      {"three arguments", kAcknowledge, {id, LocalizedText{}, 1.0}, nullptr, status::BadTooManyArguments},
      {"comment as text", kAcknowledge, {id, "x"}, nullptr, status::BadInvalidArgument},
      {"unknown object", kAcknowledge, {id, LocalizedText{}}, &nowhere, status::BadNodeIdUnknown},
      {"not a condition", kAcknowledge, {id, LocalizedText{}}, &notCondition, status::BadMethodInvalid},
      {"confirm before acknowledge", kConfirm, {id, LocalizedText{}}, nullptr, status::BadInvalidState},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(CallMethod(client, r.object ? *r.object : levelId(), r.method, r.inputs).statusCode,
              r.expected);
  }
  EXPECT_TRUE(answered.empty());

  EXPECT_EQ(Answer(client, kAcknowledge, id, "seen it"), status::Good);
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_EQ(answered[0].handle, levelHandle);
  EXPECT_EQ(answered[0].response, ConditionResponse::Acknowledge);
  EXPECT_EQ(answered[0].comment, "seen it");
  EXPECT_EQ(answered[0].identity, "anonymous");
  auto acked = NextEvents(client);
  ASSERT_EQ(acked.size(), 1u);
  EXPECT_TRUE(Get<bool>(acked[0], kAcked));
  EXPECT_TRUE(Get<bool>(acked[0], kActive));
  EXPECT_EQ(Get<LocalizedText>(acked[0], kComment).text, "seen it");
  EXPECT_EQ(Get<std::string>(acked[0], kClientUserId), "anonymous");
  const ByteString ackedId = Get<ByteString>(acked[0], kEventId);
  EXPECT_NE(ackedId, id);
  // The state before the acknowledgment is gone; the newest is acknowledged.
  EXPECT_EQ(Answer(client, kAcknowledge, id, "again"), status::BadEventIdUnknown);
  EXPECT_EQ(Answer(client, kAcknowledge, ackedId, "again"), status::BadConditionBranchAlreadyAcked);

  EXPECT_EQ(Answer(client, kConfirm, ackedId, "fixed"), status::Good);
  auto confirmed = NextEvents(client);
  ASSERT_EQ(confirmed.size(), 1u);
  EXPECT_TRUE(Get<bool>(confirmed[0], kConfirmed));
  EXPECT_TRUE(Get<bool>(confirmed[0], kRetain));  // still active
  EXPECT_EQ(Answer(client, kConfirm, Get<ByteString>(confirmed[0], kEventId), "again"),
            status::BadConditionBranchAlreadyConfirmed);

  // Back to normal, acknowledged and confirmed: no longer retained, and an
  // acknowledgment of it gets the standard refusal.
  ConditionState normal;
  EventFieldList last = After([&] { SetState(levelHandle, normal); });
  EXPECT_FALSE(Get<bool>(last, kRetain));
  EXPECT_EQ(Answer(client, kAcknowledge, Get<ByteString>(last, kEventId), "late"),
            status::BadConditionBranchAlreadyAcked);
  EXPECT_EQ(answered.size(), 2u);
}

TEST_F(Conditions, TheApplicationMayRefuseAnAnswer) {
  EventFieldList active = After([&] { SetState(levelHandle, HighActive()); });
  verdict = status::BadInvalidState;
  EXPECT_EQ(Answer(client, kAcknowledge, Get<ByteString>(active, kEventId), "no"),
            status::BadInvalidState);
  verdict = status::Good;
  // Nothing changed: the same EventId still acknowledges it.
  EXPECT_EQ(Answer(client, kAcknowledge, Get<ByteString>(active, kEventId), "yes"), status::Good);
  EXPECT_EQ(answered.size(), 2u);
}

TEST_F(Conditions, AnApplicationMirroringAnAnswerRaisesNoSecondEvent) {
  ConditionState state = HighActive();
  EventFieldList active = After([&] { SetState(levelHandle, state); });
  ASSERT_EQ(Answer(client, kAcknowledge, Get<ByteString>(active, kEventId), "seen"), status::Good);
  auto acked = NextEvents(client);
  ASSERT_EQ(acked.size(), 1u);
  // The application takes the acknowledgment into its own state and sets
  // it, stamped with its own time: the state the client saw stays the newest.
  clock.Advance(7);
  state.acked = true;
  state.time = clock.Now();
  SetState(levelHandle, state);
  EXPECT_TRUE(SendPublish(client).empty());
  EXPECT_TRUE(Advance(client, 50).empty()) << "no event, not even a keep-alive yet";
  EXPECT_EQ(Answer(client, kConfirm, Get<ByteString>(acked[0], kEventId), "done"), status::Good);
}

class ReadOnlyConditions : public EventFixture {
 protected:
  static ServerSecurity ReadOnly() {
    ServerSecurity s;
    s.anonymousWrites = false;
    return s;
  }
  ReadOnlyConditions() : EventFixture({}, ReadOnly()) {}
};

TEST_F(ReadOnlyConditions, AnonymousClientsAnswerOnlyWhereTheyMayWrite) {
  TestClient c(core);
  ASSERT_TRUE(c.ConnectAndOpenSession());
  SetState(levelHandle, HighActive());
  EXPECT_EQ(Answer(c, kAcknowledge, ByteString(std::string(16, 'x')), "x"),
            status::BadUserAccessDenied);
}

TEST_F(Conditions, RefreshSendsTheRetainedStatesBetweenStartAndEnd) {
  SetState(levelHandle, HighActive());
  ConditionState normal;  // raised, but not retained
  SetState(stuckHandle, normal);
  auto live = NextEvents(client);
  ASSERT_EQ(live.size(), 2u);
  const ByteString levelId = Get<ByteString>(live[0], kEventId);

  for (uint32_t object : {ids::ConditionType, ids::Server}) {
    SCOPED_TRACE(object);
    EXPECT_EQ(CallMethod(client, NodeId(0, object), kRefresh, {sub}).statusCode, status::Good);
    auto refreshed = NextEvents(client);
    ASSERT_EQ(refreshed.size(), 3u);
    EXPECT_EQ(Get<NodeId>(refreshed[0], kEventType), NodeId(0, ids::RefreshStartEventType));
    EXPECT_EQ(Get<std::string>(refreshed[1], kConditionName), "Level");
    // The refreshed state is the same state: its EventId still answers it.
    EXPECT_EQ(Get<ByteString>(refreshed[1], kEventId), levelId);
    EXPECT_EQ(Get<NodeId>(refreshed[2], kEventType), NodeId(0, ids::RefreshEndEventType));
  }
  EXPECT_EQ(Answer(client, kAcknowledge, levelId, "after refresh"), status::Good);

  TestClient other(core);
  ASSERT_TRUE(other.ConnectAndOpenSession());
  uint32_t theirs = CreateSubscription(other);
  EXPECT_EQ(CallMethod(client, NodeId(0, ids::ConditionType), kRefresh, {theirs}).statusCode,
            status::BadSubscriptionIdInvalid);
  EXPECT_EQ(CallMethod(client, NodeId(0, ids::ConditionType), kRefresh, {}).statusCode,
            status::BadArgumentsMissing);
  EXPECT_EQ(CallMethod(client, NodeId(0, ids::ConditionType), kRefresh, {int32_t(sub)}).statusCode,
            status::BadInvalidArgument);
  EXPECT_EQ(CallMethod(client, folder(), kRefresh, {sub}).statusCode, status::BadMethodInvalid);
}

}  // namespace
}  // namespace opcua
