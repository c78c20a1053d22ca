#include "engine/RunLoop.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "engine/ControlStructure.h"
#include "engine/Controller.h"
#include "engine/Normalise.h"
#include "engine/NumberText.h"
#include "engine/Plant.h"
#include "engine/RunControlCodes.h"

namespace qx {
namespace {

bool AllocateRunBuffers(Simulation& sim, RunHost& host) {
  RunBuffers& b = sim.Buffers;
  b.Loop = ZeroedLoopBuffers();
  if (!b.Loop) {
    host.FatalAllocationFailure(true);
    return false;
  }
  b.TimeTrend = ZeroedFloats(kTrendLength);
  b.DisturbanceDelayLine = ZeroedFloats(kDelayLineLength);
  b.Disturbance2DelayLine = ZeroedFloats(kDelayLineLength);
  // Filled as the sine is computed: no entry is read before it is written.
  b.Sine = SineMemo{};
  b.Sine.Values.reset(new (std::nothrow) double[kDelayLineLength]);
  if (!b.TimeTrend || !b.DisturbanceDelayLine || !b.Disturbance2DelayLine || !b.Sine.Values) {
    ReleaseRunBuffers(sim);
    host.FatalAllocationFailure(false);
    return false;
  }
  b.Fill = TrendFill{};
  return true;
}

void SetFilterRate(PIDLoop& loop) {
  loop.FilterRate = loop.FilterTimeConstant > 0 ? ToSingle(1.0 / loop.FilterTimeConstant) : 0.0f;
}

void StartState(Simulation& sim) {
  LoopModel& m = sim.Model;
  RunState& run = sim.Run;
  PIDLoop& single = m.SingleLoop;

  ResetLoopState(single);
  m.RunSettings.VectorScale1 = m.RunSettings.VectorScale2 = m.RunSettings.VectorScale3 = 1.0f;
  StartDisturbancePath(run.Path1, m.DisturbanceModel, kTimeStep);
  StartDisturbancePath(run.Path2, m.DisturbanceModel2, kTimeStep);
  run.DisturbancePrev = 0;
  StartProcessModel(single, m.ProcessModel, sim.Buffers.Loop->Model, kTimeStep);
  ResetLoopState(m.CascadeLoop);
  single.OP = ToSingle(static_cast<double>(single.InitialValveOpening) + single.OPStep);
  single.OPNew = single.InitialValveOpening;
  SetFilterRate(single);

  run.t = 0;
  run.StepIndex = 0;
  run.SampleCount = 0;
  run.WindowSteps = 0;
  run.StepsDone = 0;
}

// The window length as a whole number of time units, safe for any value.
int WholeSimTime(float simTime) {
  if (!(simTime > 0)) return 0;
  if (simTime >= static_cast<float>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  return static_cast<int>(simTime);
}

// The speed display kSlowestSpeedLevel - SpeedLevel and the pause in whole
// milliseconds, for any value the fields may hold: a level or pause stored
// far outside 0..kSlowestSpeedLevel and 0..kSlowestSleepMs must not overflow
// an int.
int SpeedDisplay(int speedLevel) {
  const long long value = static_cast<long long>(kSlowestSpeedLevel) - speedLevel;
  return static_cast<int>(std::min<long long>(value, std::numeric_limits<int>::max()));
}
int PauseMilliseconds(float sleepMs) {
  return static_cast<int>(std::min<double>(sleepMs, std::numeric_limits<int>::max()));
}

// One step of the run: messages and pending changes, the trend sample and
// publication, the controller when due, the plant and the measurement, the
// clock, the speed command and the pause, the charts. Returns false when
// the run ends inside the step.
bool Step(Simulation& sim, RunHost& host) {
  LoopModel& m = sim.Model;
  RunControlRecord& control = m.RunControl;
  RunState& run = sim.Run;
  RunBuffers& buffers = sim.Buffers;
  PIDLoop& single = m.SingleLoop;

  if (host.MessagesDue(run.StepsDone)) host.ProcessMessages(MessagePoint::StepStart);
  if (host.MakesDisplayCall(RunHost::kShowSpeed)) host.ShowSpeed(SpeedDisplay(control.SpeedLevel));
  if (control.ChangesPending) PickUpChanges(sim, host);
  if (RunEndRequested(control)) return false;

  // Trend sample and publication at steps 0, 2, 4, ... of the run.
  if (run.StepsDone % 2 == 0) {
    buffers.RecordSample(run.SampleCount, run.t + m.RunSettings.DataStart, single.PV, single.SP,
                         single.MV);
    if (host.MakesDisplayCall(RunHost::kTrendSampleRecorded))
      host.TrendSampleRecorded(run.SampleCount, run.StepsDone, run.t + m.RunSettings.DataStart);
    host.PublishItemValues();
    ++run.SampleCount;
  }

  if (ExecutionDue(m.CascadeLoop) && !CascadeTracking(m, host)) return false;

  const float d = DisturbanceSignal(sim.Signal, m, sim.Random, run.t, kTimeStep, &buffers.Sine);
  const float dD = ToSingle(static_cast<double>(d) - run.DisturbancePrev);
  run.DisturbancePrev = d;

  ApplyModeSelection(m);
  if (ExecutionDue(single)) {
    SingleSetPoint(m);
    ExecuteController(single, m.ProcessModel, sim.OutputStep, run.t, kTimeStep);
  }

  single.OPOut = single.OP;
  if (single.OPOut >= 100) single.OPOut = 100;
  if (single.OPOut <= 0) single.OPOut = 0;
  single.MV = ToSingle(0.01 * single.OPOut * single.MVHigh);

  if (!AdvanceProcessModel(single, m.ProcessModel, buffers.Loop->Model,
                           buffers.Loop->DelayLine, run.StepIndex, run.t, kTimeStep))
    run.t = ToSingle(static_cast<double>(m.RunSettings.SimTime) + 1);
  const float delayed1 = AdvanceDisturbancePath(run.Path1, m.DisturbanceModel, d, dD, true,
                                                buffers.DisturbanceDelayLine.get(), run.StepIndex, kTimeStep);
  const float delayed2 = AdvanceDisturbancePath(run.Path2, m.DisturbanceModel2, d, dD, false,
                                                buffers.Disturbance2DelayLine.get(), run.StepIndex, kTimeStep);
  single.PVRaw = ToSingle(static_cast<double>(single.DelayedOutput) - delayed1 - delayed2);
  MeasurePV(single, sim.Random, run.t, kTimeStep);
  host.StepComputed();

  // The clock runs from 0 to kLastStepIndex x kTimeStep and then starts
  // again at 0.
  if (run.StepIndex < kLastStepIndex) {
    ++run.StepIndex;
    run.t += kTimeStep;
  } else {
    run.StepIndex = 0;
    run.t = 0;
  }
  single.DelayIndex = run.StepIndex;
  single.TimeSinceExec += kTimeStep;
  m.CascadeLoop.TimeSinceExec += kTimeStep;

  // The command is taken as it is applied: one given later in this step
  // (during the message processing or the pause below) stays pending and
  // acts at the next step instead of being cleared unapplied.
  // The gauge shows the new speed at once, not only after the pause that
  // the command has just changed.
  if (control.SpeedCommandPending) {
    if (host.MessagesDue(run.StepsDone)) host.ProcessMessages(MessagePoint::Pacing);
    control.SpeedCommandPending = false;
    ApplySpeedCommand(control);
    if (host.MakesDisplayCall(RunHost::kShowSpeed)) host.ShowSpeed(SpeedDisplay(control.SpeedLevel));
  }
  if (host.MessagesDue(run.StepsDone)) host.ProcessMessages(MessagePoint::Pacing);
  if (!control.ApplyInProgress && control.SleepMs >= 1) host.Pause(PauseMilliseconds(control.SleepMs));

  // Compact the window when it is full; also before the trend arrays could
  // overflow, whatever the window length has been set to meanwhile.
  ++run.WindowSteps;
  if (run.WindowSteps / 2 >= m.RunSettings.SimTime || run.SampleCount >= kTrendLength - 1) {
    const int half = run.SampleCount / 2;
    buffers.CompactTrends(half);
    if (host.MakesDisplayCall(RunHost::kTrendSampleRecorded)) host.TrendsCompacted(half);
    run.SampleCount = half;
    run.WindowSteps /= 2;
  }

  if (host.MakesDisplayCall(RunHost::kPlotSingleTrends))
    host.PlotSingleTrends(buffers, run.SampleCount, WholeSimTime(m.RunSettings.SimTime));
  ++run.StepsDone;
  return true;
}

void PrepareAndStartRun(Simulation& sim, RunHost& host) {
  LoopModel& m = sim.Model;
  m.RunSettings.DataStart = 0;
  m.RunSettings.DataLength = m.RunSettings.SimTime;
  m.SingleLoop.Spare4 = 0;
  m.CascadeLoop.Spare4 = 0;
  m.RunControl.ChangesPending = false;
  m.RunControl.StopRequested = false;
  StartRun(sim, host);
}

}  // namespace

void SinglePID1Click(Simulation& sim, RunHost& host) {
  RunControlRecord& control = sim.Model.RunControl;
  // A start from a handler nested in the active run's message processing
  // must not run a loop inside that loop: it ends the active run and leaves
  // the new run to the outer call, which starts it below once the old loop
  // has returned. Apply Changes re-enters on purpose and is let through.
  if (sim.Run.Active && !control.ApplyInProgress) {
    control.StopRequested = true;
    control.RestartPending = true;
    return;
  }
  // This call starts the run itself: a start requested earlier is done.
  if (!sim.Run.Active) control.RestartPending = false;
  PrepareAndStartRun(sim, host);
  while (control.RestartPending && !sim.Run.Active) {
    control.RestartPending = false;
    PrepareAndStartRun(sim, host);
  }
}

void StartRun(Simulation& sim, RunHost& host) {
  LoopModel& m = sim.Model;
  m.SingleLoop.InitialValue = m.SingleLoop.SPNew;
  m.RunControl.ChangesPending = false;
  host.RunStarting();
  host.ReadOperatorInputs();
  m.RunSettings.DataStart = 0;
  m.RunSettings.TimeStep = StepTime(m.RunSettings.SimTime);
  RunSimulation(sim, host);
}

void RunSimulation(Simulation& sim, RunHost& host) {
  RunControlRecord& control = sim.Model.RunControl;
  // At most one run at a time: a nested request (Apply Changes) returns.
  if (control.ApplyInProgress || control.StopRequested || sim.Run.Active) return;
  if (!AllocateRunBuffers(sim, host)) return;

  sim.Run.Active = true;
  StartState(sim);
  while (!RunEndRequested(control) && Step(sim, host)) {
  }

  ReleaseRunBuffers(sim);
  host.RunEnded();
  control.SpeedChangeEnabled = false;
  sim.Run.Active = false;
}

void ReleaseRunBuffers(Simulation& sim) {
  RunBuffers& b = sim.Buffers;
  b.Loop.reset();
  b.TimeTrend.reset();
  b.DisturbanceDelayLine.reset();
  b.Disturbance2DelayLine.reset();
  b.Sine = SineMemo{};
}

void PickUpChanges(Simulation& sim, RunHost& host) {
  LoopModel& m = sim.Model;
  PIDLoop& single = m.SingleLoop;
  host.ReadTuningInputs();
  single.PVNoise = ToSingle(single.PVNoise / 100.0);
  NormaliseLoopParameters(m);
  host.ShowLoopValues();
  single.InitialValue = single.SPNew;
  if (LoadShared(single.I) < kMinimumIntegral) StoreShared(single.I, kMinimumIntegral);
  if (m.CascadeLoop.I < kMinimumIntegral) m.CascadeLoop.I = kMinimumIntegral;
  SetFilterRate(single);
  const float percent = SetPointPercent(single);
  m.CascadeLoop.InitialValveOpening = m.CascadeLoop.OP = m.CascadeLoop.OPOut = percent;
  sim.Random.Seed(host.PickupSeed());
  m.RunControl.ChangesPending = false;
}

void ApplySpeedCommand(RunControlRecord& c) {
  if (!c.SpeedChangeEnabled) return;
  switch (static_cast<SpeedCommand>(c.SpeedCommand)) {
    case SpeedCommand::Faster:
      if (c.SleepMs > 0) {
        c.SleepMs -= kSleepMsPerSpeedLevel;
        // A stored level may already sit at the limit; it stays there.
        if (c.SpeedLevel > std::numeric_limits<int32_t>::min()) c.SpeedLevel -= 1;
      }
      break;
    case SpeedCommand::Normal:
      c.SleepMs = kNormalSleepMs;
      c.SpeedLevel = kNormalSpeedLevel;
      break;
    case SpeedCommand::Slower:
      if (c.SleepMs < kSlowestSleepMs) {
        c.SleepMs += kSleepMsPerSpeedLevel;
        if (c.SpeedLevel < std::numeric_limits<int32_t>::max()) c.SpeedLevel += 1;
      }
      break;
    default:
      break;
  }
}

}  // namespace qx
