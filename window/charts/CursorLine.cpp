// The cursor line over the trend charts: one vertical line across both
// charts at the sample under the mouse, reading SP, PV and OP there and when
// in the run the sample was taken. Switched on by its action, or held on
// with Ctrl while the mouse moves over a chart.
#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <functional>
#include <utility>

#include "window/charts/TrendChart.h"
#include "window/charts/TrendCharts.h"

namespace qx {
namespace {

constexpr Qt::KeyboardModifier kHoldModifier = Qt::ControlModifier;
constexpr Qt::Key kHoldKey = Qt::Key_Control;

// Ctrl goes to the focused widget, not to the chart under the mouse: the
// whole application's key events are watched for it.
class CursorKeyWatcher : public QObject {
 public:
  CursorKeyWatcher(std::function<void(bool)> held, QObject* parent) : QObject(parent), held_(std::move(held)) {
    qApp->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) &&
        static_cast<QKeyEvent*>(event)->key() == kHoldKey && !static_cast<QKeyEvent*>(event)->isAutoRepeat())
      held_(type == QEvent::KeyPress);
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void(bool)> held_;
};

QString ValueText(double value) { return QString::number(value, 'f', 2); }

}  // namespace

QObject* TrendCharts::WatchCursorKey() {
  return new CursorKeyWatcher([this](bool held) { CursorKey(held); }, this);
}

void TrendCharts::SetCursorLineOn(bool on) {
  cursorOn_ = on;
  // Shown at once when the mouse already rests on a chart.
  for (TrendChart* chart : {chart1_, chart2_})
    if (chart->underMouse()) {
      MoveCursorLine(*chart, chart->mapFromGlobal(QCursor::pos()), QApplication::keyboardModifiers());
      return;
    }
  if (!on) HideCursorLine();
}

void TrendCharts::CursorKey(bool held) {
  const Qt::KeyboardModifiers modifiers = held ? Qt::KeyboardModifiers(kHoldModifier) : Qt::KeyboardModifiers();
  for (TrendChart* chart : {chart1_, chart2_})
    if (chart->isVisible() && chart->underMouse()) {
      MoveCursorLine(*chart, chart->mapFromGlobal(QCursor::pos()), modifiers);
      return;
    }
  if (!held && !cursorOn_) HideCursorLine();
}

void TrendCharts::MoveCursorLine(TrendChart& chart, const QPoint& at, Qt::KeyboardModifiers modifiers) {
  if (!cursorOn_ && !modifiers.testFlag(kHoldModifier)) {
    HideCursorLine();
    return;
  }
  if (!chart.PlotRect().Contains(at.x(), at.y())) {
    HideCursorLine();
    return;
  }
  const std::optional<int> place = shown_.IndexNear(chart.xAxis->pixelToCoord(at.x()));
  const QCPGraphDataContainer& pv = *chart1_->FirstSeries()->data();
  const QCPGraphDataContainer& sp = *chart1_->SecondSeries()->data();
  const QCPGraphDataContainer& output = *chart2_->FirstSeries()->data();
  if (!place || *place >= sp.size()) {
    HideCursorLine();
    return;
  }
  const int i = *place;
  // The newest sample is in the set point's series only until the next one
  // is taken.
  const auto valueOr = [i](const QCPGraphDataContainer& series) {
    return i < series.size() ? ValueText(series.at(i)->value) : QString::fromUtf8("\u2014");
  };
  const double mvHigh = mvHigh_ > 0 ? mvHigh_ : 100;
  const QString op = i < output.size() ? ValueText(output.at(i)->value * 100 / mvHigh) + " %"
                                        : QString::fromUtf8("\u2014");
  const QString text = QString("t = %1 (time %2)   SP %3   PV %4   OP %5")
                           .arg(QString::number(shown_.ClockAt(i), 'g', 10),
                                QString::number(shown_.TimeAt(i), 'g', 10), valueOr(sp), valueOr(pv), op);
  const double x = shown_.TimeAt(i);
  chart1_->ShowCursorLine(x, text);
  chart2_->ShowCursorLine(x, QString());
}

void TrendCharts::HideCursorLine() {
  chart1_->HideCursorLine();
  chart2_->HideCursorLine();
}

QString TrendCharts::CursorLineText() const { return chart1_->CursorLineShown() ? chart1_->CursorText() : QString(); }

}  // namespace qx
