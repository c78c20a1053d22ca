#include "tools/qxsim/SweepCommand.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "app/LoopAnalysis.h"
#include "engine/NumberText.h"
#include "heatmap/HeatMapPng.h"
#include "sweep/PointPool.h"
#include "sweep/SweepMap.h"
#include "sweep/SweepTable.h"
#include "tools/qxsim/Interrupt.h"
#include "tools/qxsim/SweepPoint.h"

namespace qx {
namespace {

constexpr const char* kPrefix = "qxsim sweep: ";
// Exit status of a sweep that Ctrl-C or SIGTERM ended, as a shell reports
// a command that SIGINT ended.
constexpr int kInterruptedStatus = 130;
// The default set-point step: at this step, by this part of the CV span
// (upwards, or downwards when that would leave the CV range).
constexpr int64_t kDefaultStepAt = 10;
constexpr double kDefaultStepSpan = 0.1;

// The set-point step the points run when no --at is given, as the actions
// "--at 10:SingleSPNew=VALUE --at 10:enter".
std::vector<std::string> DefaultStepArguments(const CaseProbe& probe) {
  const double step = (probe.CVHigh - probe.CVLow) * kDefaultStepSpan;
  const double target = probe.SP + step <= probe.CVHigh ? probe.SP + step : probe.SP - step;
  const std::string at = std::to_string(kDefaultStepAt) + ":";
  return {"--at", at + "SingleSPNew=" + FormatReal9(static_cast<float>(target)), "--at", at + "enter"};
}

std::string JoinArguments(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args) text.append(text.empty() ? "" : " ").append(arg);
  return text;
}

bool WriteWholeFile(const std::string& path, const std::string& text, std::string& error) {
  if (path.empty() || path == "-") {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
      error = std::string("cannot write to standard output: ") + std::strerror(errno);
      return false;
    }
    return true;
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    error = "cannot write '" + path + "': " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const int writeErrno = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    error = "writing '" + path + "' failed: " + std::strerror(written ? errno : writeErrno);
    return false;
  }
  return true;
}

// The table to the CSV output and the map to its PNG; false after saying why.
bool WriteOutputs(const SweepOptions& options, const sweep::SweepTable& table) {
  std::string error;
  bool ok = WriteWholeFile(options.OutPath, sweep::TableText(table), error);
  if (!ok) std::cerr << kPrefix << error << '\n';
  if (options.MapPath.empty()) return ok;
  sweep::HeatMap map;
  if (!sweep::BuildHeatMap(table, options.MapIndex, map, error) ||
      !WriteHeatMapPng(map,
                       options.MapIndex + " over " + map.XName + " and " + map.YName +
                           (map.SliceText.empty() ? "" : " at " + map.SliceText),
                       table.RunText, options.MapPath, error)) {
    std::cerr << kPrefix << error << '\n';
    return false;
  }
  return ok;
}

// "\r37/225 points  4.1 s  about 20 s left" on a terminal.
class ProgressLine {
 public:
  explicit ProgressLine(bool on) : on_(on), start_(std::chrono::steady_clock::now()) {}
  void Show(int64_t done, int64_t total) {
    if (!on_) return;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::string line(1, '\r');
    line.append(std::to_string(done)).append("/").append(std::to_string(total)).append(" points  ");
    line.append(FormatFixed(seconds, 1)).append(" s");
    if (done > 0 && done < total) line += "  about " + FormatFixed(seconds * (total - done) / done, 0) + " s left";
    line += "   ";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    shown_ = true;
  }
  void Finish() {
    if (shown_) std::fputs("\n", stderr);
    shown_ = false;
  }

 private:
  bool on_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_;
};

int Merge(const SweepOptions& options) {
  std::vector<sweep::SweepTable> parts;
  for (const std::string& path : options.MergePaths) {
    sweep::SweepTable table;
    std::string error;
    if (!sweep::ReadTable(path, table, error)) {
      std::cerr << kPrefix << error << '\n';
      return 1;
    }
    parts.push_back(std::move(table));
  }
  sweep::SweepTable merged;
  std::vector<std::string> notes;
  std::string error;
  if (!sweep::MergeTables(parts, options.MergePaths, merged, notes, error)) {
    std::cerr << kPrefix << error << '\n';
    return 1;
  }
  for (const std::string& note : notes) std::cerr << kPrefix << note << '\n';
  int status = WriteOutputs(options, merged) ? 0 : 1;
  const std::string missing = sweep::MissingPoints(merged);
  if (!missing.empty()) {
    std::cerr << kPrefix << "points missing: " << missing << " (of 0.." << merged.TheGrid.PointCount() - 1
              << ")\n";
    status = 1;
  }
  return status;
}

}  // namespace

