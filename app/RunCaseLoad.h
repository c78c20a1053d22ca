// The case command of a run without a window, up to its run: stop (nothing
// runs yet), load the case with overrides, show it in the panel. "qxsim run"
// and every point of a sweep go through it, so that a sweep's point runs as
// "qxsim run" runs it.
#pragma once

#include <string>
#include <vector>

#include "app/AppHost.h"
#include "app/Application.h"
#include "app/PanelActions.h"

namespace qx {

// The built-in starting case beside the executable.
std::string StartingCasePath();

// Loads the case as the window's "Open Case File" does, up to its run, with
// the overrides (qxsim's --set). `casePath` empty: the starting case. False
// when it could not be loaded; the reason went to `console` (the
// application's host).
bool LoadRunCase(Application& app, AppHost& console, const std::string& casePath,
                 const std::vector<FieldOverride>& overrides);

}  // namespace qx
