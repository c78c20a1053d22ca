#include "window/charts/TrendChart.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace qx {
namespace {

const QColor kPanelColour(0xEC, 0xE9, 0xD8);
const QColor kNavy(0x00, 0x00, 0x80);
const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kBandFill(0x33, 0x66, 0xCC, 0x40);
const QColor kBandEdge(0x33, 0x66, 0xCC, 0xA0);
const QColor kCursorBoxFill(0xFF, 0xFF, 0xE1, 0xE8);
constexpr int kCursorBoxPadding = 3;
constexpr int kCaptionPointSize = 7;
constexpr int kTickLabelPixels = 9;
constexpr int kMinorTickLength = 7;
// Room above and right of the plot rectangle, in percent of the chart size;
// the top leaves room for the captions.
constexpr int kTopMarginPercent = 8;
constexpr int kRightMarginPercent = 2;

QCPGraph* AddSeries(QCustomPlot& plot, QCPAxis* valueAxis, const SeriesLook& look) {
  QCPGraph* series = plot.addGraph(plot.xAxis, valueAxis);
  series->setName(look.Name);
  series->setObjectName(look.Name);
  series->setPen(QPen(look.Colour));
  series->setLineStyle(QCPGraph::lsLine);
  series->setAntialiased(false);
  return series;
}

}  // namespace

TrendChart::TrendChart(const QString& name, const SeriesLook& first, const SeriesLook& second,
                       const QString& leftCaption, QWidget* parent)
    : QCustomPlot(parent),
      leftCaption_(leftCaption),
      leftColour_(first.Colour),
      selectionBand_(new QRubberBand(QRubberBand::Rectangle, this)),
      band_(new QCPItemRect(this)) {
  setObjectName(name);
  captionFont_ = font();
  captionFont_.setPointSize(kCaptionPointSize);
  // The program's own drag-to-zoom replaces the component's interactions.
  setInteractions(QCP::Interactions());
  setMouseTracking(true);
  setBackground(kPanelColour);
  setPlottingHint(QCP::phFastPolylines, true);
  StyleAxes(first.Colour);
  AddSeries(*this, yAxis, first);
  AddSeries(*this, yAxis2, second);
  ReserveCaptionRoom();
  RememberRanges();
  // Times along the bottom axis, the plot rectangle's full height upright.
  for (QCPItemPosition* corner : {band_->topLeft, band_->bottomRight}) {
    corner->setTypeX(QCPItemPosition::ptPlotCoords);
    corner->setTypeY(QCPItemPosition::ptAxisRectRatio);
  }
  band_->setPen(QPen(kBandEdge));
  band_->setBrush(kBandFill);
  band_->setSelectable(false);
  band_->setVisible(false);
}

void TrendChart::StyleAxes(const QColor& leftColour) {
  QFont tickFont = font();
  tickFont.setPixelSize(kTickLabelPixels);
  for (QCPAxis* axis : {xAxis, yAxis, yAxis2}) {
    axis->setBasePen(Qt::NoPen);
    axis->setTickPen(QPen(kNavy));
    axis->setSubTickPen(QPen(Qt::white));
    axis->setSubTickLength(0, kMinorTickLength);
    axis->setTickLabelFont(tickFont);
    axis->grid()->setPen(QPen(kSilver, 0, Qt::SolidLine));
    axis->grid()->setZeroLinePen(Qt::NoPen);
  }
  xAxis->setLabel("Time");
  xAxis->setLabelColor(kNavy);
  xAxis->setTickLabelColor(kNavy);
  yAxis->setLabelColor(leftColour);
  yAxis->setTickLabelColor(leftColour);
  // The right axis scales the second series but is never shown.
  yAxis2->setTickLabelColor(Qt::blue);
  yAxis2->setTickLabels(false);
  yAxis2->setVisible(false);
  yAxis2->grid()->setVisible(false);
}

void TrendChart::SetRightCaption(const QString& text) {
  rightCaption_ = text;
  update();
}

