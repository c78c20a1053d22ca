#include "window/Prompter.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include "window/ApplicationNames.h"

namespace qx {
namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

std::optional<QString> RunDialog(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

}  // namespace

bool QtPrompter::Question(const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent_);
  return box.exec() == QMessageBox::Yes;
}

void QtPrompter::Message(const QString& title, const QString& text, MessageIcon icon) {
  QMessageBox box(BoxIcon(icon), title, text, QMessageBox::Ok, parent_);
  box.exec();
}

void QtPrompter::GeneralError(const QString& text) {
  QMessageBox::critical(parent_, ApplicationTitle(), text);
}

void QtPrompter::Information(const QString& text) {
  QMessageBox::information(parent_, ApplicationTitle(), text);
}

std::optional<QString> QtPrompter::OpenFile(const FileDialogSpec& dialogSpec) {
  QFileDialog dialog(parent_, dialogSpec.Title, dialogSpec.Folder);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(dialogSpec.Filters);
  dialog.setDefaultSuffix(dialogSpec.DefaultSuffix);
  dialog.setOption(QFileDialog::ReadOnly, false);
  // Case files are named .pid and .PID alike.
  dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
  return RunDialog(dialog);
}

std::optional<QString> QtPrompter::SaveFile(const FileDialogSpec& dialogSpec) {
  QFileDialog dialog(parent_, dialogSpec.Title, dialogSpec.Folder);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(dialogSpec.Filters);
  dialog.setDefaultSuffix(dialogSpec.DefaultSuffix);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  return RunDialog(dialog);
}

}  // namespace qx
