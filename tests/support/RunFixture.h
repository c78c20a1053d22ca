// Shared by the tests of the engine and of everything that runs it: a valid
// single-loop case and a run host that scripts operator actions at given
// steps and records what every step computed.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/Normalise.h"
#include "engine/RunHost.h"
#include "engine/RunLoop.h"
#include "engine/Simulation.h"

namespace qx::test {

// A first-order process (gain 1, lag 10, no dead time) under a PI controller
// in Auto, set point 50 on a 0..100 range, output 50 %, no disturbances and
// no noise: a steady state from the first step.
void LoadTestCase(LoopModel& m);

// What one step left behind, read after the plant has advanced and before
// the clock moves on.
struct StepValues {
  int64_t Step;
  float t;
  int StepIndex;
  float SP, PV, PVRaw, OP, OPOut, OPNew, MV, ModelOutput, DelayedOutput, D;
  bool Executed;  // the single loop's controller ran in this step
  int Mode;
};

// A host that stops the run during the message processing of step
// `StopAtStep` and runs `OnStepStart` / `OnPacing` / `OnPause` at every step
// before that. It records every step unless `Record` is false (the allocation test
// needs a host that allocates nothing).
class ScriptedHost : public RunHost {
 public:
  explicit ScriptedHost(Simulation& sim) : sim_(sim) {}

  int64_t StopAtStep = 100;
  bool Record = true;
  std::function<void(int64_t step)> OnStepStart;
  std::function<void(int64_t step)> OnPacing;
  std::function<void(int64_t step)> OnPause;  // handlers that run while the step pauses

  std::vector<StepValues> Steps;
  std::vector<int64_t> PublishedAt;   // steps at which item values were published
  std::vector<int> SampleCounts;      // SampleCount passed to every redraw
  std::vector<int> Pauses;            // pause of every step that paused
  std::vector<float> TrackedSetPoints, TrackedOutputs;
  std::vector<int64_t> TrackedAt;     // steps with a tracking display write
  int ReadTuningCalls = 0;
  int RunStartingCalls = 0, RunEndedCalls = 0;
  std::function<void(const RunBuffers&, int sampleCount)> OnPlot;

  void ProcessMessages(MessagePoint point) override {
    const int64_t step = sim_.Run.StepsDone;
    if (point == MessagePoint::StepStart) {
      if (OnStepStart) OnStepStart(step);
      if (step >= StopAtStep) sim_.Model.RunControl.StopRequested = true;
    } else if (OnPacing) {
      OnPacing(step);
    }
  }
  void RunStarting() override { ++RunStartingCalls; }
  void RunEnded() override { ++RunEndedCalls; }
  void ReadTuningInputs() override { ++ReadTuningCalls; }
  void ShowTrackedSetPoint(float sp) override {
    if (!Record) return;
    TrackedSetPoints.push_back(sp);
    TrackedAt.push_back(sim_.Run.StepsDone);
  }
  void ShowTrackedOutput(float op) override {
    if (!Record) return;
    TrackedOutputs.push_back(op);
    TrackedAt.push_back(sim_.Run.StepsDone);
  }
  void PublishItemValues() override {
    if (Record) PublishedAt.push_back(sim_.Run.StepsDone);
  }
  void StepComputed() override {
    if (!Record) return;
    const PIDLoop& s = sim_.Model.SingleLoop;
    Steps.push_back(StepValues{sim_.Run.StepsDone, sim_.Run.t, sim_.Run.StepIndex, s.SP, s.PV,
                               s.PVRaw, s.OP, s.OPOut, s.OPNew, s.MV, s.ModelOutput,
                               s.DelayedOutput, sim_.Signal.Total, s.TimeSinceExec == 0,
                               s.Mode});
  }
  void PlotSingleTrends(RunBuffers& buffers, int sampleCount, int) override {
    if (!Record) return;
    SampleCounts.push_back(sampleCount);
    if (OnPlot) OnPlot(buffers, sampleCount);
  }
  void Pause(int ms) override {
    if (Record) Pauses.push_back(ms);
    if (OnPause) OnPause(sim_.Run.StepsDone);
  }

 private:
  Simulation& sim_;
};

// Whether every value the step computed is finite.
bool AllFinite(const StepValues& v);

}  // namespace qx::test
