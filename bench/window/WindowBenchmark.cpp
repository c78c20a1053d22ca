// bench_window: the main window as the operator sees it, shown at its
// design size on the offscreen platform, running the starting case with a
// trend window of 1900 at full speed. Prints:
//   a. simulation steps per second with the charts kept up to date and
//      painted, and how often the charts were actually replotted and painted;
//   b. the time from a key press or a click, posted at a random moment from
//      another thread, until its effect shows, at the fastest and the
//      slowest speed;
//   c. the resident memory every 100 000 steps over 1 000 000 steps;
//   d. at each of the seven speeds, the share of speed-arrow clicks given
//      at a person's pace that act, and the time from a click to the
//      gauge's change;
//   e. the steps per second of (a) in turns of a few seconds with a tuning
//      map computing and without one (TuningMapProbe), and the time a map
//      of the default 15 x 15 grid takes.
// With --tuning-map only (a) and (e) are measured.
// The program ends by itself: it stops the run with "Stop Simulation" and
// closes the window, both answered Yes.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>
#include <qcustomplot.h>

#include "app/Application.h"
#include "bench/window/InputLatencyProbe.h"
#include "bench/window/SpeedClickProbe.h"
#include "bench/window/TuningMapProbe.h"
#include "window/MainWindow.h"
#include "window/charts/TrendCharts.h"
#include "window/tools/AnsweringPrompter.h"
#include "window/tools/ScriptedRun.h"
#include "window/tools/SyntheticInput.h"
#include "window/tools/WindowScript.h"

namespace qx::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTrendWindow = 1900;
// The window is full after 2 x 1900 steps; a little more so the first
// compaction has happened before anything is measured.
constexpr int64_t kFillSteps = 2 * kTrendWindow + 400;
constexpr std::chrono::seconds kThroughputTime{10};
constexpr int kInputsPerSpeed = 52;  // an even count: the mode ends where it began
constexpr int64_t kMemorySteps = 1'000'000;
constexpr int64_t kMemoryInterval = 100'000;
// Bounds of the phases, so the program ends even on a machine far slower
// than expected; what was reached is reported.
constexpr std::chrono::seconds kMemoryTimeLimit{240};
constexpr std::chrono::seconds kTotalTimeLimit{480};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

long ResidentKiB() {
  long pages = 0, resident = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::string LoadAverage() {
  QFile file("/proc/loadavg");
  if (!file.open(QIODevice::ReadOnly)) return "?";
  return file.readLine().simplified().split(' ').mid(0, 3).join(' ').toStdString();
}

// Paint events that reach a widget.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int64_t Count = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++Count;
    return QObject::eventFilter(watched, event);
  }
};

struct Throughput {
  double Seconds = 0;
  int64_t Steps = 0;
  int64_t Replots = 0;
  int64_t Paints = 0;
};

struct MemorySample {
  int64_t Steps;
  double Seconds;
  long KiB;
};

struct Figures {
  std::string LoadAtStart, LoadAtEnd;
  long ResidentBeforeWindow = 0;
  std::optional<Throughput> Speed;
  std::optional<LatencyResult> FastInputs, SlowInputs;
  std::vector<MemorySample> Memory;
  std::optional<std::array<SpeedClickResult, SpeedClickProbe::kSpeeds>> SpeedClicks;
  TuningMapFigures TuningMap;
  bool TimedOut = false;
};

// --- Report ---

void PrintLatencies(const char* speed, const char* what, std::vector<double> ms) {
  if (ms.empty()) {
    std::printf("  %-16s %-28s %5s\n", speed, what, "none");
    return;
  }
  std::sort(ms.begin(), ms.end());
  double sum = 0;
  for (double m : ms) sum += m;
  const std::size_t p95 = static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(ms.size()))) - 1;
  std::printf("  %-16s %-28s %5zu %9.2f %9.2f %9.2f\n", speed, what, ms.size(), sum / ms.size(), ms[p95],
              ms.back());
}

void PrintLatencyBlock(const char* speed, const LatencyResult& r) {
  std::vector<double> all = r.KeyMs;
  all.insert(all.end(), r.ClickMs.begin(), r.ClickMs.end());
  PrintLatencies(speed, "key into PSingle", r.KeyMs);
  PrintLatencies(speed, "click on manual_auto_select", r.ClickMs);
  PrintLatencies(speed, "all inputs", all);
  if (r.Missed > 0) std::printf("  %-16s %d input(s) showed no effect within 3 s\n", speed, r.Missed);
}

