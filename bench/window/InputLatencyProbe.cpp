#include "bench/window/InputLatencyProbe.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <random>

namespace qx::bench {
namespace {

const QEvent::Type kCheckEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
// An input whose effect has not shown by then counts as missed.
constexpr std::chrono::seconds kEffectLimit{3};

}  // namespace

// Posted right behind an input: events posted from one thread to one
// receiving thread are delivered in order, so when this arrives the input
// has been delivered and handled. When the effect is not there yet, it is
// posted again and so looks once more at the next message processing.
struct InputLatencyProbe::Check : QEvent {
  Check(int index, Kind kind, Clock::time_point postedAt)
      : QEvent(kCheckEvent), Index(index), InputKind(kind), PostedAt(postedAt) {}
  int Index;
  Kind InputKind;
  Clock::time_point PostedAt;
};

InputLatencyProbe::InputLatencyProbe(QLineEdit* edit, QLabel* modePanel) : edit_(edit), modePanel_(modePanel) {
  edit_->installEventFilter(this);
  modePanel_->installEventFilter(this);
}

InputLatencyProbe::~InputLatencyProbe() {
  quit_ = true;
  resolvedChanged_.notify_all();
  if (poster_.joinable()) poster_.join();
}

void InputLatencyProbe::Start(int count, int minGapMs, int maxGapMs, unsigned seed) {
  if (poster_.joinable()) poster_.join();
  result_ = {};
  resolved_ = -1;
  finished_ = false;
  // Widget geometry is read here, on the GUI thread.
  clickAt_ = QRectF(modePanel_->rect()).center();
  clickAtGlobal_ = modePanel_->mapToGlobal(clickAt_);
  edit_->setFocus(Qt::MouseFocusReason);
  edit_->end(false);
  poster_ = std::thread([=, this] { Post(count, minGapMs, maxGapMs, seed); });
}

LatencyResult InputLatencyProbe::Result() const { return result_; }

void InputLatencyProbe::Post(int count, int minGapMs, int maxGapMs, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> gap(minGapMs, maxGapMs);
  for (int i = 0; i < count && !quit_; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
    const Kind kind = i % 2 == 0 ? Kind::Key : Kind::Click;
    const Clock::time_point postedAt = Clock::now();
    if (kind == Kind::Key) {
      const bool digit = (i / 2) % 2 == 0;
      const int key = digit ? Qt::Key_1 : Qt::Key_Backspace;
      const QString text = digit ? QStringLiteral("1") : QStringLiteral("\b");
      QCoreApplication::postEvent(edit_, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
      QCoreApplication::postEvent(edit_, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
    } else {
      QCoreApplication::postEvent(modePanel_, new QMouseEvent(QEvent::MouseButtonPress, clickAt_, clickAtGlobal_,
                                                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
      QCoreApplication::postEvent(modePanel_, new QMouseEvent(QEvent::MouseButtonRelease, clickAt_, clickAtGlobal_,
                                                              Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    }
    QCoreApplication::postEvent(this, new Check(i, kind, postedAt));
    std::unique_lock lock(mutex_);
    resolvedChanged_.wait(lock, [&] { return resolved_ >= i || quit_; });
  }
  finished_ = true;
}

bool InputLatencyProbe::eventFilter(QObject* watched, QEvent* event) {
  // This filter was installed after the window's own, so it sees the input
  // first: what the target showed before the input is taken here.
  if (watched == edit_ && event->type() == QEvent::KeyPress) {
    before_ = edit_->text();
    captured_ = true;
  } else if (watched == modePanel_ && event->type() == QEvent::MouseButtonRelease) {
    before_ = modePanel_->text();
    captured_ = true;
  }
  return QObject::eventFilter(watched, event);
}

bool InputLatencyProbe::event(QEvent* event) {
  if (event->type() != kCheckEvent) return QObject::event(event);
  const auto* check = static_cast<Check*>(event);
  const QString now = check->InputKind == Kind::Key ? edit_->text() : modePanel_->text();
  const Clock::time_point at = Clock::now();
  if (captured_ && now != before_) {
    const double ms = std::chrono::duration<double, std::milli>(at - check->PostedAt).count();
    (check->InputKind == Kind::Key ? result_.KeyMs : result_.ClickMs).push_back(ms);
    Resolve(check->Index);
  } else if (at - check->PostedAt < kEffectLimit) {
    QCoreApplication::postEvent(this, new Check(check->Index, check->InputKind, check->PostedAt));
  } else {
    ++result_.Missed;
    Resolve(check->Index);
  }
  return true;
}

void InputLatencyProbe::Resolve(int index) {
  captured_ = false;
  {
    std::lock_guard lock(mutex_);
    resolved_ = index;
  }
  resolvedChanged_.notify_all();
}

}  // namespace qx::bench
