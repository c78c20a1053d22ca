// A Prompter that answers from a script and records what was shown, so the
// window's questions, messages and dialogs can be driven by tests.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <vector>

#include "window/Prompter.h"

namespace qx::test {

class ScriptedPrompter : public Prompter {
 public:
  struct Shown {
    QString Title;
    QString Text;
    MessageIcon Icon;
  };

  std::deque<bool> Answers;  // Yes/No answers, in the order the questions come
  std::vector<QString> Asked;
  std::vector<Shown> Messages;  // boxes with one OK button, of every kind
  std::deque<std::optional<QString>> OpenAnswers, SaveAnswers;
  std::vector<FileDialogSpec> Dialogs;

  bool Question(const QString& title, const QString& text) override {
    Asked.push_back(text);
    EXPECT_EQ(title, "Quorvanex OPC Server") << text.toStdString();
    if (Answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text.toStdString();
      return false;
    }
    const bool answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  void Message(const QString& title, const QString& text, MessageIcon icon) override {
    Messages.push_back({title, text, icon});
  }
  void GeneralError(const QString& text) override {
    Messages.push_back({"(general error)", text, MessageIcon::Error});
  }
  void Information(const QString& text) override {
    Messages.push_back({"(information)", text, MessageIcon::Information});
  }
  std::optional<QString> OpenFile(const FileDialogSpec& dialogSpec) override { return Answer(dialogSpec, OpenAnswers); }
  std::optional<QString> SaveFile(const FileDialogSpec& dialogSpec) override { return Answer(dialogSpec, SaveAnswers); }

 private:
  std::optional<QString> Answer(const FileDialogSpec& dialogSpec, std::deque<std::optional<QString>>& answers) {
    Dialogs.push_back(dialogSpec);
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected dialog: " << dialogSpec.Title.toStdString();
      return std::nullopt;
    }
    std::optional<QString> answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

}  // namespace qx::test
