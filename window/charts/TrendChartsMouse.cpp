// The mouse on the trend charts: read-out of the values under the mouse,
// drag-to-zoom and double-click to undo the zoom, and with Shift held a drag
// that selects a stretch of time; the same on both charts.
#include <QMouseEvent>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <utility>

#include "window/charts/TrendChart.h"
#include "window/charts/TrendCharts.h"

namespace qx {
namespace {

// How near a series line the mouse must be to get the cross cursor, pixels.
constexpr double kLineHitPixels = 3;
// A Shift-drag narrower than this, pixels, is a click: it clears the stretch.
constexpr int kMinimumStretchPixels = 4;

bool OverSeriesLine(const TrendChart& chart, const QPoint& at) {
  for (int i = 0; i < chart.graphCount(); ++i) {
    const double distance = chart.graph(i)->selectTest(at, false);
    if (distance >= 0 && distance <= kLineHitPixels) return true;
  }
  return false;
}

// The sample of `series` nearest to `key` along the key axis; null when the
// series has none.
const QCPGraphData* NearestSample(const QCPGraph& series, double key) {
  const QCPGraphDataContainer& data = *series.data();
  if (data.isEmpty()) return nullptr;
  auto after = data.findBegin(key, false);  // the first at or after `key`
  if (after == data.constEnd()) return &*(after - 1);
  if (after == data.constBegin()) return &*after;
  auto before = after - 1;
  return key - before->key <= after->key - key ? &*before : &*after;
}

}  // namespace

bool TrendCharts::eventFilter(QObject* watched, QEvent* event) {
  TrendChart* chart = watched == chart1_ ? chart1_ : watched == chart2_ ? chart2_ : nullptr;
  if (!chart) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton && mouse->modifiers().testFlag(Qt::ShiftModifier))
        StretchDown(*chart, mouse->position().toPoint());
      else
        Chart1MouseDown(*chart, mouse->position().toPoint());
      return true;
    }
    case QEvent::MouseButtonDblClick:
      // A double-click is also the second button-down.
      Chart1DblClick(*chart);
      Chart1MouseDown(*chart, static_cast<QMouseEvent*>(event)->position().toPoint());
      return true;
    case QEvent::MouseMove: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (stretchStart_) StretchMove(*chart, mouse->position().toPoint());
      Chart1MouseMove(*chart, mouse->position().toPoint(), mouse->globalPosition().toPoint());
      MoveCursorLine(*chart, mouse->position().toPoint(), mouse->modifiers());
      return true;
    }
    case QEvent::MouseButtonRelease:
      if (stretchStart_)
        StretchUp(*chart, static_cast<QMouseEvent*>(event)->position().toPoint());
      else
        Chart1MouseUp(*chart);
      return true;
    case QEvent::Leave:
      HideCursorLine();
      ClearReadout();
      chart->unsetCursor();
      return false;
    case QEvent::FocusOut:
      chart->unsetCursor();
      return false;
    default:
      return QWidget::eventFilter(watched, event);
  }
}

void TrendCharts::Chart1MouseDown(TrendChart& chart, const QPoint& at) {
  chart.HideSelection();
  if (zoom_.Press(at.x(), at.y(), chart.PlotRect())) {
    SetHints(chart, true);
    return;
  }
  chart.unsetCursor();
  SetHints(chart, false);
  QToolTip::hideText();
}

void TrendCharts::Chart1MouseMove(TrendChart& chart, const QPoint& at, const QPoint& globalAt) {
  const PixelRect plot = chart.PlotRect();
  const bool inside = plot.Contains(at.x(), at.y());
  if (!inside) SetHints(chart, false);
  if (inside && zoom_.Dragging) {
    // Only a rectangle right of and below the start point is shown.
    if (zoom_.Move(at.x(), at.y(), plot))
      chart.ShowSelection(zoom_.Selection);
    else
      chart.HideSelection();
  }
  if (inside) {
    ShowReadout(chart, at, globalAt);
    return;
  }
  ClearReadout();
  chart.unsetCursor();
}

