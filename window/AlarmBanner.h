// The alarm banner under the trends and the faceplate: one row per alarm
// that is active or not yet acknowledged, the newest active first, each with
// its wall time, its run time and its message, coloured by severity and
// blinking until it is acknowledged; "No alarms" (or that the alarms are
// off) when there is none. The Acknowledge button beside the rows stands for
// the window's acknowledge action.
#pragma once

#include <QFrame>
#include <array>
#include <vector>

#include "alarms/AlarmState.h"

class QAction;
class QFontMetrics;
class QLabel;
class QTimer;
class QToolButton;

namespace qx {

class AlarmRow;

class AlarmBanner : public QFrame {
  Q_OBJECT

 public:
  explicit AlarmBanner(QWidget* parent = nullptr);

  // The buttons beside the rows trigger these actions.
  void SetActions(QAction* acknowledge, QAction* limits);
  // Shows the alarms' states with `separator` as decimal point; nothing is
  // redrawn while they are the same.
  void ShowAlarms(const std::array<AlarmStatus, kAlarmKindCount>& alarms, char separator);

  // The rows shown, newest active first (tests).
  const std::vector<AlarmStatus>& Shown() const { return shown_; }
  // A row's text: wall time, run time, message and, until acknowledged,
  // "unacknowledged".
  static QString RowText(const AlarmStatus& status, char separator);
  // The same within `width` pixels of `metrics` (no limit when not
  // positive): the message is cut short with an ellipsis, the times and the
  // note stay whole.
  static QString FittedRowText(const AlarmStatus& status, char separator, const QFontMetrics& metrics,
                               int width);

 private:
  struct RowParts {
    QString Prefix, Message, Suffix;
  };
  static RowParts Parts(const AlarmStatus& status, char separator);
  void Redraw();
  void Blink();

  std::array<AlarmRow*, kAlarmKindCount> rows_{};
  QLabel* idle_;
  QToolButton* acknowledge_;
  QToolButton* limits_;
  QTimer* blink_;
  bool blinkOn_ = true;
  bool anyEnabled_ = false;
  bool drawn_ = false;  // ShowAlarms has drawn once
  char separator_ = '.';
  std::vector<AlarmStatus> shown_;
  std::array<uint64_t, kAlarmKindCount> transitions_{};
};

}  // namespace qx
