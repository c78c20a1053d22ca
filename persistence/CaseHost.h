// What the case-file code asks of the program that hosts it. The window
// shows modal boxes and rearranges its pages; the command-line runner prints
// the texts on standard error and has no window to arrange.
#pragma once

#include <ostream>
#include <string_view>

namespace qx {

class CaseHost {
 public:
  virtual ~CaseHost() = default;

  // A modal error box with one OK button. The texts are shown as given;
  // "\n" in `text` is a line break.
  virtual void ShowErrorBox(std::string_view caption, std::string_view text) = 0;

  // The single-loop arrangement after a case has been loaded: the
  // single-loop page active and its configuration tab shown, the two trend
  // charts filling the plot panel.
  virtual void ShowLoopKind() = 0;

  // The mode panel showing "Auto" after a case has put the loop into
  // automatic mode.
  virtual void ShowAutoMode() = 0;
};

// A host without a window: error boxes become "caption: text" lines on a
// stream (the runner passes std::cerr); the window steps do nothing.
class StreamCaseHost final : public CaseHost {
 public:
  explicit StreamCaseHost(std::ostream& out) : out_(out) {}
  void ShowErrorBox(std::string_view caption, std::string_view text) override {
    out_ << caption << ": " << text << '\n';
  }
  void ShowLoopKind() override {}
  void ShowAutoMode() override {}

 private:
  std::ostream& out_;
};

}  // namespace qx
