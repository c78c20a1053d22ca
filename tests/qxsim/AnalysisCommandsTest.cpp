// qxsim's loop analysis end to end: run --metrics, and identify on traces
// that runs of the starting case wrote (a Manual output step of 50 -> 60
// on a process of gain 1, dead time 5 and lag 20).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>

#include "ProcessRun.h"
#include "tools/qxsim/TraceFile.h"

namespace qx::test {
namespace {

// "Name=VALUE" lines in order; an empty VALUE stays empty.
std::vector<std::pair<std::string, std::string>> ParseLines(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const auto equals = line.find('=');
    lines.emplace_back(line.substr(0, equals), equals == std::string::npos ? "" : line.substr(equals + 1));
  }
  return lines;
}

double Number(const std::map<std::string, std::string>& values, const std::string& name) {
  const auto it = values.find(name);
  if (it == values.end() || it->second.empty()) {
    ADD_FAILURE() << name << " missing or empty";
    return NAN;
  }
  return std::stod(it->second);
}

TEST(QxsimMetrics, IndicesOfTheLastWindowInOrder) {
  const std::string folder = ScratchFolder();
  const std::string trace = folder + "/trace.csv", metrics = folder + "/metrics.txt";
  ProcessResult r = RunQxsim({"run", "--steps", "3000", "--at", "10:SingleSPNew=60", "--at", "10:enter",
                              "--trace", trace, "--metrics", metrics, "--seed", "1"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const auto lines = ParseLines(ReadWholeFile(metrics));
  const std::vector<std::string> order = {"IAE",          "ISE",        "ITAE",     "Overshoot",  "RiseTime",
                                          "SettlingTime", "DecayRatio", "OPTravel", "WindowStart"};
  ASSERT_EQ(lines.size(), order.size());
  for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(lines[i].first, order[i]);
  const std::map<std::string, std::string> values(lines.begin(), lines.end());

  // The window starts at the change (step 10, t = 5); its IAE and output
  // travel are the sums over the traced steps from there.
  EXPECT_EQ(values.at("WindowStart"), "5");
  std::ifstream in(trace);
  std::string row;
  std::getline(in, row);
  double iae = 0, travel = 0, lastOP = NAN;
  while (std::getline(in, row)) {
    std::vector<double> cells;
    std::istringstream cellText(row);
    for (std::string cell; std::getline(cellText, cell, ',');) cells.push_back(std::stod(cell));
    if (cells[0] < 10) continue;  // step, t, SP, PV, OP, ...
    iae += std::fabs(cells[2] - cells[3]) * 0.5;
    if (!std::isnan(lastOP)) travel += std::fabs(cells[4] - lastOP);
    lastOP = cells[4];
  }
  EXPECT_NEAR(Number(values, "IAE"), iae, 1e-6 * iae);
  EXPECT_NEAR(Number(values, "OPTravel"), travel, 1e-6 * travel + 1e-9);
  EXPECT_GT(Number(values, "RiseTime"), 0);
  EXPECT_GT(Number(values, "SettlingTime"), Number(values, "RiseTime"));
  EXPECT_GE(Number(values, "Overshoot"), 0);

  // Without a set-point change the change-bound indices are empty and the
  // steady starting case has no error at all.
  r = RunQxsim({"run", "--steps", "50", "--metrics", "-", "--seed", "1"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const auto steady = ParseLines(r.out);
  const std::map<std::string, std::string> still(steady.begin(), steady.end());
  for (const char* name : {"Overshoot", "RiseTime", "SettlingTime", "DecayRatio"}) EXPECT_EQ(still.at(name), "") << name;
  EXPECT_EQ(still.at("IAE"), "0");
  EXPECT_EQ(still.at("WindowStart"), "0");
}

TEST(QxsimMetrics, UnwritableFileFailsWithOne) {
  const ProcessResult r = RunQxsim({"run", "--steps", "3", "--metrics", ScratchFolder() + "/no/such/folder"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("cannot write the metrics"), std::string::npos) << r.err;
}

class QxsimIdentify : public ::testing::Test {
 protected:
  // A Manual bump test of the starting case: Manual at step 10, the output
  // 50 -> 60 at step 40, 400 steps.
  static void SetUpTestSuite() {
    folder_ = new std::string(ScratchFolder());
    const ProcessResult r = RunQxsim({"run", "--steps", "400", "--at", "10:mode", "--at", "40:SingleOPNew=60",
                                      "--at", "40:enter", "--trace", BumpTrace(), "--seed", "1"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
  }
  static void TearDownTestSuite() { delete folder_; }
  static std::string BumpTrace() { return *folder_ + "/bump.csv"; }
  static std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string path = *folder_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  static std::string* folder_;
};
std::string* QxsimIdentify::folder_ = nullptr;

TEST_F(QxsimIdentify, RecoversTheStartingCaseProcessAndSuggestsTunings) {
  const ProcessResult r = RunQxsim({"identify", BumpTrace()});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const auto lines = ParseLines(r.out);
  ASSERT_FALSE(lines.empty());
  // The chosen model comes first: the process is first order.
  EXPECT_EQ(lines[0].first, "FirstOrder.Gain");
  const std::map<std::string, std::string> values(lines.begin(), lines.end());
  EXPECT_NEAR(Number(values, "FirstOrder.Gain"), 1.0, 0.02);
  EXPECT_NEAR(Number(values, "FirstOrder.DeadTime"), 5.0, 0.1);
  EXPECT_NEAR(Number(values, "FirstOrder.Tau1"), 20.0, 0.4);
  EXPECT_GT(Number(values, "FirstOrder.Fit"), 0.999);
  EXPECT_EQ(values.at("Equation"), "1");
  // SIMC with tau_c = theta: Kc = 20 / (1 x (5 + 5)) = 2, Ti = min(20, 40).
  EXPECT_NEAR(Number(values, "SIMC.P"), 2.0, 0.05);
  EXPECT_NEAR(Number(values, "SIMC.I"), 20.0, 0.4);
  for (const char* key : {"Lambda.P", "Lambda.I", "ZieglerNichols.P", "ZieglerNichols.D"})
    EXPECT_TRUE(values.count(key)) << key;

  // The case after the trace gives its form, --equation overrides it.
  const std::string casePath = std::string(QXSIM_PATH).substr(0, std::string(QXSIM_PATH).rfind('/')) + "/TravekEX2.pid";
  const ProcessResult withCase = RunQxsim({"identify", BumpTrace(), casePath, "--equation", "5"});
  ASSERT_EQ(withCase.exitStatus, 0) << withCase.err;
  EXPECT_NE(withCase.out.find("\nEquation=5\n"), std::string::npos) << withCase.out;
}

TEST_F(QxsimIdentify, BadTracesAndStretchesFailWithOneLine) {
  const struct {
    const char* what;
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {"missing file", {"identify", "/no/such/trace.csv"}, "cannot read the trace"},
      {"empty file", {"identify", WriteFile("empty.csv", "")}, "is empty, not a trace"},
      {"not a trace", {"identify", WriteFile("other.csv", "a,b,c\n1,2,3\n")}, "is not a trace"},
      {"bad row", {"identify", WriteFile("bad.csv", "step,t,SP,PV,OP,OPOut,MV,Mode\n0,0,50,x,50,50,50,0\n")},
       ":2: column PV holds no number"},
      {"no output step", {"identify", BumpTrace(), "--from", "100", "--to", "300"}, "at least one output step"},
      {"too few samples", {"identify", BumpTrace(), "--from", "30", "--to", "45"}, "at least 20"},
      {"stretch beyond the trace", {"identify", BumpTrace(), "--from", "5000"}, "has no rows there"},
  };
  for (const auto& c : cases) {
    const ProcessResult r = RunQxsim(c.args);
    EXPECT_EQ(r.exitStatus, 1) << c.what;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.what << ": " << r.err;
    EXPECT_TRUE(r.out.empty()) << c.what;
  }
}

// What is not a trace is said for what it is, at once, and no file is read
// without bound: the file over the size limit is sparse and is never read,
// the endless device is refused before a byte is read.
TEST_F(QxsimIdentify, WhatIsNotATraceFileIsNamedWithoutReadingItWhole) {
  const std::string header = "step,t,SP,PV,OP,OPOut,MV,Mode\n";
  const std::string folder = BumpTrace().substr(0, BumpTrace().rfind('/'));
  std::filesystem::create_directory(folder + "/folder.csv");
  ASSERT_EQ(mkfifo((folder + "/fifo.csv").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", folder + "/zero.csv");
  const std::string sparse = WriteFile("sparse.csv", "");
  ASSERT_EQ(truncate(sparse.c_str(), static_cast<off_t>(kMaxTraceBytes) + 1), 0);
  const struct {
    std::string path;
    std::string message;
  } cases[] = {
      {folder + "/folder.csv", "Is a directory"},
      {folder + "/fifo.csv", "Is a FIFO, not a regular file"},
      {folder + "/zero.csv", "Is a device, not a regular file"},
      {sparse, "is not a trace: larger than the 256 MiB a trace may have"},
      {WriteFile("nuls.csv", std::string(8192, '\0')), "is not a trace: binary data at line 1"},
      {WriteFile("torn.csv", header + "0,0,50,50,50,50,50,0\n" + std::string(100, '\0') + "\n"),
       "is not a trace: binary data at line 3"},
      {WriteFile("long.csv", header + std::string(kMaxTraceLineBytes + 1, '1') + "\n"),
       "is not a trace: line 2 is longer than " + std::to_string(kMaxTraceLineBytes) + " bytes"},
  };
  for (const auto& c : cases) {
    const ProcessResult r = RunQxsimWithin({"identify", c.path}, std::chrono::seconds(10));
    EXPECT_EQ(r.exitStatus, 1) << c.path << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.path << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.path << ": " << r.err;
  }
}

TEST_F(QxsimIdentify, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"identify"},
      {"identify", BumpTrace(), "--from", "x"},
      {"identify", BumpTrace(), "--to", "-1"},
      {"identify", BumpTrace(), "--from", "50", "--to", "10"},
      {"identify", BumpTrace(), "--equation", "0"},
      {"identify", BumpTrace(), "--equation", "25"},
      {"identify", BumpTrace(), "--equation"},
      {"identify", BumpTrace(), "--fast"},
      {"identify", BumpTrace(), "case.pid", "third"},
  };
  for (const auto& args : cases) {
    const ProcessResult r = RunQxsim(args);
    EXPECT_EQ(r.exitStatus, 2) << args.back();
    EXPECT_NE(r.err.find("qxsim identify: "), std::string::npos) << args.back() << ": " << r.err;
  }
}

}  // namespace
}  // namespace qx::test
