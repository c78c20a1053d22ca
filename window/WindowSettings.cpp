#include "window/WindowSettings.h"

#include <QFileInfo>
#include <QMainWindow>
#include <QSettings>
#include <QtGlobal>

namespace qx {
namespace {

constexpr const char* kRecentKey = "RecentCaseFiles";
constexpr const char* kGeometryKey = "MainWindow/Geometry";
constexpr const char* kStateKey = "MainWindow/State";

QStringList Existing(const QStringList& paths) {
  QStringList kept;
  for (const QString& path : paths)
    if (QFileInfo(path).isFile() && !kept.contains(path)) kept.append(path);
  if (kept.size() > kRecentCaseFilesKept) kept.erase(kept.begin() + kRecentCaseFilesKept, kept.end());
  return kept;
}

// Writes the changes now and says when the settings file cannot take them:
// the window goes on without them.
void Store(QSettings& settings) {
  settings.sync();
  if (settings.status() != QSettings::NoError)
    qWarning("QxOPCServer: cannot write the settings file %s (status %d)", qPrintable(settings.fileName()),
             static_cast<int>(settings.status()));
}

}  // namespace

QStringList RecentCaseFiles() {
  QSettings settings;
  const QStringList stored = settings.value(kRecentKey).toStringList();
  const QStringList kept = Existing(stored);
  if (kept != stored) {
    settings.setValue(kRecentKey, kept);
    Store(settings);
  }
  return kept;
}

void RememberCaseFile(const QString& path) {
  const QString file = QFileInfo(path).absoluteFilePath();
  QSettings settings;
  QStringList paths = settings.value(kRecentKey).toStringList();
  paths.removeAll(file);
  paths.prepend(file);
  settings.setValue(kRecentKey, Existing(paths));
  Store(settings);
}

void SaveWindowGeometry(const QMainWindow& window) {
  QSettings settings;
  settings.setValue(kGeometryKey, window.saveGeometry());
  settings.setValue(kStateKey, window.saveState());
  Store(settings);
}

void RestoreWindowGeometry(QMainWindow& window) {
  const QSettings settings;
  // Nothing stored yet (the first start): the window keeps its design size.
  const QByteArray geometry = settings.value(kGeometryKey).toByteArray();
  if (!geometry.isEmpty()) window.restoreGeometry(geometry);
  const QByteArray state = settings.value(kStateKey).toByteArray();
  if (!state.isEmpty()) window.restoreState(state);
}

void KeepSettingsIn(const QString& folder) {
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

}  // namespace qx
