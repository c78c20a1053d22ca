#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "RunFixture.h"

namespace qx {
namespace {

// OPC clients store SingleLoop.P and SingleLoop.I from a server thread while
// the run computes with them. Under the thread sanitizer this shows that the
// stores and the run's loads do not race.
TEST(SharedWriter, StoresOfPAndIFromAnotherThreadDuringARun) {
  Simulation sim;
  test::LoadTestCase(sim.Model);
  sim.Random.Seed(5);
  sim.Model.SingleLoop.PVNoise = 0.01f;
  sim.Model.RampSignal = SignalParams{1, 0, 0, 50081, 3, 0.5f};
  sim.Model.DisturbanceModel.Gain = 1;
  sim.Model.DisturbanceModel.Tau1 = 4;

  std::atomic<bool> running{true};
  std::atomic<long> writes{0};
  test::ScriptedHost host(sim);
  host.Record = false;
  host.StopAtStep = 200000;
  host.OnStepStart = [&](int64_t step) {
    // Pick up changes now and then, which also normalises P and I.
    if (step % 5000 == 1) sim.Model.RunControl.ChangesPending = true;
  };
  PIDLoop& loop = sim.Model.SingleLoop;
  std::thread writer([&] {
    float p = 0.5f;
    while (running.load(std::memory_order_relaxed)) {
      StoreShared(loop.P, p);
      StoreShared(loop.I, 20 - 10 * p);
      p = p >= 2 ? 0.5f : p + 0.25f;
      writes.fetch_add(1, std::memory_order_relaxed);
      std::this_thread::yield();
    }
  });
  SinglePID1Click(sim, host);
  running = false;
  writer.join();

  EXPECT_EQ(sim.Run.StepsDone, 200000);
  EXPECT_GT(writes.load(), 0);
  const float p = LoadShared(loop.P);
  EXPECT_GE(p, 0.5f);
  EXPECT_LE(p, 2.0f);
  EXPECT_TRUE(std::isfinite(loop.OP));
  EXPECT_TRUE(std::isfinite(loop.PV));
}

}  // namespace
}  // namespace qx
