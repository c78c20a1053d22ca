// The run host of the headless runner: an in-memory operator panel, the
// scripted actions of the command line, the CSV trace and a status line.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "tools/qxsim/RunOptions.h"
#include "ui/PanelLogic.h"

namespace qx {

class HeadlessHost : public PanelRunHost {
 public:
  HeadlessHost(Simulation& sim, OperatorPanel& panel, const RunOptions& options,
               const std::atomic<bool>& interrupted);

  // Where the trace goes (nullptr: none) and whether a live status line is
  // shown.
  void SetTrace(std::FILE* trace) { trace_ = trace; }
  void SetStatusLine(bool on) { statusLine_ = on; }

  // Work to do whenever messages are processed (OPC writes to hand to the
  // panel, for instance).
  void SetMessagePump(std::function<void()> pump) { pump_ = std::move(pump); }

  // Called at every trend sample (the OPC publication).
  void SetPublisher(std::function<void()> publish) { publish_ = std::move(publish); }

  void ProcessMessages(MessagePoint point) override;
  void StepComputed() override;
  void PublishItemValues() override;
  void Pause(int milliseconds) override;
  uint64_t PickupSeed() override;
  void FatalAllocationFailure(bool loopBuffers) override;

  // Ends the status line so that later output starts on a fresh line.
  void FinishStatusLine();

 private:
  void Perform(const ScriptedAction& action);
  void RequestStop();
  void UpdateStatusLine();

  const RunOptions& options_;
  const std::atomic<bool>& interrupted_;
  std::size_t nextAction_ = 0;
  std::vector<const ScriptedAction*> actionsByStep_;
  std::FILE* trace_ = nullptr;
  bool statusLine_ = false;
  bool statusShown_ = false;
  std::function<void()> pump_;
  std::function<void()> publish_;
  uint64_t pickups_ = 0;
  std::chrono::steady_clock::time_point lastStatus_{};
  int64_t lastStatusStep_ = 0;
};

}  // namespace qx
