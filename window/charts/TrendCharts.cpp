#include "window/charts/TrendCharts.h"

#include <QCoreApplication>
#include <QResizeEvent>
#include <algorithm>
#include <string>
#include <utility>

#include "window/charts/TrendChart.h"

namespace qx {
namespace {

// At most one repaint per screen refresh while a run steps faster.
constexpr std::chrono::milliseconds kRepaintInterval{16};
// Chart1's bottom axis until the first redraw.
constexpr double kInitialWindow = 25;
const QColor kFittedColour(0x80, 0x00, 0x80);

void SetRange(QCPAxis* axis, const AxisRange& range) { axis->setRange(range.Lower, range.Upper); }

}  // namespace

TrendCharts::TrendCharts(QLabel* readoutLabel, QWidget* parent)
    : QWidget(parent),
      chart1_(new TrendChart("Chart1", {"Series1", Qt::red}, {"Series2", Qt::blue}, "PV", this)),
      chart2_(new TrendChart("Chart2", {"Series3", Qt::darkGreen}, {"Series4", Qt::white}, "OP", this)),
      fitted_(chart1_->addGraph(chart1_->xAxis, chart1_->yAxis)),
      readout_(readoutLabel),
      readoutHome_(readoutLabel ? readoutLabel->parentWidget() : nullptr) {
  setObjectName("TwoPlot1");
  fitted_->setName("FittedPV");
  fitted_->setObjectName("FittedPV");
  fitted_->setPen(QPen(kFittedColour, 2, Qt::DashLine));
  fitted_->setVisible(false);
  chart1_->xAxis->setRange(0, kInitialWindow);
  cursorKeys_ = WatchCursorKey();
  // The left margins follow the wider of the two left axes' labels, so a
  // sample lies on the same pixel column in both charts.
  auto* leftMargins = new QCPMarginGroup(chart1_);
  for (TrendChart* chart : {chart1_, chart2_}) {
    chart->axisRect()->setMarginGroup(QCP::msLeft, leftMargins);
    chart->RememberRanges();
    chart->installEventFilter(this);
    chart->hide();
  }
}

TrendCharts::~TrendCharts() {
  // Hand the read-out label back to the window that owns it.
  if (readout_ && readoutHome_ && readout_->parentWidget() != readoutHome_) {
    readout_->hide();
    readout_->setParent(readoutHome_);
  }
}

QCustomPlot* TrendCharts::Chart1() const { return chart1_; }
QCustomPlot* TrendCharts::Chart2() const { return chart2_; }

void TrendCharts::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Chart1 takes half the height, rounded down; Chart2 the rest.
  const int upper = height() / 2;
  chart1_->setGeometry(0, 0, width(), upper);
  chart2_->setGeometry(0, upper, width(), height() - upper);
}

void TrendCharts::SetTopRightCaption(const QString& text) { chart1_->SetRightCaption(text); }

// The scale rule's caption comes from the toolkit-free trend logic in English
// and is translated in the same context as the other such texts.
QString TrendCharts::TrendScaleButtonClick() {
  const std::string caption = scale_.Toggle();
  return QCoreApplication::translate("qx::AppText", caption.c_str());
}

void TrendCharts::HideCharts() {
  chart1_->hide();
  chart2_->hide();
}

void TrendCharts::ClearReadout() {
  if (readout_) readout_->clear();
  for (TrendChart* chart : {chart1_, chart2_}) chart->setToolTip(QString());
}

QImage TrendCharts::Picture() {
  FlushPaint();
  const bool readoutShown = readout_ && readout_->isVisible() && isAncestorOf(readout_);
  if (readoutShown) readout_->hide();
  QImage picture = grab().toImage();
  if (readoutShown) readout_->show();
  return picture;
}

void TrendCharts::PlotSingleTrends(RunBuffers& buffers, int sampleCount, int simTime, const PIDLoop& single,
                                   const TrendTimeline* timeline) {
  if (!buffers.Loop || !buffers.TimeTrend) return;
  layout_ = PlanTrends(buffers, sampleCount, simTime, single, scale_.Auto);
  buffers_ = &buffers;
  timeline_ = timeline;
  mvHigh_ = single.MVHigh;
  // Frozen, the redraw waits for the thaw; the buffer effects above happen.
  if (frozen_) return;
  paintPending_ = true;
  const bool hidden = chart1_->isHidden() || chart2_->isHidden();
  if (hidden || std::chrono::steady_clock::now() - lastPaint_ >= kRepaintInterval) Paint();
}

void TrendCharts::FlushPaint() {
  if (paintPending_) Paint();
}

void TrendCharts::SetFrozen(bool frozen) {
  if (frozen == frozen_) return;
  // What is frozen is the newest picture; a thaw shows the live one.
  FlushPaint();
  frozen_ = frozen;
  if (!frozen_ && buffers_) Paint();
}

void TrendCharts::Paint() {
  // The series copy their points out of the buffers, which the run releases
  // at its end.
  if (buffers_ && buffers_->Loop) {
    RefillSeries(*buffers_);
    const TrendPointCounts& n = layout_.Points;
    const int shown = std::max({n.PV, n.SP, n.Output});
    if (timeline_)
      shown_.Show(*timeline_, shown, layout_.TimeOffset);
    else
      shown_.Clear();
  }
  ApplyRanges();
  if (shown_.Compactions() != placedCompactions_ || shown_.Offset() != placedOffset_) PlaceStepOverlays();
  for (TrendChart* chart : {chart1_, chart2_}) {
    chart->show();
    chart->replot(QCustomPlot::rpQueuedRefresh);
  }
  AlignPlots();
  paintPending_ = false;
  lastPaint_ = std::chrono::steady_clock::now();
}

