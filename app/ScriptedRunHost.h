// The run host of a run without a window: the application's in-memory
// operator panel, scripted actions performed at their steps, the end of the
// run after a number of steps or on an interrupt, the loop analysis and the
// alarms fed at every step, and the noise reseeded from a fixed seed.
// qxsim's runs and every point of a sweep (in qxsim or the window) run on
// it.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "app/Application.h"
#include "app/PanelActions.h"
#include "ui/PanelLogic.h"

namespace qx {

class ScriptedRunHost : public PanelRunHost {
 public:
  // `actions` and `interrupted` must outlive the host. `steps`: the run
  // stops at the start of that step; `seed`: the base of every reseed of
  // the noise (none: the clock).
  ScriptedRunHost(Application& app, const std::vector<ScriptedAction>& actions, std::optional<int64_t> steps,
                  std::optional<uint64_t> seed, const std::atomic<bool>& interrupted);

  void ProcessMessages(MessagePoint point) override;
  // Nothing to show. Final, and left out of the run's calls (constructor):
  // a body added to one of them must also put it back.
  void ShowSpeed(int) final {}
  void TrendSampleRecorded(int, int64_t, float) final {}
  void TrendsCompacted(int) final {}
  void PlotSingleTrends(RunBuffers&, int, int) final {}
  // A new analysis, and for a served run a new history and the run state.
  void RunStarting() override;
  void RunEnded() override;
  // Inline, like the feeds it calls: a host that extends it calls it at
  // every step.
  void StepComputed() override {
    if (analysisFed_) app_.Analysis().StepComputed(sim_.Model, sim_.Run.t);
    app_.Alarms().StepComputed(sim_.Model, sim_.Run.t);
  }
  // Whether the loop analysis is fed (the default). A run whose indices
  // nobody reads (no metrics, no server) leaves it out: it is a tenth of
  // a step's work. Set before the run starts.
  void SetAnalysisFed(bool fed) { analysisFed_ = fed; }
  bool AnalysisFed() const { return analysisFed_; }
  void PublishItemValues() override { app_.PublishItemValues(); }
  // No pause: a run without a window goes as fast as it can unless a
  // front end paces it (qxsim run honours the case's pacing).
  void Pause(int) override {}
  uint64_t PickupSeed() override;

 protected:
  // Called after the pending work is delivered and before the interrupt and
  // the step's actions are looked at.
  virtual void PendingWorkDelivered() {}
  // The next step at which ProcessMessages has work known in advance (an
  // action, the last step), or `step` when it has work at every step.
  // Client writes and an interrupt raise flags the run watches instead.
  virtual int64_t NextMessageStep(int64_t step) const;

  Application& app_;
  const std::atomic<bool>& interrupted_;

 private:
  // The deliveries, the interrupt and the step's actions.
  void ProcessStepMessages(MessagePoint point);

  std::optional<int64_t> steps_;
  std::optional<uint64_t> seed_;
  std::size_t nextAction_ = 0;
  std::vector<const ScriptedAction*> actionsByStep_;
  uint64_t pickups_ = 0;
  bool analysisFed_ = true;
};

}  // namespace qx
