// The history ring on its own: what it keeps, in which order, after it
// wrapped and after a clear.

#include <gtest/gtest.h>

#include <vector>

#include "opcua/History.h"

namespace opcua {
namespace {

DateTime At(int64_t seconds) { return DateTime{seconds * 10'000'000}; }

std::vector<double> Values(const HistoryRing& ring) {
  HistoryRing::Span span = ring.Held();
  std::vector<HistorySample> out;
  ring.Copy(span.begin, span.end, out);
  std::vector<double> values;
  for (const auto& s : out) values.push_back(s.value);
  return values;
}

TEST(HistoryRing, KeepsTheNewestValuesInOrderAcrossChunksAndTheWrap) {
  // Three chunks and a bit, so the last chunk is short and the wrap crosses it.
  const size_t capacity = 3 * HistoryRing::kChunkValues + 5;
  HistoryRing ring(capacity);
  EXPECT_TRUE(Values(ring).empty());
  const size_t total = 2 * capacity + 17;
  for (size_t i = 0; i < total; ++i) ring.Append(double(i), At(int64_t(i)), status::Good);
  std::vector<double> values = Values(ring);
  ASSERT_EQ(values.size(), capacity);
  for (size_t i = 0; i < capacity; ++i) ASSERT_EQ(values[i], double(total - capacity + i)) << i;
  HistoryRing::Span span = ring.Held();
  EXPECT_EQ(span.end - span.begin, capacity);
  EXPECT_EQ(span.end, total);
}

TEST(HistoryRing, FindsTimesAndKeepsStatuses) {
  HistoryRing ring(10);
  for (int i = 0; i < 15; ++i)
    ring.Append(i * 1.5, At(100 + 2 * i), i == 12 ? status::BadOutOfRange : status::Good);
  HistoryRing::Span span = ring.Held();  // indices 5..14, times 110..128
  EXPECT_EQ(span.begin, 5u);
  EXPECT_EQ(ring.LowerBound(span, At(0)), 5u);
  EXPECT_EQ(ring.LowerBound(span, At(111)), 6u);
  EXPECT_EQ(ring.LowerBound(span, At(112)), 6u);
  EXPECT_EQ(ring.LowerBound(span, At(129)), 15u);
  std::vector<HistorySample> out;
  EXPECT_EQ(ring.Copy(11, 14, out), 11u);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].value, 11 * 1.5);
  EXPECT_EQ(out[0].time, At(122));
  EXPECT_EQ(out[0].status, status::Good);
  EXPECT_EQ(out[1].status, status::BadOutOfRange);
  EXPECT_EQ(out[2].status, status::Good);
  // Indices that aged out are not copied.
  EXPECT_EQ(ring.Copy(0, 7, out), 5u);
  EXPECT_EQ(out.size(), 2u);
}

TEST(HistoryRing, ClearForgetsWhatWasRecordedAndNewValuesStartANewHistory) {
  HistoryRing ring(8);
  for (int i = 0; i < 5; ++i) ring.Append(i, At(i), status::Good);
  const uint64_t before = ring.Held().clearedBefore;
  ring.Clear();
  EXPECT_TRUE(Values(ring).empty());
  EXPECT_NE(ring.Held().clearedBefore, before);
  std::vector<HistorySample> out;
  EXPECT_EQ(ring.Copy(0, 5, out), 5u);  // the old indices copy nothing
  EXPECT_TRUE(out.empty());
  ring.Append(42, At(10), status::Good);
  EXPECT_EQ(Values(ring), std::vector<double>{42});
}

}  // namespace
}  // namespace opcua
