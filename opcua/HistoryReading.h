#pragma once
// One page of a HistoryRead of one node, raw or processed, read from the
// node's ring. The service (ServicesHistory.cpp) checks the request, keeps
// the continuation points and calls these.

#include <cstdint>
#include <vector>

#include "opcua/History.h"
#include "opcua/HistoryTypes.h"
#include "opcua/NodeIds.h"
#include "opcua/Session.h"

namespace opcua {

inline constexpr int64_t kTicksPerMs = 10'000;

struct HistoryPage {
  StatusCode status = status::Good;
  std::vector<DataValue> values;
  // Set when values remain for a continuation point.
  bool more = false;
  HistoryContinuation next;
};

// Checks raw details; Good, BadHistoryOperationUnsupported (modified values)
// or BadHistoryOperationInvalid (fewer than two of start, end and count).
StatusCode CheckRawDetails(const ReadRawModifiedDetails& d);
// A page of at most `limit` raw values of `ring`, from the start of the
// range or from `resume`.
HistoryPage ReadRawPage(const HistoryRing& ring, const ReadRawModifiedDetails& d,
                        const HistoryContinuation* resume, uint32_t limit, TimestampsToReturn ts);

// The aggregates served, by the ids of their AggregateFunction objects.
inline constexpr uint32_t kAggregateAverage = ids::AggregateFunction_Average,
                          kAggregateMinimum = ids::AggregateFunction_Minimum,
                          kAggregateMaximum = ids::AggregateFunction_Maximum,
                          kAggregateCount = ids::AggregateFunction_Count;
inline constexpr uint32_t kAggregates[] = {kAggregateAverage, kAggregateMinimum,
                                           kAggregateMaximum, kAggregateCount};
bool IsServedAggregate(const NodeId& id);
// Checks processed details: both times, different, and an interval that is
// not negative; Good, BadHistoryOperationInvalid or BadInvalidArgument.
StatusCode CheckProcessedDetails(const ReadProcessedDetails& d);
// A page of at most `limit` intervals of `aggregate` over `ring`.
HistoryPage ReadProcessedPage(const HistoryRing& ring, const ReadProcessedDetails& d,
                              uint32_t aggregate, const HistoryContinuation* resume,
                              uint32_t limit, TimestampsToReturn ts);

// A recorded value as the client asked for its timestamps.
DataValue HistoryValue(Variant value, StatusCode status, DateTime time, TimestampsToReturn ts);

}  // namespace opcua
