#include "window/WindowHost.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTime>
#include <QTimer>
#include <algorithm>

#include "app/Application.h"
#include "window/MainWindow.h"
#include "window/Prompter.h"
#include "window/charts/TrendCharts.h"

namespace qx {

WindowHost::WindowHost(Application& app, TForm1& form, Prompter& prompter)
    : PanelRunHost(app.Sim(), app.Panel()), app_(app), form_(form), prompter_(prompter) {}

void WindowHost::ProcessMessages(MessagePoint) {
  QCoreApplication::processEvents();
  app_.DeliverPendingWork();
  form_.ShowPanel();
}

void WindowHost::ShowSpeed(int level) { form_.ShowSpeed(level); }

void WindowHost::RunStarting() {
  PanelRunHost::RunStarting();
  app_.RunStarting();
  history_.Clear();
  timeline_.Clear();
  form_.RunStarting();
}

void WindowHost::RunEnded() {
  PanelRunHost::RunEnded();
  app_.RunEnded();
  form_.RunEnded();
}

void WindowHost::ShowLoopValues() {
  PanelRunHost::ShowLoopValues();
  form_.ShowPanel();
}

void WindowHost::ShowTrackedSetPoint(float sp) {
  PanelRunHost::ShowTrackedSetPoint(sp);
  form_.ShowPanel();
}

void WindowHost::ShowTrackedOutput(float op) {
  PanelRunHost::ShowTrackedOutput(op);
  form_.ShowPanel();
}

void WindowHost::TrendSampleRecorded(int index, int64_t step, float clock) {
  timeline_.SampleRecorded(index, step, clock);
}

void WindowHost::TrendsCompacted(int half) { timeline_.Compacted(half); }

void WindowHost::StepComputed() {
  app_.Analysis().StepComputed(sim_.Model, sim_.Run.t);
  app_.Alarms().StepComputed(sim_.Model, sim_.Run.t);
  history_.StepComputed(sim_.Model.SingleLoop, sim_.Run.StepsDone);
}

void WindowHost::PublishItemValues() { app_.PublishItemValues(); }

void WindowHost::PlotSingleTrends(RunBuffers& buffers, int sampleCount, int simTime) {
  form_.Charts()->PlotSingleTrends(buffers, sampleCount, simTime, sim_.Model.SingleLoop, &timeline_);
}

void WindowHost::Pause(int milliseconds) {
  // The pause is between two steps, so handlers may run in it as they do in
  // ProcessMessages. A timer wakes the wait at the deadline; every event
  // that arrives before it is handled at once.
  QDeadlineTimer deadline(milliseconds, Qt::PreciseTimer);
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  while (!deadline.hasExpired() && !form_.PauseShouldEnd()) {
    // Re-armed at every turn, so a wake that came a little early cannot
    // leave the wait blocked without a timer.
    wake.start(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    app_.DeliverPendingWork();
    form_.ShowPanel();
  }
}

uint64_t WindowHost::PickupSeed() {
  return static_cast<uint64_t>(QTime::currentTime().msecsSinceStartOfDay());
}

void WindowHost::FatalAllocationFailure(bool loopBuffers) {
  if (loopBuffers)
    prompter_.Message(QString::fromUtf8(kMessageTitle.data(), kMessageTitle.size()),
                      "Memory Allocation Failure ! Exiting Program. \nRestart Again", MessageIcon::Error);
  else
    prompter_.GeneralError("Memory Allocation Error.\nProgram will now Exit");
  // The run does not go on and the close questions are not asked: the
  // event loop ends as soon as the handler that started the run returns,
  // and the program with a failure code.
  QCoreApplication::exit(kFatalExitCode);
}

}  // namespace qx
