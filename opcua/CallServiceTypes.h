#pragma once
// The Call service on the wire.

#include <vector>

#include "opcua/ServiceTypes.h"

namespace opcua {

struct CallMethodRequest {
  NodeId objectId;
  NodeId methodId;
  std::vector<Variant> inputArguments;
  QX_UA_FIELDS(objectId, methodId, inputArguments)
};

struct CallMethodResult {
  StatusCode statusCode;
  std::vector<StatusCode> inputArgumentResults;
  std::vector<DiagnosticInfo> inputArgumentDiagnosticInfos;
  std::vector<Variant> outputArguments;
  QX_UA_FIELDS(statusCode, inputArgumentResults, inputArgumentDiagnosticInfos, outputArguments)
};

struct CallRequest {
  static constexpr uint32_t kTypeId = 712;
  RequestHeader requestHeader;
  std::vector<CallMethodRequest> methodsToCall;
  QX_UA_FIELDS(requestHeader, methodsToCall)
};

struct CallResponse {
  static constexpr uint32_t kTypeId = 715;
  ResponseHeader responseHeader;
  std::vector<CallMethodResult> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(responseHeader, results, diagnosticInfos)
};

}  // namespace opcua
