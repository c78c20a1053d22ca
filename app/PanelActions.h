// The operator's actions on the panel as data: what the window's handlers
// do, for a front end that is driven by a script (qxsim's --at actions) or
// a test.
#pragma once

#include <cstdint>
#include <string>

#include "engine/RunHost.h"

namespace qx {

class Application;

struct PanelAction {
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
    MasterSetUp,    // OPCServerToolButton
    MasterConnect,  // MasterConnectToolButton
  };
  Kind What = Kind::Stop;
  std::string Name;
  std::string Text;
};

// One scripted operator action, performed during the message processing at
// the start of step `Step` (qxsim's --at, a sweep's set-point step).
struct ScriptedAction : PanelAction {
  int64_t Step = 0;
};

// A model field set between the case file and the end steps of its load
// (qxsim's --set, a sweep point's settings).
struct FieldOverride {
  std::string Name;  // Record.Field
  std::string Value;
};

// Performs `action` on the application's panel and model as the window's
// handler of that control does. `run` is the host of the active run, which
// Apply Changes re-enters. An unknown control or field name does nothing.
void PerformPanelAction(Application& app, RunHost& run, const PanelAction& action);

}  // namespace qx
