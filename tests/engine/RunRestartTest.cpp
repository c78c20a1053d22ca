// A run start requested while a run is active: the active run ends and the
// new one starts once the old loop has returned, never inside it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RunFixture.h"

namespace qx {
namespace {

// Records the start and end of every run, and whether a start came while
// another run was still executing.
class RestartHost : public test::ScriptedHost {
 public:
  explicit RestartHost(Simulation& sim) : ScriptedHost(sim), sim_(sim) {}
  std::vector<std::string> Events;
  void RunStarting() override {
    Events.push_back(sim_.Run.Active ? "start inside a run" : "start");
  }
  void RunEnded() override {
    Events.push_back("end at step " + std::to_string(sim_.Run.StepsDone));
  }

 private:
  Simulation& sim_;
};

class RunRestart : public ::testing::Test {
 protected:
  RunRestart() : host(sim) {
    test::LoadTestCase(sim.Model);
    host.Record = false;
    host.StopAtStep = 30;
  }
  Simulation sim;
  RestartHost host;
};

TEST_F(RunRestart, AStartDuringARunEndsItAndStartsAfterItsLoopReturned) {
  bool requested = false;
  host.OnStepStart = [&](int64_t step) {
    if (step == 10 && !requested) {
      requested = true;
      SinglePID1Click(sim, host);
      EXPECT_TRUE(sim.Run.Active) << "the nested start returns at once";
    }
  };
  SinglePID1Click(sim, host);
  const std::vector<std::string> want = {"start", "end at step 10", "start", "end at step 30"};
  EXPECT_EQ(host.Events, want);
  EXPECT_FALSE(sim.Model.RunControl.RestartPending);
}

// A stop command clears StopRequested before it asks its question: the
// pending start must still end the run.
TEST_F(RunRestart, ClearingTheStopRequestDoesNotCancelAPendingStart) {
  bool requested = false;
  host.OnStepStart = [&](int64_t step) {
    if (step == 10 && !requested) {
      requested = true;
      SinglePID1Click(sim, host);
      sim.Model.RunControl.StopRequested = false;
      sim.Model.RunControl.ChangesPending = true;
    }
  };
  SinglePID1Click(sim, host);
  const std::vector<std::string> want = {"start", "end at step 10", "start", "end at step 30"};
  EXPECT_EQ(host.Events, want);
}

// Apply Changes re-enters the start with ApplyInProgress set: the run goes
// on with its clock, and no second run follows.
TEST_F(RunRestart, ApplyDuringARunIsNoRestart) {
  host.OnStepStart = [&](int64_t step) {
    if (step != 10) return;
    sim.Model.RunControl.ApplyInProgress = true;
    SinglePID1Click(sim, host);
    sim.Model.RunControl.ApplyInProgress = false;
  };
  SinglePID1Click(sim, host);
  const std::vector<std::string> want = {"start", "start inside a run", "end at step 30"};
  EXPECT_EQ(host.Events, want);
}

}  // namespace
}  // namespace qx
