#include "bench/window/TuningMapProbe.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/Application.h"
#include "app/TuningMapGrid.h"
#include "window/MainWindow.h"
#include "window/TuningMapDialog.h"

namespace qx::bench {
namespace {

// The processor time of the calling thread (the GUI thread, which runs the
// loop), in seconds.
double ThreadCpuSeconds() {
  timespec now{};
  if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0) {
    std::perror("bench_window: clock_gettime(CLOCK_THREAD_CPUTIME_ID)");
    std::exit(1);
  }
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

}  // namespace

int64_t TuningMapProbe::Steps() const { return form_.App().Sim().Run.StepsDone; }

TuningMapDialog* TuningMapProbe::Map() {
  if (!form_.TuningMap()) form_.findChild<QAction*>("TuningMap")->trigger();
  return form_.TuningMap();
}

void TuningMapProbe::StartMap(int count) {
  TuningMapDialog* map = Map();
  for (const char* name : {"MapPCount", "MapICount"}) map->findChild<QLineEdit*>(name)->setText(QString::number(count));
  map->Compute();
  if (!map->Computing()) {
    std::fprintf(stderr, "bench_window: the tuning map did not start: %s\n",
                 qPrintable(map->findChild<QLabel*>("MapStatus")->text()));
    std::exit(1);
  }
}

bool TuningMapProbe::MeasureTurns() {
  const bool withMap = f_.WithMap.size() == f_.WithoutMap.size();
  if (withMap && static_cast<int>(f_.WithMap.size()) == kTurnPairs) return true;
  if (!turnStarted_) {
    turnStarted_ = true;
    if (withMap) StartMap(kBusyMapCount);
    startedAt_ = Clock::now();
    startCpu_ = ThreadCpuSeconds();
    startSteps_ = Steps();
    return false;
  }
  const double wall = Seconds(Clock::now() - startedAt_);
  if (wall < Seconds(kTurnTime)) return false;
  const double steps = static_cast<double>(Steps() - startSteps_), cpu = ThreadCpuSeconds() - startCpu_;
  const MapTurn turn{steps / wall, cpu > 0 ? steps / cpu : 0, cpu / wall};
  turnStarted_ = false;
  if (!withMap) {
    f_.WithoutMap.push_back(turn);
    return false;
  }
  f_.WithMap.push_back(turn);
  f_.MapPoints.push_back(Map()->findChild<QProgressBar*>("MapProgress")->value());
  if (!Map()->Computing()) f_.MapEndedEarly = true;
  Map()->Cancel();
  std::fprintf(stderr, "bench_window: tuning map turn %zu of %d\n", f_.WithMap.size(), kTurnPairs);
  return false;
}

bool TuningMapProbe::TimeDefaultMap() {
  if (!mapTimed_) {
    mapTimed_ = true;
    std::fprintf(stderr, "bench_window: a %dx%d tuning map\n", kTuningMapCount, kTuningMapCount);
    StartMap(kTuningMapCount);
    startedAt_ = Clock::now();
    return false;
  }
  if (Map()->Computing()) return false;
  f_.DefaultMapSeconds = Seconds(Clock::now() - startedAt_);
  f_.DefaultMapStatus = Map()->findChild<QLabel*>("MapStatus")->text().toStdString();
  Map()->close();
  return true;
}

void TuningMapProbe::Print(const TuningMapFigures& f) {
  std::printf("\ne. Throughput at full speed beside a %dx%d tuning map, turns of %lld s    target >= 80 %%\n",
              kBusyMapCount, kBusyMapCount, static_cast<long long>(kTurnTime.count()));
  if (f.WithMap.empty() || f.WithoutMap.empty()) {
    std::printf("  not measured\n");
  } else {
    std::printf("  %4s | %9s %11s %6s | %9s %11s %6s | %6s\n", "turn", "with st/s", "st/cpu-s", "share", "w/o st/s",
                "st/cpu-s", "share", "points");
    std::vector<double> wall, cpu;
    for (std::size_t i = 0; i < f.WithMap.size() && i < f.WithoutMap.size(); ++i) {
      const MapTurn &a = f.WithMap[i], &b = f.WithoutMap[i];
      wall.push_back(a.PerSecond / b.PerSecond);
      cpu.push_back(a.PerCpuSecond / b.PerCpuSecond);
      std::printf("  %4zu | %9.0f %11.0f %5.0f%% | %9.0f %11.0f %5.0f%% | %6lld\n", i + 1, a.PerSecond, a.PerCpuSecond,
                  100 * a.Share, b.PerSecond, b.PerCpuSecond, 100 * b.Share, static_cast<long long>(f.MapPoints[i]));
    }
    std::printf("  with / without, median of the turns: %.0f %% per wall second (range %.0f-%.0f %%), %.0f %% per\n"
                "  processor second of the run thread (range %.0f-%.0f %%)%s\n",
                100 * Median(wall), 100 * *std::min_element(wall.begin(), wall.end()),
                100 * *std::max_element(wall.begin(), wall.end()), 100 * Median(cpu),
                100 * *std::min_element(cpu.begin(), cpu.end()), 100 * *std::max_element(cpu.begin(), cpu.end()),
                f.MapEndedEarly ? " (a map ended within a turn)" : "");
  }
  if (f.DefaultMapSeconds)
    std::printf("  default %dx%d map of the starting case: %.2f s (%s)\n", kTuningMapCount, kTuningMapCount,
                *f.DefaultMapSeconds, f.DefaultMapStatus.c_str());
}

}  // namespace qx::bench
