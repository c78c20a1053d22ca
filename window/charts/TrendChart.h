// One trend chart (Chart1 or Chart2): a QCustomPlot with the charts' look,
// two series on the left and the hidden right axis, the captions drawn above
// the plot rectangle and the rectangle shown while dragging to zoom.
#pragma once

#include <QColor>
#include <QRubberBand>
#include <QString>
#include <array>
#include <optional>
#include <qcustomplot.h>

#include "ui/TrendPlot.h"

namespace qx {

struct SeriesLook {
  QString Name;
  QColor Colour;
};

class TrendChart : public QCustomPlot {
  Q_OBJECT

 public:
  // The first series is drawn on the left axis, which takes its colour as
  // does `leftCaption`; the second on the hidden right axis.
  TrendChart(const QString& name, const SeriesLook& first, const SeriesLook& second, const QString& leftCaption,
             QWidget* parent);

  QCPGraph* FirstSeries() const { return graph(0); }
  QCPGraph* SecondSeries() const { return graph(1); }

  // The blue caption at the top right of the plot rectangle.
  void SetRightCaption(const QString& text);

  // The plot rectangle in widget pixels, right and bottom one past the last
  // pixel.
  PixelRect PlotRect() const;

  void ShowSelection(const PixelRect& selection);
  void HideSelection();

  // A translucent band over the whole height of the plot rectangle between
  // two times; it moves with the time axis.
  void ShowBand(double from, double to);
  void HideBand();
  bool BandShown() const;

  // The cursor line: a vertical line over the plot rectangle at time `x`,
  // and on this chart `text` in a box at its top (empty: no box). Drawn
  // over the plot without replotting it.
  void ShowCursorLine(double x, const QString& text);
  void HideCursorLine();
  bool CursorLineShown() const { return cursorX_.has_value(); }
  const QString& CursorText() const { return cursorText_; }

  // The axis ranges that a double-click returns to: those of the last
  // redraw.
  void RememberRanges();
  void RestoreRanges();

  // Whether the read-out also shows as the chart's tooltip.
  bool Hints = true;

  // A value as `axis` writes its tick labels.
  static QString AxisText(const QCPAxis* axis, double value);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void StyleAxes(const QColor& leftColour);
  void PaintCursorLine(QPainter& painter, const PixelRect& plot);
  void ReserveCaptionRoom();

  QFont captionFont_;
  QString leftCaption_;
  QColor leftColour_;
  QString rightCaption_;
  std::optional<double> cursorX_;
  QString cursorText_;
  QRubberBand* selectionBand_;
  QCPItemRect* band_;
  std::array<QCPRange, 3> unzoomed_;  // bottom, left, right axis
};

}  // namespace qx
