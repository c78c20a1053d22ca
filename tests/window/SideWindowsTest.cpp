// The schematic and About windows and the drawn tool-bar images.
#include "window/side/AboutWindow.h"
#include "window/side/SchematicWindow.h"
#include "window/side/ToolbarImages.h"

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QUrlQuery>

#include <vector>

namespace {

// Counts the pixels of `image` that have exactly the colour `rgb`.
int CountColour(const QImage& image, QRgb rgb) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += (image.pixel(x, y) & 0xffffff) == (rgb & 0xffffff);
  return count;
}

}  // namespace

class SideWindowsTest : public QObject {
  Q_OBJECT
 private slots:
  void SchematicHasItsFrameSizeAndNames() {
    qx::TShcemeForm form;
    QCOMPARE(form.objectName(), QStringLiteral("ShcemeForm"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Control Schematic"));
    QCOMPARE(form.size(), QSize(759, 404));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(form.windowFlags() & Qt::CustomizeWindowHint);
    QVERIFY(!(form.windowFlags() & (Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)));
    auto* image = form.findChild<QWidget*>(QStringLiteral("Image1"));
    QVERIFY(image);
    QCOMPARE(image->size(), QSize(747, 395));
    auto* close = form.findChild<QPushButton*>(QStringLiteral("CloseBtn"));
    QVERIFY(close);
    QCOMPARE(close->text(), QStringLiteral("&Close"));
    // The button lies inside the window.
    QVERIFY(form.rect().contains(close->geometry()));
  }

  void SchematicPictureIsDarkBlueOnGrey() {
    qx::TShcemeForm form;
    const QImage picture = form.Image1()->grab().toImage();
    const int all = picture.width() * picture.height();
    const int grey = CountColour(picture, qRgb(0xb8, 0xb8, 0xb8));
    const int ink = CountColour(picture, qRgb(0x02, 0x15, 0x84));
    QCOMPARE(picture.pixel(0, 0) & 0xffffff, qRgb(0xb8, 0xb8, 0xb8) & 0xffffff);
    QVERIFY2(grey > all / 2, "the background is grey");
    QVERIFY2(ink > 2000, "the diagram is drawn in the ink colour");
  }

  void SchematicOpensWithFocusOnCloseAndCloses() {
    qx::TShcemeForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTRY_COMPARE(form.focusWidget(), form.CloseBtn());
    QTest::mouseClick(form.CloseBtn(), Qt::LeftButton);
    QVERIFY(!form.isVisible());
  }

  void AboutHasItsFrameSizeAndNames() {
    qx::TAboutForm form;
    QCOMPARE(form.objectName(), QStringLiteral("AboutForm"));
    QCOMPARE(form.windowTitle(), QStringLiteral("About Quorvanex OPC Server For Simulation"));
    QCOMPARE(form.size(), QSize(327, 320));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!(form.windowFlags() & (Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)));
    QCOMPARE(form.OKBtn()->objectName(), QStringLiteral("OKBtn"));
    QCOMPARE(form.OKBtn()->text(), QStringLiteral("&Continue"));
    QVERIFY(form.OKBtn()->isDefault());
    QVERIFY(!form.OKBtn()->isVisibleTo(&form));
    auto* web = form.findChild<QLabel*>(QStringLiteral("Label8"));
    auto* mail = form.findChild<QLabel*>(QStringLiteral("Label31"));
    QVERIFY(web && mail);
    QCOMPARE(web->toolTip(), QStringLiteral("Visit Website"));
    QCOMPARE(mail->toolTip(), QStringLiteral("Send e-mail"));
    QVERIFY(web->font().underline() && mail->font().underline());
    QCOMPARE(web->cursor().shape(), Qt::PointingHandCursor);
    // Every child fits inside the window and the heading texts are there.
    QStringList texts;
    for (const QWidget* child : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      QVERIFY2(form.rect().contains(child->geometry()), qPrintable(child->objectName()));
      if (auto* label = qobject_cast<const QLabel*>(child)) texts << label->text();
    }
    for (const char* text : {"QxOPCServer", "TM", "Slave", "Quorvanex OPC Server Slave For Simulation",
                             "Version 1.0"})
      QVERIFY2(texts.contains(QLatin1String(text)), text);
  }

  void SplashHidesContinueUntilClosed() {
    qx::TAboutForm form;
    form.ShowSplash();
    QVERIFY(form.isVisible());
    QVERIFY(!form.isModal());
    QVERIFY(!form.OKBtn()->isVisible());
    form.CloseSplash();
    QVERIFY(!form.isVisible());
    QVERIFY(form.OKBtn()->isVisibleTo(&form));
    // A later showing offers "&Continue", which accepts the window.
    form.show();
    QVERIFY(form.OKBtn()->isVisible());
    QTest::mouseClick(form.OKBtn(), Qt::LeftButton);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), int(QDialog::Accepted));
  }

  void LinksOpenTheirAddressesUnderABusyCursor() {
    qx::TAboutForm form;
    std::vector<QUrl> opened;
    std::vector<Qt::CursorShape> cursors;
    form.SetUrlOpener([&](const QUrl& url) {
      opened.push_back(url);
      const QCursor* cursor = QGuiApplication::overrideCursor();
      cursors.push_back(cursor ? cursor->shape() : Qt::ArrowCursor);
      return false;  // a failing handler is not reported
    });
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(form.findChild<QLabel*>(QStringLiteral("Label8")), Qt::LeftButton);
    QTest::mouseClick(form.findChild<QLabel*>(QStringLiteral("Label31")), Qt::LeftButton);
    QCOMPARE(opened.size(), size_t(2));
    QCOMPARE(opened[0].scheme(), QStringLiteral("https"));
    QCOMPARE(opened[0].host(), QStringLiteral("www.quorvanex.example"));
    QCOMPARE(opened[1].scheme(), QStringLiteral("mailto"));
    QCOMPARE(opened[1].path(), QStringLiteral("support@quorvanex.example"));
    QCOMPARE(QUrlQuery(opened[1]).queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
             QStringLiteral("Quorvanex OPC Server Slave For Simulation"));
    QCOMPARE(cursors, std::vector<Qt::CursorShape>(2, Qt::WaitCursor));
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY(form.isVisible());
  }

  void ToolbarImagesAreTenDistinctPictures() {
    std::vector<QImage> images;
    for (int i = 0; i < qx::ToolbarImageCount; ++i) {
      const QIcon icon = qx::ToolbarImage(i);
      QVERIFY2(!icon.isNull(), qPrintable(QString::number(i)));
      const QImage image = icon.pixmap(QSize(16, 16), 1.0).toImage();
      QCOMPARE(image.size(), QSize(16, 16));
      QCOMPARE(icon.pixmap(QSize(16, 16), 2.0).toImage().size(), QSize(32, 32));
      int opaque = 0;
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) opaque += qAlpha(image.pixel(x, y)) > 128;
      QVERIFY2(opaque >= 30, qPrintable(QString("image %1 is nearly empty").arg(i)));
      for (size_t j = 0; j < images.size(); ++j)
        QVERIFY2(images[j] != image, qPrintable(QString("images %1 and %2 are the same").arg(j).arg(i)));
      images.push_back(image);
    }
    QVERIFY(qx::ToolbarImage(-1).isNull());
    QVERIFY(qx::ToolbarImage(qx::ToolbarImageCount).isNull());
  }

  void ApplicationIconAndLogoSizes() {
    const QList<QSize> sizes = qx::ApplicationIcon().availableSizes();
    for (int side : {16, 32, 48, 64, 256}) QVERIFY(sizes.contains(QSize(side, side)));
    const QPixmap logo = qx::ProductLogo(QSize(134, 44));
    QCOMPARE(logo.size(), QSize(134, 44));
    // The wide logo carries the name beside the mark: its right part is drawn on.
    const QImage right = logo.toImage().copy(60, 0, 74, 44);
    int opaque = 0;
    for (int y = 0; y < right.height(); ++y)
      for (int x = 0; x < right.width(); ++x) opaque += qAlpha(right.pixel(x, y)) > 128;
    QVERIFY(opaque > 50);
  }
};

QTEST_MAIN(SideWindowsTest)
#include "SideWindowsTest.moc"
