#include "window/WindowAppHost.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include "persistence/ConfigurationFile.h"
#include "window/MainWindow.h"
#include "window/Prompter.h"
#include "window/AppText.h"
#include "window/ApplicationNames.h"

namespace qx {
namespace {

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

}  // namespace

QString SaveDialogStart() {
  return QString::fromStdString(SaveDialogFolder(QDir::currentPath().toStdString()));
}

FileDialogSpec OpenCaseDialogSpec() {
  return {QCoreApplication::translate("qx::FileDialogs", "Select PID Case File"),
          {QCoreApplication::translate("qx::FileDialogs", "PID Case File (*.pid)")},
          "pid",
          QDir::currentPath()};
}

FileDialogSpec SaveCaseDialogSpec() {
  return {QCoreApplication::translate("qx::FileDialogs", "Save Case File As"),
          {QCoreApplication::translate("qx::FileDialogs", "Case Files ( *.PID )"),
           QCoreApplication::translate("qx::FileDialogs", "Plant Data Files ( *.DAT )"),
           QCoreApplication::translate("qx::FileDialogs", "All Files ( *.* )")},
          "PID",
          SaveDialogStart()};
}

bool WindowAppHost::AskYesNo(std::string_view question) {
  return prompter_.Question(AppText(kMessageTitle), AppText(question));
}

void WindowAppHost::ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) {
  prompter_.Message(AppText(caption), AppText(text), icon);
}

void WindowAppHost::ShowGeneralError(std::string_view text) { prompter_.GeneralError(AppText(text)); }

std::optional<std::string> WindowAppHost::ChooseCaseFileToOpen() {
  const std::optional<QString> path = prompter_.OpenFile(OpenCaseDialogSpec());
  if (!path) return std::nullopt;
  // The chosen file's folder becomes the working directory.
  const QFileInfo file(*path);
  QDir::setCurrent(file.absolutePath());
  return file.absoluteFilePath().toStdString();
}

std::optional<std::string> WindowAppHost::ChooseCaseFileToSave() {
  const std::optional<QString> path = prompter_.SaveFile(SaveCaseDialogSpec());
  if (!path) return std::nullopt;
  return path->toStdString();
}

void WindowAppHost::SetCaption(std::string_view caption) { form_.setWindowTitle(Text(caption)); }

void WindowAppHost::SetBusyCursor(bool busy) {
  // Override cursors stack; keep at most one of ours on the stack.
  if (busy && !busy_) QApplication::setOverrideCursor(Qt::WaitCursor);
  if (!busy && busy_) QApplication::restoreOverrideCursor();
  busy_ = busy;
}

void WindowAppHost::ShowCurrentDirectory(std::string_view folder) {
  form_.ShowCurrentDirectory(Text(folder));
}

void WindowAppHost::ProcessPendingMessages() {
  QCoreApplication::processEvents();
  form_.ShowPanel();
}

void WindowAppHost::MovePointerToPlots() { form_.MovePointerToPlots(); }

void WindowAppHost::PanelChanged() { form_.ShowPanel(); }

// The application's plain message box: captioned with the application's
// title, one OK button, no icon.
void WindowAppHost::ShowPlainMessage(std::string_view text) {
  prompter_.Message(ApplicationTitle(), AppText(text), MessageIcon::None);
}

void WindowAppHost::ShowMasterLinkState(bool connected) { form_.ShowMasterLinkState(connected); }

void WindowAppHost::CaseFileUsed(std::string_view path) { form_.CaseFileUsed(Text(path)); }

}  // namespace qx