PixelRect TrendChart::PlotRect() const {
  const QRect r = axisRect()->rect();
  return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

void TrendChart::ShowSelection(const PixelRect& s) {
  selectionBand_->setGeometry(s.Left, s.Top, s.Width(), s.Height());
  selectionBand_->show();
}

void TrendChart::HideSelection() { selectionBand_->hide(); }

void TrendChart::ShowBand(double from, double to) {
  band_->topLeft->setCoords(from, 0);
  band_->bottomRight->setCoords(to, 1);
  band_->setVisible(true);
  replot(QCustomPlot::rpQueuedRefresh);
}

void TrendChart::HideBand() {
  if (!band_->visible()) return;
  band_->setVisible(false);
  replot(QCustomPlot::rpQueuedRefresh);
}

bool TrendChart::BandShown() const { return band_->visible(); }

void TrendChart::ShowCursorLine(double x, const QString& text) {
  cursorX_ = x;
  cursorText_ = text;
  update();
}

void TrendChart::HideCursorLine() {
  if (!cursorX_) return;
  cursorX_.reset();
  cursorText_.clear();
  update();
}

void TrendChart::RememberRanges() { unzoomed_ = {xAxis->range(), yAxis->range(), yAxis2->range()}; }

void TrendChart::RestoreRanges() {
  xAxis->setRange(unzoomed_[0]);
  yAxis->setRange(unzoomed_[1]);
  yAxis2->setRange(unzoomed_[2]);
}

QString TrendChart::AxisText(const QCPAxis* axis, double value) {
  const QString format = axis->numberFormat();
  const char formatChar = format.isEmpty() ? 'g' : format.at(0).toLatin1();
  return axis->parentPlot()->locale().toString(value, formatChar, axis->numberPrecision());
}

void TrendChart::paintEvent(QPaintEvent* event) {
  QCustomPlot::paintEvent(event);
  const PixelRect plot = PlotRect();
  QPainter painter(this);
  painter.setPen(kNavy);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(plot.Left, plot.Top, plot.Width() - 1, plot.Height() - 1);

  // Captions with their top-left corner at the given point, just above the
  // plot rectangle.
  painter.setFont(captionFont_);
  const QFontMetrics metrics(captionFont_);
  const int top = plot.Top - metrics.height();
  const auto caption = [&](int left, const QString& text, const QColor& colour) {
    painter.setPen(colour);
    painter.drawText(left, top + metrics.ascent(), text);
  };
  caption(plot.Left, leftCaption_, leftColour_);
  if (!rightCaption_.isEmpty())
    caption(plot.Right - metrics.horizontalAdvance(rightCaption_), rightCaption_, Qt::blue);
  if (cursorX_) PaintCursorLine(painter, plot);
}

void TrendChart::PaintCursorLine(QPainter& painter, const PixelRect& plot) {
  const double x = xAxis->coordToPixel(*cursorX_);
  if (x < plot.Left || x >= plot.Right) return;
  const int column = static_cast<int>(x);
  painter.setPen(QPen(kNavy, 1, Qt::DashLine));
  painter.drawLine(column, plot.Top, column, plot.Bottom - 1);
  if (cursorText_.isEmpty()) return;
  // The box beside the line, on the side with room for it.
  painter.setFont(font());
  const QFontMetrics metrics(font());
  QRect box = metrics.boundingRect(cursorText_).adjusted(-kCursorBoxPadding, -kCursorBoxPadding,
                                                          kCursorBoxPadding, kCursorBoxPadding);
  box.moveTop(plot.Top + kCursorBoxPadding);
  if (column + kCursorBoxPadding + box.width() < plot.Right)
    box.moveLeft(column + kCursorBoxPadding);
  else
    box.moveRight(column - kCursorBoxPadding);
  painter.setPen(kNavy);
  painter.setBrush(kCursorBoxFill);
  painter.drawRect(box);
  painter.drawText(box, Qt::AlignCenter, cursorText_);
}

void TrendChart::resizeEvent(QResizeEvent* event) {
  ReserveCaptionRoom();
  QCustomPlot::resizeEvent(event);
}

void TrendChart::ReserveCaptionRoom() {
  const int captionHeight = QFontMetrics(captionFont_).height() + 2;
  const int top = std::max(captionHeight, height() * kTopMarginPercent / 100);
  axisRect()->setMinimumMargins(QMargins(0, top, width() * kRightMarginPercent / 100, 0));
}

}  // namespace qx
