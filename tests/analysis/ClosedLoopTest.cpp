#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "analysis/PerformanceIndices.h"
#include "analysis/StepIdentification.h"
#include "analysis/TuningRules.h"
#include "EngineRuns.h"

namespace qx::analysis {
namespace {

// A process, the bump test that identifies it, and the equation form the
// suggested tuning is typed into.
struct LoopCase {
  const char* name;
  float gain, delay, tau1, tau2;
  std::vector<std::pair<int64_t, float>> bumps;
  int64_t bumpLength;
  int equation;
  TuningRule rule;
};

class SuggestedTuningApplied : public ::testing::TestWithParam<LoopCase> {};

// Bump test, fit, suggestion, then a set-point step 50 -> 60 in Auto on the
// same process with the suggested settings: the response must settle
// without sustained oscillation.
TEST_P(SuggestedTuningApplied, SettlesWithoutSustainedOscillation) {
  const LoopCase& c = GetParam();
  ModelParams process{};
  process.Gain = c.gain;
  process.Delay = c.delay;
  process.Tau1 = c.tau1;
  process.Tau2 = c.tau2;

  const auto bump = test::BumpTest(process, 0, 100, c.bumps, c.bumpLength);
  const IdentificationResult fit = IdentifyStepResponse(bump, {});
  ASSERT_EQ(fit.Status, IdentificationStatus::Ok) << fit.Message;
  const PidTuning tuning = SuggestTuning(*fit.BestModel(), c.rule);
  ASSERT_EQ(tuning.Status, TuningStatus::Ok) << tuning.Message;
  const FormSettings f = ToFormSettings(tuning, c.equation);
  ASSERT_EQ(f.Status, TuningStatus::Ok) << f.Message;

  const int64_t steps = 2000;
  const auto run = test::SetPointStep(process, c.equation, static_cast<float>(f.P),
                                      static_cast<float>(f.I), static_cast<float>(f.D), 60, 20,
                                      steps);
  PerformanceIndices pi;
  for (const LoopSample& s : run) pi.Add(s);
  const PerformanceResults r = pi.Results();
  ASSERT_EQ(r.Cause, WindowCause::SetPointChange);
  ASSERT_TRUE(r.SettlingTime) << "still outside the 2 % band at the end";
  EXPECT_LT(*r.SettlingTime, r.WindowLength / 2);
  if (r.DecayRatio) {
    EXPECT_LT(*r.DecayRatio, 0.25);
  }
  // The error envelope shrinks: the last quarter of the run stays far
  // below the first quarter's largest error.
  auto largestError = [&](size_t from, size_t to) {
    double e = 0;
    for (size_t k = from; k < to; ++k) e = std::max(e, std::fabs(run[k].SP - run[k].PV));
    return e;
  };
  EXPECT_LT(largestError(run.size() * 3 / 4, run.size()), 0.02 * largestError(20, run.size() / 4));
}

INSTANTIATE_TEST_SUITE_P(
    EngineRuns, SuggestedTuningApplied,
    ::testing::Values(
        LoopCase{"FirstOrderSimcFormA0", 1.5f, 7.5f, 20, 0, {{20, 60}, {420, 45}}, 800, 1, TuningRule::Simc},
        LoopCase{"FirstOrderLambdaFormB1", 1.5f, 7.5f, 20, 0, {{20, 60}, {420, 45}}, 800, 5, TuningRule::Lambda},
        LoopCase{"SecondOrderSimcFormA6", 0.7f, 4, 30, 20, {{20, 75}, {500, 35}}, 1000, 19, TuningRule::Simc},
        LoopCase{"IntegratingSimcFormC3", -0.03f, 6, 0, 0, {{20, 60}, {160, 40}, {300, 50}}, 500, 12,
                 TuningRule::Simc}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qx::analysis
