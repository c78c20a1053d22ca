#include "window/Faceplate.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>

namespace qx {

// A vertical bar filled from the bottom to where a value stands in its
// range.
class FaceplateBar : public QWidget {
 public:
  FaceplateBar(const QColor& colour, QWidget* parent) : QWidget(parent), colour_(colour) {
    setMinimumSize(kWidth, kMinimumHeight);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  }
  void SetFraction(double fraction) {
    fraction_ = fraction;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.fillRect(frame, palette().base());
    const int filled = static_cast<int>(fraction_ * frame.height() + 0.5);
    painter.fillRect(QRect(frame.left(), frame.bottom() - filled + 1, frame.width() + 1, filled), colour_);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame);
  }

 private:
  static constexpr int kWidth = 18;
  static constexpr int kMinimumHeight = 60;
  QColor colour_;
  double fraction_ = 0;
};

namespace {

// The trends' own colours: PV red, SP blue, OP green.
const QColor kColours[] = {Qt::red, Qt::blue, Qt::darkGreen};
const char* const kNames[] = {"PV", "SP", "OP"};
// The numbers are what an operator reads from a distance.
constexpr double kValueScale = 1.3;

QLabel* Label(const QString& name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignCenter);
  return label;
}

}  // namespace

Faceplate::Faceplate(QWidget* parent) : QFrame(parent), mode_(Label("FaceplateMode", this)) {
  setObjectName("Faceplate");
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  setToolTip("PV and SP in the units of the CV range (the case names no unit), OP in percent; each bar "
             "spans its range");
  QFont big = font();
  big.setPointSizeF(big.pointSizeF() * kValueScale);
  big.setBold(true);
  QFont small = font();
  small.setPointSizeF(small.pointSizeF() - 1);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(4, 4, 4, 4);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(1);
  for (int i = 0; i < 3; ++i) {
    Column& c = columns_[i];
    auto* name = Label(QString("Faceplate%1Name").arg(kNames[i]), this);
    name->setText(kNames[i]);
    QPalette colour = name->palette();
    colour.setColor(QPalette::WindowText, kColours[i]);
    name->setPalette(colour);
    name->setFont(big);
    c.Value = Label(QString("Faceplate%1").arg(kNames[i]), this);
    c.Value->setFont(big);
    c.Unit = Label(QString("Faceplate%1Unit").arg(kNames[i]), this);
    c.Unit->setFont(small);
    c.High = Label(QString("Faceplate%1High").arg(kNames[i]), this);
    c.High->setFont(small);
    c.Low = Label(QString("Faceplate%1Low").arg(kNames[i]), this);
    c.Low->setFont(small);
    c.Bar = new FaceplateBar(kColours[i], this);
    c.Bar->setObjectName(QString("Faceplate%1Bar").arg(kNames[i]));
    grid->addWidget(name, 0, i);
    grid->addWidget(c.Value, 1, i);
    grid->addWidget(c.Unit, 2, i);
    grid->addWidget(c.High, 3, i);
    grid->addWidget(c.Bar, 4, i, Qt::AlignHCenter);
    grid->addWidget(c.Low, 5, i);
  }
  grid->setRowStretch(4, 1);
  mode_->setFont(big);
  grid->addWidget(mode_, 6, 0, 1, 3);
  // Room for the widest number the range gives, so the plate keeps its
  // width as values change.
  const int digits = QFontMetrics(big).horizontalAdvance("888.88");
  for (int i = 0; i < 3; ++i) grid->setColumnMinimumWidth(i, digits);
}

void Faceplate::ShowLoop(const PIDLoop& loop) {
  FaceplateView view = DescribeFaceplate(loop);
  if (shown_ == view) return;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    const FaceplateReading& r = view.Readings[i];
    Column& c = columns_[i];
    c.Value->setText(QString::fromStdString(r.Value));
    c.Unit->setText(r.Unit);
    c.High->setText(QString::fromStdString(r.High));
    c.Low->setText(QString::fromStdString(r.Low));
    c.Bar->SetFraction(r.Fraction);
  }
  mode_->setText(view.Mode);
  shown_ = std::move(view);
}

}  // namespace qx
