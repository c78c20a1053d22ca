#pragma once
// The values a monitored item has waiting, oldest first: a ring in one
// block of slots. Queueing a value allocates nothing while the block has
// room (a deque of values this size takes a block for every two), and a
// queue that a burst made large gives its block back once it is drained.

#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>

#include "opcua/Types.h"

namespace opcua {

class ValueQueue {
 public:
  bool empty() const { return count_ == 0; }
  size_t size() const { return count_; }
  DataValue& front() { return slots_[head_]; }
  DataValue& back() { return slots_[Slot(count_ - 1)]; }

  // `most` is the most values the queue holds at once (its item's queue
  // size and the one value over it before the oldest goes), which bounds
  // the block.
  void push_back(DataValue value, size_t most) {
    if (count_ == capacity_) Grow(most);
    slots_[Slot(count_)] = std::move(value);
    ++count_;
  }
  void pop_front() {
    // The slot lets go of its value at once: a drained queue holds no texts.
    slots_[head_] = DataValue();
    head_ = Slot(1);
    if (--count_ == 0 && capacity_ > kKeptSlots) clear();
  }
  // Drops the value before the newest one (a queue that keeps its oldest
  // values makes room so).
  void drop_before_back() {
    slots_[Slot(count_ - 2)] = std::move(slots_[Slot(count_ - 1)]);
    --count_;
  }
  void clear() {
    slots_.reset();
    capacity_ = head_ = count_ = 0;
  }

 private:
  // A drained queue keeps a block this small for the next values, so that
  // items that change now and then do not allocate at every change; small
  // enough that an item with an empty queue stays within what the memory
  // budget counts for it (kMonitoredItemBytes).
  static constexpr size_t kKeptSlots = 2;

  size_t Slot(size_t i) const {
    size_t slot = head_ + i;
    return slot < capacity_ ? slot : slot - capacity_;
  }
  void Grow(size_t most) {
    const size_t capacity = std::max(count_ + 1, std::min(capacity_ == 0 ? kKeptSlots : capacity_ * 2, most));
    auto slots = std::make_unique<DataValue[]>(capacity);
    for (size_t i = 0; i < count_; ++i) slots[i] = std::move(slots_[Slot(i)]);
    slots_ = std::move(slots);
    capacity_ = capacity;
    head_ = 0;
  }

  std::unique_ptr<DataValue[]> slots_;
  size_t capacity_ = 0;
  size_t head_ = 0;
  size_t count_ = 0;
};

}  // namespace opcua
