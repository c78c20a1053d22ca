// Drives the main window through a script while a run goes on. A run
// executes inside the handler that started it, so the script's steps are
// performed from a timer that fires between two steps of that run (and on
// after it, from the top-level event loop).
#pragma once

#include <QObject>
#include <QTimer>
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace qx {

// One step of a script: performs its actions and returns true when done,
// false to be called again at the next tick.
using ScriptStep = std::function<bool()>;

class ScriptedRun {
 public:
  explicit ScriptedRun(std::vector<ScriptStep> steps, int tickMs = 5) : steps_(std::move(steps)) {
    timer_.setInterval(tickMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (next_ < steps_.size() && steps_[next_]()) ++next_;
      if (next_ == steps_.size()) timer_.stop();
    });
  }

  void Start() { timer_.start(); }
  bool Finished() const { return next_ == steps_.size(); }
  std::size_t StepIndex() const { return next_; }

 private:
  std::vector<ScriptStep> steps_;
  std::size_t next_ = 0;
  QTimer timer_;
};

}  // namespace qx
