#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "engine/Controller.h"
#include "RunFixture.h"

namespace qx {
namespace {

constexpr float kDt = 0.5f;

// A loop in Auto on a 0..100 range, at output 50, ready to execute.
PIDLoop AutoLoop() {
  PIDLoop loop;
  loop.CVLow = 0;
  loop.CVHigh = 100;
  loop.MVHigh = 100;
  loop.InitialValveOpening = 50;
  loop.InitialValue = 50;
  loop.GapGain = 1;
  loop.ExecPeriod = 1;
  loop.Mode = 1;
  loop.Equation = 1;
  ResetLoopState(loop);
  loop.OP = 50;
  return loop;
}

ModelParams Process(float gain) {
  ModelParams p;
  p.Gain = gain;
  return p;
}

TEST(Controller, FormA0GivesAProportionalKickAtTheFirstExecutionOnly) {
  PIDLoop loop = AutoLoop();
  loop.P = 1;
  loop.I = 10;
  loop.SP = loop.SPPrev = 50;
  OutputStepState step;
  const ModelParams process = Process(1);  // s = -1
  const float expected[] = {50 - 5.5f, 50 - 6.0f, 50 - 6.5f, 50 - 7.0f};
  for (int k = 0; k < 4; ++k) {
    loop.PV = 55;  // e = 5 % throughout
    ExecuteController(loop, process, step, k * 1.0f + 1, kDt);
    ASSERT_NEAR(loop.OP, expected[k], 1e-4) << "execution " << k;
  }
}

TEST(Controller, FormA4ScalesOnlyTheProportionalTermWithTheGain) {
  PIDLoop loop = AutoLoop();
  loop.Equation = 13;
  loop.P = 2;
  loop.I = 4;
  loop.ExecPeriod = 2;
  loop.SP = loop.SPPrev = 50;
  loop.PV = 51;         // e = 1
  loop.ErrorPrev = 1;   // dE = 0
  OutputStepState step;
  ExecuteController(loop, Process(1), step, 10, kDt);
  EXPECT_NEAR(loop.OP, 50 - 0.5f, 1e-5);
}

TEST(Controller, ActionSignIsReverseOnlyForAPositiveProcessGain) {
  for (float gain : {1.0f, 0.0f, -1.0f}) {
    PIDLoop loop = AutoLoop();
    loop.P = 1;
    loop.I = 1e6f;
    loop.SP = loop.SPPrev = 50;
    loop.PV = 52;  // PV above SP
    OutputStepState step;
    ExecuteController(loop, Process(gain), step, 10, kDt);
    if (gain > 0)
      EXPECT_LT(loop.OP, 50) << gain;
    else
      EXPECT_GT(loop.OP, 50) << gain;
  }
}

TEST(Controller, OutputIsLimitedTo0Through100) {
  struct Case {
    float op, pv, want;
  };
  // Form A4 with P = 0 and T / I = 1: the change is s x e, s = +1.
  for (const Case c : {Case{99, 51.2f, 100}, Case{1, 46, 0}, Case{50, 52, 52}}) {
    PIDLoop loop = AutoLoop();
    loop.Equation = 13;
    loop.P = 0;
    loop.I = 1;
    loop.OP = c.op;
    loop.SP = loop.SPPrev = 50;
    loop.PV = c.pv;
    OutputStepState step;
    ExecuteController(loop, Process(0), step, 10, kDt);
    EXPECT_NEAR(loop.OP, c.want, 1e-4) << c.op << " " << c.pv;
  }
}

TEST(Controller, GapActionScalesTheGainInsideTheGap) {
  struct Case {
    float pv;
    float effectiveP;
  };
  for (const Case c : {Case{50, 1}, Case{50.5f, 1}, Case{49.5f, 1}, Case{51, 2}, Case{49, 2}}) {
    PIDLoop loop = AutoLoop();
    loop.P = 2;
    loop.GapGain = 0.5f;
    loop.GapLow = loop.GapHigh = 1;
    loop.SP = loop.SPPrev = 50;
    loop.PV = c.pv;
    OutputStepState step;
    ExecuteController(loop, Process(1), step, 10, kDt);
    EXPECT_EQ(loop.EffectiveP, c.effectiveP) << "PV " << c.pv;
  }
  PIDLoop loop = AutoLoop();
  loop.P = 2;
  loop.GapGain = 0.5f;
  loop.SP = loop.SPPrev = loop.PV = 50;
  OutputStepState step;
  ExecuteController(loop, Process(1), step, 10, kDt);
  EXPECT_EQ(loop.EffectiveP, 2) << "a gap of width 0 is never entered";
}

TEST(Controller, SetPointRateLimitMovesByLimitTimesHalfAUnitPerExecution) {
  for (float target : {60.0f, 40.0f}) {
    PIDLoop loop = AutoLoop();
    loop.Mode = 0;
    loop.ExecPeriod = 2;  // the step is 0.5 whatever the period
    loop.SPRateLimit = 2;
    loop.SPPrev = 50;
    OutputStepState step;
    for (int k = 1; k <= 12; ++k) {
      loop.SP = target;  // Auto would copy SPNew into SP before every execution
      ExecuteController(loop, Process(1), step, 10, kDt);
      const float want = k < 10 ? 50 + (target > 50 ? 1 : -1) * k : target;
      ASSERT_FLOAT_EQ(loop.SP, want) << "execution " << k;
      ASSERT_EQ(loop.SPPrev, loop.SP);
    }
  }
}

TEST(Controller, ManualModeComputesNoOutputButKeepsTheErrorHistory) {
  PIDLoop loop = AutoLoop();
  loop.Mode = 0;
  loop.P = 5;
  loop.I = 1;
  loop.SP = loop.SPPrev = 50;
  loop.PV = 60;
  OutputStepState step;
  ExecuteController(loop, Process(1), step, 10, kDt);
  EXPECT_EQ(loop.OP, 50);
  EXPECT_FLOAT_EQ(loop.Error, 10);
  EXPECT_FLOAT_EQ(loop.ErrorPrev, 10);
  EXPECT_EQ(loop.PVPrev, 60);
  EXPECT_EQ(loop.Executed, 1);
}

TEST(Controller, EquationOutsideTheTableLeavesTheOutput) {
  for (int eq : {0, 25, -3}) {
    PIDLoop loop = AutoLoop();
    loop.Equation = eq;
    loop.P = 1;
    loop.I = 1;
    loop.Error = 7;
    loop.OP = 33;
    EXPECT_EQ(ComputePID(loop, -1), 33) << eq;
  }
}

TEST(Controller, ZeroIntegralTimeDividesByTheEnginesFloor) {
  PIDLoop zero = AutoLoop();
  zero.EffectiveP = 1;
  zero.Error = 1e-4f;
  zero.I = 0;
  PIDLoop floor = zero;
  floor.I = 0.00001f;
  for (int eq : {1, 4, 13, 19}) {
    zero.Equation = floor.Equation = eq;
    const float a = ComputePID(zero, 1);
    EXPECT_TRUE(std::isfinite(a)) << eq;
    EXPECT_FLOAT_EQ(a, ComputePID(floor, 1)) << eq;
  }
  // The multiplying forms use I as it is.
  zero.Equation = 7;
  EXPECT_NEAR(ComputePID(zero, 1), 50 + 1e-4, 1e-5);
}

TEST(Controller, ProportionalBandUses100OverPPlusAHundredThousandth) {
  PIDLoop loop = AutoLoop();
  loop.Equation = 4;  // A1
  loop.I = 1e30f;     // no integral action
  loop.Error = 1e-4f;
  loop.ErrorPrev = 0;
  loop.OP = 0;
  loop.EffectiveP = 0.0001f;  // Kpb = 100 / 0.0002 = 500000
  EXPECT_NEAR(ComputePID(loop, 1), 50, 1e-3);
  loop.EffectiveP = 0;  // Kpb = 1000000
  EXPECT_NEAR(ComputePID(loop, 1), 100, 1e-3);
  loop.EffectiveP = 50;
  loop.Error = 1;
  EXPECT_NEAR(ComputePID(loop, 1), 100 / 50.0001, 1e-6);
}

// The 24 forms, transcribed from the equation table: proportional,
// integral and derivative terms per form.
struct Terms {
  double K, Kpb, e, T, I, D, dE, ddE, dPV, ddPV;
};
using FormFn = std::function<double(const Terms&)>;

const FormFn kTable[24] = {
    /* 1 A0 */ [](const Terms& x) { return x.K * x.dE + x.K * x.e * x.T / x.I + x.K * x.D * x.ddE / x.T; },
    /* 2 B0 */ [](const Terms& x) { return x.K * x.dE + x.K * x.e * x.T / x.I + x.K * x.D * x.ddPV / x.T; },
    /* 3 C0 */ [](const Terms& x) { return x.K * x.dPV + x.K * x.e * x.T / x.I + x.K * x.D * x.ddPV / x.T; },
    /* 4 A1 */ [](const Terms& x) { return x.Kpb * x.dE + x.Kpb * x.e * x.T / x.I + x.Kpb * x.D * x.ddE / x.T; },
    /* 5 B1 */ [](const Terms& x) { return x.Kpb * x.dE + x.Kpb * x.e * x.T / x.I + x.Kpb * x.D * x.ddPV / x.T; },
    /* 6 C1 */ [](const Terms& x) { return x.Kpb * x.dPV + x.Kpb * x.e * x.T / x.I + x.Kpb * x.D * x.ddPV / x.T; },
    /* 7 A2 */ [](const Terms& x) { return x.K * x.dE + x.K * x.e * x.T * x.I + x.K * x.D * x.ddE / x.T; },
    /* 8 B2 */ [](const Terms& x) { return x.K * x.dE + x.K * x.e * x.T * x.I + x.K * x.D * x.ddPV / x.T; },
    /* 9 C2 */ [](const Terms& x) { return x.K * x.dPV + x.K * x.e * x.T * x.I + x.K * x.D * x.ddPV / x.T; },
    /* 10 A3 */ [](const Terms& x) { return x.Kpb * x.dE + x.Kpb * x.e * x.T * x.I + x.Kpb * x.D * x.ddE / x.T; },
    /* 11 B3 */ [](const Terms& x) { return x.Kpb * x.dE + x.Kpb * x.e * x.T * x.I + x.Kpb * x.D * x.ddPV / x.T; },
    /* 12 C3 */ [](const Terms& x) { return x.Kpb * x.dPV + x.Kpb * x.e * x.T * x.I + x.Kpb * x.D * x.ddPV / x.T; },
    /* 13 A4 */ [](const Terms& x) { return x.K * x.dE + x.e * x.T / x.I + x.D * x.ddE / x.T; },
    /* 14 B4 */ [](const Terms& x) { return x.K * x.dE + x.e * x.T / x.I + x.D * x.ddPV / x.T; },
    /* 15 C4 */ [](const Terms& x) { return x.K * x.dPV + x.e * x.T / x.I + x.D * x.ddPV / x.T; },
    /* 16 A5 */ [](const Terms& x) { return x.K * x.dE + x.e * x.T * x.I + x.D * x.ddE / x.T; },
    /* 17 B5 */ [](const Terms& x) { return x.K * x.dE + x.e * x.T * x.I + x.D * x.ddPV / x.T; },
    /* 18 C5 */ [](const Terms& x) { return x.K * x.dPV + x.e * x.T * x.I + x.D * x.ddPV / x.T; },
    /* 19 A6 */ [](const Terms& x) { return x.Kpb * x.dE + x.e * x.T / x.I + x.D * x.ddE / x.T; },
    /* 20 B6 */ [](const Terms& x) { return x.Kpb * x.dE + x.e * x.T / x.I + x.D * x.ddPV / x.T; },
    /* 21 C6 */ [](const Terms& x) { return x.Kpb * x.dPV + x.e * x.T / x.I + x.D * x.ddPV / x.T; },
    /* 22 A7 */ [](const Terms& x) { return x.Kpb * x.dE + x.e * x.T * x.I + x.D * x.ddE / x.T; },
    /* 23 B7 */ [](const Terms& x) { return x.Kpb * x.dE + x.e * x.T * x.I + x.D * x.ddPV / x.T; },
    /* 24 C7 */ [](const Terms& x) { return x.Kpb * x.dPV + x.e * x.T * x.I + x.D * x.ddPV / x.T; },
};

class EquationForms : public ::testing::TestWithParam<int> {};

TEST_P(EquationForms, MatchTheEquationTable) {
  const int equation = GetParam();
  // Values chosen so that every alternative of a term differs: K != Kpb,
  // T / I != T x I, dE != dPV, ddE != ddPV.
  PIDLoop loop = AutoLoop();
  loop.CVLow = 0;
  loop.CVHigh = 200;
  loop.Equation = equation;
  loop.EffectiveP = 2;
  loop.P = 7;  // the forms use EffectiveP, not P
  loop.I = 4;
  loop.D = 3;
  loop.ExecPeriod = 2;
  loop.Error = 1.5f;
  loop.ErrorPrev = 0.5f;
  loop.ErrorChange = 0.7f;
  loop.ErrorChangePrev = 0.2f;
  loop.PV = 103;
  loop.PVPrev = 100;
  loop.PVChange = 2.4f;
  loop.PVChangePrev = 1.0f;
  loop.OP = 50;
  const Terms x{2, 100 / 2.0001, 1.5, 2, 4, 3, 1.0, 0.5, 1.5, 0.7};
  for (float sign : {-1.0f, 1.0f}) {
    const double want = 50 + sign * kTable[equation - 1](x);
    EXPECT_NEAR(ComputePID(loop, sign), want, 1e-4 * std::max(1.0, std::fabs(want)))
        << "Equation " << equation << " sign " << sign;
  }
}

INSTANTIATE_TEST_SUITE_P(All24, EquationForms, ::testing::Range(1, 25),
    [](const auto& info) { return "Form" + std::to_string(info.param); });

}  // namespace
}  // namespace qx
