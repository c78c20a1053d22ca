// The command line of "qxsim run": what to load, what to override, what to
// do at which step, and what to write out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qx {

// One scripted operator action, performed during the message processing at
// the start of step `Step`.
struct ScriptedAction {
  enum class Kind {
    SetControl,  // Name=Text: an edit's text or a radio group's item index
    Enter,
    Apply,
    Mode,
    Cascade,
    Faster,
    Slower,
    Normal,
    SpinUp,     // Name: the edit beside the spin button
    SpinDown,
    Leave,      // Name: the edit the focus leaves
    Store,      // Name=Text: a model field, nothing else
    Stop,
  };
  int64_t Step = 0;
  Kind What = Kind::Stop;
  std::string Name;
  std::string Text;
};

struct FieldOverride {
  std::string Name;  // Record.Field
  std::string Value;
};

struct RunOptions {
  std::string CasePath;  // empty: the built-in starting case
  std::vector<FieldOverride> Overrides;
  std::optional<int64_t> Steps;
  std::vector<ScriptedAction> Actions;  // in command-line order
  std::string TracePath;                // "-" for standard output
  std::string DumpModelPath;
  std::string DumpPanelPath;
  std::string SaveCasePath;
  std::optional<uint64_t> Seed;
  std::optional<std::string> ServeEndpoint;  // set by --serve (empty: default)
  std::optional<double> ServeAfterSeconds;
};

// Parses the arguments after "run". Returns false with a message naming the
// offending argument on a usage error.
bool ParseRunOptions(const std::vector<std::string>& args, RunOptions& options, std::string& error);

}  // namespace qx
