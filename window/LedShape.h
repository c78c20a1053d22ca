// A filled circle without an outline: the running indicator SimLEDShape.
#pragma once

#include <QColor>
#include <QWidget>

namespace qx {

class LedShape : public QWidget {
  Q_OBJECT

 public:
  LedShape(int diameter, const QColor& colour, QWidget* parent);

  QColor Colour() const { return colour_; }
  void SetColour(const QColor& colour);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor colour_;
};

}  // namespace qx
