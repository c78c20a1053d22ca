// qxsim run --alarms end to end: the starting case with a companion file of
// limits that a set-point step from 50 to 80 crosses, and --save-case
// writing the limits beside the saved case.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ProcessRun.h"

namespace qx::test {
namespace {

// The starting case (beside qxsim) copied into `folder` with `limits` as its
// companion file; its path.
std::string CaseWithLimits(const std::string& folder, const std::string& limits) {
  const std::string path = folder + "/step.pid";
  std::filesystem::copy_file(std::filesystem::path(QXSIM_PATH).parent_path() / "TravekEX2.pid", path);
  std::ofstream(path + ".alarms", std::ios::binary) << limits;
  return path;
}

const std::vector<std::string> kStep = {"--steps", "200", "--at", "20:SingleSPNew=80", "--at", "20:enter"};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

TEST(QxsimAlarms, EveryTransitionOfTheRunAsCsv) {
  const std::string folder = ScratchFolder();
  const std::string casePath =
      CaseWithLimits(folder, "pv.high = 70\ndeviation.limit = 10\ndeviation.delay = 5\ndeviation.deadband = 1\n");
  const std::string log = folder + "/alarms.csv";
  const ProcessResult r = RunQxsim(With({"run", casePath, "--alarms", log}, kStep));
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  // The step comes at t = 10: the deviation of 30 holds its 5 delay, PV
  // passes 70 on its way to 80, and the deviation clears below 9.
  EXPECT_EQ(ReadWholeFile(log),
            "t,alarm,state,value,limit\n"
            "15,deviation,active,29.212502,10\n"
            "30.5,level,high,70.312775,70\n"
            "31.5,deviation,normal,8.973862,10\n");
}

TEST(QxsimAlarms, StandardOutputAndNoLimits) {
  const std::string folder = ScratchFolder();
  const std::string casePath = CaseWithLimits(folder, "");
  const ProcessResult r = RunQxsim(With({"run", casePath, "--alarms", "-"}, kStep));
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out, "t,alarm,state,value,limit\n");
  EXPECT_EQ(RunQxsim({"run", "--alarms", "-", "--metrics", "-"}).exitStatus, 2);
}

TEST(QxsimAlarms, BadCompanionFileIsNamedAndTheRunGoesOn) {
  const std::string folder = ScratchFolder();
  const std::string casePath = CaseWithLimits(folder, "pv.high = 70\npv.low = 90\n");
  const ProcessResult r = RunQxsim(With({"run", casePath, "--alarms", "-"}, kStep));
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.err.find("step.pid.alarms line 1: pv.high = 70: not above pv.low = 90 (default used)"),
            std::string::npos)
      << r.err;
  // pv.low = 90 was kept: the run starts below it.
  EXPECT_EQ(r.out.substr(0, r.out.find('\n', 30)), "t,alarm,state,value,limit\n0,level,low,50,90");
}

TEST(QxsimAlarms, SaveCaseWritesTheLimitsBesideIt) {
  const std::string folder = ScratchFolder();
  const std::string casePath = CaseWithLimits(folder, "deviation.limit = 7.5\n");
  const ProcessResult r = RunQxsim({"run", casePath, "--steps", "2", "--save-case", folder + "/copy.pid"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(ReadWholeFile(folder + "/copy.pid.alarms").find("\ndeviation.limit = 7.5\n"), std::string::npos);
}

TEST(QxsimAlarms, UnwritableFileIsNamed) {
  const ProcessResult r = RunQxsim({"run", "--steps", "2", "--alarms", ScratchFolder() + "/no/such/file.csv"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("cannot write the alarms to '"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace qx::test
