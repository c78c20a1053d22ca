// The mouse on the trend charts: read-out of the values under the mouse,
// drag-to-zoom and double-click to undo the zoom, the same on both charts.
#include <QMouseEvent>
#include <QToolTip>

#include "window/charts/TrendChart.h"
#include "window/charts/TrendCharts.h"

namespace qx {
namespace {

// How near a series line the mouse must be to get the cross cursor, pixels.
constexpr double kLineHitPixels = 3;

bool OverSeriesLine(const TrendChart& chart, const QPoint& at) {
  for (int i = 0; i < chart.graphCount(); ++i) {
    const double distance = chart.graph(i)->selectTest(at, false);
    if (distance >= 0 && distance <= kLineHitPixels) return true;
  }
  return false;
}

}  // namespace

bool TrendCharts::eventFilter(QObject* watched, QEvent* event) {
  TrendChart* chart = watched == chart1_ ? chart1_ : watched == chart2_ ? chart2_ : nullptr;
  if (!chart) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      Chart1MouseDown(*chart, static_cast<QMouseEvent*>(event)->position().toPoint());
      return true;
    case QEvent::MouseButtonDblClick:
      // A double-click is also the second button-down.
      Chart1DblClick(*chart);
      Chart1MouseDown(*chart, static_cast<QMouseEvent*>(event)->position().toPoint());
      return true;
    case QEvent::MouseMove: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      Chart1MouseMove(*chart, mouse->position().toPoint(), mouse->globalPosition().toPoint());
      return true;
    }
    case QEvent::MouseButtonRelease:
      Chart1MouseUp(*chart);
      return true;
    case QEvent::Leave:
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
  if (readout_) readout_->clear();
  chart.unsetCursor();
}

void TrendCharts::ShowReadout(TrendChart& chart, const QPoint& at, const QPoint& globalAt) {
  const QCPGraph* series = chart.FirstSeries();
  const double x = series->keyAxis()->pixelToCoord(at.x());
  const double y = series->valueAxis()->pixelToCoord(at.y());
  const QString text =
      "  " + TrendChart::AxisText(chart.yAxis, y) + " : " + TrendChart::AxisText(chart.xAxis, x);
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

}  // namespace qx
