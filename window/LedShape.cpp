#include "window/LedShape.h"

#include <QPainter>

namespace qx {

LedShape::LedShape(int diameter, const QColor& colour, QWidget* parent)
    : QWidget(parent), colour_(colour) {
  setFixedSize(diameter, diameter);
}

void LedShape::SetColour(const QColor& colour) {
  if (colour == colour_) return;
  colour_ = colour;
  update();
}

void LedShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour_);
  painter.drawEllipse(rect());
}

}  // namespace qx
