// Names for the codes that RunControl keeps as 32-bit integers (the fields
// stay int32_t because the case file and the field table hold them so).
#pragma once

#include <cstdint>

namespace qx {

// RunControl.SingleAutoState and RunControl.SingleModeSelect.
enum class LoopMode : int32_t { Manual = 0, Auto = 1 };

// RunControl.SpeedCommand, given by the speed controls.
enum class SpeedCommand : int32_t { Faster = 1, Normal = 2, Slower = 3 };

// The speed control: RunControl.SpeedLevel 0 (no pause, the fastest) to
// kSlowestSpeedLevel, and RunControl.SleepMs, the pause after every step,
// kSleepMsPerSpeedLevel milliseconds per level. "Normal" sets the middle
// level. The speed gauge shows kSlowestSpeedLevel - SpeedLevel.
inline constexpr int32_t kSlowestSpeedLevel = 6;
inline constexpr int32_t kNormalSpeedLevel = 3;
inline constexpr float kSleepMsPerSpeedLevel = 100;
inline constexpr float kSlowestSleepMs = kSlowestSpeedLevel * kSleepMsPerSpeedLevel;
inline constexpr float kNormalSleepMs = kNormalSpeedLevel * kSleepMsPerSpeedLevel;

// The value a RunControl field stores for a code.
constexpr int32_t FieldCode(LoopMode mode) { return static_cast<int32_t>(mode); }
constexpr int32_t FieldCode(SpeedCommand command) { return static_cast<int32_t>(command); }

}  // namespace qx
