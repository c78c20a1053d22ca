// What the window keeps between two starts, through QSettings: its
// geometry and tool-bar state, and the case files opened or saved last.
// The run's own settings (speed, mode, the case's values) are not kept:
// every start begins as a fresh program does.
#pragma once

#include <QString>
#include <QStringList>

class QMainWindow;

namespace qx {

// How many case files the File menu offers.
inline constexpr int kRecentCaseFilesKept = 8;

// The recent case files, newest first, without those that no longer exist
// (the stored list is rewritten without them).
QStringList RecentCaseFiles();
// `path` becomes the newest entry; an older entry of the same file goes, and
// the list keeps at most kRecentCaseFilesKept entries.
void RememberCaseFile(const QString& path);

// The window's normal and maximised geometry and its tool-bar state.
void SaveWindowGeometry(const QMainWindow& window);
void RestoreWindowGeometry(QMainWindow& window);

// Keeps every setting of this process in `folder` instead of the user's
// own (tests and the picture programs).
void KeepSettingsIn(const QString& folder);

}  // namespace qx
