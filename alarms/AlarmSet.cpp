#include "alarms/AlarmSet.h"

#include <algorithm>
#include <bit>
#include <array>
#include <charconv>
#include <cmath>

namespace qx {
namespace {

const char* LevelName(LevelLimit limit) {
  switch (limit) {
    case LevelLimit::HighHigh: return "highhigh";
    case LevelLimit::High: return "high";
    case LevelLimit::Low: return "low";
    case LevelLimit::LowLow: return "lowlow";
    case LevelLimit::None: break;
  }
  return "normal";
}

// A signal's value in a message: four significant figures are what an
// operator reads (the limits are written as they were set).
std::string SignalText(double value) {
  std::array<char, 32> text{};
  const auto [end, ec] =
      std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::general, 4);
  return ec == std::errc() ? std::string(text.data(), end) : AlarmNumberText(value);
}

// The message of an alarm that has just activated or changed limit.
std::string ActiveMessage(const AlarmStatus& s) {
  const std::string value = SignalText(s.Value), limit = AlarmNumberText(s.LimitValue);
  switch (s.Kind) {
    case AlarmKind::Level: {
      const char* what = s.Limit == LevelLimit::HighHigh ? "PV high-high: "
                         : s.Limit == LevelLimit::High   ? "PV high: "
                         : s.Limit == LevelLimit::Low    ? "PV low: "
                                                         : "PV low-low: ";
      const char* sign = s.Limit == LevelLimit::High || s.Limit == LevelLimit::HighHigh ? " > " : " < ";
      return what + value + sign + limit;
    }
    case AlarmKind::Deviation: return "Deviation |SP-PV|: " + value + " > " + limit;
    case AlarmKind::Saturation: return "OP saturated: " + value + " %";
  }
  return {};
}

std::string NormalMessage(const AlarmStatus& s) {
  const std::string value = SignalText(s.Value);
  switch (s.Kind) {
    case AlarmKind::Level: return "PV normal: " + value;
    case AlarmKind::Deviation: return "Deviation |SP-PV| normal: " + value;
    case AlarmKind::Saturation: return "OP normal: " + value + " %";
  }
  return {};
}

int64_t DelaySteps(double delay, double stepTime) {
  // Held for the delay: the step that first sees the signal beyond counts
  // as time zero.
  return static_cast<int64_t>(std::ceil(delay / stepTime));
}

}  // namespace

const char* AlarmKindName(AlarmKind kind) {
  switch (kind) {
    case AlarmKind::Level: return "level";
    case AlarmKind::Deviation: return "deviation";
    case AlarmKind::Saturation: return "saturation";
  }
  return "?";
}

const char* AlarmStateName(const AlarmStatus& status, AlarmChange change) {
  switch (change) {
    case AlarmChange::Activated:
    case AlarmChange::LimitChanged:
      return status.Kind == AlarmKind::Level ? LevelName(status.Limit) : "active";
    case AlarmChange::Cleared: return "normal";
    case AlarmChange::Acknowledged: return "acked";
    case AlarmChange::Confirmed: return "confirmed";
  }
  return "?";
}

const char* AlarmAnswerText(AlarmAnswer answer) {
  switch (answer) {
    case AlarmAnswer::Done: return "OK";
    case AlarmAnswer::Disabled: return "the alarm is off";
    case AlarmAnswer::AlreadyAcked: return "the alarm is already acknowledged";
    case AlarmAnswer::NotAcked: return "the alarm is not acknowledged yet";
    case AlarmAnswer::AlreadyConfirmed: return "the alarm is already confirmed";
  }
  return "?";
}

AlarmSet::AlarmSet(double stepTime) : stepTime_(stepTime) {
  Configure(AlarmLimits{});
}

