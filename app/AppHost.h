// What the application layer asks of its front end: the Qt window shows
// modal boxes and dialogs, the headless runner writes to standard error and
// answers from its command line. Every operation runs on the GUI thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qx {

// The title of the program's own questions, errors and notices.
inline constexpr std::string_view kMessageTitle = "Quorvanex OPC Server";
// The exit code of a program that a fatal failure ended (a memory
// allocation that failed, an exception nothing else caught).
inline constexpr int kFatalExitCode = 1;

enum class MessageIcon { None, Error, Question, Information };

class AppHost {
 public:
  virtual ~AppHost() = default;

  // A modal Yes/No box titled kMessageTitle with the question icon; true
  // for Yes.
  virtual bool AskYesNo(std::string_view question) = 0;

  // A modal box with one OK button. "\n" in `text` is a line break.
  virtual void ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) = 0;

  // The application's general error report, for a failure that ends a
  // command (a case value line that does not convert).
  virtual void ShowGeneralError(std::string_view text) = 0;

  // The case-file dialogs: the chosen path, or nothing when cancelled.
  // Choosing a file to open makes its folder the working directory; the
  // save dialog leaves the working directory as it is.
  virtual std::optional<std::string> ChooseCaseFileToOpen() = 0;
  virtual std::optional<std::string> ChooseCaseFileToSave() = 0;

  // The main window's caption.
  virtual void SetCaption(std::string_view caption) = 0;

  // The hourglass (true) or the normal mouse cursor (false).
  virtual void SetBusyCursor(bool busy) = 0;

  // The working directory shown in "Current Directory".
  virtual void ShowCurrentDirectory(std::string_view folder) = 0;

  // Lets pending window messages run.
  virtual void ProcessPendingMessages() = 0;

  // Moves the mouse pointer to the top centre of the trend charts (a
  // platform that does not allow it does nothing).
  virtual void MovePointerToPlots() {}

  // The operator panel, its layout or its mode panel changed outside a
  // widget's own handler: the window shows the panel again.
  virtual void PanelChanged() {}

  // The application's plain message box: captioned with the application
  // title, one OK button, no icon.
  virtual void ShowPlainMessage(std::string_view text) { ShowMessage(kMessageTitle, text, MessageIcon::None); }

  // The master link connected (true) or disconnected (false): the window
  // shows it on MasterConnectToolButton.
  virtual void ShowMasterLinkState(bool /*connected*/) {}
};

}  // namespace qx
