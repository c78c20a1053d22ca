#pragma once
// The About window, which also serves as the start-up splash: product name,
// logo, title, the maker's web and mail links, version and a short notice.
#include <QDialog>
#include <QUrl>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace qx {

class TAboutForm : public QDialog {
  Q_OBJECT
 public:
  // Opens an address with the system's handler; returns false on failure.
  using UrlOpener = std::function<bool(const QUrl&)>;

  explicit TAboutForm(QWidget* parent = nullptr);

  // "&Continue": accepts the window. Hidden until the splash has been closed.
  QPushButton* OKBtn() const { return okBtn_; }

  // Shows the window without a modal loop and without "&Continue", centred.
  void ShowSplash();
  // Ends the splash and makes "&Continue" visible for later showings.
  void CloseSplash();

  // The addresses behind the two links.
  static QUrl WebsiteUrl();
  static QUrl MailUrl();

  // Replaces the system handler used by the links (QDesktopServices::openUrl).
  void SetUrlOpener(UrlOpener opener) { openUrl_ = std::move(opener); }

 public slots:
  void Label8Click();
  void Label31Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void OpenLink(const QUrl& url);

  QLabel* label8_ = nullptr;
  QLabel* label31_ = nullptr;
  QPushButton* okBtn_ = nullptr;
  UrlOpener openUrl_;
};

}  // namespace qx