void Print(const Figures& f) {
  std::printf("\nbench_window: main window 1155x732, offscreen, starting case, SimTime %d\n", kTrendWindow);
  std::printf("load average (1/5/15 min): %s at start, %s at end\n\n", f.LoadAtStart.c_str(), f.LoadAtEnd.c_str());

  std::printf("a. Throughput at full speed (SleepMs 0), trend window full          target\n");
  if (f.Speed) {
    const Throughput& t = *f.Speed;
    std::printf("  steps per second             %10.0f   over %.1f s (%lld steps)   >= 10000\n",
                t.Steps / t.Seconds, t.Seconds, static_cast<long long>(t.Steps));
    std::printf("  Chart1 replots per second    %10.1f\n", t.Replots / t.Seconds);
    std::printf("  Chart1 paint events per sec  %10.1f\n", t.Paints / t.Seconds);
    std::printf("  steps per replot             %10.1f\n", t.Replots ? double(t.Steps) / t.Replots : 0.0);
  } else {
    std::printf("  not measured\n");
  }

  std::printf("\nb. Input to effect, posted from another thread at random moments (ms)   target worst <= 50\n");
  std::printf("  %-16s %-28s %5s %9s %9s %9s\n", "speed", "input", "n", "mean", "p95", "worst");
  if (f.FastInputs) PrintLatencyBlock("SleepMs 0", *f.FastInputs);
  if (f.SlowInputs) PrintLatencyBlock("SleepMs 600", *f.SlowInputs);
  if (!f.FastInputs && !f.SlowInputs) std::printf("  not measured\n");

  std::printf("\nc. Resident memory at full speed (before the window: %ld KiB)        target flat\n",
              f.ResidentBeforeWindow);
  std::printf("  %12s %10s %12s %12s\n", "steps", "seconds", "RSS KiB", "change KiB");
  for (const MemorySample& s : f.Memory)
    std::printf("  %12lld %10.1f %12ld %+12ld\n", static_cast<long long>(s.Steps), s.Seconds, s.KiB,
                s.KiB - f.Memory.front().KiB);
  if (f.Memory.size() >= 2) {
    const MemorySample& first = f.Memory[1];  // after the first 100 000 steps: caches warm
    const MemorySample& last = f.Memory.back();
    std::printf("  growth from step %lld to %lld: %+ld KiB\n", static_cast<long long>(first.Steps),
                static_cast<long long>(last.Steps), last.KiB - first.KiB);
    if (last.Seconds > 0)
      std::printf("  steps per second over these steps: %.0f\n", static_cast<double>(last.Steps) / last.Seconds);
  }
  std::printf("\nd. Speed arrows at a person's pace (a click every 450-650 ms)        target 100 %% act\n");
  if (f.SpeedClicks) {
    std::printf("  %-12s %6s %6s %7s %14s %14s\n", "SleepMs", "clicks", "acted", "share", "mean ms", "worst ms");
    for (const SpeedClickResult& r : *f.SpeedClicks) {
      double sum = 0, worst = 0;
      for (double ms : r.Ms) {
        sum += ms;
        worst = std::max(worst, ms);
      }
      std::printf("  %-12d %6d %6d %6.0f%% %14.1f %14.1f\n", r.SleepMs, r.Clicks, r.Acted,
                  r.Clicks ? 100.0 * r.Acted / r.Clicks : 0.0, r.Ms.empty() ? 0.0 : sum / r.Ms.size(), worst);
    }
  } else {
    std::printf("  not measured\n");
  }
  TuningMapProbe::Print(f.TuningMap);
  if (f.TimedOut) std::printf("\nThe time limit of %lld s ended the benchmark early.\n",
                              static_cast<long long>(kTotalTimeLimit.count()));
}

// --- The script ---

class WindowBenchmark : public WindowScript {
 public:
  WindowBenchmark(TForm1& form, Figures& figures)
      : WindowScript(form, "bench_window"), f_(figures), map_(form, figures.TuningMap) {}

