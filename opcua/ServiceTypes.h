#pragma once
// The request and response structures of the services this stack speaks,
// each with the numeric id of its binary encoding (kTypeId) where it travels
// inside a message body or an ExtensionObject.

#include <string>
#include <vector>

#include "opcua/Binary.h"
#include "opcua/Types.h"

namespace opcua {

struct RequestHeader {
  NodeId authenticationToken;
  DateTime timestamp;
  uint32_t requestHandle = 0;
  uint32_t returnDiagnostics = 0;
  std::string auditEntryId;
  uint32_t timeoutHint = 0;
  ExtensionObject additionalHeader;
  QX_UA_FIELDS(authenticationToken, timestamp, requestHandle, returnDiagnostics, auditEntryId,
               timeoutHint, additionalHeader)
};

struct ResponseHeader {
  DateTime timestamp;
  uint32_t requestHandle = 0;
  StatusCode serviceResult;
  DiagnosticInfo serviceDiagnostics;
  std::vector<std::string> stringTable;
  ExtensionObject additionalHeader;
  QX_UA_FIELDS(timestamp, requestHandle, serviceResult, serviceDiagnostics, stringTable,
               additionalHeader)
};

struct ServiceFault {
  static constexpr uint32_t kTypeId = 397;
  ResponseHeader responseHeader;
  QX_UA_FIELDS(responseHeader)
};

// ---- Secure channel --------------------------------------------------------

enum class SecurityTokenRequestType : int32_t { Issue = 0, Renew = 1 };
enum class MessageSecurityMode : int32_t { Invalid = 0, None = 1, Sign = 2, SignAndEncrypt = 3 };

struct OpenSecureChannelRequest {
  static constexpr uint32_t kTypeId = 446;
  RequestHeader requestHeader;
  uint32_t clientProtocolVersion = 0;
  SecurityTokenRequestType requestType = SecurityTokenRequestType::Issue;
  MessageSecurityMode securityMode = MessageSecurityMode::None;
  ByteString clientNonce;
  uint32_t requestedLifetime = 0;
  QX_UA_FIELDS(requestHeader, clientProtocolVersion, requestType, securityMode, clientNonce,
               requestedLifetime)
};

struct ChannelSecurityToken {
  uint32_t channelId = 0;
  uint32_t tokenId = 0;
  DateTime createdAt;
  uint32_t revisedLifetime = 0;
  QX_UA_FIELDS(channelId, tokenId, createdAt, revisedLifetime)
};

struct OpenSecureChannelResponse {
  static constexpr uint32_t kTypeId = 449;
  ResponseHeader responseHeader;
  uint32_t serverProtocolVersion = 0;
  ChannelSecurityToken securityToken;
  ByteString serverNonce;
  QX_UA_FIELDS(responseHeader, serverProtocolVersion, securityToken, serverNonce)
};

struct CloseSecureChannelRequest {
  static constexpr uint32_t kTypeId = 452;
  RequestHeader requestHeader;
  QX_UA_FIELDS(requestHeader)
};

// ---- Discovery -------------------------------------------------------------

enum class ApplicationType : int32_t { Server = 0, Client = 1, ClientAndServer = 2, DiscoveryServer = 3 };

struct ApplicationDescription {
  std::string applicationUri;
  std::string productUri;
  LocalizedText applicationName;
  ApplicationType applicationType = ApplicationType::Server;
  std::string gatewayServerUri;
  std::string discoveryProfileUri;
  std::vector<std::string> discoveryUrls;
  QX_UA_FIELDS(applicationUri, productUri, applicationName, applicationType, gatewayServerUri,
               discoveryProfileUri, discoveryUrls)
};

enum class UserTokenType : int32_t { Anonymous = 0, UserName = 1, Certificate = 2, IssuedToken = 3 };

struct UserTokenPolicy {
  std::string policyId;
  UserTokenType tokenType = UserTokenType::Anonymous;
  std::string issuedTokenType;
  std::string issuerEndpointUrl;
  std::string securityPolicyUri;
  QX_UA_FIELDS(policyId, tokenType, issuedTokenType, issuerEndpointUrl, securityPolicyUri)
};

struct EndpointDescription {
  std::string endpointUrl;
  ApplicationDescription server;
  ByteString serverCertificate;
  MessageSecurityMode securityMode = MessageSecurityMode::None;
  std::string securityPolicyUri;
  std::vector<UserTokenPolicy> userIdentityTokens;
  std::string transportProfileUri;
  uint8_t securityLevel = 0;
  QX_UA_FIELDS(endpointUrl, server, serverCertificate, securityMode, securityPolicyUri,
               userIdentityTokens, transportProfileUri, securityLevel)
};

struct FindServersRequest {
  static constexpr uint32_t kTypeId = 422;
  RequestHeader requestHeader;
  std::string endpointUrl;
  std::vector<std::string> localeIds;
  std::vector<std::string> serverUris;
  QX_UA_FIELDS(requestHeader, endpointUrl, localeIds, serverUris)
};

struct FindServersResponse {
  static constexpr uint32_t kTypeId = 425;
  ResponseHeader responseHeader;
  std::vector<ApplicationDescription> servers;
  QX_UA_FIELDS(responseHeader, servers)
};

struct GetEndpointsRequest {
  static constexpr uint32_t kTypeId = 428;
  RequestHeader requestHeader;
  std::string endpointUrl;
  std::vector<std::string> localeIds;
  std::vector<std::string> profileUris;
  QX_UA_FIELDS(requestHeader, endpointUrl, localeIds, profileUris)
};

struct GetEndpointsResponse {
  static constexpr uint32_t kTypeId = 431;
  ResponseHeader responseHeader;
  std::vector<EndpointDescription> endpoints;
  QX_UA_FIELDS(responseHeader, endpoints)
};

// ---- Session ---------------------------------------------------------------

struct SignatureData {
  std::string algorithm;
  ByteString signature;
  QX_UA_FIELDS(algorithm, signature)
};

struct SignedSoftwareCertificate {
  ByteString certificateData;
  ByteString signature;
  QX_UA_FIELDS(certificateData, signature)
};

struct CreateSessionRequest {
  static constexpr uint32_t kTypeId = 461;
  RequestHeader requestHeader;
  ApplicationDescription clientDescription;
  std::string serverUri;
  std::string endpointUrl;
  std::string sessionName;
  ByteString clientNonce;
  ByteString clientCertificate;
  double requestedSessionTimeout = 0;
  uint32_t maxResponseMessageSize = 0;
  QX_UA_FIELDS(requestHeader, clientDescription, serverUri, endpointUrl, sessionName, clientNonce,
               clientCertificate, requestedSessionTimeout, maxResponseMessageSize)
};

struct CreateSessionResponse {
  static constexpr uint32_t kTypeId = 464;
  ResponseHeader responseHeader;
  NodeId sessionId;
  NodeId authenticationToken;
  double revisedSessionTimeout = 0;
  ByteString serverNonce;
  ByteString serverCertificate;
  std::vector<EndpointDescription> serverEndpoints;
  std::vector<SignedSoftwareCertificate> serverSoftwareCertificates;
  SignatureData serverSignature;
  uint32_t maxRequestMessageSize = 0;
  QX_UA_FIELDS(responseHeader, sessionId, authenticationToken, revisedSessionTimeout, serverNonce,
               serverCertificate, serverEndpoints, serverSoftwareCertificates, serverSignature,
               maxRequestMessageSize)
};

struct AnonymousIdentityToken {
  static constexpr uint32_t kTypeId = 321;
  std::string policyId;
  QX_UA_FIELDS(policyId)
};

// A user name with its password. `password` holds the encrypted secret
// (see SessionCrypto.h) named by `encryptionAlgorithm`, or the password
// itself when that is empty.
struct UserNameIdentityToken {
  static constexpr uint32_t kTypeId = 324;
  std::string policyId;
  std::string userName;
  ByteString password;
  std::string encryptionAlgorithm;
  QX_UA_FIELDS(policyId, userName, password, encryptionAlgorithm)
};

struct ActivateSessionRequest {
  static constexpr uint32_t kTypeId = 467;
  RequestHeader requestHeader;
  SignatureData clientSignature;
  std::vector<SignedSoftwareCertificate> clientSoftwareCertificates;
  std::vector<std::string> localeIds;
  ExtensionObject userIdentityToken;
  SignatureData userTokenSignature;
  QX_UA_FIELDS(requestHeader, clientSignature, clientSoftwareCertificates, localeIds,
               userIdentityToken, userTokenSignature)
};

struct ActivateSessionResponse {
  static constexpr uint32_t kTypeId = 470;
  ResponseHeader responseHeader;
  ByteString serverNonce;
  std::vector<StatusCode> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(responseHeader, serverNonce, results, diagnosticInfos)
};

struct CloseSessionRequest {
  static constexpr uint32_t kTypeId = 473;
  RequestHeader requestHeader;
  bool deleteSubscriptions = true;
  QX_UA_FIELDS(requestHeader, deleteSubscriptions)
};

struct CloseSessionResponse {
  static constexpr uint32_t kTypeId = 476;
  ResponseHeader responseHeader;
  QX_UA_FIELDS(responseHeader)
};

// ---- View ------------------------------------------------------------------

enum class BrowseDirection : int32_t { Forward = 0, Inverse = 1, Both = 2 };

enum class NodeClass : int32_t {
  Unspecified = 0, Object = 1, Variable = 2, Method = 4, ObjectType = 8,
  VariableType = 16, ReferenceType = 32, DataType = 64, View = 128
};

struct ViewDescription {
  NodeId viewId;
  DateTime timestamp;
  uint32_t viewVersion = 0;
  QX_UA_FIELDS(viewId, timestamp, viewVersion)
};

struct BrowseDescription {
  NodeId nodeId;
  BrowseDirection browseDirection = BrowseDirection::Forward;
  NodeId referenceTypeId;
  bool includeSubtypes = true;
  uint32_t nodeClassMask = 0;
  uint32_t resultMask = 0x3F;
  QX_UA_FIELDS(nodeId, browseDirection, referenceTypeId, includeSubtypes, nodeClassMask,
               resultMask)
};

struct ReferenceDescription {
  NodeId referenceTypeId;
  bool isForward = true;
  ExpandedNodeId nodeId;
  QualifiedName browseName;
  LocalizedText displayName;
  NodeClass nodeClass = NodeClass::Unspecified;
  ExpandedNodeId typeDefinition;
  QX_UA_FIELDS(referenceTypeId, isForward, nodeId, browseName, displayName, nodeClass,
               typeDefinition)
};

struct BrowseResult {
  StatusCode statusCode;
  ByteString continuationPoint;
  std::vector<ReferenceDescription> references;
  QX_UA_FIELDS(statusCode, continuationPoint, references)
};

struct BrowseRequest {
  static constexpr uint32_t kTypeId = 527;
  RequestHeader requestHeader;
  ViewDescription view;
  uint32_t requestedMaxReferencesPerNode = 0;
  std::vector<BrowseDescription> nodesToBrowse;
  QX_UA_FIELDS(requestHeader, view, requestedMaxReferencesPerNode, nodesToBrowse)
};

struct BrowseResponse {
  static constexpr uint32_t kTypeId = 530;
  ResponseHeader responseHeader;
  std::vector<BrowseResult> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct BrowseNextRequest {
  static constexpr uint32_t kTypeId = 533;
  RequestHeader requestHeader;
  bool releaseContinuationPoints = false;
  std::vector<ByteString> continuationPoints;
  QX_UA_FIELDS(requestHeader, releaseContinuationPoints, continuationPoints)
};

struct BrowseNextResponse {
  static constexpr uint32_t kTypeId = 536;
  ResponseHeader responseHeader;
  std::vector<BrowseResult> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct RelativePathElement {
  NodeId referenceTypeId;
  bool isInverse = false;
  bool includeSubtypes = true;
  QualifiedName targetName;
  QX_UA_FIELDS(referenceTypeId, isInverse, includeSubtypes, targetName)
};

struct RelativePath {
  std::vector<RelativePathElement> elements;
  QX_UA_FIELDS(elements)
};

struct BrowsePath {
  NodeId startingNode;
  RelativePath relativePath;
  QX_UA_FIELDS(startingNode, relativePath)
};

struct BrowsePathTarget {
  ExpandedNodeId targetId;
  uint32_t remainingPathIndex = 0xFFFFFFFFu;
  QX_UA_FIELDS(targetId, remainingPathIndex)
};

struct BrowsePathResult {
  StatusCode statusCode;
  std::vector<BrowsePathTarget> targets;
  QX_UA_FIELDS(statusCode, targets)
};

struct TranslateBrowsePathsToNodeIdsRequest {
  static constexpr uint32_t kTypeId = 554;
  RequestHeader requestHeader;
  std::vector<BrowsePath> browsePaths;
  QX_UA_FIELDS(requestHeader, browsePaths)
};

struct TranslateBrowsePathsToNodeIdsResponse {
  static constexpr uint32_t kTypeId = 557;
  ResponseHeader responseHeader;
  std::vector<BrowsePathResult> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(responseHeader, results, diagnosticInfos)
};

// ---- Attribute -------------------------------------------------------------

enum class TimestampsToReturn : int32_t { Source = 0, Server = 1, Both = 2, Neither = 3 };

struct ReadValueId {
  NodeId nodeId;
  uint32_t attributeId = 13;
  std::string indexRange;
  QualifiedName dataEncoding;
  QX_UA_FIELDS(nodeId, attributeId, indexRange, dataEncoding)
};

struct ReadRequest {
  static constexpr uint32_t kTypeId = 631;
  RequestHeader requestHeader;
  double maxAge = 0;
  TimestampsToReturn timestampsToReturn = TimestampsToReturn::Both;
  std::vector<ReadValueId> nodesToRead;
  QX_UA_FIELDS(requestHeader, maxAge, timestampsToReturn, nodesToRead)
};

struct ReadResponse {
  static constexpr uint32_t kTypeId = 634;
  ResponseHeader responseHeader;
  std::vector<DataValue> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct WriteValue {
  NodeId nodeId;
  uint32_t attributeId = 13;
  std::string indexRange;
  DataValue value;
  QX_UA_FIELDS(nodeId, attributeId, indexRange, value)
};

struct WriteRequest {
  static constexpr uint32_t kTypeId = 673;
  RequestHeader requestHeader;
  std::vector<WriteValue> nodesToWrite;
  QX_UA_FIELDS(requestHeader, nodesToWrite)
};

struct WriteResponse {
  static constexpr uint32_t kTypeId = 676;
  ResponseHeader responseHeader;
  std::vector<StatusCode> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(responseHeader, results, diagnosticInfos)
};

// ---- Subscription and monitored items ---------------------------------------

struct CreateSubscriptionRequest {
  static constexpr uint32_t kTypeId = 787;
  RequestHeader requestHeader;
  double requestedPublishingInterval = 0;
  uint32_t requestedLifetimeCount = 0;
  uint32_t requestedMaxKeepAliveCount = 0;
  uint32_t maxNotificationsPerPublish = 0;
  bool publishingEnabled = true;
  uint8_t priority = 0;
  QX_UA_FIELDS(requestHeader, requestedPublishingInterval, requestedLifetimeCount,
               requestedMaxKeepAliveCount, maxNotificationsPerPublish, publishingEnabled, priority)
};

struct CreateSubscriptionResponse {
  static constexpr uint32_t kTypeId = 790;
  ResponseHeader responseHeader;
  uint32_t subscriptionId = 0;
  double revisedPublishingInterval = 0;
  uint32_t revisedLifetimeCount = 0;
  uint32_t revisedMaxKeepAliveCount = 0;
  QX_UA_FIELDS(responseHeader, subscriptionId, revisedPublishingInterval, revisedLifetimeCount,
               revisedMaxKeepAliveCount)
};

struct ModifySubscriptionRequest {
  static constexpr uint32_t kTypeId = 793;
  RequestHeader requestHeader;
  uint32_t subscriptionId = 0;
  double requestedPublishingInterval = 0;
  uint32_t requestedLifetimeCount = 0;
  uint32_t requestedMaxKeepAliveCount = 0;
  uint32_t maxNotificationsPerPublish = 0;
  uint8_t priority = 0;
  QX_UA_FIELDS(requestHeader, subscriptionId, requestedPublishingInterval, requestedLifetimeCount,
               requestedMaxKeepAliveCount, maxNotificationsPerPublish, priority)
};

struct ModifySubscriptionResponse {
  static constexpr uint32_t kTypeId = 796;
  ResponseHeader responseHeader;
  double revisedPublishingInterval = 0;
  uint32_t revisedLifetimeCount = 0;
  uint32_t revisedMaxKeepAliveCount = 0;
  QX_UA_FIELDS(responseHeader, revisedPublishingInterval, revisedLifetimeCount,
               revisedMaxKeepAliveCount)
};

struct SetPublishingModeRequest {
  static constexpr uint32_t kTypeId = 799;
  RequestHeader requestHeader;
  bool publishingEnabled = true;
  std::vector<uint32_t> subscriptionIds;
  QX_UA_FIELDS(requestHeader, publishingEnabled, subscriptionIds)
};

struct SetPublishingModeResponse {
  static constexpr uint32_t kTypeId = 802;
  ResponseHeader responseHeader;
  std::vector<StatusCode> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct DeleteSubscriptionsRequest {
  static constexpr uint32_t kTypeId = 847;
  RequestHeader requestHeader;
  std::vector<uint32_t> subscriptionIds;
  QX_UA_FIELDS(requestHeader, subscriptionIds)
};

struct DeleteSubscriptionsResponse {
  static constexpr uint32_t kTypeId = 850;
  ResponseHeader responseHeader;
  std::vector<StatusCode> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(responseHeader, results, diagnosticInfos)
};

enum class MonitoringMode : int32_t { Disabled = 0, Sampling = 1, Reporting = 2 };

struct MonitoringParameters {
  uint32_t clientHandle = 0;
  double samplingInterval = 0;
  ExtensionObject filter;
  uint32_t queueSize = 1;
  bool discardOldest = true;
  QX_UA_FIELDS(clientHandle, samplingInterval, filter, queueSize, discardOldest)
};

struct DataChangeFilter {
  static constexpr uint32_t kTypeId = 724;
  int32_t trigger = 1;  // 0 status, 1 status+value, 2 status+value+timestamp
  uint32_t deadbandType = 0;
  double deadbandValue = 0;
  QX_UA_FIELDS(trigger, deadbandType, deadbandValue)
};

struct MonitoredItemCreateRequest {
  ReadValueId itemToMonitor;
  MonitoringMode monitoringMode = MonitoringMode::Reporting;
  MonitoringParameters requestedParameters;
  QX_UA_FIELDS(itemToMonitor, monitoringMode, requestedParameters)
};

struct MonitoredItemCreateResult {
  StatusCode statusCode;
  uint32_t monitoredItemId = 0;
  double revisedSamplingInterval = 0;
  uint32_t revisedQueueSize = 0;
  ExtensionObject filterResult;
  QX_UA_FIELDS(statusCode, monitoredItemId, revisedSamplingInterval, revisedQueueSize,
               filterResult)
};

struct CreateMonitoredItemsRequest {
  static constexpr uint32_t kTypeId = 751;
  RequestHeader requestHeader;
  uint32_t subscriptionId = 0;
  TimestampsToReturn timestampsToReturn = TimestampsToReturn::Both;
  std::vector<MonitoredItemCreateRequest> itemsToCreate;
  QX_UA_FIELDS(requestHeader, subscriptionId, timestampsToReturn, itemsToCreate)
};

struct CreateMonitoredItemsResponse {
  static constexpr uint32_t kTypeId = 754;
  ResponseHeader responseHeader;
  std::vector<MonitoredItemCreateResult> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct MonitoredItemModifyRequest {
  uint32_t monitoredItemId = 0;
  MonitoringParameters requestedParameters;
  QX_UA_FIELDS(monitoredItemId, requestedParameters)
};

struct MonitoredItemModifyResult {
  StatusCode statusCode;
  double revisedSamplingInterval = 0;
  uint32_t revisedQueueSize = 0;
  ExtensionObject filterResult;
  QX_UA_FIELDS(statusCode, revisedSamplingInterval, revisedQueueSize, filterResult)
};

struct ModifyMonitoredItemsRequest {
  static constexpr uint32_t kTypeId = 763;
  RequestHeader requestHeader;
  uint32_t subscriptionId = 0;
  TimestampsToReturn timestampsToReturn = TimestampsToReturn::Both;
  std::vector<MonitoredItemModifyRequest> itemsToModify;
  QX_UA_FIELDS(requestHeader, subscriptionId, timestampsToReturn, itemsToModify)
};

struct ModifyMonitoredItemsResponse {
  static constexpr uint32_t kTypeId = 766;
  ResponseHeader responseHeader;
  std::vector<MonitoredItemModifyResult> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct SetMonitoringModeRequest {
  static constexpr uint32_t kTypeId = 769;
  RequestHeader requestHeader;
  uint32_t subscriptionId = 0;
  MonitoringMode monitoringMode = MonitoringMode::Reporting;
  std::vector<uint32_t> monitoredItemIds;
  QX_UA_FIELDS(requestHeader, subscriptionId, monitoringMode, monitoredItemIds)
};

struct SetMonitoringModeResponse {
  static constexpr uint32_t kTypeId = 772;
  ResponseHeader responseHeader;
  std::vector<StatusCode> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct DeleteMonitoredItemsRequest {
  static constexpr uint32_t kTypeId = 781;
  RequestHeader requestHeader;
  uint32_t subscriptionId = 0;
  std::vector<uint32_t> monitoredItemIds;
  QX_UA_FIELDS(requestHeader, subscriptionId, monitoredItemIds)
};

struct DeleteMonitoredItemsResponse {
  static constexpr uint32_t kTypeId = 784;
  ResponseHeader responseHeader;
  std::vector<StatusCode> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct SubscriptionAcknowledgement {
  uint32_t subscriptionId = 0;
  uint32_t sequenceNumber = 0;
  QX_UA_FIELDS(subscriptionId, sequenceNumber)
};

struct PublishRequest {
  static constexpr uint32_t kTypeId = 826;
  RequestHeader requestHeader;
  std::vector<SubscriptionAcknowledgement> subscriptionAcknowledgements;
  QX_UA_FIELDS(requestHeader, subscriptionAcknowledgements)
};

struct NotificationMessage {
  uint32_t sequenceNumber = 0;
  DateTime publishTime;
  std::vector<ExtensionObject> notificationData;
  QX_UA_FIELDS(sequenceNumber, publishTime, notificationData)
};

struct PublishResponse {
  static constexpr uint32_t kTypeId = 829;
  ResponseHeader responseHeader;
  uint32_t subscriptionId = 0;
  std::vector<uint32_t> availableSequenceNumbers;
  bool moreNotifications = false;
  NotificationMessage notificationMessage;
  std::vector<StatusCode> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(responseHeader, subscriptionId, availableSequenceNumbers, moreNotifications,
               notificationMessage, results, diagnosticInfos)
};

struct RepublishRequest {
  static constexpr uint32_t kTypeId = 832;
  RequestHeader requestHeader;
  uint32_t subscriptionId = 0;
  uint32_t retransmitSequenceNumber = 0;
  QX_UA_FIELDS(requestHeader, subscriptionId, retransmitSequenceNumber)
};

struct RepublishResponse {
  static constexpr uint32_t kTypeId = 835;
  ResponseHeader responseHeader;
  NotificationMessage notificationMessage;
  QX_UA_FIELDS(responseHeader, notificationMessage)
};

struct TransferSubscriptionsRequest {
  static constexpr uint32_t kTypeId = 841;
  RequestHeader requestHeader;
  std::vector<uint32_t> subscriptionIds;
  bool sendInitialValues = false;
  QX_UA_FIELDS(requestHeader, subscriptionIds, sendInitialValues)
};

struct TransferResult {
  StatusCode statusCode;
  std::vector<uint32_t> availableSequenceNumbers;
  QX_UA_FIELDS(statusCode, availableSequenceNumbers)
};

struct TransferSubscriptionsResponse {
  static constexpr uint32_t kTypeId = 844;
  ResponseHeader responseHeader;
  std::vector<TransferResult> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct MonitoredItemNotification {
  uint32_t clientHandle = 0;
  DataValue value;
  QX_UA_FIELDS(clientHandle, value)
};

struct DataChangeNotification {
  static constexpr uint32_t kTypeId = 811;
  std::vector<MonitoredItemNotification> monitoredItems;
  std::vector<DiagnosticInfo> diagnosticInfos;
  QX_UA_FIELDS(monitoredItems, diagnosticInfos)
};

struct StatusChangeNotification {
  static constexpr uint32_t kTypeId = 820;
  StatusCode status;
  DiagnosticInfo diagnosticInfo;
  QX_UA_FIELDS(status, diagnosticInfo)
};

// ---- Server status values -----------------------------------------------------

struct BuildInfo {
  static constexpr uint32_t kTypeId = 340;
  std::string productUri;
  std::string manufacturerName;
  std::string productName;
  std::string softwareVersion;
  std::string buildNumber;
  DateTime buildDate;
  QX_UA_FIELDS(productUri, manufacturerName, productName, softwareVersion, buildNumber, buildDate)
};

struct ServerStatusDataType {
  static constexpr uint32_t kTypeId = 864;
  DateTime startTime;
  DateTime currentTime;
  int32_t state = 0;  // 0 = Running
  BuildInfo buildInfo;
  uint32_t secondsTillShutdown = 0;
  LocalizedText shutdownReason;
  QX_UA_FIELDS(startTime, currentTime, state, buildInfo, secondsTillShutdown, shutdownReason)
};

// ---- Data access ----------------------------------------------------------------

// The unit of an analog value, the value of its EngineeringUnits property.
// `unitId` is the unit's code in the units namespace `namespaceUri`, or -1
// for a unit that has none.
struct EUInformation {
  static constexpr uint32_t kTypeId = 889;
  std::string namespaceUri;
  int32_t unitId = -1;
  LocalizedText displayName;
  LocalizedText description;
  QX_UA_FIELDS(namespaceUri, unitId, displayName, description)
};

// The range of an analog value, the value of its EURange property.
struct Range {
  static constexpr uint32_t kTypeId = 886;
  double low = 0;
  double high = 0;
  QX_UA_FIELDS(low, high)
};

// Wraps a structure with a kTypeId into an ExtensionObject.
template <class T>
ExtensionObject Wrap(const T& value) {
  ExtensionObject e;
  e.typeId = NodeId(0, T::kTypeId);
  e.encoding = ExtensionObject::Encoding::Binary;
  e.body = Encode(value);
  return e;
}

// Unwraps an ExtensionObject whose type id is T's.
template <class T>
StatusCode Unwrap(const ExtensionObject& e, T& out) {
  if (e.encoding != ExtensionObject::Encoding::Binary || !(e.typeId == NodeId(0, T::kTypeId)))
    return status::BadDataEncodingUnsupported;
  return Decode(e.body, out);
}

}  // namespace opcua
