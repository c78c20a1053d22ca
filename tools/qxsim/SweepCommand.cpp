#include "tools/qxsim/SweepCommand.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "app/SweepRun.h"
#include "engine/NumberText.h"
#include "sweep/PointPool.h"
#include "sweep/SweepMap.h"
#include "sweep/SweepTable.h"
#include "tools/qxsim/HeatMapLoader.h"
#include "tools/qxsim/Interrupt.h"

namespace qx {
namespace {

constexpr const char* kPrefix = "qxsim sweep: ";
// Exit status of a sweep that Ctrl-C or SIGTERM ended, as a shell reports
// a command that SIGINT ended.
constexpr int kInterruptedStatus = 130;

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
      !DrawHeatMapPng(map,
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

  SweepRequest request;
  request.Run = {options.Run.CasePath, options.Run.Overrides, options.Run.Steps, options.Run.Seed,
              options.Run.Actions};
  request.RunArguments = options.RunArguments;
  request.Axes = options.Axes;
  request.Fields = options.Fields;
  PreparedSweep job;
  std::string error;
  if (!PrepareSweep(request, job, error)) {
    std::cerr << error;
    if (!error.empty() && error.back() != '\n') std::cerr << '\n';
    return 1;
  }

  const int64_t points = job.Table.TheGrid.PointCount();
  const sweep::Shard part = options.Part.value_or(sweep::Shard{});
  const std::atomic<bool>& interrupted = InterruptFlag();
  ProgressLine progress(isatty(STDERR_FILENO) == 1);
  const sweep::PoolResult pool =
      RunSweep(job, part.Begin(points), part.End(points), options.Jobs > 0 ? options.Jobs : sweep::MachineCores(),
               interrupted, [&](int64_t done, int64_t total) { progress.Show(done, total); });
  progress.Finish();
  const sweep::SweepTable& table = job.Table;

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