  std::vector<ScriptStep> Script(bool mapOnly) {
    std::vector<ScriptStep> map = {[this] { return map_.MeasureTurns(); }, [this] { return map_.TimeDefaultMap(); }};
    if (mapOnly) {
      std::vector<ScriptStep> script = {[this] { return SetTrendWindow(); },
                                        [this] { return Steps() >= kFillSteps; },
                                        [this] { return MeasureThroughput(f_.Speed); }};
      script.insert(script.end(), map.begin(), map.end());
      script.insert(script.end(), {[this] { return StopRun(); }, [this] { return CloseWindow(); }});
      return script;
    }
    return {[this] { return SetTrendWindow(); },
            [this] { return Steps() >= kFillSteps; },
            [this] { return MeasureThroughput(f_.Speed); },
            map[0], map[1],
            [this] { return MeasureInputs(f_.FastInputs, 0, 5, 150, 1); },
            [this] { return MeasureMemory(); },
            [this] { return MeasureSpeedClicks(); },
            [this] { return SlowDown(); },
            [this] { return MeasureInputs(f_.SlowInputs, 600, 0, 700, 2); },
            [this] { return StopRun(); },
            [this] { return CloseWindow(); }};
  }

 private:
  LoopModel& Model() { return form_.App().Model(); }

  // The trend window through the SimTime edit and "Apply Changes", as an
  // operator sets it during a run.
  bool SetTrendWindow() {
    if (!Running()) return false;
    auto* simTime = Find<QLineEdit>("SimTime");
    simTime->setFocus();
    simTime->selectAll();
    SendText(simTime, QString::number(kTrendWindow));
    SendClick(Find<QPushButton>("ApplyChangesButton"));
    if (Model().RunSettings.SimTime != kTrendWindow || Model().RunControl.SleepMs != 0) {
      std::fprintf(stderr, "bench_window: SimTime %g and SleepMs %g after Apply; expected %d and 0\n",
                   Model().RunSettings.SimTime, Model().RunControl.SleepMs, kTrendWindow);
      std::exit(1);
    }
    std::fprintf(stderr, "bench_window: SimTime %d applied, filling the trend window\n", kTrendWindow);
    return true;
  }

  bool MeasureThroughput(std::optional<Throughput>& into) {
    QCustomPlot* chart = form_.Charts()->Chart1();
    if (!paints_) {
      paints_ = std::make_unique<PaintCounter>(chart);
      QObject::connect(chart, &QCustomPlot::afterReplot, [this] { ++replots_; });
    }
    if (!measuring_) {
      measuring_ = true;
      startedAt_ = Clock::now();
      startSteps_ = Steps();
      startReplots_ = replots_;
      startPaints_ = paints_->Count;
      std::fprintf(stderr, "bench_window: measuring steps per second for %lld s\n",
                   static_cast<long long>(kThroughputTime.count()));
      return false;
    }
    const Clock::duration elapsed = Clock::now() - startedAt_;
    if (elapsed < kThroughputTime) return false;
    into = Throughput{Seconds(elapsed), Steps() - startSteps_, replots_ - startReplots_,
                      paints_->Count - startPaints_};
    measuring_ = false;
    return true;
  }

  bool MeasureInputs(std::optional<LatencyResult>& into, int sleepMs, int minGapMs, int maxGapMs, unsigned seed) {
    if (!probe_) {
      if (Model().RunControl.SleepMs != sleepMs) {
        std::fprintf(stderr, "bench_window: SleepMs is %g, expected %d\n", Model().RunControl.SleepMs, sleepMs);
        std::exit(1);
      }
      std::fprintf(stderr, "bench_window: %d inputs at SleepMs %d\n", kInputsPerSpeed, sleepMs);
      probe_ = std::make_unique<InputLatencyProbe>(Find<QLineEdit>("PSingle"), Find<QLabel>("manual_auto_select"));
      probe_->Start(kInputsPerSpeed, minGapMs, maxGapMs, seed);
      return false;
    }
    if (!probe_->Finished()) return false;
    into = probe_->Result();
    probe_.reset();
    return true;
  }

