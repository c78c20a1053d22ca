// The front end of the runs without a window (qxsim's, a sweep's points):
// messages and errors are written to a text stream as "caption: text" lines
// (standard error for `run`, a buffer that a sweep reports per point),
// questions are answered Yes, and there are no dialogs, captions or cursors.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/AppHost.h"

namespace qx {

class TextAppHost final : public AppHost {
 public:
  explicit TextAppHost(std::ostream& out) : out_(out) {}

  bool AskYesNo(std::string_view) override { return true; }
  void ShowMessage(std::string_view caption, std::string_view text, MessageIcon) override {
    out_ << caption << ": " << text << '\n';
  }
  void ShowGeneralError(std::string_view text) override { out_ << text << '\n'; }
  std::optional<std::string> ChooseCaseFileToOpen() override { return std::nullopt; }
  std::optional<std::string> ChooseCaseFileToSave() override { return std::nullopt; }
  void SetCaption(std::string_view) override {}
  void SetBusyCursor(bool) override {}
  void ShowCurrentDirectory(std::string_view) override {}
  void ProcessPendingMessages() override {}
  void ShowMasterLinkState(bool connected) override {
    out_ << (connected ? "qxsim: master link connected\n" : "qxsim: master link disconnected\n");
  }

 private:
  std::ostream& out_;
};

}  // namespace qx
