// A grid of settings to run a case at: one axis per setting, each LO:HI in
// N evenly spaced values, and the split of the grid's points into shards.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qx::sweep {

struct GridAxis {
  std::string Name;  // as the user wrote it ("P", "ProcessModel.Tau1")
  double Low = 0;
  double High = 0;
  int64_t Count = 0;  // at least 1; a single value is Low

  // Value i of Count, 0-based: Low at 0, High at Count - 1.
  double Value(int64_t i) const;
  // The value as the run gets it on its command line: "%.9g", '.' as the
  // decimal point.
  std::string ValueText(int64_t i) const;
  // "NAME=LO:HI:N" with LO and HI as "%.9g" writes them.
  std::string Text() const;
};

// Parses "NAME=LO:HI:N". False with a message that names the text on a
// missing part, a number that does not read, N < 1 or LO > HI.
bool ParseGridAxis(std::string_view text, GridAxis& axis, std::string& error);

// Points are numbered in grid order: the first axis varies slowest, the last
// fastest, as nested loops in command-line order run them.
class Grid {
 public:
  Grid() = default;
  explicit Grid(std::vector<GridAxis> axes) : axes_(std::move(axes)) {}

  const std::vector<GridAxis>& Axes() const { return axes_; }
  int64_t PointCount() const;
  // The value index on every axis of point `point` (0 <= point < PointCount).
  std::vector<int64_t> AxisIndices(int64_t point) const;
  // Inverse of AxisIndices.
  int64_t PointOf(const std::vector<int64_t>& indices) const;
  // The axes as "NAME=LO:HI:N" separated by spaces.
  std::string Text() const;

 private:
  std::vector<GridAxis> axes_;
};

// The K-th of N equal parts of a grid (1 <= K <= N): the points
// [Begin, End), sizes differing by at most one.
struct Shard {
  int64_t K = 1;
  int64_t N = 1;
  int64_t Begin(int64_t points) const { return (K - 1) * points / N; }
  int64_t End(int64_t points) const { return K * points / N; }
};

// Parses "K/N". False with a message naming the text.
bool ParseShard(std::string_view text, Shard& shard, std::string& error);

// The limit on a grid's points: a grid beyond it is a typing error rather
// than a sweep anyone waits for (40 x 40 x 40 is 64 000).
inline constexpr int64_t kMaxGridPoints = 10'000'000;

}  // namespace qx::sweep
