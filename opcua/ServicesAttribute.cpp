// Read and Write.

#include "opcua/ServerCoreInternal.h"

namespace opcua {

namespace {

bool IsVariableLike(const Node& n) {
  return n.nodeClass == NodeClass::Variable || n.nodeClass == NodeClass::VariableType;
}

bool IsType(const Node& n) {
  return n.nodeClass == NodeClass::ObjectType || n.nodeClass == NodeClass::VariableType ||
         n.nodeClass == NodeClass::ReferenceType || n.nodeClass == NodeClass::DataType;
}

// A client writes a value and may give its source timestamp. A status code
// (a Bad one would otherwise be stored as Good) or a server timestamp is not
// the client's to set.
bool WritableParts(const DataValue& v) {
  bool goodStatus = !v.hasStatus || v.status == status::Good;
  return goodStatus && !v.hasServerTimestamp && !v.hasServerPicoseconds;
}

}  // namespace

DataValue ServerCore::ReadAttribute(const Node& n, uint32_t attributeId,
                                    TimestampsToReturn ts) const {
  auto of = [](Variant v) { return DataValue::Of(std::move(v)); };
  switch (attributeId) {
    case kAttrNodeId: return of(n.id);
    case kAttrNodeClass: return of(static_cast<int32_t>(n.nodeClass));
    case kAttrBrowseName: return of(n.browseName);
    case kAttrDisplayName: return of(n.displayName);
    case kAttrDescription: return of(n.description);
    case kAttrWriteMask:
    case kAttrUserWriteMask: return of(uint32_t{0});
    case kAttrIsAbstract:
      if (IsType(n)) return of(n.isAbstract);
      break;
    case kAttrSymmetric:
      if (n.nodeClass == NodeClass::ReferenceType) return of(n.symmetric);
      break;
    case kAttrInverseName:
      if (n.nodeClass == NodeClass::ReferenceType) return of(n.inverseName);
      break;
    case kAttrEventNotifier:
      if (n.nodeClass == NodeClass::Object) return of(n.eventNotifier);
      break;
    case kAttrValue:
      if (IsVariableLike(n)) {
        if (!(n.accessLevel & kAccessRead)) return DataValue::Bad(status::BadNotReadable);
        DataValue v = n.valueSource ? n.valueSource() : n.value;
        if (!v.hasServerTimestamp) {
          v.hasServerTimestamp = true;
          v.serverTimestamp = clock_.Now();
        }
        ApplyTimestamps(v, ts);
        return v;
      }
      break;
    case kAttrDataType:
      if (IsVariableLike(n)) return of(n.dataType);
      break;
    case kAttrValueRank:
      if (IsVariableLike(n)) return of(n.valueRank);
      break;
    case kAttrArrayDimensions:
      if (IsVariableLike(n)) return of(Variant::Array(BuiltinType::UInt32, {}));
      break;
    case kAttrAccessLevel:
    case kAttrUserAccessLevel:
      if (n.nodeClass == NodeClass::Variable) return of(n.accessLevel);
      break;
    case kAttrMinimumSamplingInterval:
      if (n.nodeClass == NodeClass::Variable) return of(n.minimumSamplingInterval);
      break;
    case kAttrHistorizing:
      if (n.nodeClass == NodeClass::Variable) return of(n.history != nullptr);
      break;
    case kAttrExecutable:
    case kAttrUserExecutable:
      if (n.nodeClass == NodeClass::Method) return of(methods_.count(n.id) != 0);
      break;
    default:
      break;
  }
  return DataValue::Bad(status::BadAttributeIdInvalid);
}

void ServerCore::Read(Context& ctx, const ReadRequest& req, ReadResponse& resp) {
  if (!ValidTimestamps(req.timestampsToReturn)) {
    ctx.serviceResult = status::BadTimestampsToReturnInvalid;
    return;
  }
  if (req.maxAge < 0) {
    ctx.serviceResult = status::BadInvalidArgument;
    return;
  }
  if (req.nodesToRead.empty()) {
    ctx.serviceResult = status::BadNothingToDo;
    return;
  }
  if (req.nodesToRead.size() > config_.limits.maxNodesPerRequest) {
    ctx.serviceResult = status::BadTooManyOperations;
    return;
  }
  resp.results.reserve(req.nodesToRead.size());
  for (const auto& item : req.nodesToRead) {
    const Node* n = space_.Find(item.nodeId);
    if (!n) {
      resp.results.push_back(DataValue::Bad(status::BadNodeIdUnknown));
    } else if (!item.dataEncoding.name.empty() && item.dataEncoding.name != "Default Binary") {
      resp.results.push_back(DataValue::Bad(status::BadDataEncodingInvalid));
    } else if (!item.indexRange.empty()) {
      // Our values are scalars; a range into them selects nothing.
      resp.results.push_back(DataValue::Bad(status::BadIndexRangeNoData));
    } else {
      DataValue v = ReadAttribute(*n, item.attributeId, req.timestampsToReturn);
      // What this session may do, not what the variable or method allows.
      if (item.attributeId == kAttrUserAccessLevel && v.status.IsGood() &&
          !MayWrite(*ctx.session, config_.security))
        if (auto* level = std::get_if<uint8_t>(&v.value.scalar))
          *level = static_cast<uint8_t>(*level & ~kAccessWrite);
      if (item.attributeId == kAttrUserExecutable && v.status.IsGood())
        v.value = Variant(MayCall(*ctx.session, n->id));
      resp.results.push_back(std::move(v));
    }
  }
}

void ServerCore::Write(Context& ctx, const WriteRequest& req, WriteResponse& resp) {
  if (req.nodesToWrite.empty()) {
    ctx.serviceResult = status::BadNothingToDo;
    return;
  }
  if (req.nodesToWrite.size() > config_.limits.maxNodesPerRequest) {
    ctx.serviceResult = status::BadTooManyOperations;
    return;
  }
  for (const auto& item : req.nodesToWrite) {
    Node* n = space_.Find(item.nodeId);
    StatusCode result = status::Good;
    if (!n) {
      result = status::BadNodeIdUnknown;
    } else if (item.attributeId != kAttrValue) {
      bool exists = ReadAttribute(*n, item.attributeId, TimestampsToReturn::Neither).status.IsGood();
      result = exists ? status::BadNotWritable : status::BadAttributeIdInvalid;
    } else if (n->nodeClass != NodeClass::Variable || !(n->accessLevel & kAccessWrite) ||
               n->appHandle < 0) {
      result = status::BadNotWritable;
    } else if (!MayWrite(*ctx.session, config_.security)) {
      result = status::BadUserAccessDenied;
    } else if (!item.indexRange.empty()) {
      result = status::BadWriteNotSupported;
    } else if (!item.value.hasValue || item.value.value.IsEmpty() || item.value.value.isArray) {
      result = status::BadTypeMismatch;
    } else if (!WritableParts(item.value)) {
      result = status::BadWriteNotSupported;
    } else if (Encode(item.value.value).size() > config_.limits.maxWrittenValueBytes) {
      result = status::BadOutOfRange;  // every monitored item would keep copies of it
    } else {
      Variant value = item.value.value;
      if (writeCallback_)
        result = writeCallback_(static_cast<uint32_t>(n->appHandle), n->id, value);
      if (result.IsGood()) {
        DateTime now = clock_.Now();
        n->value = DataValue::Of(std::move(value));
        n->value.hasStatus = true;
        n->value.hasSourceTimestamp = n->value.hasServerTimestamp = true;
        n->value.sourceTimestamp =
            item.value.hasSourceTimestamp ? item.value.sourceTimestamp : now;
        n->value.serverTimestamp = now;
        NotifyValueChange(*n);
      }
    }
    resp.results.push_back(result);
  }
}

void ServerCore::ApplyUpdates(std::vector<ValueUpdate>& updates) {
  DateTime now = clock_.Now();
  int64_t nowMs = clock_.MonotonicMs();
  // The values of each variable in batch order, so that each monitored item
  // takes its variable's values in one go and can skip those it would drop.
  const size_t variables = appVariables_.size();
  batchStarts_.assign(variables + 1, 0);
  for (const auto& u : updates)
    if (u.handle < variables) ++batchStarts_[u.handle + 1];
  for (size_t h = 0; h < variables; ++h) batchStarts_[h + 1] += batchStarts_[h];
  batchValues_.resize(batchStarts_[variables]);
  batchFill_.assign(batchStarts_.begin(), batchStarts_.end() - 1);
  for (auto& u : updates) {
    if (u.handle >= variables) continue;
    u.value.hasServerTimestamp = true;
    u.value.serverTimestamp = now;
    batchValues_[batchFill_[u.handle]++] = &u.value;
  }
  for (size_t h = 0; h < variables; ++h) {
    const size_t begin = batchStarts_[h], end = batchStarts_[h + 1];
    if (begin == end) continue;
    std::span<DataValue* const> values(batchValues_.data() + begin, end - begin);
    Node& n = *appVariables_[h];
    for (MonitoredItem* item : n.monitors) EnqueueBatch(*item, values, nowMs);
    n.value = std::move(*values.back());
  }
}

void ServerCore::NotifyValueChange(Node& node) {
  for (MonitoredItem* item : node.monitors) Enqueue(*item, node.value);
}

}  // namespace opcua
