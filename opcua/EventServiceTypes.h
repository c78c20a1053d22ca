#pragma once
// The structures of event monitoring on the wire: the EventFilter a client
// sends with an event monitored item, the EventFilterResult it gets back,
// and the EventNotificationList a Publish response carries.

#include <string>
#include <vector>

#include "opcua/EventNodeIds.h"
#include "opcua/ServiceTypes.h"

namespace opcua {

enum class FilterOperator : int32_t {
  Equals = 0, IsNull = 1, GreaterThan = 2, LessThan = 3, GreaterThanOrEqual = 4,
  LessThanOrEqual = 5, Like = 6, Not = 7, Between = 8, InList = 9, And = 10, Or = 11,
  Cast = 12, InView = 13, OfType = 14, RelatedTo = 15, BitwiseAnd = 16, BitwiseOr = 17
};

// A field of an event: the browse path from an event type to one of its
// variables (empty with attribute NodeId: the condition object itself).
struct SimpleAttributeOperand {
  static constexpr uint32_t kTypeId = ids::SimpleAttributeOperand_Encoding;
  NodeId typeDefinitionId;
  std::vector<QualifiedName> browsePath;
  uint32_t attributeId = 13;
  std::string indexRange;
  QX_UA_FIELDS(typeDefinitionId, browsePath, attributeId, indexRange)
};

struct LiteralOperand {
  static constexpr uint32_t kTypeId = ids::LiteralOperand_Encoding;
  Variant value;
  QX_UA_FIELDS(value)
};

struct ElementOperand {
  static constexpr uint32_t kTypeId = ids::ElementOperand_Encoding;
  uint32_t index = 0;
  QX_UA_FIELDS(index)
};

struct ContentFilterElement {
  FilterOperator filterOperator = FilterOperator::Equals;
  std::vector<ExtensionObject> filterOperands;  // LiteralOperand, ElementOperand, ...
  QX_UA_FIELDS(filterOperator, filterOperands)
};

struct ContentFilter {
  std::vector<ContentFilterElement> elements;
  QX_UA_FIELDS(elements)
};

struct EventFilter {
  static constexpr uint32_t kTypeId = ids::EventFilter_Encoding;
  std::vector<SimpleAttributeOperand> selectClauses;
  ContentFilter whereClause;
  QX_UA_FIELDS(selectClauses, whereClause)
};

struct ContentFilterElementResult {
  StatusCode statusCode;
  std::vector<StatusCode> operandStatusCodes;
  std::vector<DiagnosticInfo> operandDiagnosticInfos;
  QX_UA_FIELDS(statusCode, operandStatusCodes, operandDiagnosticInfos)
};

struct ContentFilterResult {
  std::vector<ContentFilterElementResult> elementResults;
  std::vector<DiagnosticInfo> elementDiagnosticInfos;
  QX_UA_FIELDS(elementResults, elementDiagnosticInfos)
};

struct EventFilterResult {
  static constexpr uint32_t kTypeId = ids::EventFilterResult_Encoding;
  std::vector<StatusCode> selectClauseResults;
  std::vector<DiagnosticInfo> selectClauseDiagnosticInfos;
  ContentFilterResult whereClauseResult;
  QX_UA_FIELDS(selectClauseResults, selectClauseDiagnosticInfos, whereClauseResult)
};

// One event as a monitored item reports it: the values of its select
// clauses, in their order.
struct EventFieldList {
  uint32_t clientHandle = 0;
  std::vector<Variant> eventFields;
  QX_UA_FIELDS(clientHandle, eventFields)
};

struct EventNotificationList {
  static constexpr uint32_t kTypeId = ids::EventNotificationList_Encoding;
  std::vector<EventFieldList> events;
  QX_UA_FIELDS(events)
};

}  // namespace opcua
