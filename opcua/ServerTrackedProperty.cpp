// Properties whose values the application changes after Start().
#include <algorithm>

#include "opcua/NodeIds.h"
#include "opcua/ServerCore.h"

namespace opcua {

bool ServerCore::TrackProperty(const NodeId& node, const std::string& name, uint32_t& handle,
                               std::string& error) {
  // A property's id is "<owner>.<name>" in its owner's namespace.
  const std::string base = node.type == IdType::String ? node.text : node.ToString();
  Node* property = space_.Find(NodeId(node.ns, base + "." + name));
  const bool ownProperty =
      property && std::any_of(property->references.begin(), property->references.end(),
                              [&](const Reference& r) {
                                return !r.isForward && r.target == node &&
                                       r.typeId == NodeId(0, ids::HasProperty);
                              });
  if (!ownProperty) {
    error = "property " + name + " of " + node.ToString() + " does not exist";
    return false;
  }
  if (property->appHandle < 0) {
    property->appHandle = static_cast<int64_t>(appVariables_.size());
    appVariables_.push_back(property);
  }
  handle = static_cast<uint32_t>(property->appHandle);
  return true;
}

}  // namespace opcua
