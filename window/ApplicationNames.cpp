#include "window/ApplicationNames.h"

#include <QApplication>

namespace qx {

QString ApplicationTitle() {
  return QCoreApplication::translate("qx::Application", "Quorvanex OPC Server For Simulation (SLAVE)");
}

void SetApplicationNames() {
  QCoreApplication::setOrganizationName("Quorvanex Solutions LLC");
  QCoreApplication::setApplicationName("QxOPCServer");
  QGuiApplication::setDesktopFileName(QX_DESKTOP_ID);
}

}  // namespace qx
