#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <cmath>
#include <set>
#include <vector>

#include "CaseNames.h"
#include "engine/Plant.h"
#include "RunFixture.h"

namespace qx {
namespace {

constexpr float kDt = 0.5f;

// A process model started from a steady state at InitialValue 20 with the
// valve at 50 % of an MV range 0..100 (u0 = 50).
class ProcessModelTest : public ::testing::Test {
 protected:
  void Start(float gain, float delay, float tau1, float tau2, float lead = 0) {
    model = ModelParams{};
    model.Gain = gain;
    model.Delay = delay;
    model.Tau1 = tau1;
    model.Tau2 = tau2;
    model.Lead = lead;
    DeriveOrder(model);
    loop = PIDLoop{};
    loop.CVLow = 0;
    loop.CVHigh = 100;
    loop.MVHigh = 100;
    loop.InitialValveOpening = 50;
    loop.InitialValue = 20;
    ResetLoopState(loop);
    StartProcessModel(loop, model, states, kDt);
    line.assign(kDelayLineLength, -1.0f);
  }
  // Advances step k (clock k x dt) with the given MV.
  void Advance(int k, float mv) {
    loop.MV = mv;
    ASSERT_TRUE(AdvanceProcessModel(loop, model, states, line.data(), k, k * kDt, kDt));
  }

