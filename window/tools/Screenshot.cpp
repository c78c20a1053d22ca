// qx_window_screenshot PATH.png: the picture of the main window for the
// README. Runs the real window offscreen at its design size with the
// starting case, moves the loop as an operator would (a set-point step with
// the spin button, Manual with a higher output, Auto again, a lower set
// point typed with Enter), slows the run down a little, grabs the window
// into PATH.png while the run goes on, then stops the run and closes the
// window. Exits with 1 when no picture was written.
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "app/Application.h"
#include "window/MainWindow.h"
#include "window/charts/TrendCharts.h"
#include "window/tools/AnsweringPrompter.h"
#include "window/tools/ScriptedRun.h"
#include "window/tools/SyntheticInput.h"

namespace qx {
namespace {

// Step numbers of the operator's actions (two steps a time unit). The
// starting case's trend window of 400 fills at step 800, so the picture is
// taken just before, with the whole story in view.
constexpr int64_t kRaiseSetPointAt = 100;
constexpr int kSetPointRaise = 5;
constexpr int64_t kManualAt = 330;
constexpr int kOutputRaise = 5;
constexpr int64_t kAutoAt = 480;
constexpr int64_t kLowerSetPointAt = 620;
constexpr float kSetPointLowering = 3;
constexpr int64_t kSlowDownAt = 770;
constexpr float kPictureSleepMs = 200;  // the speed gauge shows a middle level
constexpr int64_t kPictureAt = 790;
constexpr std::chrono::seconds kTimeLimit{120};

class ScreenshotScript {
 public:
  ScreenshotScript(TForm1& form, QString path) : form_(form), path_(std::move(path)) {}

  std::vector<ScriptStep> Script() {
    return {[this] { return Running(); },
            [this] {
              if (!At(kRaiseSetPointAt)) return false;
              for (int i = 0; i < kSetPointRaise; ++i) SendClick(Find<QToolButton>("SingleSPNewUpDownCSpinButtonUp"));
              return true;
            },
            [this] {
              // Manual, then a higher output typed through the spin button
              // and taken with Enter.
              if (!At(kManualAt)) return false;
              SendClick(Find<QLabel>("manual_auto_select"));
              for (int i = 0; i < kOutputRaise; ++i) SendClick(Find<QToolButton>("SingleOPNewUpDownCSpinButtonUp"));
              auto* op = Find<QLineEdit>("SingleOPNew");
              op->setFocus();
              SendEnter(op);
              return true;
            },
            [this] {
              if (!At(kAutoAt)) return false;
              SendClick(Find<QLabel>("manual_auto_select"));
              return true;
            },
            [this] {
              if (!At(kLowerSetPointAt)) return false;
              auto* sp = Find<QLineEdit>("SingleSPNew");
              sp->setFocus();
              sp->selectAll();
              SendText(sp, QString::number(form_.App().Model().SingleLoop.SPNew - kSetPointLowering, 'f', 3));
              SendEnter(sp);
              return true;
            },
            [this] {
              if (Steps() < kSlowDownAt) return false;
              const RunControlRecord& c = form_.App().Model().RunControl;
              if (c.SleepMs >= kPictureSleepMs) return true;
              if (!c.SpeedCommandPending) SendClick(Find<QToolButton>("UpDown1Left"));
              return false;
            },
            [this] { return At(kPictureAt) && Grab(); },
            [this] {
              SendClick(Find<QPushButton>("cmd_exit"));  // "End This Simulation?" answered Yes
              return true;
            },
            [this] {
              if (Running()) return false;
              form_.close();  // "Are you Sure?" answered Yes
              return true;
            }};
  }

  bool Saved() const { return saved_; }

 private:
  bool Running() { return form_.App().Sim().Run.Active; }
  int64_t Steps() { return form_.App().Sim().Run.StepsDone; }
  bool At(int64_t step) { return Steps() >= step; }
  template <class W>
  W* Find(const char* name) {
    W* widget = form_.findChild<W*>(name);
    if (!widget) {
      std::fprintf(stderr, "qx_window_screenshot: the window has no widget %s\n", name);
      std::exit(1);
    }
    return widget;
  }

  bool Grab() {
    // Focus on no edit, so none shows its highlight colours in the picture.
    form_.setFocus();
    form_.Charts()->FlushPaint();
    QCoreApplication::processEvents();
    saved_ = form_.grab().save(path_, "PNG");
    if (!saved_) std::fprintf(stderr, "qx_window_screenshot: cannot write %s\n", qPrintable(path_));
    return true;
  }

  TForm1& form_;
  QString path_;
  bool saved_ = false;
};

}  // namespace
}  // namespace qx

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qx_window_screenshot PATH.png\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  // Resolved before the window moves the working directory.
  const QString path = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();

  qx::AnsweringPrompter prompter;
  qx::TForm1 form(prompter);
  form.SetStartupCase((QCoreApplication::applicationDirPath() + "/" + qx::kStartingCaseFile).toStdString());
  form.resize(1155, 732);
  form.show();
  form.Timer1Timer();  // the splash, at once
  form.Timer2Timer();  // ... and over: the starting case opens and runs
  form.activateWindow();  // the splash had it: Enter goes to the focused edit

  qx::ScreenshotScript screenshot(form, path);
  // Ticks at every step of the run, so each action falls on its step.
  qx::ScriptedRun script(screenshot.Script(), 0);
  script.Start();
  bool timedOut = false;
  QTimer::singleShot(qx::kTimeLimit, &form, [&] {
    timedOut = true;
    form.close();
  });
  QApplication::exec();

  for (const QString& text : prompter.Shown) std::fprintf(stderr, "box shown: %s\n", qPrintable(text));
  if (timedOut) std::fprintf(stderr, "qx_window_screenshot: gave up after %lld s\n",
                             static_cast<long long>(qx::kTimeLimit.count()));
  return screenshot.Saved() && !timedOut ? 0 : 1;
}
