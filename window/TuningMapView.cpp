#include "window/TuningMapView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <cmath>

namespace qx {
namespace {

// Room around the cells: the I labels on the left, the P labels below, the
// colour scale on the right, the title above.
constexpr int kLeft = 64, kBottom = 44, kTop = 44, kRight = 96;
constexpr int kScaleWidth = 16, kScaleGap = 14;
// Labels on an axis stand at least this far apart.
constexpr int kLabelSpacing = 44;
// A cell stays readable and clickable down to this size.
constexpr int kSmallestCell = 12;
constexpr int kScaleTicks = 4;  // intervals of the colour scale's labels

const QColor kUnstable(150, 150, 150);
const QColor kUndefined(215, 215, 215);
const QColor kNotRun(Qt::white);

QColor CellColour(const sweep::HeatMap& map, const sweep::MapCell& cell) {
  switch (cell.State) {
    case sweep::CellState::NotRun: return kNotRun;
    case sweep::CellState::Unstable: return kUnstable;
    case sweep::CellState::Undefined: return kUndefined;
    case sweep::CellState::Valued: break;
  }
  const sweep::Colour c = sweep::RampColour(map.ScalePosition(cell.Value));
  return QColor::fromRgbF(static_cast<float>(c.R), static_cast<float>(c.G), static_cast<float>(c.B));
}

QString Value(double value) { return QString::number(value, 'g', 4); }

// Every how many cells a label fits.
int LabelStride(double cellSize) { return std::max(1, static_cast<int>(std::ceil(kLabelSpacing / cellSize))); }

}  // namespace

TuningMapView::TuningMapView(QWidget* parent) : QWidget(parent) {
  setObjectName("TuningMapView");
  setMouseTracking(true);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize TuningMapView::sizeHint() const { return {460, 400}; }
QSize TuningMapView::minimumSizeHint() const { return {kLeft + kRight + 160, kTop + kBottom + 140}; }

void TuningMapView::ShowMap(const sweep::HeatMap* map, const QString& note) {
  if (map)
    map_ = *map;
  else
    map_.reset();
  note_ = note;
  update();
}

void TuningMapView::MarkChosen(std::optional<std::pair<int, int>> cell) {
  chosen_ = cell;
  update();
}

QRectF TuningMapView::Plot() const {
  QRectF plot(kLeft, kTop, width() - kLeft - kRight, height() - kTop - kBottom);
  if (!map_ || map_->X.empty() || map_->Y.empty()) return plot;
  // Square cells when there is room, centred.
  const double cell = std::max<double>(kSmallestCell, std::min(plot.width() / map_->X.size(), plot.height() / map_->Y.size()));
  const QSizeF size(cell * map_->X.size(), cell * map_->Y.size());
  return QRectF(plot.left() + std::max(0.0, (plot.width() - size.width()) / 2),
                plot.top() + std::max(0.0, (plot.height() - size.height()) / 2), size.width(), size.height());
}

std::optional<std::pair<int, int>> TuningMapView::CellAt(const QPoint& point) const {
  if (!map_ || map_->X.empty() || map_->Y.empty()) return std::nullopt;
  const QRectF plot = Plot();
  if (!plot.contains(point)) return std::nullopt;
  const int ix = std::clamp(static_cast<int>((point.x() - plot.left()) / plot.width() * map_->X.size()), 0,
                            static_cast<int>(map_->X.size()) - 1);
  const int fromBottom = std::clamp(static_cast<int>((plot.bottom() - point.y()) / plot.height() * map_->Y.size()),
                                    0, static_cast<int>(map_->Y.size()) - 1);
  return std::pair{ix, fromBottom};
}

QPoint TuningMapView::CellCentre(int ix, int iy) const {
  const QRectF plot = Plot();
  if (!map_ || map_->X.empty() || map_->Y.empty()) return plot.center().toPoint();
  const double w = plot.width() / map_->X.size(), h = plot.height() / map_->Y.size();
  return QPointF(plot.left() + (ix + 0.5) * w, plot.bottom() - (iy + 0.5) * h).toPoint();
}

double TuningMapView::PlaceX(double value) const {
  const QRectF plot = Plot();
  const std::vector<double>& x = map_->X;
  const double w = plot.width() / x.size();
  if (x.size() < 2 || x.back() == x.front()) return plot.left() + plot.width() / 2;
  return plot.left() + w / 2 + (value - x.front()) / (x.back() - x.front()) * (plot.width() - w);
}

double TuningMapView::PlaceY(double value) const {
  const QRectF plot = Plot();
  const std::vector<double>& y = map_->Y;
  const double h = plot.height() / y.size();
  if (y.size() < 2 || y.back() == y.front()) return plot.top() + plot.height() / 2;
  return plot.bottom() - h / 2 - (value - y.front()) / (y.back() - y.front()) * (plot.height() - h);
}

void TuningMapView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().base());
  if (!map_ || map_->X.empty() || map_->Y.empty()) {
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, note_);
    return;
  }
  const sweep::HeatMap& map = *map_;
  const QRectF plot = Plot();
  const double w = plot.width() / map.X.size(), h = plot.height() / map.Y.size();
  for (std::size_t ix = 0; ix < map.X.size(); ++ix) {
    for (std::size_t iy = 0; iy < map.Y.size(); ++iy) {
      const sweep::MapCell& cell = map.At(ix, iy);
      const QRectF box(plot.left() + ix * w, plot.bottom() - (iy + 1) * h, w, h);
      painter.fillRect(box, CellColour(map, cell));
      if (cell.State == sweep::CellState::Unstable) {
        painter.setPen(QPen(QColor(90, 90, 90), 1));
        const QRectF in = box.adjusted(w * 0.25, h * 0.25, -w * 0.25, -h * 0.25);
        painter.drawLine(in.topLeft(), in.bottomRight());
        painter.drawLine(in.topRight(), in.bottomLeft());
      }
    }
  }
  painter.setPen(QPen(palette().color(QPalette::Text), 1));
  painter.drawRect(plot);

  painter.setRenderHint(QPainter::Antialiasing);
  // The case's setting: a white dot in a black ring, where it lies between
  // the cells.
  const QPointF at(PlaceX(map.CaseX), PlaceY(map.CaseY));
  const double r = std::clamp(std::min(w, h) * 0.3, 4.0, 8.0);
  painter.setPen(QPen(Qt::black, 2));
  painter.setBrush(Qt::white);
  painter.drawEllipse(at, r, r);
  if (chosen_ && chosen_->first < static_cast<int>(map.X.size()) && chosen_->second < static_cast<int>(map.Y.size())) {
    const QRectF box(plot.left() + chosen_->first * w, plot.bottom() - (chosen_->second + 1) * h, w, h);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 3));
    painter.drawRect(box.adjusted(1, 1, -1, -1));
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(box.adjusted(-1, -1, 1, 1));
  }
  painter.setRenderHint(QPainter::Antialiasing, false);
  DrawAxes(painter, plot);
  DrawScale(painter, plot);
}

