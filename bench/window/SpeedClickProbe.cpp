#include "bench/window/SpeedClickProbe.h"

#include <QObject>

#include "window/tools/SyntheticInput.h"

namespace qx::bench {
namespace {

// A person's pace: a click every 450 to 650 ms.
constexpr int kMinGapMs = 450;
constexpr int kMaxGapMs = 650;
// How long after its click a move may still show: the slowest pause, twice
// (a click queued behind one still waiting), and a redraw.
constexpr std::chrono::milliseconds kShowLimit{1500};
constexpr int kSlowestLevel = SpeedClickProbe::kSpeeds - 1;

}  // namespace

SpeedClickProbe::SpeedClickProbe(const LoopModel& model, QProgressBar* gauge, QToolButton* slower,
                                 QToolButton* faster, unsigned seed)
    : model_(model), gauge_(gauge), slower_(slower), faster_(faster), random_(seed) {
  QObject::connect(gauge_, &QProgressBar::valueChanged, gauge_, [this](int value) { GaugeChanged(value); });
}

bool SpeedClickProbe::SettledAt(int level) const {
  const RunControlRecord& c = model_.RunControl;
  return c.SleepMs == 100.0f * level && !c.SpeedCommandPending && gauge_->value() == kSlowestLevel - level;
}

void SpeedClickProbe::GaugeChanged(int value) {
  if (outstanding_.empty() || outstanding_.front().GaugeAfter != value) return;
  SpeedClickResult& r = results_[level_];
  r.Ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - outstanding_.front().ClickedAt).count());
  ++r.Acted;
  outstanding_.pop_front();
}

bool SpeedClickProbe::Step() {
  const Clock::time_point now = Clock::now();
  if (given_ == 0 && outstanding_.empty() && !SettledAt(level_)) {
    // On the way to the next speed: one "Slower" a step, not measured.
    if (!model_.RunControl.SpeedCommandPending) SendClick(slower_);
    nextClickAt_ = now;
    return false;
  }
  if (given_ < kClicksPerSpeed) {
    if (now < nextClickAt_) return false;
    // Away from the speed and back: "Slower" first, "Faster" first at the
    // slowest speed.
    const bool awayFirst = given_ % 2 == 0;
    const bool slower = awayFirst == (level_ < kSlowestLevel);
    const int gaugeNow = given_ == 0 ? gauge_->value() : gaugeAfterLast_;
    gaugeAfterLast_ = gaugeNow + (slower ? -1 : 1);
    SendClick(slower ? slower_ : faster_);
    lastClickAt_ = now;
    outstanding_.push_back({now, gaugeAfterLast_});
    ++results_[level_].Clicks;
    ++given_;
    std::uniform_int_distribution<int> gap(kMinGapMs, kMaxGapMs);
    nextClickAt_ = now + std::chrono::milliseconds(gap(random_));
    return false;
  }
  // Every click given: wait for the last moves, then the next speed.
  if (!outstanding_.empty() && now - lastClickAt_ < kShowLimit) return false;
  results_[level_].SleepMs = 100 * level_;
  outstanding_.clear();
  given_ = 0;
  return ++level_ == kSpeeds;
}

}  // namespace qx::bench
