// qxsim sweep end to end: the real binary on the built-in starting case.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <thread>

#include "ProcessRun.h"

namespace qx::test {
namespace {

// A short run keeps the tests quick; the set-point step at step 10 has
// settled well before step 600 for the stable settings of the grid.
const std::vector<std::string> kGrid = {"--grid", "P=0.5:3:3", "--grid", "I=5:40:2", "--steps", "600"};

struct CsvFile {
  std::vector<std::string> comments;  // "# ..." lines
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> cells;
  std::string::size_type start = 0;
  for (;;) {
    const auto at = line.find(separator, start);
    cells.push_back(line.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return cells;
    start = at + 1;
  }
}

CsvFile ParseCsv(const std::string& text) {
  CsvFile csv;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("# "))
      csv.comments.push_back(line);
    else if (csv.header.empty())
      csv.header = Split(line, ',');
    else
      csv.rows.push_back(Split(line, ','));
  }
  return csv;
}

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

std::vector<std::string> SweepArgs(const std::vector<std::string>& more) {
  return With(With({"sweep"}, kGrid), more);
}

TEST(QxsimSweep, EveryRowIsWhatQxsimRunGivesForItsSettings) {
  const ProcessResult sweep = RunQxsim(SweepArgs({"--set", "SingleLoop.PVNoise=0.01", "--jobs", "2"}));
  ASSERT_EQ(sweep.exitStatus, 0) << sweep.err;
  const CsvFile csv = ParseCsv(sweep.out);
  ASSERT_EQ(csv.comments.size(), 3u);
  ASSERT_EQ(csv.rows.size(), 6u);
  ASSERT_EQ(csv.header.front(), "point");
  ASSERT_EQ(csv.header.back(), "Stable");
  // The "# run:" line is the command line of qxsim run that gives each row.
  const std::string runPrefix = "# run: ";
  ASSERT_TRUE(csv.comments[1].starts_with(runPrefix));
  const std::vector<std::string> runArgs = Split(csv.comments[1].substr(runPrefix.size()), ' ');
  for (std::size_t i = 0; i < csv.rows.size(); ++i) {
    const auto& row = csv.rows[i];
    EXPECT_EQ(row[0], std::to_string(i)) << "rows in grid order";
    const ProcessResult run = RunQxsim(With(With({"run"}, runArgs), {"--set", "SingleLoop.P=" + row[1], "--set",
                                                                    "SingleLoop.I=" + row[2], "--metrics", "-"}));
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    std::string expected;
    for (std::size_t c = 3; c + 1 < row.size(); ++c) expected += csv.header[c] + "=" + row[c] + "\n";
    EXPECT_EQ(run.out, expected) << "point " << row[0] << " P=" << row[1] << " I=" << row[2];
  }
  // Grid order: the first axis varies slowest.
  EXPECT_EQ(csv.rows[0][1], "0.5");
  EXPECT_EQ(csv.rows[1][1], "0.5");
  EXPECT_EQ(csv.rows[1][2], "40");
  EXPECT_EQ(csv.rows[2][1], "1.75");
  EXPECT_EQ(csv.rows[5][1], "3");
}

TEST(QxsimSweep, TheDefaultStepMovesTheCasesSetPointByATenthOfTheSpan) {
  // The starting case's set point is 50 in a CV range of 0..100.
  const struct {
    std::vector<std::string> set;
    const char* step;
  } cases[] = {
      {{}, "--at 10:SingleSPNew=60 --at 10:enter"},
      {{"--set", "SingleLoop.SPNew=95"}, "--at 10:SingleSPNew=85 --at 10:enter"},
      {{"--set", "SingleLoop.SPNew=20", "--set", "SingleLoop.CVHigh=40"}, "--at 10:SingleSPNew=24 --at 10:enter"},
  };
  for (const auto& c : cases) {
    const ProcessResult sweep = RunQxsim(With({"sweep", "--grid", "P=1:1:1", "--steps", "20"}, c.set));
    ASSERT_EQ(sweep.exitStatus, 0) << sweep.err;
    const CsvFile csv = ParseCsv(sweep.out);
    ASSERT_EQ(csv.comments.size(), 3u);
    EXPECT_NE(csv.comments[1].find(c.step), std::string::npos) << csv.comments[1];
  }
}

TEST(QxsimSweep, OneThreadAndTwoThreadsWriteTheSameFile) {
  // Noise on, so that a generator or model shared between the threads
  // would show in the figures.
  const std::vector<std::string> grid = {"sweep", "--grid", "P=0.5:3:4", "--grid", "I=5:40:4", "--steps", "400",
                                         "--set", "SingleLoop.PVNoise=0.02"};
  const ProcessResult one = RunQxsim(With(grid, {"--jobs", "1"}));
  const ProcessResult two = RunQxsim(With(grid, {"--jobs", "2"}));
  const ProcessResult five = RunQxsim(With(grid, {"--jobs", "5"}));
  ASSERT_EQ(one.exitStatus, 0) << one.err;
  ASSERT_EQ(ParseCsv(one.out).rows.size(), 16u);
  EXPECT_EQ(one.out, two.out);
  EXPECT_EQ(one.out, five.out);
}

TEST(QxsimSweep, ShardsMergedEqualTheWholeSweepAndGapsAreReported) {
  const std::string folder = ScratchFolder();
  const ProcessResult whole = RunQxsim(SweepArgs({"--out", folder + "/whole.csv"}));
  ASSERT_EQ(whole.exitStatus, 0) << whole.err;
  std::vector<std::string> merge = {"sweep", "--merge"};
  for (const std::string k : {"1", "2", "3", "4"}) {
    const std::string part = folder + "/part" + k + ".csv";
    const ProcessResult r = RunQxsim(SweepArgs({"--shard", k + "/4", "--out", part}));
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    merge.push_back(part);
  }
  // In any order, and a part given twice is the same rows again.
  std::swap(merge[2], merge[4]);
  const ProcessResult merged =
      RunQxsim(With(merge, {merge[3], "--out", folder + "/merged.csv", "--map", folder + "/map.png"}));
  ASSERT_EQ(merged.exitStatus, 0) << merged.err;
  EXPECT_NE(merged.err.find("in both"), std::string::npos) << merged.err;
  EXPECT_EQ(ReadWholeFile(folder + "/merged.csv"), ReadWholeFile(folder + "/whole.csv"));
  EXPECT_EQ(ReadWholeFile(folder + "/map.png").substr(1, 3), "PNG");

  // Without the third quarter (points 3 and 4 of 0..5): the rest is written
  // and the gap named.
  const ProcessResult gap = RunQxsim({"sweep", "--merge", folder + "/part1.csv", folder + "/part2.csv",
                                      folder + "/part4.csv", "--out", folder + "/gap.csv"});
  EXPECT_EQ(gap.exitStatus, 1);
  EXPECT_NE(gap.err.find("points missing: 3"), std::string::npos) << gap.err;
  EXPECT_EQ(ParseCsv(ReadWholeFile(folder + "/gap.csv")).rows.size(), 5u);

  // A part of another grid is refused, naming it.
  const std::string other = folder + "/other.csv";
  ASSERT_EQ(RunQxsim({"sweep", "--grid", "P=0.5:3:3", "--grid", "I=5:30:2", "--steps", "600", "--shard", "2/2",
                      "--out", other})
                .exitStatus,
            0);
  const ProcessResult foreign = RunQxsim({"sweep", "--merge", folder + "/part1.csv", other});
  EXPECT_EQ(foreign.exitStatus, 1);
  EXPECT_NE(foreign.err.find("other.csv' is of another sweep"), std::string::npos) << foreign.err;
}

// The map is drawn by a module loaded from the install layout's place
// relative to the program: a copy of qxsim without it still runs the sweep
// and writes the table, and says which file it could not load.
TEST(QxsimSweep, AMapWithoutItsDrawingModuleIsNamedAndTheTableIsStillWritten) {
  namespace fs = std::filesystem;
  const fs::path folder = ScratchFolder();
  const fs::path built = fs::path(QXSIM_PATH).parent_path();
  fs::create_directory(folder / "bin");
  fs::copy_file(QXSIM_PATH, folder / "bin/qxsim");
  fs::copy_file(built / "TravekEX2.pid", folder / "bin/TravekEX2.pid");
  const std::string table = (folder / "table.csv").string(), map = (folder / "map.png").string();
  const ProcessResult r =
      FinishQxsim(StartProgram((folder / "bin/qxsim").string(), SweepArgs({"--out", table, "--map", map})));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("cannot load the map drawing module: " + (folder / "bin").string() + "/"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("qxsim-heatmap.so"), std::string::npos) << r.err;
  EXPECT_EQ(ParseCsv(ReadWholeFile(table)).rows.size(), 6u);
  EXPECT_FALSE(fs::exists(map));
}

TEST(QxsimSweep, UnstableSettingsAreMarked) {
  // P=1, I=20 is the case's own tuning; a gain of 40 with I=1 oscillates
  // between the output limits, and P=1 with I=2 grows into a limit cycle.
  const ProcessResult r = RunQxsim({"sweep", "--grid", "P=1:40:2", "--grid", "I=1:20:2", "--steps", "800"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const CsvFile csv = ParseCsv(r.out);
  std::map<std::string, std::string> stable;  // "P I" -> Stable
  for (const auto& row : csv.rows) stable[row[1] + " " + row[2]] = row.back();
  EXPECT_EQ(stable["1 20"], "1");
  EXPECT_EQ(stable["1 1"], "0");
  EXPECT_EQ(stable["40 1"], "0");
  EXPECT_EQ(stable["40 20"], "0");
}

TEST(QxsimSweep, BadGridsAndOptionsAreUsageErrorsNamingTheValue) {
  const struct {
    std::vector<std::string> args;
    std::string named;
  } kCases[] = {
      {{"--grid", "P=0:3:0"}, "'0'"},
      {{"--grid", "P=3:1:4"}, "LO 3 is above HI 1"},
      {{"--grid", "Q=1:2:2"}, "unknown field 'Q'"},
      {{"--grid", "SingleLoop.PV=1:2:2"}, "'SingleLoop.PV' is not a setting"},
      {{"--grid", "RunControl.SingleModeSelect=0:1:2"}, "'RunControl.SingleModeSelect' is not a setting"},
      {{"--grid", "P=1:2"}, "'P=1:2'"},
      {{"--grid", "P1:2:3"}, "'P1:2:3'"},
      {{"--grid", "P=a:2:3"}, "'P=a:2:3'"},
      {{"--grid", "P=1:2:3:4"}, "'P=1:2:3:4'"},
      {{"--grid", "P=1:2:x"}, "'x'"},
      {{"--grid", "P=1:2:2", "--grid", "SingleLoop.P=1:3:2"}, "on the grid twice"},
      {{"--grid", "P=1:2:2", "--shard", "3/2"}, "'3/2'"},
      {{"--grid", "P=1:2:2", "--shard", "0/2"}, "'0/2'"},
      {{"--grid", "P=1:2:2", "--jobs", "0"}, "'0'"},
      {{"--grid", "P=1:2:2", "--map-index", "Speed"}, "'Speed'"},
      {{"--grid", "P=1:2:2", "--map", "x.png"}, "two --grid axes"},
      {{"--grid", "P=1:2:2", "--trace", "-"}, "'--trace'"},
      {{"--grid", "P=1:2:2", "--at", "5:master-setup"}, "master link"},
      {{"--steps", "10"}, "at least one --grid"},
      {{"--merge"}, "at least one sweep file"},
  };
  for (const auto& c : kCases) {
    const ProcessResult r = RunQxsim(With({"sweep"}, c.args));
    EXPECT_EQ(r.exitStatus, 2) << c.args[0] << " " << c.args[1] << ": " << r.err;
    EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
}

TEST(QxsimSweep, CtrlCEndsTheSweepWithTheRowsDone) {
  const std::string folder = ScratchFolder();
  const std::string out = folder + "/partial.csv";
  // Far more work than the test waits for: 400 points of 200 000 steps.
  const StartedQxsim started = StartQxsim({"sweep", "--grid", "P=0.5:3:20", "--grid", "I=5:40:20", "--steps",
                                           "200000", "--jobs", "2", "--out", out});
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  kill(started.pid, SIGINT);
  const ProcessResult r = FinishQxsim(started);
  EXPECT_EQ(r.exitStatus, 130) << r.err;
  EXPECT_NE(r.err.find("interrupted after"), std::string::npos) << r.err;
  const CsvFile csv = ParseCsv(ReadWholeFile(out));
  EXPECT_EQ(csv.comments.size(), 3u);
  EXPECT_EQ(csv.header.back(), "Stable");
  EXPECT_LT(csv.rows.size(), 400u);
  for (const auto& row : csv.rows) EXPECT_EQ(row.size(), csv.header.size());
}

}  // namespace
}  // namespace qx::test
