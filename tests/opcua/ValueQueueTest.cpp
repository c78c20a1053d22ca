// The ring of a monitored item's values against a deque doing the same:
// every order of growth, wrap-around, drops and drains keeps the values and
// their order.

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>

#include "opcua/ValueQueue.h"

namespace opcua {
namespace {

std::string Text(const DataValue& v) { return std::get<std::string>(v.value.scalar); }

TEST(ValueQueue, KeepsTheValuesAndTheirOrderOfADeque) {
  // Queue sizes around the block a drained queue keeps (1) and larger ones
  // that grow by doubling up to their bound.
  for (size_t most : {1u, 2u, 3u, 5u, 9u, 101u}) {
    SCOPED_TRACE("at most " + std::to_string(most) + " values");
    ValueQueue ring;
    std::deque<std::string> model;
    std::mt19937 random(static_cast<unsigned>(most));
    int next = 0;
    for (int step = 0; step < 20'000; ++step) {
      const unsigned op = random() % 16;
      if (op < 8 && model.size() < most) {
        // A text longer than the small-string buffer, so that a slot that
        // moves without its value shows.
        std::string text = std::string(20, 'v') + std::to_string(next++);
        ring.push_back(DataValue::Of(text), most);
        model.push_back(text);
      } else if (op < 13 && !model.empty()) {
        ASSERT_EQ(Text(ring.front()), model.front());
        ring.pop_front();
        model.pop_front();
      } else if (op < 15 && model.size() >= 2) {
        ring.drop_before_back();
        model.erase(model.end() - 2);
      } else if (op == 15 && random() % 64 == 0) {
        ring.clear();
        model.clear();
      }
      ASSERT_EQ(ring.size(), model.size());
      ASSERT_EQ(ring.empty(), model.empty());
      if (!model.empty()) {
        ASSERT_EQ(Text(ring.front()), model.front());
        ASSERT_EQ(Text(ring.back()), model.back());
      }
    }
  }
}

// The block between drains: a queue drained every publishing interval of
// a steady stream keeps the block it grew to, instead of growing it again
// from nothing each interval; one that a burst made large gives it back
// once its values need only a small part of it, and one that changes now
// and then keeps the one slot it started with.
TEST(ValueQueue, KeepsItsBlockWhileDrainsFindItWellUsed) {
  constexpr size_t kMost = 101;
  ValueQueue ring;
  auto fillAndDrain = [&](int values) {
    for (int i = 0; i < values; ++i) ring.push_back(DataValue::Of(std::string(20, 'v')), kMost);
    while (!ring.empty()) ring.pop_front();
  };
  fillAndDrain(21);
  const size_t steady = ring.capacity();
  EXPECT_GE(steady, 21u);
  for (int interval = 0; interval < 5; ++interval) {
    fillAndDrain(interval % 2 == 0 ? 21 : 12);
    EXPECT_EQ(ring.capacity(), steady) << "interval " << interval;
  }
  fillAndDrain(100);  // a burst
  EXPECT_EQ(ring.capacity(), kMost);
  fillAndDrain(30);   // a third of the block: kept
  EXPECT_EQ(ring.capacity(), kMost);
  fillAndDrain(3);    // a few values: the block goes
  EXPECT_LE(ring.capacity(), 1u);
  for (int change = 0; change < 10; ++change) {
    fillAndDrain(1);
    EXPECT_EQ(ring.capacity(), 1u);
  }
}

}  // namespace
}  // namespace opcua
