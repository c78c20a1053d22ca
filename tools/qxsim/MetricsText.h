// The text of "qxsim run --metrics": the indices of the run's last window.
#pragma once

#include <string>

#include "analysis/PerformanceIndices.h"

namespace qx {

// One "Name=VALUE" line per index in IndexValues order, the value as "%.9g"
// writes it with '.' as the decimal point; an index that is undefined for
// the window (no set-point change, not yet risen or settled) has nothing
// after the '='.
std::string MetricsText(const analysis::PerformanceResults& results);

}  // namespace qx
