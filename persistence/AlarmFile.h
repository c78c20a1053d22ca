// The alarm limits of a case, in a companion file beside the case file
// ("<case file>.alarms"), so that the case file keeps its format. Text,
// one "key = value" a line, "." decimal; '#' starts a comment line; an empty
// value switches an off-able alarm off; a key not written keeps its default.
//
//   # Alarm limits of TravekEX2.pid
//   pv.high = 80
//   pv.deadband = 1
//   deviation.limit = 10
//   deviation.delay = 30
#pragma once

#include <string>
#include <vector>

#include "alarms/AlarmLimits.h"

namespace qx {

// The longest companion file read: a full one is under 1 KiB.
inline constexpr std::size_t kMaxAlarmFileBytes = 64 * 1024;

// The problems of a file listed one by one; the rest are counted.
inline constexpr std::size_t kMaxAlarmFileProblems = 10;

// "<casePath>.alarms".
std::string AlarmFilePath(const std::string& casePath);

struct AlarmFileRead {
  AlarmLimits Limits;                 // defaults for what is missing or refused
  std::vector<std::string> Problems;  // each naming the file, the line and the value
};

// Reads the companion file at `path` for a case whose CV range is
// cvLow..cvHigh. A missing file gives the defaults without a problem; a line
// that cannot be read, an unknown key or a refused value is reported and
// that field keeps its default, the other lines are taken.
AlarmFileRead ReadAlarmFile(const std::string& path, double cvLow, double cvHigh);

// The file's text: every field, off-able ones empty when off.
std::string AlarmFileText(const AlarmLimits& limits, const std::string& caseName);

// Replaces the file at `path` atomically (ReplaceFile). False with the
// reason.
bool WriteAlarmFile(const std::string& path, const AlarmLimits& limits,
                    const std::string& caseName, std::string& reason);

}  // namespace qx
