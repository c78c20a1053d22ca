// Event monitored items: their filters, the events they deliver, their
// queues and what they may take of the session's memory.

#include <gtest/gtest.h>

#include "EventFixture.h"

namespace opcua {
namespace {

using test::EventFixture;
using test::Select;
using test::StandardFilter;
using test::TestClient;
using namespace test;  // field indices

class EventItems : public EventFixture {
 protected:
  void SetUp() override { ASSERT_TRUE(client.ConnectAndOpenSession()); }
  TestClient client{core};
};

struct FilterCase {
  const char* name;
  EventFilter filter;
  StatusCode item;
  std::vector<StatusCode> clauses;   // expected select clause results
  std::vector<StatusCode> elements;  // expected where-clause element results
};

EventFilter With(std::vector<SimpleAttributeOperand> select, std::vector<ContentFilterElement> where = {}) {
  EventFilter f;
  f.selectClauses = std::move(select);
  f.whereClause.elements = std::move(where);
  return f;
}

TEST_F(EventItems, FiltersAreCheckedClauseByClause) {
  const StatusCode good = status::Good;
  SimpleAttributeOperand wrongAttribute = Select("Severity");
  wrongAttribute.attributeId = kAttrDisplayName;
  SimpleAttributeOperand withRange = Select("Severity");
  withRange.indexRange = "0:1";
  std::vector<SimpleAttributeOperand> thousand(1000, Select("EventId"));
  ContentFilterElement twoTypes = OfType(ids::ConditionType);
  twoTypes.filterOperands.push_back(twoTypes.filterOperands[0]);
  ContentFilterElement backwards{FilterOperator::Not, {Wrap(ElementOperand{0})}};
  std::vector<FilterCase> cases = {
      {"good", With({Select("EventId"), Select("ActiveState/Id", ids::AlarmConditionType)}), good,
       {good, good}, {}},
      {"unknown field", With({Select("EventId"), Select("NoSuchField")}), good, {good, good}, {}},
      {"not an event type", With({Select("EventId"), Select("EventId", ids::BaseObjectType)}), good,
       {good, status::BadTypeDefinitionInvalid}, {}},
      {"unknown type", With({Select("EventId"), Select("EventId", 4242)}), good,
       {good, status::BadTypeDefinitionInvalid}, {}},
      {"wrong attribute", With({Select("EventId"), wrongAttribute}), good,
       {good, status::BadAttributeIdInvalid}, {}},
      {"index range", With({Select("EventId"), withRange}), good,
       {good, status::BadIndexRangeInvalid}, {}},
      {"empty browse name", With({Select("EventId"), Select("ActiveState/")}), good,
       {good, status::BadBrowseNameInvalid}, {}},
      {"no usable clause", With({Select("EventId", ids::BaseObjectType)}),
       status::BadEventFilterInvalid, {status::BadTypeDefinitionInvalid}, {}},
      {"no clause", With({}), status::BadEventFilterInvalid, {}, {}},
      {"a thousand clauses", With(thousand), status::BadEventFilterInvalid, {}, {}},
      {"of type", With({Select("EventId")}, {OfType(ids::AlarmConditionType)}), good, {good}, {good}},
      {"of type not an event type", With({Select("EventId")}, {OfType(ids::FolderType)}),
       status::BadEventFilterInvalid, {good}, {status::BadFilterOperandInvalid}},
      {"of type with two operands", With({Select("EventId")}, {twoTypes}),
       status::BadEventFilterInvalid, {good}, {status::BadFilterOperandCountMismatch}},
      {"unsupported operator", With({Select("EventId")}, {{FilterOperator::Like, {}}}),
       status::BadEventFilterInvalid, {good}, {status::BadFilterOperatorUnsupported}},
      {"unknown operator", With({Select("EventId")}, {{static_cast<FilterOperator>(99), {}}}),
       status::BadEventFilterInvalid, {good}, {status::BadFilterOperatorInvalid}},
      {"element operand backwards", With({Select("EventId")}, {backwards}),
       status::BadEventFilterInvalid, {good}, {status::BadFilterOperandInvalid}},
  };
  uint32_t sub = CreateSubscription(client);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MonitoredItemCreateResult r = MonitorEvents(client, sub, folder(), c.filter);
    EXPECT_EQ(r.statusCode, c.item) << StatusName(r.statusCode);
    EventFilterResult result;
    if (!c.clauses.empty() || !c.elements.empty()) {
      ASSERT_EQ(Unwrap(r.filterResult, result), status::Good);
    } else if (r.filterResult.encoding != ExtensionObject::Encoding::None) {
      ASSERT_EQ(Unwrap(r.filterResult, result), status::Good);
    }
    EXPECT_EQ(result.selectClauseResults, c.clauses);
    std::vector<StatusCode> elements;
    for (const auto& e : result.whereClauseResult.elementResults) elements.push_back(e.statusCode);
    EXPECT_EQ(elements, c.elements);
  }
}

TEST_F(EventItems, OnlyNotifiersWithAnEventFilterTakeEventItems) {
  uint32_t sub = CreateSubscription(client);
  EXPECT_EQ(MonitorEvents(client, sub, var("A"), StandardFilter()).statusCode,
            status::BadAttributeIdInvalid);
  EXPECT_EQ(MonitorEvents(client, sub, NodeId(ns, "Nothing"), StandardFilter()).statusCode,
            status::BadNodeIdUnknown);
  CreateMonitoredItemsRequest req;
  req.subscriptionId = sub;
  MonitoredItemCreateRequest item;
  item.itemToMonitor.nodeId = NodeId(0, ids::Server);
  item.itemToMonitor.attributeId = kAttrEventNotifier;
  req.itemsToCreate = {item, item};
  req.itemsToCreate[1].requestedParameters.filter = Wrap(DataChangeFilter{});
  CreateMonitoredItemsResponse resp;
  ASSERT_EQ(client.Call(req, resp), status::Good);
  EXPECT_EQ(resp.results.at(0).statusCode, status::BadEventFilterInvalid);
  EXPECT_EQ(resp.results.at(1).statusCode, status::BadMonitoredItemFilterUnsupported);
}

TEST_F(EventItems, AStateChangeReachesTheSourceAndTheServerWithItsFields) {
  uint32_t sub = CreateSubscription(client);
  ASSERT_EQ(MonitorEvents(client, sub, folder(), StandardFilter()).statusCode, status::Good);
  ASSERT_EQ(MonitorEvents(client, sub, NodeId(0, ids::Server), StandardFilter()).statusCode,
            status::Good);
  PublishOnce(client);  // the first keep-alive
  SetState(levelHandle, HighActive());
  auto events = NextEvents(client);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].clientHandle, 100u);
  EXPECT_EQ(events[1].clientHandle, 101u);
  const EventFieldList& e = events[0];
  EXPECT_EQ(e.eventFields, events[1].eventFields);
  ASSERT_EQ(e.eventFields.size(), kFields.size() + 1);
  EXPECT_EQ(Get<ByteString>(e, kEventId).data.size(), 16u);
  EXPECT_EQ(Get<NodeId>(e, kEventType), NodeId(0, ids::ExclusiveLevelAlarmType));
  EXPECT_EQ(Get<NodeId>(e, kSourceNode), folder());
  EXPECT_EQ(Get<std::string>(e, kSourceName), "App");
  EXPECT_EQ(Get<LocalizedText>(e, kMessage).text, "PV high: 82.5 > 80");
  EXPECT_EQ(Get<uint16_t>(e, kSeverity), 500);
  EXPECT_EQ(Get<std::string>(e, kConditionName), "Level");
  EXPECT_TRUE(Get<bool>(e, kActive));
  EXPECT_FALSE(Get<bool>(e, kAcked));
  EXPECT_FALSE(Get<bool>(e, kConfirmed));
  EXPECT_TRUE(Get<bool>(e, kRetain));
  EXPECT_EQ(Get<LocalizedText>(e, kLimitState).text, "High");
  EXPECT_EQ(Get<double>(e, kHighLimit), 80.0);
  EXPECT_TRUE(e.eventFields[kNoSuchField].IsEmpty());
  EXPECT_EQ(Get<NodeId>(e, kConditionId), levelId());

  // The same state again is no change; a new one has a new EventId.
  SetState(levelHandle, HighActive());
  ConditionState back;
  back.acked = back.confirmed = false;
  SetState(levelHandle, back);
  auto next = NextEvents(client);
  ASSERT_EQ(next.size(), 2u);
  EXPECT_NE(Get<ByteString>(next[0], kEventId), Get<ByteString>(e, kEventId));
  EXPECT_FALSE(Get<bool>(next[0], kActive));
  EXPECT_TRUE(Get<bool>(next[0], kRetain));  // not acknowledged yet
  EXPECT_EQ(Get<LocalizedText>(next[0], kLimitState).text, "");
}

