// A panel with a centred caption that acts on a mouse click, or on Space or
// Enter while it has the keyboard focus: the controller mode panel
// manual_auto_select, whose caption and colour show the mode.
#pragma once

#include <QLabel>

namespace qx {

class ClickablePanel : public QLabel {
  Q_OBJECT

 public:
  explicit ClickablePanel(QWidget* parent);

  // Caption, background colour and text colour, each set only when changed.
  void Show(const QString& caption, const QColor& background, const QColor& text);

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace qx
