#pragma once
// The "Control Schematic" window: a fixed block diagram of the simulated loop
// structure and a Close button. Created once, shown modally from the tool bar.
#include <QDialog>

class QFrame;
class QPushButton;
class QWidget;

namespace qx {

class TShcemeForm : public QDialog {
  Q_OBJECT
 public:
  explicit TShcemeForm(QWidget* parent = nullptr);

  QPushButton* CloseBtn() const { return closeBtn_; }
  QWidget* Image1() const { return image1_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QFrame* panel_ = nullptr;
  QWidget* image1_ = nullptr;
  QPushButton* closeBtn_ = nullptr;
};

}  // namespace qx
