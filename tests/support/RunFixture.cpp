#include "RunFixture.h"

#include <cmath>

#include "engine/Normalise.h"

namespace qx::test {

void LoadTestCase(LoopModel& m) {
  m = LoopModel{};
  PIDLoop& s = m.SingleLoop;
  s.P = 1;
  s.I = 10;
  s.D = 0;
  s.GapGain = 1;
  s.ExecPeriod = 0.5f;
  s.CVLow = 0;
  s.CVHigh = 100;
  s.MVLow = 0;
  s.MVHigh = 100;
  s.InitialValveOpening = 50;
  s.SPNew = 50;
  s.InitialValue = 50;
  s.Equation = 1;
  m.CascadeLoop.ExecPeriod = 0.5f;
  m.CascadeLoop.CVHigh = 100;
  m.CascadeLoop.InitialValveOpening = 50;
  m.ProcessModel.Gain = 1;
  m.ProcessModel.Tau1 = 10;
  m.RunSettings.SimTime = 200;
  m.RunControl.LoopConfiguration = 1;
  m.RunControl.SingleConfiguration = true;
  m.RunControl.SingleModeSelect = 1;
  m.RunControl.SingleAutoState = 1;
  m.RunControl.SingleModeCode = 2;
  m.SingleLoop.Mode = 1;
  NormaliseLoopParameters(m);
}

bool AllFinite(const StepValues& v) {
  for (float x : {v.t, v.SP, v.PV, v.PVRaw, v.OP, v.OPOut, v.OPNew, v.MV, v.ModelOutput,
                  v.DelayedOutput, v.D})
    if (!std::isfinite(x)) return false;
  return true;
}

}  // namespace qx::test
