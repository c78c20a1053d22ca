// qxsim run end to end: the real binary on the built-in starting case.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <map>
#include <thread>

#include "ProcessRun.h"

namespace qx::test {
namespace {

// One trace row by column name.
using TraceRow = std::map<std::string, double>;

std::vector<TraceRow> ParseTrace(const std::string& csv) {
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  std::vector<std::string> names;
  std::istringstream header(line);
  for (std::string name; std::getline(header, name, ',');) names.push_back(name);
  std::vector<TraceRow> rows;
  while (std::getline(in, line)) {
    TraceRow row;
    std::istringstream cells(line);
    std::size_t column = 0;
    for (std::string cell; std::getline(cells, cell, ',') && column < names.size(); ++column)
      row[names[column]] = std::stod(cell);
    rows.push_back(std::move(row));
  }
  return rows;
}

TEST(QxsimRun, TraceHasHeaderAndOneRowPerCompletedStep) {
  const ProcessResult r = RunQxsim({"run", "--steps", "25", "--trace", "-", "--seed", "3"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const std::string header = r.out.substr(0, r.out.find('\n'));
  EXPECT_EQ(header,
            "step,t,SP,PV,OP,OPOut,MV,ModelOutput,DelayedOutput,PVRaw,D,Mode,SPNew,OPNew,P,I,"
            "EffectiveP,Error");
  const auto rows = ParseTrace(r.out);
  ASSERT_EQ(rows.size(), 25u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].at("step"), static_cast<double>(i));
    EXPECT_DOUBLE_EQ(rows[i].at("t"), 0.5 * static_cast<double>(i));
  }
}

TEST(QxsimRun, ClosedLoopSettlesAtANewSetPoint) {
  const std::string folder = ScratchFolder();
  const std::string trace = folder + "/trace.csv";
  const ProcessResult r = RunQxsim({"run", "--steps", "3000", "--at", "10:SingleSPNew=60",
                                    "--at", "10:enter", "--trace", trace, "--seed", "1"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const auto rows = ParseTrace(ReadWholeFile(trace));
  ASSERT_EQ(rows.size(), 3000u);
  EXPECT_DOUBLE_EQ(rows[20].at("SP"), 60.0);
  // The last 200 steps stay within 0.2 of the set point.
  for (std::size_t i = rows.size() - 200; i < rows.size(); ++i)
    EXPECT_NEAR(rows[i].at("PV"), 60.0, 0.2) << "step " << i;
}

TEST(QxsimRun, ManualAndBackToAutoWithoutABump) {
  const std::string folder = ScratchFolder();
  const std::string trace = folder + "/trace.csv";
  const ProcessResult r = RunQxsim(
      {"run", "--steps", "2400", "--at", "10:SingleSPNew=65", "--at", "10:enter", "--at",
       "1500:mode", "--at", "1600:SingleOPNew=70", "--at", "1600:leave:SingleOPNew", "--at",
       "1800:mode", "--trace", trace, "--seed", "1"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const auto rows = ParseTrace(ReadWholeFile(trace));
  ASSERT_EQ(rows.size(), 2400u);
  EXPECT_EQ(rows[1499].at("Mode"), 1);
  EXPECT_EQ(rows[1500].at("Mode"), 0);
  EXPECT_EQ(rows[1800].at("Mode"), 1);
  // Into Manual: the output holds what it was when the switch came ...
  for (std::size_t i = 1500; i < 1600; ++i)
    EXPECT_NEAR(rows[i].at("OP"), rows[1499].at("OP"), 1e-4) << "step " << i;
  // ... until the operator sets another one.
  EXPECT_DOUBLE_EQ(rows[1601].at("OP"), 70.0);
  EXPECT_DOUBLE_EQ(rows[1799].at("OP"), 70.0);
  // Back to Auto: the controller continues from the manual output, moving
  // by no more than one execution's change, and regulates to SP again.
  EXPECT_NEAR(rows[1800].at("OP"), 70.0, 1.0);
  EXPECT_DOUBLE_EQ(rows[1800].at("SP"), 65.0);
  EXPECT_NEAR(rows.back().at("PV"), 65.0, 0.5);
}

TEST(QxsimRun, DumpsModelAndPanelAfterTheRun) {
  const std::string folder = ScratchFolder();
  const ProcessResult r =
      RunQxsim({"run", "--steps", "4", "--at", "2:PSingle=2.5", "--at", "2:enter",
                "--dump-model", folder + "/model.txt", "--dump-panel", folder + "/panel.txt"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const std::string model = ReadWholeFile(folder + "/model.txt");
  EXPECT_NE(model.find("SingleLoop.P=2.5\n"), std::string::npos);
  EXPECT_NE(model.find("RunControl.SingleModeSelect=1\n"), std::string::npos);
  EXPECT_EQ(model.rfind("SingleLoop.Spare1=", 0), 0u);  // declared order
  const std::string panel = ReadWholeFile(folder + "/panel.txt");
  EXPECT_NE(panel.find("PSingle=2.5000\n"), std::string::npos);
  EXPECT_NE(panel.find("SinglePIDEquation="), std::string::npos);
}

TEST(QxsimRun, UsageErrorsExitWithTwoAndOneLine) {
  const std::vector<std::vector<std::string>> cases = {
      {"run", "--set", "SingleLoop.Bogus=1"},
      {"run", "--set", "SingleLoop.P=abc"},
      {"run", "--set", "SingleLoop.P=inf"},
      {"run", "--set", "SingleLoop.P=1.5x"},
      {"run", "--set", "SingleLoop.P=1e39"},
      {"run", "--at", "x:enter"},
      {"run", "--at", "3:jump"},
      {"run", "--at", "3:NoSuchEdit=1"},
      {"run", "--steps", "-1"},
      {"run", "--frobnicate"},
      {"fly"},
  };
  for (const auto& args : cases) {
    const ProcessResult r = RunQxsim(args);
    EXPECT_EQ(r.exitStatus, 2) << args.back();
    EXPECT_FALSE(r.err.empty()) << args.back();
  }
}

// A save onto a FIFO would wait for a reader for ever; it is refused at once
// and the FIFO stays.
TEST(QxsimRun, SaveCaseOntoAFifoIsRefusedWithoutWaiting) {
  const std::string fifo = ScratchFolder() + "/case.pid";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const ProcessResult r = RunQxsim({"run", "--steps", "3", "--save-case", fifo});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("Could Not Save File: cannot save over '" + fifo + "': Is a FIFO"),
            std::string::npos) << r.err;
  struct stat info{};
  EXPECT_TRUE(stat(fifo.c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
}

// SIGINT and SIGTERM end the run even inside a pause that a stored pacing
// made endless; the process then finishes normally.
TEST(QxsimRun, InterruptEndsAnEndlessPausePromptly) {
  for (int signal : {SIGINT, SIGTERM}) {
    const StartedQxsim child =
        StartQxsim({"run", "--steps", "3", "--at", "1:store:RunControl.SleepMs=1e30"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // well into the pause
    kill(child.pid, signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    bool ended = false;
    while (!ended && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      siginfo_t info{};  // left waitable for FinishQxsim
      ended = waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
              info.si_pid == child.pid;
    }
    if (!ended) kill(child.pid, SIGKILL);
    ProcessResult r = FinishQxsim(child);
    EXPECT_TRUE(ended) << "still pausing after signal " << signal;
    EXPECT_EQ(r.exitStatus, 0) << r.err;
  }
}

}  // namespace
}  // namespace qx::test
