#include "ui/TrendPlot.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qx {
namespace {

// A PV/SP span narrower than this fraction of its middle is drawn flat.
constexpr double kFlatFraction = 0.001;
// Keeps the flat-trace ratio finite for a trace around zero.
constexpr double kFlatMidBias = 0.00001;
// Room above and below the traces under the auto rule, as a fraction of the
// loop's CV or MV range.
constexpr double kAutoMargin = 0.04;
// The full rule and Chart2's right axis show the output in percent.
constexpr AxisRange kPercentRange{0, 100};

// Entries 0 .. End-1 of a trend window as the fill-ahead splits them: stored
// entries before FillBegin, the repeated newest sample in
// [FillBegin, FillEnd), stored entries again from FillEnd (only past
// kTrendFillEnd).
struct WindowPieces {
  int FillBegin, FillEnd, End;
};

WindowPieces SplitWindow(const TrendFill& fill, int window) {
  const int end = LastTrendEntry(window) + 1;
  const int fillBegin = std::clamp(fill.From, 0, end);
  const int fillEnd = std::clamp(kTrendFillEnd + 1, fillBegin, end);
  return {fillBegin, fillEnd, end};
}

struct SpanBuilder {
  float Min = std::numeric_limits<float>::infinity();
  float Max = -std::numeric_limits<float>::infinity();

  void Add(float v) {
    Min = std::min(Min, v);
    Max = std::max(Max, v);
  }
  void Add(const float* values, int begin, int end) {
    for (int i = begin; i < end; ++i) Add(values[i]);
  }
  ValueSpan Span() const { return {Min, Max}; }
};

// Widens `s` by entries 0 .. End-1 of one trend, read through the fill-ahead.
void AddWindow(SpanBuilder& s, const WindowPieces& p, const float* values, float fillValue) {
  s.Add(values, 0, p.FillBegin);
  if (p.FillBegin < p.FillEnd) s.Add(fillValue);
  s.Add(values, p.FillEnd, p.End);
}

AxisRange Widened(const ValueSpan& span, double margin) { return {span.Min - margin, span.Max + margin}; }

}  // namespace

int LastTrendEntry(int window) { return std::clamp(window, 0, kTrendLength - 1); }

double TrendTimeOffset(const RunBuffers& buffers, int sampleCount) {
  const int count = std::clamp(sampleCount, 1, kTrendLength);
  SpanBuilder s;
  s.Add(buffers.TimeTrend.get(), 0, count);
  return std::trunc(static_cast<double>(s.Min));
}

ValueSpan UpperTrendSpan(const RunBuffers& buffers, int window) {
  const WindowPieces p = SplitWindow(buffers.Fill, window);
  SpanBuilder s;
  AddWindow(s, p, buffers.Loop->PVTrend, buffers.Fill.PV);
  AddWindow(s, p, buffers.Loop->SPTrend, buffers.Fill.SP);
  return s.Span();
}

ValueSpan OutputTrendSpan(const RunBuffers& buffers, int window) {
  SpanBuilder s;
  AddWindow(s, SplitWindow(buffers.Fill, window), buffers.Loop->OutputTrend, buffers.Fill.Output);
  return s.Span();
}

