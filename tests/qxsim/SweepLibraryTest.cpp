// The sweep library on its own: the stability rule on made-up responses,
// the grid's values and order, and the shards' cover of a grid.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "sweep/StabilityCheck.h"
#include "sweep/SweepGrid.h"
#include "sweep/SweepTable.h"

namespace qx::sweep {
namespace {

constexpr int64_t kSteps = 4000;

// PV of a response at step k to a set point of 60 in a CV range 0..100.
struct Response {
  const char* what;
  std::function<double(int64_t)> pv;
  double noise;  // PVNoise
  bool stable;
};

TEST(SweepStability, TheRuleTellsSettlingFromOscillationAndRunaway) {
  const double sp = 60;
  const Response kCases[] = {
      {"settled at once", [](int64_t) { return 60.0; }, 0, true},
      {"damped oscillation", [](int64_t k) { return 60 + 20 * std::exp(-k / 400.0) * std::sin(k / 30.0); }, 0, true},
      {"slow monotone approach", [](int64_t k) { return 60 - 40 * std::exp(-k / 3000.0); }, 0, true},
      {"limit cycle", [](int64_t k) { return 60 + 30 * std::sin(k / 30.0); }, 0, false},
      {"growing oscillation held at the range",
       [](int64_t k) { return std::clamp(60 + std::exp(k / 500.0) * std::sin(k / 30.0), 0.0, 100.0); }, 0, false},
      {"pinned at the top, set point not reached", [](int64_t) { return 100.0; }, 0, false},
      {"noise within three widths", [](int64_t k) { return 60 + 4 * std::sin(k * 1.7); }, 0.02, true},
      {"oscillation beyond the noise band", [](int64_t k) { return 60 + 10 * std::sin(k / 30.0); }, 0.02, false},
  };
  for (const Response& c : kCases) {
    StabilityCheck check(0, 100, kSteps);
    for (int64_t k = 0; k < kSteps; ++k) {
      const double pv = c.pv(k);
      check.Add(k, sp, pv, pv, c.noise);
    }
    EXPECT_EQ(check.Stable(), c.stable) << c.what;
  }
}

TEST(SweepStability, AMeasurementBeyondASpanOrNotFiniteIsUnstableEvenIfItComesBack) {
  for (const double excursion : {201.0, -101.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
    StabilityCheck check(0, 100, kSteps);
    for (int64_t k = 0; k < kSteps; ++k) check.Add(k, 60, 60, k == 100 ? excursion : 60.0, 0);
    EXPECT_FALSE(check.Stable()) << excursion;
  }
  StabilityCheck inside(0, 100, kSteps);
  for (int64_t k = 0; k < kSteps; ++k) inside.Add(k, 60, 60, k == 100 ? 199.0 : 60.0, 0);
  EXPECT_TRUE(inside.Stable());
}

TEST(SweepGrid, ValuesRunFromLowToHighInclusive) {
  GridAxis axis;
  std::string error;
  ASSERT_TRUE(ParseGridAxis("I=5:40:8", axis, error)) << error;
  EXPECT_EQ(axis.ValueText(0), "5");
  EXPECT_EQ(axis.ValueText(1), "10");
  EXPECT_EQ(axis.ValueText(7), "40");
  ASSERT_TRUE(ParseGridAxis("P=0.1:0.3:3", axis, error));
  EXPECT_EQ(axis.Value(2), 0.3) << "the last value is HI itself, not LO plus a sum of steps";
  ASSERT_TRUE(ParseGridAxis("D=2:2:1", axis, error));
  EXPECT_EQ(axis.ValueText(0), "2");
  EXPECT_EQ(axis.Text(), "D=2:2:1");
}

TEST(SweepGrid, PointsRunInNestedOrderAndShardsCoverEachOnce) {
  const Grid grid({{"P", 0, 1, 3}, {"I", 0, 1, 4}, {"D", 0, 1, 2}});
  ASSERT_EQ(grid.PointCount(), 24);
  EXPECT_EQ(grid.AxisIndices(0), (std::vector<int64_t>{0, 0, 0}));
  EXPECT_EQ(grid.AxisIndices(1), (std::vector<int64_t>{0, 0, 1}));
  EXPECT_EQ(grid.AxisIndices(23), (std::vector<int64_t>{2, 3, 1}));
  for (int64_t point = 0; point < 24; ++point) EXPECT_EQ(grid.PointOf(grid.AxisIndices(point)), point);

  for (const int64_t points : {1, 5, 24, 1000}) {
    for (const int64_t parts : {1, 3, 7, 24}) {
      int64_t expectedBegin = 0;
      for (int64_t k = 1; k <= parts; ++k) {
        const Shard shard{k, parts};
        EXPECT_EQ(shard.Begin(points), expectedBegin) << k << "/" << parts << " of " << points;
        const int64_t size = shard.End(points) - shard.Begin(points);
        EXPECT_LE(size, points / parts + 1);
        EXPECT_GE(size, points / parts);
        expectedBegin = shard.End(points);
      }
      EXPECT_EQ(expectedBegin, points);
    }
  }
}

TEST(SweepTable, MissingPointsAreListedAsRanges) {
  SweepTable table;
  table.TheGrid = Grid({{"P", 0, 1, 5}, {"I", 0, 1, 3}});
  for (const int64_t point : {0, 1, 2, 6, 9, 10, 13}) table.Rows[point] = {};
  EXPECT_EQ(MissingPoints(table), "3-5, 7-8, 11-12, 14");
  EXPECT_EQ(MissingPoints(table, 2), "3-5, 7-8, ...");
}

}  // namespace
}  // namespace qx::sweep
