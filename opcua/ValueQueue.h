#pragma once
// The values a monitored item has waiting, oldest first: a ring in one
// block of slots. Queueing a value allocates nothing while the block has
// room (a deque of values this size takes a block for every two). Slots
// hold a value only while it waits: the block is raw storage, so growing it
// clears nothing and a value that goes lets go of its text at once.
//
// A drained queue keeps its block while its values used a good part of it
// since the last drain: an item whose values go out every publishing
// interval keeps the block that interval's values need instead of growing
// it again from nothing each time. A queue that a burst made large, and
// that then holds only a few values between drains, gives it back.

#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>

#include "opcua/Types.h"

namespace opcua {

class ValueQueue {
 public:
  ValueQueue() = default;
  ValueQueue(const ValueQueue&) = delete;
  ValueQueue& operator=(const ValueQueue&) = delete;
  ValueQueue(ValueQueue&& other) noexcept { Swap(other); }
  ValueQueue& operator=(ValueQueue&& other) noexcept {
    ValueQueue(std::move(other)).Swap(*this);
    return *this;
  }
  ~ValueQueue() { clear(); }

  bool empty() const { return count_ == 0; }
  size_t size() const { return count_; }
  // Slots the block has, for the tests of when it is kept.
  size_t capacity() const { return capacity_; }
  DataValue& front() { return slots_[head_]; }
  DataValue& back() { return slots_[Slot(count_ - 1)]; }

  // Queues a copy of `value` and returns it. `most` is the most values the
  // queue holds at once (its item's queue size and the one value over it
  // before the oldest goes), which bounds the block.
  DataValue& push_back(const DataValue& value, size_t most) {
    if (count_ == capacity_) Grow(most);
    DataValue* slot = std::construct_at(slots_ + Slot(count_), value);
    peak_ = std::max(peak_, ++count_);
    return *slot;
  }
  void pop_front() {
    std::destroy_at(slots_ + head_);
    head_ = Slot(1);
    if (--count_ == 0) Drained();
  }
  // Drops the value before the newest one (a queue that keeps its oldest
  // values makes room so).
  void drop_before_back() {
    DataValue* newest = slots_ + Slot(count_ - 1);
    slots_[Slot(count_ - 2)] = std::move(*newest);
    std::destroy_at(newest);
    --count_;
  }
  void clear() {
    for (size_t i = 0; i < count_; ++i) std::destroy_at(slots_ + Slot(i));
    if (slots_) std::allocator<DataValue>().deallocate(slots_, capacity_);
    slots_ = nullptr;
    capacity_ = head_ = count_ = peak_ = 0;
  }

 private:
  // The block a queue starts with, and keeps once drained whatever its use:
  // small enough that an item with an empty queue stays within what the
  // memory budget counts for it (kMonitoredItemBytes).
  static constexpr size_t kKeptSlots = 1;
  // A drained queue whose values filled no more than this share of a
  // larger block since the last drain gives the block back.
  static constexpr size_t kUnusedShare = 4;

  size_t Slot(size_t i) const {
    size_t slot = head_ + i;
    return slot < capacity_ ? slot : slot - capacity_;
  }
  void Drained() {
    if (capacity_ > kKeptSlots && peak_ * kUnusedShare <= capacity_) clear();
    head_ = peak_ = 0;
  }
  void Grow(size_t most) {
    const size_t capacity = std::max(count_ + 1, std::min(capacity_ == 0 ? kKeptSlots : capacity_ * 2, most));
    // Not called "slots", which Qt defines as a macro in the window's sources.
    DataValue* block = std::allocator<DataValue>().allocate(capacity);
    for (size_t i = 0; i < count_; ++i) {
      DataValue& old = slots_[Slot(i)];
      std::construct_at(block + i, std::move(old));
      std::destroy_at(&old);
    }
    if (slots_) std::allocator<DataValue>().deallocate(slots_, capacity_);
    slots_ = block;
    capacity_ = capacity;
    head_ = 0;
  }
  void Swap(ValueQueue& other) noexcept {
    std::swap(slots_, other.slots_);
    std::swap(capacity_, other.capacity_);
    std::swap(head_, other.head_);
    std::swap(count_, other.count_);
    std::swap(peak_, other.peak_);
  }

  DataValue* slots_ = nullptr;
  size_t capacity_ = 0;
  size_t head_ = 0;
  size_t count_ = 0;
  size_t peak_ = 0;  // the most values held since the last drain
};

}  // namespace opcua
