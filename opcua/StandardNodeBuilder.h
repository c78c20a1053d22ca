#pragma once
// Makes the standard nodes of namespace 0 (types, reference types, folders
// and the server object) from their numeric ids; used by the files that fill
// in the standard part of the address space.

#include "opcua/AddressSpace.h"
#include "opcua/NodeIds.h"

namespace opcua {

inline NodeId Std(uint32_t id) { return NodeId(0, id); }

class StandardNodeBuilder {
 public:
  explicit StandardNodeBuilder(AddressSpace& space) : space_(space) {}

  Node* Base(uint32_t id, NodeClass cls, const char* name) {
    Node n;
    n.id = Std(id);
    n.nodeClass = cls;
    n.browseName = {0, name};
    n.displayName = {"", name};
    return space_.Add(std::move(n));
  }
  void Object(uint32_t id, const char* name, uint32_t typeDef, uint32_t parent, uint32_t refType) {
    Base(id, NodeClass::Object, name);
    space_.Link(Std(id), ids::HasTypeDefinition, Std(typeDef));
    if (parent) space_.Link(Std(parent), refType, Std(id));
  }
  Node* Variable(uint32_t id, const char* name, uint32_t dataType, int32_t valueRank,
                 uint32_t parent, uint32_t refType, Variant value = {}) {
    Node* n = Base(id, NodeClass::Variable, name);
    n->dataType = Std(dataType);
    n->valueRank = valueRank;
    n->value = DataValue::Of(std::move(value));
    uint32_t typeDef = refType == ids::HasProperty ? ids::PropertyType : ids::BaseDataVariableType;
    space_.Link(Std(id), ids::HasTypeDefinition, Std(typeDef));
    space_.Link(Std(parent), refType, Std(id));
    return n;
  }
  void Type(uint32_t id, NodeClass cls, const char* name, uint32_t superType, bool isAbstract) {
    Node* n = Base(id, cls, name);
    n->isAbstract = isAbstract;
    if (cls == NodeClass::VariableType) {
      n->dataType = Std(ids::BaseDataType);
      n->valueRank = -2;
    }
    if (superType) space_.Link(Std(superType), ids::HasSubtype, Std(id));
  }
  void ReferenceType(uint32_t id, const char* name, uint32_t superType, const char* inverse,
                     bool isAbstract, bool symmetric = false) {
    Node* n = Base(id, NodeClass::ReferenceType, name);
    n->isAbstract = isAbstract;
    n->symmetric = symmetric;
    if (inverse) n->inverseName = {"", inverse};
    if (superType) space_.Link(Std(superType), ids::HasSubtype, Std(id));
  }
  void Encoding(uint32_t dataType, uint32_t id) {
    Base(id, NodeClass::Object, "Default Binary");
    space_.Link(Std(id), ids::HasTypeDefinition, Std(ids::DataTypeEncodingType));
    space_.Link(Std(dataType), ids::HasEncoding, Std(id));
  }
  void Organize(uint32_t folder, uint32_t id) { space_.Link(Std(folder), ids::Organizes, Std(id)); }

 protected:
  AddressSpace& space_;
};

}  // namespace opcua
