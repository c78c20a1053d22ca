// The live run beside a tuning map: turns of a few seconds with a map of
// more points than a turn lasts computing (cancelled at the turn's end) and
// without one, alternating so that the load of a shared machine changes both
// alike; each turn's steps per second of wall time and of the run thread's
// processor time. Then the time a map of the default 15 x 15 grid takes.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qx {
class TForm1;
class TuningMapDialog;
}  // namespace qx

namespace qx::bench {

struct MapTurn {
  double PerSecond = 0;     // steps per second of wall time
  double PerCpuSecond = 0;  // steps per second of the run thread's processor time
  double Share = 0;         // the part of the wall time the run thread had a processor
};

struct TuningMapFigures {
  std::vector<MapTurn> WithMap, WithoutMap;
  std::vector<int64_t> MapPoints;  // points done in each turn with the map
  bool MapEndedEarly = false;
  std::optional<double> DefaultMapSeconds;
  std::string DefaultMapStatus;
};

class TuningMapProbe {
 public:
  static constexpr int kBusyMapCount = 100;  // the most a map takes
  static constexpr int kTurnPairs = 10;
  static constexpr std::chrono::seconds kTurnTime{3};

  TuningMapProbe(TForm1& form, TuningMapFigures& figures) : form_(form), f_(figures) {}

  // Ticks of the script, on the GUI thread (the run's); each true when done.
  bool MeasureTurns();
  bool TimeDefaultMap();

  static void Print(const TuningMapFigures& f);

 private:
  using Clock = std::chrono::steady_clock;
  TuningMapDialog* Map();
  void StartMap(int count);
  int64_t Steps() const;

  TForm1& form_;
  TuningMapFigures& f_;
  bool turnStarted_ = false;
  bool mapTimed_ = false;
  Clock::time_point startedAt_;
  double startCpu_ = 0;
  int64_t startSteps_ = 0;
};

}  // namespace qx::bench
