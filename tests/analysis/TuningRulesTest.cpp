#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "analysis/TuningRules.h"
#include "engine/Controller.h"
#include "engine/EquationForms.h"

namespace qx::analysis {
namespace {

FittedModel FirstOrder(double k, double tau, double theta) {
  FittedModel m;
  m.Kind = ModelKind::FirstOrder;
  m.Fitted = true;
  m.PercentGain = k;
  m.Tau1 = m.Lag1 = tau;
  m.DeadTime = theta;
  return m;
}

FittedModel SecondOrder(double k, double t1, double t2, double theta) {
  FittedModel m;
  m.Kind = ModelKind::SecondOrder;
  m.Fitted = true;
  m.PercentGain = k;
  m.Tau1 = t1 * t2;
  m.Tau2 = t1 + t2;
  m.Lag1 = t1;
  m.Lag2 = t2;
  m.DeadTime = theta;
  return m;
}

FittedModel Integrating(double k, double theta) {
  FittedModel m;
  m.Kind = ModelKind::Integrating;
  m.Fitted = true;
  m.PercentGain = k;
  m.DeadTime = theta;
  return m;
}

// Hand-computed settings of textbook cases:
//  first order K 2, tau 10, theta 2:
//    SIMC tau_c = 2: Kc = 10 / (2 x 4) = 1.25, Ti = min(10, 16) = 10
//    lambda = 10:    Kc = 10 / (2 x 12) = 0.41667, Ti = 10
//    ZN:             Kc = 1.2 x 10 / (2 x 2) = 3, Ti = 4, Td = 1
//  second order K 1, lags 10 and 2, theta 1, SIMC tau_c = 1: series
//    Kc' = 10 / 2 = 5, Ti' = min(10, 8) = 8, Td' = 2, ideal
//    Kc = 5 x 1.25 = 6.25, Ti = 10, Td = 16 / 10 = 1.6
//  second order, lambda 10: Kc = 12 / (1 x 11) = 1.0909, Ti = 12, Td = 20 / 12
//  second order ZN, half rule tau = 11, theta = 2: Kc = 1.2 x 11 / 2 = 6.6
//  integrating K 0.1 per time unit, theta 2:
//    SIMC tau_c = 2: Kc = 1 / (0.1 x 4) = 2.5, Ti = 16
//    lambda default 2 theta = 4: Kc = 10 / (0.1 x 36) = 2.7778, Ti = 10
//    ZN:             Kc = 1.2 / 0.2 = 6, Ti = 4, Td = 1
struct TextbookCase {
  const char* name;
  FittedModel model;
  TuningRule rule;
  double kc, ti, td, knob;
};

class TextbookTunings : public ::testing::TestWithParam<TextbookCase> {};

TEST_P(TextbookTunings, MatchHandComputedValues) {
  const TextbookCase& c = GetParam();
  const PidTuning t = SuggestTuning(c.model, c.rule);
  ASSERT_EQ(t.Status, TuningStatus::Ok) << t.Message;
  EXPECT_NEAR(t.Kc, c.kc, 1e-4);
  EXPECT_NEAR(t.Ti, c.ti, 1e-4);
  EXPECT_NEAR(t.Td, c.td, 1e-4);
  EXPECT_NEAR(t.Knob, c.knob, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TextbookTunings,
    ::testing::Values(
        TextbookCase{"FirstOrderSimc", FirstOrder(2, 10, 2), TuningRule::Simc, 1.25, 10, 0, 2},
        TextbookCase{"FirstOrderLambda", FirstOrder(2, 10, 2), TuningRule::Lambda, 10.0 / 24, 10, 0, 10},
        TextbookCase{"FirstOrderZieglerNichols", FirstOrder(2, 10, 2), TuningRule::ZieglerNichols, 3, 4, 1, 0},
        TextbookCase{"NegativeGainKeepsItsSign", FirstOrder(-2, 10, 2), TuningRule::Simc, -1.25, 10, 0, 2},
        TextbookCase{"SecondOrderSimc", SecondOrder(1, 10, 2, 1), TuningRule::Simc, 6.25, 10, 1.6, 1},
        TextbookCase{"SecondOrderLambda", SecondOrder(1, 10, 2, 1), TuningRule::Lambda, 12.0 / 11, 12, 20.0 / 12, 10},
        TextbookCase{"SecondOrderZieglerNichols", SecondOrder(1, 10, 2, 1), TuningRule::ZieglerNichols, 6.6, 4, 1, 0},
        TextbookCase{"IntegratingSimc", Integrating(0.1, 2), TuningRule::Simc, 2.5, 16, 0, 2},
        TextbookCase{"IntegratingLambda", Integrating(0.1, 2), TuningRule::Lambda, 10 / 3.6, 10, 0, 4},
        TextbookCase{"IntegratingZieglerNichols", Integrating(0.1, 2), TuningRule::ZieglerNichols, 6, 4, 1, 0},
        // Without a dead time SIMC's tau_c falls back to one step.
        TextbookCase{"SimcWithoutDeadTime", FirstOrder(2, 10, 0), TuningRule::Simc, 10.0, 2, 0, 0.5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TuningRules, KnobsGivenByTheUserReplaceTheDefaults) {
  TuningOptions o;
  o.ClosedLoopTime = 6;
  o.Lambda = 4;
  const PidTuning simc = SuggestTuning(FirstOrder(2, 10, 2), TuningRule::Simc, o);
  EXPECT_NEAR(simc.Kc, 10.0 / 16, 1e-12);
  EXPECT_NEAR(simc.Ti, 10, 1e-12);
  const PidTuning lambda = SuggestTuning(FirstOrder(2, 10, 2), TuningRule::Lambda, o);
  EXPECT_NEAR(lambda.Kc, 10.0 / 12, 1e-12);
}

// The ZN PID Kc 3, Ti 4, Td 1 typed into forms of each kind.
struct FormCase {
  int equation;
  const char* label;
  double p, i, d;
};

TEST(TuningRules, SettingsAreWhatEachFormReads) {
  const PidTuning zn = SuggestTuning(FirstOrder(2, 10, 2), TuningRule::ZieglerNichols);
  const FormCase cases[] = {
      {1, "A0: gain K, integral time", 3, 4, 1},
      {4, "A1: proportional band", 100.0 / 3, 4, 1},
      {7, "A2: integral rate", 3, 0.25, 1},
      {13, "A4: gain on P only", 3, 4.0 / 3, 3},
      {16, "A5: gain on P only, integral rate", 3, 0.75, 3},
      {22, "A7: band, gain on P only, integral rate", 100.0 / 3, 0.75, 3},
  };
  for (const FormCase& c : cases) {
    const FormSettings f = ToFormSettings(zn, c.equation);
    ASSERT_EQ(f.Status, TuningStatus::Ok) << c.label;
    EXPECT_NEAR(f.P, c.p, 1e-9) << c.label;
    EXPECT_NEAR(f.I, c.i, 1e-9) << c.label;
    EXPECT_NEAR(f.D, c.d, 1e-9) << c.label;
  }
}

// The settings of every form, put into the engine's controller, give the
// same output change as the ideal PID: one execution with a constant set
// point, where dE = dPV and ddE = ddPV, so every family sees the same terms.
TEST(TuningRules, EveryFormMovesTheControllerOutputAsTheIdealPid) {
  const PidTuning zn = SuggestTuning(FirstOrder(2, 10, 2), TuningRule::ZieglerNichols);
  PIDLoop loop{};
  loop.CVLow = 0;
  loop.CVHigh = 100;
  loop.ExecPeriod = 0.5f;
  loop.OP = 50;
  loop.SP = 50;
  loop.PV = 53;
  loop.PVPrev = 52;
  loop.Error = 3;
  loop.ErrorPrev = 2;
  loop.PVChange = 1;
  loop.PVChangePrev = 0.5f;
  loop.ErrorChange = 1;
  loop.ErrorChangePrev = 0.5f;
  // OP change with s = -1: -Kc (dE + e T / Ti + Td ddE / T).
  const double ideal = -zn.Kc * (1 + 3 * 0.5 / zn.Ti + zn.Td * 0.5 / 0.5);
  for (int equation = 1; equation <= kEquationFormCount; ++equation) {
    const FormSettings f = ToFormSettings(zn, equation);
    loop.Equation = equation;
    loop.P = loop.EffectiveP = static_cast<float>(f.P);
    loop.I = static_cast<float>(f.I);
    loop.D = static_cast<float>(f.D);
    // The band forms add 0.0001 to the band: a relative error of 1e-5 here.
    EXPECT_NEAR(ComputePID(loop, -1) - 50, ideal, 2e-4 * std::fabs(ideal)) << "equation " << equation;
  }
}

TEST(TuningRules, BadModelsAndSettingsAnswerWithAStatus) {
  FittedModel unfitted = FirstOrder(2, 10, 2);
  unfitted.Fitted = false;
  TuningOptions negative;
  negative.ClosedLoopTime = -1;
  negative.Lambda = 0;
  struct Case {
    const char* name;
    PidTuning tuning;
    TuningStatus status;
  };
  const Case cases[] = {
      {"not fitted", SuggestTuning(unfitted, TuningRule::Simc), TuningStatus::NoModel},
      {"zero gain", SuggestTuning(FirstOrder(0, 10, 2), TuningRule::Simc), TuningStatus::BadModel},
      {"NaN gain", SuggestTuning(FirstOrder(NAN, 10, 2), TuningRule::Lambda), TuningStatus::BadModel},
      {"zero lag", SuggestTuning(FirstOrder(2, 0, 2), TuningRule::Simc), TuningStatus::BadModel},
      {"ZN without dead time", SuggestTuning(FirstOrder(2, 10, 0), TuningRule::ZieglerNichols),
       TuningStatus::NeedsDeadTime},
      {"ZN integrating without dead time", SuggestTuning(Integrating(0.1, 0), TuningRule::ZieglerNichols),
       TuningStatus::NeedsDeadTime},
      {"negative tau_c", SuggestTuning(FirstOrder(2, 10, 2), TuningRule::Simc, negative),
       TuningStatus::BadSetting},
      {"zero lambda", SuggestTuning(FirstOrder(2, 10, 2), TuningRule::Lambda, negative),
       TuningStatus::BadSetting},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.tuning.Status, c.status) << c.name;
    EXPECT_FALSE(c.tuning.Message.empty()) << c.name;
    EXPECT_EQ(ToFormSettings(c.tuning, 1).Status, c.status) << c.name << ": passed on";
  }
  const PidTuning ok = SuggestTuning(FirstOrder(2, 10, 2), TuningRule::Simc);
  for (int equation : {0, 25, -3}) {
    const FormSettings f = ToFormSettings(ok, equation);
    EXPECT_EQ(f.Status, TuningStatus::UnknownForm);
    EXPECT_NE(f.Message.find("equation " + std::to_string(equation)), std::string::npos) << f.Message;
  }
}

}  // namespace
}  // namespace qx::analysis
