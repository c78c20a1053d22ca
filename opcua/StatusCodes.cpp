#include "opcua/StatusCodes.h"

#include <cstdio>

namespace opcua {

const char* StatusName(StatusCode code) {
  struct Entry {
    StatusCode code;
    const char* name;
  };
#define QX_STATUS(name) {status::name, #name}
  static const Entry kNames[] = {
      QX_STATUS(Good), QX_STATUS(GoodSubscriptionTransferred), QX_STATUS(BadUnexpectedError),
      QX_STATUS(BadInternalError),
      QX_STATUS(BadOutOfMemory), QX_STATUS(BadResourceUnavailable),
      QX_STATUS(BadCommunicationError), QX_STATUS(BadEncodingError), QX_STATUS(BadDecodingError),
      QX_STATUS(BadEncodingLimitsExceeded), QX_STATUS(BadUnknownResponse), QX_STATUS(BadTimeout),
      QX_STATUS(BadServiceUnsupported), QX_STATUS(BadShutdown), QX_STATUS(BadNothingToDo),
      QX_STATUS(BadTooManyOperations), QX_STATUS(BadCertificateInvalid),
      QX_STATUS(BadSecurityChecksFailed), QX_STATUS(BadCertificateTimeInvalid),
      QX_STATUS(BadCertificateIssuerTimeInvalid), QX_STATUS(BadCertificateHostNameInvalid),
      QX_STATUS(BadCertificateUriInvalid), QX_STATUS(BadCertificateUseNotAllowed),
      QX_STATUS(BadCertificateIssuerUseNotAllowed), QX_STATUS(BadCertificateUntrusted),
      QX_STATUS(BadCertificateRevocationUnknown), QX_STATUS(BadCertificateIssuerRevocationUnknown),
      QX_STATUS(BadCertificateRevoked), QX_STATUS(BadCertificateIssuerRevoked),
      QX_STATUS(BadIdentityTokenInvalid),
      QX_STATUS(BadIdentityTokenRejected), QX_STATUS(BadUserAccessDenied),
      QX_STATUS(BadNonceInvalid), QX_STATUS(BadApplicationSignatureInvalid),
      QX_STATUS(BadSecureChannelIdInvalid),
      QX_STATUS(BadSessionIdInvalid), QX_STATUS(BadSessionClosed),
      QX_STATUS(BadSessionNotActivated), QX_STATUS(BadSubscriptionIdInvalid),
      QX_STATUS(BadTimestampsToReturnInvalid), QX_STATUS(BadNodeIdInvalid),
      QX_STATUS(BadNodeIdUnknown), QX_STATUS(BadAttributeIdInvalid),
      QX_STATUS(BadIndexRangeInvalid), QX_STATUS(BadIndexRangeNoData),
      QX_STATUS(BadDataEncodingInvalid), QX_STATUS(BadDataEncodingUnsupported),
      QX_STATUS(BadWaitingForInitialData),
      QX_STATUS(BadNotReadable), QX_STATUS(BadNotWritable), QX_STATUS(BadOutOfRange),
      QX_STATUS(BadNotSupported), QX_STATUS(BadMonitoringModeInvalid),
      QX_STATUS(BadMonitoredItemIdInvalid), QX_STATUS(BadMonitoredItemFilterUnsupported),
      QX_STATUS(BadContinuationPointInvalid), QX_STATUS(BadNoContinuationPoints), QX_STATUS(BadHistoryOperationInvalid),
      QX_STATUS(BadHistoryOperationUnsupported), QX_STATUS(BadNoData), QX_STATUS(GoodNoData),
      QX_STATUS(BadAggregateListMismatch), QX_STATUS(BadAggregateNotSupported),
      QX_STATUS(BadReferenceTypeIdInvalid), QX_STATUS(BadBrowseDirectionInvalid),
      QX_STATUS(BadViewIdUnknown), QX_STATUS(BadNoMatch), QX_STATUS(BadBrowseNameInvalid),
      QX_STATUS(BadRequestTypeInvalid), QX_STATUS(BadSecurityModeRejected),
      QX_STATUS(BadSecurityPolicyRejected), QX_STATUS(BadTooManySessions),
      QX_STATUS(BadWriteNotSupported), QX_STATUS(BadTypeMismatch),
      QX_STATUS(BadTooManySubscriptions), QX_STATUS(BadTooManyPublishRequests),
      QX_STATUS(BadNoSubscription), QX_STATUS(BadSequenceNumberUnknown),
      QX_STATUS(BadMessageNotAvailable), QX_STATUS(BadTcpServerTooBusy),
      QX_STATUS(BadTcpMessageTypeInvalid), QX_STATUS(BadTcpSecureChannelUnknown),
      QX_STATUS(BadTcpMessageTooLarge), QX_STATUS(BadTcpInternalError),
      QX_STATUS(BadTcpEndpointUrlInvalid), QX_STATUS(BadRequestTimeout),
      QX_STATUS(BadSecureChannelClosed), QX_STATUS(BadSecureChannelTokenUnknown),
      QX_STATUS(BadSequenceNumberInvalid), QX_STATUS(BadInvalidArgument),
      QX_STATUS(BadRequestTooLarge), QX_STATUS(BadResponseTooLarge),
      QX_STATUS(BadProtocolVersionUnsupported), QX_STATUS(BadTooManyMonitoredItems),
      QX_STATUS(BadMonitoredItemFilterInvalid), QX_STATUS(BadEventFilterInvalid),
      QX_STATUS(BadContentFilterInvalid), QX_STATUS(BadFilterOperandInvalid),
      QX_STATUS(BadTypeDefinitionInvalid), QX_STATUS(BadEventIdUnknown),
      QX_STATUS(BadFilterOperatorInvalid), QX_STATUS(BadFilterOperatorUnsupported),
      QX_STATUS(BadFilterOperandCountMismatch), QX_STATUS(BadFilterElementInvalid),
      QX_STATUS(BadFilterLiteralInvalid), QX_STATUS(BadConditionBranchAlreadyAcked),
      QX_STATUS(BadConditionBranchAlreadyConfirmed), QX_STATUS(BadMethodInvalid),
      QX_STATUS(BadArgumentsMissing), QX_STATUS(BadTooManyArguments), QX_STATUS(BadInvalidState),
  };
#undef QX_STATUS
  for (const auto& e : kNames)
    if (e.code.value == (code.value & 0xFFFF0000u)) return e.name;
  thread_local char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", code.value);
  return buf;
}

}  // namespace opcua
