// The notifier hierarchy an application builds with AddNotifier: the
// events of a condition reach the event items on every notifier above its
// source, each once, whichever paths lead there.

#include <gtest/gtest.h>

#include "EventFixture.h"
#include "opcua/EventTypes.h"

namespace opcua {
namespace {

using test::EventFixture;
using test::StandardFilter;
using test::TestClient;
using namespace test;  // field indices

class Notifiers : public EventFixture {
 protected:
  // Server -> Objects -> App (the fixture's folder, also linked to the
  // Server object by its conditions) -> Pump, an object with an alarm.
  Notifiers() {
    std::string error;
    EXPECT_TRUE(core.AddObject(folder(), pump(), "Pump", NodeId(0, ids::BaseObjectType), 0, error)) << error;
    EXPECT_TRUE(core.AddNotifier(NodeId(0, ids::Server), objects(), error)) << error;
    EXPECT_TRUE(core.AddNotifier(objects(), folder(), error)) << error;
    EXPECT_TRUE(core.AddNotifier(folder(), pump(), error)) << error;
    ConditionDefinition stuck{NodeId(ns, "Pump.Stuck"), NodeId(0, ids::OffNormalAlarmType), pump(), "PumpStuck",
                              {}, {}, {}};
    EXPECT_TRUE(core.AddCondition(stuck, pumpHandle, error)) << error;
  }
  NodeId pump() const { return NodeId(ns, "App.Pump"); }
  static NodeId objects() { return NodeId(0, ids::ObjectsFolder); }

  uint32_t pumpHandle = 0;
};

TEST_F(Notifiers, AnEventReachesEveryNotifierAboveItsSourceOnce) {
  TestClient client(core);
  ASSERT_TRUE(client.ConnectAndOpenSession());
  const uint32_t sub = CreateSubscription(client);
  const NodeId items[] = {NodeId(0, ids::Server), objects(), folder(), pump()};
  for (const NodeId& node : items)
    ASSERT_EQ(MonitorEvents(client, sub, node, StandardFilter()).statusCode, status::Good) << node.ToString();
  PublishOnce(client);
  SetState(pumpHandle, HighActive());
  const auto events = NextEvents(client);
  ASSERT_EQ(events.size(), std::size(items)) << "one event per item, though Server reaches App two ways";
  for (const auto& e : events) EXPECT_EQ(Get<std::string>(e, kConditionName), "PumpStuck");

  // Objects is a notifier now; the pump is notified only through the
  // hierarchy, not by the Server object directly.
  ReadRequest read;
  read.nodesToRead = {{objects(), kAttrEventNotifier, "", {}}, {pump(), kAttrEventNotifier, "", {}}};
  ReadResponse values;
  ASSERT_EQ(client.Call(read, values), status::Good);
  ASSERT_EQ(values.results.size(), 2u);
  for (const DataValue& v : values.results) {
    const auto* bits = std::get_if<uint8_t>(&v.value.scalar);
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(*bits & kSubscribeToEvents, kSubscribeToEvents);
  }
  BrowseRequest browse;
  browse.nodesToBrowse = {{pump(), BrowseDirection::Inverse, NodeId(0, ids::HasNotifier), false, 0, 0x3F}};
  BrowseResponse notifiers;
  ASSERT_EQ(client.Call(browse, notifiers), status::Good);
  ASSERT_EQ(notifiers.results.size(), 1u);
  ASSERT_EQ(notifiers.results[0].references.size(), 1u);
  EXPECT_EQ(notifiers.results[0].references[0].nodeId.nodeId, folder());
}

TEST_F(Notifiers, OnlyObjectsAreNotifiers) {
  struct Case {
    NodeId notifier, child;
    const char* named;
  };
  for (const Case& c : {Case{folder(), var("A"), "ns=1;s=A"}, Case{var("A"), folder(), "ns=1;s=A"},
                        Case{folder(), NodeId(ns, "Nowhere"), "ns=1;s=Nowhere"},
                        Case{pump(), pump(), "ns=1;s=App.Pump"}}) {
    std::string error;
    EXPECT_FALSE(core.AddNotifier(c.notifier, c.child, error)) << c.named;
    EXPECT_NE(error.find(c.named), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace opcua
