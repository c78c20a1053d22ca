// Client writes of QX_S.PROP and QX_S.INTG against a running loop that
// publishes at every sample, and a server torn down while a client writes.
// Both pass in any build; under the thread sanitizer (scripts/test.sh runs
// this target in such a build) they show that the write hook, the
// publication and the run loop share no unguarded data.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "RunFixture.h"
#include "ServedServer.h"
#include "engine/RunLoop.h"

namespace qx {
namespace {

using Clock = std::chrono::steady_clock;

// A run host that publishes the items at every trend sample, delivers the
// client writes into the model and its edit texts between steps, and ends
// the run once `Done` says so or a time limit passes.
class PublishingHost : public RunHost {
 public:
  PublishingHost(Simulation& sim, COPCServer& server, ClientWriteHandOff& writes)
      : sim_(sim), server_(server), writes_(writes) {}

  std::function<bool()> Done;
  Clock::time_point Deadline = Clock::now() + std::chrono::seconds(60);
  long Publications = 0;
  std::string PSingleText, ISingleText;

  void ProcessMessages(MessagePoint point) override {
    writes_.Deliver(sim_.Model, [this](std::string_view edit, const std::string& text) {
      (edit == "PSingle" ? PSingleText : ISingleText) = text;
    });
    if (point != MessagePoint::StepStart) return;
    // Now and then the run picks up changes, which also normalises P and I.
    if (sim_.Run.StepsDone % 500 == 1) sim_.Model.RunControl.ChangesPending = true;
    if ((Done && Done()) || Clock::now() > Deadline) sim_.Model.RunControl.StopRequested = true;
  }
  void PublishItemValues() override {
    server_.PublishItemValues(PanelSnapshot{false, "0.1"});
    ++Publications;
  }

 private:
  Simulation& sim_;
  COPCServer& server_;
  ClientWriteHandOff& writes_;
};

TEST(WriteHookRace, ClientWritesAndASubscriberDuringARun) {
  Simulation sim;
  test::LoadTestCase(sim.Model);
  sim.Random.Seed(3);
  sim.Model.SingleLoop.PVNoise = 0.01f;

  ClientWriteHandOff writes;
  std::string endpoint;
  auto server = test::ServeOnFreePort(
      [&] {
        auto made = std::make_unique<COPCServer>(sim.Model, '.');
        made->SetClientWriteHandOff(&writes);
        return made;
      },
      endpoint);
  ASSERT_TRUE(server);
  PublishingHost host(sim, *server, writes);

  std::atomic<bool> running{true};
  std::atomic<long> goodWrites{0}, badWrites{0}, notifications{0};
  std::string writerError, subscriberError;
  const std::vector<std::string> gains = {"0.5", "1", "1.5", "2"};
  std::thread writer([&] {
    opcua::Client client;
    if (!client.Connect(endpoint, writerError)) return;
    for (std::size_t n = 0; running.load(); ++n) {
      const bool gain = n % 2 == 0;
      const opcua::Variant value = gain ? opcua::Variant(gains[n / 2 % gains.size()])
                                        : opcua::Variant(int32_t(10 + n % 3));
      const opcua::StatusCode s =
          client.Write(test::ItemNode(gain ? "QX_S.PROP" : "QX_S.INTG"), value);
      (s.IsGood() ? goodWrites : badWrites).fetch_add(1);
    }
  });
  std::thread subscriber([&] {
    opcua::Client client;
    uint32_t subscription = 0;
    if (!client.Connect(endpoint, subscriberError) ||
        !client.CreateSubscription(50, subscription).IsGood() ||
        !client.Monitor(subscription, {test::ItemNode("QX_S.PV"), test::ItemNode("QX_S.K")}, 100)
             .IsGood()) {
      subscriberError += " (subscribing failed)";
      return;
    }
    while (running.load()) {
      opcua::PublishResponse response;
      if (!client.Publish(response, 2000).IsGood()) continue;
      notifications.fetch_add(static_cast<long>(response.notificationMessage.notificationData.size()));
    }
  });

  host.Done = [&] { return goodWrites.load() >= 400 && notifications.load() >= 10; };
  SinglePID1Click(sim, host);
  running = false;
  writer.join();
  subscriber.join();

  EXPECT_EQ(writerError, "");
  EXPECT_EQ(subscriberError, "");
  EXPECT_GE(goodWrites.load(), 400) << "the run ended at its time limit";
  EXPECT_EQ(badWrites.load(), 0);
  EXPECT_GT(notifications.load(), 0);
  EXPECT_GT(host.Publications, 0);
  const float p = LoadShared(sim.Model.SingleLoop.P), i = LoadShared(sim.Model.SingleLoop.I);
  EXPECT_TRUE(p == 0.5f || p == 1 || p == 1.5f || p == 2) << p;
  EXPECT_TRUE(i == 10 || i == 11 || i == 12) << i;
  EXPECT_TRUE(std::isfinite(sim.Model.SingleLoop.OP));
  // The panel got the edit texts of the writes.
  host.ProcessMessages(MessagePoint::Pacing);
  EXPECT_EQ(host.PSingleText.size(), 8u) << host.PSingleText;  // "0.500000" .. "2.000000"
}

// The server is destroyed while a client keeps writing: the write hook must
// not run on a half-destroyed server.
TEST(WriteHookRace, ServerDestroyedWhileAClientWrites) {
  for (int round = 0; round < 5; ++round) {
    LoopModel model;
    ClientWriteHandOff handOff;
    std::string endpoint;
    auto server = test::ServeOnFreePort(
        [&] {
          auto made = std::make_unique<COPCServer>(model, '.');
          made->SetClientWriteHandOff(&handOff);
          return made;
        },
        endpoint);
    ASSERT_TRUE(server);
    std::atomic<long> writes{0};
    std::thread writer([&] {
      opcua::Client client;
      std::string error;
      if (!client.Connect(endpoint, error)) return;
      while (client.Write(test::ItemNode("QX_S.PROP"), opcua::Variant(std::string("1.5"))).IsGood())
        writes.fetch_add(1);
    });
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (writes.load() < 20 && Clock::now() < deadline) std::this_thread::yield();
    server.reset();  // the client's next write fails; it then stops
    writer.join();
    EXPECT_GE(writes.load(), 20);
    EXPECT_GE(static_cast<long>(handOff.Deliver(model, {})), writes.load());
    EXPECT_EQ(LoadShared(model.SingleLoop.P), 1.5f);
  }
}

}  // namespace
}  // namespace qx
