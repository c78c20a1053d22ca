// The tuning map's grid as the operator types it: the defaults around the
// current settings and the check that refuses a bad grid naming the field.
#include <gtest/gtest.h>

#include "app/TuningMapGrid.h"

namespace qx {
namespace {

TEST(TuningMapGrid, DefaultsSpanHalfEachSideOfTheCurrentSettingsInFifteenValues) {
  const TuningMapGridText grid = DefaultTuningMapGrid(2, 30, 0);
  EXPECT_EQ(grid.P.Low, "1");
  EXPECT_EQ(grid.P.High, "3");
  EXPECT_EQ(grid.P.Count, "15");
  EXPECT_EQ(grid.I.Low, "15");
  EXPECT_EQ(grid.I.High, "45");
  // A setting of 0 (no derivative action) is the single value 0.
  EXPECT_EQ(grid.D.Low, "0");
  EXPECT_EQ(grid.D.High, "0");
  EXPECT_EQ(grid.D.Count, "1");
  EXPECT_FALSE(grid.WithD);
  // A negative setting still gives a range from low to high.
  const TuningMapGridText negative = DefaultTuningMapGrid(-2, 1.5, 0.25);
  EXPECT_EQ(negative.P.Low, "-3");
  EXPECT_EQ(negative.P.High, "-1");
  EXPECT_EQ(negative.D.Low, "0.125");

  std::vector<sweep::GridAxis> axes;
  std::string error;
  ASSERT_TRUE(ReadTuningMapGrid(grid, axes, error)) << error;
  ASSERT_EQ(axes.size(), 2u);
  EXPECT_EQ(axes[0].Name, "P");
  EXPECT_EQ(axes[1].Name, "I");
  EXPECT_EQ(axes[1].Count, 15);
  EXPECT_DOUBLE_EQ(axes[1].Value(7), 30);
  TuningMapGridText withD = grid;
  withD.WithD = true;
  withD.D = {"0", "1", "3"};
  ASSERT_TRUE(ReadTuningMapGrid(withD, axes, error)) << error;
  ASSERT_EQ(axes.size(), 3u);
  EXPECT_EQ(axes[2].Name, "D");
  EXPECT_DOUBLE_EQ(axes[2].Value(2), 1);
}

TEST(TuningMapGrid, BadGridsAreRefusedNamingTheFieldAndTheValue) {
  const struct {
    TuningRangeText P, I, D;
    bool WithD;
    const char* Message;
  } cases[] = {
      {{"x1", "3", "15"}, {"1", "2", "3"}, {}, false, "P from: 'x1' is not a number"},
      {{"1", "", "15"}, {"1", "2", "3"}, {}, false, "P to: '' is not a number"},
      {{"1", "3", "0"}, {"1", "2", "3"}, {}, false, "P values: '0' is not a whole number from 1 to 10000"},
      {{"1", "3", "2.5"}, {"1", "2", "3"}, {}, false, "P values: '2.5' is not a whole number"},
      {{"1", "3", "4"}, {"5", "2", "3"}, {}, false, "I from: 5 is above to 2"},
      {{"1", "3", "4"}, {"1", "2", "3"}, {"0", "1", "-1"}, true, "D values: '-1'"},
      {{"1", "3", "4"}, {"1", "2", "3"}, {"nan", "1", "2"}, true, "D from: 'nan' is not a number"},
      {{"1", "3", "100"}, {"1", "2", "101"}, {}, false, "the grid has 10100 points, more than 10000"},
  };
  for (const auto& c : cases) {
    std::vector<sweep::GridAxis> axes;
    std::string error;
    EXPECT_FALSE(ReadTuningMapGrid({c.P, c.I, c.D, c.WithD}, axes, error)) << c.Message;
    EXPECT_NE(error.find(c.Message), std::string::npos) << error;
  }
  // Without the D axis its fields are not read.
  std::vector<sweep::GridAxis> axes;
  std::string error;
  EXPECT_TRUE(ReadTuningMapGrid({{"1", "3", "4"}, {"1", "2", "3"}, {"bad", "", ""}, false}, axes, error)) << error;
}

}  // namespace
}  // namespace qx
