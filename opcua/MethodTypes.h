#pragma once
// The structures of the Call service and the Argument structure that
// describes a method's arguments in its InputArguments and OutputArguments
// properties.

#include <string>
#include <vector>

#include "opcua/ServiceTypes.h"

namespace opcua {

struct Argument {
  static constexpr uint32_t kTypeId = 298;
  std::string name;
  NodeId dataType;
  int32_t valueRank = -1;
  std::vector<uint32_t> arrayDimensions;
  LocalizedText description;
  QX_UA_FIELDS(name, dataType, valueRank, arrayDimensions, description)
};

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
