// The limits of the loop's alarms, per case, and their validation. Every
// alarm is off until its limit is set; a limit is in the CV's engineering
// units, a delay in the run's time units, a deadband in the unit of the
// signal it applies to.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace qx {

// The longest delay an alarm accepts: ten hours of run time. Longer delays
// are typing errors (a run rarely lasts that long).
inline constexpr double kMaxAlarmDelay = 36000;
// Severities as OPC UA counts them (the limits keep them as numbers, so
// that a refused one can be named as it was given).
inline constexpr uint16_t kMinAlarmSeverity = 1;
inline constexpr uint16_t kMaxAlarmSeverity = 1000;
// The controller output's range, percent: the saturation alarm watches its
// ends.
inline constexpr double kOutputLow = 0;
inline constexpr double kOutputHigh = 100;

struct AlarmLimits {
  // Level alarm on PV: each limit absent is off; the level alarm is on when
  // any is set.
  std::optional<double> HighHigh, High, Low, LowLow;
  double LevelDeadband = 0;
  double LevelSeverity = 500;        // High and Low
  double LevelSevereSeverity = 800;  // HighHigh and LowLow
  // Deviation alarm on |SP - PV|: on when the limit is set.
  std::optional<double> Deviation;
  double DeviationDelay = 0;
  double DeviationDeadband = 0;
  double DeviationSeverity = 500;
  // Output-saturation alarm (OP at 0 or 100 %): on when the delay is set.
  std::optional<double> SaturationDelay;
  double SaturationDeadband = 0;  // percent of output
  double SaturationSeverity = 300;

  bool operator==(const AlarmLimits&) const = default;
};

// One field of AlarmLimits under the name the companion file, the messages
// and the dialog use ("pv.high", "deviation.delay", ...).
struct AlarmLimitField {
  const char* Key;
  std::variant<std::optional<double> AlarmLimits::*, double AlarmLimits::*> Member;
  bool Severity = false;  // a whole number 1..1000
};
// Every field, in the order the companion file writes them.
std::span<const AlarmLimitField> AlarmLimitFields();
// The field of that key, or null.
const AlarmLimitField* FindAlarmLimitField(const std::string& key);
// The field's value as text ("" for an absent limit), "." decimal.
std::string AlarmFieldText(const AlarmLimits& limits, const AlarmLimitField& field);
// Sets the field from a number; absent switches an off-able limit off and
// leaves a field that cannot be off as it is.
void SetAlarmField(AlarmLimits& limits, const AlarmLimitField& field, std::optional<double> value);
// Resets the field to its default.
void ResetAlarmField(AlarmLimits& limits, const AlarmLimitField& field);

// A value the limits refuse: the field and why, the value named.
struct AlarmLimitProblem {
  const AlarmLimitField* Field;
  std::string Message;  // e.g. "pv.high = 120: outside the CV range 0 to 100"
};
// The problems of `limits` for a CV range of cvLow..cvHigh; empty when all
// are acceptable. Not a number, a limit outside the CV range, levels not in
// the order low-low < low < high < high-high, a deadband negative or as wide
// as what it guards, a delay negative or above kMaxAlarmDelay, a severity
// outside 1..1000.
std::vector<AlarmLimitProblem> CheckAlarmLimits(const AlarmLimits& limits, double cvLow,
                                                double cvHigh);
// CheckAlarmLimits, then every refused field reset to its default until
// none is refused; the problems found on the way.
std::vector<AlarmLimitProblem> RepairAlarmLimits(AlarmLimits& limits, double cvLow,
                                                 double cvHigh);

// A number as the alarm texts write it: shortest form, "." decimal.
std::string AlarmNumberText(double value);

}  // namespace qx