  bool MeasureMemory() {
    if (f_.Memory.empty()) {
      std::fprintf(stderr, "bench_window: %lld steps for the memory table\n", static_cast<long long>(kMemorySteps));
      startedAt_ = Clock::now();
      startSteps_ = Steps();
      f_.Memory.push_back({0, 0, ResidentKiB()});
      return false;
    }
    const int64_t done = Steps() - startSteps_;
    const Clock::duration elapsed = Clock::now() - startedAt_;
    const int64_t nextSample = static_cast<int64_t>(f_.Memory.size()) * kMemoryInterval;
    const bool outOfTime = elapsed > kMemoryTimeLimit;
    if (done >= nextSample || outOfTime) {
      f_.Memory.push_back({done, Seconds(elapsed), ResidentKiB()});
      std::fprintf(stderr, "bench_window:   %lld steps, %ld KiB\n", static_cast<long long>(done),
                   f_.Memory.back().KiB);
    }
    return done >= kMemorySteps || outOfTime;
  }

  bool MeasureSpeedClicks() {
    if (!speedClicks_) {
      std::fprintf(stderr, "bench_window: speed arrows, %d clicks at each speed\n", SpeedClickProbe::kClicksPerSpeed);
      speedClicks_ = std::make_unique<SpeedClickProbe>(Model(), Find<QProgressBar>("CGauge1"),
                                                       Find<QToolButton>("UpDown1Left"),
                                                       Find<QToolButton>("UpDown1Right"), 3);
    }
    if (!speedClicks_->Step()) return false;
    f_.SpeedClicks = speedClicks_->Results();
    speedClicks_.reset();
    return true;
  }

  // "Slower" on the speed control, one click a step, until the slowest.
  bool SlowDown() {
    const RunControlRecord& c = Model().RunControl;
    if (c.SleepMs >= 600) return true;
    if (!c.SpeedCommandPending) SendClick(Find<QToolButton>("UpDown1Left"));
    return false;
  }

  bool StopRun() {
    SendClick(Find<QPushButton>("cmd_exit"));  // "End This Simulation?" answered Yes
    return true;
  }

  bool CloseWindow() {
    if (Running()) return false;
    form_.close();  // "Are you Sure?" answered Yes
    return true;
  }

  Figures& f_;
  TuningMapProbe map_;
  std::unique_ptr<PaintCounter> paints_;
  int64_t replots_ = 0;
  bool measuring_ = false;  // a throughput measurement is under way
  Clock::time_point startedAt_;
  int64_t startSteps_ = 0, startReplots_ = 0, startPaints_ = 0;
  std::unique_ptr<InputLatencyProbe> probe_;  // while inputs are measured
  std::unique_ptr<SpeedClickProbe> speedClicks_;  // while the speed arrows are measured
};

// A port of its own on the loopback, so the publication runs as in the
// program without meeting another server on this machine.
void StartServer(Application& app) {
  std::string error;
  for (int port = 5340; port < 5360; ++port)
    if (app.StartServer("opc.tcp://127.0.0.1:" + std::to_string(port), error)) return;
  std::fprintf(stderr, "bench_window: no OPC server (%s); the run publishes to nobody\n", error.c_str());
}

}  // namespace
}  // namespace qx::bench

int main(int argc, char** argv) {
  using namespace qx;
  using namespace qx::bench;
  UseOffscreenUnlessSet();
  Figures figures;
  figures.LoadAtStart = LoadAverage();
  figures.ResidentBeforeWindow = ResidentKiB();

  QApplication application(argc, argv);
  KeepSettingsApart();
  AnsweringPrompter prompter;
  TForm1 form(prompter);
  StartServer(form.App());
  OpenStartingCase(form);

  WindowBenchmark benchmark(form, figures);
  const bool mapOnly = argc > 1 && std::string(argv[1]) == "--tuning-map";
  ScriptedRun script(benchmark.Script(mapOnly));
  script.Start();
  QTimer::singleShot(kTotalTimeLimit, &form, [&] {
    figures.TimedOut = true;
    form.close();  // answered Yes: the run ends, then the window closes
  });
  QApplication::exec();

  figures.LoadAtEnd = LoadAverage();
  Print(figures);
  for (const QString& text : prompter.Shown)
    std::printf("box shown during the benchmark: %s\n", qPrintable(text));
  return figures.TimedOut || !script.Finished() ? 1 : 0;
}
