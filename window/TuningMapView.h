// The picture of a tuning map: one index of a sweep over P (across) and I
// (up) in the heat map's colours, unstable points grey with a cross, the
// case's setting as a ringed dot, the chosen cell outlined, both axes
// labelled and a colour scale. A click on a cell reports the cell.
#pragma once

#include <QWidget>
#include <optional>
#include <utility>

#include "sweep/SweepMap.h"

namespace qx {

class TuningMapView : public QWidget {
  Q_OBJECT

 public:
  explicit TuningMapView(QWidget* parent = nullptr);

  // Shows `map`, or nothing (with `note` in its place) when null.
  void ShowMap(const sweep::HeatMap* map, const QString& note = {});
  // Outlines the cell (ix, iy) of the map; none when empty.
  void MarkChosen(std::optional<std::pair<int, int>> cell);
  std::optional<std::pair<int, int>> Chosen() const { return chosen_; }

  // The cell under `point` (widget coordinates), if any; and the centre of
  // a cell, for a click at it.
  std::optional<std::pair<int, int>> CellAt(const QPoint& point) const;
  QPoint CellCentre(int ix, int iy) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void cellClicked(int ix, int iy);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  // Where the cells lie.
  QRectF Plot() const;
  // The horizontal (P) and vertical (I) place of a setting, between cell
  // centres by its value.
  double PlaceX(double value) const;
  double PlaceY(double value) const;
  void DrawAxes(class QPainter& painter, const QRectF& plot) const;
  void DrawScale(class QPainter& painter, const QRectF& plot) const;

  std::optional<sweep::HeatMap> map_;
  QString note_;
  std::optional<std::pair<int, int>> chosen_;
};

}  // namespace qx
