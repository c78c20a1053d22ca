// The loop's three alarms: the PV level alarm (the most severe of its four
// limits exceeded), the deviation alarm (|SP - PV| beyond its limit for its
// delay) and the output-saturation alarm (OP at 0 or 100 % for its delay).
// Each clears only when its signal is back past the limit by the deadband,
// so a signal that hovers at a limit does not chatter. An alarm is
// unacknowledged and unconfirmed from its activation until the operator (or
// a client) acknowledges it, and then confirms it.
//
// Fed at every step of a run on the run's thread; the acknowledgments come
// on the same thread between two steps. Step is inline and costs a few
// comparisons; the work of a transition is out of line.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "alarms/AlarmLimits.h"
#include "alarms/AlarmState.h"

namespace qx {

// What a transition changed.
enum class AlarmChange { Activated, LimitChanged, Cleared, Acknowledged, Confirmed };

// The answer to an acknowledge or a confirm.
enum class AlarmAnswer {
  Done,
  Disabled,          // the alarm is off
  AlreadyAcked,      // acknowledge of an acknowledged alarm
  NotAcked,          // confirm before acknowledge
  AlreadyConfirmed,  // confirm of a confirmed alarm
};

// "level", "deviation", "saturation".
const char* AlarmKindName(AlarmKind kind);
// The state a transition leaves, as the transition log writes it: the
// level's limit ("highhigh", "high", "low", "lowlow") or "active" when it
// activates or changes limit, "normal" when it clears, "acked", "confirmed".
const char* AlarmStateName(const AlarmStatus& status, AlarmChange change);
// "OK", or what was refused (e.g. "the alarm is already acknowledged").
const char* AlarmAnswerText(AlarmAnswer answer);

class AlarmSet {
 public:
  // Called after every transition with the alarm's new status.
  using Listener = std::function<void(const AlarmStatus& status, AlarmChange change)>;

  // `stepTime` is the run's fixed step: delays are counted in steps of it,
  // so that a wrap of the run's clock does not disturb them.
  explicit AlarmSet(double stepTime);

  // New limits (checked by the caller with CheckAlarmLimits): every alarm
  // starts normal again.
  void Configure(const AlarmLimits& limits);
  const AlarmLimits& Limits() const { return limits_; }
  void SetListener(Listener listener) { listener_ = std::move(listener); }

  // A new run: every alarm normal, acknowledged and confirmed.
  void RunStarting();
  // The newest step: the run's clock, SP, PV (engineering units), OP (%).
  // True when an alarm made a transition at it, so that a reader may pass
  // it on at once; a quiet step answers false at no cost of its own.
  bool Step(double t, double sp, double pv, double op);
  // The same step with SP, PV and OP as the loop holds them (single
  // precision), as the run hosts feed it: the same answers as Step, and a
  // quiet step costs four comparisons and a test of SP against a window
  // fitted to the newest SP (no conversion, no arithmetic).
  bool StepFromLoop(double t, float sp, float pv, float op);
  // Whether StepFromLoop would find that step quiet at once (every alarm
  // off, or the step inside the window): a caller may then leave it out.
  bool QuietAtOnce(float sp, float pv, float op) const;
  // StepFromLoop for a step that QuietAtOnce did not pass: the full Step,
  // then a window fitted to its SP.
  bool StepOutsideWindow(double t, float sp, float pv, float op);

  const AlarmStatus& Status(AlarmKind kind) const { return status_[static_cast<int>(kind)]; }
  // All three, in AlarmKind order.
  const std::array<AlarmStatus, kAlarmKindCount>& Statuses() const { return status_; }
  bool AnyEnabled() const { return anyEnabled_; }

  // Between two steps: the operator's or a client's acknowledge, then
  // confirm, with a comment (may be empty), at run clock `t`.
  AlarmAnswer Acknowledge(AlarmKind kind, const std::string& comment, double t);
  AlarmAnswer Confirm(AlarmKind kind, const std::string& comment, double t);

 private:
  // The level limit PV is in, given the current one: a limit entered is
  // held until PV is back past it by the deadband.
  LevelLimit LevelFor(double pv, LevelLimit current) const;
  AlarmStatus& At(AlarmKind kind) { return status_[static_cast<int>(kind)]; }
  // The rules of a step that is not quiet: out of line, like the
  // transitions they lead to.
  bool StepRules(double t, double sp, double pv, double op);
  // The widest float ranges of PV and OP inside which a step at set point
  // `sp` is quiet, exactly as Step decides it; empty unless the alarms are
  // quiet now.
  void FitWindow(float sp);
  // Low above high: no PV is inside, whatever the SP.
  void EmptyWindow() {
    windowPvLow_ = std::numeric_limits<float>::infinity();
    windowPvHigh_ = -std::numeric_limits<float>::infinity();
  }
  // Transitions are rare: kept out of the step's hot path.
  [[gnu::cold]] void LevelChanged(double t, double pv, LevelLimit next);
  [[gnu::cold]] void Activate(AlarmKind kind, double t, double value, double limit);
  [[gnu::cold]] void Clear(AlarmKind kind, double t, double value);
  void Stamp(AlarmStatus& status, double t, AlarmChange change);

