// "qxsim run": loads a case as the window's case commands do, runs it through
// the real run loop with an in-memory panel, and writes what was asked for.
#pragma once

#include "tools/qxsim/RunOptions.h"

namespace qx {

// Exit status: 0 success, 1 a case file could not be loaded or an output not
// written (the message is on standard error).
int RunCommand(const RunOptions& options);

}  // namespace qx
