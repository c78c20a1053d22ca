// Runs of the real engine for the analysis tests: the single loop on a
// given process, in Manual with scheduled output steps (bump tests) or in
// Auto with a set-point step, recorded step by step as LoopSamples.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "analysis/LoopSample.h"
#include "engine/Normalise.h"
#include "engine/RunHost.h"
#include "engine/RunLoop.h"
#include "engine/Simulation.h"

namespace qx::test {

// A host that records every step as the analysis reads it and applies
// `OnStep` at the start of each step.
class SampleHost : public RunHost {
 public:
  explicit SampleHost(Simulation& sim, int64_t steps) : sim_(sim), steps_(steps) {}
  std::function<void(int64_t step)> OnStep;
  std::vector<analysis::LoopSample> Samples;

  void ProcessMessages(MessagePoint point) override {
    if (point != MessagePoint::StepStart) return;
    const int64_t step = sim_.Run.StepsDone;
    if (OnStep) OnStep(step);
    if (step >= steps_) sim_.Model.RunControl.StopRequested = true;
  }
  void StepComputed() override {
    const PIDLoop& s = sim_.Model.SingleLoop;
    Samples.push_back({sim_.Run.t, s.SP, s.PV, s.OP, s.Mode});
  }

 private:
  Simulation& sim_;
  int64_t steps_;
};

// A single loop on `process`: CV range 0..100, SP and PV 50, output 50 %,
// a PI controller in Auto (P 1, I 10, form 1, executed every step), no
// disturbances, PV noise `pvNoise` (fraction of the span), MVHigh `mvHigh`.
// A steady state from the first step.
inline void LoadProcess(LoopModel& m, const ModelParams& process, float pvNoise, float mvHigh) {
  m = LoopModel{};
  PIDLoop& s = m.SingleLoop;
  s.P = 1;
  s.I = 10;
  s.GapGain = 1;
  s.ExecPeriod = 0.5f;
  s.CVHigh = 100;
  s.MVHigh = mvHigh;
  s.InitialValveOpening = 50;
  s.SPNew = s.InitialValue = 50;
  s.Equation = 1;
  s.Mode = 1;
  s.PVNoise = pvNoise;
  m.CascadeLoop.ExecPeriod = 0.5f;
  m.CascadeLoop.CVHigh = 100;
  m.CascadeLoop.InitialValveOpening = 50;
  m.ProcessModel = process;
  m.RunSettings.SimTime = 200;
  m.RunControl.LoopConfiguration = 1;
  m.RunControl.SingleConfiguration = true;
  m.RunControl.SingleModeSelect = 1;
  m.RunControl.SingleAutoState = 1;
  m.RunControl.SingleModeCode = 2;
  NormaliseLoopParameters(m);
}

// A bump test: Manual throughout, the output set to each (step, OP) pair
// from its step on, `steps` steps in all.
inline std::vector<analysis::LoopSample> BumpTest(const ModelParams& process, float pvNoise,
                                                  float mvHigh,
                                                  const std::vector<std::pair<int64_t, float>>& opSteps,
                                                  int64_t steps) {
  auto sim = std::make_unique<Simulation>();
  LoadProcess(sim->Model, process, pvNoise, mvHigh);
  sim->Model.RunControl.SingleModeSelect = 0;
  sim->Model.SingleLoop.Mode = 0;
  SampleHost host(*sim, steps);
  host.OnStep = [&](int64_t step) {
    for (const auto& [at, op] : opSteps)
      if (step == at) sim->Model.SingleLoop.OPNew = op;
  };
  SinglePID1Click(*sim, host);
  return std::move(host.Samples);
}

// A closed-loop run: Auto with P, I, D and the equation form given, the set
// point stepped to `newSP` at step `stepAt`.
inline std::vector<analysis::LoopSample> SetPointStep(const ModelParams& process, int equation,
                                                      float p, float i, float d, float newSP,
                                                      int64_t stepAt, int64_t steps) {
  auto sim = std::make_unique<Simulation>();
  LoadProcess(sim->Model, process, 0, 100);
  PIDLoop& s = sim->Model.SingleLoop;
  s.Equation = equation;
  s.P = p;
  s.I = i;
  s.D = d;
  SampleHost host(*sim, steps);
  host.OnStep = [&](int64_t step) {
    if (step == stepAt) sim->Model.SingleLoop.SPNew = newSP;
  };
  SinglePID1Click(*sim, host);
  return std::move(host.Samples);
}

}  // namespace qx::test
