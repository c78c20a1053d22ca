// The run host of the headless runner: the application's in-memory operator
// panel, the scripted actions of the command line, the delivery of OPC
// client writes and of the master link's events, the publication, the CSV trace and a status line.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/Application.h"
#include "tools/qxsim/RunOptions.h"
#include "ui/PanelLogic.h"

namespace qx {

class HeadlessHost : public PanelRunHost {
 public:
  HeadlessHost(Application& app, const RunOptions& options, const std::atomic<bool>& interrupted);

  // Where the trace goes (nullptr: none) and whether a live status line is
  // shown.
  void SetTrace(std::FILE* trace) { trace_ = trace; }
  void SetStatusLine(bool on) { statusLine_ = on; }

  void ProcessMessages(MessagePoint point) override;
  void RunStarting() override;
  void RunEnded() override;
  void StepComputed() override;
  void PublishItemValues() override;
  void Pause(int milliseconds) override;
  uint64_t PickupSeed() override;
  void FatalAllocationFailure(bool loopBuffers) override;

  // Ends the status line so that later output starts on a fresh line.
  void FinishStatusLine();

 private:
  void UpdateStatusLine();
  // --master: once the set-up at the start has its outcome, connects when
  // it left the link inactive.
  void FollowUpMasterSetUp();

  Application& app_;
  const RunOptions& options_;
  const std::atomic<bool>& interrupted_;
  bool masterFollowedUp_ = false;
  std::size_t nextAction_ = 0;
  std::vector<const ScriptedAction*> actionsByStep_;
  std::FILE* trace_ = nullptr;
  bool statusLine_ = false;
  bool statusShown_ = false;
  uint64_t pickups_ = 0;
  std::chrono::steady_clock::time_point lastStatus_{};
  int64_t lastStatusStep_ = 0;
};

}  // namespace qx
