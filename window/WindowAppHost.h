// The window's front end of the application layer: boxes and dialogs
// through the Prompter, caption, cursor, working directory and the panel
// shown again after the layer changed it.
#pragma once

#include <QString>

#include "app/AppHost.h"

namespace qx {

class Prompter;
class TForm1;

// The case-file dialogs as the window shows them.
struct FileDialogSpec;
FileDialogSpec OpenCaseDialogSpec();
FileDialogSpec SaveCaseDialogSpec();
// The folder every save dialog starts in: the working directory, or the
// home folder when that is the installed data folder or cannot be written.
QString SaveDialogStart();

class WindowAppHost : public AppHost {
 public:
  WindowAppHost(Prompter& prompter, TForm1& form) : prompter_(prompter), form_(form) {}

  bool AskYesNo(std::string_view question) override;
  void ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) override;
  void ShowGeneralError(std::string_view text) override;
  std::optional<std::string> ChooseCaseFileToOpen() override;
  std::optional<std::string> ChooseCaseFileToSave() override;
  void SetCaption(std::string_view caption) override;
  void SetBusyCursor(bool busy) override;
  void ShowCurrentDirectory(std::string_view folder) override;
  void ProcessPendingMessages() override;
  void MovePointerToPlots() override;
  void PanelChanged() override;
  void ShowPlainMessage(std::string_view text) override;
  void ShowMasterLinkState(bool connected) override;

 private:
  Prompter& prompter_;
  TForm1& form_;
  bool busy_ = false;
};

}  // namespace qx
