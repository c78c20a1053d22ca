#pragma once
// A ServerCore on a manual clock with one application folder of three
// String variables, and helpers that speak to it through TestClients.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestClient.h"
#include "opcua/NodeIds.h"

namespace opcua::test {

class ServerFixture : public ::testing::Test {
 protected:
  explicit ServerFixture(ServerLimits limits = {}, ServerSecurity security = {})
      : core(MakeConfig(limits, std::move(security)), clock) {
    ns = core.RegisterNamespace("urn:test:app");
    std::string error;
    EXPECT_TRUE(core.AddFolder(NodeId(0, ids::ObjectsFolder), folder(), "App", error)) << error;
    for (const char* name : {"A", "B", "RO"}) {
      uint32_t handle = 0;
      bool writable = std::string(name) != "RO";
      EXPECT_TRUE(core.AddVariable(folder(), NodeId(ns, name), name, "empty", writable, handle, error))
          << error;
      handles.push_back(handle);
    }
  }

  static ServerConfig MakeConfig(const ServerLimits& limits, ServerSecurity security = {}) {
    ServerConfig c;
    c.endpointUrl = kUrl;
    c.applicationUri = "urn:test:server";
    c.limits = limits;
    c.security = std::move(security);
    return c;
  }

  NodeId folder() const { return NodeId(ns, "App"); }
  NodeId var(const char* name) const { return NodeId(ns, name); }

  // Publishes one value of variable `index` as the application would.
  void Set(size_t index, const std::string& text) {
    std::vector<ValueUpdate> batch(1);
    batch[0].handle = handles.at(index);
    batch[0].value = DataValue::Of(text);
    batch[0].value.hasStatus = batch[0].value.hasSourceTimestamp = true;
    batch[0].value.sourceTimestamp = clock.Now();
    core.ApplyUpdates(batch);
  }

  uint32_t CreateSubscription(TestClient& client, double intervalMs = 50, uint32_t keepAlive = 5,
                              uint32_t lifetime = 100) {
    CreateSubscriptionRequest req;
    req.requestedPublishingInterval = intervalMs;
    req.requestedMaxKeepAliveCount = keepAlive;
    req.requestedLifetimeCount = lifetime;
    CreateSubscriptionResponse resp;
    EXPECT_EQ(client.Call(req, resp), status::Good);
    return resp.subscriptionId;
  }

  CreateMonitoredItemsResponse Monitor(TestClient& client, uint32_t subscription,
                                       std::vector<NodeId> nodes, uint32_t queueSize = 1000,
                                       bool discardOldest = true) {
    CreateMonitoredItemsRequest req;
    req.subscriptionId = subscription;
    for (auto& n : nodes) {
      MonitoredItemCreateRequest item;
      item.itemToMonitor.nodeId = n;
      item.requestedParameters.clientHandle = nextClientHandle++;
      item.requestedParameters.samplingInterval = 0;
      item.requestedParameters.queueSize = queueSize;
      item.requestedParameters.discardOldest = discardOldest;
      req.itemsToCreate.push_back(item);
    }
    CreateMonitoredItemsResponse resp;
    EXPECT_EQ(client.Call(req, resp), status::Good);
    return resp;
  }

  // Sends a Publish request; returns the answers that came at once.
  std::vector<ServerMessage> SendPublish(TestClient& client,
                                         std::vector<SubscriptionAcknowledgement> acks = {}) {
    PublishRequest req;
    req.subscriptionAcknowledgements = std::move(acks);
    return client.Exchange(client.channel.Request(req));
  }

  // Lets `ms` pass and runs the server's timers.
  std::vector<ServerMessage> Advance(TestClient& client, int64_t ms) {
    clock.Advance(ms);
    core.Tick();
    return client.Collect();
  }

  // One Publish answered within the next interval; fails the test otherwise.
  PublishResponse PublishOnce(TestClient& client, int64_t ms = 50,
                              std::vector<SubscriptionAcknowledgement> acks = {}) {
    auto now = SendPublish(client, std::move(acks));
    if (now.empty()) now = Advance(client, ms);
    PublishResponse resp;
    EXPECT_EQ(now.size(), 1u);
    if (!now.empty()) {
      EXPECT_EQ(TestClient::Answer(now[0], resp), status::Good);
    }
    return resp;
  }

  static std::vector<MonitoredItemNotification> Changes(const PublishResponse& resp) {
    std::vector<MonitoredItemNotification> out;
    for (const auto& data : resp.notificationMessage.notificationData) {
      if (!(data.typeId == NodeId(0, DataChangeNotification::kTypeId))) continue;  // events
      DataChangeNotification dcn;
      EXPECT_EQ(Unwrap(data, dcn), status::Good);
      out.insert(out.end(), dcn.monitoredItems.begin(), dcn.monitoredItems.end());
    }
    return out;
  }

  static std::string Text(const DataValue& v) {
    auto* s = std::get_if<std::string>(&v.value.scalar);
    return s ? *s : "<not a string>";
  }

  ManualClock clock;
  ServerCore core;
  uint16_t ns = 0;
  std::vector<uint32_t> handles;
  uint32_t nextClientHandle = 100;  // items are numbered 100, 101, ... as created
};

}  // namespace opcua::test
