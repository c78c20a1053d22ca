// The history of application variables and the HistoryRead service.

#include <algorithm>
#include <optional>

#include "opcua/HistoryReading.h"
#include "opcua/NodeIds.h"
#include "opcua/ServerCoreInternal.h"

namespace opcua {

// ---- Recording -------------------------------------------------------------------

bool ServerCore::EnableHistory(uint32_t handle, size_t capacity, std::string& error) {
  if (handle >= appVariables_.size()) {
    error = "history: no variable has handle " + std::to_string(handle);
    return false;
  }
  Node& n = *appVariables_[handle];
  if (n.dataType != NodeId(0, ids::Double)) {
    error = "history of " + n.id.ToString() + ": only Double variables keep a history, this one is " +
            n.dataType.ToString();
    return false;
  }
  if (capacity == 0 || capacity > HistoryRing::kMaxCapacity) {
    error = "history of " + n.id.ToString() + ": capacity " + std::to_string(capacity) +
            " is not within 1.." + std::to_string(HistoryRing::kMaxCapacity);
    return false;
  }
  if (histories_.size() <= handle) histories_.resize(appVariables_.size());
  if (histories_[handle]) {
    error = "history of " + n.id.ToString() + " is already enabled";
    return false;
  }
  histories_[handle] = std::make_unique<HistoryRing>(capacity);
  n.history = histories_[handle].get();
  n.accessLevel |= kAccessHistoryRead;
  return true;
}

void ServerCore::RecordHistory(uint32_t handle, const Variant& value, StatusCode status,
                               DateTime sourceTimestamp) {
  if (handle >= histories_.size() || !histories_[handle]) return;
  const auto* number = std::get_if<double>(&value.scalar);
  if (!number || value.isArray) return;
  histories_[handle]->Append(*number, sourceTimestamp, status);
}

void ServerCore::ClearHistory(uint32_t handle) {
  if (handle < histories_.size() && histories_[handle]) histories_[handle]->Clear();
}

// ---- HistoryRead ------------------------------------------------------------------

namespace {

// The details of a request, decoded once for all its nodes.
struct Details {
  enum class Kind { Raw, Processed, Unsupported, Invalid } kind = Kind::Invalid;
  ReadRawModifiedDetails raw;
  ReadProcessedDetails processed;
  StatusCode check = status::Good;  // what every node gets when not Good
};

// Decodes the details; a structure that does not decode is the request's
// fault, so it returns the decoding status for the whole request.
StatusCode DecodeDetails(const ExtensionObject& e, Details& d) {
  const bool binary = e.encoding == ExtensionObject::Encoding::Binary && e.typeId.ns == 0 &&
                      e.typeId.type == IdType::Numeric;
  const uint32_t type = binary ? e.typeId.numeric : 0;
  if (type == ReadRawModifiedDetails::kTypeId) {
    d.kind = Details::Kind::Raw;
    if (StatusCode r = Decode(e.body, d.raw); !r.IsGood()) return r;
    d.check = CheckRawDetails(d.raw);
  } else if (type == ReadProcessedDetails::kTypeId) {
    d.kind = Details::Kind::Processed;
    if (StatusCode r = Decode(e.body, d.processed); !r.IsGood()) return r;
    d.check = CheckProcessedDetails(d.processed);
  } else if (type == kReadEventDetailsTypeId || type == kReadAtTimeDetailsTypeId) {
    d.kind = Details::Kind::Unsupported;
    d.check = status::BadHistoryOperationUnsupported;
  } else {
    d.kind = Details::Kind::Invalid;
    d.check = status::BadHistoryOperationInvalid;
  }
  return status::Good;
}

}  // namespace

void ServerCore::HistoryRead(Context& ctx, const HistoryReadRequest& req,
                             HistoryReadResponse& resp) {
  // Every historic value is stamped; a read without timestamps is meaningless.
  if (!ValidTimestamps(req.timestampsToReturn) ||
      req.timestampsToReturn == TimestampsToReturn::Neither) {
    ctx.serviceResult = status::BadTimestampsToReturnInvalid;
    return;
  }
  if (!CheckOperationCount(ctx, req.nodesToRead.size())) return;
  Details details;
  if (StatusCode decoded = DecodeDetails(req.historyReadDetails, details); !decoded.IsGood()) {
    ctx.serviceResult = decoded;
    return;
  }
  if (details.kind == Details::Kind::Processed &&
      details.processed.aggregateType.size() != req.nodesToRead.size()) {
    ctx.serviceResult = status::BadAggregateListMismatch;
    return;
  }
  Session& s = *ctx.session;
  const ServerLimits& limits = config_.limits;
  uint64_t budget = limits.maxHistoryValuesPerResponse;
  resp.results.reserve(req.nodesToRead.size());
  for (size_t i = 0; i < req.nodesToRead.size(); ++i) {
    const HistoryReadValueId& item = req.nodesToRead[i];
    HistoryReadResult& result = resp.results.emplace_back();
    // A continuation point is used up by its request, whatever comes of it.
    std::optional<HistoryContinuation> resume;
    if (!item.continuationPoint.data.empty()) {
      auto it = s.historyContinuations.find(item.continuationPoint.data);
      if (it == s.historyContinuations.end() || !(it->second.node == item.nodeId)) {
        result.statusCode = status::BadContinuationPointInvalid;
        continue;
      }
      resume = std::move(it->second);
      s.historyContinuations.erase(it);
      if (req.releaseContinuationPoints) continue;
    } else if (req.releaseContinuationPoints) {
      continue;
    }
    const Node* n = space_.Find(item.nodeId);
    if (!n) {
      result.statusCode = status::BadNodeIdUnknown;
      continue;
    }
    if (!n->history) {
      result.statusCode = status::BadHistoryOperationUnsupported;
      continue;
    }
    if (!item.dataEncoding.name.empty() && item.dataEncoding.name != "Default Binary") {
      result.statusCode = status::BadDataEncodingInvalid;
      continue;
    }
    if (!item.indexRange.empty()) {
      result.statusCode = status::BadIndexRangeNoData;  // the values are scalars
      continue;
    }
    if (!details.check.IsGood()) {
      result.statusCode = details.check;
      continue;
    }
    const HistoryRing& ring = *n->history;
    const bool processed = details.kind == Details::Kind::Processed;
    if (resume && (resume->processed != processed ||
                   resume->clearedBefore != ring.Held().clearedBefore)) {
      result.statusCode = status::BadContinuationPointInvalid;  // another read, or history cleared
      continue;
    }
    const NodeId& aggregate = processed ? details.processed.aggregateType[i] : NodeId();
    if (processed && !IsServedAggregate(aggregate)) {
      result.statusCode = status::BadAggregateNotSupported;
      continue;
    }
    uint64_t limit = std::min<uint64_t>(limits.maxHistoryValuesPerNode, budget);
    if (!processed && details.raw.numValuesPerNode != 0)
      limit = std::min<uint64_t>(limit, details.raw.numValuesPerNode);
    const TimestampsToReturn ts = req.timestampsToReturn;
    const HistoryContinuation* from = resume ? &*resume : nullptr;
    HistoryPage page =
        processed ? ReadProcessedPage(ring, details.processed, aggregate.numeric, from,
                                      static_cast<uint32_t>(limit), ts)
                  : ReadRawPage(ring, details.raw, from, static_cast<uint32_t>(limit), ts);
    budget -= std::min<uint64_t>(budget, page.values.size());
    if (page.more) {
      if (s.historyContinuations.size() >= limits.maxHistoryContinuationPointsPerSession) {
        result.statusCode = status::BadNoContinuationPoints;
        continue;
      }
      page.next.node = item.nodeId;
      std::string point = std::to_string(nextContinuationPoint_++);
      s.historyContinuations.emplace(point, std::move(page.next));
      result.continuationPoint = ByteString(point);
    }
    result.statusCode = page.status;
    result.historyData = Wrap(HistoryData{std::move(page.values)});
  }
}

size_t ServerCore::HistoryContinuationPoints() const {
  size_t points = 0;
  for (const auto& [number, s] : sessions_) points += s->historyContinuations.size();
  return points;
}

}  // namespace opcua