int SweepCommand(const SweepOptions& options) {
  InterruptHandlers interruptHandlers;
  if (options.Merge) return Merge(options);

  RunOptions base = options.Run;
  std::vector<std::string> runArgs = options.RunArguments;
  if (!base.Steps) {
    base.Steps = kDefaultSweepSteps;
    runArgs.insert(runArgs.end(), {"--steps", std::to_string(kDefaultSweepSteps)});
  }
  if (!base.Seed) {
    base.Seed = kDefaultSweepSeed;
    runArgs.insert(runArgs.end(), {"--seed", std::to_string(kDefaultSweepSeed)});
  }
  const CaseProbe probe = ProbeCase(base, options.Fields);
  if (!probe.Loaded) {
    std::cerr << probe.Messages;
    return 1;
  }
  if (base.Actions.empty()) {
    const std::vector<std::string> step = DefaultStepArguments(probe);
    std::string error;
    RunOptions withStep;
    if (!ParseRunOptions(step, withStep, error)) {
      std::cerr << kPrefix << "the default set-point step: " << error << '\n';
      return 1;
    }
    base.Actions = std::move(withStep.Actions);
    runArgs.insert(runArgs.end(), step.begin(), step.end());
  }

  sweep::SweepTable table;
  table.TheGrid = sweep::Grid(options.Axes);
  table.RunText = JoinArguments(runArgs);
  table.CaseValues = probe.FieldValues;
  for (const sweep::GridAxis& axis : options.Axes) table.Columns.push_back(axis.Name);
  for (const IndexValue& index : IndexValues(analysis::PerformanceResults{})) table.Columns.push_back(index.name);
  table.Columns.push_back(sweep::kStableColumn);

  const int64_t points = table.TheGrid.PointCount();
  const sweep::Shard part = options.Part.value_or(sweep::Shard{});
  const std::atomic<bool>& interrupted = InterruptFlag();
  auto runPoint = [&](int64_t point) {
    RunOptions run = base;
    const std::vector<int64_t> at = table.TheGrid.AxisIndices(point);
    sweep::PointOutcome outcome;
    for (std::size_t k = 0; k < options.Axes.size(); ++k) {
      const std::string value = options.Axes[k].ValueText(at[k]);
      const FieldInfo& field = *options.Fields[k];
      run.Overrides.push_back({std::string(field.record) + "." + std::string(field.field), value});
      outcome.Cells.push_back(value);
    }
    const SweepPointRun result = RunSweepPoint(run, interrupted);
    if (!result.Loaded) {
      outcome.Error = result.Messages;
      return outcome;
    }
    for (const IndexValue& index : IndexValues(result.Results))
      outcome.Cells.push_back(index.value ? FormatReal9(*index.value) : "");
    outcome.Cells.push_back(result.Stable ? "1" : "0");
    return outcome;
  };
  ProgressLine progress(isatty(STDERR_FILENO) == 1);
  const sweep::PoolResult pool =
      sweep::RunPoints(part.Begin(points), part.End(points), options.Jobs > 0 ? options.Jobs : sweep::MachineCores(),
                       runPoint, interrupted, [&](int64_t done, int64_t total) { progress.Show(done, total); });
  progress.Finish();
  for (std::size_t i = 0; i < pool.Points.size(); ++i)
    if (pool.Points[i]) table.Rows.emplace(part.Begin(points) + static_cast<int64_t>(i), pool.Points[i]->Cells);

  int status = WriteOutputs(options, table) ? 0 : 1;
  if (!pool.FirstError.empty()) {
    std::cerr << kPrefix << pool.FirstError;
    if (pool.FirstError.back() != '\n') std::cerr << '\n';
    status = 1;
  }
  if (interrupted.load()) {
    std::cerr << kPrefix << "interrupted after " << pool.Done << " of " << pool.Points.size() << " points\n";
    return kInterruptedStatus;
  }
  return status;
}

}  // namespace qx
