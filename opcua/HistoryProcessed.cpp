// Processed history reads: Average, Minimum, Maximum and Count over each
// processing interval, from the raw values without interpolation.
//
// The intervals are laid from the start time towards the end time, each
// processingInterval long (the last one shorter when the range is not a
// whole number of them; one interval for the whole range when the
// interval is 0 or longer than the range), and returned in that order.
// Every interval holds the values with earlier <= t < later and is
// stamped with its earlier bound. Only values with a Good status count:
//  - Average: their mean;
//  - Minimum, Maximum: the smallest or largest, stamped with its own time
//    (the first one when several are equal);
//  - Count: how many there are (Int32).
// An interval without such values gives Count 0 and, for the others, no
// value with the status BadNoData.

#include <algorithm>
#include <cmath>

#include "opcua/HistoryReading.h"

namespace opcua {

namespace {

// Values copied from the ring at a time, so that an interval of millions
// of values needs no more memory than this.
constexpr uint64_t kBlockValues = 4096;

struct Accumulator {
  uint64_t count = 0;
  double sum = 0;
  HistorySample min, max;

  void Add(const HistorySample& s) {
    if (!s.status.IsGood()) return;
    if (count == 0 || s.value < min.value) min = s;
    if (count == 0 || s.value > max.value) max = s;
    sum += s.value;
    ++count;
  }
};

DataValue Result(const Accumulator& a, uint32_t aggregate, DateTime intervalStart,
                 TimestampsToReturn ts) {
  if (aggregate == kAggregateCount)
    return HistoryValue(static_cast<int32_t>(std::min<uint64_t>(a.count, INT32_MAX)), status::Good,
                        intervalStart, ts);
  if (a.count == 0) return HistoryValue(Variant(), status::BadNoData, intervalStart, ts);
  if (aggregate == kAggregateMinimum) return HistoryValue(a.min.value, status::Good, a.min.time, ts);
  if (aggregate == kAggregateMaximum) return HistoryValue(a.max.value, status::Good, a.max.time, ts);
  return HistoryValue(a.sum / static_cast<double>(a.count), status::Good, intervalStart, ts);
}

}  // namespace

bool IsServedAggregate(const NodeId& id) {
  return id.ns == 0 && id.type == IdType::Numeric &&
         std::find(std::begin(kAggregates), std::end(kAggregates), id.numeric) !=
             std::end(kAggregates);
}

StatusCode CheckProcessedDetails(const ReadProcessedDetails& d) {
  if (d.startTime.ticks == 0 || d.endTime.ticks == 0 || d.startTime == d.endTime)
    return status::BadHistoryOperationInvalid;
  if (!(d.processingInterval >= 0) || std::isinf(d.processingInterval))
    return status::BadInvalidArgument;
  return status::Good;
}

HistoryPage ReadProcessedPage(const HistoryRing& ring, const ReadProcessedDetails& d,
                              uint32_t aggregate, const HistoryContinuation* resume,
                              uint32_t limit, TimestampsToReturn ts) {
  HistoryPage page;
  const HistoryRing::Span span = ring.Held();
  HistoryContinuation c;
  if (resume) {
    c = *resume;
  } else {
    c.processed = true;
    c.clearedBefore = span.clearedBefore;
    c.startTicks = d.startTime.ticks;
    c.endTicks = d.endTime.ticks;
    c.aggregate = aggregate;
    const int64_t range = c.endTicks > c.startTicks ? c.endTicks - c.startTicks
                                                    : c.startTicks - c.endTicks;
    const double interval = d.processingInterval * static_cast<double>(kTicksPerMs);
    c.intervalTicks = d.processingInterval == 0 || interval >= static_cast<double>(range)
                          ? range
                          : std::max<int64_t>(1, static_cast<int64_t>(interval));
  }
  const bool backward = c.startTicks > c.endTicks;
  const uint64_t range = static_cast<uint64_t>(backward ? c.startTicks - c.endTicks
                                                        : c.endTicks - c.startTicks);
  const uint64_t step = static_cast<uint64_t>(c.intervalTicks);
  const uint64_t intervals = (range + step - 1) / step;
  const uint64_t last = std::min<uint64_t>(intervals, c.nextInterval + limit);
  std::vector<HistorySample> block;
  for (uint64_t k = c.nextInterval; k < last; ++k) {
    // The bounds in ticks, clipped to the range.
    const int64_t offset = static_cast<int64_t>(k * step);
    const int64_t width = static_cast<int64_t>(std::min(step, range - k * step));
    const int64_t earlier = backward ? c.startTicks - offset - width : c.startTicks + offset;
    const int64_t later = earlier + width;
    Accumulator a;
    uint64_t i = ring.LowerBound(span, DateTime{earlier});
    const uint64_t end = ring.LowerBound(span, DateTime{later});
    while (i < end) {
      const uint64_t to = std::min(end, i + kBlockValues);
      ring.Copy(i, to, block);
      for (const HistorySample& s : block)
        if (s.time.ticks >= earlier && s.time.ticks < later) a.Add(s);
      i = to;
    }
    page.values.push_back(Result(a, c.aggregate, DateTime{earlier}, ts));
  }
  c.nextInterval = last;
  page.more = last < intervals;
  page.next = c;
  return page;
}

}  // namespace opcua
