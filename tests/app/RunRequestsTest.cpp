// Run requests while a run is active: a loading command or a close handled
// inside the run's message processing.
#include "AppFixture.h"

namespace qx {
namespace {

using Log = std::vector<std::string>;

class RunRequests : public ::testing::Test {
 protected:
  RunRequests() : app(host, '.'), run(app) {
    app.StartUpState();
    test::WriteCaseFile(folder.File(kStartingCaseFile), test::StartingCaseListing());
    std::string listing = test::StartingCaseListing();
    listing.replace(listing.find("SingleLoop.P=1\n"), 15, "SingleLoop.P=4\n");
    test::WriteCaseFile(folder.File("Other.pid"), listing);
  }
  // Runs `request` once, at step 10 of the first run.
  void At10(std::function<void()> request) {
    run.OnStep = [this, request, done = false](int64_t step) mutable {
      if (step == 10 && !done) {
        done = true;
        request();
      }
    };
  }
  test::WorkingFolder folder;
  test::FakeAppHost host;
  Application app;
  test::StoppingRunHost run;
};

TEST_F(RunRequests, NewSimulationDuringARunStartsTheNewRunAfterTheOldOneReturned) {
  At10([&] { app.NewCaseFileClick(run); });
  app.OpenCaseFile(folder.File("Other.pid"), run);
  EXPECT_EQ(run.Runs, (Log{"start", "end at step 10", "start", "end at step 20"}));
  EXPECT_EQ(run.StartGains, (std::vector<float>{4, 1}));  // the second run has the new case
  EXPECT_FALSE(app.Model().RunControl.RestartPending);
}

TEST_F(RunRequests, OpenCaseFileDuringARunKeepsTheRunsBuffersUntilItEnds) {
  host.OpenChoice = folder.File("Other.pid");
  At10([&] {
    app.OpenCaseFileClick(run);
    EXPECT_NE(app.Sim().Buffers.Loop, nullptr) << "the live run's buffers were released";
  });
  app.NewCaseFileClick(run);
  EXPECT_EQ(run.Runs, (Log{"start", "end at step 10", "start", "end at step 20"}));
  EXPECT_EQ(run.StartGains, (std::vector<float>{1, 4}));
}

TEST_F(RunRequests, CloseDuringARunEndsItWithoutARestart) {
  At10([&] {
    app.NewCaseFileClick(run);  // a restart waits for this run to return
    if (app.FormCloseQuery()) app.FormClose();
  });
  app.NewCaseFileClick(run);
  EXPECT_EQ(run.Runs, (Log{"start", "end at step 10"}));
  EXPECT_FALSE(app.Model().RunControl.RestartPending);
}

}  // namespace
}  // namespace qx