void TrendCharts::ShowReadout(TrendChart& chart, const QPoint& at, const QPoint& globalAt) {
  // The values of the first series' sample under the mouse, not the
  // pointer's own position, each as its axis writes its labels.
  const QCPGraph* series = chart.FirstSeries();
  const QCPGraphData* sample = NearestSample(*series, series->keyAxis()->pixelToCoord(at.x()));
  if (!sample) {
    ClearReadout();
    return;
  }
  const QString text = "  " + TrendChart::AxisText(series->valueAxis(), sample->value) + " : " +
                       TrendChart::AxisText(series->keyAxis(), sample->key);
  if (readout_) {
    if (readout_->parentWidget() != &chart) readout_->setParent(&chart);
    readout_->setText(text);
    readout_->move(0, 0);
    readout_->show();
    readout_->raise();
  }
  if (chart.Hints) {
    chart.setToolTip(text);
    if (QToolTip::isVisible()) QToolTip::showText(globalAt, text, &chart);
  }
  if (OverSeriesLine(chart, at))
    chart.setCursor(Qt::CrossCursor);
  else
    chart.unsetCursor();
}

void TrendCharts::SetHints(TrendChart& chart, bool on) {
  chart.Hints = on;
  if (!on) chart.setToolTip(QString());
}

void TrendCharts::Chart1MouseUp(TrendChart& chart) {
  switch (zoom_.Up()) {
    case ZoomSelection::Release::Ignored:
      return;
    case ZoomSelection::Release::Zoom:
      chart.HideSelection();
      ZoomTo(chart, zoom_.Selection);
      return;
    case ZoomSelection::Release::Cancel:
      chart.HideSelection();
      chart.replot(QCustomPlot::rpQueuedRefresh);
      return;
  }
}

void TrendCharts::ZoomTo(TrendChart& chart, const PixelRect& s) {
  // Every axis takes the values under the rectangle; the next redraw resets
  // them.
  chart.xAxis->setRange(chart.xAxis->pixelToCoord(s.Left), chart.xAxis->pixelToCoord(s.Right));
  for (QCPAxis* axis : {chart.yAxis, chart.yAxis2})
    axis->setRange(axis->pixelToCoord(s.Bottom), axis->pixelToCoord(s.Top));
  chart.replot(QCustomPlot::rpQueuedRefresh);
}

void TrendCharts::Chart1DblClick(TrendChart& chart) {
  chart.setCursor(Qt::WaitCursor);
  chart.RestoreRanges();
  chart.replot(QCustomPlot::rpQueuedRefresh);
  chart.unsetCursor();
}

// --- Stretch selection: Shift and a drag ---

namespace {

// The time under pixel column `x`, limited to the plot rectangle.
double TimeAt(const TrendChart& chart, int x) {
  const PixelRect plot = chart.PlotRect();
  return chart.xAxis->pixelToCoord(std::clamp(x, plot.Left, plot.Right - 1));
}

}  // namespace

void TrendCharts::StretchDown(TrendChart& chart, const QPoint& at) {
  if (!chart.PlotRect().Contains(at.x(), at.y())) return;
  stretchStart_ = TimeAt(chart, at.x());
  // The step under the press, so a compaction during the drag moves it
  // with the traces.
  const std::optional<int> place = shown_.IndexNear(*stretchStart_);
  stretchStartStep_ = place ? std::optional<int64_t>(shown_.StepAt(*place)) : std::nullopt;
}

void TrendCharts::StretchMove(TrendChart& chart, const QPoint& at) {
  const double now = TimeAt(chart, at.x());
  const double start = StretchStartTime();
  ShowStretch(TimeSpan{std::min(start, now), std::max(start, now)});
}

double TrendCharts::StretchStartTime() const {
  if (stretchStartStep_)
    if (const std::optional<double> time = shown_.TimeOfStep(*stretchStartStep_)) return *time;
  return *stretchStart_;
}

void TrendCharts::StretchUp(TrendChart& chart, const QPoint& at) {
  const double start = StretchStartTime();
  stretchStart_.reset();
  stretchStartStep_.reset();
  const double end = TimeAt(chart, at.x());
  const double pixels = std::fabs(chart.xAxis->coordToPixel(end) - chart.xAxis->coordToPixel(start));
  if (pixels < kMinimumStretchPixels)
    ClearStretch();
  else
    SelectStretch({std::min(start, end), std::max(start, end)});
}

}  // namespace qx