bool ApplyFlatTrace(RunBuffers& buffers, int window, ValueSpan& span) {
  const double mid = (static_cast<double>(span.Min) + span.Max) / 2;
  const double ratio = std::fabs(static_cast<double>(span.Max) - span.Min) / std::fabs(mid + kFlatMidBias);
  if (!(ratio < kFlatFraction)) return false;

  const float flat = static_cast<float>(mid);
  span = {flat, flat};
  LoopBuffers& loop = *buffers.Loop;
  const WindowPieces p = SplitWindow(buffers.Fill, window);
  std::fill(loop.PVTrend, loop.PVTrend + p.FillBegin, flat);
  std::fill(loop.SPTrend, loop.SPTrend + p.FillBegin, flat);
  std::fill(loop.PVTrend + p.FillEnd, loop.PVTrend + p.End, flat);
  std::fill(loop.SPTrend + p.FillEnd, loop.SPTrend + p.End, flat);
  if (p.FillBegin == p.FillEnd) return true;

  TrendFill& fill = buffers.Fill;
  if (p.FillEnd > kTrendFillEnd) {
    // The whole fill-ahead lies in the window: it repeats the line instead.
    fill.PV = fill.SP = flat;
    return true;
  }
  // The window ends inside the fill-ahead: its part in the window becomes
  // stored entries (the output keeps the newest sample) and the fill starts
  // after the window, still repeating the newest sample.
  std::fill(loop.PVTrend + p.FillBegin, loop.PVTrend + p.FillEnd, flat);
  std::fill(loop.SPTrend + p.FillBegin, loop.SPTrend + p.FillEnd, flat);
  std::fill(loop.OutputTrend + p.FillBegin, loop.OutputTrend + p.FillEnd, fill.Output);
  fill.From = p.FillEnd;
  return true;
}

TrendPointCounts TrendPoints(int sampleCount, int window) {
  const int k = std::clamp(sampleCount, 1, kTrendLength);
  const int w = std::clamp(window, 0, kTrendLength);
  // The newest sample of PV and output is drawn once the next one exists.
  return {k - 1, std::min(w, k), k - 1, w};
}

TrendLayout PlanTrends(RunBuffers& buffers, int sampleCount, int window, const PIDLoop& loop,
                       bool scaleAuto) {
  TrendLayout layout;
  layout.TimeOffset = TrendTimeOffset(buffers, sampleCount);

  ValueSpan upper = UpperTrendSpan(buffers, window);
  ApplyFlatTrace(buffers, window, upper);
  const ValueSpan output = OutputTrendSpan(buffers, window);

  if (scaleAuto) {
    layout.Chart1Left = Widened(upper, kAutoMargin * (static_cast<double>(loop.CVHigh) - loop.CVLow));
    layout.Chart2Left = Widened(output, kAutoMargin * (static_cast<double>(loop.MVHigh) - loop.MVLow));
  } else {
    layout.Chart1Left = {loop.CVLow, loop.CVHigh};
    layout.Chart2Left = kPercentRange;
  }
  layout.Chart1Right = layout.Chart1Left;
  // Only the minimum of this axis is set by the auto rule; its maximum keeps
  // the 100 that the full rule gives it. It carries the zero line only.
  layout.Chart2Right = kPercentRange;
  layout.Chart1Bottom = {0, static_cast<double>(window)};

  layout.Points = TrendPoints(sampleCount, window);
  const int chart2Points = std::max(layout.Points.Output, layout.Points.Zero);
  layout.Chart2BottomFollows = chart2Points > 0;
  // Chart2 follows its data onto the time scale of Chart1 above it, so that
  // a sample stands at the same place in both charts and the bottom axis
  // ends on the same label.
  layout.Chart2Bottom = layout.Chart1Bottom;
  return layout;
}

bool ZoomSelection::Press(int x, int y, const PixelRect& plot) {
  Selection = {x, y, x, y};
  StartX = x;
  StartY = y;
  Dragging = plot.Contains(x, y);
  return Dragging;
}

bool ZoomSelection::Move(int x, int y, const PixelRect& plot) {
  if (!Dragging || !plot.Contains(x, y)) return false;
  x = std::clamp(x, plot.Left, plot.Right - 1);
  y = std::clamp(y, plot.Top, plot.Bottom - 1);
  if (x <= StartX || y <= StartY) return false;
  Selection = {StartX, StartY, x, y};
  return true;
}

ZoomSelection::Release ZoomSelection::Up() {
  if (!Dragging) return Release::Ignored;
  Dragging = false;
  if (Selection.Width() >= kMinimumZoomPixels && Selection.Height() >= kMinimumZoomPixels)
    return Release::Zoom;
  Selection = {};
  StartX = StartY = 0;
  return Release::Cancel;
}

std::string TrendScale::Toggle() {
  std::string caption = Auto ? "Trend Scale Full" : "Trend Scale Auto";
  Auto = !Auto;
  return caption;
}

}  // namespace qx
