#include "opcua/AddressSpace.h"

#include "opcua/NodeIds.h"

namespace opcua {

Node* AddressSpace::Find(const NodeId& id) {
  auto it = nodes_.find(id);
  return it == nodes_.end() ? nullptr : it->second.get();
}

const Node* AddressSpace::Find(const NodeId& id) const {
  auto it = nodes_.find(id);
  return it == nodes_.end() ? nullptr : it->second.get();
}

Node* AddressSpace::Add(Node node) {
  NodeId id = node.id;
  auto [it, inserted] = nodes_.emplace(id, nullptr);
  if (!inserted) return nullptr;
  it->second = std::make_unique<Node>(std::move(node));
  return it->second.get();
}

void AddressSpace::Link(const NodeId& source, uint32_t referenceType, const NodeId& target) {
  Link(source, NodeId(0, referenceType), target);
}

void AddressSpace::Link(const NodeId& source, const NodeId& referenceType, const NodeId& target) {
  if (Node* s = Find(source)) s->references.push_back({referenceType, true, target});
  if (Node* t = Find(target)) t->references.push_back({referenceType, false, source});
}

void AddressSpace::Unlink(const NodeId& source, const NodeId& referenceType,
                          const NodeId& target) {
  auto drop = [&](const NodeId& from, bool isForward, const NodeId& to) {
    Node* n = Find(from);
    if (!n) return;
    std::erase_if(n->references, [&](const Reference& r) {
      return r.isForward == isForward && r.typeId == referenceType && r.target == to;
    });
  };
  drop(source, true, target);
  drop(target, false, source);
}

NodeId AddressSpace::SuperType(const NodeId& type) const {
  const Node* node = Find(type);
  if (!node) return NodeId();
  for (const auto& r : node->references)
    if (!r.isForward && r.typeId == NodeId(0, ids::HasSubtype)) return r.target;
  return NodeId();
}

bool AddressSpace::IsSubtype(const NodeId& type, const NodeId& base) const {
  NodeId current = type;
  // Type hierarchies are shallow; the bound guards against a cycle.
  for (int depth = 0; depth < kMaxTypeDepth && !current.IsNull(); ++depth) {
    if (current == base) return true;
    current = SuperType(current);
  }
  return false;
}

NodeId AddressSpace::TypeDefinition(const Node& node) const {
  for (const auto& r : node.references)
    if (r.isForward && r.typeId == NodeId(0, ids::HasTypeDefinition)) return r.target;
  return NodeId();
}

}  // namespace opcua
