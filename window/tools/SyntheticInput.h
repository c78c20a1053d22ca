// Mouse clicks and typed keys delivered to a widget as the window system
// would deliver them, so the widget's own handlers and the window's event
// filters run exactly as for an operator.
#pragma once

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QString>
#include <QWidget>

namespace qx {

// A left click in the middle of `widget`.
inline void SendClick(QWidget* widget) {
  const QPointF at = QRectF(widget->rect()).center();
  const QPointF global = widget->mapToGlobal(at);
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &press);
  QCoreApplication::sendEvent(widget, &release);
}

// One key press and release; `text` is what the key types ("" for none).
inline void SendKey(QWidget* widget, int key, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QCoreApplication::sendEvent(widget, &press);
  QCoreApplication::sendEvent(widget, &release);
}

// Types `text` (digits, '.', '-') character by character.
inline void SendText(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    const int key = c.isDigit() ? Qt::Key_0 + c.digitValue() : c == '.' ? Qt::Key_Period : Qt::Key_Minus;
    SendKey(widget, key, QString(c));
  }
}

inline void SendEnter(QWidget* widget) { SendKey(widget, Qt::Key_Return, "\r"); }

}  // namespace qx
