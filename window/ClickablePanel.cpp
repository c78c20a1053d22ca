#include "window/ClickablePanel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace qx {
namespace {

// The focus frame sits this far inside the panel's raised edge.
constexpr int kFocusInset = 3;

}  // namespace

ClickablePanel::ClickablePanel(QWidget* parent) : QLabel(parent) {
  setAlignment(Qt::AlignCenter);
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setAutoFillBackground(true);
  setCursor(Qt::PointingHandCursor);
  // Reached with Tab like a button, and acted on with Space or Enter.
  setFocusPolicy(Qt::StrongFocus);
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

void ClickablePanel::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) && !event->isAutoRepeat() &&
      event->modifiers() == Qt::NoModifier) {
    emit clicked();
    event->accept();
    return;
  }
  QLabel::keyPressEvent(event);
}

// The caption as a label draws it, and the style's focus frame inside the
// edge while the panel has the focus.
void ClickablePanel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  QPainter painter(this);
  QStyleOptionFocusRect option;
  option.initFrom(this);
  option.rect = rect().adjusted(kFocusInset, kFocusInset, -kFocusInset, -kFocusInset);
  option.backgroundColor = palette().color(QPalette::Window);
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

}  // namespace qx