void TrendCharts::RefillSeries(const RunBuffers& buffers) {
  const TrendPointCounts& n = layout_.Points;
  const double offset = layout_.TimeOffset;
  // Each series is refilled in one call from a vector built here.
  const auto fill = [offset](QCPGraph* series, int count, auto valueAt) {
    QVector<QCPGraphData> points(count);
    for (int i = 0; i < count; ++i) points[i] = QCPGraphData(i + offset, valueAt(i));
    series->data()->set(points, true);
  };
  fill(chart1_->FirstSeries(), n.PV, [&](int i) { return buffers.PVAt(i); });
  fill(chart1_->SecondSeries(), n.SP, [&](int i) { return buffers.SPAt(i); });
  fill(chart2_->FirstSeries(), n.Output, [&](int i) { return buffers.OutputAt(i); });
  fill(chart2_->SecondSeries(), n.Zero, [](int) { return 0.0; });
}

// The margin group lays Chart1 out against Chart2's labels of the paint
// before (Chart2's ticks are set up in its own replot, after Chart1's); when
// the labels' width changed, Chart1 is laid out again against the new ones.
void TrendCharts::AlignPlots() {
  if (chart1_->axisRect()->rect().left() != chart2_->axisRect()->rect().left())
    chart1_->replot(QCustomPlot::rpQueuedRefresh);
}

void TrendCharts::ApplyRanges() {
  SetRange(chart1_->xAxis, layout_.Chart1Bottom);
  SetRange(chart1_->yAxis, layout_.Chart1Left);
  SetRange(chart1_->yAxis2, layout_.Chart1Right);
  if (layout_.Chart2BottomFollows) SetRange(chart2_->xAxis, layout_.Chart2Bottom);
  SetRange(chart2_->yAxis, layout_.Chart2Left);
  SetRange(chart2_->yAxis2, layout_.Chart2Right);
  chart1_->RememberRanges();
  chart2_->RememberRanges();
}


std::optional<TimeSpan> TrendCharts::Stretch() const {
  if (!stretch_ || shown_.Count() == 0) return std::nullopt;
  // The part of the stretch that is still shown.
  const int64_t first = std::max(stretch_->First, shown_.StepAt(0));
  const int64_t last = std::min(stretch_->Last, shown_.StepAt(shown_.Count() - 1));
  const std::optional<double> from = shown_.TimeOfStep(first);
  const std::optional<double> to = shown_.TimeOfStep(last);
  if (first > last || !from || !to) return std::nullopt;
  return TimeSpan{*from, *to};
}

void TrendCharts::SelectStretch(const TimeSpan& span) {
  FlushPaint();
  stretch_ = shown_.StepsWithin(span.From, span.To);
  ShowStretch(Stretch());
}

void TrendCharts::ClearStretch() {
  stretch_.reset();
  stretchStart_.reset();
  stretchStartStep_.reset();
  ShowStretch(std::nullopt);
}

void TrendCharts::ShowStretch(const std::optional<TimeSpan>& span) {
  for (TrendChart* chart : {chart1_, chart2_}) {
    if (span)
      chart->ShowBand(span->From, span->To);
    else
      chart->HideBand();
  }
}

void TrendCharts::PlaceStepOverlays() {
  placedCompactions_ = shown_.Compactions();
  placedOffset_ = shown_.Offset();
  if (stretch_) ShowStretch(Stretch());
  if (!fitted_->visible()) return;
  QVector<QCPGraphData> points;
  points.reserve(static_cast<int>(fittedPoints_.size()));
  for (const StepValue& p : fittedPoints_)
    if (const std::optional<double> time = shown_.TimeOfStep(p.Step)) points.push_back({*time, p.Value});
  fitted_->data()->set(points, true);
}

std::vector<ChartSample> TrendCharts::Samples(std::optional<TimeSpan> within) {
  FlushPaint();
  // The series hold the same sample numbers from the first on; the newest
  // sample is in some of them only.
  const QCPGraphDataContainer& pv = *chart1_->FirstSeries()->data();
  const QCPGraphDataContainer& sp = *chart1_->SecondSeries()->data();
  const QCPGraphDataContainer& output = *chart2_->FirstSeries()->data();
  const int count = std::min({pv.size(), sp.size(), output.size()});
  std::vector<ChartSample> samples;
  samples.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const double time = pv.at(i)->key;
    if (within && (time < within->From || time > within->To)) continue;
    const bool known = i < shown_.Count();
    samples.push_back({time, pv.at(i)->value, sp.at(i)->value, output.at(i)->value, known ? shown_.StepAt(i) : 0,
                       known ? static_cast<double>(shown_.ClockAt(i)) : 0.0});
  }
  return samples;
}

void TrendCharts::ShowFittedResponse(std::vector<StepValue> points) {
  FlushPaint();
  fittedPoints_ = std::move(points);
  fitted_->setVisible(true);
  PlaceStepOverlays();
  chart1_->replot(QCustomPlot::rpQueuedRefresh);
}

void TrendCharts::HideFittedResponse() {
  if (!fitted_->visible()) return;
  fittedPoints_.clear();
  fitted_->data()->clear();
  fitted_->setVisible(false);
  chart1_->replot(QCustomPlot::rpQueuedRefresh);
}

bool TrendCharts::FittedResponseShown() const { return fitted_->visible(); }

}  // namespace qx
