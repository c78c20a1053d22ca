#include <gtest/gtest.h>

#include <memory>

#include "engine/RunBuffers.h"

namespace qx {
namespace {

class TrendWindow : public ::testing::Test {
 protected:
  TrendWindow() {
    b.Loop = ZeroedLoopBuffers();
    b.TimeTrend = ZeroedFloats(kTrendLength);
    for (int i = 0; i < kTrendLength; ++i) {
      b.Loop->PVTrend[i] = b.Loop->SPTrend[i] = b.Loop->OutputTrend[i] = -7;
    }
  }
  void Record(int index) { b.RecordSample(index, index * 1.0f, 100.0f + index, 200.0f + index, 300.0f + index); }
  RunBuffers b;
};

TEST_F(TrendWindow, NewestSampleFillsAheadThroughEntry1999) {
  for (int w = 0; w < 5; ++w) Record(w);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(b.PVAt(i), 100 + i);
    EXPECT_EQ(b.SPAt(i), 200 + i);
    EXPECT_EQ(b.OutputAt(i), 300 + i);
  }
  for (int i : {5, 6, 1000, 1999}) {
    EXPECT_EQ(b.PVAt(i), 104) << i;
    EXPECT_EQ(b.SPAt(i), 204) << i;
    EXPECT_EQ(b.OutputAt(i), 304) << i;
  }
  EXPECT_EQ(b.PVAt(2000), -7);
  EXPECT_EQ(b.TimeTrend[4], 4);
  EXPECT_EQ(b.TimeTrend[5], 0) << "the time trend is not filled ahead";

  b.MaterialiseFill();
  EXPECT_EQ(b.Loop->PVTrend[1999], 104);
  EXPECT_EQ(b.Loop->SPTrend[5], 204);
  EXPECT_EQ(b.Loop->OutputTrend[1500], 304);
  EXPECT_EQ(b.Loop->PVTrend[2000], -7);
  EXPECT_EQ(b.PVAt(1999), 104);
}

TEST_F(TrendWindow, CompactionMovesTheNewerHalfToTheFront) {
  for (int w = 0; w < 200; ++w) Record(w);
  b.CompactTrends(100);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(b.PVAt(i), 200 + i) << i;
  // Entries from the half on keep what they showed.
  EXPECT_EQ(b.PVAt(150), 250);
  EXPECT_EQ(b.PVAt(1999), 299);
  // The next sample lands at index 100 and fills ahead from there.
  b.RecordSample(100, 0, 1, 2, 3);
  EXPECT_EQ(b.PVAt(99), 299);
  EXPECT_EQ(b.PVAt(100), 1);
  EXPECT_EQ(b.PVAt(101), 1);
  EXPECT_EQ(b.SPAt(1999), 2);
  b.MaterialiseFill();
  EXPECT_EQ(b.Loop->PVTrend[99], 299);
  EXPECT_EQ(b.Loop->OutputTrend[1999], 3);
}

TEST_F(TrendWindow, SamplesBeyondTheFillEndDoNotFillAhead) {
  Record(10);
  Record(2100);
  EXPECT_EQ(b.PVAt(2100), 2200);
  EXPECT_EQ(b.PVAt(2101), -7);
  // What the earlier sample filled stays as it was.
  EXPECT_EQ(b.PVAt(1999), 110);
  b.MaterialiseFill();
  EXPECT_EQ(b.Loop->PVTrend[1999], 110);
}

}  // namespace
}  // namespace qx
