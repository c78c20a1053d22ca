// The two trend charts of the main window (TwoPlot1): Chart1 with PV and SP
// above Chart2 with the controller output. The run redraws them after every
// step; the operator reads values under the mouse, drags a rectangle to zoom
// and double-clicks to undo the zoom.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <chrono>
#include <optional>
#include <vector>

#include "engine/LoopModel.h"
#include "engine/RunBuffers.h"
#include "ui/TrendPlot.h"

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
// Chart1 and the output of Chart2 (the trend's MV, engineering units).
struct ChartSample {
  double Time = 0;
  double PV = 0;
  double SP = 0;
  double Output = 0;
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
  // released meanwhile).
  void PlotSingleTrends(RunBuffers& buffers, int sampleCount, int simTime, const PIDLoop& single);

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
  // chart, shown as a band over both. Selecting leaves the axis ranges (and
  // with them any zoom) as they are.
  std::optional<TimeSpan> Stretch() const { return stretch_; }
  void SelectStretch(const TimeSpan& span);
  void ClearStretch();

  // The samples the charts show (after any pending redraw), oldest first;
  // only those within `within` when given.
  std::vector<ChartSample> Samples(std::optional<TimeSpan> within = std::nullopt);

  // A dashed curve over Chart1's PV, on its axes: a model's response.
  void ShowFittedResponse(const QVector<double>& time, const QVector<double>& pv);
  void HideFittedResponse();
  bool FittedResponseShown() const;

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

  TrendChart* chart1_;
  TrendChart* chart2_;
  QCPGraph* fitted_;  // the model response over Chart1's PV
  QPointer<QLabel> readout_;
  QPointer<QWidget> readoutHome_;  // where the label lived before the charts took it

  TrendScale scale_;
  ZoomSelection zoom_;
  std::optional<TimeSpan> stretch_;
  std::optional<double> stretchStart_;  // the time under the press while selecting

  // The redraw that waits for the next paint.
  RunBuffers* buffers_ = nullptr;
  TrendLayout layout_;
  bool paintPending_ = false;
  std::chrono::steady_clock::time_point lastPaint_{};
};

}  // namespace qx
