#pragma once
// Numeric identifiers of the standard nodes (namespace 0) this server holds.

#include <cstdint>

namespace opcua::ids {

// Folders and objects.
inline constexpr uint32_t RootFolder = 84, ObjectsFolder = 85, TypesFolder = 86, ViewsFolder = 87,
                          ObjectTypesFolder = 88, VariableTypesFolder = 89, DataTypesFolder = 90,
                          ReferenceTypesFolder = 91;
inline constexpr uint32_t Server = 2253, ServerArray = 2254, NamespaceArray = 2255,
                          ServerStatus = 2256, ServerStatus_StartTime = 2257,
                          ServerStatus_CurrentTime = 2258, ServerStatus_State = 2259,
                          ServerStatus_BuildInfo = 2260, BuildInfo_ProductName = 2261,
                          BuildInfo_ProductUri = 2262, BuildInfo_ManufacturerName = 2263,
                          BuildInfo_SoftwareVersion = 2264, BuildInfo_BuildNumber = 2265,
                          BuildInfo_BuildDate = 2266, ServiceLevel = 2267,
                          ServerCapabilities = 2268, ServerProfileArray = 2269,
                          LocaleIdArray = 2271, MinSupportedSampleRate = 2272,
                          MaxBrowseContinuationPoints = 2735, SecondsTillShutdown = 2992,
                          ShutdownReason = 2993, Auditing = 2994, OperationLimits = 11704,
                          MaxNodesPerRead = 11705, MaxNodesPerWrite = 11707,
                          MaxNodesPerMethodCall = 11709,
                          MaxNodesPerBrowse = 11710, MaxNodesPerTranslateBrowsePaths = 11712,
                          MaxMonitoredItemsPerCall = 11714;
// History capabilities and the aggregates HistoryRead computes.
inline constexpr uint32_t MaxHistoryContinuationPoints = 2737, AggregateFunctions = 2997,
                          MaxNodesPerHistoryReadData = 12165, HistoryServerCapabilities = 11192,
                          AccessHistoryDataCapability = 11193, InsertDataCapability = 11196,
                          ReplaceDataCapability = 11197, UpdateDataCapability = 11198,
                          DeleteRawCapability = 11199, DeleteAtTimeCapability = 11200,
                          HistoryAggregateFunctions = 11201, AccessHistoryEventsCapability = 11242,
                          MaxReturnDataValues = 11273, MaxReturnEventValues = 11274,
                          InsertAnnotationCapability = 11275, InsertEventCapability = 11281,
                          ReplaceEventCapability = 11282, UpdateEventCapability = 11283,
                          DeleteEventCapability = 11502, ServerTimestampSupported = 19091;
inline constexpr uint32_t AggregateFunction_Average = 2342, AggregateFunction_Minimum = 2346,
                          AggregateFunction_Maximum = 2347, AggregateFunction_Count = 2352;

// Object, variable and data types.
inline constexpr uint32_t BaseObjectType = 58, FolderType = 61, BaseVariableType = 62,
                          BaseDataVariableType = 63, PropertyType = 68, ServerType = 2004,
                          ServerCapabilitiesType = 2013, ServerStatusType = 2138,
                          BuildInfoType = 3051, OperationLimitsType = 11564,
                          DataTypeEncodingType = 76, DataItemType = 2365,
                          AnalogItemType = 2368, DiscreteItemType = 2372,
                          MultiStateDiscreteType = 2376, BaseAnalogType = 15318,
                          HistoryServerCapabilitiesType = 2330, AggregateFunctionType = 2340;
inline constexpr uint32_t Boolean = 1, SByte = 2, Byte = 3, Int16 = 4, UInt16 = 5, Int32 = 6,
                          UInt32 = 7, Int64 = 8, UInt64 = 9, Float = 10, Double = 11,
                          String = 12, DateTime = 13, Guid = 14, ByteString = 15, NodeId = 17,
                          StatusCode = 19, QualifiedName = 20, LocalizedText = 21,
                          Structure = 22, BaseDataType = 24, Number = 26, Integer = 27,
                          UInteger = 28, Enumeration = 29, Duration = 290, UtcTime = 294,
                          LocaleId = 295, BuildInfoDataType = 338, ServerState = 852,
                          ServerStatusDataType = 862, EUInformation = 887, Argument = 296,
                          Range = 884;
// The binary encodings of the structures above (objects named "Default Binary").
inline constexpr uint32_t Argument_Encoding_DefaultBinary = 298,
                          BuildInfo_Encoding_DefaultBinary = 340,
                          ServerStatusDataType_Encoding_DefaultBinary = 864,
                          Range_Encoding_DefaultBinary = 886,
                          EUInformation_Encoding_DefaultBinary = 889;

// Reference types.
inline constexpr uint32_t References = 31, NonHierarchicalReferences = 32,
                          HierarchicalReferences = 33, HasChild = 34, Organizes = 35,
                          HasEventSource = 36, HasModellingRule = 37, HasEncoding = 38,
                          HasTypeDefinition = 40, GeneratesEvent = 41, Aggregates = 44,
                          HasSubtype = 45, HasProperty = 46, HasComponent = 47,
                          HasNotifier = 48;

}  // namespace opcua::ids
