#include "window/AlarmBanner.h"

#include <QAction>
#include <QDateTime>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace qx {
namespace {

// Unacknowledged rows blink at one change a half second: noticeable
// without being frantic.
constexpr int kBlinkMs = 500;

// Severity bands as alarm consoles colour them: high (700 and above) red,
// medium (400 to 699) orange, low yellow.
constexpr uint16_t kHighSeverity = 700;
constexpr uint16_t kMediumSeverity = 400;

struct Colours {
  const char* Background;
  const char* Text;
};

Colours ColoursFor(const AlarmStatus& s) {
  if (s.Severity >= kHighSeverity) return {"#c62828", "#ffffff"};
  if (s.Severity >= kMediumSeverity) return {"#ef6c00", "#000000"};
  return {"#fdd835", "#000000"};
}

bool Newer(const AlarmStatus& a, const AlarmStatus& b) {
  if (a.Active != b.Active) return a.Active;  // active alarms first
  return a.Active ? a.ActiveWallTime > b.ActiveWallTime : a.WallTime > b.WallTime;
}

}  // namespace

// One row: the alarm's text fitted to the row's width whenever either
// changes (a row that has just been shown gets its width from the layout
// only after its text was set).
class AlarmRow : public QLabel {
 public:
  explicit AlarmRow(QWidget* parent) : QLabel(parent) {}
  void Show(const AlarmStatus& status, char separator) {
    status_ = status;
    separator_ = separator;
    Fit();
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    Fit();
  }

 private:
  void Fit() { setText(AlarmBanner::FittedRowText(status_, separator_, fontMetrics(), contentsRect().width())); }

  AlarmStatus status_;
  char separator_ = '.';
};

