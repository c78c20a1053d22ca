#include "window/ClickablePanel.h"

#include <QMouseEvent>

namespace qx {

ClickablePanel::ClickablePanel(QWidget* parent) : QLabel(parent) {
  setAlignment(Qt::AlignCenter);
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setAutoFillBackground(true);
  setCursor(Qt::PointingHandCursor);
  QFont bold = font();
  bold.setBold(true);
  setFont(bold);
}

void ClickablePanel::Show(const QString& caption, const QColor& background, const QColor& text) {
  setText(caption);  // returns at once when unchanged
  QPalette p = palette();
  if (p.color(QPalette::Window) == background && p.color(QPalette::WindowText) == text) return;
  p.setColor(QPalette::Window, background);
  p.setColor(QPalette::WindowText, text);
  setPalette(p);
}

void ClickablePanel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
  QLabel::mouseReleaseEvent(event);
}

}  // namespace qx
