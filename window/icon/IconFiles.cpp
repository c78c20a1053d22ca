// qx_iconfiles: writes the application icon as PNG files in the icon theme's
// layout, from the same drawing the window uses for its own icon.
// Usage: qx_iconfiles OUTPUT_FOLDER NAME SIZE...
// writes OUTPUT_FOLDER/SIZExSIZE/apps/NAME.png for every SIZE. Runs at build
// time, so it needs no display: start it with QT_QPA_PLATFORM=offscreen.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QString>

#include <cstdio>

#include "window/side/ToolbarImages.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: qx_iconfiles OUTPUT_FOLDER NAME SIZE...\n");
    return 2;
  }
  QGuiApplication application(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const QString name = QString::fromLocal8Bit(argv[2]);
  for (int i = 3; i < argc; ++i) {
    bool number = false;
    const int side = QString::fromLocal8Bit(argv[i]).toInt(&number);
    if (!number || side <= 0) {
      std::fprintf(stderr, "qx_iconfiles: size '%s' is not a positive number\n", argv[i]);
      return 2;
    }
    const QString sizeFolder = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(side);
    if (!QDir().mkpath(sizeFolder)) {
      std::fprintf(stderr, "qx_iconfiles: cannot create the folder %s\n", qPrintable(sizeFolder));
      return 1;
    }
    const QString path = sizeFolder + "/" + name + ".png";
    const QImage image = qx::ProductLogo(QSize(side, side)).toImage();
    if (!image.save(path, "PNG")) {
      std::fprintf(stderr, "qx_iconfiles: cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  return 0;
}
