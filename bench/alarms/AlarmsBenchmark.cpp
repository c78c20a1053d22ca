// What the alarm rules cost a run: the run loop's steps per second on the
// busy case with and without the LoopAlarms feed that the window's and
// qxsim's run hosts make at every step, with every alarm on. "Quiet" limits
// are never crossed (the cost of the rules themselves); "Crossing" limits
// sit inside the busy case's swing, so that transitions happen as well.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <vector>

#include "app/LoopAlarms.h"
#include "bench/support/BusyCase.h"
#include "engine/RunLoop.h"

namespace {

constexpr int64_t kStepsPerRun = 200000;
// Turns of a plain and a fed run: an odd number, for a middle one.
constexpr int kTurns = 101;

// Ends the run after kStepsPerRun steps; with `alarms` it feeds them as the
// run hosts do.
class FeedingHost final : public qx::RunHost {
 public:
  FeedingHost(qx::Simulation& sim, qx::LoopAlarms* alarms) : sim_(sim), alarms_(alarms) {}
  void ProcessMessages(qx::MessagePoint point) override {
    if (point == qx::MessagePoint::StepStart && sim_.Run.StepsDone == kStepsPerRun)
      sim_.Model.RunControl.StopRequested = true;
  }
  void RunStarting() override {
    if (alarms_) alarms_->RunStarting();
  }
  void StepComputed() override {
    if (alarms_) alarms_->StepComputed(sim_.Model, sim_.Run.t);
  }

 private:
  qx::Simulation& sim_;
  qx::LoopAlarms* alarms_;
};

// The thread's CPU time: time the scheduler gives to other work on a busy
// machine does not count.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

double RunSeconds(qx::Simulation& sim, qx::LoopAlarms* alarms) {
  FeedingHost host(sim, alarms);
  const double start = ThreadSeconds();
  qx::SinglePID1Click(sim, host);
  benchmark::DoNotOptimize(sim.Model.SingleLoop.PV);
  return ThreadSeconds() - start;
}

// Every alarm on (a margin of 0: every alarm off); `margin` away from the busy case's set point of 50.
qx::AlarmLimits Limits(double margin) {
  qx::AlarmLimits l;
  l.LowLow = 50 - 2 * margin;
  l.Low = 50 - margin;
  l.High = 50 + margin;
  l.HighHigh = 50 + 2 * margin;
  l.LevelDeadband = margin / 4;
  l.Deviation = margin;
  l.DeviationDelay = 1;
  l.DeviationDeadband = margin / 4;
  l.SaturationDelay = 1;
  return l;
}

// Plain and fed runs alternate, in turns of which goes first, so that both
// see the same machine load. overhead_percent compares the fastest run of
// each; pair_overhead_percent is the median over the turns of the fed run's
// time against its neighbour's, which a load that comes and goes between
// turns moves less.
void BM_RunLoopWithAndWithoutAlarms(benchmark::State& state, double margin) {
  auto sim = std::make_unique<qx::Simulation>();
  if (!qx::bench::LoadBusyCase(*sim)) {
    state.SkipWithError("the starting case could not be loaded");
    return;
  }
  qx::LoopAlarms alarms;
  if (margin > 0) alarms.Set().Configure(Limits(margin));
  uint64_t transitions = 0;
  alarms.Set().SetListener([&](const qx::AlarmStatus&, qx::AlarmChange) { ++transitions; });
  double plain = 1e300, fed = 1e300;
  std::vector<double> pairRatios;
  bool plainFirst = true;
  for (auto _ : state) {
    double plainRun = 0, fedRun = 0;
    if (plainFirst) {
      plainRun = RunSeconds(*sim, nullptr);
      fedRun = RunSeconds(*sim, &alarms);
    } else {
      fedRun = RunSeconds(*sim, &alarms);
      plainRun = RunSeconds(*sim, nullptr);
    }
    plainFirst = !plainFirst;
    plain = std::min(plain, plainRun);
    fed = std::min(fed, fedRun);
    pairRatios.push_back(fedRun / plainRun);
  }
  std::nth_element(pairRatios.begin(), pairRatios.begin() + pairRatios.size() / 2, pairRatios.end());
  state.counters["plain_steps_per_second"] = kStepsPerRun / plain;
  state.counters["fed_steps_per_second"] = kStepsPerRun / fed;
  state.counters["overhead_percent"] = (fed / plain - 1) * 100;
  state.counters["pair_overhead_percent"] = (pairRatios[pairRatios.size() / 2] - 1) * 100;
  state.counters["transitions_per_run"] = static_cast<double>(transitions) / static_cast<double>(state.iterations());
}
// Every alarm off (the defaults): the feed's floor.
BENCHMARK_CAPTURE(BM_RunLoopWithAndWithoutAlarms, Off, 0.0)->Unit(benchmark::kMillisecond)->Iterations(kTurns);
BENCHMARK_CAPTURE(BM_RunLoopWithAndWithoutAlarms, Quiet, 45.0)->Unit(benchmark::kMillisecond)->Iterations(kTurns);
BENCHMARK_CAPTURE(BM_RunLoopWithAndWithoutAlarms, Crossing, 2.0)->Unit(benchmark::kMillisecond)->Iterations(kTurns);

}  // namespace

BENCHMARK_MAIN();
