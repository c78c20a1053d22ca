#include "app/TuningMapGrid.h"

#include <cmath>
#include <cstdio>

#include "engine/NumberText.h"

namespace qx {
namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

TuningRangeText DefaultRange(double value) {
  if (value == 0) return {"0", "0", "1"};
  const double a = value * (1 - kTuningMapSpread), b = value * (1 + kTuningMapSpread);
  return {Number(std::fmin(a, b)), Number(std::fmax(a, b)), std::to_string(kTuningMapCount)};
}

bool ReadAxis(const char* name, const TuningRangeText& text, sweep::GridAxis& axis, std::string& error) {
  axis.Name = name;
  const std::string field = std::string(name) + " ";
  if (!ParseWholeDecimal(text.Low, axis.Low)) {
    error = field + "from: '" + text.Low + "' is not a number";
    return false;
  }
  if (!ParseWholeDecimal(text.High, axis.High)) {
    error = field + "to: '" + text.High + "' is not a number";
    return false;
  }
  double count = 0;
  if (!ParseWholeDecimal(text.Count, count) || count < 1 || count != std::floor(count) ||
      count > static_cast<double>(kTuningMapMaxPoints)) {
    error = field + "values: '" + text.Count + "' is not a whole number from 1 to " +
            std::to_string(kTuningMapMaxPoints);
    return false;
  }
  axis.Count = static_cast<int64_t>(count);
  if (axis.Low > axis.High) {
    error = field + "from: " + text.Low + " is above to " + text.High;
    return false;
  }
  return true;
}

}  // namespace

TuningMapGridText DefaultTuningMapGrid(double p, double i, double d) {
  TuningMapGridText grid{DefaultRange(p), DefaultRange(i), DefaultRange(d), false};
  return grid;
}

bool ReadTuningMapGrid(const TuningMapGridText& text, std::vector<sweep::GridAxis>& axes, std::string& error) {
  axes.assign(text.WithD ? 3 : 2, {});
  if (!ReadAxis("P", text.P, axes[0], error) || !ReadAxis("I", text.I, axes[1], error)) return false;
  if (text.WithD && !ReadAxis("D", text.D, axes[2], error)) return false;
  long long points = 1;
  for (const sweep::GridAxis& axis : axes) points *= axis.Count;  // each count is at most the limit
  if (points > kTuningMapMaxPoints) {
    error = "the grid has " + std::to_string(points) + " points, more than " + std::to_string(kTuningMapMaxPoints);
    return false;
  }
  return true;
}

}  // namespace qx