void AlarmSet::Configure(const AlarmLimits& limits) {
  limits_ = limits;
  const auto or_ = [](const std::optional<double>& v, double never) { return v ? *v : never; };
  highHigh_ = or_(limits.HighHigh, kNever);
  high_ = or_(limits.High, kNever);
  low_ = or_(limits.Low, -kNever);
  lowLow_ = or_(limits.LowLow, -kNever);
  levelDeadband_ = limits.LevelDeadband;
  deviation_ = or_(limits.Deviation, kNever);
  deviationClear_ = deviation_ - limits.DeviationDeadband;
  deviationDelaySteps_ = DelaySteps(limits.DeviationDelay, stepTime_);
  saturationLow_ = kOutputLow + limits.SaturationDeadband;
  saturationHigh_ = kOutputHigh - limits.SaturationDeadband;
  saturationDelaySteps_ = limits.SaturationDelay ? DelaySteps(*limits.SaturationDelay, stepTime_) : 0;

  quietHigh_ = std::min(high_, highHigh_);
  quietLow_ = std::max(low_, lowLow_);
  levelOn_ = limits.HighHigh || limits.High || limits.Low || limits.LowLow;
  deviationOn_ = limits.Deviation.has_value();
  saturationOn_ = limits.SaturationDelay.has_value();
  levelLimit_ = LevelLimit::None;
  deviationActive_ = saturationActive_ = false;
  quiet_ = true;
  quietOutputLow_ = saturationOn_ ? kOutputLow : -kNever;
  quietOutputHigh_ = saturationOn_ ? kOutputHigh : kNever;
  const bool enabled[kAlarmKindCount] = {levelOn_, deviationOn_, saturationOn_};
  anyEnabled_ = false;
  for (int i = 0; i < kAlarmKindCount; ++i) {
    const uint64_t transitions = status_[i].Transitions;
    status_[i] = AlarmStatus();
    status_[i].Kind = static_cast<AlarmKind>(i);
    status_[i].Enabled = enabled[i];
    // A reader that compares counts sees the reset.
    status_[i].Transitions = transitions + 1;
    anyEnabled_ = anyEnabled_ || enabled[i];
  }
  status_[static_cast<int>(AlarmKind::Level)].Severity = static_cast<uint16_t>(limits.LevelSeverity);
  status_[static_cast<int>(AlarmKind::Deviation)].Severity = static_cast<uint16_t>(limits.DeviationSeverity);
  status_[static_cast<int>(AlarmKind::Saturation)].Severity = static_cast<uint16_t>(limits.SaturationSeverity);
  deviationSteps_ = saturationSteps_ = 0;
  EmptyWindow();
}

void AlarmSet::RunStarting() { Configure(AlarmLimits(limits_)); }

bool AlarmSet::StepRules(double t, double sp, double pv, double op) {
  const uint64_t before = stamped_;
  if (levelOn_ && (levelLimit_ != LevelLimit::None || pv > quietHigh_ || pv < quietLow_)) {
    const LevelLimit next = LevelFor(pv, levelLimit_);
    if (next != levelLimit_) LevelChanged(t, pv, next);
  }
  if (deviationOn_) {
    const double d = std::fabs(sp - pv);
    if (deviationActive_) {
      if (d < deviationClear_) Clear(AlarmKind::Deviation, t, d);
    } else if (d > deviation_) {
      if (++deviationSteps_ > deviationDelaySteps_) Activate(AlarmKind::Deviation, t, d, deviation_);
    } else if (deviationSteps_ != 0) {
      deviationSteps_ = 0;
    }
  }
  if (saturationOn_) {
    if (saturationActive_) {
      if (op > saturationLow_ && op < saturationHigh_) Clear(AlarmKind::Saturation, t, op);
    } else if (op <= kOutputLow || op >= kOutputHigh) {
      if (++saturationSteps_ > saturationDelaySteps_) {
        Activate(AlarmKind::Saturation, t, op, op <= kOutputLow ? kOutputLow : kOutputHigh);
      }
    } else if (saturationSteps_ != 0) {
      saturationSteps_ = 0;
    }
  }
  quiet_ = levelLimit_ == LevelLimit::None && !deviationActive_ && !saturationActive_ && deviationSteps_ == 0 &&
           saturationSteps_ == 0;
  // The states a window was fitted to may have changed.
  EmptyWindow();
  return stamped_ != before;
}

namespace {

// The largest float not above `x` and the smallest not below it (x not
// NaN; an infinity stays one).
float FloatAtOrBelow(double x) {
  float f = static_cast<float>(x);
  if (static_cast<double>(f) > x) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
  return f;
}
float FloatAtOrAbove(double x) {
  float f = static_cast<float>(x);
  if (static_cast<double>(f) < x) f = std::nextafter(f, std::numeric_limits<float>::infinity());
  return f;
}

// The end of the float PV range, from `sp` toward `direction` (+1 or -1),
// within which Step's deviation test |sp - pv| <= limit holds. The test's
// rounded difference grows with the distance from sp, so the range is one
// interval around sp; the candidate from the limit is moved toward sp
// until it passes (a step or two at most; sp itself always passes).
float DeviationEnd(float sp, double limit, int direction) {
  const auto passes = [&](float pv) {
    return std::fabs(static_cast<double>(sp) - static_cast<double>(pv)) <= limit;
  };
  float end = direction > 0 ? FloatAtOrBelow(static_cast<double>(sp) + limit)
                            : FloatAtOrAbove(static_cast<double>(sp) - limit);
  constexpr int kMaxNudges = 8;
  for (int i = 0; i < kMaxNudges && !passes(end); ++i) end = std::nextafter(end, sp);
  return passes(end) ? end : sp;
}

}  // namespace

