#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "RunFixture.h"

// Counts every allocation of the test program, so that a test can show that
// a run allocates only when it starts, whatever its length.
namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace qx {
namespace {

long AllocationsOfARun(int64_t steps) {
  Simulation sim;
  test::LoadTestCase(sim.Model);
  LoopModel& m = sim.Model;
  m.ProcessModel.Delay = 2;
  m.DisturbanceModel.Gain = 1;
  m.DisturbanceModel.Tau1 = 3;
  m.PulseSignal = SignalParams{1, 1, 0, 50081, 2, 3};
  m.RampSignal = SignalParams{1, 1, 0, 50081, 3, 0.5f};
  m.SineSignal = SignalParams{1, 0, 0, 50081, 1, 0.1f};
  m.RunSettings.DisturbanceNoise = 0.5f;
  m.SingleLoop.PVNoise = 0.02f;
  test::ScriptedHost host(sim);
  host.Record = false;
  host.StopAtStep = steps;
  host.OnStepStart = [&](int64_t step) {
    if (step % 1000 == 7) m.RunControl.ChangesPending = true;  // pickups too
  };
  const long before = allocations.load();
  SinglePID1Click(sim, host);
  const long count = allocations.load() - before;
  EXPECT_EQ(sim.Run.StepsDone, steps);
  return count;
}

TEST(RunAllocation, AllocatesOnlyAtTheStartWhateverTheLength) {
  const long shortRun = AllocationsOfARun(10);
  const long longRun = AllocationsOfARun(10000);
  EXPECT_GT(shortRun, 0) << "the counter sees the run's buffers";
  EXPECT_EQ(shortRun, longRun);
}

}  // namespace
}  // namespace qx
