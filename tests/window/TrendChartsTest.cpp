#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTest>
#include <array>
#include <cmath>
#include <memory>
#include <qcustomplot.h>

#include "window/charts/TrendCharts.h"

namespace qx {
namespace {

// A window holding the read-out label and the charts, with a run's trend
// buffers: PV rising 40, 41, ..., SP 50, output 20, 20.5, ...
class Charts : public ::testing::Test {
 protected:
  Charts() : label(new QLabel(&window)), charts(new TrendCharts(label, &window)) {
    charts->resize(600, 401);
    window.resize(600, 401);
    window.show();
    buffers.Loop = ZeroedLoopBuffers();
    buffers.TimeTrend = ZeroedFloats(kTrendLength);
    loop.CVLow = 0;
    loop.CVHigh = 200;
    loop.MVLow = 0;
    loop.MVHigh = 50;
    Record(kSamples);
  }
  void Record(int count) {
    for (; samples < count; ++samples) {
      buffers.RecordSample(samples, static_cast<float>(samples), 40.0f + samples, 50, 20 + 0.5f * samples);
      // As a run records them: a sample every second step, one time unit apart.
      timeline.SampleRecorded(samples, 2 * samples, static_cast<float>(samples));
    }
  }
  void Redraw() {
    charts->PlotSingleTrends(buffers, samples, kWindow, loop, &timeline);
    charts->FlushPaint();
  }
  static QCPRange Range(const QCPAxis* axis) { return axis->range(); }
  static void ExpectRange(const QCPAxis* axis, double lower, double upper) {
    EXPECT_NEAR(axis->range().lower, lower, 1e-4) << axis->parentPlot()->objectName().toStdString();
    EXPECT_NEAR(axis->range().upper, upper, 1e-4) << axis->parentPlot()->objectName().toStdString();
  }
  static QPoint At(const PixelRect& plot, int dx, int dy) { return {plot.Left + dx, plot.Top + dy}; }
  PixelRect Chart1Plot() const {
    const QRect r = charts->Chart1()->axisRect()->rect();
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
  }
  void Drag(QCustomPlot* chart, QPoint from, QPoint to) {
    QTest::mousePress(chart, Qt::LeftButton, {}, from);
    QTest::mouseMove(chart, to);
    QTest::mouseRelease(chart, Qt::LeftButton, {}, to);
  }

