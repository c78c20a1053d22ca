// The performance indices of the loop's current window in two rows under
// the trend charts: each index by its name with its value, "—" while it is
// undefined (no set-point change yet, the band not reached, ...).
#pragma once

#include <QFrame>
#include <array>
#include <optional>
#include <vector>

#include "app/LoopAnalysis.h"

class QLabel;

namespace qx {

class IndicesPanel : public QFrame {
  Q_OBJECT

 public:
  explicit IndicesPanel(QWidget* parent = nullptr);

  // Shows `values` (IndexValues' order) with `separator` as decimal point;
  // `shownAt` is the charts' time at which the indices' window starts, when
  // the charts show that moment.
  void ShowValues(const IndexList& values, char separator, std::optional<double> shownAt = std::nullopt);

  // Every index as undefined, as before a run.
  void Clear();

  // The text an index is shown with: its value in as many decimals as suit
  // its size, its unit where it has one other than time, or "—".
  static QString ValueText(const IndexValue& index, char separator);

 private:
  // IAE .. OPTravel; WindowStart names the window in the caption.
  std::array<QLabel*, kIndexCount - 1> values_{};
  QLabel* caption_;
};

}  // namespace qx
