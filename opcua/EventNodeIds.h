#pragma once
// Numeric identifiers of the standard event and condition nodes (namespace
// 0) this server holds: the types clients browse and name in event filters,
// their fields, the methods of conditions, and the encodings of the event
// structures.

#include <cstdint>

namespace opcua::ids {

// Event types and their fields.
inline constexpr uint32_t BaseEventType = 2041, BaseEventType_EventId = 2042,
                          BaseEventType_EventType = 2043, BaseEventType_SourceNode = 2044,
                          BaseEventType_SourceName = 2045, BaseEventType_Time = 2046,
                          BaseEventType_ReceiveTime = 2047, BaseEventType_Message = 2050,
                          BaseEventType_Severity = 2051, SystemEventType = 2130,
                          RefreshStartEventType = 2787, RefreshEndEventType = 2788,
                          EventQueueOverflowEventType = 3035;

// Condition types, their fields and methods.
inline constexpr uint32_t ConditionType = 2782, ConditionType_ConditionClassId = 11112,
                          ConditionType_ConditionClassName = 11113,
                          ConditionType_ConditionName = 9009, ConditionType_BranchId = 9010,
                          ConditionType_Retain = 3874, ConditionType_EnabledState = 9011,
                          ConditionType_EnabledState_Id = 9012, ConditionType_Quality = 9020,
                          ConditionType_LastSeverity = 9022, ConditionType_Comment = 9024,
                          ConditionType_ClientUserId = 9026,
                          ConditionType_ConditionRefresh = 3875;
inline constexpr uint32_t AcknowledgeableConditionType = 2881,
                          AcknowledgeableConditionType_AckedState = 9093,
                          AcknowledgeableConditionType_AckedState_Id = 9094,
                          AcknowledgeableConditionType_ConfirmedState = 9102,
                          AcknowledgeableConditionType_ConfirmedState_Id = 9103,
                          AcknowledgeableConditionType_Acknowledge = 9111,
                          AcknowledgeableConditionType_Confirm = 9113;
inline constexpr uint32_t AlarmConditionType = 2915, AlarmConditionType_ActiveState = 9160,
                          AlarmConditionType_ActiveState_Id = 9161,
                          AlarmConditionType_InputNode = 11120,
                          AlarmConditionType_SuppressedOrShelved = 9215;
inline constexpr uint32_t LimitAlarmType = 2955, LimitAlarmType_HighHighLimit = 11124,
                          LimitAlarmType_HighLimit = 11125, LimitAlarmType_LowLimit = 11126,
                          LimitAlarmType_LowLowLimit = 11127;
inline constexpr uint32_t ExclusiveLimitAlarmType = 9341, ExclusiveLimitAlarmType_LimitState = 9455,
                          ExclusiveLimitAlarmType_LimitState_CurrentState = 9456,
                          ExclusiveLimitAlarmType_LimitState_CurrentState_Id = 9457,
                          ExclusiveLevelAlarmType = 9482, ExclusiveDeviationAlarmType = 9764,
                          ExclusiveDeviationAlarmType_SetpointNode = 9905,
                          DiscreteAlarmType = 10523, OffNormalAlarmType = 10637,
                          OffNormalAlarmType_NormalState = 11158;
inline constexpr uint32_t BaseConditionClassType = 11163, ProcessConditionClassType = 11164;

// State machines and state variables.
inline constexpr uint32_t StateMachineType = 2299, StateType = 2307, FiniteStateMachineType = 2771,
                          ExclusiveLimitStateMachineType = 9318,
                          ExclusiveLimitStateMachineType_HighHigh = 9329,
                          ExclusiveLimitStateMachineType_High = 9331,
                          ExclusiveLimitStateMachineType_Low = 9333,
                          ExclusiveLimitStateMachineType_LowLow = 9335;
inline constexpr uint32_t StateVariableType = 2755, StateVariableType_Id = 2756,
                          FiniteStateVariableType = 2760, FiniteStateVariableType_Id = 2761,
                          TwoStateVariableType = 8995, TwoStateVariableType_Id = 8996,
                          ConditionVariableType = 9002;

// Reference types.
inline constexpr uint32_t HasCondition = 9006;

// Binary encodings of the event structures.
inline constexpr uint32_t ContentFilterElement_Encoding = 585, ContentFilter_Encoding = 588,
                          ElementOperand_Encoding = 594, LiteralOperand_Encoding = 597,
                          AttributeOperand_Encoding = 600, SimpleAttributeOperand_Encoding = 603,
                          ContentFilterElementResult_Encoding = 606,
                          ContentFilterResult_Encoding = 609, EventFilter_Encoding = 727,
                          EventFilterResult_Encoding = 736, EventNotificationList_Encoding = 916,
                          EventFieldList_Encoding = 919;

}  // namespace opcua::ids
