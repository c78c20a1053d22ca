// "qxsim sweep": the case run once per point of a grid of settings on
// several threads, one CSV row per point, and a heat map; or the merge of
// the CSV files of a sweep's shards.
#pragma once

#include "tools/qxsim/SweepOptions.h"

namespace qx {

// Exit status: 0 done, 1 a case, point or file problem, or a merge with
// points missing, 130 ended by Ctrl-C or SIGTERM (the rows done are written).
int SweepCommand(const SweepOptions& options);

}  // namespace qx
