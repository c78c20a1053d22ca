#include "sweep/SweepMap.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>

namespace qx::sweep {
namespace {

std::size_t NearestIndex(const GridAxis& axis, double value) {
  std::size_t best = 0;
  for (int64_t i = 1; i < axis.Count; ++i)
    if (std::fabs(axis.Value(i) - value) < std::fabs(axis.Value(static_cast<int64_t>(best)) - value))
      best = static_cast<std::size_t>(i);
  return best;
}

std::optional<double> ReadCell(const std::string& text) {
  double value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

}  // namespace

double HeatMap::ScalePosition(double value) const {
  if (High <= Low) return 0.5;
  const double position = LogScale ? (std::log(value) - std::log(Low)) / (std::log(High) - std::log(Low))
                                   : (value - Low) / (High - Low);
  return std::clamp(position, 0.0, 1.0);
}

double HeatMap::ScaleValue(double position) const {
  return LogScale ? Low * std::pow(High / Low, position) : Low + (High - Low) * position;
}

bool BuildHeatMap(const SweepTable& table, const std::string& indexName, HeatMap& map, std::string& error) {
  const auto& axes = table.TheGrid.Axes();
  if (axes.size() < 2) {
    error = "a map needs two grid axes, the sweep has " + std::to_string(axes.size());
    return false;
  }
  const int column = table.ColumnIndex(indexName);
  if (column < static_cast<int>(axes.size()) || indexName == kStableColumn) {
    error = "no index '" + indexName + "' in the sweep (its columns: ";
    for (std::size_t i = axes.size(); i + 1 < table.Columns.size(); ++i)
      error.append(i > axes.size() ? ", " : "").append(table.Columns[i]);
    error.append(")");
    return false;
  }
  const int stable = table.ColumnIndex(kStableColumn);
  map = HeatMap{};
  map.IndexName = indexName;
  map.XName = axes[0].Name;
  map.YName = axes[1].Name;
  for (int64_t i = 0; i < axes[0].Count; ++i) map.X.push_back(axes[0].Value(i));
  for (int64_t i = 0; i < axes[1].Count; ++i) map.Y.push_back(axes[1].Value(i));
  map.CaseX = table.CaseValues.size() > 0 ? table.CaseValues[0] : 0;
  map.CaseY = table.CaseValues.size() > 1 ? table.CaseValues[1] : 0;
  std::vector<int64_t> indices(axes.size(), 0);
  for (std::size_t k = 2; k < axes.size(); ++k) {
    indices[k] = static_cast<int64_t>(NearestIndex(axes[k], k < table.CaseValues.size() ? table.CaseValues[k] : 0));
    map.SliceText.append(map.SliceText.empty() ? "" : " ").append(axes[k].Name).append("=")
        .append(axes[k].ValueText(indices[k]));
  }
  map.Cells.resize(map.X.size() * map.Y.size());
  double low = std::numeric_limits<double>::infinity(), high = -low;
  for (std::size_t ix = 0; ix < map.X.size(); ++ix) {
    for (std::size_t iy = 0; iy < map.Y.size(); ++iy) {
      indices[0] = static_cast<int64_t>(ix);
      indices[1] = static_cast<int64_t>(iy);
      const auto row = table.Rows.find(table.TheGrid.PointOf(indices));
      MapCell& cell = map.Cells[ix * map.Y.size() + iy];
      if (row == table.Rows.end()) continue;
      if (row->second[static_cast<std::size_t>(stable)] != "1") {
        cell.State = CellState::Unstable;
        continue;
      }
      const std::optional<double> value = ReadCell(row->second[static_cast<std::size_t>(column)]);
      if (!value) {
        cell.State = CellState::Undefined;
        continue;
      }
      cell.State = CellState::Valued;
      cell.Value = *value;
      low = std::min(low, *value);
      high = std::max(high, *value);
    }
  }
  if (low <= high) {
    map.Low = low;
    map.High = high;
    map.LogScale = low > 0 && high / low > kLogScaleRatio;
  }
  return true;
}

Colour RampColour(double position) {
  // Samples of the ramp at 0, 1/6, ..., 1; linear in between.
  static constexpr Colour kStops[] = {
      {0.267, 0.005, 0.329}, {0.254, 0.265, 0.530}, {0.164, 0.471, 0.558}, {0.128, 0.567, 0.551},
      {0.135, 0.659, 0.518}, {0.478, 0.821, 0.318}, {0.993, 0.906, 0.144}};
  constexpr std::size_t kIntervals = std::size(kStops) - 1;
  const double scaled = std::clamp(position, 0.0, 1.0) * kIntervals;
  const std::size_t i = std::min(static_cast<std::size_t>(scaled), kIntervals - 1);
  const double f = scaled - static_cast<double>(i);
  const Colour& a = kStops[i];
  const Colour& b = kStops[i + 1];
  return {a.R + (b.R - a.R) * f, a.G + (b.G - a.G) * f, a.B + (b.B - a.B) * f};
}

}  // namespace qx::sweep
