#include "engine/Plant.h"

#include <bit>
#include <cmath>

#include "engine/NumberText.h"
#include "engine/Normalise.h"

namespace qx {
namespace {

// A run treats a negative dead time as none.
int DeadTimeSteps(float delay, float dt) {
  int steps = RoundToInt(static_cast<double>(delay) / dt);
  return steps > 0 ? steps : 0;
}

// Entry `index` of a delay line, or `fallback` when the index lies outside
// it (a dead time changed or stored during the run may ask for one).
float DelayLineAt(const float* line, long index, float fallback) {
  return index >= 0 && index < kDelayLineLength ? line[index] : fallback;
}

// sin(rate x elapsed), from the memo when it holds the value. Only whole
// step counts within a line's length are kept: the clock advances by half
// units, and a clock moved otherwise (a runaway model) computes directly.
double SineOf(SineMemo* memo, float rate, float elapsed) {
  // Worked out only where a value is computed: most steps read the memo.
  const auto sine = [rate, elapsed] { return std::sin(static_cast<double>(rate) * elapsed); };
  if (!memo || !memo->Values) return sine();
  const float twice = elapsed * 2;
  if (!(twice >= 0 && twice < kDelayLineLength)) return sine();
  const int k = static_cast<int>(twice);
  if (k != twice) return sine();
  // By bits: -0 and 0 compare equal but give sines of opposite sign.
  const uint32_t rateBits = std::bit_cast<uint32_t>(rate);
  if (rateBits != memo->RateBits) {
    memo->RateBits = rateBits;
    memo->Filled = 0;
  }
  if (k < memo->Filled) return memo->Values[k];
  const double value = sine();
  if (k == memo->Filled) memo->Values[memo->Filled++] = value;
  return value;
}

}  // namespace

void StartProcessModel(PIDLoop& loop, const ModelParams& model, ProcessStates& states, float dt) {
  loop.DelayStepsExact = ToSingle(static_cast<double>(model.Delay) / dt);
  loop.DelaySteps = DeadTimeSteps(model.Delay, dt);

  for (int i = 0; i < kModelStates; ++i) {
    states.Coeff[i] = 0;
    states.State[i] = 0;
    states.StateRate[i] = 0;
  }
  double c0 = 0;
  if (model.Tau1 > 0) {
    c0 = 1.0 / model.Tau1;
    states.Coeff[0] = ToSingle(c0);
    // Only Tau2 follows Tau1 as a lag coefficient.
    if (model.Order >= 2) states.Coeff[1] = ToSingle(c0 * model.Tau2);
  }
  loop.InputGain = ToSingle(states.Coeff[0] * static_cast<double>(model.Gain));
  loop.LeadGain = ToSingle(static_cast<double>(loop.InputGain) * model.Lead);
  states.State[0] = loop.InitialValue;

  const float u0 = ToSingle(0.01 * loop.InitialValveOpening * loop.MVHigh);
  loop.MV = loop.MVPrev = u0;
  loop.IntegratorOffset = ToSingle(-static_cast<double>(loop.MV) * model.Gain);
  if (dt <= model.Tau1) {
    // Makes the start an exact steady state of the lag model.
    loop.ModelBias = ToSingle(static_cast<double>(states.Coeff[0]) * loop.ModelOutput -
                              static_cast<double>(loop.InputGain) * u0);
  }
}

bool AdvanceProcessModel(PIDLoop& loop, const ModelParams& model, ProcessStates& s,
                         float* delayLine, int stepIndex, float t, float dt) {
  loop.MVChange = ToSingle(static_cast<double>(loop.MV) - loop.MVPrev);
  loop.MVPrev = loop.MV;
  bool runaway = false;

  if (model.Order == 0) {
    loop.IntegratorRate =
        ToSingle(static_cast<double>(model.Gain) * loop.MV + loop.IntegratorOffset);
    loop.ModelOutput = ToSingle(loop.ModelOutput + static_cast<double>(loop.IntegratorRate) * dt);
  } else if (model.Order == 1 || model.Order == 2) {
    const int n = model.Order;
    double sum = 0;
    for (int i = 0; i < n; ++i) {
      if (s.Coeff[i] >= 1e10f || s.State[i] >= 1e10f)
        sum = 1e15;
      else
        sum += static_cast<double>(s.Coeff[i]) * s.State[i];
    }
    loop.StateSum = ToSingle(sum);

    double rate;
    if (std::fabs(loop.InputGain) >= 1e10f || std::fabs(loop.MV) >= 1e10f ||
        std::fabs(loop.LeadGain) >= 1e10f || std::fabs(loop.MVChange) >= 1e10f ||
        std::fabs(loop.ModelBias) >= 1e10f) {
      rate = 1e15;
    } else {
      rate = static_cast<double>(loop.LeadGain) * loop.MVChange / dt +
             static_cast<double>(loop.InputGain) * loop.MV - loop.StateSum + loop.ModelBias;
    }
    s.StateRate[n - 1] = ToSingle(rate);
    s.State[n - 1] = ToSingle(s.State[n - 1] + rate * dt);
    // Each lower state integrates the already updated state above it.
    for (int i = n - 2; i >= 0; --i) {
      if (std::fabs(s.State[i]) >= 1e10f || std::fabs(s.State[i + 1]) >= 1e10f)
        s.State[i] = 1e15f;
      else
        s.State[i] = ToSingle(s.State[i] + static_cast<double>(s.State[i + 1]) * dt);
    }

    float output = s.State[0];
    if (output > loop.CVHigh) output = loop.CVHigh;
    if (output <= loop.CVLow) output = loop.CVLow;
    loop.ModelOutput = output;
    runaway = std::fabs(loop.ModelOutput) > 1e25f;
  }

  delayLine[stepIndex] = loop.ModelOutput;
  if (model.Delay <= t)
    loop.DelayedOutput = DelayLineAt(delayLine, static_cast<long>(stepIndex) - loop.DelaySteps,
                                     loop.InitialValue);
  else
    loop.DelayedOutput = loop.InitialValue;
  return !runaway;
}

void StartDisturbancePath(DisturbancePathState& path, const ModelParams& model, float dt) {
  path = DisturbancePathState{};
  path.DelaySteps = DeadTimeSteps(model.Delay, dt);
  if (model.Tau1 > 0) {
    path.A0 = ToSingle(1.0 / model.Tau1);
    path.B0 = ToSingle(static_cast<double>(model.Gain) / model.Tau1);
    path.A1 = ToSingle(static_cast<double>(model.Tau2) / model.Tau1);
    path.BLead = ToSingle(static_cast<double>(path.B0) * model.Lead);
  }
  path.HugeCoefficient = std::fabs(path.A0) >= 1e15f || std::fabs(path.B0) >= 1e15f;
  path.HugeLagCoefficient = path.HugeCoefficient || std::fabs(path.A1) >= 1e10f;
}

float DisturbanceSignal(SignalState& st, const LoopModel& m, RandomSource& random, float t,
                        float dt, SineMemo* memo) {
  if (t < 0.01f) st = SignalState{};

  st.Noise = ToSingle((random.RandomInt(100) * 0.01 - 0.5) * m.RunSettings.DisturbanceNoise);

  const SignalParams& step = m.StepSignal;
  st.StepValue = (step.On == 1 && step.Start < t && t < step.End) ? step.Size : 0.0f;

  const SignalParams& pulse = m.PulseSignal;
  if (pulse.On == 1 && pulse.Start < t && t < pulse.End) {
    if (st.PulseOnTimer <= pulse.Rate) {
      st.PulseValue = pulse.Size;
      st.PulseOnTimer += dt;
      st.PulseOffTimer = 0;
      if (pulse.Option == 1 && pulse.Rate - 0.1 <= st.PulseOnTimer && random.RandomInt(100) > 50)
        st.PulseOnTimer = 0;  // stays on for another width
    } else {
      st.PulseValue = 0;
      st.PulseOffTimer += dt;
      if (st.PulseOffTimer > pulse.Rate) {
        if (pulse.Option != 1 || random.RandomInt(100) > 60)
          st.PulseOnTimer = 0;
        else
          st.PulseOffTimer = 0;  // stays off for another width
      }
    }
  } else {
    st.PulseValue = 0;
  }

  const SignalParams& ramp = m.RampSignal;
  if (ramp.On == 1 && ramp.Start < t && t < ramp.End) {
    double h = static_cast<double>(ramp.Rate) * dt;
    if (ramp.Option == 1) {
      int a = random.RandomInt(100);
      int b = random.RandomInt(100);
      h = std::abs(a * b) * 0.0001 * ramp.Rate * dt;
    }
    if (ramp.Size - 0.5 * dt >= st.RampValue && st.RampRising) {
      st.RampValue = ToSingle(st.RampValue + h);
    } else {
      st.RampValue = ToSingle(st.RampValue - h);
      st.RampRising = false;
      if (st.RampValue <= 0.0001f) st.RampRising = true;
    }
  } else {
    st.RampValue = 0;
  }

  const SignalParams& sine = m.SineSignal;
  if (sine.On == 1 && sine.Start < t && t < sine.End) {
    if (st.SineStart < 0) st.SineStart = t;
    st.SineValue = ToSingle(SineOf(memo, sine.Rate, t - st.SineStart) * sine.Size);
  } else {
    st.SineValue = 0;
  }

  st.Total = ToSingle(static_cast<double>(st.Noise) + st.StepValue + st.PulseValue + st.RampValue +
                      st.SineValue);
  return st.Total;
}

void MeasurePV(PIDLoop& loop, RandomSource& random, float t, float dt) {
  const double r = random.RandomInt(100) * 0.01 - 0.5;
  loop.PVRaw = ToSingle(loop.PVRaw + (static_cast<double>(loop.CVHigh) - loop.CVLow) * r * loop.PVNoise);

  if (t <= dt || loop.SampleTimer >= loop.PVSampleDelay) {
    loop.PVSampled = loop.PVRaw;
    loop.SampleTimer = 0;
  } else {
    loop.SampleTimer += dt;
  }

  if (loop.FilterTimeConstant <= 0) {
    loop.PV = loop.PVSampled;
  } else {
    loop.FilterSlope = ToSingle((static_cast<double>(loop.PVSampled) - loop.PV) * loop.FilterRate);
    loop.PV = ToSingle(loop.PV + static_cast<double>(loop.FilterSlope) * dt);
  }

  if (loop.PV > loop.CVHigh) loop.PV = loop.CVHigh;
  if (loop.PV < loop.CVLow) loop.PV = loop.CVLow;
}

}  // namespace qx
