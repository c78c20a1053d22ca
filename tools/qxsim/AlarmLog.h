// qxsim run --alarms: every alarm transition of the run as CSV, one row as
// it happens, so that a scripted training scenario can be checked:
//   t,alarm,state,value,limit
//   15,deviation,active,17.36,10
// t is the run's clock, alarm "level", "deviation" or "saturation", state
// as AlarmStateName names it, value and limit "." decimal.
#pragma once

#include <cstdio>
#include <string>

#include "alarms/AlarmSet.h"

namespace qx {

inline constexpr const char* kAlarmLogHeader = "t,alarm,state,value,limit\n";

class AlarmLog {
 public:
  AlarmLog() = default;
  ~AlarmLog();
  AlarmLog(const AlarmLog&) = delete;
  AlarmLog& operator=(const AlarmLog&) = delete;

  // Opens `path` ("-": standard output) and writes the header. False with a
  // message naming the file and the reason.
  bool Open(const std::string& path, std::string& error);
  // Writes each transition of `alarms` from now on.
  void Attach(AlarmSet& alarms);
  // Flushes and closes; false with a message when a write failed.
  bool Close(std::string& error);

 private:
  void Write(const AlarmStatus& status, AlarmChange change);

  std::string path_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

}  // namespace qx
