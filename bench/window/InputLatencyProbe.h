// Input latency of the running window: real key presses into an edit and
// clicks on the mode panel are posted from a thread of their own at random
// moments, as an operator's input arrives from outside the run loop, and
// each is timed from its posting until its effect shows in the window (the
// edit's text or the panel's caption changed).
#pragma once

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QPointF>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace qx::bench {

struct LatencyResult {
  std::vector<double> KeyMs;    // key press into the edit until its text changed
  std::vector<double> ClickMs;  // click on the mode panel until its caption flipped
  int Missed = 0;               // inputs whose effect never showed within the limit
};

class InputLatencyProbe : public QObject {
 public:
  InputLatencyProbe(QLineEdit* edit, QLabel* modePanel);
  ~InputLatencyProbe() override;

  // Posts `count` inputs, alternately a key into the edit ('1' and
  // Backspace in turn) and a click on the mode panel, each after a random
  // gap of minGapMs to maxGapMs since the previous one took effect. GUI
  // thread; returns at once.
  void Start(int count, int minGapMs, int maxGapMs, unsigned seed);
  bool Finished() const { return finished_; }
  // The timings, once Finished.
  LatencyResult Result() const;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  enum class Kind { Key, Click };
  using Clock = std::chrono::steady_clock;
  struct Check;

  void Post(int count, int minGapMs, int maxGapMs, unsigned seed);
  void Resolve(int index);

  QLineEdit* edit_;
  QLabel* modePanel_;
  QPointF clickAt_, clickAtGlobal_;

  // GUI thread: what the target showed just before the input reached it.
  bool captured_ = false;
  QString before_;
  LatencyResult result_;

  std::thread poster_;
  std::mutex mutex_;
  std::condition_variable resolvedChanged_;
  int resolved_ = -1;  // index of the last input whose check ended
  std::atomic<bool> finished_{false};
  std::atomic<bool> quit_{false};
};

}  // namespace qx::bench
