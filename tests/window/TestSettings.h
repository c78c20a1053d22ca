// The window keeps settings between starts; a test program keeps them in a
// folder of its own that goes with the program, never in the user's.
#pragma once

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "window/WindowSettings.h"

namespace qx::test {

inline void KeepTestSettingsApart(const char* program) {
  QStandardPaths::setTestModeEnabled(true);
  static QTemporaryDir folder;
  KeepSettingsIn(folder.path());
  QCoreApplication::setOrganizationName("QxOPCServer Tests");
  QCoreApplication::setApplicationName(program);
}

}  // namespace qx::test
