#include "tools/qxsim/HeadlessHost.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/MasterLink.h"
#include "engine/NumberText.h"

namespace qx {

HeadlessHost::HeadlessHost(Application& app, const RunOptions& options,
                           const std::atomic<bool>& interrupted)
    : ScriptedRunHost(app, options.Actions, options.Steps, options.Seed, interrupted), options_(options) {}

void HeadlessHost::ProcessMessages(MessagePoint point) {
  ScriptedRunHost::ProcessMessages(point);
  if (point != MessagePoint::StepStart) return;
  // At full speed the clock is asked every kStatusSteps steps; a paced run
  // is slow enough to ask at every step.
  const int64_t step = sim_.Run.StepsDone;
  if (statusLine_ && (step % kStatusSteps == 0 || sim_.Model.RunControl.SleepMs > 0)) UpdateStatusLine();
}

int64_t HeadlessHost::NextMessageStep(int64_t step) const {
  if (options_.MasterEndpoint && !masterFollowedUp_) return step;
  const int64_t next = ScriptedRunHost::NextMessageStep(step);
  return statusLine_ ? std::min(next, (step / kStatusSteps + 1) * kStatusSteps) : next;
}

void HeadlessHost::FollowUpMasterSetUp() {
  if (!options_.MasterEndpoint || masterFollowedUp_ || !app_.Master().SetUpResult()) return;
  masterFollowedUp_ = true;
  // A set-up that could not reach the master says nothing; the operator's
  // next press, MasterConnectToolButton, reports why.
  if (!app_.Master().Client().Active()) app_.MasterConnectToolButtonClick();
}

void HeadlessHost::StepComputed() {
  if (trace_ || AnalysisFed()) [[unlikely]] {
    FeedAndTrace();
    return;
  }
  // The alarms alone: inline, a test or the window's comparisons.
  app_.Alarms().StepComputed(sim_.Model, sim_.Run.t);
}

void HeadlessHost::FeedAndTrace() {
  ScriptedRunHost::StepComputed();
  if (trace_) WriteTraceRow();
}

void HeadlessHost::WriteTraceRow() {
  const PIDLoop& s = sim_.Model.SingleLoop;
  std::string row = std::to_string(sim_.Run.StepsDone);
  for (float value : {sim_.Run.t, s.SP, s.PV, s.OP, s.OPOut, s.MV, s.ModelOutput, s.DelayedOutput,
                      s.PVRaw, sim_.Run.DisturbancePrev}) {
    row += ',';
    row += FormatReal9(value);
  }
  row += ',';
  row += std::to_string(s.Mode);
  for (float value : {s.SPNew, s.OPNew, LoadShared(s.P), LoadShared(s.I), s.EffectiveP, s.Error}) {
    row += ',';
    row += FormatReal9(value);
  }
  row += '\n';
  std::fwrite(row.data(), 1, row.size(), trace_);
}

void HeadlessHost::Pause(int milliseconds) {
  // In short slices, so that SIGINT or SIGTERM also ends a pause that a
  // stored pacing made endless; the run then stops at its next check.
  constexpr auto kSlice = std::chrono::milliseconds(20);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!interrupted_.load(std::memory_order_relaxed)) {
    const auto left = end - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) break;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, kSlice));
  }
}

void HeadlessHost::FatalAllocationFailure(bool loopBuffers) {
  FinishStatusLine();
  std::fputs(loopBuffers ? "Memory Allocation Failure ! Exiting Program. \nRestart Again\n"
                         : "Memory Allocation Error.\nProgram will now Exit\n",
             stderr);
  std::exit(kFatalExitCode);
}

void HeadlessHost::UpdateStatusLine() {
  const auto now = std::chrono::steady_clock::now();
  if (now - lastStatus_ < std::chrono::milliseconds(250)) return;
  const double seconds = std::chrono::duration<double>(now - lastStatus_).count();
  const int64_t step = sim_.Run.StepsDone;
  const double rate = lastStatus_.time_since_epoch().count() == 0 ? 0 : (step - lastStatusStep_) / seconds;
  lastStatus_ = now;
  lastStatusStep_ = step;
  const PIDLoop& s = sim_.Model.SingleLoop;
  std::string line = "\rt " + FormatFixed(sim_.Run.t, 1) + "  PV " + FormatFixed(s.PV, 3) +
                     "  SP " + FormatFixed(s.SP, 3) + "  OP " + FormatFixed(s.OP, 2) + "  " +
                     (s.Mode == 0 ? "Manual" : "Auto") + "  " + FormatFixed(rate, 0) +
                     " steps/s   ";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  statusShown_ = true;
}

void HeadlessHost::FinishStatusLine() {
  if (!statusShown_) return;
  std::fputs("\n", stderr);
  statusShown_ = false;
}

}  // namespace qx
