// Call, and the method nodes it runs.

#include "opcua/NodeIds.h"
#include "opcua/ServerCoreInternal.h"

namespace opcua {

namespace {

// The value of an InputArguments or OutputArguments property.
Variant ArgumentsValue(const std::vector<MethodArgument>& arguments) {
  std::vector<Scalar> structures;
  for (const MethodArgument& a : arguments)
    structures.emplace_back(Wrap(Argument{a.name, a.dataType, a.valueRank, {}, a.description}));
  return Variant::Array(BuiltinType::ExtensionObject, std::move(structures));
}

bool RankMatches(const Variant& value, int32_t valueRank) {
  const size_t dimensions = !value.isArray ? 0 : value.dimensions.empty() ? 1 : value.dimensions.size();
  switch (valueRank) {
    case -3: return dimensions <= 1;  // scalar or one dimension
    case -2: return true;             // scalar or any array
    case -1: return dimensions == 0;
    case 0: return dimensions >= 1;   // an array of any dimensions
    default: return valueRank > 0 && dimensions == static_cast<size_t>(valueRank);
  }
}

// The identity an application sees: "anonymous" or the user name.
std::string CallerIdentity(const Session& s) {
  constexpr std::string_view kUserPrefix = "user:";
  return s.identity.rfind(kUserPrefix, 0) == 0 ? s.identity.substr(kUserPrefix.size())
                                               : s.identity;
}

}  // namespace

bool ServerCore::ArgumentMatches(const Variant& value, const MethodArgument& declared) const {
  if (!RankMatches(value, declared.valueRank)) return false;
  // The built-in type that carries values of the data type: its own for a
  // built-in data type (or one derived from it, as Duration from Double),
  // Int32 for an enumeration, ExtensionObject for a structure; any for
  // BaseDataType and the abstract number types below it.
  NodeId type = declared.dataType;
  for (int depth = 0; depth < kMaxTypeDepth && !type.IsNull(); ++depth) {
    if (type.ns == 0 && type.type == IdType::Numeric) {
      const uint32_t id = type.numeric;
      if (id >= ids::Boolean && id <= ids::LocalizedText)
        return value.Type() == static_cast<BuiltinType>(id);
      if (id == ids::Structure) return value.Type() == BuiltinType::ExtensionObject;
      if (id == ids::Enumeration) return value.Type() == BuiltinType::Int32;
      if (id == ids::BaseDataType) return !value.IsEmpty();
    }
    type = space_.SuperType(type);
  }
  return false;  // a data type this server does not know
}

bool ServerCore::AddInternalMethod(const NodeId& parent, const NodeId& id, const std::string& name,
                                   std::vector<MethodArgument> inputs,
                                   std::vector<MethodArgument> outputs, MethodAccess access,
                                   MethodHandler handler, std::string& error) {
  const Node* owner = space_.Find(parent);
  if (!owner || (owner->nodeClass != NodeClass::Object && owner->nodeClass != NodeClass::ObjectType)) {
    error = "object " + parent.ToString() + " of method " + id.ToString() + " does not exist";
    return false;
  }
  if (!handler) {
    error = "method " + id.ToString() + " has nothing to run it";
    return false;
  }
  for (const auto* list : {&inputs, &outputs})
    for (const MethodArgument& a : *list) {
      const Node* type = space_.Find(a.dataType);
      if (!type || type->nodeClass != NodeClass::DataType) {
        error = "argument " + a.name + " of method " + id.ToString() + " has the type " +
                a.dataType.ToString() + ", which is not a data type";
        return false;
      }
    }
  // Every node the method needs is checked free first, so a refusal leaves
  // nothing behind.
  for (const NodeId& taken : {id, PropertyId(id, "InputArguments"), PropertyId(id, "OutputArguments")})
    if (space_.Find(taken)) {
      error = "node " + taken.ToString() + " for method " + id.ToString() + " already exists";
      return false;
    }
  Node n;
  n.id = id;
  n.nodeClass = NodeClass::Method;
  n.browseName = {id.ns, name};
  n.displayName = {"", name};
  space_.Add(std::move(n));
  space_.Link(parent, ids::HasComponent, id);
  const DateTime now = clock_.Now();
  if (!inputs.empty())
    PutProperty(id, "InputArguments", ConstantValue(ArgumentsValue(inputs), now),
                NodeId(0, ids::Argument), 1, false, error);
  if (!outputs.empty())
    PutProperty(id, "OutputArguments", ConstantValue(ArgumentsValue(outputs), now),
                NodeId(0, ids::Argument), 1, false, error);
  methods_[id] = MethodEntry{std::move(inputs), std::move(outputs), access, std::move(handler)};
  return true;
}

bool ServerCore::AddMethod(const NodeId& object, const NodeId& id, const std::string& name,
                           std::vector<MethodArgument> inputs, std::vector<MethodArgument> outputs,
                           MethodCallback callback, std::string& error) {
  const Node* owner = space_.Find(object);
  if (!owner || owner->nodeClass != NodeClass::Object) {
    error = "object " + object.ToString() + " of method " + id.ToString() + " does not exist";
    return false;
  }
  if (!callback) {
    error = "method " + id.ToString() + " has no callback";
    return false;
  }
  // The application's outputs are checked against its declaration, so a
  // client never gets values of other types than the method says.
  auto run = [this, id, callback = std::move(callback)](Context& ctx, const CallMethodRequest& req,
                                                        std::vector<Variant>& out) {
    MethodCall call{req.objectId, req.methodId, req.inputArguments, CallerIdentity(*ctx.session)};
    StatusCode result = callback(call, out);
    if (!result.IsGood()) return result;
    const std::vector<MethodArgument>& declared = methods_.at(id).outputs;
    bool matches = out.size() == declared.size();
    for (size_t i = 0; matches && i < out.size(); ++i) matches = ArgumentMatches(out[i], declared[i]);
    return matches ? result : status::BadInternalError;
  };
  return AddInternalMethod(object, id, name, std::move(inputs), std::move(outputs),
                           MethodAccess::Writers, std::move(run), error);
}

bool ServerCore::MayCall(const Session& session, const NodeId& method) const {
  auto entry = methods_.find(method);
  return entry != methods_.end() && (entry->second.access == MethodAccess::Everyone ||
                                     MayWrite(session, config_.security));
}

bool ServerCore::IsMethodOf(const Node& object, const NodeId& method) const {
  const Node* m = space_.Find(method);
  if (!m || m->nodeClass != NodeClass::Method) return false;
  const NodeId type =
      object.nodeClass == NodeClass::ObjectType ? object.id : space_.TypeDefinition(object);
  for (const Reference& r : m->references)
    if (!r.isForward && r.typeId == NodeId(0, ids::HasComponent) &&
        (r.target == object.id || space_.IsSubtype(type, r.target)))
      return true;
  return false;
}

CallMethodResult ServerCore::CallMethod(Context& ctx, const CallMethodRequest& call) {
  CallMethodResult result;
  const Node* object = space_.Find(call.objectId);
  auto entry = methods_.find(call.methodId);
  if (call.objectId.IsNull()) {
    result.statusCode = status::BadNodeIdInvalid;
  } else if (!object) {
    result.statusCode = status::BadNodeIdUnknown;
  } else if (entry == methods_.end()) {
    // The condition methods check their objects and arguments themselves.
    if (!CallStackMethod(*ctx.session, call.objectId, call.methodId, call.inputArguments,
                         result.outputArguments, result.statusCode))
      result.statusCode = status::BadMethodInvalid;
  } else if (object->nodeClass != NodeClass::Object && object->nodeClass != NodeClass::ObjectType) {
    result.statusCode = status::BadNodeIdInvalid;
  } else if (!IsMethodOf(*object, call.methodId)) {
    result.statusCode = status::BadMethodInvalid;
  } else if (!MayCall(*ctx.session, call.methodId)) {
    result.statusCode = status::BadUserAccessDenied;
  } else if (call.inputArguments.size() < entry->second.inputs.size()) {
    result.statusCode = status::BadArgumentsMissing;
  } else if (call.inputArguments.size() > entry->second.inputs.size()) {
    result.statusCode = status::BadTooManyArguments;
  } else {
    const std::vector<MethodArgument>& declared = entry->second.inputs;
    bool allMatch = true;
    std::vector<StatusCode> checks;
    for (size_t i = 0; i < declared.size(); ++i) {
      const bool matches = ArgumentMatches(call.inputArguments[i], declared[i]);
      checks.push_back(matches ? status::Good : status::BadTypeMismatch);
      allMatch = allMatch && matches;
    }
    if (!allMatch) {
      result.statusCode = status::BadInvalidArgument;
      result.inputArgumentResults = std::move(checks);
      return result;
    }
    std::vector<Variant> outputs;
    result.statusCode = entry->second.handler(ctx, call, outputs);
    if (result.statusCode.IsGood()) result.outputArguments = std::move(outputs);
  }
  return result;
}

void ServerCore::Call(Context& ctx, const CallRequest& req, CallResponse& resp) {
  if (!CheckOperationCount(ctx, req.methodsToCall.size())) return;
  resp.results.reserve(req.methodsToCall.size());
  for (const CallMethodRequest& call : req.methodsToCall) resp.results.push_back(CallMethod(ctx, call));
}

}  // namespace opcua