  // What Step reads at every step, together and ahead of the statuses, so
  // that a step touches few cache lines: the limits as Step compares them
  // (an absent limit is never crossed) and a copy of the states it decides
  // on.
  static constexpr double kNever = std::numeric_limits<double>::infinity();
  // Every alarm normal and no delay counting: a step inside the limits
  // changes nothing.
  bool quiet_ = true;
  // The window of StepFromLoop: a step with the SP of these bits, PV in
  // [low, high] and OP in (low, high) is quiet (none while empty). Float
  // bounds, so that a step compares the loop's own values.
  uint32_t windowSetPointBits_ = 0;
  float windowPvLow_ = std::numeric_limits<float>::infinity();
  float windowPvHigh_ = -std::numeric_limits<float>::infinity();
  float windowOpLow_ = 0, windowOpHigh_ = 0;
  double quietOutputLow_ = -kNever, quietOutputHigh_ = kNever;  // the output's ends when watched
  bool anyEnabled_ = false;
  bool levelOn_ = false, deviationOn_ = false, saturationOn_ = false;
  bool deviationActive_ = false, saturationActive_ = false;
  LevelLimit levelLimit_ = LevelLimit::None;
  double quietHigh_ = kNever, quietLow_ = -kNever;  // the innermost level limits
  double highHigh_ = kNever, high_ = kNever, low_ = -kNever, lowLow_ = -kNever;
  double levelDeadband_ = 0;
  double deviation_ = kNever, deviationClear_ = kNever;
  double saturationLow_ = -kNever, saturationHigh_ = kNever;  // clear inside these
  int64_t deviationDelaySteps_ = 0, saturationDelaySteps_ = 0;
  // Consecutive steps the signal has been beyond the limit.
  int64_t deviationSteps_ = 0, saturationSteps_ = 0;

  const double stepTime_;
  uint64_t stamped_ = 0;  // transitions of every alarm so far
  AlarmLimits limits_;
  Listener listener_;
  std::array<AlarmStatus, kAlarmKindCount> status_;
};

inline LevelLimit AlarmSet::LevelFor(double pv, LevelLimit current) const {
  const bool wasHigh = current == LevelLimit::High || current == LevelLimit::HighHigh;
  const bool wasLow = current == LevelLimit::Low || current == LevelLimit::LowLow;
  if (pv > highHigh_ || (current == LevelLimit::HighHigh && pv > highHigh_ - levelDeadband_)) {
    return LevelLimit::HighHigh;
  }
  if (pv > high_ || (wasHigh && pv > high_ - levelDeadband_)) return LevelLimit::High;
  if (pv < lowLow_ || (current == LevelLimit::LowLow && pv < lowLow_ + levelDeadband_)) {
    return LevelLimit::LowLow;
  }
  if (pv < low_ || (wasLow && pv < low_ + levelDeadband_)) return LevelLimit::Low;
  return LevelLimit::None;
}

inline bool AlarmSet::Step(double t, double sp, double pv, double op) {
  // Most steps of most runs: every alarm normal, no delay counting, and every
  // signal inside its limits. One branch on the combined test (an absent
  // limit compares as infinite; a NaN signal takes the full rules). A case
  // without limits, the default, stops at the first test.
  if (!anyEnabled_) return false;
  const bool quiet = quiet_ & (pv <= quietHigh_) & (pv >= quietLow_) & (std::fabs(sp - pv) <= deviation_) &
                     (op > quietOutputLow_) & (op < quietOutputHigh_);
  if (!quiet) [[unlikely]] return StepRules(t, sp, pv, op);
  return false;
}

inline bool AlarmSet::QuietAtOnce(float sp, float pv, float op) const {
  if (!anyEnabled_) return true;
  // SP by its bits: an integer test (an SP of -0 against a window of +0
  // only costs a full step). A NaN PV or OP fails the first test of its
  // pair and takes the full Step; the second test, reached only by a
  // number, may then be written as a negation, which compiles to one
  // comparison with the bound in memory.
  return std::bit_cast<uint32_t>(sp) == windowSetPointBits_ && pv >= windowPvLow_ && !(pv > windowPvHigh_) &&
         op > windowOpLow_ && !(op >= windowOpHigh_);
}

inline bool AlarmSet::StepFromLoop(double t, float sp, float pv, float op) {
  if (QuietAtOnce(sp, pv, op)) [[likely]]
    return false;
  return StepOutsideWindow(t, sp, pv, op);
}

}  // namespace qx
