// The loop's alarms as both run hosts feed them: the alarm rules on the
// single loop's SP, PV and OP at every step, the limits of the loaded case
// (its companion file) and the operator's acknowledgments.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "alarms/AlarmSet.h"
#include "engine/LoopModel.h"

namespace qx {

class LoopAlarms {
 public:
  LoopAlarms() : set_(kTimeStep) {}

  AlarmSet& Set() { return set_; }
  const AlarmSet& Set() const { return set_; }
  const AlarmStatus& Status(AlarmKind kind) const { return set_.Status(kind); }

  // Forgets the previous run's states.
  void RunStarting() { set_.RunStarting(); }
  // The newest step of the single loop; inline, so the hosts pay no call
  // while no alarm is on. A transition is passed on at once (see
  // SetTransitionHook).
  void StepComputed(const LoopModel& model, double t) {
    const PIDLoop& loop = model.SingleLoop;
    if (!set_.QuietAtOnce(loop.SP, loop.PV, loop.OP)) [[unlikely]]
      StepOutsideWindow(t, loop.SP, loop.PV, loop.OP);
  }
  // Called on the run's thread after a step at which an alarm made a
  // transition: the application shows it to the OPC clients without
  // waiting for the next trend sample.
  void SetTransitionHook(std::function<void()> hook) { transitioned_ = std::move(hook); }

  // Takes the limits of the companion file of the case at `casePath`
  // (defaults when it is missing); the problems of the file, each naming the
  // file, the line and the value.
  std::vector<std::string> LoadFor(const std::string& casePath, const LoopModel& model);
  // Writes the limits beside the case saved at `casePath`. False with the
  // reason.
  bool SaveFor(const std::string& casePath, std::string& reason) const;
  // New limits for the loaded case: refused (the problems named) unless
  // CheckAlarmLimits accepts them for the case's CV range.
  std::vector<std::string> Apply(const AlarmLimits& limits, const LoopModel& model);

 private:
  // The rules of a step that is not quiet at once, and the hook of a
  // transition. Out of line, so that the inline part needs no registers of
  // its own kept across a call.
  [[gnu::noinline]] void StepOutsideWindow(double t, float sp, float pv, float op) {
    if (set_.StepOutsideWindow(t, sp, pv, op) && transitioned_) transitioned_();
  }

  AlarmSet set_;
  std::function<void()> transitioned_;
};

}  // namespace qx
