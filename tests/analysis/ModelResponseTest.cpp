#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/LoopSample.h"
#include "analysis/ModelResponse.h"
#include "engine/Plant.h"

namespace qx::analysis {
namespace {

struct PlantCase {
  const char* name;
  ModelKind kind;
  float gain, delay, tau1, tau2;
};

class UnitResponseIsThePlant : public ::testing::TestWithParam<PlantCase> {};

// The engine's plant, started at rest at PV 50 with the output at 50 %,
// driven by a few output steps: its delayed output minus 50 must be the
// gain times the unit response to the output's deviations, shifted by the
// dead time.
TEST_P(UnitResponseIsThePlant, GainTimesShiftedResponseGivesThePlantsOutput) {
  const PlantCase& c = GetParam();
  PIDLoop loop{};
  loop.CVLow = 0;
  loop.CVHigh = 100;
  loop.MVHigh = 100;
  loop.InitialValveOpening = 50;
  loop.InitialValue = loop.ModelOutput = loop.PVRaw = loop.PV = loop.DelayedOutput = 50;
  const ModelParams model = ToProcessModel(c.kind, c.gain, c.delay, c.tau1, c.tau2);
  ProcessStates states;
  const float dt = static_cast<float>(kStepTime);
  StartProcessModel(loop, model, states, dt);
  std::vector<float> delayLine(kDelayLineLength);

  std::vector<double> input(600), plant(600), unit;
  for (int k = 0; k < 600; ++k) {
    const double op = k < 10 ? 50 : k < 250 ? 62.5 : k < 400 ? 41 : 55;
    input[k] = op - 50;
    loop.MV = static_cast<float>(op);
    AdvanceProcessModel(loop, model, states, delayLine.data(), k, static_cast<float>(k * kStepTime), dt);
    plant[k] = loop.DelayedOutput - 50.0;
  }
  ASSERT_TRUE(UnitResponse(c.kind, c.tau1, c.tau2, input, unit));
  const int shift = static_cast<int>(std::lround(c.delay / kStepTime));
  for (int k = 0; k < 600; ++k) {
    const double expected = k < shift ? 0.0 : c.gain * unit[k - shift];
    // The plant stores its states in single precision at a level near 50,
    // where one rounding is up to 4e-6; an integrator adds one per step.
    ASSERT_NEAR(plant[k], expected, 3e-3) << "step " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, UnitResponseIsThePlant,
    ::testing::Values(PlantCase{"FirstOrder", ModelKind::FirstOrder, 0.8f, 0, 12, 0},
                      PlantCase{"FirstOrderWithDeadTime", ModelKind::FirstOrder, -1.3f, 3.5f, 4, 0},
                      PlantCase{"SecondOrder", ModelKind::SecondOrder, 1.1f, 0, 30, 11},
                      PlantCase{"SecondOrderUnderdampedWithDeadTime", ModelKind::SecondOrder, 0.6f, 2, 40, 5},
                      PlantCase{"Integrating", ModelKind::Integrating, 0.02f, 0, 0, 0},
                      PlantCase{"IntegratingWithDeadTime", ModelKind::Integrating, -0.05f, 6, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UnitResponse, AModelThatRunsAwayAtTheStepIsRefused) {
  // Tau1 y'' + Tau2 y' + y with Tau2 / Tau1 far above 4 / dt is unstable
  // under the plant's explicit step.
  std::vector<double> input(200, 1.0), out;
  EXPECT_FALSE(UnitResponse(ModelKind::SecondOrder, 0.05, 10, input, out));
  EXPECT_FALSE(UnitResponse(ModelKind::FirstOrder, 0, 0, input, out));
}

}  // namespace
}  // namespace qx::analysis
