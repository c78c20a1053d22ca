#pragma once
// The recorded history of one Double variable: a ring of its newest values,
// written by the one thread that sets the variable's values and read by the
// server thread without a lock.
//
// Every value gets the next index of an ever-growing sequence; index i
// lives in slot i % capacity. The writer announces the index it is about to
// overwrite (started_) before it writes the slot and publishes the value
// (written_) after. A reader copies slots and then checks, with started_,
// which of the copied slots a write may have reached meanwhile; those it
// throws away (they are the oldest ones, whose values have aged out). So a
// reader never makes the writer wait, and the writer never hands a reader a
// half-written value.
//
// Memory is taken in chunks of kChunkValues slots as the values come, 16
// bytes per value; a chunk in which a status other than Good was recorded
// gets 4 bytes more per value for the statuses.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "opcua/Types.h"

namespace opcua {

struct HistorySample {
  double value = 0;
  DateTime time;  // the source timestamp the application gave
  StatusCode status;
};

class HistoryRing {
 public:
  static constexpr size_t kChunkValues = 4096;
  // The largest ring a variable may have: 100 million values, 1.6 GB.
  static constexpr size_t kMaxCapacity = 100'000'000;

  explicit HistoryRing(size_t capacity);
  ~HistoryRing();
  HistoryRing(const HistoryRing&) = delete;
  HistoryRing& operator=(const HistoryRing&) = delete;

  size_t Capacity() const { return capacity_; }

  // ---- The writer (one thread at a time) ----
  // Throws std::bad_alloc when a new chunk cannot be had; the value is then
  // not recorded.
  void Append(double value, DateTime time, StatusCode status);

  // ---- Any thread ----
  // Forgets every value recorded so far.
  void Clear();

  // ---- Readers ----
  // The indices of the values held at the moment: [begin, end). `begin`
  // also tells histories apart: it changes with every Clear that had
  // values to forget.
  struct Span {
    uint64_t begin = 0;
    uint64_t end = 0;
    uint64_t clearedBefore = 0;  // values before this index were cleared
  };
  Span Held() const;
  // The first index in `span` whose time is not before `t` (span.end if
  // none), assuming times that do not go backwards. A slot overwritten
  // during the search can only move the answer towards older values.
  uint64_t LowerBound(const Span& span, DateTime t) const;
  // Copies the values of indices [from, to) that were still held when the
  // copy ended, oldest first, into `out` (replacing its content). Returns
  // the index of the first value copied (to, when none survived).
  uint64_t Copy(uint64_t from, uint64_t to, std::vector<HistorySample>& out) const;

 private:
  struct Slot {
    std::atomic<double> value{0};
    std::atomic<int64_t> ticks{0};
  };
  struct Chunk {
    explicit Chunk(size_t n) : samples(new Slot[n]), size(n) {}
    ~Chunk() { delete[] statuses.load(); }
    std::unique_ptr<Slot[]> samples;  // not "slots", which Qt defines as a macro
    size_t size;
    // Null while every status recorded in the chunk was Good.
    std::atomic<std::atomic<uint32_t>*> statuses{nullptr};
  };
  Chunk* ChunkOf(uint64_t index, size_t& offset) const;
  HistorySample Load(uint64_t index) const;

  const size_t capacity_;
  std::unique_ptr<std::atomic<Chunk*>[]> chunks_;
  size_t chunkCount_;
  std::atomic<uint64_t> started_{0};  // indices whose write has begun
  std::atomic<uint64_t> written_{0};  // indices whose write is complete
  std::atomic<uint64_t> clearedBefore_{0};
};

}  // namespace opcua