void AlarmSet::FitWindow(float sp) {
  EmptyWindow();
  // A negative deviation limit leaves no quiet PV (the limits' check
  // refuses one; the window must not assume it).
  if (!quiet_ || std::isnan(sp) || !(deviation_ >= 0)) return;
  // For a float v and a double x: v <= x exactly when v <= FloatAtOrBelow(x),
  // v < x when v < FloatAtOrAbove(x), and the mirror images.
  windowPvLow_ = std::max(FloatAtOrAbove(quietLow_), DeviationEnd(sp, deviation_, -1));
  windowPvHigh_ = std::min(FloatAtOrBelow(quietHigh_), DeviationEnd(sp, deviation_, +1));
  windowOpLow_ = FloatAtOrBelow(quietOutputLow_);
  windowOpHigh_ = FloatAtOrAbove(quietOutputHigh_);
  windowSetPointBits_ = std::bit_cast<uint32_t>(sp);
}

bool AlarmSet::StepOutsideWindow(double t, float sp, float pv, float op) {
  const bool changed = Step(t, sp, pv, op);
  FitWindow(sp);
  return changed;
}

void AlarmSet::Stamp(AlarmStatus& status, double t, AlarmChange change) {
  status.RunTime = t;
  status.WallTime = std::chrono::system_clock::now();
  if (change == AlarmChange::Activated || change == AlarmChange::LimitChanged) {
    status.ActiveRunTime = t;
    status.ActiveWallTime = status.WallTime;
  }
  ++status.Transitions;
  ++stamped_;
  if (listener_) listener_(status, change);
}

void AlarmSet::LevelChanged(double t, double pv, LevelLimit next) {
  AlarmStatus& s = At(AlarmKind::Level);
  if (next == LevelLimit::None) {
    Clear(AlarmKind::Level, t, pv);
    return;
  }
  const bool severe = next == LevelLimit::HighHigh || next == LevelLimit::LowLow;
  const bool wasSevere = s.Limit == LevelLimit::HighHigh || s.Limit == LevelLimit::LowLow;
  const bool wasActive = s.Active;
  const LevelLimit was = s.Limit;
  s.Limit = levelLimit_ = next;
  s.Value = pv;
  s.LimitValue = next == LevelLimit::HighHigh ? highHigh_
                 : next == LevelLimit::High   ? high_
                 : next == LevelLimit::Low    ? low_
                                              : lowLow_;
  s.Severity = static_cast<uint16_t>(severe ? limits_.LevelSevereSeverity : limits_.LevelSeverity);
  s.Active = true;
  // A new activation, a worse limit on the same side or a jump to the other
  // side wants the operator's attention again; easing from high-high to high
  // (or low-low to low) does not.
  const bool sameSide = (was == LevelLimit::High || was == LevelLimit::HighHigh) ==
                        (next == LevelLimit::High || next == LevelLimit::HighHigh);
  const bool easing = wasActive && sameSide && wasSevere && !severe;
  if (!easing) s.Acked = s.Confirmed = false;
  s.Message = ActiveMessage(s);
  Stamp(s, t, wasActive ? AlarmChange::LimitChanged : AlarmChange::Activated);
}

void AlarmSet::Activate(AlarmKind kind, double t, double value, double limit) {
  AlarmStatus& s = At(kind);
  s.Active = true;
  if (kind == AlarmKind::Deviation) deviationActive_ = true;
  if (kind == AlarmKind::Saturation) saturationActive_ = true;
  s.Acked = s.Confirmed = false;
  s.Value = value;
  s.LimitValue = limit;
  s.Message = ActiveMessage(s);
  Stamp(s, t, AlarmChange::Activated);
}

void AlarmSet::Clear(AlarmKind kind, double t, double value) {
  AlarmStatus& s = At(kind);
  s.Active = false;
  s.Limit = LevelLimit::None;
  s.Value = value;
  s.Message = NormalMessage(s);
  switch (kind) {
    case AlarmKind::Level: levelLimit_ = LevelLimit::None; break;
    case AlarmKind::Deviation: deviationActive_ = false, deviationSteps_ = 0; break;
    case AlarmKind::Saturation: saturationActive_ = false, saturationSteps_ = 0; break;
  }
  Stamp(s, t, AlarmChange::Cleared);
}

AlarmAnswer AlarmSet::Acknowledge(AlarmKind kind, const std::string& comment, double t) {
  AlarmStatus& s = At(kind);
  if (!s.Enabled) return AlarmAnswer::Disabled;
  if (s.Acked) return AlarmAnswer::AlreadyAcked;
  s.Acked = true;
  s.Comment = comment;
  Stamp(s, t, AlarmChange::Acknowledged);
  return AlarmAnswer::Done;
}

AlarmAnswer AlarmSet::Confirm(AlarmKind kind, const std::string& comment, double t) {
  AlarmStatus& s = At(kind);
  if (!s.Enabled) return AlarmAnswer::Disabled;
  if (!s.Acked) return AlarmAnswer::NotAcked;
  if (s.Confirmed) return AlarmAnswer::AlreadyConfirmed;
  s.Confirmed = true;
  s.Comment = comment;
  Stamp(s, t, AlarmChange::Confirmed);
  return AlarmAnswer::Done;
}

}  // namespace qx
