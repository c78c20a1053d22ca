// Steps per second of the real run loop on the starting case with every
// disturbance signal and both noises on, under a host that does nothing but
// end the run after a fixed number of steps.
#include <benchmark/benchmark.h>

#include <iostream>
#include <memory>

#include "engine/RunLoop.h"
#include "persistence/CaseFile.h"
#include "persistence/ConfigurationFile.h"

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

void SwitchEverythingOn(qx::LoopModel& m) {
  for (qx::SignalParams* s : {&m.StepSignal, &m.PulseSignal, &m.RampSignal, &m.SineSignal}) {
    s->On = 1;
    s->Start = 0;
    s->End = 50081;
  }
  m.StepSignal.Size = 2;
  m.PulseSignal.Size = 3;
  m.PulseSignal.Rate = 20;
  m.PulseSignal.Option = 1;
  m.RampSignal.Size = 4;
  m.RampSignal.Rate = 0.2f;
  m.SineSignal.Size = 2;
  m.SineSignal.Rate = 0.05f;
  m.RunSettings.DisturbanceNoise = 1;
  m.SingleLoop.PVNoise = 0.01f;
}

void BM_RunLoop(benchmark::State& state) {
  auto sim = std::make_unique<qx::Simulation>();
  qx::StreamCaseHost caseHost(std::cerr);
  qx::CaseExtras extras;
  const std::string path = qx::ExecutableFolder() + "/TravekEX2.pid";
  if (qx::ReadCase(path, sim->Model, extras, '.', caseHost).status != qx::CaseReadStatus::Loaded) {
    state.SkipWithError("the starting case could not be loaded");
    return;
  }
  SwitchEverythingOn(sim->Model);
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
