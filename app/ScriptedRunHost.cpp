#include "app/ScriptedRunHost.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace qx {

ScriptedRunHost::ScriptedRunHost(Application& app, const std::vector<ScriptedAction>& actions,
                                 std::optional<int64_t> steps, std::optional<uint64_t> seed,
                                 const std::atomic<bool>& interrupted)
    : PanelRunHost(app.Sim(), app.Panel()), app_(app), interrupted_(interrupted), steps_(steps), seed_(seed) {
  // Actions run by step, and in the given order within a step.
  for (const ScriptedAction& action : actions) actionsByStep_.push_back(&action);
  std::stable_sort(actionsByStep_.begin(), actionsByStep_.end(),
                   [](const ScriptedAction* a, const ScriptedAction* b) { return a->Step < b->Step; });
  // Nothing reads the panel between two message processings: the tracked
  // texts are written there, and the steps without work skip the call.
  DeferTracking();
  WatchWaitingFlag(0, &app_.ClientWritesWaiting());
  WatchWaitingFlag(1, &interrupted_);
  WatchWaitingFlag(2, &app_.AlarmAnswersWaiting());
  LeaveOutDisplayCalls(kShowSpeed | kTrendSampleRecorded | kPlotSingleTrends);
}

void ScriptedRunHost::ProcessMessages(MessagePoint point) {
  WriteTrackedTexts();
  ProcessStepMessages(point);
  ProcessMessagesFrom(NextMessageStep(sim_.Run.StepsDone));
}

int64_t ScriptedRunHost::NextMessageStep(int64_t step) const {
  const RunControlRecord& control = sim_.Model.RunControl;
  // At every step: a paced run (the call is nothing beside its pause),
  // speed clicks that wait to be handed to the run one by one, and the
  // master link, whose events raise no flag here.
  if (control.SleepMs > 0 || control.SpeedCommandPending || app_.Panel().SpeedClicks.Count > 0 ||
      app_.HasMasterLink())
    return step;
  int64_t next = std::numeric_limits<int64_t>::max();
  if (nextAction_ < actionsByStep_.size()) next = actionsByStep_[nextAction_]->Step;
  if (steps_ && *steps_ > step) next = std::min(next, *steps_);
  return next;
}

void ScriptedRunHost::ProcessStepMessages(MessagePoint point) {
  app_.DeliverPendingWork();
  PendingWorkDelivered();
  if (interrupted_.load(std::memory_order_relaxed) && !sim_.Model.RunControl.StopRequested)
    app_.cmd_exitClick();
  if (point != MessagePoint::StepStart) return;

  const int64_t step = sim_.Run.StepsDone;
  while (nextAction_ < actionsByStep_.size() && actionsByStep_[nextAction_]->Step < step)
    ++nextAction_;  // actions of an earlier run
  while (nextAction_ < actionsByStep_.size() && actionsByStep_[nextAction_]->Step == step)
    PerformPanelAction(app_, *this, *actionsByStep_[nextAction_++]);
  if (steps_ && step == *steps_) app_.cmd_exitClick();
}

void ScriptedRunHost::RunStarting() {
  PanelRunHost::RunStarting();
  app_.RunStarting();
  // A run counts its steps from 0: its first step processes messages.
  ProcessMessagesFrom(0);
}

void ScriptedRunHost::RunEnded() {
  WriteTrackedTexts();
  PanelRunHost::RunEnded();
  app_.RunEnded();
}

uint64_t ScriptedRunHost::PickupSeed() {
  ++pickups_;
  if (seed_) return *seed_ + pickups_;
  return static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

}  // namespace qx
