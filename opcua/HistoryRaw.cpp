// Raw history reads: the recorded values in a time range, either way.

#include <algorithm>

#include "opcua/HistoryReading.h"

namespace opcua {

namespace {

bool Given(DateTime t) { return t.ticks != 0; }

DateTime After(DateTime t) { return DateTime{t.ticks + 1}; }

}  // namespace

DataValue HistoryValue(Variant value, StatusCode status, DateTime time, TimestampsToReturn ts) {
  DataValue v;
  v.hasValue = !value.IsEmpty();
  v.value = std::move(value);
  v.hasStatus = status != status::Good;
  v.status = status;
  // Only the application's time of a value is kept; it stands for both.
  v.hasSourceTimestamp = ts != TimestampsToReturn::Server;
  v.hasServerTimestamp = ts != TimestampsToReturn::Source;
  v.sourceTimestamp = v.serverTimestamp = time;
  return v;
}

StatusCode CheckRawDetails(const ReadRawModifiedDetails& d) {
  if (d.isReadModified) return status::BadHistoryOperationUnsupported;
  const int given = Given(d.startTime) + Given(d.endTime) + (d.numValuesPerNode != 0);
  return given < 2 ? status::BadHistoryOperationInvalid : status::Good;
}

// The range in indices of the ring, from the times and the count:
//  - start before (or at) end, or no end: forward, start <= t < end (t ==
//    start when both are equal);
//  - start after end, or no start: backward, newest first, end < t <= start.
// With one time only, the count bounds the range.
HistoryPage ReadRawPage(const HistoryRing& ring, const ReadRawModifiedDetails& d,
                        const HistoryContinuation* resume, uint32_t limit, TimestampsToReturn ts) {
  HistoryPage page;
  const HistoryRing::Span span = ring.Held();
  HistoryContinuation c;
  if (resume) {
    c = *resume;
  } else {
    const bool both = Given(d.startTime) && Given(d.endTime);
    c.backward = both ? d.startTime.ticks > d.endTime.ticks : !Given(d.startTime);
    c.clearedBefore = span.clearedBefore;
    if (!c.backward) {
      c.lo = Given(d.startTime) ? ring.LowerBound(span, d.startTime) : span.begin;
      c.hi = !Given(d.endTime)                 ? span.end
             : d.endTime == d.startTime        ? ring.LowerBound(span, After(d.endTime))
                                               : ring.LowerBound(span, d.endTime);
      if (!both) c.hi = std::min(c.hi, c.lo + d.numValuesPerNode);
    } else {
      const DateTime first = Given(d.startTime) ? d.startTime : d.endTime;
      c.hi = ring.LowerBound(span, After(first));
      c.lo = both ? ring.LowerBound(span, After(d.endTime)) : span.begin;
      if (!both) c.lo = std::max(c.lo, c.hi > d.numValuesPerNode ? c.hi - d.numValuesPerNode : 0);
    }
    c.hi = std::max(c.lo, c.hi);
  }
  // Values that aged out of the ring since are skipped.
  c.lo = std::max(c.lo, span.begin);
  c.hi = std::max(c.lo, c.hi);
  const uint64_t n = std::min<uint64_t>(limit, c.hi - c.lo);
  const uint64_t from = c.backward ? c.hi - n : c.lo;
  std::vector<HistorySample> samples;
  const uint64_t first = ring.Copy(from, from + n, samples);
  if (c.backward) {
    std::reverse(samples.begin(), samples.end());
    // Values below the page aged out too when its oldest ones did.
    c.hi = first > from ? c.lo : from;
  } else {
    c.lo = from + n;
  }
  page.values.reserve(samples.size());
  for (const HistorySample& s : samples)
    page.values.push_back(HistoryValue(s.value, s.status, s.time, ts));
  page.more = c.lo < c.hi;
  page.next = c;
  if (page.values.empty() && !page.more) page.status = status::GoodNoData;
  return page;
}

}  // namespace opcua
