// What a run needs from the program around it: the window or the headless
// runner. Every operation has a default that does nothing, so a batch run or
// a benchmark overrides only what it uses.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace qx {

struct RunBuffers;

// Where in a step the run lets its host process pending messages.
enum class MessagePoint {
  StepStart,  // the first thing of every step
  Pacing,     // around the speed command and the pause at the end of a step
};

class RunHost {
 public:
  virtual ~RunHost() = default;

  // Handlers of the operator, timers, OPC writes and the master link run
  // here, between two steps; they only change the model and its flags.
  virtual void ProcessMessages(MessagePoint) {}

  // Whether the run calls ProcessMessages at run step `step` (counted from
  // the run's start). By default it does at every step; a host that has
  // work only at steps it knows in advance, or when another thread raises
  // one of its waiting flags, says so (ProcessMessagesFrom,
  // WatchWaitingFlag), and the other steps skip the call.
  bool MessagesDue(int64_t step) const {
    static_assert(kWaitingFlags == 3, "MessagesDue reads every waiting flag");
    // Twice a step: three plain loads and no branch per flag (an unwatched
    // slot reads a flag that is never raised).
    return step >= messagesDueStep_ ||
           (waitingFlags_[0]->load(std::memory_order_acquire) |
            waitingFlags_[1]->load(std::memory_order_acquire) |
            waitingFlags_[2]->load(std::memory_order_acquire));
  }

  // The speed gauge and speed control show kSlowestSpeedLevel - SpeedLevel.
  virtual void ShowSpeed(int) {}

  // The display calls of every step that a host without a display does
  // without: the run skips those the host has left out.
  enum DisplayCall : uint32_t {
    kShowSpeed = 1u << 0,            // ShowSpeed
    kTrendSampleRecorded = 1u << 1,  // TrendSampleRecorded and TrendsCompacted
    kPlotSingleTrends = 1u << 2,     // PlotSingleTrends
  };
  bool MakesDisplayCall(DisplayCall call) const { return (displayCalls_ & call) != 0; }

  // Cursor, running indicator and chart panels at the start and end of a
  // run.
  virtual void RunStarting() {}
  virtual void RunEnded() {}

  // Reads every input control into the model and normalises it.
  virtual void ReadOperatorInputs() {}

  // Reads the tuning controls (P, I, D, SP, filter, PV noise, OP) into the
  // model, as the pickup of pending changes does; PV noise is still percent.
  virtual void ReadTuningInputs() {}

  // Writes the model back into the input controls.
  virtual void ShowLoopValues() {}

  // Tracking display: the set point (in Manual) or the output (in Auto),
  // already formatted.
  virtual void ShowTrackedSetPoint(float) {}
  virtual void ShowTrackedOutput(float) {}

  // Publishes the loop values at a trend sample.
  virtual void PublishItemValues() {}

  // The trend sample at window place `index` was recorded at run step
  // `step` (counted from the run's start; it never wraps), the clock at
  // `clock`; and the window dropped its older half (places half .. 2 half - 1
  // moved to the front). Together they tell which step each place holds.
  virtual void TrendSampleRecorded(int /*index*/, int64_t /*step*/, float /*clock*/) {}
  virtual void TrendsCompacted(int /*half*/) {}

  // After the plant has advanced, before the clock does.
  virtual void StepComputed() {}

  // Redraws the charts after every step, from `sampleCount` samples of the
  // trends and a window of `simTime` time units. The buffers are writable:
  // the charts' flat-trace rule overwrites trend entries.
  virtual void PlotSingleTrends(RunBuffers&, int /*sampleCount*/, int /*simTime*/) {}

  // The pause of the speed control after a step.
  virtual void Pause(int /*milliseconds*/) {}

  // A seed for the noise generator whenever a run picks up changed tuning
  // (the time of day in an interactive program).
  virtual uint64_t PickupSeed() { return 0; }

  // The run's buffers could not be had: tell the operator and end the
  // program. `loopBuffers` tells which of the two allocations failed.
  virtual void FatalAllocationFailure(bool /*loopBuffers*/) {}

 protected:
  // ProcessMessages is next called at run step `step` or, before it, when a
  // watched flag is set. A host that narrows this sets it again in every
  // ProcessMessages and at the start of every run (whose steps count from
  // 0 again).
  void ProcessMessagesFrom(int64_t step) { messagesDueStep_ = step; }
  // Up to kWaitingFlags flags, each set by another thread (or a signal
  // handler) while work waits for ProcessMessages; each must outlive the
  // host or be unwatched (nullptr) first.
  static constexpr std::size_t kWaitingFlags = 3;
  void WatchWaitingFlag(std::size_t slot, const std::atomic<bool>* flag) {
    waitingFlags_.at(slot) = flag ? flag : &kNeverRaised;
  }
  // For a host whose overrides of these calls do nothing (best declared
  // final, so that a body cannot be added unseen).
  void LeaveOutDisplayCalls(uint32_t calls) { displayCalls_ &= ~calls; }

 private:
  int64_t messagesDueStep_ = 0;  // 0: every step
  static inline const std::atomic<bool> kNeverRaised{false};
  std::array<const std::atomic<bool>*, kWaitingFlags> waitingFlags_{&kNeverRaised, &kNeverRaised,
                                                                    &kNeverRaised};
  uint32_t displayCalls_ = ~0u;
};

}  // namespace qx
