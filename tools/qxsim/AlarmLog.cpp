#include "tools/qxsim/AlarmLog.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace qx {
namespace {

// The run's values are single precision: their shortest single-precision
// text, as the trace writes them.
std::string Number(double value) {
  std::array<char, 32> text{};
  const auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(), static_cast<float>(value));
  return ec == std::errc() ? std::string(text.data(), end) : AlarmNumberText(value);
}

}  // namespace

AlarmLog::~AlarmLog() {
  std::string ignored;  // a run that failed before Close has reported already
  if (file_) Close(ignored);
}

bool AlarmLog::Open(const std::string& path, std::string& error) {
  path_ = path;
  file_ = path == "-" ? stdout : std::fopen(path.c_str(), "wb");
  if (!file_) {
    error = "cannot write the alarms to '" + path + "': " + std::strerror(errno);
    return false;
  }
  failed_ = std::fputs(kAlarmLogHeader, file_) < 0;
  return true;
}

void AlarmLog::Attach(AlarmSet& alarms) {
  alarms.SetListener([this](const AlarmStatus& status, AlarmChange change) { Write(status, change); });
}

void AlarmLog::Write(const AlarmStatus& s, AlarmChange change) {
  const std::string row = Number(s.RunTime) + "," + AlarmKindName(s.Kind) + "," +
                          AlarmStateName(s, change) + "," + Number(s.Value) + "," + Number(s.LimitValue) + "\n";
  // Transitions are rare and a training script may watch the file while
  // the run goes on: each row is out at once.
  if (std::fputs(row.c_str(), file_) < 0 || std::fflush(file_) != 0) failed_ = true;
}

bool AlarmLog::Close(std::string& error) {
  if (!file_) return true;
  const bool flushed = std::fflush(file_) == 0;
  const int reason = errno;
  const bool closed = file_ == stdout || std::fclose(file_) == 0;
  file_ = nullptr;
  if (failed_ || !flushed || !closed) {
    error = "writing the alarms to '" + path_ + "' failed: " + std::strerror(flushed ? errno : reason);
    return false;
  }
  return true;
}

}  // namespace qx
