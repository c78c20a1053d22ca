// qx_identify_screenshot PATH.png: a picture of "Identify and Tune". Runs
// the real window offscreen with the starting case, makes a Manual output
// step as an operator would, lets the response settle, selects the stretch
// around it with Shift and a drag on the PV chart, presses Ctrl+I and
// grabs the main window with the dialog drawn over its lower right corner
// (offscreen, windows are not composed on a screen). Exits with 1 when no
// picture was written.
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>
#include <chrono>
#include <optional>
#include <utility>
#include <vector>
#include <qcustomplot.h>

#include "window/IdentifyDialog.h"
#include "window/tools/PictureProgram.h"
#include "window/tools/SyntheticInput.h"

namespace qx {
namespace {

constexpr int64_t kManualAt = 60;
constexpr int kOutputRaise = 10;
constexpr int64_t kSettledAfter = 240;  // steps: the dead time and six lags of the starting case
constexpr double kBeforeStep = 15;      // time units of the stretch before the step
constexpr std::chrono::seconds kTimeLimit{60};
constexpr const char* kProgram = "qx_identify_screenshot";

class IdentifyScript : public PictureScript {
 public:
  IdentifyScript(TForm1& form, QString path) : PictureScript(form, kProgram, std::move(path)) {}

  std::vector<ScriptStep> Script() {
    return {[this] {
              if (!Running()) return false;
              form_.App().Model().RunControl.SleepMs = 1;
              return true;
            },
            [this] {
              if (Steps() < kManualAt) return false;
              SendClick(Find<QLabel>("manual_auto_select"));
              for (int i = 0; i < kOutputRaise; ++i) SendClick(Find<QToolButton>("SingleOPNewUpDownCSpinButtonUp"));
              auto* op = Find<QLineEdit>("SingleOPNew");
              op->setFocus();
              SendEnter(op);
              stepTime_ = form_.App().Sim().Run.t;
              stepAt_ = Steps();
              return true;
            },
            [this] {
              if (Steps() < stepAt_ + kSettledAfter) return false;
              SelectStretch(ChartTimeOf(stepTime_ - kBeforeStep), ChartTimeOf(form_.App().Sim().Run.t - 1));
              form_.IdentifyAndTuneClick();  // Ctrl+I
              return true;
            },
            [this] { return Grab(); },
            [this] {
              form_.Identification()->close();
              SendClick(Find<QPushButton>("cmd_exit"));
              return true;
            },
            [this] {
              if (Running()) return false;
              form_.close();
              return true;
            }};
  }

 private:
  // Where the charts show the sample taken at run clock `clock`.
  double ChartTimeOf(double clock) {
    form_.Charts()->FlushPaint();
    const TrendTimeline& shown = form_.Charts()->Shown();
    const std::optional<int> place = shown.IndexOfClock(clock);
    return place ? shown.TimeAt(*place) : clock;
  }

  // Shift and a drag across Chart1, as the operator selects a stretch.
  void SelectStretch(double from, double to) {
    QCustomPlot* chart = form_.Charts()->Chart1();
    const QPointF a(chart->xAxis->coordToPixel(from), chart->axisRect()->center().y());
    const QPointF b(chart->xAxis->coordToPixel(to), a.y());
    const auto send = [chart](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
      QMouseEvent event(type, at, chart->mapToGlobal(at), Qt::LeftButton, buttons, Qt::ShiftModifier);
      QCoreApplication::sendEvent(chart, &event);
    };
    send(QEvent::MouseButtonPress, a, Qt::LeftButton);
    send(QEvent::MouseMove, b, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, b, Qt::NoButton);
    send(QEvent::MouseMove, QPointF(1, 1), Qt::NoButton);  // off the plot: no read-out in the picture
  }

  bool Grab() {
    ReadyToGrab();
    QPixmap picture = form_.grab();
    const QPixmap dialog = form_.Identification()->grab();
    QPainter painter(&picture);
    // The dialog with a plain title bar, as a desktop would frame it.
    constexpr int kTitleHeight = 22;
    const QPoint corner(picture.width() - dialog.width() - 12, picture.height() - dialog.height() - 40);
    const QRect title(corner.x(), corner.y() - kTitleHeight, dialog.width(), kTitleHeight);
    painter.fillRect(title.united(QRect(corner, dialog.size())).adjusted(-1, -1, 1, 1), Qt::darkGray);
    painter.fillRect(title, QColor(0x3A, 0x5F, 0x9E));
    painter.setPen(Qt::white);
    painter.drawText(title.adjusted(8, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     form_.Identification()->windowTitle());
    painter.drawPixmap(corner, dialog);
    painter.end();
    Save(picture);
    return true;
  }

  double stepTime_ = 0;
  int64_t stepAt_ = 0;
};

}  // namespace
}  // namespace qx

int main(int argc, char** argv) {
  return qx::RunPictureProgram<qx::IdentifyScript>(argc, argv, qx::kProgram, qx::kTimeLimit);
}
