// Which host calls a run makes: a host that narrows its message processing
// to the steps with work (or to a raised waiting flag), or that leaves out
// the display calls, is not called otherwise; a default host is called at
// every step.
#include <gtest/gtest.h>

#include <atomic>
#include <utility>
#include <vector>

#include "engine/RunLoop.h"
#include "RunFixture.h"

namespace qx {
namespace {

constexpr int64_t kLastStep = 1000;
constexpr int64_t kWorkEvery = 100;
constexpr int64_t kFlagRaisedAt = 250;

class CountingHost : public RunHost {
 public:
  CountingHost(Simulation& sim, bool narrow) : sim_(sim), narrow_(narrow) {
    if (!narrow_) return;
    WatchWaitingFlag(0, &waiting_);
    LeaveOutDisplayCalls(kShowSpeed | kTrendSampleRecorded | kPlotSingleTrends);
  }
  void ProcessMessages(MessagePoint point) override {
    const int64_t step = sim_.Run.StepsDone;
    calls.emplace_back(step, point);
    waiting_.store(false);
    if (step == kLastStep) sim_.Model.RunControl.StopRequested = true;
    if (narrow_) ProcessMessagesFrom((step / kWorkEvery + 1) * kWorkEvery);
  }
  // Another thread's hand-off, raised here between two message points.
  void StepComputed() override {
    if (sim_.Run.StepsDone == kFlagRaisedAt) waiting_.store(true);
  }
  void ShowSpeed(int) override { ++displayCalls; }
  void TrendSampleRecorded(int, int64_t, float) override { ++displayCalls; }
  void PlotSingleTrends(RunBuffers&, int, int) override { ++displayCalls; }

  std::vector<std::pair<int64_t, MessagePoint>> calls;
  int displayCalls = 0;

 private:
  Simulation& sim_;
  const bool narrow_;
  std::atomic<bool> waiting_{false};
};

TEST(RunHostCalls, ANarrowedHostIsCalledAtItsStepsAndWhenItsFlagIsRaised) {
  Simulation sim;
  test::LoadTestCase(sim.Model);
  CountingHost host(sim, true);
  SinglePID1Click(sim, host);

  std::vector<std::pair<int64_t, MessagePoint>> expected;
  for (int64_t step = 0; step <= kLastStep; step += kWorkEvery) {
    expected.emplace_back(step, MessagePoint::StepStart);
    if (step == 200) expected.emplace_back(kFlagRaisedAt, MessagePoint::Pacing);
  }
  EXPECT_EQ(host.calls, expected);
  EXPECT_EQ(host.displayCalls, 0);
}

TEST(RunHostCalls, ADefaultHostIsCalledAtEveryStep) {
  Simulation sim;
  test::LoadTestCase(sim.Model);
  CountingHost host(sim, false);
  SinglePID1Click(sim, host);

  ASSERT_EQ(host.calls.size(), 2 * kLastStep + 1) << "both message points of every step, then the last start";
  for (int64_t step = 0; step < kLastStep; ++step) {
    EXPECT_EQ(host.calls[2 * step], std::make_pair(step, MessagePoint::StepStart));
    EXPECT_EQ(host.calls[2 * step + 1], std::make_pair(step, MessagePoint::Pacing));
  }
  // ShowSpeed at every step (the last start included), PlotSingleTrends at
  // every completed one, a trend sample at every other.
  EXPECT_EQ(host.displayCalls, (kLastStep + 1) + kLastStep + kLastStep / 2);
}

}  // namespace
}  // namespace qx
