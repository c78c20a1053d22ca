#include "AboutWindow.h"

#include "ToolbarImages.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>
#include <QUrlQuery>

namespace qx {
namespace {

constexpr QSize ClientSize{327, 320};
constexpr QSize LogoSize{134, 44};
const char* const kProductTitle = QT_TRANSLATE_NOOP("qx::TAboutForm", "Quorvanex OPC Server Slave For Simulation");
const QString WebAddress = QStringLiteral("https://www.quorvanex.example");
const QString MailAddress = QStringLiteral("support@quorvanex.example");
const char* const kNotice = QT_TRANSLATE_NOOP("qx::TAboutForm",
    "A training simulator of a PID control loop that publishes its values as "
    "OPC items; not for use on a real process.\n"
    "\u00a9 Quorvanex Solutions LLC");

QFont HeadingFont(int pixelSize) {
  QFont font(QStringLiteral("DejaVu Serif"));
  font.setStyleHint(QFont::Serif);
  font.setBold(true);
  font.setPixelSize(pixelSize);
  return font;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->setGeometry(geometry);
  return label;
}

QLabel* MakeLink(QWidget* parent, const char* name, const QString& text, const QString& hint,
                 int top) {
  QLabel* link = MakeLabel(parent, name, text, QRect(16, top, 295, 18));
  QFont font = link->font();
  font.setUnderline(true);
  link->setFont(font);
  QPalette palette = link->palette();
  palette.setColor(QPalette::WindowText, Qt::blue);
  link->setPalette(palette);
  link->setCursor(Qt::PointingHandCursor);
  link->setToolTip(hint);
  return link;
}

}  // namespace

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      openUrl_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
  setObjectName(QStringLiteral("AboutForm"));
  setWindowTitle(tr("About Quorvanex OPC Server For Simulation"));
  setFixedSize(ClientSize);

  // Heading: the product name with its trade mark, "Slave" below, logo right.
  QLabel* name = MakeLabel(this, "ProductName", QStringLiteral("QxOPCServer"), QRect());
  name->setFont(HeadingFont(24));
  name->adjustSize();
  name->move(10, 10);
  QLabel* mark = MakeLabel(this, "TradeMark", QStringLiteral("TM"), QRect());
  mark->setFont(HeadingFont(8));
  mark->adjustSize();
  mark->move(name->geometry().right() + 1, name->y() + 4);
  QLabel* slave = MakeLabel(this, "SlaveLabel", tr("Slave"), QRect());
  slave->setFont(HeadingFont(24));
  slave->adjustSize();
  slave->move(10, name->geometry().bottom() + 1);
  auto* logo = MakeLabel(this, "Logo", QString(), QRect(QPoint(ClientSize.width() - LogoSize.width() - 8,
                                                                name->geometry().bottom() - 6),
                                                         LogoSize));
  logo->setPixmap(ProductLogo(LogoSize));

  QLabel* title = MakeLabel(this, "ProductTitle", tr(kProductTitle), QRect(10, 96, 307, 44));
  QFont titleFont = HeadingFont(15);
  title->setFont(titleFont);
  title->setWordWrap(true);
  title->setAlignment(Qt::AlignCenter);
  QPalette titlePalette = title->palette();
  titlePalette.setColor(QPalette::WindowText, Qt::blue);
  title->setPalette(titlePalette);

  label8_ = MakeLink(this, "Label8", WebAddress, tr("Visit Website"), 146);
  label31_ = MakeLink(this, "Label31", MailAddress, tr("Send e-mail"), 165);
  label8_->installEventFilter(this);
  label31_->installEventFilter(this);

  MakeLabel(this, "VersionLabel", tr("Version 1.0"), QRect(16, 187, 295, 18));
  auto* notice = new QPlainTextEdit(tr(kNotice), this);
  notice->setObjectName(QStringLiteral("NoticeMemo"));
  notice->setReadOnly(true);
  notice->setGeometry(16, 207, 295, 72);
  // The notice is fixed and fits the box, so no scroll bars.
  notice->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  notice->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  notice->document()->setDocumentMargin(2);
  notice->setFocusPolicy(Qt::NoFocus);

  okBtn_ = new QPushButton(tr("&Continue"), this);
  okBtn_->setObjectName(QStringLiteral("OKBtn"));
  okBtn_->setDefault(true);
  okBtn_->setGeometry((ClientSize.width() - 75) / 2, 287, 75, 25);
  okBtn_->hide();
  connect(okBtn_, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutForm::ShowSplash() {
  okBtn_->hide();
  show();
}

void TAboutForm::CloseSplash() {
  close();
  okBtn_->show();
}

QUrl TAboutForm::WebsiteUrl() { return QUrl(WebAddress); }

QUrl TAboutForm::MailUrl() {
  QUrl url(QStringLiteral("mailto:") + MailAddress);
  QUrlQuery query;
  query.addQueryItem(QStringLiteral("subject"), QString::fromLatin1(kProductTitle));
  url.setQuery(query);
  return url;
}

void TAboutForm::Label8Click() { OpenLink(WebsiteUrl()); }

void TAboutForm::Label31Click() { OpenLink(MailUrl()); }

void TAboutForm::OpenLink(const QUrl& url) {
  // The handler may take a moment to start; a failure is not reported.
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  openUrl_(url);
  QGuiApplication::restoreOverrideCursor();
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (watched == label8_) {
      Label8Click();
      return true;
    }
    if (watched == label31_) {
      Label31Click();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TAboutForm::showEvent(QShowEvent* event) {
  // Centred on the screen however it is shown: splash, or modal from the tool bar.
  if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
}

}  // namespace qx
