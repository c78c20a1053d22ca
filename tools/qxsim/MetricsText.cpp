#include "tools/qxsim/MetricsText.h"

#include "app/LoopAnalysis.h"
#include "engine/NumberText.h"

namespace qx {

std::string MetricsText(const analysis::PerformanceResults& results) {
  std::string text;
  for (const IndexValue& index : IndexValues(results)) {
    text.append(index.name).append("=");
    if (index.value) text.append(FormatReal9(*index.value));
    text.append("\n");
  }
  return text;
}

}  // namespace qx
