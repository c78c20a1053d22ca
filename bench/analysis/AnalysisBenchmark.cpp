// What the loop analysis costs: the run loop's steps per second with and
// without the performance indices fed at every step (the overhead the
// window pays for live figures), and the identification of a 10 000-step
// bump test.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <iostream>
#include <memory>
#include <vector>

#include "analysis/PerformanceIndices.h"
#include "analysis/StepIdentification.h"
#include "engine/Normalise.h"
#include "engine/RunLoop.h"
#include "bench/support/BusyCase.h"

namespace {

constexpr int64_t kStepsPerRun = 200000;

// Ends the run after kStepsPerRun steps; with `indices` it feeds them the
// values of every step, as a window showing them live would.
class QuietHost final : public qx::RunHost {
 public:
  QuietHost(qx::Simulation& sim, qx::analysis::PerformanceIndices* indices)
      : sim_(sim), indices_(indices) {}
  void ProcessMessages(qx::MessagePoint point) override {
    if (point == qx::MessagePoint::StepStart && sim_.Run.StepsDone == kStepsPerRun)
      sim_.Model.RunControl.StopRequested = true;
  }
  void StepComputed() override {
    if (!indices_) return;
    const qx::PIDLoop& s = sim_.Model.SingleLoop;
    indices_->Add(sim_.Run.t, s.SP, s.PV, s.OP, s.Mode);
  }

 private:
  qx::Simulation& sim_;
  qx::analysis::PerformanceIndices* indices_;
};


// The thread's CPU time for one run: time the scheduler gives to other
// work on a busy machine does not count.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

double RunSeconds(qx::Simulation& sim, qx::analysis::PerformanceIndices* indices) {
  QuietHost host(sim, indices);
  const double start = ThreadSeconds();
  qx::SinglePID1Click(sim, host);
  benchmark::DoNotOptimize(sim.Model.SingleLoop.PV);
  return ThreadSeconds() - start;
}

// Plain and fed runs alternate, so that both see the same machine load;
// overhead_percent compares the fastest run of each in CPU time, which is
// the least disturbed by other work on the machine.
void BM_RunLoopWithAndWithoutIndices(benchmark::State& state) {
  auto sim = std::make_unique<qx::Simulation>();
  if (!qx::bench::LoadBusyCase(*sim)) {
    state.SkipWithError("the starting case could not be loaded");
    return;
  }
  qx::analysis::PerformanceIndices indices;
  double plain = 1e300, fed = 1e300;
  for (auto _ : state) {
    plain = std::min(plain, RunSeconds(*sim, nullptr));
    indices.Reset();
    fed = std::min(fed, RunSeconds(*sim, &indices));
    benchmark::DoNotOptimize(indices.Results().IAE);
  }
  state.counters["plain_steps_per_second"] = kStepsPerRun / plain;
  state.counters["fed_steps_per_second"] = kStepsPerRun / fed;
  state.counters["overhead_percent"] = (fed / plain - 1) * 100;
}
BENCHMARK(BM_RunLoopWithAndWithoutIndices)->Unit(benchmark::kMillisecond)->Iterations(20);

// One Add on its own, for scale.
void BM_IndicesAdd(benchmark::State& state) {
  qx::analysis::PerformanceIndices indices;
  double t = 0, pv = 50;
  for (auto _ : state) {
    pv = 50 + 0.999 * (pv - 50) + (static_cast<int64_t>(t) % 400 == 0 ? 5 : 0);
    indices.Add(t, static_cast<int64_t>(t / 1000) % 2 ? 60 : 50, pv, 50, 1);
    t += 0.5;
  }
  benchmark::DoNotOptimize(indices.Results().IAE);
}
BENCHMARK(BM_IndicesAdd);

// A bump test recorded from the engine: Manual, the output switched
// between 60 % and 40 % every 1000 steps, PV noise on.
class BumpHost final : public qx::RunHost {
 public:
  explicit BumpHost(qx::Simulation& sim, int64_t steps) : sim_(sim), steps_(steps) {}
  std::vector<qx::analysis::LoopSample> Samples;
  void ProcessMessages(qx::MessagePoint point) override {
    if (point != qx::MessagePoint::StepStart) return;
    const int64_t step = sim_.Run.StepsDone;
    if (step % 1000 == 20) sim_.Model.SingleLoop.OPNew = (step / 1000) % 2 ? 40.0f : 60.0f;
    if (step >= steps_) sim_.Model.RunControl.StopRequested = true;
  }
  void StepComputed() override {
    const qx::PIDLoop& s = sim_.Model.SingleLoop;
    Samples.push_back({sim_.Run.t, s.SP, s.PV, s.OP, s.Mode});
  }

 private:
  qx::Simulation& sim_;
  int64_t steps_;
};

std::vector<qx::analysis::LoopSample> BumpTest(float tau1, float tau2, float delay) {
  auto sim = std::make_unique<qx::Simulation>();
  qx::LoopModel& m = sim->Model;
  qx::PIDLoop& s = m.SingleLoop;
  s.GapGain = 1;
  s.ExecPeriod = 0.5f;
  s.CVHigh = 100;
  s.MVHigh = 100;
  s.InitialValveOpening = 50;
  s.SPNew = s.InitialValue = 50;
  s.Equation = 1;
  s.PVNoise = 0.01f;
  m.CascadeLoop.ExecPeriod = 0.5f;
  m.CascadeLoop.CVHigh = 100;
  m.ProcessModel.Gain = 1.2f;
  m.ProcessModel.Tau1 = tau1;
  m.ProcessModel.Tau2 = tau2;
  m.ProcessModel.Delay = delay;
  m.RunSettings.SimTime = 200;
  m.RunControl.LoopConfiguration = 1;
  m.RunControl.SingleConfiguration = true;
  qx::NormaliseLoopParameters(m);
  BumpHost host(*sim, 10000);
  qx::SinglePID1Click(*sim, host);
  return std::move(host.Samples);
}

void Identify(benchmark::State& state, float tau1, float tau2, float delay) {
  const auto samples = BumpTest(tau1, tau2, delay);
  for (auto _ : state) {
    const auto result = qx::analysis::IdentifyStepResponse(samples, {});
    if (result.Status != qx::analysis::IdentificationStatus::Ok) {
      state.SkipWithError(result.Message.c_str());
      return;
    }
    benchmark::DoNotOptimize(result.Best);
  }
  state.counters["samples"] = static_cast<double>(samples.size());
}
BENCHMARK_CAPTURE(Identify, FirstOrder10000Steps, 40.0f, 0.0f, 10.0f)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Identify, SecondOrder10000Steps, 200.0f, 30.0f, 10.0f)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