void TuningMapView::DrawAxes(QPainter& painter, const QRectF& plot) const {
  const sweep::HeatMap& map = *map_;
  const QFontMetrics metrics(font());
  const double w = plot.width() / map.X.size(), h = plot.height() / map.Y.size();
  painter.setBrush(Qt::NoBrush);
  painter.setPen(palette().color(QPalette::Text));
  const int strideX = LabelStride(w), strideY = LabelStride(h);
  for (std::size_t ix = 0; ix < map.X.size(); ix += strideX) {
    const double x = plot.left() + (ix + 0.5) * w;
    painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 4));
    const QString text = Value(map.X[ix]);
    painter.drawText(QPointF(x - metrics.horizontalAdvance(text) / 2.0, plot.bottom() + 6 + metrics.ascent()), text);
  }
  for (std::size_t iy = 0; iy < map.Y.size(); iy += strideY) {
    const double y = plot.bottom() - (iy + 0.5) * h;
    painter.drawLine(QPointF(plot.left() - 4, y), QPointF(plot.left(), y));
    const QString text = Value(map.Y[iy]);
    painter.drawText(QPointF(plot.left() - 6 - metrics.horizontalAdvance(text), y + metrics.ascent() / 2.0 - 1), text);
  }
  const QString xName = QString::fromStdString(map.XName), yName = QString::fromStdString(map.YName);
  painter.drawText(QRectF(plot.left(), plot.bottom() + 8 + metrics.height(), plot.width(), metrics.height()),
                   Qt::AlignHCenter, xName);
  // The vertical axis's name above its labels, upright: the names are short.
  painter.drawText(QRectF(plot.left() - kLeft, plot.top() - metrics.height() - 2, kLeft - 6, metrics.height()),
                   Qt::AlignRight | Qt::AlignVCenter, yName);
  QString title = tr("%1 over %2 and %3").arg(QString::fromStdString(map.IndexName), xName, yName);
  if (!map.SliceText.empty()) title += tr(" at %1").arg(QString::fromStdString(map.SliceText));
  QFont bold = font();
  bold.setBold(true);
  painter.setFont(bold);
  painter.drawText(QRectF(0, 2, width(), kTop - 4), Qt::AlignHCenter | Qt::AlignVCenter, title);
  painter.setFont(font());
}

