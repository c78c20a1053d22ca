#include "app/SweepRun.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/LoopAnalysis.h"
#include "engine/NumberText.h"

namespace qx {
namespace {

std::string JoinArguments(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args) text.append(text.empty() ? "" : " ").append(arg);
  return text;
}

// The default set-point step as the actions "--at 10:SingleSPNew=VALUE
// --at 10:enter" give it, and those arguments for the "# run:" line.
std::vector<ScriptedAction> DefaultStep(const CaseProbe& probe, std::vector<std::string>& arguments) {
  const double step = (probe.CVHigh - probe.CVLow) * kDefaultStepSpan;
  const double target = probe.SP + step <= probe.CVHigh ? probe.SP + step : probe.SP - step;
  ScriptedAction setPoint;
  setPoint.What = PanelAction::Kind::SetControl;
  setPoint.Name = "SingleSPNew";
  setPoint.Text = FormatReal9(static_cast<float>(target));
  setPoint.Step = kDefaultStepAt;
  ScriptedAction enter;
  enter.What = PanelAction::Kind::Enter;
  enter.Step = kDefaultStepAt;
  const std::string at = std::to_string(kDefaultStepAt) + ":";
  arguments.insert(arguments.end(), {"--at", at + setPoint.Name + "=" + setPoint.Text, "--at", at + "enter"});
  return {setPoint, enter};
}

}  // namespace

bool PrepareSweep(const SweepRequest& request, PreparedSweep& prepared, std::string& error) {
  prepared = PreparedSweep{};
  prepared.Run = request.Run;
  prepared.Fields = request.Fields;
  std::vector<std::string> runArgs = request.RunArguments;
  if (!prepared.Run.Steps) {
    prepared.Run.Steps = kDefaultSweepSteps;
    runArgs.insert(runArgs.end(), {"--steps", std::to_string(kDefaultSweepSteps)});
  }
  if (!prepared.Run.Seed) {
    prepared.Run.Seed = kDefaultSweepSeed;
    runArgs.insert(runArgs.end(), {"--seed", std::to_string(kDefaultSweepSeed)});
  }
  const CaseProbe probe = ProbeCase(prepared.Run, request.Fields);
  if (!probe.Loaded) {
    error = probe.Messages.empty() ? "the case could not be loaded" : probe.Messages;
    return false;
  }
  if (prepared.Run.Actions.empty()) prepared.Run.Actions = DefaultStep(probe, runArgs);

  sweep::SweepTable& table = prepared.Table;
  table.TheGrid = sweep::Grid(request.Axes);
  table.RunText = JoinArguments(runArgs);
  table.CaseValues = probe.FieldValues;
  for (const sweep::GridAxis& axis : request.Axes) table.Columns.push_back(axis.Name);
  for (const IndexValue& index : IndexValues(analysis::PerformanceResults{})) table.Columns.push_back(index.name);
  table.Columns.push_back(sweep::kStableColumn);
  return true;
}

sweep::PointOutcome RunGridPoint(const PreparedSweep& job, int64_t point, const std::atomic<bool>& cancel) {
  SweepPointSettings run = job.Run;
  const auto& axes = job.Table.TheGrid.Axes();
  const std::vector<int64_t> at = job.Table.TheGrid.AxisIndices(point);
  sweep::PointOutcome outcome;
  for (std::size_t k = 0; k < axes.size(); ++k) {
    const std::string value = axes[k].ValueText(at[k]);
    const FieldInfo& field = *job.Fields[k];
    run.Overrides.push_back({std::string(field.record) + "." + std::string(field.field), value});
    outcome.Cells.push_back(value);
  }
  const SweepPointRun result = RunSweepPoint(run, cancel);
  if (!result.Loaded) {
    outcome.Error = result.Messages;
    return outcome;
  }
  for (const IndexValue& index : IndexValues(result.Results))
    outcome.Cells.push_back(index.value ? FormatReal9(*index.value) : "");
  outcome.Cells.push_back(result.Stable ? "1" : "0");
  return outcome;
}

int JobsBesideLiveRun() { return std::max(1, sweep::MachineCores() - 1); }

bool LowerThreadPriority(std::string& error) {
  // The nice value is the thread's own on Linux: the thread id, not the
  // process, names it. At 10 a thread weighs about a tenth of an ordinary
  // one: on a machine of one core the live run keeps about nine tenths of
  // it, and on a busy machine the sweep still gets a tenth of an ordinary
  // process's share instead of starving (at 19 it gets about one hundredth).
  constexpr int kSweepNice = 10;
  const auto thread = static_cast<id_t>(syscall(SYS_gettid));
  if (setpriority(PRIO_PROCESS, thread, kSweepNice) != 0) {
    error = std::string("cannot lower the sweep's priority (setpriority): ") + std::strerror(errno);
    return false;
  }
  return true;
}

sweep::PoolResult RunSweep(PreparedSweep& job, int64_t begin, int64_t end, int jobs,
                           const std::atomic<bool>& cancel,
                           const std::function<void(int64_t done, int64_t total)>& progress) {
  sweep::PoolResult pool = sweep::RunPoints(
      begin, end, jobs, [&](int64_t point) { return RunGridPoint(job, point, cancel); }, cancel, progress);
  for (std::size_t i = 0; i < pool.Points.size(); ++i)
    if (pool.Points[i]) job.Table.Rows.emplace(begin + static_cast<int64_t>(i), pool.Points[i]->Cells);
  return pool;
}

}  // namespace qx
