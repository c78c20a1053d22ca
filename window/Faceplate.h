// The faceplate beside the trends: PV, SP and OP as large numbers with
// their units, a vertical bar for each within its range, and the loop's
// mode. It shows what DescribeFaceplate decides.
#pragma once

#include <QFrame>
#include <array>
#include <optional>

#include "ui/FaceplateView.h"

class QLabel;

namespace qx {

class FaceplateBar;

class Faceplate : public QFrame {
  Q_OBJECT

 public:
  explicit Faceplate(QWidget* parent = nullptr);

  // Shows the loop's values; nothing is redrawn while they look the same.
  void ShowLoop(const PIDLoop& loop);
  const std::optional<FaceplateView>& Shown() const { return shown_; }

 private:
  struct Column {
    QLabel* Value = nullptr;
    QLabel* Unit = nullptr;
    QLabel* High = nullptr;
    QLabel* Low = nullptr;
    FaceplateBar* Bar = nullptr;
  };
  std::array<Column, 3> columns_;
  QLabel* mode_;
  std::optional<FaceplateView> shown_;
};

}  // namespace qx