void TuningMapView::DrawScale(QPainter& painter, const QRectF& plot) const {
  const sweep::HeatMap& map = *map_;
  const QFontMetrics metrics(font());
  painter.setBrush(Qt::NoBrush);
  const QRectF bar(plot.right() + kScaleGap, plot.top(), kScaleWidth, std::max(plot.height() * 0.6, 60.0));
  const bool valued = map.High >= map.Low && std::any_of(map.Cells.begin(), map.Cells.end(), [](const sweep::MapCell& c) {
    return c.State == sweep::CellState::Valued;
  });
  painter.setPen(palette().color(QPalette::Text));
  if (valued) {
    const int rows = static_cast<int>(bar.height());
    for (int i = 0; i < rows; ++i) {
      const sweep::Colour c = sweep::RampColour(1.0 - static_cast<double>(i) / std::max(rows - 1, 1));
      painter.setPen(QColor::fromRgbF(static_cast<float>(c.R), static_cast<float>(c.G), static_cast<float>(c.B)));
      painter.drawLine(QPointF(bar.left(), bar.top() + i), QPointF(bar.right(), bar.top() + i));
    }
    painter.setPen(palette().color(QPalette::Text));
    painter.drawRect(bar);
    for (int t = 0; t <= kScaleTicks; ++t) {
      const double position = static_cast<double>(t) / kScaleTicks;
      const double y = bar.bottom() - position * bar.height();
      painter.drawLine(QPointF(bar.right(), y), QPointF(bar.right() + 3, y));
      painter.drawText(QPointF(bar.right() + 5, y + metrics.ascent() / 2.0 - 1), Value(map.ScaleValue(position)));
    }
  }
  // What the colours mean: the scale's caption, then the grey cells.
  double y = bar.bottom() + metrics.height() + 4;
  if (map.LogScale) {
    painter.drawText(QPointF(bar.left(), y), tr("log scale"));
    y += metrics.height();
  }
  for (const auto& [colour, text] : {std::pair{kUnstable, tr("unstable")}, std::pair{kUndefined, tr("undefined")}}) {
    const QRectF swatch(bar.left(), y - metrics.ascent() + 1, 10, 10);
    painter.fillRect(swatch, colour);
    painter.drawRect(swatch);
    painter.drawText(QPointF(swatch.right() + 4, y), text);
    y += metrics.height() + 2;
  }
  const QRectF ring(bar.left(), y - metrics.ascent() + 1, 10, 10);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::black, 2));
  painter.setBrush(Qt::white);
  painter.drawEllipse(ring.adjusted(1, 1, -1, -1));
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(palette().color(QPalette::Text));
  painter.drawText(QPointF(ring.right() + 4, y), tr("now"));
}

void TuningMapView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  if (const auto cell = CellAt(event->position().toPoint())) emit cellClicked(cell->first, cell->second);
}

void TuningMapView::mouseMoveEvent(QMouseEvent* event) {
  const auto cell = CellAt(event->position().toPoint());
  if (!cell) {
    QToolTip::hideText();
    return;
  }
  const sweep::HeatMap& map = *map_;
  const sweep::MapCell& c = map.At(cell->first, cell->second);
  QString value;
  switch (c.State) {
    case sweep::CellState::NotRun: value = tr("not run"); break;
    case sweep::CellState::Unstable: value = tr("unstable"); break;
    case sweep::CellState::Undefined: value = tr("undefined"); break;
    case sweep::CellState::Valued: value = Value(c.Value); break;
  }
  QToolTip::showText(event->globalPosition().toPoint(),
                     tr("%1 = %2, %3 = %4: %5 %6 (click to apply)")
                         .arg(QString::fromStdString(map.XName), Value(map.X[cell->first]),
                              QString::fromStdString(map.YName), Value(map.Y[cell->second]),
                              QString::fromStdString(map.IndexName), value),
                     this);
}

}  // namespace qx
