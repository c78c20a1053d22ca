// Call: the methods the stack answers itself.

#include "opcua/ServerCoreInternal.h"

namespace opcua {

void ServerCore::Call(Context& ctx, const CallRequest& req, CallResponse& resp) {
  if (!CheckOperationCount(ctx, req.methodsToCall.size())) return;
  for (const auto& call : req.methodsToCall) {
    CallMethodResult result;
    if (!CallStackMethod(*ctx.session, call.objectId, call.methodId, call.inputArguments,
                         result.outputArguments, result.statusCode))
      result.statusCode = space_.Find(call.objectId) ? status::BadMethodInvalid : status::BadNodeIdUnknown;
    resp.results.push_back(std::move(result));
  }
}

}  // namespace opcua