TEST_F(EventItems, TheWhereClauseChoosesTheEvents) {
  uint32_t sub = CreateSubscription(client);
  EventFilter levels = StandardFilter();
  levels.whereClause.elements = {OfType(ids::ExclusiveLimitAlarmType)};
  EventFilter severe = StandardFilter();
  severe.whereClause.elements = {
      {FilterOperator::GreaterThanOrEqual, {Wrap(Select("Severity")), Wrap(LiteralOperand{int32_t{400}})}}};
  ASSERT_EQ(MonitorEvents(client, sub, folder(), levels).statusCode, status::Good);
  ASSERT_EQ(MonitorEvents(client, sub, folder(), severe).statusCode, status::Good);
  PublishOnce(client);
  ConditionState stuck = HighActive();
  stuck.severity = 300;
  SetState(stuckHandle, stuck);  // off-normal, not severe: neither item
  SetState(levelHandle, HighActive());  // both
  auto events = NextEvents(client);
  ASSERT_EQ(events.size(), 2u);
  for (const auto& e : events) EXPECT_EQ(Get<std::string>(e, kConditionName), "Level");
}

TEST_F(EventItems, AFullQueueDropsEventsAndSaysSo) {
  for (bool discardOldest : {true, false}) {
    SCOPED_TRACE(discardOldest ? "discard oldest" : "discard newest");
    TestClient c(core);
    ASSERT_TRUE(c.ConnectAndOpenSession());
    uint32_t sub = CreateSubscription(c);
    auto r = MonitorEvents(c, sub, folder(), StandardFilter(), 3, discardOldest);
    ASSERT_EQ(r.revisedQueueSize, 3u);
    PublishOnce(c);
    for (uint16_t severity = 1; severity <= 5; ++severity) {
      ConditionState s = HighActive();
      s.severity = severity;
      SetState(levelHandle, s);
    }
    auto events = NextEvents(c);
    ASSERT_EQ(events.size(), 4u);
    size_t overflow = discardOldest ? 0 : 3;
    EXPECT_EQ(Get<NodeId>(events[overflow], kEventType), NodeId(0, ids::EventQueueOverflowEventType));
    std::vector<uint16_t> kept;
    for (size_t i = 0; i < events.size(); ++i)
      if (i != overflow) kept.push_back(Get<uint16_t>(events[i], kSeverity));
    EXPECT_EQ(kept, (discardOldest ? std::vector<uint16_t>{3, 4, 5} : std::vector<uint16_t>{1, 2, 3}));
  }
}

