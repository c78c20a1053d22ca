#pragma once
// Status codes the stack produces or checks. The numeric values are the
// standard OPC UA ones, so clients show the right names.

#include <cstdint>

namespace opcua {

struct StatusCode {
  uint32_t value = 0;

  constexpr bool IsGood() const { return (value & 0xC0000000u) == 0; }
  constexpr bool IsBad() const { return (value & 0x80000000u) != 0; }
  friend constexpr bool operator==(StatusCode, StatusCode) = default;
};

// Short name of a code for messages and logs, or "0x........" if unknown.
const char* StatusName(StatusCode code);

namespace status {
inline constexpr StatusCode Good{0x00000000};
inline constexpr StatusCode GoodSubscriptionTransferred{0x002D0000};
inline constexpr StatusCode BadUnexpectedError{0x80010000};
inline constexpr StatusCode BadInternalError{0x80020000};
inline constexpr StatusCode BadOutOfMemory{0x80030000};
inline constexpr StatusCode BadResourceUnavailable{0x80040000};
inline constexpr StatusCode BadCommunicationError{0x80050000};
inline constexpr StatusCode BadEncodingError{0x80060000};
inline constexpr StatusCode BadDecodingError{0x80070000};
inline constexpr StatusCode BadEncodingLimitsExceeded{0x80080000};
inline constexpr StatusCode BadUnknownResponse{0x80090000};
inline constexpr StatusCode BadTimeout{0x800A0000};
inline constexpr StatusCode BadServiceUnsupported{0x800B0000};
inline constexpr StatusCode BadShutdown{0x800C0000};
inline constexpr StatusCode BadNothingToDo{0x800F0000};
inline constexpr StatusCode BadTooManyOperations{0x80100000};
inline constexpr StatusCode BadCertificateInvalid{0x80120000};
inline constexpr StatusCode BadSecurityChecksFailed{0x80130000};
inline constexpr StatusCode BadCertificateTimeInvalid{0x80140000};
inline constexpr StatusCode BadCertificateIssuerTimeInvalid{0x80150000};
inline constexpr StatusCode BadCertificateHostNameInvalid{0x80160000};
inline constexpr StatusCode BadCertificateUriInvalid{0x80170000};
inline constexpr StatusCode BadCertificateUseNotAllowed{0x80180000};
inline constexpr StatusCode BadCertificateIssuerUseNotAllowed{0x80190000};
inline constexpr StatusCode BadCertificateUntrusted{0x801A0000};
inline constexpr StatusCode BadCertificateRevocationUnknown{0x801B0000};
inline constexpr StatusCode BadCertificateIssuerRevocationUnknown{0x801C0000};
inline constexpr StatusCode BadCertificateRevoked{0x801D0000};
inline constexpr StatusCode BadCertificateIssuerRevoked{0x801E0000};
inline constexpr StatusCode BadIdentityTokenInvalid{0x80200000};
inline constexpr StatusCode BadIdentityTokenRejected{0x80210000};
inline constexpr StatusCode BadNonceInvalid{0x80240000};
inline constexpr StatusCode BadApplicationSignatureInvalid{0x80580000};
inline constexpr StatusCode BadUserAccessDenied{0x801F0000};
inline constexpr StatusCode BadSecureChannelIdInvalid{0x80220000};
inline constexpr StatusCode BadSessionIdInvalid{0x80250000};
inline constexpr StatusCode BadSessionClosed{0x80260000};
inline constexpr StatusCode BadSessionNotActivated{0x80270000};
inline constexpr StatusCode BadSubscriptionIdInvalid{0x80280000};
inline constexpr StatusCode BadTimestampsToReturnInvalid{0x802B0000};
inline constexpr StatusCode BadNodeIdInvalid{0x80330000};
inline constexpr StatusCode BadNodeIdUnknown{0x80340000};
inline constexpr StatusCode BadAttributeIdInvalid{0x80350000};
inline constexpr StatusCode BadIndexRangeInvalid{0x80360000};
inline constexpr StatusCode BadIndexRangeNoData{0x80370000};
inline constexpr StatusCode BadDataEncodingInvalid{0x80380000};
inline constexpr StatusCode BadDataEncodingUnsupported{0x80390000};
inline constexpr StatusCode BadNotReadable{0x803A0000};
inline constexpr StatusCode BadWaitingForInitialData{0x80320000};
inline constexpr StatusCode BadNotWritable{0x803B0000};
inline constexpr StatusCode BadOutOfRange{0x803C0000};
inline constexpr StatusCode BadNotSupported{0x803D0000};
inline constexpr StatusCode BadMonitoringModeInvalid{0x80410000};
inline constexpr StatusCode BadMonitoredItemIdInvalid{0x80420000};
inline constexpr StatusCode BadMonitoredItemFilterUnsupported{0x80440000};
inline constexpr StatusCode BadContinuationPointInvalid{0x804A0000};
inline constexpr StatusCode BadNoContinuationPoints{0x804B0000};
inline constexpr StatusCode BadHistoryOperationInvalid{0x80710000};
inline constexpr StatusCode BadHistoryOperationUnsupported{0x80720000};
inline constexpr StatusCode BadNoData{0x809B0000};
inline constexpr StatusCode GoodNoData{0x00A50000};
inline constexpr StatusCode BadAggregateListMismatch{0x80D40000};
inline constexpr StatusCode BadAggregateNotSupported{0x80D50000};
inline constexpr StatusCode BadReferenceTypeIdInvalid{0x804C0000};
inline constexpr StatusCode BadBrowseDirectionInvalid{0x804D0000};
inline constexpr StatusCode BadViewIdUnknown{0x806B0000};
inline constexpr StatusCode BadNoMatch{0x806F0000};
inline constexpr StatusCode BadBrowseNameInvalid{0x80600000};
inline constexpr StatusCode BadRequestTypeInvalid{0x80530000};
inline constexpr StatusCode BadSecurityModeRejected{0x80540000};
inline constexpr StatusCode BadSecurityPolicyRejected{0x80550000};
inline constexpr StatusCode BadTooManySessions{0x80560000};
inline constexpr StatusCode BadWriteNotSupported{0x80730000};
inline constexpr StatusCode BadTypeMismatch{0x80740000};
inline constexpr StatusCode BadTooManySubscriptions{0x80770000};
inline constexpr StatusCode BadTooManyPublishRequests{0x80780000};
inline constexpr StatusCode BadNoSubscription{0x80790000};
inline constexpr StatusCode BadSequenceNumberUnknown{0x807A0000};
inline constexpr StatusCode BadMessageNotAvailable{0x807B0000};
inline constexpr StatusCode BadTcpServerTooBusy{0x807D0000};
inline constexpr StatusCode BadTcpMessageTypeInvalid{0x807E0000};
inline constexpr StatusCode BadTcpSecureChannelUnknown{0x807F0000};
inline constexpr StatusCode BadTcpMessageTooLarge{0x80800000};
inline constexpr StatusCode BadTcpInternalError{0x80820000};
inline constexpr StatusCode BadTcpEndpointUrlInvalid{0x80830000};
inline constexpr StatusCode BadRequestTimeout{0x80850000};
inline constexpr StatusCode BadSecureChannelClosed{0x80860000};
inline constexpr StatusCode BadSecureChannelTokenUnknown{0x80870000};
inline constexpr StatusCode BadSequenceNumberInvalid{0x80880000};
inline constexpr StatusCode BadInvalidArgument{0x80AB0000};
inline constexpr StatusCode BadRequestTooLarge{0x80B80000};
inline constexpr StatusCode BadResponseTooLarge{0x80B90000};
inline constexpr StatusCode BadProtocolVersionUnsupported{0x80BE0000};
inline constexpr StatusCode BadTooManyMonitoredItems{0x80DB0000};
// Events, event filters and conditions.
inline constexpr StatusCode BadMonitoredItemFilterInvalid{0x80430000};
inline constexpr StatusCode BadEventFilterInvalid{0x80470000};
inline constexpr StatusCode BadContentFilterInvalid{0x80480000};
inline constexpr StatusCode BadFilterOperandInvalid{0x80490000};
inline constexpr StatusCode BadTypeDefinitionInvalid{0x80630000};
inline constexpr StatusCode BadEventIdUnknown{0x809A0000};
inline constexpr StatusCode BadFilterOperatorInvalid{0x80C10000};
inline constexpr StatusCode BadFilterOperatorUnsupported{0x80C20000};
inline constexpr StatusCode BadFilterOperandCountMismatch{0x80C30000};
inline constexpr StatusCode BadFilterElementInvalid{0x80C40000};
inline constexpr StatusCode BadFilterLiteralInvalid{0x80C50000};
inline constexpr StatusCode BadConditionBranchAlreadyAcked{0x80CF0000};
inline constexpr StatusCode BadConditionBranchAlreadyConfirmed{0x80D00000};
// Method calls.
inline constexpr StatusCode BadMethodInvalid{0x80750000};
inline constexpr StatusCode BadArgumentsMissing{0x80760000};
inline constexpr StatusCode BadTooManyArguments{0x80E50000};
inline constexpr StatusCode BadInvalidState{0x80AF0000};
// Info bits set on a queued value when older values were discarded.
inline constexpr uint32_t InfoOverflowBits = 0x00000480;
}  // namespace status

}  // namespace opcua
