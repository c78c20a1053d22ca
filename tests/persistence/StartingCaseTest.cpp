// The starting case must be a loop that works: run from the packed case
// file, it holds its set point and settles at a new one after a step.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "TestSupport.h"
#include "engine/RunLoop.h"
#include "persistence/CaseFile.h"

namespace qx {
namespace {

// Steps the set point from 50 to 60 after 100 steps and ends the run after
// 1600 steps (800 time units, 40 times the process lag).
class SetPointStepHost final : public RunHost {
 public:
  explicit SetPointStepHost(LoopModel& model) : model_(model) {}
  void ProcessMessages(MessagePoint point) override {
    if (point != MessagePoint::StepStart) return;
    if (steps_ == 100) {
      pvBeforeStep = model_.SingleLoop.PV;
      model_.SingleLoop.SPNew = 60.0f;
    }
    if (steps_ == 1600) model_.RunControl.StopRequested = true;
  }
  void StepComputed() override {
    ++steps_;
    peak = std::max(peak, model_.SingleLoop.PV);
  }
  float pvBeforeStep = 0;
  float peak = 0;

 private:
  LoopModel& model_;
  int steps_ = 0;
};

TEST(StartingCase, HoldsItsSetPointAndSettlesAfterAStep) {
  auto sim = std::make_unique<Simulation>();
  test::RecordingHost caseHost;
  CaseExtras extras;
  ASSERT_EQ(ReadCase(QX_STARTING_CASE, sim->Model, extras, '.', caseHost).status,
            CaseReadStatus::Loaded);
  SetPointStepHost host(sim->Model);
  SinglePID1Click(*sim, host);
  EXPECT_NEAR(host.pvBeforeStep, 50.0f, 0.01f);
  EXPECT_NEAR(sim->Model.SingleLoop.PV, 60.0f, 0.01f);
  EXPECT_LT(host.peak, 65.0f);  // a PI tuning without a large overshoot
}

}  // namespace
}  // namespace qx
