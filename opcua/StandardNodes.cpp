// The standard part of the address space: what a generic client reads and
// follows right after it connects.

#include "opcua/AddressSpace.h"
#include "opcua/NodeIds.h"
#include "opcua/StandardNodeBuilder.h"

namespace opcua {

namespace {

void AddReferenceTypes(StandardNodeBuilder& b) {
  using namespace ids;
  b.ReferenceType(References, "References", 0, nullptr, true, true);
  b.ReferenceType(HierarchicalReferences, "HierarchicalReferences", References, "InverseHierarchicalReferences", true);
  b.ReferenceType(NonHierarchicalReferences, "NonHierarchicalReferences", References, "InverseNonHierarchicalReferences", true);
  b.ReferenceType(HasChild, "HasChild", HierarchicalReferences, "ChildOf", true);
  b.ReferenceType(Organizes, "Organizes", HierarchicalReferences, "OrganizedBy", false);
  b.ReferenceType(HasEventSource, "HasEventSource", HierarchicalReferences, "EventSourceOf", false);
  b.ReferenceType(HasNotifier, "HasNotifier", HasEventSource, "NotifierOf", false);
  b.ReferenceType(Aggregates, "Aggregates", HasChild, "AggregatedBy", true);
  b.ReferenceType(HasSubtype, "HasSubtype", HasChild, "SubtypeOf", false);
  b.ReferenceType(HasComponent, "HasComponent", Aggregates, "ComponentOf", false);
  b.ReferenceType(HasProperty, "HasProperty", Aggregates, "PropertyOf", false);
  b.ReferenceType(HasModellingRule, "HasModellingRule", NonHierarchicalReferences, "ModellingRuleOf", false);
  b.ReferenceType(HasEncoding, "HasEncoding", NonHierarchicalReferences, "EncodingOf", false);
  b.ReferenceType(HasTypeDefinition, "HasTypeDefinition", NonHierarchicalReferences, "TypeDefinitionOf", false);
  b.ReferenceType(GeneratesEvent, "GeneratesEvent", NonHierarchicalReferences, "GeneratedBy", false);
}

void AddDataTypes(StandardNodeBuilder& b) {
  using namespace ids;
  auto dt = [&](uint32_t id, const char* name, uint32_t super, bool isAbstract = false) {
    b.Type(id, NodeClass::DataType, name, super, isAbstract);
  };
  dt(BaseDataType, "BaseDataType", 0, true);
  dt(Boolean, "Boolean", BaseDataType);
  dt(Number, "Number", BaseDataType, true);
  dt(Integer, "Integer", Number, true);
  dt(UInteger, "UInteger", Number, true);
  dt(SByte, "SByte", Integer);
  dt(Int16, "Int16", Integer);
  dt(Int32, "Int32", Integer);
  dt(Int64, "Int64", Integer);
  dt(Byte, "Byte", UInteger);
  dt(UInt16, "UInt16", UInteger);
  dt(UInt32, "UInt32", UInteger);
  dt(UInt64, "UInt64", UInteger);
  dt(Float, "Float", Number);
  dt(Double, "Double", Number);
  dt(Duration, "Duration", Double);
  dt(String, "String", BaseDataType);
  dt(LocaleId, "LocaleId", String);
  dt(ids::DateTime, "DateTime", BaseDataType);
  dt(UtcTime, "UtcTime", ids::DateTime);
  dt(ids::Guid, "Guid", BaseDataType);
  dt(ids::ByteString, "ByteString", BaseDataType);
  dt(ids::NodeId, "NodeId", BaseDataType);
  dt(ids::StatusCode, "StatusCode", BaseDataType);
  dt(ids::QualifiedName, "QualifiedName", BaseDataType);
  dt(ids::LocalizedText, "LocalizedText", BaseDataType);
  dt(Structure, "Structure", BaseDataType, true);
  dt(BuildInfoDataType, "BuildInfo", Structure);
  dt(ids::ServerStatusDataType, "ServerStatusDataType", Structure);
  dt(ids::EUInformation, "EUInformation", Structure);
  dt(ids::Range, "Range", Structure);
  dt(ids::Argument, "Argument", Structure);
  dt(Enumeration, "Enumeration", BaseDataType, true);
  dt(ServerState, "ServerState", Enumeration);
}

void AddObjectAndVariableTypes(StandardNodeBuilder& b) {
  using namespace ids;
  b.Type(BaseObjectType, NodeClass::ObjectType, "BaseObjectType", 0, false);
  b.Type(FolderType, NodeClass::ObjectType, "FolderType", BaseObjectType, false);
  b.Type(ServerType, NodeClass::ObjectType, "ServerType", BaseObjectType, false);
  b.Type(ServerCapabilitiesType, NodeClass::ObjectType, "ServerCapabilitiesType", BaseObjectType, false);
  b.Type(OperationLimitsType, NodeClass::ObjectType, "OperationLimitsType", FolderType, false);
  b.Type(DataTypeEncodingType, NodeClass::ObjectType, "DataTypeEncodingType", BaseObjectType, false);
  b.Type(HistoryServerCapabilitiesType, NodeClass::ObjectType, "HistoryServerCapabilitiesType", BaseObjectType, false);
  b.Type(AggregateFunctionType, NodeClass::ObjectType, "AggregateFunctionType", BaseObjectType, false);
  b.Type(BaseVariableType, NodeClass::VariableType, "BaseVariableType", 0, true);
  b.Type(BaseDataVariableType, NodeClass::VariableType, "BaseDataVariableType", BaseVariableType, false);
  b.Type(PropertyType, NodeClass::VariableType, "PropertyType", BaseVariableType, false);
  b.Type(ServerStatusType, NodeClass::VariableType, "ServerStatusType", BaseDataVariableType, false);
  b.Type(BuildInfoType, NodeClass::VariableType, "BuildInfoType", BaseDataVariableType, false);
  // The data access types an application gives its process values.
  b.Type(DataItemType, NodeClass::VariableType, "DataItemType", BaseDataVariableType, false);
  b.Type(BaseAnalogType, NodeClass::VariableType, "BaseAnalogType", DataItemType, false);
  b.Type(AnalogItemType, NodeClass::VariableType, "AnalogItemType", BaseAnalogType, false);
  b.Type(DiscreteItemType, NodeClass::VariableType, "DiscreteItemType", DataItemType, true);
  b.Type(MultiStateDiscreteType, NodeClass::VariableType, "MultiStateDiscreteType", DiscreteItemType, false);
}

// The binary encoding of each structure a value of this server may hold, so
// a client that meets an unknown encoding id finds its data type.
void AddEncodings(StandardNodeBuilder& b) {
  using namespace ids;
  for (auto [type, encoding] : {std::pair{BuildInfoDataType, BuildInfo_Encoding_DefaultBinary},
                                {ids::ServerStatusDataType, ServerStatusDataType_Encoding_DefaultBinary},
                                {ids::EUInformation, EUInformation_Encoding_DefaultBinary},
                                {ids::Range, Range_Encoding_DefaultBinary},
                                {ids::Argument, Argument_Encoding_DefaultBinary}})
    b.Encoding(type, encoding);
}

void AddFolders(StandardNodeBuilder& b) {
  using namespace ids;
  b.Object(RootFolder, "Root", FolderType, 0, 0);
  b.Object(ObjectsFolder, "Objects", FolderType, RootFolder, Organizes);
  b.Object(TypesFolder, "Types", FolderType, RootFolder, Organizes);
  b.Object(ViewsFolder, "Views", FolderType, RootFolder, Organizes);
  b.Object(ObjectTypesFolder, "ObjectTypes", FolderType, TypesFolder, Organizes);
  b.Object(VariableTypesFolder, "VariableTypes", FolderType, TypesFolder, Organizes);
  b.Object(DataTypesFolder, "DataTypes", FolderType, TypesFolder, Organizes);
  b.Object(ReferenceTypesFolder, "ReferenceTypes", FolderType, TypesFolder, Organizes);
  b.Organize(ObjectTypesFolder, BaseObjectType);
  b.Organize(VariableTypesFolder, BaseVariableType);
  b.Organize(DataTypesFolder, BaseDataType);
  b.Organize(ReferenceTypesFolder, References);
}

std::vector<Scalar> Strings(const std::vector<std::string>& texts) {
  return {texts.begin(), texts.end()};
}

void AddServerObject(StandardNodeBuilder& b, const ServerDescription& d,
                     std::function<std::vector<std::string>()> namespaces,
                     std::function<opcua::DateTime()> now, opcua::DateTime startTime) {
  using namespace ids;
  b.Object(Server, "Server", ServerType, ObjectsFolder, Organizes);
  b.Variable(ServerArray, "ServerArray", String, 1, Server, HasProperty,
             Variant::Array(BuiltinType::String, Strings({d.applicationUri})));
  b.Variable(NamespaceArray, "NamespaceArray", String, 1, Server, HasProperty)->valueSource =
      [namespaces] {
        return DataValue::Of(Variant::Array(BuiltinType::String, Strings(namespaces())));
      };
  b.Variable(ServiceLevel, "ServiceLevel", Byte, -1, Server, HasProperty, uint8_t{255});
  b.Variable(Auditing, "Auditing", Boolean, -1, Server, HasProperty, false);

  opcua::BuildInfo info{d.productUri, d.manufacturerName, d.productName, d.softwareVersion,
                        d.buildNumber, startTime};
  Node* status = b.Variable(ServerStatus, "ServerStatus", ids::ServerStatusDataType, -1, Server, HasComponent);
  status->valueSource = [info, now, startTime] {
    opcua::ServerStatusDataType s{startTime, now(), 0, info, 0, {}};
    return DataValue::Of(Wrap(s));
  };
  b.Variable(ServerStatus_StartTime, "StartTime", UtcTime, -1, ServerStatus, HasComponent, startTime);
  b.Variable(ServerStatus_CurrentTime, "CurrentTime", UtcTime, -1, ServerStatus, HasComponent)
      ->valueSource = [now] { return DataValue::Of(now()); };
  b.Variable(ServerStatus_State, "State", ServerState, -1, ServerStatus, HasComponent, int32_t{0});
  b.Variable(ServerStatus_BuildInfo, "BuildInfo", BuildInfoDataType, -1, ServerStatus, HasComponent, Wrap(info));
  b.Variable(BuildInfo_ProductUri, "ProductUri", String, -1, ServerStatus_BuildInfo, HasComponent, d.productUri);
  b.Variable(BuildInfo_ManufacturerName, "ManufacturerName", String, -1, ServerStatus_BuildInfo, HasComponent, d.manufacturerName);
  b.Variable(BuildInfo_ProductName, "ProductName", String, -1, ServerStatus_BuildInfo, HasComponent, d.productName);
  b.Variable(BuildInfo_SoftwareVersion, "SoftwareVersion", String, -1, ServerStatus_BuildInfo, HasComponent, d.softwareVersion);
  b.Variable(BuildInfo_BuildNumber, "BuildNumber", String, -1, ServerStatus_BuildInfo, HasComponent, d.buildNumber);
  b.Variable(BuildInfo_BuildDate, "BuildDate", UtcTime, -1, ServerStatus_BuildInfo, HasComponent, startTime);
  b.Variable(SecondsTillShutdown, "SecondsTillShutdown", UInt32, -1, ServerStatus, HasComponent, uint32_t{0});
  b.Variable(ShutdownReason, "ShutdownReason", ids::LocalizedText, -1, ServerStatus, HasComponent, opcua::LocalizedText{});

  b.Object(ServerCapabilities, "ServerCapabilities", ServerCapabilitiesType, Server, HasComponent);
  b.Variable(ServerProfileArray, "ServerProfileArray", String, 1, ServerCapabilities, HasProperty,
             Variant::Array(BuiltinType::String,
                            Strings({"http://opcfoundation.org/UA-Profile/Server/MicroEmbeddedDevice"})));
  b.Variable(LocaleIdArray, "LocaleIdArray", LocaleId, 1, ServerCapabilities, HasProperty,
             Variant::Array(BuiltinType::String, Strings({"en"})));
  b.Variable(MinSupportedSampleRate, "MinSupportedSampleRate", Duration, -1, ServerCapabilities, HasProperty, 0.0);
  b.Variable(MaxBrowseContinuationPoints, "MaxBrowseContinuationPoints", UInt16, -1, ServerCapabilities, HasProperty, d.maxContinuationPoints);
  // The per-call limits of the services offered; a client splits larger calls.
  b.Object(OperationLimits, "OperationLimits", OperationLimitsType, ServerCapabilities, HasComponent);
  for (auto [id, name] : {std::pair{MaxNodesPerRead, "MaxNodesPerRead"}, {MaxNodesPerWrite, "MaxNodesPerWrite"},
                          {MaxNodesPerMethodCall, "MaxNodesPerMethodCall"},
                          {MaxNodesPerBrowse, "MaxNodesPerBrowse"},
                          {MaxNodesPerTranslateBrowsePaths, "MaxNodesPerTranslateBrowsePathsToNodeIds"},
                          {MaxMonitoredItemsPerCall, "MaxMonitoredItemsPerCall"},
                          {MaxNodesPerHistoryReadData, "MaxNodesPerHistoryReadData"}})
    b.Variable(id, name, UInt32, -1, OperationLimits, HasProperty, d.maxNodesPerRequest);
}

// What HistoryRead offers: raw and processed reads of data, nothing of
// events, no changes to the history.
void AddHistoryCapabilities(StandardNodeBuilder& b, const ServerDescription& d) {
  using namespace ids;
  b.Variable(MaxHistoryContinuationPoints, "MaxHistoryContinuationPoints", UInt16, -1, ServerCapabilities, HasProperty, d.maxHistoryContinuationPoints);
  b.Object(HistoryServerCapabilities, "HistoryServerCapabilities", HistoryServerCapabilitiesType, ServerCapabilities, HasComponent);
  b.Variable(AccessHistoryDataCapability, "AccessHistoryDataCapability", Boolean, -1, HistoryServerCapabilities, HasProperty, true);
  b.Variable(MaxReturnDataValues, "MaxReturnDataValues", UInt32, -1, HistoryServerCapabilities, HasProperty, d.maxHistoryValuesPerNode);
  b.Variable(MaxReturnEventValues, "MaxReturnEventValues", UInt32, -1, HistoryServerCapabilities, HasProperty, uint32_t{0});
  b.Variable(ServerTimestampSupported, "ServerTimestampSupported", Boolean, -1, HistoryServerCapabilities, HasProperty, false);
  for (auto [id, name] : {std::pair{AccessHistoryEventsCapability, "AccessHistoryEventsCapability"},
                          {InsertDataCapability, "InsertDataCapability"}, {ReplaceDataCapability, "ReplaceDataCapability"},
                          {UpdateDataCapability, "UpdateDataCapability"}, {DeleteRawCapability, "DeleteRawCapability"},
                          {DeleteAtTimeCapability, "DeleteAtTimeCapability"}, {InsertEventCapability, "InsertEventCapability"},
                          {ReplaceEventCapability, "ReplaceEventCapability"}, {UpdateEventCapability, "UpdateEventCapability"},
                          {DeleteEventCapability, "DeleteEventCapability"},
                          {InsertAnnotationCapability, "InsertAnnotationCapability"}})
    b.Variable(id, name, Boolean, -1, HistoryServerCapabilities, HasProperty, false);
  b.Object(AggregateFunctions, "AggregateFunctions", FolderType, ServerCapabilities, HasComponent);
  b.Object(HistoryAggregateFunctions, "AggregateFunctions", FolderType, HistoryServerCapabilities, HasComponent);
  for (auto [id, name] : {std::pair{AggregateFunction_Average, "Average"}, {AggregateFunction_Minimum, "Minimum"},
                          {AggregateFunction_Maximum, "Maximum"}, {AggregateFunction_Count, "Count"}}) {
    b.Object(id, name, AggregateFunctionType, AggregateFunctions, Organizes);
    b.Organize(HistoryAggregateFunctions, id);
  }
}

}  // namespace

void AddStandardNodes(AddressSpace& space, const ServerDescription& description,
                      std::function<std::vector<std::string>()> namespaces,
                      std::function<DateTime()> now, DateTime startTime) {
  StandardNodeBuilder b(space);
  AddReferenceTypes(b);
  AddDataTypes(b);
  AddObjectAndVariableTypes(b);
  AddEncodings(b);
  AddFolders(b);
  AddServerObject(b, description, std::move(namespaces), std::move(now), startTime);
  AddHistoryCapabilities(b, description);
}

}  // namespace opcua
