// The run host of the window: a run executes inside the handler that
// started it, and between two steps it lets the window process its events,
// delivers the OPC client writes, shows the panel and draws the charts.
#pragma once

#include "app/StepHistory.h"
#include "ui/TrendTimeline.h"
#include "ui/PanelLogic.h"

namespace qx {

class Application;
class Prompter;
class TForm1;

class WindowHost : public PanelRunHost {
 public:
  WindowHost(Application& app, TForm1& form, Prompter& prompter);

  void ProcessMessages(MessagePoint point) override;
  void ShowSpeed(int level) override;
  void RunStarting() override;
  void RunEnded() override;
  void ShowLoopValues() override;
  void ShowTrackedSetPoint(float sp) override;
  void ShowTrackedOutput(float op) override;
  void TrendSampleRecorded(int index, int64_t step, float clock) override;
  void TrendsCompacted(int half) override;
  void StepComputed() override;
  void PublishItemValues() override;
  void PlotSingleTrends(RunBuffers& buffers, int sampleCount, int simTime) override;
  // Waits with the window's events processed, so the window answers at
  // every speed; ends early when a stop or a close is asked for.
  void Pause(int milliseconds) override;
  uint64_t PickupSeed() override;
  void FatalAllocationFailure(bool loopBuffers) override;

  // The steps of the current (or last) run that the trends can show.
  const StepHistory& History() const { return history_; }
  // The run step and clock of every place in the trend window.
  const TrendTimeline& Timeline() const { return timeline_; }

 private:
  Application& app_;
  TForm1& form_;
  Prompter& prompter_;
  StepHistory history_;
  TrendTimeline timeline_;
};

}  // namespace qx
