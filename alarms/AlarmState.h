// The state of the loop's three alarms as every reader sees it: the window's
// banner, qxsim's transition log and the OPC glue that maps each alarm to a
// condition. Plain values, copied out once per trend sample on the run
// loop's thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace qx {

// One condition each.
enum class AlarmKind { Level, Deviation, Saturation };
inline constexpr int kAlarmKindCount = 3;

// Which PV limit the level alarm has exceeded; one at a time, the most
// severe.
enum class LevelLimit { None, LowLow, Low, High, HighHigh };

struct AlarmStatus {
  AlarmKind Kind;
  bool Enabled = false;      // its limits are set (defaults off)
  bool Active = false;
  bool Acked = true;         // false from activation until acknowledged
  bool Confirmed = true;     // false from activation until confirmed (after ack)
  LevelLimit Limit = LevelLimit::None;   // Level only: which limit is exceeded
  double Value = 0;          // PV, |SP-PV| or OP at the transition
  double LimitValue = 0;     // the limit crossed
  uint16_t Severity = 0;     // 1..1000
  std::string Message;       // e.g. "PV high: 82.5 > 80"
  double RunTime = 0;        // run clock at the last transition
  uint64_t Transitions = 0;  // counts every change of Active/Acked/Confirmed, so a reader sees a change
  // Added fields:
  std::chrono::system_clock::time_point WallTime{};  // wall clock at the last transition
  std::string Comment;       // the comment of the last acknowledge or confirm
  double ActiveRunTime = 0;  // run clock when it went active or changed limit
  std::chrono::system_clock::time_point ActiveWallTime{};  // wall clock of the same
};

}  // namespace qx
