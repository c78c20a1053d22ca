// Set-up of the application's objects and of the properties and type
// definitions of its nodes.

#include <algorithm>
#include <cmath>
#include <set>

#include "opcua/NodeIds.h"
#include "opcua/ServerCoreInternal.h"

namespace opcua {

namespace {

// Properties whose meaning is the standard one keep the standard browse
// name (namespace 0), so that clients find them by it; any other property
// is named in its owner's namespace.
bool IsStandardPropertyName(const std::string& name) {
  static const std::set<std::string> names{"EngineeringUnits", "EURange", "InstrumentRange",
                                           "EnumStrings", "EnumValues", "ValuePrecision",
                                           "Definition", "InputArguments", "OutputArguments"};
  return names.count(name) != 0;
}

}  // namespace

bool ServerCore::AddObject(const NodeId& parent, const NodeId& id, const std::string& name,
                           const NodeId& typeDefinition, uint8_t eventNotifier,
                           std::string& error) {
  const Node* parentNode = space_.Find(parent);
  if (!parentNode) {
    error = "parent " + parent.ToString() + " of object " + id.ToString() + " does not exist";
    return false;
  }
  const Node* type = space_.Find(typeDefinition);
  if (!type || type->nodeClass != NodeClass::ObjectType) {
    error = "type " + typeDefinition.ToString() + " of object " + id.ToString() +
            " is not an object type";
    return false;
  }
  // A folder organises what it holds; an object is made of its components.
  const bool inFolder = space_.IsSubtype(space_.TypeDefinition(*parentNode),
                                         NodeId(0, ids::FolderType));
  Node n;
  n.id = id;
  n.nodeClass = NodeClass::Object;
  n.browseName = {id.ns, name};
  n.displayName = {"", name};
  n.eventNotifier = eventNotifier;
  if (!space_.Add(std::move(n))) {
    error = "node " + id.ToString() + " already exists";
    return false;
  }
  space_.Link(id, ids::HasTypeDefinition, typeDefinition);
  space_.Link(parent, inFolder ? ids::Organizes : ids::HasComponent, id);
  return true;
}

Node* ServerCore::PutProperty(const NodeId& owner, const std::string& name,
                              const DataValue& value, const NodeId& dataType, int32_t valueRank,
                              bool replace, std::string& error) {
  if (!space_.Find(owner)) {
    error = "node " + owner.ToString() + " for property " + name + " does not exist";
    return nullptr;
  }
  const NodeId id = PropertyId(owner, name);
  if (Node* existing = space_.Find(id)) {
    // Only the owner's own property is replaced; a node of the application
    // that happens to have this id is left alone.
    const bool ownProperty = std::any_of(existing->references.begin(), existing->references.end(),
                                         [&](const Reference& r) {
                                           return !r.isForward && r.target == owner &&
                                                  r.typeId == NodeId(0, ids::HasProperty);
                                         });
    if (!ownProperty || !replace) {
      error = "node " + id.ToString() + " for property " + name + " of " + owner.ToString() +
              " already exists";
      return nullptr;
    }
    existing->value = value;
    return existing;
  }
  Node n;
  n.id = id;
  n.nodeClass = NodeClass::Variable;
  n.browseName = {IsStandardPropertyName(name) ? uint16_t{0} : owner.ns, name};
  n.displayName = {"", name};
  n.dataType = dataType;
  n.valueRank = valueRank;
  n.accessLevel = kAccessRead;
  n.value = value;
  Node* added = space_.Add(std::move(n));
  space_.Link(id, ids::HasTypeDefinition, NodeId(0, ids::PropertyType));
  space_.Link(owner, ids::HasProperty, id);
  return added;
}

bool ServerCore::AddProperty(const NodeId& node, const std::string& name, const Variant& value,
                             std::string& error, const NodeId& dataType) {
  if (name.empty() || value.IsEmpty()) {
    error = "property \"" + name + "\" of " + node.ToString() + " needs a name and a value";
    return false;
  }
  // A built-in type's id is its data type's; an ExtensionObject (22) is a
  // Structure (i=22).
  const NodeId type = dataType.IsNull() ? NodeId(0, static_cast<uint32_t>(value.Type())) : dataType;
  const int32_t rank = !value.isArray           ? -1
                       : value.dimensions.empty() ? 1
                                                  : static_cast<int32_t>(value.dimensions.size());
  return PutProperty(node, name, ConstantValue(value, clock_.Now()), type, rank, false, error) != nullptr;
}

bool ServerCore::SetEngineeringUnits(const NodeId& variable, const EUInformation& units,
                                     std::string& error) {
  const Node* owner = space_.Find(variable);
  if (!owner || owner->nodeClass != NodeClass::Variable) {
    error = "variable " + variable.ToString() + " for engineering units does not exist";
    return false;
  }
  return PutProperty(variable, "EngineeringUnits", ConstantValue(Wrap(units), clock_.Now()),
                     NodeId(0, ids::EUInformation), -1, true, error) != nullptr;
}

bool ServerCore::SetEURange(const NodeId& variable, double low, double high, std::string& error) {
  const Node* owner = space_.Find(variable);
  if (!owner || owner->nodeClass != NodeClass::Variable) {
    error = "variable " + variable.ToString() + " for an EURange does not exist";
    return false;
  }
  if (!std::isfinite(low) || !std::isfinite(high) || low > high) {
    error = "EURange of " + variable.ToString() + " from " + std::to_string(low) + " to " +
            std::to_string(high) + " is not a range";
    return false;
  }
  return PutProperty(variable, "EURange", ConstantValue(Wrap(Range{low, high}), clock_.Now()),
                     NodeId(0, ids::Range), -1, true, error) != nullptr;
}

bool ServerCore::SetTypeDefinition(const NodeId& node, const NodeId& typeDefinition,
                                   std::string& error) {
  const Node* n = space_.Find(node);
  if (!n || (n->nodeClass != NodeClass::Variable && n->nodeClass != NodeClass::Object)) {
    error = "variable or object " + node.ToString() + " for a type definition does not exist";
    return false;
  }
  const NodeClass wanted =
      n->nodeClass == NodeClass::Variable ? NodeClass::VariableType : NodeClass::ObjectType;
  const Node* type = space_.Find(typeDefinition);
  if (!type || type->nodeClass != wanted) {
    error = "type definition " + typeDefinition.ToString() + " of " + node.ToString() +
            " is not a " + (wanted == NodeClass::VariableType ? "variable" : "object") + " type";
    return false;
  }
  const NodeId hasTypeDefinition(0, ids::HasTypeDefinition);
  const NodeId old = space_.TypeDefinition(*n);
  if (!old.IsNull()) space_.Unlink(node, hasTypeDefinition, old);
  space_.Link(node, hasTypeDefinition, typeDefinition);
  return true;
}

}  // namespace opcua
