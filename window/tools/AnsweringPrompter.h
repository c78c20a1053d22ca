// A Prompter for programs that drive the window without a person: every
// question is answered Yes, every file dialog is cancelled, and the boxes
// that would have been shown are kept so the program can report them.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "window/Prompter.h"

namespace qx {

class AnsweringPrompter : public Prompter {
 public:
  QStringList Asked;  // the questions, each answered Yes
  QStringList Shown;  // the boxes with one OK button, of every kind

  bool Question(const QString&, const QString& text) override {
    Asked.push_back(text);
    return true;
  }
  void Message(const QString&, const QString& text, MessageIcon) override { Shown.push_back(text); }
  void GeneralError(const QString& text) override { Shown.push_back(text); }
  void Information(const QString& text) override { Shown.push_back(text); }
  std::optional<QString> OpenFile(const FileDialogSpec&) override { return std::nullopt; }
  std::optional<QString> SaveFile(const FileDialogSpec&) override { return std::nullopt; }
};

}  // namespace qx
