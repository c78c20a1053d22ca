// Every modal box and file dialog of the window goes through this one seam,
// so that tests answer them from a script instead of a person.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "app/AppHost.h"

class QWidget;

namespace qx {

// A case-file dialog: title, filters ("Name (*.ext)"), the suffix added to
// a name typed without one, and the folder it starts in.
struct FileDialogSpec {
  QString Title;
  QStringList Filters;
  QString DefaultSuffix;
  QString Folder;
};

class Prompter {
 public:
  virtual ~Prompter() = default;

  // A Yes/No box with the question icon; true for Yes.
  virtual bool Question(const QString& title, const QString& text) = 0;
  // A box with one OK button and `icon`.
  virtual void Message(const QString& title, const QString& text, MessageIcon icon) = 0;
  // The application's general error report (captioned with the
  // application's title, error icon).
  virtual void GeneralError(const QString& text) = 0;
  // The toolkit's information box, captioned with the application's title.
  virtual void Information(const QString& text) = 0;
  // The chosen path, or nothing when cancelled.
  virtual std::optional<QString> OpenFile(const FileDialogSpec& dialogSpec) = 0;
  // The chosen path, or nothing when cancelled; an existing file is only
  // chosen after the operator confirmed overwriting it.
  virtual std::optional<QString> SaveFile(const FileDialogSpec& dialogSpec) = 0;
};

// The real boxes and dialogs, owned by `parent`.
class QtPrompter : public Prompter {
 public:
  explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  bool Question(const QString& title, const QString& text) override;
  void Message(const QString& title, const QString& text, MessageIcon icon) override;
  void GeneralError(const QString& text) override;
  void Information(const QString& text) override;
  std::optional<QString> OpenFile(const FileDialogSpec& dialogSpec) override;
  std::optional<QString> SaveFile(const FileDialogSpec& dialogSpec) override;

 private:
  QWidget* parent_;
};

}  // namespace qx
