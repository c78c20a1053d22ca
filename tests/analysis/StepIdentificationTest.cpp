#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "analysis/StepIdentification.h"
#include "EngineRuns.h"

namespace qx::analysis {
namespace {

struct KnownProcess {
  const char* name;
  ModelKind kind;
  float gain, delay, tau1, tau2;
  float mvHigh;
  // Output steps of the bump test and its length in steps.
  std::vector<std::pair<int64_t, float>> steps;
  int64_t length;
};

ModelParams Process(const KnownProcess& p) {
  ModelParams m{};
  m.Gain = p.gain;
  m.Delay = p.delay;
  m.Tau1 = p.tau1;
  m.Tau2 = p.tau2;
  return m;  // LoadProcess derives the order
}

// Lag processes get an output step up and one down; integrating ones a
// pulse up and back so that the PV stays within the CV range.
const KnownProcess kProcesses[] = {
    {"FirstOrder", ModelKind::FirstOrder, 0.8f, 0, 15, 0, 100, {{20, 70}, {300, 40}}, 600},
    {"FirstOrderWithDeadTime", ModelKind::FirstOrder, 1.5f, 7.5f, 20, 0, 200,
     {{20, 60}, {420, 45}}, 800},
    {"SecondOrder", ModelKind::SecondOrder, 1.2f, 0, 50, 15, 100, {{20, 65}, {400, 45}}, 800},
    {"SecondOrderWithDeadTime", ModelKind::SecondOrder, 0.7f, 4, 30, 20, 100,
     {{20, 75}, {500, 35}}, 1000},
    {"SecondOrderUnderdampedWithDeadTime", ModelKind::SecondOrder, 1, 3, 40, 8, 100,
     {{20, 62}, {400, 45}}, 800},
    {"Integrating", ModelKind::Integrating, 0.02f, 0, 0, 0, 100, {{20, 70}, {120, 30}, {220, 50}},
     400},
    {"IntegratingWithDeadTime", ModelKind::Integrating, -0.03f, 6, 0, 0, 100,
     {{20, 60}, {160, 40}, {300, 50}}, 500},
};

struct Noise {
  const char* name;
  float pvNoise;
  double tolerance;
};
const Noise kNoises[] = {{"NoiseFree", 0, 0.02}, {"PVNoise", 0.01f, 0.10}};

class IdentifiesKnownProcess
    : public ::testing::TestWithParam<std::tuple<KnownProcess, Noise>> {};

void ExpectWithin(double fitted, double truth, double tolerance, const char* what) {
  EXPECT_NEAR(fitted, truth, tolerance * std::fabs(truth)) << what;
}

TEST_P(IdentifiesKnownProcess, GivesBackGainDeadTimeAndLags) {
  const auto& [p, noise] = GetParam();
  const auto samples = test::BumpTest(Process(p), noise.pvNoise, p.mvHigh, p.steps, p.length);
  const IdentificationResult r = IdentifyStepResponse(samples, {0, 100, p.mvHigh});
  ASSERT_EQ(r.Status, IdentificationStatus::Ok) << r.Message;
  const FittedModel& m = *r.BestModel();
  EXPECT_EQ(m.Kind, p.kind) << "picked " << ModelKindName(m.Kind);
  ExpectWithin(m.Gain, p.gain, noise.tolerance, "gain");
  ExpectWithin(m.PercentGain, p.gain * p.mvHigh / 100, noise.tolerance, "gain in %/%");
  // The dead time lies on the 0.5 grid: noise-free it must be exact; with
  // noise one step either way is within the bound for small dead times.
  const double delayTolerance =
      noise.pvNoise > 0 ? std::max(noise.tolerance * p.delay, 0.5) : 1e-9;
  EXPECT_NEAR(m.DeadTime, p.delay, delayTolerance) << "dead time";
  if (p.kind != ModelKind::Integrating) ExpectWithin(m.Tau1, p.tau1, noise.tolerance, "Tau1");
  if (p.kind == ModelKind::SecondOrder) ExpectWithin(m.Tau2, p.tau2, noise.tolerance, "Tau2");
  EXPECT_NEAR(m.Offset, 50, 1) << "the PV at rest before the first step";
  if (noise.pvNoise == 0) {
    EXPECT_GT(m.RSquared, 0.99999);
  }
  EXPECT_EQ(r.Models.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(
    EngineRuns, IdentifiesKnownProcess,
    ::testing::Combine(::testing::ValuesIn(kProcesses), ::testing::ValuesIn(kNoises)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

TEST(StepIdentification, SecondOrderLagsAreTheRootsOfItsCoefficients) {
  // Tau1 y'' + Tau2 y' + y: Tau1 = 50 and Tau2 = 15 are the lags 10 and 5.
  const KnownProcess& p = kProcesses[2];
  const auto samples = test::BumpTest(Process(p), 0, 100, p.steps, p.length);
  const IdentificationResult r = IdentifyStepResponse(samples, {});
  ASSERT_EQ(r.Status, IdentificationStatus::Ok) << r.Message;
  const FittedModel& m = r.Models[1];
  ASSERT_TRUE(m.RealLags);
  EXPECT_NEAR(m.Lag1, 10, 0.2);
  EXPECT_NEAR(m.Lag2, 5, 0.1);
}

std::vector<LoopSample> GoodStretch() {
  ModelParams m{};
  m.Gain = 1;
  m.Tau1 = 10;
  return test::BumpTest(m, 0, 100, {{10, 60}}, 200);
}

TEST(StepIdentification, BadInputsAnswerWithAStatusThatNamesTheProblem) {
  const auto good = GoodStretch();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  auto with = [&](auto change) {
    auto s = good;
    change(s);
    return s;
  };
  struct Case {
    const char* name;
    std::vector<LoopSample> stretch;
    ProcessScaling scaling;
    IdentificationStatus status;
    const char* mentions;  // what the message must say
  };
  const std::vector<Case> cases = {
      {"empty", {}, {}, IdentificationStatus::TooFewSamples, "0 samples"},
      {"too short", std::vector<LoopSample>(good.begin(), good.begin() + 19), {},
       IdentificationStatus::TooFewSamples, "19 samples"},
      {"NaN PV", with([&](auto& s) { s[37].PV = nan; }), {}, IdentificationStatus::NonFiniteValue,
       "sample 37 has a PV"},
      {"infinite OP", with([&](auto& s) { s[5].OP = INFINITY; }), {},
       IdentificationStatus::NonFiniteValue, "sample 5 has a OP"},
      {"PV beyond the range the sums can square", with([&](auto& s) { s[12].PV = 1e200; }), {},
       IdentificationStatus::NonFiniteValue, "sample 12 has a PV"},
      {"gap in time", with([&](auto& s) { s.erase(s.begin() + 50); }), {},
       IdentificationStatus::IrregularSteps, "samples 49 and 50"},
      {"flat output", with([&](auto& s) { for (auto& x : s) x.OP = 50; }), {},
       IdentificationStatus::NoOutputStep, "stays at 50"},
      {"flat PV", with([&](auto& s) { for (auto& x : s) x.PV = 42; }), {},
       IdentificationStatus::NoResponse, "PV stays at 42"},
      {"empty CV range", good, {100, 100, 100}, IdentificationStatus::BadScaling, "CV range"},
      {"MVHigh zero", good, {0, 100, 0}, IdentificationStatus::BadScaling, "MVHigh 0"},
  };
  for (const Case& c : cases) {
    const IdentificationResult r = IdentifyStepResponse(c.stretch, c.scaling);
    EXPECT_EQ(r.Status, c.status) << c.name << ": " << r.Message;
    EXPECT_NE(r.Message.find(c.mentions), std::string::npos) << c.name << ": " << r.Message;
    EXPECT_EQ(r.BestModel(), nullptr) << c.name;
  }
}

TEST(StepIdentification, AStretchFromTheMiddleOfARunWorksAcrossAClockValue) {
  // The stretch need not start at t = 0: only the spacing matters.
  const auto all = GoodStretch();
  const std::vector<LoopSample> part(all.begin() + 5, all.end());
  const IdentificationResult r = IdentifyStepResponse(part, {});
  ASSERT_EQ(r.Status, IdentificationStatus::Ok) << r.Message;
  EXPECT_NEAR(r.BestModel()->Gain, 1, 0.02);
  EXPECT_NEAR(r.BestModel()->Tau1, 10, 0.2);
}

}  // namespace
}  // namespace qx::analysis
