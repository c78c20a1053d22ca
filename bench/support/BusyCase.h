// The case the benchmarks run: the starting case beside the executable with
// every disturbance signal and both noises on, so a step does all it can.
// bench/engine/busy-case.args gives qxsim run the same settings as --set
// options.
#pragma once

#include <iostream>
#include <string>

#include "engine/Simulation.h"
#include "persistence/CaseFile.h"
#include "persistence/ConfigurationFile.h"

namespace qx::bench {

// False when the starting case cannot be loaded (its box went to stderr).
inline bool LoadBusyCase(Simulation& sim) {
  StreamCaseHost caseHost(std::cerr);
  CaseExtras extras;
  const std::string path = ExecutableFolder() + "/TravekEX2.pid";
  if (ReadCase(path, sim.Model, extras, '.', caseHost).status != CaseReadStatus::Loaded) return false;
  LoopModel& m = sim.Model;
  for (SignalParams* s : {&m.StepSignal, &m.PulseSignal, &m.RampSignal, &m.SineSignal}) {
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
  return true;
}

}  // namespace qx::bench
