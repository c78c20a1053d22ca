#include "window/IndicesPanel.h"

#include <QGridLayout>
#include <QLabel>
#include <cmath>
#include <cstring>

namespace qx {
namespace {

const QString kAbsent = QString::fromUtf8("\u2014");
const char* const kNames[] = {"IAE", "ISE", "ITAE", "Overshoot", "RiseTime", "SettlingTime", "DecayRatio", "OPTravel"};
// Where each index stands: the sums and the output's travel in the first
// row beside the caption, the set-point response in the second.
struct Cell {
  int Row, Column;
};
constexpr Cell kCells[] = {{0, 1}, {0, 2}, {0, 3}, {1, 1}, {1, 2}, {1, 3}, {1, 4}, {0, 4}};
constexpr int kColumns = 5;
constexpr const char* kWindowStart = "WindowStart";

// Four significant figures for the small values, whole numbers once the
// figure is in the thousands, so the row keeps its width as sums grow.
int DecimalsFor(double value) {
  const double size = std::fabs(value);
  if (size >= 1000) return 0;
  if (size >= 100) return 1;
  if (size >= 10) return 2;
  return 3;
}

QString Number(double value, int decimals, char separator) {
  QString text = QString::number(value, 'f', decimals);
  if (separator != '.') text.replace('.', QChar(separator));
  return text;
}

}  // namespace

IndicesPanel::IndicesPanel(QWidget* parent) : QFrame(parent), caption_(new QLabel(this)) {
  setObjectName("IndicesPanel");
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  // A point smaller than the window's font, so the rows fit under the
  // charts at the window's design width; they never widen the window.
  QFont small = font();
  small.setPointSizeF(small.pointSizeF() - 1);
  setFont(small);
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 1, 6, 1);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(0);
  for (int column = 0; column < kColumns; ++column) grid->setColumnStretch(column, 1);
  caption_->setObjectName("IndexWindowStart");
  caption_->setToolTip("The indices cover the steps since the last set-point change, disturbance or "
                       "change of mode");
  grid->addWidget(caption_, 0, 0);
  for (std::size_t i = 0; i < values_.size(); ++i) {
    auto* label = new QLabel(this);
    label->setObjectName(QString("Index") + kNames[i]);
    values_[i] = label;
    grid->addWidget(label, kCells[i].Row, kCells[i].Column);
  }
  Clear();
}

QString IndicesPanel::ValueText(const IndexValue& index, char separator) {
  if (!index.value) return kAbsent;
  const double value = *index.value;
  QString text = Number(value, DecimalsFor(value), separator);
  // Times carry the simulation's one unnamed unit; only "%" is shown.
  if (std::strcmp(index.unit, "%") == 0) text += " %";
  return text;
}

void IndicesPanel::ShowValues(const IndexList& values, char separator, std::optional<double> shownAt) {
  for (const IndexValue& index : values) {
    if (std::strcmp(index.name, kWindowStart) == 0) {
      // t is the run's clock; the charts' time axis counts the window's
      // samples, so where they show the start is said too.
      QString text = "From t = " + ValueText(index, separator);
      if (shownAt) text += " (time " + Number(*shownAt, 0, separator) + ")";
      caption_->setText(text + ":");
      continue;
    }
    for (std::size_t i = 0; i < values_.size(); ++i)
      if (std::strcmp(index.name, kNames[i]) == 0)
        values_[i]->setText(QString("%1 <b>%2</b>").arg(kNames[i], ValueText(index, separator)));
  }
}

void IndicesPanel::Clear() {
  caption_->setText("Indices:");
  for (std::size_t i = 0; i < values_.size(); ++i)
    values_[i]->setText(QString("%1 <b>%2</b>").arg(kNames[i], kAbsent));
}

}  // namespace qx
