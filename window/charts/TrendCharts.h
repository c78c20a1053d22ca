// The two trend charts of the main window (TwoPlot1): Chart1 with PV and SP
// above Chart2 with the controller output. The run redraws them after every
// step; the operator reads values under the mouse, drags a rectangle to zoom
// and double-clicks to undo the zoom.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/LoopModel.h"
#include "engine/RunBuffers.h"
#include "ui/TrendPlot.h"
#include "ui/TrendTimeline.h"

class QCPGraph;
class QCustomPlot;
class QMouseEvent;

namespace qx {

class TrendChart;

// A range of the charts' time axis, From <= To.
struct TimeSpan {
  double From = 0;
  double To = 0;
  bool operator==(const TimeSpan&) const = default;
};

// One sample as the charts show it: the time axis value, PV and SP of
// Chart1 and the output of Chart2 (the trend's MV, engineering units), and
// when in the run it was taken: the run step and the run's clock.
struct ChartSample {
  double Time = 0;
  double PV = 0;
  double SP = 0;
  double Output = 0;
  int64_t Step = 0;
  double Clock = 0;
};

// A point of a curve drawn over the PV: the run step it belongs to and its
// value. The curve moves with the traces when the window compacts.
struct StepValue {
  int64_t Step = 0;
  double Value = 0;
};

class TrendCharts : public QWidget {
  Q_OBJECT

 public:
  // `readoutLabel` (the main window's Plot_PointDisplayLabel, may be null)
  // shows the values under the mouse; the charts move it onto the chart
  // under the mouse, at its top-left corner.
  explicit TrendCharts(QLabel* readoutLabel, QWidget* parent = nullptr);
  ~TrendCharts() override;

  // Every step of a run: the buffer effects of the redraw (the flat-trace
  // rule) happen now; the charts are repainted at most once per screen
  // refresh, and at once while they are hidden. The charts read `buffers`
  // again at that paint, so the record must outlive it (its arrays may be
  // released meanwhile); so must `timeline`, the run step of every place in
  // the window (none: the samples' steps are unknown).
  void PlotSingleTrends(RunBuffers& buffers, int sampleCount, int simTime, const PIDLoop& single,
                        const TrendTimeline* timeline = nullptr);

  // Paints now if a redraw is pending. Once the run has released its
  // buffers the series keep their points and only the axes follow.
  void FlushPaint();

  // The blue caption at the top right of Chart1.
  void SetTopRightCaption(const QString& text);

  // Toggles the scaling rule for the next redraw; returns the scale
  // button's new caption.
  QString TrendScaleButtonClick();
  bool TrendScaleAuto() const { return scale_.Auto; }

  // Chart1 and Chart2 stay hidden until the next redraw.
  void HideCharts();

  // Empties the read-out (a new run, the pointer off the plot).
  void ClearReadout();
  // Both charts as one picture, without the read-out.
  QImage Picture();

  QCustomPlot* Chart1() const;
  QCustomPlot* Chart2() const;

  // The stretch the operator selected with Shift and a drag on either
  // chart, shown as a band over both. It is kept as the run steps of the
  // samples it covers, so it stays on them when the window compacts.
  // Selecting leaves the axis ranges (and with them any zoom) as they are.
  std::optional<StepSpan> StretchSteps() const { return stretch_; }
  // The stretch's part that the charts show, in chart times.
  std::optional<TimeSpan> Stretch() const;
  void SelectStretch(const TimeSpan& span);
  void ClearStretch();

  // The samples the charts show (after any pending redraw), oldest first;
  // only those within `within` when given.
  std::vector<ChartSample> Samples(std::optional<TimeSpan> within = std::nullopt);
  // The run step and clock of every sample shown.
  const TrendTimeline& Shown() const { return shown_; }

  // A dashed curve over Chart1's PV, on its axes: a model's response, a
  // value for each run step; only the steps the charts show are drawn.
  void ShowFittedResponse(std::vector<StepValue> points);
  void HideFittedResponse();
  bool FittedResponseShown() const;

  // The cursor line: one vertical line across both charts at the sample
  // under the mouse, with SP, PV, OP and the sample's run time. Shown while
  // it is switched on, or while Ctrl is held, and the mouse is over a plot.
  void SetCursorLineOn(bool on);
  bool CursorLineOn() const { return cursorOn_; }
  // The text of the shown line; empty when none is shown.
  QString CursorLineText() const;

  // Frozen, the charts keep showing what they show while the run goes on
  // (its redraws still apply the flat-trace rule to the buffers);
  // unfrozen, they show the live trends again at once.
  void SetFrozen(bool frozen);
  bool Frozen() const { return frozen_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Paint();
  void RefillSeries(const RunBuffers& buffers);
  void ApplyRanges();

  // Mouse handlers shared by both charts; `chart` is the one under the mouse.
  void Chart1MouseDown(TrendChart& chart, const QPoint& at);
  void Chart1MouseMove(TrendChart& chart, const QPoint& at, const QPoint& globalAt);
  void Chart1MouseUp(TrendChart& chart);
  void Chart1DblClick(TrendChart& chart);
  void ShowReadout(TrendChart& chart, const QPoint& at, const QPoint& globalAt);
  // Keeps both plot rectangles starting at the same pixel column.
  void AlignPlots();
  void SetHints(TrendChart& chart, bool on);
  void ZoomTo(TrendChart& chart, const PixelRect& selection);
  // Shift and a drag: the stretch from the time under the press to the
  // time under the mouse.
  void StretchDown(TrendChart& chart, const QPoint& at);
  void StretchMove(TrendChart& chart, const QPoint& at);
  void StretchUp(TrendChart& chart, const QPoint& at);
  void ShowStretch(const std::optional<TimeSpan>& span);
  // The cursor line for the mouse at `at` on `chart` with `modifiers` held;
  // hidden when neither it is on nor Ctrl is held, or the mouse is off the
  // plot or the samples.
  void MoveCursorLine(TrendChart& chart, const QPoint& at, Qt::KeyboardModifiers modifiers);
  void HideCursorLine();
  // Ctrl pressed or let go with the mouse still over a chart.
  void CursorKey(bool held);
  QObject* WatchCursorKey();
  // After the window compacted, the band and the fitted curve move to where
  // their steps now show.
  void PlaceStepOverlays();

  TrendChart* chart1_;
  TrendChart* chart2_;
  QCPGraph* fitted_;  // the model response over Chart1's PV
  QPointer<QLabel> readout_;
  QPointer<QWidget> readoutHome_;  // where the label lived before the charts took it

  TrendScale scale_;
  ZoomSelection zoom_;
  std::optional<StepSpan> stretch_;
  std::vector<StepValue> fittedPoints_;
  std::optional<double> stretchStart_;  // the time under the press while selecting
  std::optional<int64_t> stretchStartStep_;  // and the step shown there
  double StretchStartTime() const;

  // The redraw that waits for the next paint.
  RunBuffers* buffers_ = nullptr;
  const TrendTimeline* timeline_ = nullptr;
  TrendTimeline shown_;  // the steps of what the series show
  // The shown mapping the overlays were last placed with.
  int64_t placedCompactions_ = -1;
  double placedOffset_ = 0;
  bool frozen_ = false;
  bool cursorOn_ = false;
  QObject* cursorKeys_ = nullptr;  // watches Ctrl for the cursor line
  double mvHigh_ = 0;  // the output trend's full scale, for OP in percent
  TrendLayout layout_;
  bool paintPending_ = false;
  std::chrono::steady_clock::time_point lastPaint_{};
};

}  // namespace qx
