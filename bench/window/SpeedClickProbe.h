// The speed arrows at a person's pace: at each of the seven speeds, clicks
// on "Slower" and "Faster" in turn (from the slowest speed "Faster" first),
// about half a second apart whether or not the run has taken the one
// before, and without regard to where the run is in its step. Each click
// should move the gauge by one; the probe counts the clicks whose move
// showed and times each from its click to the gauge's change.
#pragma once

#include <QProgressBar>
#include <QToolButton>
#include <array>
#include <chrono>
#include <deque>
#include <random>
#include <vector>

#include "engine/LoopModel.h"

namespace qx::bench {

struct SpeedClickResult {
  int SleepMs = 0;       // the pause at that speed
  int Clicks = 0;        // clicks given at that speed
  int Acted = 0;         // clicks whose move of the gauge showed
  std::vector<double> Ms;  // click to the gauge's change, of those that acted
};

class SpeedClickProbe {
 public:
  static constexpr int kSpeeds = 7;
  static constexpr int kClicksPerSpeed = 8;  // an even count: the speed ends where it began

  SpeedClickProbe(const LoopModel& model, QProgressBar* gauge, QToolButton* slower, QToolButton* faster,
                  unsigned seed);

  // One tick of the script, from the fastest speed to the slowest; true
  // once every speed has been measured.
  bool Step();
  const std::array<SpeedClickResult, kSpeeds>& Results() const { return results_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Outstanding {
    Clock::time_point ClickedAt;
    int GaugeAfter;
  };

  void GaugeChanged(int value);
  bool SettledAt(int level) const;

  const LoopModel& model_;
  QProgressBar* gauge_;
  QToolButton* slower_;
  QToolButton* faster_;
  std::mt19937 random_;

  int level_ = 0;        // the speed measured now: SleepMs / 100
  int given_ = 0;        // clicks given at this speed
  int gaugeAfterLast_ = 0;  // where the clicks given so far take the gauge
  Clock::time_point nextClickAt_{};
  Clock::time_point lastClickAt_{};
  std::deque<Outstanding> outstanding_;
  std::array<SpeedClickResult, kSpeeds> results_{};
};

}  // namespace qx::bench
