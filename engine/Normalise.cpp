#include "engine/Normalise.h"

#include <cmath>
#include <limits>

#include "engine/NumberText.h"
#include "engine/Plant.h"

namespace qx {
namespace {

// RunSettings.Setting27 is only carried through case files; one at or below
// 0 gets this value, so a case always stores a positive one.
constexpr float kSetting27Default = 1000000;

constexpr float kBoundFactor = 15.0f;

// Bounds are stored with the case but no computation uses them. A value
// near the largest single would overflow when multiplied by the factor:
// the bound saturates instead of becoming infinite.
void ComputeBounds(ModelParams& m) {
  auto times = [](float value) { return ToSingle(static_cast<double>(value) * kBoundFactor); };
  auto over = [](float value) { return ToSingle(static_cast<double>(value) / kBoundFactor); };
  m.DelayLow = over(m.Delay);
  m.DelayHigh = times(m.Delay);
  m.Tau1Low = over(m.Tau1);
  m.Tau1High = times(m.Tau1);
  m.Tau2Low = over(m.Tau2);
  m.Tau2High = times(m.Tau2);
  if (m.Gain > 0) {
    m.GainLow = over(m.Gain);
    m.GainHigh = times(m.Gain);
  } else {
    m.GainLow = times(m.Gain);
    m.GainHigh = over(m.Gain);
  }
}

// Clamps and repairs of one loop's configuration (the clamps use the range
// as it stands, before the repair of an empty or inverted CV range).
void NormaliseLoopLimits(PIDLoop& loop, float timeStep) {
  if (loop.ExecPeriod < timeStep) loop.ExecPeriod = timeStep;
  if (loop.FilterTimeConstant < 0) loop.FilterTimeConstant = 0;
  if (loop.PVSampleDelay < 0) loop.PVSampleDelay = 0;
  if (loop.InitialValue > loop.CVHigh) loop.InitialValue = loop.CVHigh;
  if (loop.InitialValue < loop.CVLow) loop.InitialValue = loop.CVLow;
  if (loop.SPNew > loop.CVHigh) loop.SPNew = loop.CVHigh;
  if (loop.SPNew < loop.CVLow) loop.SPNew = loop.CVLow;
  if (loop.GapGain < 0) loop.GapGain = 1;
  if (loop.GapLow < 0) loop.GapLow = 0;
  if (loop.GapHigh < 0) loop.GapHigh = 0;
  if (loop.MVHigh < 0) loop.MVHigh = 0;
  if (loop.MVHigh <= loop.MVLow) loop.MVLow = 0;
  if (LoadShared(loop.P) < 0) StoreShared(loop.P, 0);
  if (LoadShared(loop.I) < 0) StoreShared(loop.I, 0);
  if (loop.D < 0) loop.D = 0;

  if (loop.CVHigh <= loop.CVLow) {
    if (loop.CVHigh > 0) {
      loop.CVLow = -loop.CVHigh;
    } else if (loop.CVHigh < 0) {
      loop.CVLow = 2 * loop.CVHigh;
    } else {
      loop.CVLow = -100;
      loop.CVHigh = 100;
    }
  }
}

void NormaliseOutputStart(PIDLoop& loop) {
  if (loop.InitialValveOpening > 99.99f || loop.InitialValveOpening < 0.01f)
    loop.InitialValveOpening = 50;
  if (loop.OPStep > 99.99f || loop.OPStep < -99.99f) loop.OPStep = 0;
}

}  // namespace

float StepTime(float) { return kTimeStep; }

void DeriveOrder(ModelParams& model) {
  if (model.Tau2 >= 1 && model.Tau1 >= 1)
    model.Order = 2;
  else if (model.Tau2 < 1 && model.Tau1 >= 1)
    model.Order = 1;
  else
    model.Order = 0;
}

int RoundToInt(double value) {
  if (std::isnan(value)) return 0;
  double whole = std::trunc(value);
  if (std::fabs(value - whole) >= 0.5) whole += 1;
  if (whole >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (whole <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(whole);
}

void NormaliseSignalWindow(SignalParams& s) {
  if (s.Start < 0 || s.Start >= kSignalWindowLimit) s.Start = 0;
  if (s.End < 0 || s.End >= kSignalWindowLimit) s.End = 0;
  if (s.Start >= s.End) {
    s.Start = 0;
    s.End = 0;
    s.On = 0;
  }
}

void NormaliseLoopParameters(LoopModel& m) {
  RunSettingsRecord& run = m.RunSettings;

  // A whole-numbered trend window of 200 to 25000 time units, and the step.
  double simTime = run.SimTime;
  double whole = std::trunc(simTime);
  if (std::fabs(simTime - whole) >= 0.5) whole += 1;
  run.SimTime = static_cast<float>(std::isnan(whole) ? 200.0 : whole);
  run.TimeStep = StepTime(run.SimTime);
  if (!(run.SimTime >= 200)) run.SimTime = 200;
  if (run.SimTime > 25000) run.SimTime = 25000;

  // The operator's output into 0..100; filters too short to act are off.
  if (m.SingleLoop.OPNew < 0) m.SingleLoop.OPNew = 0;
  if (m.SingleLoop.OPNew > 100) m.SingleLoop.OPNew = 100;
  if (m.SingleLoop.FilterTimeConstant < 0.55f) m.SingleLoop.FilterTimeConstant = 0;
  if (m.CascadeLoop.FilterTimeConstant < 0.55f) m.CascadeLoop.FilterTimeConstant = 0;

  // The models' stored bounds and orders.
  ComputeBounds(m.ProcessModel);
  DeriveOrder(m.ProcessModel);
  DeriveOrder(m.CascadeProcessModel);
  ComputeBounds(m.DisturbanceModel);
  DeriveOrder(m.DisturbanceModel);
  ComputeBounds(m.DisturbanceModel2);
  DeriveOrder(m.DisturbanceModel2);

  // Both loops' limits and ranges; the single loop's starting output.
  NormaliseLoopLimits(m.SingleLoop, run.TimeStep);
  NormaliseOutputStart(m.SingleLoop);
  NormaliseLoopLimits(m.CascadeLoop, run.TimeStep);

  // Stored settings, the loops' copies of the window length, the cascade
  // loop's starting output.
  if (run.Setting27 <= 0) run.Setting27 = kSetting27Default;
  m.SingleLoop.SimTime = run.SimTime;
  m.CascadeLoop.SimTime = m.RunControl.LoopConfiguration == 2 ? run.SimTime : 0;
  NormaliseOutputStart(m.CascadeLoop);

  // The test signals' windows; the step signal is left as the case gives it.
  for (SignalParams* s : {&m.PulseSignal, &m.RampSignal, &m.SineSignal}) {
    NormaliseSignalWindow(*s);
    if (s->Rate < 0) s->Rate = 0;
    if (s->Size < 0) s->Size = 0;
  }
}

void ResetLoopState(PIDLoop& loop) {
  loop.Error = loop.ErrorPrev = loop.ErrorPrev2 = 0;
  loop.ErrorChange = loop.ErrorChangePrev = 0;
  loop.PVChange = loop.PVChangePrev = 0;
  loop.TimeSinceExec = 0;
  loop.DelayIndex = 0;
  loop.Executed = 0;
  const float start = loop.InitialValue;
  loop.SP = loop.SPPrev = loop.ModelOutput = start;
  loop.PVRaw = loop.PVSampled = loop.PV = start;
  loop.PVPrev = loop.PVPrev2 = loop.DelayedOutput = start;
  loop.OPOut = loop.OPPrev = loop.InitialValveOpening;
}

}  // namespace qx
