#pragma once
// Methods an application offers on its objects: the declared arguments and
// the callback that runs a client's Call.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "opcua/Types.h"

namespace opcua {

// One input or output argument of a method.
struct MethodArgument {
  std::string name;
  NodeId dataType;  // NodeId(0, ids::Double), NodeId(0, ids::Int32), NodeId(0, ids::ByteString), ...
  LocalizedText description;
  int32_t valueRank = -1;  // scalar
};

// A client's call of an application method, as its callback sees it.
struct MethodCall {
  NodeId objectId;
  NodeId methodId;
  std::vector<Variant> inputs;
  std::string identity;  // the session's identity ("anonymous" or the user name)
};

// Runs on the server thread for a Call of an application method. The stack
// has already checked that the method exists on that object, that the
// caller may write (the same rule as Write; otherwise BadUserAccessDenied)
// and that the inputs match the declared arguments in number
// (BadArgumentsMissing / BadTooManyArguments) and type (BadInvalidArgument
// with BadTypeMismatch in inputArgumentResults). A Double argument accepts
// only Double; NaN and infinity reach the callback, which refuses them.
// Returns the method's status (BadInvalidState, BadOutOfRange, ...);
// `outputs` must match the declared output arguments when Good.
using MethodCallback = std::function<StatusCode(const MethodCall& call, std::vector<Variant>& outputs)>;

}  // namespace opcua
