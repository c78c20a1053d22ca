#include "engine/ControlStructure.h"

#include "engine/NumberText.h"
#include "engine/RunControlCodes.h"

namespace qx {

void ApplyModeSelection(LoopModel& m) {
  PIDLoop& single = m.SingleLoop;
  switch (static_cast<LoopMode>(m.RunControl.SingleModeSelect)) {
    case LoopMode::Manual:
      single.Mode = 0;
      single.OP = single.OPNew;
      m.CascadeLoop.Mode = 0;
      break;
    case LoopMode::Auto:
      single.Mode = 1;
      single.OPNew = single.OP;
      m.CascadeLoop.Mode = 0;
      break;
    default:
      break;
  }
}

float SetPointPercent(const PIDLoop& single) {
  return ToSingle((static_cast<double>(single.SP) - single.CVLow) * 100 /
                  (static_cast<double>(single.CVHigh) - single.CVLow));
}

void SingleSetPoint(LoopModel& m) {
  PIDLoop& single = m.SingleLoop;
  if (single.Mode != 0) {
    single.SP = single.SPNew;
    const float percent = SetPointPercent(single);
    m.CascadeLoop.InitialValveOpening = m.CascadeLoop.OP = m.CascadeLoop.OPOut = percent;
  } else {
    single.OP = single.OPNew;
  }
}

bool CascadeTracking(LoopModel& m, RunHost& host) {
  if (RunEndRequested(m.RunControl)) return false;
  PIDLoop& single = m.SingleLoop;
  PIDLoop& cascade = m.CascadeLoop;
  switch (static_cast<LoopMode>(m.RunControl.SingleModeSelect)) {
    case LoopMode::Manual:
      single.OP = single.OPNew;
      single.Mode = 0;
      host.ShowTrackedSetPoint(single.SP);
      break;
    case LoopMode::Auto:
      single.Mode = 1;
      single.OPNew = single.OP;
      host.ShowTrackedOutput(single.OPNew);
      break;
    default:
      break;
  }
  cascade.Mode = 0;

  const float percent = SetPointPercent(single);
  cascade.InitialValveOpening = cascade.OP = cascade.OPOut = percent;
  if (cascade.OP >= 100) cascade.OP = 100;
  if (cascade.OP <= 0) cascade.OP = 0;
  if (cascade.OPOut >= 100) cascade.OPOut = 100;
  if (cascade.OPOut <= 0) cascade.OPOut = 0;

  cascade.Executed = 1;
  cascade.TimeSinceExec = 0;
  return true;
}

}  // namespace qx
