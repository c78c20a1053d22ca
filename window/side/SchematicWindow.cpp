#include "SchematicWindow.h"

#include "SchematicPicture.h"

#include <QFrame>
#include <QGuiApplication>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace qx {
namespace {

constexpr QSize ClientSize{759, 404};
constexpr int PanelBorder = 2;
// The button sits on the picture's free lower-left corner: the window is only
// a few pixels taller than the picture.
constexpr QPoint CloseBtnOnPicture{8, 366};
constexpr QSize CloseBtnSize{75, 25};

// Paints the diagram on every repaint, so it stays sharp at any pixel ratio.
class SchematicImage : public QWidget {
 public:
  explicit SchematicImage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Image1"));
    setFixedSize(SchematicPictureSize);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    PaintControlSchematic(painter);
  }
};

}  // namespace

TShcemeForm::TShcemeForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName(QStringLiteral("ShcemeForm"));
  setWindowTitle(tr("Control Schematic"));
  setFixedSize(ClientSize);

  // A sunken panel just large enough for the picture and its 2-pixel bevel,
  // centred in the window.
  panel_ = new QFrame(this);
  panel_->setObjectName(QStringLiteral("Panel1"));
  panel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel_->setLineWidth(PanelBorder);
  const QSize panelSize = SchematicPictureSize + QSize(2 * PanelBorder, 2 * PanelBorder);
  panel_->setGeometry(QRect(QPoint((ClientSize.width() - panelSize.width()) / 2,
                                   (ClientSize.height() - panelSize.height()) / 2),
                            panelSize));
  image1_ = new SchematicImage(panel_);
  image1_->move(PanelBorder, PanelBorder);

  closeBtn_ = new QPushButton(tr("&Close"), this);
  closeBtn_->setObjectName(QStringLiteral("CloseBtn"));
  closeBtn_->setAutoDefault(false);
  closeBtn_->setDefault(true);
  closeBtn_->setGeometry(
      QRect(panel_->pos() + image1_->pos() + CloseBtnOnPicture, CloseBtnSize));
  closeBtn_->raise();
  connect(closeBtn_, &QPushButton::clicked, this, &QDialog::close);
}

void TShcemeForm::showEvent(QShowEvent* event) {
  // Centred on the screen, with the focus on "&Close" so that Enter or Space
  // closes the window at once.
  if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
  closeBtn_->setFocus();
}

}  // namespace qx
