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

// False when the case could not be loaded; the reason went to `console`.
bool LoadRunCase(Application& app, AppHost& console, const RunOptions& options);

}  // namespace qx