TEST_F(EventItems, EventItemsHoldTheSessionsQueueSlotsForTheirFields) {
  ServerLimits l;
  const size_t before = core.ReservedQueueSlots();
  uint32_t sub = CreateSubscription(client);
  // 17 fields: five slots per queued event, and a few for the filter.
  auto r = MonitorEvents(client, sub, folder(), StandardFilter(), l.maxQueueSize);
  ASSERT_EQ(r.statusCode, status::Good);
  const size_t held = core.ReservedQueueSlots() - before;
  EXPECT_GE(held, size_t{r.revisedQueueSize} * 5);
  EXPECT_LE(held, l.maxQueuedValuesPerSession);
  // An item flood stays within the session's slots: queues shrink, then
  // items are refused.
  StatusCode last = status::Good;
  for (int i = 0; i < 200 && last.IsGood(); ++i)
    last = MonitorEvents(client, sub, folder(), StandardFilter(), l.maxQueueSize).statusCode;
  EXPECT_EQ(last, status::BadTooManyMonitoredItems);
  EXPECT_LE(core.ReservedQueueSlots() - before, l.maxQueuedValuesPerSession);
  DeleteSubscriptionsRequest del;
  del.subscriptionIds = {sub};
  DeleteSubscriptionsResponse gone;
  ASSERT_EQ(client.Call(del, gone), status::Good);
  EXPECT_EQ(core.ReservedQueueSlots(), before);
}

