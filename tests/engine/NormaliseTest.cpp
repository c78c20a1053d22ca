#include <gtest/gtest.h>

#include "CaseNames.h"
#include "engine/Normalise.h"
#include "RunFixture.h"

namespace qx {
namespace {

struct SimTimeCase {
  float in;
  float out;
};

class SimTimeNormalise : public ::testing::TestWithParam<SimTimeCase> {};

TEST_P(SimTimeNormalise, RoundsToWholeUnitsAndClampsTo200Through25000) {
  LoopModel m;
  test::LoadTestCase(m);
  m.RunSettings.SimTime = GetParam().in;
  NormaliseLoopParameters(m);
  EXPECT_EQ(m.RunSettings.SimTime, GetParam().out);
  EXPECT_EQ(m.SingleLoop.SimTime, GetParam().out);
  EXPECT_EQ(m.RunSettings.TimeStep, 0.5f);
}

INSTANTIATE_TEST_SUITE_P(Cases, SimTimeNormalise,
                         ::testing::Values(SimTimeCase{199.5f, 200}, SimTimeCase{199.4f, 200},
                                           SimTimeCase{250.5f, 251}, SimTimeCase{250.49f, 250},
                                           SimTimeCase{25000.4f, 25000},
                                           SimTimeCase{30000, 25000}, SimTimeCase{150, 200},
                                           SimTimeCase{-5, 200}, SimTimeCase{1e9f, 25000}),
    [](const auto& info) { return "SimTime" + test::NumberName(info.param.in); });

TEST(Normalise, CascadeSimTimeCopiesWindowOnlyInCascadeConfiguration) {
  LoopModel m;
  test::LoadTestCase(m);
  m.RunSettings.SimTime = 300;
  m.RunControl.LoopConfiguration = 1;
  NormaliseLoopParameters(m);
  EXPECT_EQ(m.CascadeLoop.SimTime, 0);
  m.RunControl.LoopConfiguration = 2;
  NormaliseLoopParameters(m);
  EXPECT_EQ(m.CascadeLoop.SimTime, 300);
}

struct CVCase {
  float low, high;
  float wantLow, wantHigh;
};

class CVRangeRepair : public ::testing::TestWithParam<CVCase> {};

TEST_P(CVRangeRepair, EmptyOrInvertedRangeIsRepaired) {
  LoopModel m;
  test::LoadTestCase(m);
  m.SingleLoop.CVLow = GetParam().low;
  m.SingleLoop.CVHigh = GetParam().high;
  m.CascadeLoop.CVLow = GetParam().low;
  m.CascadeLoop.CVHigh = GetParam().high;
  NormaliseLoopParameters(m);
  EXPECT_EQ(m.SingleLoop.CVLow, GetParam().wantLow);
  EXPECT_EQ(m.SingleLoop.CVHigh, GetParam().wantHigh);
  EXPECT_EQ(m.CascadeLoop.CVLow, GetParam().wantLow);
  EXPECT_EQ(m.CascadeLoop.CVHigh, GetParam().wantHigh);
}

INSTANTIATE_TEST_SUITE_P(Cases, CVRangeRepair,
                         ::testing::Values(CVCase{0, 0, -100, 100}, CVCase{5, -10, -20, -10},
                                           CVCase{80, 50, -50, 50}, CVCase{10, 90, 10, 90}),
    [](const auto& info) { return "Low" + test::NumberName(info.param.low) + "High" + test::NumberName(info.param.high); });

TEST(Normalise, SetPointClampUsesTheRangeBeforeItsRepair) {
  LoopModel m;
  test::LoadTestCase(m);
  // Range 80..50 is inverted: the clamps first bring SPNew 70 to 50 (above
  // CVHigh), then to 80 (below CVLow); the repair then gives -50..50.
  m.SingleLoop.CVLow = 80;
  m.SingleLoop.CVHigh = 50;
  m.SingleLoop.SPNew = 70;
  m.SingleLoop.InitialValue = 70;
  NormaliseLoopParameters(m);
  EXPECT_EQ(m.SingleLoop.SPNew, 80);
  EXPECT_EQ(m.SingleLoop.InitialValue, 80);
  EXPECT_EQ(m.SingleLoop.CVLow, -50);
}

struct ValveCase {
  float opening, wantOpening;
  float step, wantStep;
};

class OutputStartNormalise : public ::testing::TestWithParam<ValveCase> {};

TEST_P(OutputStartNormalise, OpeningOutside001To9999Becomes50AndLargeStepBecomes0) {
  LoopModel m;
  test::LoadTestCase(m);
  m.SingleLoop.InitialValveOpening = GetParam().opening;
  m.SingleLoop.OPStep = GetParam().step;
  m.CascadeLoop.InitialValveOpening = GetParam().opening;
  m.CascadeLoop.OPStep = GetParam().step;
  NormaliseLoopParameters(m);
  EXPECT_EQ(m.SingleLoop.InitialValveOpening, GetParam().wantOpening);
  EXPECT_EQ(m.SingleLoop.OPStep, GetParam().wantStep);
  EXPECT_EQ(m.CascadeLoop.InitialValveOpening, GetParam().wantOpening);
  EXPECT_EQ(m.CascadeLoop.OPStep, GetParam().wantStep);
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputStartNormalise,
                         ::testing::Values(ValveCase{0, 50, 0, 0}, ValveCase{0.01f, 0.01f, 10, 10},
                                           ValveCase{99.99f, 99.99f, -99.99f, -99.99f},
                                           ValveCase{100, 50, 100, 0},
                                           ValveCase{-3, 50, -100, 0}),
    [](const auto& info) {
      return "Opening" + test::NumberName(info.param.opening) + "Step" + test::NumberName(info.param.step);
    });

TEST(Normalise, FilterBelow055IsSwitchedOffButTheEnteredValueIsKept) {
  LoopModel m;
  test::LoadTestCase(m);
  m.SingleLoop.FilterTimeConstant = 0.5f;
  m.SingleLoop.FilterEntered = 0.5f;
  m.CascadeLoop.FilterTimeConstant = 0.54f;
  NormaliseLoopParameters(m);
  EXPECT_EQ(m.SingleLoop.FilterTimeConstant, 0);
  EXPECT_EQ(m.SingleLoop.FilterEntered, 0.5f);
  EXPECT_EQ(m.CascadeLoop.FilterTimeConstant, 0);

  m.SingleLoop.FilterTimeConstant = 0.55f;
  NormaliseLoopParameters(m);
  EXPECT_EQ(m.SingleLoop.FilterTimeConstant, 0.55f);
}

struct OrderCase {
  float tau1, tau2;
  int order;
};

class DeriveOrderCases : public ::testing::TestWithParam<OrderCase> {};

TEST_P(DeriveOrderCases, OrderFollowsTau1AndTau2) {
  ModelParams model;
  model.Tau1 = GetParam().tau1;
  model.Tau2 = GetParam().tau2;
  DeriveOrder(model);
  EXPECT_EQ(model.Order, GetParam().order);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeriveOrderCases,
                         ::testing::Values(OrderCase{0.9f, 5, 0}, OrderCase{1, 0.99f, 1},
                                           OrderCase{1, 1, 2}, OrderCase{0, 0, 0},
                                           OrderCase{10, 0, 1}, OrderCase{-2, 3, 0}),
    [](const auto& info) { return "Lags" + test::NumberName(info.param.tau1) + "And" + test::NumberName(info.param.tau2); });

TEST(Normalise, DerivesOrderOfEveryModelThatTheRunOrTheCaseUses) {
  LoopModel m;
  test::LoadTestCase(m);
  m.ProcessModel.Tau1 = 5;
  m.ProcessModel.Tau2 = 2;
  m.ProcessModel.Order = 0;
  m.CascadeProcessModel.Tau1 = 5;
  m.DisturbanceModel.Tau1 = 3;
  m.DisturbanceModel2.Tau1 = 0.5f;
  m.DisturbanceModel2.Order = 7;
  NormaliseLoopParameters(m);
  EXPECT_EQ(m.ProcessModel.Order, 2);
  EXPECT_EQ(m.CascadeProcessModel.Order, 1);
  EXPECT_EQ(m.DisturbanceModel.Order, 1);
  EXPECT_EQ(m.DisturbanceModel2.Order, 0);
}

TEST(Normalise, BoundsAreGainDelayAndLagsTimesAndOver15) {
  LoopModel m;
  test::LoadTestCase(m);
  m.ProcessModel.Gain = -2;
  m.ProcessModel.Delay = 3;
  m.ProcessModel.Tau1 = 30;
  m.ProcessModel.Tau2 = 1.5f;
  m.DisturbanceModel.Gain = 3;
  m.DisturbanceModel2.Gain = 0;
  NormaliseLoopParameters(m);
  const ModelParams& p = m.ProcessModel;
  EXPECT_FLOAT_EQ(p.GainLow, -30);
  EXPECT_NEAR(p.GainHigh, -0.1333333f, 1e-6);
  EXPECT_FLOAT_EQ(p.DelayHigh, 45);
  EXPECT_FLOAT_EQ(p.DelayLow, 0.2f);
  EXPECT_FLOAT_EQ(p.Tau1High, 450);
  EXPECT_FLOAT_EQ(p.Tau1Low, 2);
  EXPECT_FLOAT_EQ(p.Tau2High, 22.5f);
  EXPECT_FLOAT_EQ(p.Tau2Low, 0.1f);
  EXPECT_FLOAT_EQ(m.DisturbanceModel.GainLow, 0.2f);
  EXPECT_FLOAT_EQ(m.DisturbanceModel.GainHigh, 45);
  EXPECT_EQ(m.DisturbanceModel2.GainLow, 0);
  EXPECT_EQ(m.DisturbanceModel2.GainHigh, 0);
}

TEST(Normalise, LoopLimits) {
  LoopModel m;
  test::LoadTestCase(m);
  PIDLoop& s = m.SingleLoop;
  s.ExecPeriod = 0.1f;
  s.PVSampleDelay = -1;
  s.GapGain = -2;
  s.GapLow = -1;
  s.GapHigh = -1;
  s.MVHigh = -5;
  s.MVLow = 3;
  s.P = -1;
  s.I = -1;
  s.D = -1;
  s.OPNew = 120;
  m.RunSettings.Setting27 = 0;
  NormaliseLoopParameters(m);
  EXPECT_EQ(s.ExecPeriod, 0.5f);
  EXPECT_EQ(s.PVSampleDelay, 0);
  EXPECT_EQ(s.GapGain, 1);
  EXPECT_EQ(s.GapLow, 0);
  EXPECT_EQ(s.GapHigh, 0);
  EXPECT_EQ(s.MVHigh, 0);
  EXPECT_EQ(s.MVLow, 0);
  EXPECT_EQ(s.P, 0);
  EXPECT_EQ(s.I, 0);
  EXPECT_EQ(s.D, 0);
  EXPECT_EQ(s.OPNew, 100);
  EXPECT_EQ(m.RunSettings.Setting27, 1000000);

  s.OPNew = -4;
  s.MVHigh = 100;
  s.MVLow = 20;
  NormaliseLoopParameters(m);
  EXPECT_EQ(s.OPNew, 0);
  EXPECT_EQ(s.MVLow, 20);
}

struct WindowCase {
  int on;
  float start, end, rate, size;
  int wantOn;
  float wantStart, wantEnd, wantRate, wantSize;
};

class SignalWindowNormalise : public ::testing::TestWithParam<WindowCase> {};

TEST_P(SignalWindowNormalise, PulseRampAndSineWindowsButNotTheStep) {
  LoopModel m;
  test::LoadTestCase(m);
  const WindowCase& c = GetParam();
  for (SignalParams* s : {&m.PulseSignal, &m.RampSignal, &m.SineSignal, &m.StepSignal})
    *s = SignalParams{c.on, 0, c.start, c.end, c.size, c.rate};
  NormaliseLoopParameters(m);
  for (const SignalParams* s : {&m.PulseSignal, &m.RampSignal, &m.SineSignal}) {
    EXPECT_EQ(s->On, c.wantOn);
    EXPECT_EQ(s->Start, c.wantStart);
    EXPECT_EQ(s->End, c.wantEnd);
    EXPECT_EQ(s->Rate, c.wantRate);
    EXPECT_EQ(s->Size, c.wantSize);
  }
  EXPECT_EQ(m.StepSignal.Start, c.start);
  EXPECT_EQ(m.StepSignal.End, c.end);
  EXPECT_EQ(m.StepSignal.Size, c.size);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SignalWindowNormalise,
    ::testing::Values(WindowCase{1, 100, 100, 2, 3, 0, 0, 0, 2, 3},        // empty window
                      WindowCase{1, 10, 500, -1, -2, 1, 10, 500, 0, 0},    // negative rate, size
                      WindowCase{1, -5, 500, 1, 1, 1, 0, 500, 1, 1},       // negative start
                      WindowCase{1, 10, 50099, 1, 1, 0, 0, 0, 1, 1},       // end too late
                      WindowCase{1, 50099, 60000, 1, 1, 0, 0, 0, 1, 1}),
    [](const auto& info) {
      const WindowCase& c = info.param;
      return "On" + std::to_string(c.on) + "Start" + test::NumberName(c.start) + "End" + test::NumberName(c.end) + "Rate" +
             test::NumberName(c.rate) + "Size" + test::NumberName(c.size);
    });  // both too late

TEST(ResetLoopState, PutsTheLoopIntoItsSteadyStart) {
  PIDLoop loop;
  loop.InitialValue = 42;
  loop.InitialValveOpening = 37;
  loop.Error = loop.ErrorPrev = loop.ErrorPrev2 = 1;
  loop.ErrorChange = loop.ErrorChangePrev = loop.PVChange = loop.PVChangePrev = 1;
  loop.TimeSinceExec = 3;
  loop.DelayIndex = 77;
  loop.Executed = 1;
  ResetLoopState(loop);
  for (float v : {loop.Error, loop.ErrorPrev, loop.ErrorPrev2, loop.ErrorChange,
                  loop.ErrorChangePrev, loop.PVChange, loop.PVChangePrev, loop.TimeSinceExec})
    EXPECT_EQ(v, 0);
  EXPECT_EQ(loop.DelayIndex, 0);
  EXPECT_EQ(loop.Executed, 0);
  for (float v : {loop.SP, loop.SPPrev, loop.ModelOutput, loop.PVRaw, loop.PVSampled, loop.PV,
                  loop.PVPrev, loop.PVPrev2, loop.DelayedOutput})
    EXPECT_EQ(v, 42);
  EXPECT_EQ(loop.OPOut, 37);
  EXPECT_EQ(loop.OPPrev, 37);
}

}  // namespace
}  // namespace qx
