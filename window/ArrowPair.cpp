#include "window/ArrowPair.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QToolButton>

namespace qx {
namespace {

// Room for the focus frame around the two buttons.
constexpr int kFocusMargin = 2;

QToolButton* Arrow(Qt::ArrowType type, const QString& name, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setArrowType(type);
  button->setFocusPolicy(Qt::NoFocus);  // a click keeps the focus in the edit
  button->setAutoRepeat(true);
  return button;
}

}  // namespace

ArrowPair::ArrowPair(Qt::Orientation orientation, const QString& name, QWidget* parent)
    : QWidget(parent) {
  setObjectName(name);
  const bool vertical = orientation == Qt::Vertical;
  increase_ = Arrow(vertical ? Qt::UpArrow : Qt::RightArrow, name + (vertical ? "Up" : "Right"), this);
  decrease_ = Arrow(vertical ? Qt::DownArrow : Qt::LeftArrow, name + (vertical ? "Down" : "Left"), this);
  auto* layout = new QBoxLayout(vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight, this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  if (vertical) {
    increase_->setFixedSize(17, 11);
    decrease_->setFixedSize(17, 11);
    layout->addWidget(increase_);
    layout->addWidget(decrease_);
  } else {
    increase_->setFixedSize(18, 20);
    decrease_->setFixedSize(18, 20);
    layout->addWidget(decrease_);
    layout->addWidget(increase_);
  }
  connect(increase_, &QToolButton::clicked, this, &ArrowPair::increaseClicked);
  connect(decrease_, &QToolButton::clicked, this, &ArrowPair::decreaseClicked);
}

void ArrowPair::TakeKeyboardFocus() {
  setFocusPolicy(Qt::StrongFocus);
  layout()->setContentsMargins(kFocusMargin, kFocusMargin, kFocusMargin, kFocusMargin);
}

void ArrowPair::keyPressEvent(QKeyEvent* event) {
  const bool vertical = increase_->arrowType() == Qt::UpArrow;
  const int up = vertical ? Qt::Key_Up : Qt::Key_Right;
  const int down = vertical ? Qt::Key_Down : Qt::Key_Left;
  if (focusPolicy() != Qt::NoFocus && event->modifiers() == Qt::NoModifier &&
      (event->key() == up || event->key() == down)) {
    QToolButton* button = event->key() == up ? increase_ : decrease_;
    if (button->isEnabled()) button->click();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void ArrowPair::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (!hasFocus()) return;
  QPainter painter(this);
  QStyleOptionFocusRect option;
  option.initFrom(this);
  option.backgroundColor = palette().color(QPalette::Window);
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

}  // namespace qx