  static constexpr int kSamples = 30;
  static constexpr int kWindow = 100;
  QWidget window;
  QLabel* label;
  TrendCharts* charts;
  RunBuffers buffers;
  TrendTimeline timeline;
  PIDLoop loop;
  int samples = 0;
};

TEST_F(Charts, RedrawFillsTheSeriesFromTheBuffersUnderEitherScalingRule) {
  QCustomPlot* c1 = charts->Chart1();
  QCustomPlot* c2 = charts->Chart2();
  EXPECT_FALSE(c1->isVisible());
  charts->PlotSingleTrends(buffers, samples, kWindow, loop);  // hidden charts paint at once
  EXPECT_TRUE(c1->isVisible());
  EXPECT_TRUE(c2->isVisible());

  EXPECT_EQ(c1->graph(0)->dataCount(), kSamples - 1);  // PV
  EXPECT_EQ(c1->graph(1)->dataCount(), kSamples);      // SP
  EXPECT_EQ(c2->graph(0)->dataCount(), kSamples - 1);  // output
  EXPECT_EQ(c2->graph(1)->dataCount(), kWindow);       // zero line
  const auto lastPV = c1->graph(0)->data()->at(kSamples - 2);
  EXPECT_EQ(lastPV->key, kSamples - 2);
  EXPECT_EQ(lastPV->value, 40 + kSamples - 2);
  EXPECT_EQ(c2->graph(1)->data()->at(kWindow - 1)->value, 0);

  // Auto rule: PV 40..69 with SP 50, margins 4 % of the CV and MV ranges.
  ExpectRange(c1->xAxis, 0, kWindow);
  ExpectRange(c1->yAxis, 40 - 8, 69 + 8);
  ExpectRange(c1->yAxis2, 40 - 8, 69 + 8);
  ExpectRange(c2->xAxis, 0, kWindow);  // Chart1's time scale
  ExpectRange(c2->yAxis, 20 - 2, 34.5 + 2);
  EXPECT_EQ(c2->yAxis2->range().lower, 0);

  EXPECT_EQ(charts->TrendScaleButtonClick(), "Trend Scale Full");
  EXPECT_FALSE(charts->TrendScaleAuto());
  Record(kSamples + 1);
  Redraw();
  EXPECT_EQ(c1->graph(0)->dataCount(), kSamples);
  ExpectRange(c1->yAxis, 0, 200);
  ExpectRange(c2->yAxis, 0, 100);
  ExpectRange(c2->yAxis2, 0, 100);

  // A redraw still waiting when the run releases its buffers leaves the
  // series as they were.
  charts->PlotSingleTrends(buffers, samples, kWindow, loop);
  buffers.Loop.reset();
  buffers.TimeTrend.reset();
  charts->FlushPaint();
  EXPECT_EQ(c1->graph(0)->dataCount(), kSamples);

  charts->HideCharts();
  EXPECT_FALSE(c1->isVisible());
  EXPECT_FALSE(c2->isVisible());
}

TEST_F(Charts, Chart1TakesHalfTheHeightRoundedDown) {
  EXPECT_EQ(charts->objectName(), "TwoPlot1");
  EXPECT_EQ(charts->Chart1()->objectName(), "Chart1");
  charts->resize(500, 301);
  EXPECT_EQ(charts->Chart1()->geometry(), QRect(0, 0, 500, 150));
  EXPECT_EQ(charts->Chart2()->geometry(), QRect(0, 150, 500, 151));
}

TEST_F(Charts, DragZoomsToTheRectangleAndDoubleClickUndoesIt) {
  Redraw();
  QCustomPlot* c1 = charts->Chart1();
  const PixelRect plot = Chart1Plot();
  const QCPRange x = Range(c1->xAxis), y = Range(c1->yAxis);

  Drag(c1, At(plot, 20, 20), At(plot, 34, 60));  // 14 x 40
  Drag(c1, At(plot, 100, 100), At(plot, 40, 40));  // up and to the left
  EXPECT_EQ(Range(c1->xAxis), x);
  EXPECT_EQ(Range(c1->yAxis), y);

  const QPoint from = At(plot, 20, 20), to = At(plot, 120, 80);
  const QCPRange zoomedX(c1->xAxis->pixelToCoord(from.x()), c1->xAxis->pixelToCoord(to.x()));
  const QCPRange zoomedY(c1->yAxis->pixelToCoord(to.y()), c1->yAxis->pixelToCoord(from.y()));
  ASSERT_LT(zoomedX.size(), x.size());
  Drag(c1, from, to);
  ExpectRange(c1->xAxis, zoomedX.lower, zoomedX.upper);
  ExpectRange(c1->yAxis, zoomedY.lower, zoomedY.upper);

  QTest::mouseDClick(c1, Qt::LeftButton, {}, from);
  QTest::mouseRelease(c1, Qt::LeftButton, {}, from);
  EXPECT_EQ(Range(c1->xAxis), x);
  EXPECT_EQ(Range(c1->yAxis), y);

  // A zoom lasts until the next redraw.
  Drag(c1, from, to);
  Record(kSamples + 1);
  Redraw();
  EXPECT_EQ(Range(c1->xAxis), x);
  ExpectRange(c1->yAxis, 40 - 8, 70 + 8);
}

// Shift and a drag select a stretch of time on both charts without touching
// any axis, so a zoom in force stays; the stretch is the samples the drag
// covers, and the band spans them. A plain drag still zooms, and a
// Shift-click clears the stretch.
TEST_F(Charts, ShiftDragSelectsAStretchAndLeavesTheZoomAlone) {
  Redraw();
  QCustomPlot* c1 = charts->Chart1();
  QCustomPlot* c2 = charts->Chart2();
  const PixelRect plot = Chart1Plot();
  Drag(c1, At(plot, 20, 20), At(plot, 300, 150));  // zoomed
  const std::array<QCPRange, 4> zoomed = {Range(c1->xAxis), Range(c1->yAxis), Range(c2->xAxis), Range(c2->yAxis)};

  const QPoint from = At(plot, 200, 30), to = At(plot, 60, 90);  // right to left
  const double fromTime = c1->xAxis->pixelToCoord(to.x()), toTime = c1->xAxis->pixelToCoord(from.x());
  QTest::mousePress(c1, Qt::LeftButton, Qt::ShiftModifier, from);
  QTest::mouseMove(c1, to);
  QTest::mouseRelease(c1, Qt::LeftButton, Qt::ShiftModifier, to);
  ASSERT_TRUE(charts->Stretch());
  const double firstTime = std::ceil(fromTime), lastTime = std::min(std::floor(toTime), kSamples - 1.0);
  EXPECT_DOUBLE_EQ(charts->Stretch()->From, firstTime);
  EXPECT_DOUBLE_EQ(charts->Stretch()->To, lastTime);
  EXPECT_EQ(charts->StretchSteps(), (StepSpan{2 * static_cast<int64_t>(firstTime), 2 * static_cast<int64_t>(lastTime)}));
  EXPECT_EQ((std::array<QCPRange, 4>{Range(c1->xAxis), Range(c1->yAxis), Range(c2->xAxis), Range(c2->yAxis)}),
            zoomed);
  for (QCustomPlot* chart : {c1, c2}) {
    ASSERT_EQ(chart->itemCount(), 1);
    auto* band = qobject_cast<QCPItemRect*>(chart->item(0));
    ASSERT_TRUE(band && band->visible());
    EXPECT_DOUBLE_EQ(band->topLeft->coords().x(), firstTime);
    EXPECT_DOUBLE_EQ(band->bottomRight->coords().x(), lastTime);
  }

  // The samples inside the stretch, as the series hold them.
  const std::vector<ChartSample> inside = charts->Samples(charts->Stretch());
  ASSERT_FALSE(inside.empty());
  EXPECT_EQ(inside.front().Time, std::ceil(fromTime));
  EXPECT_EQ(inside.back().Time, std::min(std::floor(toTime), kSamples - 2.0));  // the newest PV
  EXPECT_EQ(inside.front().PV, 40 + inside.front().Time);
  EXPECT_EQ(inside.front().SP, 50);
  EXPECT_EQ(inside.front().Output, 20 + 0.5 * inside.front().Time);
  EXPECT_EQ(charts->Samples().size(), std::size_t{kSamples - 1});

  QTest::mouseClick(c2, Qt::LeftButton, Qt::ShiftModifier, c2->axisRect()->rect().center());
  EXPECT_FALSE(charts->Stretch());
  EXPECT_FALSE(c1->item(0)->visible());
  EXPECT_EQ(Range(c1->xAxis), zoomed[0]);
}

// The read-out gives the first series' sample nearest to the pointer, not
// the pointer's position, each value written as its axis writes its labels;
// it is empty once the pointer is off the plot or off the chart, and it is
// not in the charts' picture.
TEST_F(Charts, ReadoutShowsTheNearestSampleAsTheAxesFormatTheirLabels) {
  Redraw();
  QCustomPlot* c1 = charts->Chart1();
  QCustomPlot* c2 = charts->Chart2();
  const auto move = [](QCustomPlot* chart, QPoint at) {
    QMouseEvent event(QEvent::MouseMove, at, chart->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(chart, &event);
  };
  struct Case {
    QCustomPlot* chart;
    double key, value;       // where the pointer goes, in axis units
    const char* valueFormat;  // the left axis' number format and precision
    int valuePrecision;
    const char* keyFormat;
    int keyPrecision;
    const char* text;
  };
  // PV is 40 + sample, the output 20 + sample / 2; the PV has samples 0 to
  // 28, and the pointer's height plays no part.
  const Case cases[] = {
      {c1, 10.3, 60, "gbd", 6, "gbd", 6, "  50 : 10"},
      {c1, 10.6, 45, "gbd", 6, "gbd", 6, "  51 : 11"},
      {c1, 60, 50, "gbd", 6, "gbd", 6, "  68 : 28"},  // beyond the newest sample
      {c2, 10.6, 30, "gbd", 6, "gbd", 6, "  25.5 : 11"},
      {c2, 3.2, 30, "f", 2, "f", 1, "  21.50 : 3.0"},
      {c1, 7, 60, "e", 1, "g", 2, "  4.7e+01 : 7"},
  };
  for (const Case& c : cases) {
    c.chart->yAxis->setNumberFormat(c.valueFormat);
    c.chart->yAxis->setNumberPrecision(c.valuePrecision);
    c.chart->xAxis->setNumberFormat(c.keyFormat);
    c.chart->xAxis->setNumberPrecision(c.keyPrecision);
    const QPoint at(qRound(c.chart->xAxis->coordToPixel(c.key)), qRound(c.chart->yAxis->coordToPixel(c.value)));
    move(c.chart, at);
    EXPECT_EQ(label->text().toStdString(), c.text) << c.chart->objectName().toStdString() << " " << c.key;
    EXPECT_EQ(label->parentWidget(), c.chart);
    EXPECT_EQ(label->pos(), QPoint(0, 0));
    EXPECT_EQ(c.chart->toolTip(), label->text());
  }

  // Off the plot, then off the chart: an empty caption each time.
  move(c2, QPoint(1, 1));
  EXPECT_TRUE(label->text().isEmpty());
  move(c1, c1->axisRect()->rect().center());
  ASSERT_FALSE(label->text().isEmpty());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(c1, &leave);
  EXPECT_TRUE(label->text().isEmpty()) << "the pointer left the chart";

  move(c1, c1->axisRect()->rect().center());
  ASSERT_TRUE(label->isVisible());
  const QImage withReadout = charts->grab().toImage();
  const QImage picture = charts->Picture();
  EXPECT_NE(picture, withReadout) << "the read-out is not in the picture";
  EXPECT_TRUE(label->isVisible()) << "and is shown again after it";
  charts->ClearReadout();
  EXPECT_TRUE(label->text().isEmpty());
}

// Left axis labels of different widths (PV to 77 on a 0..200 range, the
// output to 36.5): both plot rectangles still start at the same pixel, and
// the output's time axis is PV's, last label included.
TEST_F(Charts, BothChartsShareTheTimeScalePixelForPixel) {
  for (bool full : {false, true}) {
    if (full) charts->TrendScaleButtonClick();
    Redraw();
    QCustomPlot* c1 = charts->Chart1();
    QCustomPlot* c2 = charts->Chart2();
    EXPECT_EQ(c1->axisRect()->rect().left(), c2->axisRect()->rect().left()) << full;
    EXPECT_EQ(c1->axisRect()->rect().width(), c2->axisRect()->rect().width()) << full;
    for (double key : {0.0, 13.0, double(kWindow)})
      EXPECT_EQ(c1->xAxis->coordToPixel(key), c2->xAxis->coordToPixel(key)) << key;
    EXPECT_EQ(c2->xAxis->range().upper, kWindow);
    EXPECT_TRUE(c2->xAxis->tickVector().contains(kWindow)) << "the last label is drawn";
  }
}

}  // namespace
}  // namespace qx

int main(int argc, char** argv) {
  // The charts need no screen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
