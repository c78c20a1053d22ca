#include "window/IndicesPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <cmath>
#include <cstring>

namespace qx {
namespace {

const QString kAbsent = QString::fromUtf8("\u2014");
const char* const kNames[] = {"IAE", "ISE", "ITAE", "Overshoot", "RiseTime", "SettlingTime", "DecayRatio", "OPTravel"};
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
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(6, 1, 6, 1);
  row->setSpacing(14);
  caption_->setObjectName("IndexWindowStart");
  caption_->setToolTip("The indices cover the steps since the last set-point change, disturbance or "
                       "change of mode");
  row->addWidget(caption_);
  for (std::size_t i = 0; i < values_.size(); ++i) {
    auto* label = new QLabel(this);
    label->setObjectName(QString("Index") + kNames[i]);
    values_[i] = label;
    row->addWidget(label);
  }
  row->addStretch(1);
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

void IndicesPanel::ShowValues(const std::vector<IndexValue>& values, char separator) {
  for (const IndexValue& index : values) {
    if (std::strcmp(index.name, kWindowStart) == 0) {
      caption_->setText("Since t = " + ValueText(index, separator) + ":");
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
