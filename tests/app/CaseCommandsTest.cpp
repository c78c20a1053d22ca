// "New Simulation", "Open Case File" and "Save" with a scripted front end.
#include <filesystem>
#include <fstream>

#include "AppFixture.h"

namespace qx {
namespace {

using Log = std::vector<std::string>;

const std::string kNewCaption = "Quorvanex OPC Server For Simulation SLAVE (flowpid.dat)";

class CaseCommands : public ::testing::Test {
 protected:
  CaseCommands() : app(host, '.'), run(app) {
    app.StartUpState();
    host.Caption = "before";
  }
  test::WorkingFolder folder;
  test::FakeAppHost host;
  Application app;
  test::StoppingRunHost run;
};

TEST_F(CaseCommands, NewSimulationLoadsTheStartingCaseAndRunsIt) {
  test::WriteCaseFile(folder.File(kStartingCaseFile), test::StartingCaseListing());
  app.Model().SingleLoop.I = 99;
  app.NewCaseFileClick(run);
  EXPECT_EQ(host.Log, (Log{"messages", "caption: " + kNewCaption}));
  EXPECT_EQ(run.Runs, (Log{"start", "end at step 20"}));
  EXPECT_EQ(LoadShared(app.Model().SingleLoop.I), 20);  // from the case
  EXPECT_TRUE(app.Panel().Layout.ModePageVisible);
  EXPECT_TRUE(app.Panel().PVNoise.Visible);
  EXPECT_FALSE(host.Busy);
  EXPECT_GT(host.PanelChanges, 0);
}

TEST_F(CaseCommands, NewSimulationWithoutTheStartingCaseShowsTwoBoxesAndStillRuns) {
  app.NewCaseFileClick(run);
  EXPECT_EQ(host.Log,
            (Log{"messages",
                 "box Error: Configuration File Not Found:\nTravekEX2.pid\nSelect Another Case File [error]",
                 "box Quorvanex OPC Server: File Not Found.\n Select Another Case File [error]"}));
  EXPECT_EQ(host.Caption, "before");
  EXPECT_EQ(run.Runs, (Log{"start", "end at step 20"}));
  EXPECT_TRUE(app.Panel().Layout.ModePageVisible);
}

TEST_F(CaseCommands, OpenCancelledChangesNothing) {
  app.OpenCaseFileClick(run);
  EXPECT_EQ(host.Log, (Log{"open dialog"}));
  EXPECT_EQ(host.Caption, "before");
  EXPECT_TRUE(run.Runs.empty());
  EXPECT_FALSE(app.Panel().Layout.ModePageVisible);
}

TEST_F(CaseCommands, OpenFromAnotherFolderNamesTheFileAndRuns) {
  const std::string other = folder.File("cases");
  std::filesystem::create_directory(other);
  test::WriteCaseFile(other + "/Plant.pid", test::StartingCaseListing());
  host.OpenChoice = other + "/Plant.pid";
  app.OpenCaseFileClick(run);
  EXPECT_EQ(host.Log, (Log{"open dialog", "directory: " + other,
                           "caption: Quorvanex OPC Server For Simulation SLAVE (Plant.pid)", "pointer"}));
  EXPECT_EQ(run.Runs, (Log{"start", "end at step 20"}));
  EXPECT_EQ(app.Panel().Layout.SimRunningLabel, "Simulation Running.");
  EXPECT_EQ(app.Panel().Layout.SimRunningLabel1, "Click 'Halt Simulation' to stop.");
  EXPECT_FALSE(host.Busy);
}

TEST_F(CaseCommands, OpenOfAFileThatIsNoCaseShowsTheReadersBoxAndStillRuns) {
  std::ofstream(folder.File("notes.pid")) << "not a case file\n";
  app.OpenCaseFile(folder.File("notes.pid"), run);
  ASSERT_EQ(host.Log.size(), 3u);
  EXPECT_EQ(host.Log[0].rfind("box Error: ", 0), 0u) << host.Log[0];
  EXPECT_EQ(host.Log[1], "caption: Quorvanex OPC Server For Simulation");
  EXPECT_EQ(host.Log[2], "pointer");
  EXPECT_EQ(run.Runs, (Log{"start", "end at step 20"}));
  EXPECT_TRUE(app.Panel().Layout.ModePageVisible);
}

TEST_F(CaseCommands, OpenOfAFolderSaysWhyItCannotBeReadAndStillRuns) {
  std::filesystem::create_directory(folder.File("folder.pid"));
  app.OpenCaseFile(folder.File("folder.pid"), run);
  EXPECT_EQ(host.Log, (Log{"box Error: Cannot read " + folder.File("folder.pid") + ": Is a directory [error]",
                           "caption: Quorvanex OPC Server For Simulation", "pointer"}));
  EXPECT_EQ(run.Runs, (Log{"start", "end at step 20"}));
}

// A value line that does not convert ends the command with the general
// error report: no run, the idle layout, the caption as it was.
TEST_F(CaseCommands, ABadValueLineEndsTheCommandWithTheGeneralError) {
  test::WriteCaseFileWithValue(folder.File("bad.pid"), "SingleLoop.I", "abc");
  test::WriteCaseFileWithValue(folder.File(kStartingCaseFile), "SingleLoop.I", "abc");
  host.OpenChoice = folder.File("bad.pid");
  app.OpenCaseFileClick(run);
  app.NewCaseFileClick(run);
  const std::string error = "general error: 'abc' is not a valid floating point value";
  EXPECT_EQ(host.Log, (Log{"open dialog", error, "messages", error}));
  EXPECT_TRUE(run.Runs.empty());
  EXPECT_FALSE(app.Panel().Layout.ModePageVisible);
  EXPECT_EQ(host.Caption, "before");
  EXPECT_FALSE(host.Busy);
}

TEST_F(CaseCommands, SaveWritesACaseOrSaysItCouldNot) {
  test::WriteCaseFile(folder.File("start.pid"), test::StartingCaseListing());
  ASSERT_EQ(app.LoadCase(folder.File("start.pid")).status, CaseReadStatus::Loaded);
  app.Model().SingleLoop.P = 3.5f;
  host.SaveChoice = folder.File("saved.DAT");
  app.SaveCaseFileClick();
  host.SaveChoice = folder.File("no-such-folder/saved.pid");
  app.SaveCaseFileClick();
  host.SaveChoice.reset();
  app.SaveCaseFileClick();
  EXPECT_EQ(host.Log, (Log{"save dialog", "box Quorvanex OPC Server: File Saved Successfully",
                           "save dialog", "box Quorvanex OPC Server: Could Not Save File [error]",
                           "save dialog"}));
  // What was saved is an ordinary case file, whatever its extension.
  host.Log.clear();
  app.Model().SingleLoop.P = 1;
  app.OpenCaseFile(folder.File("saved.DAT"), run);
  EXPECT_EQ(run.StartGains, (std::vector<float>{3.5f}));
}

}  // namespace
}  // namespace qx
