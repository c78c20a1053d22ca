// What the trend charts compute at every simulation step, free of any GUI
// toolkit: the time offset of the x values, the value ranges of both charts
// with the flat-trace rule, the axis limits under either scaling rule and the
// number of points of every series; also the drag-to-zoom state of the
// charts and the scale button. The Qt charts only draw what this decides.
#pragma once

#include <string>

#include "engine/LoopModel.h"
#include "engine/RunBuffers.h"

namespace qx {

// Smallest and largest value seen.
struct ValueSpan {
  float Min = 0;
  float Max = 0;
};

struct AxisRange {
  double Lower = 0;
  double Upper = 0;
};

// Points of each series for sample numbers 0 .. count-1.
struct TrendPointCounts {
  int PV = 0;      // Series1: samples 0 .. k-2
  int SP = 0;      // Series2: samples 0 .. min(W-1, k-1)
  int Output = 0;  // Series3: samples 0 .. k-2
  int Zero = 0;    // Series4: the zero line 0 .. W-1
};

// Everything one redraw sets on the charts.
struct TrendLayout {
  double TimeOffset = 0;  // added to every sample number
  AxisRange Chart1Left, Chart1Right, Chart1Bottom;
  AxisRange Chart2Left, Chart2Right;
  // Chart2's bottom axis takes Chart1's time scale once it has points;
  // without points it keeps its range.
  bool Chart2BottomFollows = false;
  AxisRange Chart2Bottom;
  TrendPointCounts Points;
};

// The whole part (toward zero) of the smallest time over samples 0..k-1.
double TrendTimeOffset(const RunBuffers& buffers, int sampleCount);

// Minimum and maximum over entries 0..W of the PV and SP trends together,
// and over entries 0..W of the output trend; entries past the newest sample
// read as the newest sample.
ValueSpan UpperTrendSpan(const RunBuffers& buffers, int window);
ValueSpan OutputTrendSpan(const RunBuffers& buffers, int window);

// A PV/SP span narrower than 0.1 % of its middle collapses to the middle,
// and entries 0..W of the PV and SP trends are overwritten with it, so the
// trace is drawn and kept as a straight line. Returns whether it applied.
bool ApplyFlatTrace(RunBuffers& buffers, int window, ValueSpan& span);

TrendPointCounts TrendPoints(int sampleCount, int window);

// The redraw of one step: time offset, spans (flat-trace rule included, which
// may change the buffers), axis limits and point counts. `window` is the
// trend window W in whole time units, `sampleCount` k >= 1.
TrendLayout PlanTrends(RunBuffers& buffers, int sampleCount, int window, const PIDLoop& loop,
                       bool scaleAuto);

// The last entry of a W window that the trend arrays can hold.
int LastTrendEntry(int window);

// A rectangle in chart pixels; Right and Bottom lie one past the last
// column and row, as Left + width and Top + height.
struct PixelRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;

  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool Empty() const { return Right <= Left || Bottom <= Top; }
  // Borders included.
  bool Contains(int x, int y) const { return x >= Left && x <= Right && y >= Top && y <= Bottom; }
  bool operator==(const PixelRect&) const = default;
};

// Drag-to-zoom on a chart's plot rectangle, shared by both charts.
struct ZoomSelection {
  static constexpr int kMinimumZoomPixels = 15;

  enum class Release {
    Ignored,  // no drag was going on
    Zoom,     // zoom the chart to `Selection`
    Cancel,   // too small: the shown rectangle goes away
  };

  bool Dragging = false;
  int StartX = 0, StartY = 0;
  PixelRect Selection;

  // Any button down. Starts a drag when the point lies inside `plot`;
  // returns whether it does.
  bool Press(int x, int y, const PixelRect& plot);

  // The mouse moved to (x, y) inside `plot` while dragging: the point is
  // limited to the plot's last column and row, and only a point strictly
  // right of and below the start makes the selection (start .. point).
  // Returns whether it did; otherwise no rectangle is shown and the last
  // selection stays.
  bool Move(int x, int y, const PixelRect& plot);

  // Button up. A selection of at least 15 x 15 pixels zooms and stays as it
  // is; a smaller one is dropped and the state returns to zero.
  Release Up();
};

// The scaling rule of the charts and the caption of the button that
// toggles it.
struct TrendScale {
  bool Auto = true;

  // The caption names the rule that the click puts in force.
  std::string Toggle();
};

}  // namespace qx
