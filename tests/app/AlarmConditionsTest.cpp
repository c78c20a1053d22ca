// The loop's alarms as the application's server shows them: a client with
// an event item on the loop object sees the level alarm go active, and its
// acknowledgment reaches the alarm library on the GUI thread with its
// comment; the operator's acknowledgment reaches the client as an event.
#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "AppFixture.h"
#include "app/ScriptedRunHost.h"
#include "PanelFixture.h"
#include "opc/LoopAlarmConditions.h"
#include "opc/OPCServer.h"
#include "opcua/Client.h"
#include "opcua/EventNodeIds.h"
#include "opcua/EventServiceTypes.h"
#include "opcua/NodeIds.h"

namespace qx {
namespace {

namespace status = opcua::status;
namespace ids = opcua::ids;
using opcua::Variant;

// The fields the client selects, in this order.
enum Field : std::size_t { kEventId, kConditionName, kActive, kAcked, kConfirmed, kComment, kSourceName };
constexpr const char* kFieldPaths[] = {"EventId", "ConditionName", "ActiveState/Id", "AckedState/Id",
                                       "ConfirmedState/Id", "Comment", "SourceName"};
constexpr double kPublishingIntervalMs = 20;
constexpr auto kEventTimeout = std::chrono::seconds(5);

opcua::SimpleAttributeOperand Select(const std::string& path) {
  opcua::SimpleAttributeOperand op;
  op.typeDefinitionId = opcua::NodeId(0, ids::BaseEventType);
  for (std::size_t start = 0; start < path.size();) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    op.browsePath.push_back({0, path.substr(start, end - start)});
    start = end + 1;
  }
  return op;
}

struct Event {
  opcua::ByteString Id;
  std::string Condition, Comment, Source;
  bool Active = false, Acked = false, Confirmed = false;
};

class AlarmConditions : public ::testing::Test {
 protected:
  void SetUp() override {
    test::LoadTestCase(app_.Model(), app_.Panel());  // CV range 0..100
    app_.SetClientWriteWake([this] { ++wakes_; });
    const std::string endpoint = test::ServeOnFreePort(app_);
    ASSERT_FALSE(endpoint.empty());
    std::string error;
    ASSERT_TRUE(client_.Connect(endpoint, error)) << error;
    uint32_t subscription = 0;
    ASSERT_EQ(client_.CreateSubscription(kPublishingIntervalMs, subscription), status::Good);
    // Alarm events only, on the loop object itself.
    opcua::EventFilter filter;
    for (const char* path : kFieldPaths) filter.selectClauses.push_back(Select(path));
    filter.whereClause.elements = {{opcua::FilterOperator::OfType,
                                    {opcua::Wrap(opcua::LiteralOperand{opcua::NodeId(0, ids::AlarmConditionType)})}}};
    opcua::CreateMonitoredItemsRequest req;
    req.subscriptionId = subscription;
    opcua::MonitoredItemCreateRequest item;
    item.itemToMonitor.nodeId = opcua::NodeId(1, kLoopObjectId);
    item.itemToMonitor.attributeId = opcua::kAttrEventNotifier;
    item.requestedParameters.queueSize = 100;
    item.requestedParameters.filter = opcua::Wrap(filter);
    req.itemsToCreate = {item};
    opcua::CreateMonitoredItemsResponse resp;
    ASSERT_EQ(client_.Call(req, resp), status::Good);
    ASSERT_EQ(resp.results.size(), 1u);
    ASSERT_EQ(resp.results[0].statusCode, status::Good);
  }

  // The run loop's trend sample: the alarm states go to the conditions.
  void Sample() { app_.PublishItemValues(); }

  // The first level-alarm event that satisfies `wanted`, from the events
  // received so far or arriving within kEventTimeout.
  template <class Predicate>
  std::optional<Event> NextLevelEvent(Predicate wanted) {
    const auto deadline = std::chrono::steady_clock::now() + kEventTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
      for (std::size_t i = 0; i < received_.size(); ++i)
        if (received_[i].Condition == "LevelAlarm" && wanted(received_[i])) {
          Event e = received_[i];
          received_.erase(received_.begin(), received_.begin() + static_cast<long>(i) + 1);
          return e;
        }
      opcua::PublishResponse resp;
      if (!client_.Publish(resp, 2000).IsGood()) return std::nullopt;
      for (const auto& data : resp.notificationMessage.notificationData) {
        opcua::EventNotificationList list;
        if (!(data.typeId == opcua::NodeId(0, opcua::EventNotificationList::kTypeId)) ||
            !opcua::Unwrap(data, list).IsGood())
          continue;
        for (const auto& fields : list.events) received_.push_back(Parse(fields));
      }
    }
    return std::nullopt;
  }

  static Event Parse(const opcua::EventFieldList& e) {
    auto get = [&]<class T>(Field f, T fallback) {
      const auto* v = std::get_if<T>(&e.eventFields.at(f).scalar);
      return v ? *v : fallback;
    };
    Event out;
    out.Id = get(kEventId, opcua::ByteString{});
    out.Condition = get(kConditionName, std::string());
    out.Active = get(kActive, false);
    out.Acked = get(kAcked, false);
    out.Confirmed = get(kConfirmed, false);
    out.Comment = get(kComment, opcua::LocalizedText{}).text;
    out.Source = get(kSourceName, std::string());
    return out;
  }

