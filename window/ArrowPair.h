// Two small arrow buttons side by side or one above the other: the spin
// buttons beside the set-point, output and PV-noise edits (up/down) and the
// speed control UpDown1 (left/right). A pair may take the keyboard focus
// itself: its arrow keys then press its buttons.
#pragma once

#include <QWidget>

class QKeyEvent;
class QToolButton;

namespace qx {

class ArrowPair : public QWidget {
  Q_OBJECT

 public:
  // Vertical: up above down. Horizontal: left beside right.
  ArrowPair(Qt::Orientation orientation, const QString& name, QWidget* parent);

  // The up (or right) and the down (or left) button.
  QToolButton* Increase() const { return increase_; }
  QToolButton* Decrease() const { return decrease_; }

  // Reached with Tab; the arrow keys of its orientation (Right and Up
  // increase, Left and Down decrease) press the buttons, and a focus frame
  // shows around both while it has the focus.
  void TakeKeyboardFocus();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 signals:
  void increaseClicked();
  void decreaseClicked();

 private:
  QToolButton* increase_;
  QToolButton* decrease_;
};

}  // namespace qx
