// The plant side of a run: the process model (gain, dead time, one or two
// lags or an integrator, optional lead), the two disturbance paths, the
// disturbance signal that drives them, and the measurement chain.
//
// Process model of order n = 1, 2 (explicit Euler with dt = 0.5):
//   n = 1:  Tau1 y'  + y            = Gain (u + Lead u')
//   n = 2:  Tau1 y'' + Tau2 y' + y  = Gain (u + Lead u')
// Order 0 integrates:  y' = Gain u + IntegratorOffset.
// The output then passes a dead time of Delay; the delayed outputs of the
// disturbance paths are subtracted, noise is added, and the measured PV is
// sampled, filtered and clamped into the CV range.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>

#include "engine/LoopModel.h"
#include "engine/NumberText.h"
#include "engine/Random.h"

namespace qx {

// Entries of a dead-time line (the process's and both disturbance paths'):
// one for every write position from 0 to kLastStepIndex, and a few more.
inline constexpr int kDelayLineLength = 50100;
// The last write position of the dead-time lines. The step after it wraps
// the position to 0 and the clock with it, so the clock runs from 0 to
// kLastStepIndex x kTimeStep (25045 time units) and starts again.
inline constexpr int kLastStepIndex = kDelayLineLength - 10;
// A test signal's start and end must lie below the last entry of a line;
// normalisation sets either to 0 at or beyond it.
inline constexpr float kSignalWindowLimit = kDelayLineLength - 1;
// Samples a trend buffer holds: one every second step of the longest trend
// window (25000 time units, so 25000 samples), and 100 to spare.
inline constexpr int kTrendLength = 25100;
inline constexpr int kModelStates = 10;

// State of one disturbance path within a run.
struct DisturbancePathState {
  float Output = 0;   // y
  float Rate = 0;     // v
  float Delayed = 0;  // contribution to the PV after the path's dead time
  int DelaySteps = 0;
  float A0 = 0, B0 = 0, A1 = 0, BLead = 0;  // coefficients fixed at run start
  // Fixed with them: |A0| or |B0| is at least 1e15 (the path's rate is
  // 1e20), and that or |A1| at least 1e10 (the second lag's is).
  bool HugeCoefficient = false, HugeLagCoefficient = false;
};

// Memory of the disturbance-signal generator. It lives across runs and
// resets itself whenever the clock is (nearly) zero.
struct SignalState {
  float Noise = 0, StepValue = 0, PulseValue = 0, RampValue = 0, SineValue = 0, Total = 0;
  float PulseOnTimer = 0, PulseOffTimer = 0;
  bool RampRising = true;
  float SineStart = -1;
};

// The sine signal's sin(Rate x (t - SineStart)) of one run, by the step
// count k = 2 (t - SineStart) since the sine began. The clock comes back to
// the same k after every wrap, and the sine is the dearest part of a step,
// so a long run computes each value once. Values[0 .. Filled - 1] hold the
// values of the rate whose bits are RateBits; another rate starts afresh.
struct SineMemo {
  std::unique_ptr<double[]> Values;  // kDelayLineLength entries, or none
  uint32_t RateBits = 0;
  int Filled = 0;
};

// Model coefficients and states of the loop's process model.
struct ProcessStates {
  float State[kModelStates];
  float StateRate[kModelStates];
  float Coeff[kModelStates];
};

// Prepares the process model of `loop` for a run: coefficients, states,
// dead-time steps, the input at the start and the steady-state bias.
void StartProcessModel(PIDLoop& loop, const ModelParams& model, ProcessStates& states,
                       float dt);

// Advances the process by one step from loop.MV. `delayLine` holds
// kDelayLineLength entries; `stepIndex` is the run's write position. Returns
// false when the model output has run away beyond 1e25 in magnitude.
bool AdvanceProcessModel(PIDLoop& loop, const ModelParams& model, ProcessStates& states,
                         float* delayLine, int stepIndex, float t, float dt);

// Coefficients and dead time of a disturbance path at the start of a run.
void StartDisturbancePath(DisturbancePathState& path, const ModelParams& model, float dt);

// Advances one disturbance path by one step with the signal D and its change
// dD; the lead term applies only to the first path. Returns the delayed
// output.
// Inline: it runs twice at every step, and a call would cost a fifth of it.
inline float AdvanceDisturbancePath(DisturbancePathState& p, const ModelParams& model, float d,
                                    float dD, bool withLead, float* delayLine, int stepIndex,
                                    float dt) {
  if (model.Tau2 <= 0 && model.Tau1 <= 0) {
    // Without lags the path accumulates Gain x D at every step.
    p.Output = ToSingle(p.Output + static_cast<double>(model.Gain) * d);
  } else {
    const double lead = withLead ? static_cast<double>(p.BLead) * dD / dt : 0.0;
    if (model.Tau2 <= 0) {
      const double v = p.HugeCoefficient ? 1e20 : static_cast<double>(p.B0) * d + lead -
                                                      static_cast<double>(p.A0) * p.Output;
      p.Rate = ToSingle(v);
    } else {
      const double acc =
          (std::fabs(p.Rate) >= 1e10f || p.HugeLagCoefficient)
              ? 1e20
              : static_cast<double>(p.B0) * d + lead - static_cast<double>(p.A0) * p.Output -
                    static_cast<double>(p.A1) * p.Rate;
      p.Rate = ToSingle(p.Rate + acc * dt);
    }
    p.Output = ToSingle(p.Output + static_cast<double>(p.Rate) * dt);
  }
  delayLine[stepIndex] = p.Output;
  // A dead time stored or changed during the run may reach outside the line.
  const long from = static_cast<long>(stepIndex) - p.DelaySteps;
  p.Delayed = from >= 0 && from < kDelayLineLength ? delayLine[from] : 0.0f;
  return p.Delayed;
}

// The disturbance signal D at clock t (step, pulse, ramp, sine and noise).
// With a memo the sine values come from it where it holds them.
float DisturbanceSignal(SignalState& state, const LoopModel& m, RandomSource& random, float t,
                        float dt, SineMemo* memo = nullptr);

// Noise, sample-and-hold, filter and clamp: loop.PVRaw into loop.PV.
void MeasurePV(PIDLoop& loop, RandomSource& random, float t, float dt);

}  // namespace qx