  opcua::StatusCode Answer(uint32_t method, const Event& e, const std::string& comment) {
    std::vector<Variant> outputs;
    return client_.CallMethod(opcua::NodeId(1, kLoopAlarmConditions[0].Id), opcua::NodeId(0, method),
                              {Variant(e.Id), Variant(opcua::LocalizedText{"en", comment})}, outputs);
  }

  const AlarmStatus& Level() { return app_.Alarms().Status(AlarmKind::Level); }

  // PV above the high limit of 80 at the next step, which the run host
  // feeds; the client hears of it without waiting for a trend sample.
  void RaiseHighAlarm() {
    AlarmLimits limits;
    limits.High = 80;
    ASSERT_TRUE(app_.SetAlarmLimits(limits).empty());
    app_.Model().SingleLoop.PV = 90;
    app_.Alarms().StepComputed(app_.Model(), 1);
    ASSERT_TRUE(Level().Active);
  }

  test::FakeAppHost host_;
  Application app_{host_, '.'};
  opcua::Client client_;
  std::vector<Event> received_;
  std::atomic<int> wakes_{0};
};

TEST_F(AlarmConditions, AClientsAcknowledgmentReachesTheAlarmOnTheGuiThread) {
  RaiseHighAlarm();
  const std::optional<Event> active = NextLevelEvent([](const Event& e) { return e.Active; });
  ASSERT_TRUE(active);
  EXPECT_EQ(active->Source, "Loop");
  EXPECT_FALSE(active->Acked);

  ASSERT_EQ(Answer(ids::AcknowledgeableConditionType_Acknowledge, *active, "seen by the console"), status::Good);
  EXPECT_EQ(wakes_.load(), 1) << "the GUI thread is woken to deliver it";
  EXPECT_FALSE(Level().Acked) << "the alarm library is the GUI thread's: nothing before the delivery";
  const std::optional<Event> acked = NextLevelEvent([](const Event& e) { return e.Acked; });
  ASSERT_TRUE(acked);
  EXPECT_EQ(acked->Comment, "seen by the console");

  app_.DeliverClientWrites();
  EXPECT_TRUE(Level().Acked);
  EXPECT_EQ(Level().Comment, "seen by the console");
  EXPECT_FALSE(Level().Confirmed);
  // The library's state mirrors what the stack recorded: no second event,
  // and the client's EventId is still the one to confirm.
  Sample();
  ASSERT_EQ(Answer(ids::AcknowledgeableConditionType_Confirm, *acked, "logged"), status::Good);
  const std::optional<Event> confirmed = NextLevelEvent([](const Event&) { return true; });
  ASSERT_TRUE(confirmed);
  EXPECT_TRUE(confirmed->Confirmed) << "the next event is the confirmation, not a copy of the acknowledgment";
  app_.DeliverClientWrites();
  EXPECT_TRUE(Level().Confirmed);
  EXPECT_EQ(Level().Comment, "logged");
}

// A run without a window processes its messages only at the steps it knows
// of, or when a flag says work waits: a client's acknowledgment must raise
// one, or an unpaced qxsim run would answer it only at its end.
TEST_F(AlarmConditions, AClientsAcknowledgmentCallsARunWithoutAWindowAtItsNextStep) {
  const std::vector<ScriptedAction> noActions;
  const std::atomic<bool> notInterrupted{false};
  ScriptedRunHost run(app_, noActions, 1000, 1, notInterrupted);
  run.ProcessMessages(MessagePoint::StepStart);  // at step 0: the next known work is the last step
  ASSERT_FALSE(run.MessagesDue(1));

  RaiseHighAlarm();
  const std::optional<Event> active = NextLevelEvent([](const Event& e) { return e.Active; });
  ASSERT_TRUE(active);
  ASSERT_EQ(Answer(ids::AcknowledgeableConditionType_Acknowledge, *active, "seen"), status::Good);
  EXPECT_TRUE(run.MessagesDue(1));
}

TEST_F(AlarmConditions, TheOperatorsAcknowledgmentReachesTheClient) {
  RaiseHighAlarm();
  const std::optional<Event> active = NextLevelEvent([](const Event& e) { return e.Active; });
  ASSERT_TRUE(active);
  // From the window or qxsim, between two samples (or with the loop idle):
  // the condition follows at once.
  EXPECT_EQ(app_.AcknowledgeAlarm(AlarmKind::Level, ""), AlarmAnswer::Done);
  const std::optional<Event> acked = NextLevelEvent([](const Event& e) { return e.Acked; });
  ASSERT_TRUE(acked);
  EXPECT_TRUE(acked->Active);
  EXPECT_EQ(Answer(ids::AcknowledgeableConditionType_Acknowledge, *acked, "late"),
            status::BadConditionBranchAlreadyAcked);
  EXPECT_EQ(Answer(ids::AcknowledgeableConditionType_Acknowledge, *active, "stale"), status::BadEventIdUnknown);
  EXPECT_EQ(app_.ConfirmAlarm(AlarmKind::Level, ""), AlarmAnswer::Done);
  const std::optional<Event> confirmed = NextLevelEvent([](const Event& e) { return e.Confirmed; });
  ASSERT_TRUE(confirmed);
  EXPECT_EQ(wakes_.load(), 0) << "nothing was handed from the server thread";
}

}  // namespace
}  // namespace qx
