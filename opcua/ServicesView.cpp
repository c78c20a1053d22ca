// Browse, BrowseNext and TranslateBrowsePathsToNodeIds.

#include <algorithm>

#include "opcua/NodeIds.h"
#include "opcua/ServerCoreInternal.h"

namespace opcua {

namespace {

// Result mask bits of a BrowseDescription.
constexpr uint32_t kResultReferenceType = 0x01, kResultIsForward = 0x02, kResultNodeClass = 0x04,
                   kResultBrowseName = 0x08, kResultDisplayName = 0x10,
                   kResultTypeDefinition = 0x20;

bool DirectionMatches(BrowseDirection direction, bool isForward) {
  return direction == BrowseDirection::Both || (direction == BrowseDirection::Forward) == isForward;
}

}  // namespace

StatusCode ServerCore::CheckBrowse(const BrowseDescription& d) const {
  auto direction = static_cast<int32_t>(d.browseDirection);
  if (direction < 0 || direction > 2) return status::BadBrowseDirectionInvalid;
  if (!d.referenceTypeId.IsNull()) {
    const Node* type = space_.Find(d.referenceTypeId);
    if (!type || type->nodeClass != NodeClass::ReferenceType)
      return status::BadReferenceTypeIdInvalid;
  }
  if (!space_.Find(d.nodeId)) return status::BadNodeIdUnknown;
  return status::Good;
}

std::vector<ReferenceDescription> ServerCore::BrowseNode(const Node& node,
                                                         const BrowseDescription& d) const {
  std::vector<ReferenceDescription> out;
  for (const Reference& r : node.references) {
    if (!DirectionMatches(d.browseDirection, r.isForward)) continue;
    if (!d.referenceTypeId.IsNull()) {
      bool match = d.includeSubtypes ? space_.IsSubtype(r.typeId, d.referenceTypeId)
                                     : r.typeId == d.referenceTypeId;
      if (!match) continue;
    }
    const Node* target = space_.Find(r.target);
    if (!target) continue;
    if (d.nodeClassMask != 0 &&
        (d.nodeClassMask & static_cast<uint32_t>(target->nodeClass)) == 0)
      continue;
    ReferenceDescription rd;
    rd.nodeId.nodeId = target->id;
    if (d.resultMask & kResultReferenceType) rd.referenceTypeId = r.typeId;
    if (d.resultMask & kResultIsForward) rd.isForward = r.isForward;
    if (d.resultMask & kResultNodeClass) rd.nodeClass = target->nodeClass;
    if (d.resultMask & kResultBrowseName) rd.browseName = target->browseName;
    if (d.resultMask & kResultDisplayName) rd.displayName = target->displayName;
    if ((d.resultMask & kResultTypeDefinition) &&
        (target->nodeClass == NodeClass::Object || target->nodeClass == NodeClass::Variable))
      rd.typeDefinition.nodeId = space_.TypeDefinition(*target);
    out.push_back(std::move(rd));
  }
  return out;
}

BrowseResult ServerCore::PageBrowse(Session& s, std::vector<ReferenceDescription> refs,
                                    uint32_t max) {
  BrowseResult result;
  if (refs.size() <= max) {
    result.references = std::move(refs);
    return result;
  }
  if (s.continuations.size() >= config_.limits.maxContinuationPointsPerSession) {
    result.statusCode = status::BadNoContinuationPoints;
    return result;
  }
  BrowseContinuation rest;
  rest.remaining.assign(std::make_move_iterator(refs.begin() + max),
                        std::make_move_iterator(refs.end()));
  rest.maxPerResponse = max;
  refs.resize(max);
  std::string point = std::to_string(nextContinuationPoint_++);
  s.continuations.emplace(point, std::move(rest));
  result.references = std::move(refs);
  result.continuationPoint = ByteString(point);
  return result;
}

void ServerCore::Browse(Context& ctx, const BrowseRequest& req, BrowseResponse& resp) {
  if (!req.view.viewId.IsNull()) {
    ctx.serviceResult = status::BadViewIdUnknown;
    return;
  }
  if (req.nodesToBrowse.empty()) {
    ctx.serviceResult = status::BadNothingToDo;
    return;
  }
  if (req.nodesToBrowse.size() > config_.limits.maxNodesPerRequest) {
    ctx.serviceResult = status::BadTooManyOperations;
    return;
  }
  uint32_t max = config_.limits.maxReferencesPerBrowse;
  if (req.requestedMaxReferencesPerNode != 0) max = std::min(max, req.requestedMaxReferencesPerNode);
  for (const auto& d : req.nodesToBrowse) {
    StatusCode check = CheckBrowse(d);
    if (!check.IsGood()) {
      resp.results.push_back(BrowseResult{check, {}, {}});
      continue;
    }
    resp.results.push_back(PageBrowse(*ctx.session, BrowseNode(*space_.Find(d.nodeId), d), max));
  }
}

void ServerCore::BrowseNext(Context& ctx, const BrowseNextRequest& req, BrowseNextResponse& resp) {
  if (req.continuationPoints.empty()) {
    ctx.serviceResult = status::BadNothingToDo;
    return;
  }
  Session& s = *ctx.session;
  for (const auto& point : req.continuationPoints) {
    auto it = s.continuations.find(point.data);
    if (it == s.continuations.end()) {
      resp.results.push_back(BrowseResult{status::BadContinuationPointInvalid, {}, {}});
      continue;
    }
    BrowseContinuation rest = std::move(it->second);
    s.continuations.erase(it);
    if (req.releaseContinuationPoints) {
      resp.results.emplace_back();
      continue;
    }
    resp.results.push_back(PageBrowse(s, std::move(rest.remaining), rest.maxPerResponse));
  }
}

void ServerCore::TranslateBrowsePaths(Context& ctx, const TranslateBrowsePathsToNodeIdsRequest& req,
                                      TranslateBrowsePathsToNodeIdsResponse& resp) {
  if (req.browsePaths.empty()) {
    ctx.serviceResult = status::BadNothingToDo;
    return;
  }
  if (req.browsePaths.size() > config_.limits.maxNodesPerRequest) {
    ctx.serviceResult = status::BadTooManyOperations;
    return;
  }
  for (const auto& path : req.browsePaths) {
    BrowsePathResult result;
    if (!space_.Find(path.startingNode)) {
      result.statusCode = status::BadNodeIdUnknown;
    } else if (path.relativePath.elements.empty()) {
      result.statusCode = status::BadNothingToDo;
    } else {
      std::vector<NodeId> current{path.startingNode};
      for (const auto& element : path.relativePath.elements) {
        if (element.targetName.name.empty()) {
          result.statusCode = status::BadBrowseNameInvalid;
          break;
        }
        BrowseDescription d;
        d.browseDirection = element.isInverse ? BrowseDirection::Inverse : BrowseDirection::Forward;
        d.referenceTypeId = element.referenceTypeId;
        d.includeSubtypes = element.includeSubtypes;
        std::vector<NodeId> next;
        for (const NodeId& id : current)
          for (const auto& rd : BrowseNode(*space_.Find(id), d)) {
            const Node* target = space_.Find(rd.nodeId.nodeId);
            if (target->browseName == element.targetName &&
                std::find(next.begin(), next.end(), target->id) == next.end())
              next.push_back(target->id);
          }
        current = std::move(next);
        if (current.empty()) break;
      }
      if (result.statusCode.IsGood()) {
        if (current.empty()) result.statusCode = status::BadNoMatch;
        for (const NodeId& id : current) result.targets.push_back({ExpandedNodeId{id, "", 0}, 0xFFFFFFFFu});
      }
    }
    resp.results.push_back(std::move(result));
  }
}

}  // namespace opcua
