// qx_window_screenshot PATH.png: the picture of the main window for the
// README. Runs the real window offscreen at its design size with the
// starting case, moves the loop as an operator would (a set-point step with
// the spin button, Manual with a higher output, Auto again, a lower set
// point typed with Enter), slows the run down a little, grabs the window
// into PATH.png while the run goes on, then stops the run and closes the
// window. Exits with 1 when no picture was written.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <chrono>
#include <utility>
#include <vector>

#include "window/tools/PictureProgram.h"
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
constexpr const char* kProgram = "qx_window_screenshot";

class ScreenshotScript : public PictureScript {
 public:
  ScreenshotScript(TForm1& form, QString path) : PictureScript(form, kProgram, std::move(path)) {}

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

 private:
  bool At(int64_t step) { return Steps() >= step; }

  bool Grab() {
    ReadyToGrab();
    Save(form_.grab());
    return true;
  }
};

}  // namespace
}  // namespace qx

int main(int argc, char** argv) {
  return qx::RunPictureProgram<qx::ScreenshotScript>(argc, argv, qx::kProgram, qx::kTimeLimit);
}
