// Steps per second of the real run loop on the starting case with every
// disturbance signal and both noises on, under a host that does nothing but
// end the run after a fixed number of steps.
#include <benchmark/benchmark.h>

#include <iostream>
#include <memory>

#include "engine/RunLoop.h"
#include "bench/support/BusyCase.h"

namespace {

constexpr int64_t kStepsPerRun = 200000;

class QuietHost final : public qx::RunHost {
 public:
  explicit QuietHost(qx::Simulation& sim) : sim_(sim) {}
  void ProcessMessages(qx::MessagePoint point) override {
    if (point == qx::MessagePoint::StepStart && sim_.Run.StepsDone == kStepsPerRun)
      sim_.Model.RunControl.StopRequested = true;
  }

 private:
  qx::Simulation& sim_;
};


void BM_RunLoop(benchmark::State& state) {
  auto sim = std::make_unique<qx::Simulation>();
  if (!qx::bench::LoadBusyCase(*sim)) {
    state.SkipWithError("the starting case could not be loaded");
    return;
  }
  QuietHost host(*sim);
  for (auto _ : state) {
    qx::SinglePID1Click(*sim, host);
    benchmark::DoNotOptimize(sim->Model.SingleLoop.PV);
  }
  state.SetItemsProcessed(state.iterations() * kStepsPerRun);
  state.counters["steps_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kStepsPerRun),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunLoop)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
