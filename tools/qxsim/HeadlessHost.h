// The run host of "qxsim run": the scripted run of the command line (its
// actions, steps and seed) with the master link's set-up, the case's
// pacing, the CSV trace and a status line.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>

#include "app/Application.h"
#include "tools/qxsim/RunOptions.h"
#include "app/ScriptedRunHost.h"

namespace qx {

class HeadlessHost final : public ScriptedRunHost {
 public:
  HeadlessHost(Application& app, const RunOptions& options, const std::atomic<bool>& interrupted);

  // Where the trace goes (nullptr: none) and whether a live status line is
  // shown.
  void SetTrace(std::FILE* trace) { trace_ = trace; }
  void SetStatusLine(bool on) { statusLine_ = on; }

  void ProcessMessages(MessagePoint point) override;
  void StepComputed() override;
  void Pause(int milliseconds) override;
  void FatalAllocationFailure(bool loopBuffers) override;

  // Ends the status line so that later output starts on a fresh line.
  void FinishStatusLine();

 private:
  // Steps between two updates of the status line at full speed.
  static constexpr int64_t kStatusSteps = 1024;

  void PendingWorkDelivered() override { FollowUpMasterSetUp(); }
  // Also the status line's steps, and every step until the master link's
  // set-up has its outcome.
  int64_t NextMessageStep(int64_t step) const override;
  // Both feeds and the trace row of a step. Out of line: a run with neither
  // analysis nor trace then pays the alarms' inline test at every step, not
  // the saving and restoring of this body's registers.
  [[gnu::noinline]] void FeedAndTrace();
  void UpdateStatusLine();
  // Out of line: the trace's formatting would weigh on every step without
  // a trace.
  [[gnu::noinline]] void WriteTraceRow();
  // --master: once the set-up at the start has its outcome, connects when
  // it left the link inactive.
  void FollowUpMasterSetUp();

  const RunOptions& options_;
  bool masterFollowedUp_ = false;
  std::FILE* trace_ = nullptr;
  bool statusLine_ = false;
  bool statusShown_ = false;
  std::chrono::steady_clock::time_point lastStatus_{};
  int64_t lastStatusStep_ = 0;
};

}  // namespace qx
