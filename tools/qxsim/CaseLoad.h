// The case command of "qxsim run" without the run: stop (nothing runs yet),
// load the case with the --set overrides, show it in the panel. "qxsim run"
// and every point of "qxsim sweep" go through it, so that a sweep's point
// runs as "qxsim run" runs it.
#pragma once

#include <string>

#include "app/AppHost.h"
#include "app/Application.h"
#include "tools/qxsim/RunOptions.h"

namespace qx {

// The built-in starting case beside the executable.
std::string StartingCasePath();

// Loads the case as the window's "Open Case File" does, up to its run, with
// the --set overrides. False when it could not be loaded; the reason went to
// `console` (the application's host).
bool LoadRunCase(Application& app, AppHost& console, const RunOptions& options);

}  // namespace qx
