#pragma once
// The structures of the HistoryRead service, with the numeric ids of their
// binary encodings where they travel in a message body or an ExtensionObject.

#include <vector>

#include "opcua/ServiceTypes.h"

namespace opcua {

struct HistoryReadValueId {
  NodeId nodeId;
  std::string indexRange;
  QualifiedName dataEncoding;
  ByteString continuationPoint;
  QX_UA_FIELDS(nodeId, indexRange, dataEncoding, continuationPoint)
};

struct HistoryReadRequest {
  static constexpr uint32_t kTypeId = 664;
  RequestHeader requestHeader;
  ExtensionObject historyReadDetails;
  TimestampsToReturn timestampsToReturn = TimestampsToReturn::Source;
  bool releaseContinuationPoints = false;
  std::vector<HistoryReadValueId> nodesToRead;
  QX_UA_FIELDS(requestHeader, historyReadDetails, timestampsToReturn, releaseContinuationPoints,
               nodesToRead)
};

struct HistoryReadResult {
  StatusCode statusCode;
  ByteString continuationPoint;
  ExtensionObject historyData;
  QX_UA_FIELDS(statusCode, continuationPoint, historyData)
};

struct HistoryReadResponse {
  static constexpr uint32_t kTypeId = 667;
  ResponseHeader responseHeader;
  std::vector<HistoryReadResult> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(responseHeader, results, diagnosticInfos)
};

// A DateTime of 0 stands for a time not given.
struct ReadRawModifiedDetails {
  static constexpr uint32_t kTypeId = 649;
  bool isReadModified = false;
  DateTime startTime;
  DateTime endTime;
  uint32_t numValuesPerNode = 0;
  bool returnBounds = false;
  QX_UA_FIELDS(isReadModified, startTime, endTime, numValuesPerNode, returnBounds)
};

struct AggregateConfiguration {
  bool useServerCapabilitiesDefaults = true;
  bool treatUncertainAsBad = true;
  uint8_t percentDataBad = 100;
  uint8_t percentDataGood = 100;
  bool useSlopedExtrapolation = false;
  QX_UA_FIELDS(useServerCapabilitiesDefaults, treatUncertainAsBad, percentDataBad,
               percentDataGood, useSlopedExtrapolation)
};

struct ReadProcessedDetails {
  static constexpr uint32_t kTypeId = 652;
  DateTime startTime;
  DateTime endTime;
  double processingInterval = 0;  // milliseconds; 0: one interval for the whole range
  std::vector<NodeId> aggregateType;
  AggregateConfiguration aggregateConfiguration;
  QX_UA_FIELDS(startTime, endTime, processingInterval, aggregateType, aggregateConfiguration)
};

struct HistoryData {
  static constexpr uint32_t kTypeId = 658;
  std::vector<DataValue> dataValues;
  QX_UA_FIELDS(dataValues)
};

// Details this server does not serve, told apart only to answer them.
inline constexpr uint32_t kReadEventDetailsTypeId = 646, kReadAtTimeDetailsTypeId = 655;

}  // namespace opcua
