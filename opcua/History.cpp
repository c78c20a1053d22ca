#include "opcua/History.h"

#include <algorithm>

namespace opcua {

HistoryRing::HistoryRing(size_t capacity)
    : capacity_(capacity),
      chunks_(new std::atomic<Chunk*>[(capacity + kChunkValues - 1) / kChunkValues]),
      chunkCount_((capacity + kChunkValues - 1) / kChunkValues) {
  for (size_t i = 0; i < chunkCount_; ++i) chunks_[i].store(nullptr, std::memory_order_relaxed);
}

HistoryRing::~HistoryRing() {
  for (size_t i = 0; i < chunkCount_; ++i) delete chunks_[i].load();
}

HistoryRing::Chunk* HistoryRing::ChunkOf(uint64_t index, size_t& offset) const {
  const size_t slot = static_cast<size_t>(index % capacity_);
  offset = slot % kChunkValues;
  return chunks_[slot / kChunkValues].load(std::memory_order_acquire);
}

void HistoryRing::Append(double value, DateTime time, StatusCode status) {
  const uint64_t index = written_.load(std::memory_order_relaxed);
  const size_t slot = static_cast<size_t>(index % capacity_);
  std::atomic<Chunk*>& entry = chunks_[slot / kChunkValues];
  Chunk* chunk = entry.load(std::memory_order_relaxed);
  if (!chunk) {
    const size_t first = slot - slot % kChunkValues;
    chunk = new Chunk(std::min(kChunkValues, capacity_ - first));
    entry.store(chunk, std::memory_order_release);
  }
  std::atomic<uint32_t>* statuses = chunk->statuses.load(std::memory_order_relaxed);
  if (!statuses && status != status::Good) {
    statuses = new std::atomic<uint32_t>[chunk->size];
    for (size_t i = 0; i < chunk->size; ++i) statuses[i].store(0, std::memory_order_relaxed);
    chunk->statuses.store(statuses, std::memory_order_release);
  }
  // Readers that copied the slot's old value see this announcement after
  // their copy and drop it.
  started_.store(index + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  const size_t offset = slot % kChunkValues;
  chunk->samples[offset].value.store(value, std::memory_order_relaxed);
  chunk->samples[offset].ticks.store(time.ticks, std::memory_order_relaxed);
  if (statuses) statuses[offset].store(status.value, std::memory_order_relaxed);
  written_.store(index + 1, std::memory_order_release);
}

void HistoryRing::Clear() {
  // Everything written so far goes; a value being written at this moment
  // may fall on either side.
  clearedBefore_.store(written_.load(std::memory_order_acquire), std::memory_order_release);
}

HistoryRing::Span HistoryRing::Held() const {
  Span s;
  s.end = written_.load(std::memory_order_acquire);
  s.clearedBefore = clearedBefore_.load(std::memory_order_acquire);
  // The oldest of these may be overwritten any moment; Copy tells.
  const uint64_t oldest = s.end > capacity_ ? s.end - capacity_ : 0;
  s.begin = std::min(s.end, std::max(oldest, s.clearedBefore));
  return s;
}

HistorySample HistoryRing::Load(uint64_t index) const {
  size_t offset = 0;
  const Chunk* chunk = ChunkOf(index, offset);
  HistorySample out;
  out.value = chunk->samples[offset].value.load(std::memory_order_relaxed);
  out.time.ticks = chunk->samples[offset].ticks.load(std::memory_order_relaxed);
  if (const auto* statuses = chunk->statuses.load(std::memory_order_acquire))
    out.status = StatusCode{statuses[offset].load(std::memory_order_relaxed)};
  return out;
}

uint64_t HistoryRing::LowerBound(const Span& span, DateTime t) const {
  uint64_t lo = span.begin, hi = span.end;
  while (lo < hi) {
    const uint64_t mid = lo + (hi - lo) / 2;
    if (Load(mid).time.ticks < t.ticks)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

uint64_t HistoryRing::Copy(uint64_t from, uint64_t to, std::vector<HistorySample>& out) const {
  out.clear();
  if (from >= to) return to;
  out.reserve(static_cast<size_t>(to - from));
  for (uint64_t i = from; i < to; ++i) out.push_back(Load(i));
  std::atomic_thread_fence(std::memory_order_acquire);
  // A write that began before this load may have reached the slots of the
  // indices below started - capacity.
  const uint64_t started = started_.load(std::memory_order_relaxed);
  const uint64_t firstIntact = started > capacity_ ? started - capacity_ : 0;
  const uint64_t cleared = clearedBefore_.load(std::memory_order_acquire);
  const uint64_t first = std::min(to, std::max({from, firstIntact, cleared}));
  out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(first - from));
  return first;
}

}  // namespace opcua