TEST_F(EventItems, DataChangesAndEventsShareOneMessageWithinItsLimit) {
  CreateSubscriptionRequest create;
  create.requestedPublishingInterval = 50;
  create.requestedMaxKeepAliveCount = 5;
  create.requestedLifetimeCount = 100;
  create.maxNotificationsPerPublish = 3;
  CreateSubscriptionResponse created;
  ASSERT_EQ(client.Call(create, created), status::Good);
  uint32_t sub = created.subscriptionId;
  Monitor(client, sub, {var("A")});
  ASSERT_EQ(MonitorEvents(client, sub, folder(), StandardFilter()).statusCode, status::Good);
  for (uint16_t severity = 1; severity <= 3; ++severity) {
    ConditionState s = HighActive();
    s.severity = severity;
    SetState(levelHandle, s);
  }
  // The initial value of A and two events, then the third event.
  PublishResponse first = PublishOnce(client);
  EXPECT_EQ(Changes(first).size(), 1u);
  EXPECT_EQ(Events(first).size(), 2u);
  EXPECT_TRUE(first.moreNotifications);
  PublishResponse second = PublishOnce(client);
  ASSERT_EQ(Events(second).size(), 1u);
  EXPECT_EQ(Get<uint16_t>(Events(second)[0], kSeverity), 3);
  EXPECT_TRUE(Changes(second).empty());
}

TEST_F(EventItems, ModifyAndDisableKeepTheItemsBounds) {
  uint32_t sub = CreateSubscription(client);
  auto item = MonitorEvents(client, sub, folder(), StandardFilter(), 10);
  ASSERT_EQ(item.statusCode, status::Good);
  const size_t held = core.ReservedQueueSlots();
  // A new filter with one field and a smaller queue gives slots back; a bad
  // one leaves the item as it was.
  ModifyMonitoredItemsRequest modify;
  modify.subscriptionId = sub;
  MonitoredItemModifyRequest change;
  change.monitoredItemId = item.monitoredItemId;
  change.requestedParameters.queueSize = 2;
  change.requestedParameters.filter = Wrap(With({Select("Severity")}));
  MonitoredItemModifyRequest bad = change;
  bad.requestedParameters.filter = Wrap(With({}));
  modify.itemsToModify = {bad, change};
  ModifyMonitoredItemsResponse modified;
  ASSERT_EQ(client.Call(modify, modified), status::Good);
  ASSERT_EQ(modified.results.size(), 2u);
  EXPECT_EQ(modified.results[0].statusCode, status::BadEventFilterInvalid);
  EXPECT_EQ(modified.results[1].statusCode, status::Good);
  EXPECT_EQ(modified.results[1].revisedQueueSize, 2u);
  EXPECT_LT(core.ReservedQueueSlots(), held);
  PublishOnce(client);
  SetState(levelHandle, HighActive());
  auto events = NextEvents(client);
  ASSERT_EQ(events.size(), 1u);
  ASSERT_EQ(events[0].eventFields.size(), 1u);
  EXPECT_EQ(Get<uint16_t>(events[0], 0), 500);
  // Disabled, it queues nothing; enabled again, only what comes after.
  SetMonitoringModeRequest mode;
  mode.subscriptionId = sub;
  mode.monitoringMode = MonitoringMode::Disabled;
  mode.monitoredItemIds = {item.monitoredItemId};
  SetMonitoringModeResponse moded;
  ASSERT_EQ(client.Call(mode, moded), status::Good);
  ConditionState normal;
  SetState(levelHandle, normal);
  mode.monitoringMode = MonitoringMode::Reporting;
  ASSERT_EQ(client.Call(mode, moded), status::Good);
  SetState(levelHandle, HighActive());
  events = NextEvents(client);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(Get<uint16_t>(events[0], 0), 500);
}

TEST_F(EventItems, ClientsFindTheConditionMethodsByBrowsePath) {
  TranslateBrowsePathsToNodeIdsRequest req;
  for (auto [start, name] : {std::pair{ids::ConditionType, "ConditionRefresh"},
                             {ids::AcknowledgeableConditionType, "Acknowledge"},
                             {ids::AcknowledgeableConditionType, "Confirm"}}) {
    BrowsePath path;
    path.startingNode = NodeId(0, start);
    path.relativePath.elements = {{NodeId(0, ids::HierarchicalReferences), false, true, {0, name}}};
    req.browsePaths.push_back(path);
  }
  TranslateBrowsePathsToNodeIdsResponse resp;
  ASSERT_EQ(client.Call(req, resp), status::Good);
  std::vector<uint32_t> found;
  for (const auto& r : resp.results)
    found.push_back(r.targets.empty() ? 0 : r.targets[0].targetId.nodeId.numeric);
  EXPECT_EQ(found, (std::vector<uint32_t>{ids::ConditionType_ConditionRefresh,
                                          ids::AcknowledgeableConditionType_Acknowledge,
                                          ids::AcknowledgeableConditionType_Confirm}));
}

}  // namespace
}  // namespace opcua
