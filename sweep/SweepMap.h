// A heat map of one index of a sweep over its first two axes, as data: the
// cells, the colour of each value, where the case's own setting lies. The
// drawing itself is left to whoever shows the map (a PNG file, a window).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sweep/SweepTable.h"

namespace qx::sweep {

enum class CellState { NotRun, Unstable, Undefined, Valued };

struct MapCell {
  CellState State = CellState::NotRun;
  double Value = 0;  // when Valued
};

struct HeatMap {
  std::string IndexName;
  std::string XName, YName;
  std::vector<double> X, Y;    // the grid values of the first two axes
  std::vector<MapCell> Cells;  // Cells[ix * Y.size() + iy]
  double CaseX = 0, CaseY = 0;  // the case's own setting
  // Further axes: the values of the slice shown ("D=0.5"), empty with two.
  std::string SliceText;
  // The range of the valued cells, and whether the colours follow the
  // logarithm of the value (all values positive and spanning more than
  // kLogScaleRatio).
  double Low = 0, High = 0;
  bool LogScale = false;

  const MapCell& At(std::size_t ix, std::size_t iy) const { return Cells[ix * Y.size() + iy]; }
  // Where `value` falls on the colour scale, 0 (Low) to 1 (High).
  double ScalePosition(double value) const;
  // The value at scale position `position`, the inverse of ScalePosition.
  double ScaleValue(double position) const;
};

// Values spanning more than this ratio are coloured on a log scale, so that
// the settings near the stability limit do not wash out the rest.
inline constexpr double kLogScaleRatio = 10;

// Builds the map of index `indexName` over the first two axes; with more
// axes, the slice nearest to the case's setting on each further axis. False
// with a message when the table has fewer than two axes or no such index.
bool BuildHeatMap(const SweepTable& table, const std::string& indexName, HeatMap& map, std::string& error);

struct Colour {
  double R, G, B;  // 0..1
};

// A perceptually ordered ramp from dark blue-violet (0) over teal to yellow
// (1), readable in grey print too.
Colour RampColour(double position);

}  // namespace qx::sweep
