// The event and condition types of the standard model, as far as clients
// need them: to browse the type hierarchy, to name fields in event filters,
// and to find the condition methods (ConditionRefresh on ConditionType,
// Acknowledge and Confirm on AcknowledgeableConditionType).

#include "opcua/AddressSpace.h"
#include "opcua/EventNodeIds.h"
#include "opcua/EventTypes.h"
#include "opcua/NodeIds.h"
#include "opcua/StandardNodeBuilder.h"

namespace opcua {

namespace {

// The standard builder, with the declarations that event and condition types
// need besides: variable types with their data type, instance declarations,
// two-state variables and methods.
class TypeBuilder : public StandardNodeBuilder {
 public:
  explicit TypeBuilder(AddressSpace& space) : StandardNodeBuilder(space) {}

  void ObjectType(uint32_t id, const char* name, uint32_t superType, bool isAbstract) {
    Type(id, NodeClass::ObjectType, name, superType, isAbstract);
  }
  void VariableType(uint32_t id, const char* name, uint32_t superType, uint32_t dataType,
                    int32_t valueRank) {
    Node* n = Base(id, NodeClass::VariableType, name);
    n->dataType = Std(dataType);
    n->valueRank = valueRank;
    space_.Link(Std(superType), ids::HasSubtype, Std(id));
  }
  // An instance declaration: a property (typeDefinition PropertyType) or a
  // component variable of a type or of another declaration.
  void Variable(uint32_t id, const char* name, uint32_t parent, uint32_t dataType,
                uint32_t typeDefinition = ids::PropertyType) {
    Node* n = Base(id, NodeClass::Variable, name);
    n->dataType = Std(dataType);
    n->valueRank = -1;
    space_.Link(Std(id), ids::HasTypeDefinition, Std(typeDefinition));
    uint32_t ref = typeDefinition == ids::PropertyType ? ids::HasProperty : ids::HasComponent;
    space_.Link(Std(parent), ref, Std(id));
  }
  // A two-state variable with its Id property.
  void TwoState(uint32_t id, const char* name, uint32_t idProperty, uint32_t parent) {
    Variable(id, name, parent, ids::LocalizedText, ids::TwoStateVariableType);
    Variable(idProperty, "Id", id, ids::Boolean);
  }
  void Object(uint32_t id, const char* name, uint32_t parent, uint32_t typeDefinition) {
    StandardNodeBuilder::Object(id, name, typeDefinition, parent, ids::HasComponent);
  }
  void Method(uint32_t id, const char* name, uint32_t parent) {
    Base(id, NodeClass::Method, name);
    space_.Link(Std(parent), ids::HasComponent, Std(id));
  }
  void ReferenceType(uint32_t id, const char* name, uint32_t superType, const char* inverse) {
    StandardNodeBuilder::ReferenceType(id, name, superType, inverse, false);
  }
};

void AddEventTypes(TypeBuilder& b) {
  using namespace ids;
  b.ObjectType(BaseEventType, "BaseEventType", BaseObjectType, true);
  b.Variable(BaseEventType_EventId, "EventId", BaseEventType, ids::ByteString);
  b.Variable(BaseEventType_EventType, "EventType", BaseEventType, ids::NodeId);
  b.Variable(BaseEventType_SourceNode, "SourceNode", BaseEventType, ids::NodeId);
  b.Variable(BaseEventType_SourceName, "SourceName", BaseEventType, String);
  b.Variable(BaseEventType_Time, "Time", BaseEventType, UtcTime);
  b.Variable(BaseEventType_ReceiveTime, "ReceiveTime", BaseEventType, UtcTime);
  b.Variable(BaseEventType_Message, "Message", BaseEventType, ids::LocalizedText);
  b.Variable(BaseEventType_Severity, "Severity", BaseEventType, UInt16);
  b.ObjectType(SystemEventType, "SystemEventType", BaseEventType, true);
  b.ObjectType(RefreshStartEventType, "RefreshStartEventType", SystemEventType, true);
  b.ObjectType(RefreshEndEventType, "RefreshEndEventType", SystemEventType, true);
  b.ObjectType(EventQueueOverflowEventType, "EventQueueOverflowEventType", BaseEventType, true);
}

void AddStateTypes(TypeBuilder& b) {
  using namespace ids;
  b.VariableType(StateVariableType, "StateVariableType", BaseDataVariableType, ids::LocalizedText, -1);
  b.Variable(StateVariableType_Id, "Id", StateVariableType, BaseDataType);
  b.VariableType(TwoStateVariableType, "TwoStateVariableType", StateVariableType, ids::LocalizedText, -1);
  b.Variable(TwoStateVariableType_Id, "Id", TwoStateVariableType, Boolean);
  b.VariableType(FiniteStateVariableType, "FiniteStateVariableType", StateVariableType, ids::LocalizedText, -1);
  b.Variable(FiniteStateVariableType_Id, "Id", FiniteStateVariableType, ids::NodeId);
  b.VariableType(ConditionVariableType, "ConditionVariableType", BaseDataVariableType, BaseDataType, -2);
  b.ObjectType(StateMachineType, "StateMachineType", BaseObjectType, false);
  b.ObjectType(FiniteStateMachineType, "FiniteStateMachineType", StateMachineType, true);
  b.ObjectType(StateType, "StateType", BaseObjectType, false);
  b.ObjectType(ExclusiveLimitStateMachineType, "ExclusiveLimitStateMachineType", FiniteStateMachineType, false);
  b.Object(ExclusiveLimitStateMachineType_HighHigh, "HighHigh", ExclusiveLimitStateMachineType, StateType);
  b.Object(ExclusiveLimitStateMachineType_High, "High", ExclusiveLimitStateMachineType, StateType);
  b.Object(ExclusiveLimitStateMachineType_Low, "Low", ExclusiveLimitStateMachineType, StateType);
  b.Object(ExclusiveLimitStateMachineType_LowLow, "LowLow", ExclusiveLimitStateMachineType, StateType);
}

void AddConditionTypes(TypeBuilder& b) {
  using namespace ids;
  b.ObjectType(BaseConditionClassType, "BaseConditionClassType", BaseObjectType, true);
  b.ObjectType(ProcessConditionClassType, "ProcessConditionClassType", BaseConditionClassType, true);
  b.ReferenceType(HasCondition, "HasCondition", NonHierarchicalReferences, "IsConditionOf");

  b.ObjectType(ConditionType, "ConditionType", BaseEventType, true);
  b.Variable(ConditionType_ConditionClassId, "ConditionClassId", ConditionType, ids::NodeId);
  b.Variable(ConditionType_ConditionClassName, "ConditionClassName", ConditionType, ids::LocalizedText);
  b.Variable(ConditionType_ConditionName, "ConditionName", ConditionType, String);
  b.Variable(ConditionType_BranchId, "BranchId", ConditionType, ids::NodeId);
  b.Variable(ConditionType_Retain, "Retain", ConditionType, Boolean);
  b.TwoState(ConditionType_EnabledState, "EnabledState", ConditionType_EnabledState_Id, ConditionType);
  b.Variable(ConditionType_Quality, "Quality", ConditionType, ids::StatusCode, ConditionVariableType);
  b.Variable(ConditionType_LastSeverity, "LastSeverity", ConditionType, UInt16, ConditionVariableType);
  b.Variable(ConditionType_Comment, "Comment", ConditionType, ids::LocalizedText, ConditionVariableType);
  b.Variable(ConditionType_ClientUserId, "ClientUserId", ConditionType, String);
  b.Method(ConditionType_ConditionRefresh, "ConditionRefresh", ConditionType);

  b.ObjectType(AcknowledgeableConditionType, "AcknowledgeableConditionType", ConditionType, false);
  b.TwoState(AcknowledgeableConditionType_AckedState, "AckedState",
             AcknowledgeableConditionType_AckedState_Id, AcknowledgeableConditionType);
  b.TwoState(AcknowledgeableConditionType_ConfirmedState, "ConfirmedState",
             AcknowledgeableConditionType_ConfirmedState_Id, AcknowledgeableConditionType);
  b.Method(AcknowledgeableConditionType_Acknowledge, "Acknowledge", AcknowledgeableConditionType);
  b.Method(AcknowledgeableConditionType_Confirm, "Confirm", AcknowledgeableConditionType);

  b.ObjectType(AlarmConditionType, "AlarmConditionType", AcknowledgeableConditionType, false);
  b.TwoState(AlarmConditionType_ActiveState, "ActiveState", AlarmConditionType_ActiveState_Id,
             AlarmConditionType);
  b.Variable(AlarmConditionType_InputNode, "InputNode", AlarmConditionType, ids::NodeId);
  b.Variable(AlarmConditionType_SuppressedOrShelved, "SuppressedOrShelved", AlarmConditionType, Boolean);

  b.ObjectType(LimitAlarmType, "LimitAlarmType", AlarmConditionType, false);
  b.Variable(LimitAlarmType_HighHighLimit, "HighHighLimit", LimitAlarmType, Double);
  b.Variable(LimitAlarmType_HighLimit, "HighLimit", LimitAlarmType, Double);
  b.Variable(LimitAlarmType_LowLimit, "LowLimit", LimitAlarmType, Double);
  b.Variable(LimitAlarmType_LowLowLimit, "LowLowLimit", LimitAlarmType, Double);

  b.ObjectType(ExclusiveLimitAlarmType, "ExclusiveLimitAlarmType", LimitAlarmType, false);
  b.Object(ExclusiveLimitAlarmType_LimitState, "LimitState", ExclusiveLimitAlarmType,
           ExclusiveLimitStateMachineType);
  b.Variable(ExclusiveLimitAlarmType_LimitState_CurrentState, "CurrentState",
             ExclusiveLimitAlarmType_LimitState, ids::LocalizedText, FiniteStateVariableType);
  b.Variable(ExclusiveLimitAlarmType_LimitState_CurrentState_Id, "Id",
             ExclusiveLimitAlarmType_LimitState_CurrentState, ids::NodeId);
  b.ObjectType(ExclusiveLevelAlarmType, "ExclusiveLevelAlarmType", ExclusiveLimitAlarmType, false);
  b.ObjectType(ExclusiveDeviationAlarmType, "ExclusiveDeviationAlarmType", ExclusiveLimitAlarmType, false);
  b.Variable(ExclusiveDeviationAlarmType_SetpointNode, "SetpointNode", ExclusiveDeviationAlarmType, ids::NodeId);

  b.ObjectType(DiscreteAlarmType, "DiscreteAlarmType", AlarmConditionType, false);
  b.ObjectType(OffNormalAlarmType, "OffNormalAlarmType", DiscreteAlarmType, false);
  b.Variable(OffNormalAlarmType_NormalState, "NormalState", OffNormalAlarmType, ids::NodeId);
}

}  // namespace

void AddStandardEventTypes(AddressSpace& space) {
  TypeBuilder b(space);
  AddEventTypes(b);
  AddStateTypes(b);
  AddConditionTypes(b);
  // The Server object is the notifier of every event the server raises.
  if (Node* server = space.Find(Std(ids::Server))) server->eventNotifier = kSubscribeToEvents;
}

}  // namespace opcua
