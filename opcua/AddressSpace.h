#pragma once
// The nodes of the server and their references, held in one map. Only the
// server's own thread touches it once the server runs.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "opcua/ServiceTypes.h"

namespace opcua {

enum AttributeId : uint32_t {
  kAttrNodeId = 1, kAttrNodeClass, kAttrBrowseName, kAttrDisplayName, kAttrDescription,
  kAttrWriteMask, kAttrUserWriteMask, kAttrIsAbstract, kAttrSymmetric, kAttrInverseName,
  kAttrContainsNoLoops, kAttrEventNotifier, kAttrValue, kAttrDataType, kAttrValueRank,
  kAttrArrayDimensions, kAttrAccessLevel, kAttrUserAccessLevel, kAttrMinimumSamplingInterval,
  kAttrHistorizing, kAttrExecutable, kAttrUserExecutable
};
inline constexpr uint8_t kAccessRead = 0x01, kAccessWrite = 0x02, kAccessHistoryRead = 0x04;

struct Reference {
  NodeId typeId;
  bool isForward = true;
  NodeId target;
};

struct MonitoredItem;
class HistoryRing;

struct Node {
  NodeId id;
  NodeClass nodeClass = NodeClass::Object;
  QualifiedName browseName;
  LocalizedText displayName;
  LocalizedText description;
  std::vector<Reference> references;

  // Objects.
  uint8_t eventNotifier = 0;
  // Variables and variable types.
  DataValue value;
  NodeId dataType;
  int32_t valueRank = -1;
  uint8_t accessLevel = kAccessRead;
  double minimumSamplingInterval = 0;
  // Computed on every read instead of `value` (current time, status, ...).
  std::function<DataValue()> valueSource;
  // Index in the application's variables, or -1 for the server's own nodes.
  int64_t appHandle = -1;
  // The recorded values of a historized variable (Historizing true), or null.
  const HistoryRing* history = nullptr;
  // Monitored items watching this node's Value.
  std::vector<MonitoredItem*> monitors;
  // Event monitored items of this object (a notifier).
  std::vector<MonitoredItem*> eventMonitors;
  // Types.
  bool isAbstract = false;
  // Reference types.
  bool symmetric = false;
  LocalizedText inverseName;
};

// Deeper than any type hierarchy of the server; walks up a hierarchy stop
// there, so a cycle cannot hang them.
inline constexpr int kMaxTypeDepth = 32;

class AddressSpace {
 public:
  Node* Find(const NodeId& id);
  const Node* Find(const NodeId& id) const;
  // Adds a node; fails (nullptr) if its id is taken.
  Node* Add(Node node);
  // Adds a forward reference from `source` and the inverse one on `target`.
  void Link(const NodeId& source, uint32_t referenceType, const NodeId& target);
  void Link(const NodeId& source, const NodeId& referenceType, const NodeId& target);
  // Removes a reference added with Link, both its directions.
  void Unlink(const NodeId& source, const NodeId& referenceType, const NodeId& target);
  // The type `type` is a subtype of, or a null id for a root type.
  NodeId SuperType(const NodeId& type) const;
  // True if `type` is `base` or one of its subtypes (following HasSubtype).
  bool IsSubtype(const NodeId& type, const NodeId& base) const;
  // The type definition of an object or variable, or a null id.
  NodeId TypeDefinition(const Node& node) const;
  size_t Size() const { return nodes_.size(); }

 private:
  std::unordered_map<NodeId, std::unique_ptr<Node>, NodeIdHash> nodes_;
};

// What the standard nodes show about this server.
struct ServerDescription {
  std::string applicationUri;
  std::string productUri;
  std::string applicationName;
  std::string productName;
  std::string manufacturerName;
  std::string softwareVersion;
  std::string buildNumber;
  uint32_t maxNodesPerRequest = 0;
  uint16_t maxContinuationPoints = 0;
  uint32_t maxHistoryValuesPerNode = 0;
  uint16_t maxHistoryContinuationPoints = 0;
};

// Fills `space` with Root, Objects, Types, Views, the Server object and the
// types and reference types clients follow. `namespaces` is read each time
// the NamespaceArray is read; `now` gives the current time.
void AddStandardNodes(AddressSpace& space, const ServerDescription& description,
                      std::function<std::vector<std::string>()> namespaces,
                      std::function<DateTime()> now, DateTime startTime);

}  // namespace opcua
