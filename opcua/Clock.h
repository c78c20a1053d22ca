#pragma once
// Time sources of the server: a monotonic millisecond count for timers and
// the wall clock for timestamps. Tests inject a ManualClock.

#include <atomic>
#include <chrono>
#include <cstdint>

#include "opcua/Types.h"

namespace opcua {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t MonotonicMs() const = 0;
  virtual DateTime Now() const = 0;
};

class SystemClock final : public Clock {
 public:
  int64_t MonotonicMs() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  DateTime Now() const override { return DateTime::Now(); }
};

// A clock that moves only when told to.
class ManualClock final : public Clock {
 public:
  int64_t MonotonicMs() const override { return ms_.load(); }
  DateTime Now() const override { return DateTime::FromUnixMicros(1'700'000'000'000'000LL + ms_.load() * 1000); }
  void Advance(int64_t ms) { ms_ += ms; }

 private:
  std::atomic<int64_t> ms_{1000};
};

}  // namespace opcua
