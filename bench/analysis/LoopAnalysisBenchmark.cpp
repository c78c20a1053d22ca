// What the application's live analysis costs a run: the run loop's steps
// per second on the busy case with and without the LoopAnalysis feed that
// the window's and qxsim's run hosts make at every step (the indices plus
// the watch on the step signal).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <memory>

#include "app/LoopAnalysis.h"
#include "bench/support/BusyCase.h"
#include "engine/RunLoop.h"

namespace {

constexpr int64_t kStepsPerRun = 200000;

// Ends the run after kStepsPerRun steps; with `analysis` it feeds it as the
// run hosts do.
class FeedingHost final : public qx::RunHost {
 public:
  FeedingHost(qx::Simulation& sim, qx::LoopAnalysis* analysis) : sim_(sim), analysis_(analysis) {}
  void ProcessMessages(qx::MessagePoint point) override {
    if (point == qx::MessagePoint::StepStart && sim_.Run.StepsDone == kStepsPerRun)
      sim_.Model.RunControl.StopRequested = true;
  }
  void RunStarting() override {
    if (analysis_) analysis_->RunStarting();
  }
  void StepComputed() override {
    if (analysis_) analysis_->StepComputed(sim_.Model, sim_.Run.t);
  }

 private:
  qx::Simulation& sim_;
  qx::LoopAnalysis* analysis_;
};

// The thread's CPU time: time the scheduler gives to other work on a busy
// machine does not count.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

double RunSeconds(qx::Simulation& sim, qx::LoopAnalysis* analysis) {
  FeedingHost host(sim, analysis);
  const double start = ThreadSeconds();
  qx::SinglePID1Click(sim, host);
  benchmark::DoNotOptimize(sim.Model.SingleLoop.PV);
  return ThreadSeconds() - start;
}

// Plain and fed runs alternate, so that both see the same machine load;
// overhead_percent compares the fastest run of each.
void BM_RunLoopWithAndWithoutLoopAnalysis(benchmark::State& state) {
  auto sim = std::make_unique<qx::Simulation>();
  if (!qx::bench::LoadBusyCase(*sim)) {
    state.SkipWithError("the starting case could not be loaded");
    return;
  }
  qx::LoopAnalysis analysis;
  double plain = 1e300, fed = 1e300;
  for (auto _ : state) {
    plain = std::min(plain, RunSeconds(*sim, nullptr));
    fed = std::min(fed, RunSeconds(*sim, &analysis));
    benchmark::DoNotOptimize(analysis.Results().IAE);
  }
  state.counters["plain_steps_per_second"] = kStepsPerRun / plain;
  state.counters["fed_steps_per_second"] = kStepsPerRun / fed;
  state.counters["overhead_percent"] = (fed / plain - 1) * 100;
}
BENCHMARK(BM_RunLoopWithAndWithoutLoopAnalysis)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
