#include "window/WindowAppHost.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include "persistence/ConfigurationFile.h"
#include "window/MainWindow.h"
#include "window/Prompter.h"

namespace qx {
namespace {

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

}  // namespace

QString SaveDialogStart() {
  return QString::fromStdString(SaveDialogFolder(QDir::currentPath().toStdString()));
}

FileDialogSpec OpenCaseDialogSpec() {
  return {"Select PID Case File", {"PID Case File (*.pid)"}, "pid", QDir::currentPath()};
}

FileDialogSpec SaveCaseDialogSpec() {
  return {"Save Case File As",
          {"Case Files ( *.PID )", "Plant Data Files ( *.DAT )", "All Files ( *.* )"},
          "PID",
          SaveDialogStart()};
}

bool WindowAppHost::AskYesNo(std::string_view question) {
  return prompter_.Question(Text(kMessageTitle), Text(question));
}

void WindowAppHost::ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) {
  prompter_.Message(Text(caption), Text(text), icon);
}

void WindowAppHost::ShowGeneralError(std::string_view text) { prompter_.GeneralError(Text(text)); }

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
  prompter_.Message(QApplication::applicationName(), Text(text), MessageIcon::None);
}

void WindowAppHost::ShowMasterLinkState(bool connected) { form_.ShowMasterLinkState(connected); }

}  // namespace qx