  ModelParams model;
  PIDLoop loop;
  ProcessStates states;
  std::vector<float> line;
};

TEST_F(ProcessModelTest, StartIsASteadyState) {
  for (float tau2 : {0.0f, 4.0f}) {
    Start(2, 0, 10, tau2);
    EXPECT_EQ(loop.MV, 50);
    EXPECT_EQ(loop.MVPrev, 50);
    EXPECT_EQ(loop.IntegratorOffset, -100);
    for (int k = 0; k < 50; ++k) Advance(k, 50);
    EXPECT_NEAR(loop.ModelOutput, 20, 1e-4) << "Tau2 " << tau2;
  }
}

TEST_F(ProcessModelTest, FirstOrderStepFollowsTheEulerResponse) {
  Start(2, 0, 10, 0);
  for (int k = 1; k <= 40; ++k) {
    Advance(k - 1, 51);
    const double expected = 20 + 2 * (1 - std::pow(0.95, k));
    ASSERT_NEAR(loop.ModelOutput, expected, 1e-4) << "after " << k << " steps";
  }
}

TEST_F(ProcessModelTest, SecondOrderUsesTau1AsTheSecondDerivativeCoefficient) {
  // Tau1 y'' + Tau2 y' + y = Gain u, explicit Euler: the rate state
  // integrates first and the output integrates the updated rate.
  Start(1, 0, 4, 2);
  double y = 20, v = 0;
  for (int k = 0; k < 60; ++k) {
    Advance(k, 60);
    const double acc = (1.0 * 60 - (y - 20 + 50) - 2 * v) / 4;  // steady bias removed
    v += acc * kDt;
    y += v * kDt;
    ASSERT_NEAR(loop.ModelOutput, y, 1e-3) << "step " << k;
  }
}

TEST_F(ProcessModelTest, LeadAddsGainTimesLeadTimesInputRate) {
  Start(1, 0, 10, 0, 5);
  Advance(0, 52);
  // r = LeadGain x dMV / dt = (1/10 x 5) x 2 / 0.5 = 2, plus InputGain x dMV = 0.2.
  EXPECT_NEAR(loop.ModelOutput, 20 + (2 + 0.2) * kDt, 1e-5);
}

TEST_F(ProcessModelTest, OutputIsClampedToTheCVRangeButTheStateIsNot) {
  Start(10, 0, 1, 0);
  for (int k = 0; k < 40; ++k) Advance(k, 100);
  EXPECT_EQ(loop.ModelOutput, 100);
  EXPECT_GT(states.State[0], 100);
  for (int k = 40; k < 200; ++k) Advance(k, 0);
  EXPECT_EQ(loop.ModelOutput, 0);
}

struct DeadTimeCase {
  float delay;
  int firstFollowingStep;  // first step whose delayed output follows the model
  int lag;                 // steps between model and delayed output
};

class DeadTime : public ProcessModelTest, public ::testing::WithParamInterface<DeadTimeCase> {};

TEST_P(DeadTime, DelayedOutputHoldsInitialValueThenFollowsWithAFixedLag) {
  const DeadTimeCase c = GetParam();
  Start(1, c.delay, 1, 0);
  std::vector<float> model(30);
  for (int k = 0; k < 30; ++k) {
    Advance(k, 50 + k);  // a ramp, so every step's output differs
    model[k] = loop.ModelOutput;
    if (k < c.firstFollowingStep)
      ASSERT_EQ(loop.DelayedOutput, 20) << "step " << k;
    else
      ASSERT_EQ(loop.DelayedOutput, model[k - c.lag]) << "step " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, DeadTime,
                         ::testing::Values(DeadTimeCase{0, 0, 0}, DeadTimeCase{3, 6, 6},
                                           DeadTimeCase{1.25f, 3, 3},
                                           // a negative dead time is no dead time
                                           DeadTimeCase{-2, 0, 0}, DeadTimeCase{-1e30f, 0, 0}),
    [](const auto& info) { return "Delay" + test::NumberName(info.param.delay); });

TEST_F(ProcessModelTest, DeadTimeStepsAreRoundedHalfUp) {
  Start(1, 1.25f, 1, 0);
  EXPECT_EQ(loop.DelaySteps, 3);
  EXPECT_FLOAT_EQ(loop.DelayStepsExact, 2.5f);
  Start(1, 1.2f, 1, 0);
  EXPECT_EQ(loop.DelaySteps, 2);
}

TEST_F(ProcessModelTest, DeadTimeLongerThanTheRunSoFarKeepsInitialValue) {
  // Dead time shortened during the run: Delay <= t, but the line does not
  // reach back DelaySteps entries yet.
  Start(1, 10, 1, 0);  // 20 steps
  model.Delay = 1;
  for (int k = 0; k < 20; ++k) {
    Advance(k, 60);
    ASSERT_EQ(loop.DelayedOutput, 20) << "step " << k;
  }
  Advance(20, 60);
  EXPECT_NE(loop.DelayedOutput, 20);
}

TEST_F(ProcessModelTest, IntegratingModelRisesByGainTimesInputChangeAndIsNotLimited) {
  Start(1, 0, 0.5f, 0);
  ASSERT_EQ(model.Order, 0);
  loop.CVHigh = 21;
  for (int k = 1; k <= 10; ++k) {
    Advance(k - 1, 51);
    ASSERT_NEAR(loop.ModelOutput, 20 + 0.5 * k, 1e-5);
  }
  EXPECT_GT(loop.ModelOutput, loop.CVHigh);
  // A gain changed during the run acts at the next step (the offset stays).
  model.Gain = 2;
  Advance(10, 51);
  EXPECT_NEAR(loop.ModelOutput, 25 + (2 * 51 - 50) * kDt, 1e-4);
}

// ---------------------------------------------------------------------------
// Disturbance signal

class SignalTest : public ::testing::Test {
 protected:
  SignalTest() {
    test::LoadTestCase(m);
    random.Seed(12345);
  }
  // D at steps 0 .. n-1 of a run.
  std::vector<float> Run(int n) {
    std::vector<float> out;
    for (int k = 0; k < n; ++k) out.push_back(DisturbanceSignal(state, m, random, k * kDt, kDt));
    return out;
  }
  LoopModel m;
  SignalState state;
  RandomSource random;
};

TEST_F(SignalTest, RegularPulseIsOnFiveStepsAndOffFiveSteps) {
  m.PulseSignal = SignalParams{1, 0, 0, 50081, 3, 2};
  const std::vector<float> d = Run(41);
  EXPECT_EQ(d[0], 0) << "strictly after Start";
  for (int k = 1; k <= 40; ++k) {
    const bool on = ((k - 1) / 5) % 2 == 0;
    ASSERT_EQ(d[k], on ? 3.0f : 0.0f) << "step " << k;
  }
}

TEST_F(SignalTest, RandomPulseStaysOnOrOffForWholeMultiplesOfItsWidth) {
  m.PulseSignal = SignalParams{1, 1, 0, 50081, 1, 2};
  const std::vector<float> d = Run(4001);
  // Run lengths are at least one width (5 steps) and vary.
  std::set<int> lengths;
  int run = 1;
  for (int k = 2; k <= 4000; ++k) {
    if (d[k] == d[k - 1]) {
      ++run;
    } else {
      lengths.insert(run);
      run = 1;
    }
  }
  ASSERT_FALSE(lengths.empty());
  EXPECT_GE(*lengths.begin(), 4);
  EXPECT_GT(lengths.size(), 2u);
}

TEST_F(SignalTest, RampIsATriangleBetween0AndItsPeak) {
  m.RampSignal = SignalParams{1, 0, 0, 50081, 10, 1};
  const std::vector<float> d = Run(90);
  EXPECT_EQ(d[0], 0);
  // 20 steps up to 10, 20 down to 0, and up again.
  for (int k = 1; k <= 20; ++k) ASSERT_NEAR(d[k], 0.5f * k, 1e-5) << k;
  for (int k = 21; k <= 40; ++k) ASSERT_NEAR(d[k], 10 - 0.5f * (k - 20), 1e-5) << k;
  for (int k = 41; k <= 60; ++k) ASSERT_NEAR(d[k], 0.5f * (k - 40), 1e-5) << k;
}

TEST_F(SignalTest, SineStartsAtTheFirstStepAfterItsStartWithZero) {
  m.SineSignal = SignalParams{1, 0, 50, 50081, 4, 0.3f};
  const std::vector<float> d = Run(200);
  for (int k = 0; k <= 100; ++k) ASSERT_EQ(d[k], 0) << k;  // t <= 50
  for (int k = 101; k < 200; ++k)
    ASSERT_NEAR(d[k], 4 * std::sin(0.3 * (k * kDt - 50.5)), 1e-4) << k;
}

TEST_F(SignalTest, SineKeepsItsPhaseWhenSwitchedOffAndOnWithinARun) {
  m.SineSignal = SignalParams{1, 0, 0, 50081, 1, 0.2f};
  Run(1);  // the reset at t = 0
  for (int k = 1; k < 10; ++k) DisturbanceSignal(state, m, random, k * kDt, kDt);
  m.SineSignal.On = 0;
  EXPECT_EQ(DisturbanceSignal(state, m, random, 10 * kDt, kDt), 0);
  m.SineSignal.On = 1;
  EXPECT_NEAR(DisturbanceSignal(state, m, random, 11 * kDt, kDt), std::sin(0.2 * (5.5 - 0.5)), 1e-5);
}

TEST_F(SignalTest, SineFromTheRunsMemoIsTheDirectSineBitForBit) {
  // The clocks of a run: whole half units, a wrap to 0, and a clock moved
  // off the half-unit grid (as a runaway model does); and changes of the
  // sine's rate (to -0 and back to 0, whose sines differ in sign), size and
  // switch on the way.
  m.SineSignal = SignalParams{1, 0, 0, 50081, 3, 0.05f};
  SineMemo memo;
  memo.Values = std::make_unique<double[]>(kDelayLineLength);
  LoopModel direct = m;
  SignalState directState = state;
  RandomSource directRandom = random;
  std::vector<float> clocks;
  auto pass = [&](float from, int steps) {
    for (int k = 0; k < steps; ++k) clocks.push_back(from + k * kDt);
  };
  pass(0, 400);      // 0 .. 399: keeps the values
  pass(0, 300);      // 400 .. 699: after the wrap, reads them
  pass(200.3f, 50);  // 700 .. 749
  pass(0, 300);      // 750 .. 1049: rate 0
  pass(0, 300);      // 1050 .. 1349: rate -0, whose sines are -0
  const std::map<std::size_t, std::function<void(SignalParams&)>> changes = {
      {720, [](SignalParams& s) { s.Size = -1; }},     {750, [](SignalParams& s) { s.Rate = 0.0f; }},
      {1050, [](SignalParams& s) { s.Rate = -0.0f; }}, {1100, [](SignalParams& s) { s.On = 0; }},
      {1110, [](SignalParams& s) { s.On = 1; }},       {1200, [](SignalParams& s) { s.Rate = 0.2f; }}};
  int mostFilled = 0;
  for (std::size_t i = 0; i < clocks.size(); ++i) {
    if (const auto change = changes.find(i); change != changes.end()) {
      change->second(m.SineSignal);
      change->second(direct.SineSignal);
    }
    const float fromMemo = DisturbanceSignal(state, m, random, clocks[i], kDt, &memo);
    const float computed = DisturbanceSignal(directState, direct, directRandom, clocks[i], kDt);
    ASSERT_EQ(std::bit_cast<uint32_t>(fromMemo), std::bit_cast<uint32_t>(computed))
        << "clock " << clocks[i] << " (entry " << i << "): " << fromMemo << " vs " << computed;
    ASSERT_EQ(std::bit_cast<uint32_t>(state.SineValue), std::bit_cast<uint32_t>(directState.SineValue))
        << "clock " << clocks[i] << " (entry " << i << ")";
    mostFilled = std::max(mostFilled, memo.Filled);
  }
  EXPECT_GE(mostFilled, 399) << "the first pass kept its values";
}

TEST_F(SignalTest, StepIsActiveStrictlyInsideItsWindow) {
  m.StepSignal = SignalParams{1, 0, 2, 4, 7, 0};
  const std::vector<float> d = Run(10);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(d[k], (k > 4 && k < 8) ? 7.0f : 0.0f) << k;
}

TEST_F(SignalTest, NoiseTakesTheHundredValuesFromMinusHalfToPoint49TimesTheAmplitude) {
  m.RunSettings.DisturbanceNoise = 2;
  const std::vector<float> d = Run(20000);
  std::set<float> values(d.begin(), d.end());
  EXPECT_EQ(values.size(), 100u);
  EXPECT_FLOAT_EQ(*values.begin(), -1.0f);
  EXPECT_FLOAT_EQ(*values.rbegin(), 0.98f);
}

TEST_F(SignalTest, GeneratorResetsItselfAtClockZero) {
  m.RampSignal = SignalParams{1, 0, 0, 50081, 10, 1};
  Run(15);
  EXPECT_GT(state.RampValue, 0);
  EXPECT_EQ(DisturbanceSignal(state, m, random, 0, kDt), 0);
  EXPECT_EQ(state.RampValue, 0);
  EXPECT_NEAR(DisturbanceSignal(state, m, random, kDt, kDt), 0.5f, 1e-6);
}

// ---------------------------------------------------------------------------
// Disturbance paths

TEST(DisturbancePath, WithoutLagsItAccumulatesGainTimesD) {
  ModelParams model;
  model.Gain = 1;
  DisturbancePathState path;
  StartDisturbancePath(path, model, kDt);
  std::vector<float> line(kDelayLineLength);
  for (int k = 0; k < 5; ++k)
    EXPECT_EQ(AdvanceDisturbancePath(path, model, 1, 0, true, line.data(), k, kDt), k + 1.0f);
}

TEST(DisturbancePath, FirstOrderApproachesGainTimesDAndHonoursItsDeadTime) {
  ModelParams model;
  model.Gain = 2;
  model.Tau1 = 5;
  model.Delay = 1;  // 2 steps
  DisturbancePathState path;
  StartDisturbancePath(path, model, kDt);
  std::vector<float> line(kDelayLineLength);
  std::vector<float> delayed;
  for (int k = 0; k < 200; ++k)
    delayed.push_back(AdvanceDisturbancePath(path, model, 1, k == 0 ? 1.0f : 0.0f, false,
                                             line.data(), k, kDt));
  EXPECT_EQ(delayed[0], 0);
  EXPECT_EQ(delayed[1], 0);
  EXPECT_NEAR(delayed[2], 2.0f / 5 * kDt, 1e-6);  // the path's first output
  EXPECT_NEAR(delayed[199], 2, 1e-3);
}

TEST(DisturbancePath, NegativeDeadTimeIsNone) {
  ModelParams model;
  model.Gain = 1;
  model.Delay = -3;
  DisturbancePathState path;
  StartDisturbancePath(path, model, kDt);
  EXPECT_EQ(path.DelaySteps, 0);
  std::vector<float> line(kDelayLineLength);
  for (int k = 0; k < 10; ++k)
    ASSERT_EQ(AdvanceDisturbancePath(path, model, 2, 0, true, line.data(), k, kDt), 2.0f * (k + 1));
}

TEST(DisturbancePath, LeadTermActsOnlyOnTheFirstPath) {
  ModelParams model;
  model.Gain = 1;
  model.Tau1 = 2;
  model.Lead = 4;
  DisturbancePathState withLead, without;
  StartDisturbancePath(withLead, model, kDt);
  StartDisturbancePath(without, model, kDt);
  std::vector<float> line1(kDelayLineLength), line2(kDelayLineLength);
  const float a = AdvanceDisturbancePath(withLead, model, 1, 1, true, line1.data(), 0, kDt);
  const float b = AdvanceDisturbancePath(without, model, 1, 1, false, line2.data(), 0, kDt);
  // v = b0 D + bl dD / dt - a0 y = 0.5 + 2 x 1 / 0.5 = 4.5 with the lead.
  EXPECT_NEAR(a, 4.5f * kDt, 1e-6);
  EXPECT_NEAR(b, 0.5f * kDt, 1e-6);
}

// ---------------------------------------------------------------------------
// Measurement

class MeasureTest : public ::testing::Test {
 protected:
  MeasureTest() {
    loop.CVLow = 0;
    loop.CVHigh = 100;
    loop.InitialValue = 50;
    ResetLoopState(loop);
    random.Seed(777);
  }
  PIDLoop loop;
  RandomSource random;
};

TEST_F(MeasureTest, FilterOf2MovesAQuarterOfTheRemainingDifferencePerStep) {
  loop.FilterTimeConstant = 2;
  loop.FilterRate = 0.5f;
  float remaining = 10;
  for (int k = 0; k < 10; ++k) {
    loop.PVRaw = 60;
    MeasurePV(loop, random, k * kDt, kDt);
    remaining *= 0.75f;
    ASSERT_NEAR(loop.PV, 60 - remaining, 1e-4) << k;
  }
}

TEST_F(MeasureTest, SampleAndHoldTakesANewSampleWhenTheTimerReachesTheDelay) {
  loop.PVSampleDelay = 2;
  std::vector<int> sampledAt;
  for (int k = 0; k < 20; ++k) {
    loop.PVRaw = 10 + k;
    MeasurePV(loop, random, k * kDt, kDt);
    if (loop.PV == 10 + k) sampledAt.push_back(k);
  }
  EXPECT_EQ(sampledAt, (std::vector<int>{0, 1, 6, 11, 16}));
}

TEST_F(MeasureTest, NoiseOfOnePercentOnA100SpanAddsMinusHalfToPoint49) {
  loop.PVNoise = 0.01f;
  std::set<float> offsets;
  for (int k = 0; k < 20000; ++k) {
    loop.PVRaw = 50;
    MeasurePV(loop, random, k * kDt, kDt);
    offsets.insert(std::round((loop.PV - 50) * 100) / 100);
  }
  EXPECT_EQ(offsets.size(), 100u);
  EXPECT_FLOAT_EQ(*offsets.begin(), -0.5f);
  EXPECT_FLOAT_EQ(*offsets.rbegin(), 0.49f);

  loop.PVNoise = 0;
  loop.PVRaw = 50;
  MeasurePV(loop, random, 0, kDt);
  EXPECT_EQ(loop.PV, 50);
}

TEST_F(MeasureTest, PVIsClampedToTheCVRange) {
  loop.PVRaw = 130;
  MeasurePV(loop, random, 0, kDt);
  EXPECT_EQ(loop.PV, 100);
  loop.PVRaw = -3;
  MeasurePV(loop, random, kDt, kDt);
  EXPECT_EQ(loop.PV, 0);
}

}  // namespace
}  // namespace qx