AlarmBanner::AlarmBanner(QWidget* parent)
    : QFrame(parent),
      idle_(new QLabel(this)),
      acknowledge_(new QToolButton(this)),
      limits_(new QToolButton(this)),
      blink_(new QTimer(this)) {
  setObjectName("AlarmBanner");
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(4, 1, 4, 1);
  row->setSpacing(6);
  auto* column = new QVBoxLayout;
  column->setSpacing(1);
  idle_->setObjectName("AlarmIdle");
  column->addWidget(idle_);
  for (int i = 0; i < kAlarmKindCount; ++i) {
    rows_[i] = new AlarmRow(this);
    rows_[i]->setObjectName(QString("AlarmRow%1").arg(i));
    rows_[i]->setAutoFillBackground(true);
    rows_[i]->setContentsMargins(4, 0, 4, 0);
    // As wide as the column, whatever the text: a long message is cut to
    // fit (FittedRowText), never clipped with its acknowledgment note.
    rows_[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    rows_[i]->hide();
    column->addWidget(rows_[i]);
  }
  row->addLayout(column, 1);
  acknowledge_->setObjectName("AcknowledgeAlarmsButton");
  limits_->setObjectName("AlarmLimitsButton");
  for (QToolButton* button : {acknowledge_, limits_}) {
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    row->addWidget(button, 0, Qt::AlignTop);
  }
  blink_->setObjectName("AlarmBlinkTimer");
  blink_->setInterval(kBlinkMs);
  connect(blink_, &QTimer::timeout, this, &AlarmBanner::Blink);
  Redraw();
}

void AlarmBanner::SetActions(QAction* acknowledge, QAction* limits) {
  acknowledge_->setDefaultAction(acknowledge);
  limits_->setDefaultAction(limits);
}

AlarmBanner::RowParts AlarmBanner::Parts(const AlarmStatus& s, char separator) {
  const auto wall = s.Active ? s.ActiveWallTime : s.WallTime;
  const double run = s.Active ? s.ActiveRunTime : s.RunTime;
  const QDateTime when = QDateTime::fromMSecsSinceEpoch(
      std::chrono::duration_cast<std::chrono::milliseconds>(wall.time_since_epoch()).count());
  QString runText = QString::number(run, 'f', 1);
  RowParts parts;
  parts.Message = QString::fromStdString(s.Message);
  if (separator != '.') {
    runText.replace('.', QChar(separator));
    parts.Message.replace('.', QChar(separator));
  }
  parts.Prefix = when.toString("HH:mm:ss") + "   " + tr("t = %1").arg(runText) + "   ";
  if (!s.Acked) parts.Suffix = "   " + tr("(unacknowledged)");
  return parts;
}

QString AlarmBanner::RowText(const AlarmStatus& s, char separator) {
  const RowParts parts = Parts(s, separator);
  return parts.Prefix + parts.Message + parts.Suffix;
}

QString AlarmBanner::FittedRowText(const AlarmStatus& s, char separator, const QFontMetrics& metrics, int width) {
  const RowParts parts = Parts(s, separator);
  const QString full = parts.Prefix + parts.Message + parts.Suffix;
  if (width <= 0 || metrics.horizontalAdvance(full) <= width) return full;
  // The times and the note stay whole; the message gives way.
  const int left = width - metrics.horizontalAdvance(parts.Prefix) - metrics.horizontalAdvance(parts.Suffix);
  return parts.Prefix + metrics.elidedText(parts.Message, Qt::ElideRight, std::max(left, 0)) + parts.Suffix;
}

void AlarmBanner::ShowAlarms(const std::array<AlarmStatus, kAlarmKindCount>& alarms, char separator) {
  std::array<uint64_t, kAlarmKindCount> transitions{};
  bool anyEnabled = false;
  for (int i = 0; i < kAlarmKindCount; ++i) {
    transitions[i] = alarms[i].Transitions;
    anyEnabled = anyEnabled || alarms[i].Enabled;
  }
  if (drawn_ && transitions == transitions_ && separator == separator_ && anyEnabled == anyEnabled_) return;
  drawn_ = true;
  transitions_ = transitions;
  separator_ = separator;
  anyEnabled_ = anyEnabled;
  shown_.clear();
  for (const AlarmStatus& s : alarms) {
    if (s.Enabled && (s.Active || !s.Acked)) shown_.push_back(s);
  }
  std::sort(shown_.begin(), shown_.end(), Newer);
  Redraw();
}

void AlarmBanner::Redraw() {
  const bool unacked = std::any_of(shown_.begin(), shown_.end(), [](const AlarmStatus& s) { return !s.Acked; });
  if (unacked && !blink_->isActive()) {
    blinkOn_ = true;
    blink_->start();
  } else if (!unacked) {
    blink_->stop();
    blinkOn_ = true;
  }
  idle_->setVisible(shown_.empty());
  idle_->setText(anyEnabled_ ? tr("No alarms") : tr("Alarms off: set their limits with Alarms > Alarm Limits"));
  for (int i = 0; i < kAlarmKindCount; ++i) {
    AlarmRow* row = rows_[i];
    if (i >= static_cast<int>(shown_.size())) {
      row->hide();
      continue;
    }
    const AlarmStatus& s = shown_[i];
    const Colours colours = ColoursFor(s);
    // Active: the severity's colour behind the text; cleared: the colour as
    // text. Unacknowledged rows swap to plain on every other blink.
    const bool plain = !s.Active || (!s.Acked && !blinkOn_);
    QPalette palette = this->palette();
    if (plain) {
      palette.setColor(QPalette::Window, palette.color(QPalette::Base));
      palette.setColor(QPalette::WindowText, s.Active ? palette.color(QPalette::Text) : QColor(colours.Background));
    } else {
      palette.setColor(QPalette::Window, QColor(colours.Background));
      palette.setColor(QPalette::WindowText, QColor(colours.Text));
    }
    row->setPalette(palette);
    row->Show(s, separator_);
    row->setToolTip(RowText(s, separator_) + "\n" +
                    (s.Active ? tr("Active, severity %1").arg(s.Severity) : tr("Back to normal, not yet acknowledged")));
    row->show();
  }
}

void AlarmBanner::Blink() {
  blinkOn_ = !blinkOn_;
  Redraw();
}

}  // namespace qx
