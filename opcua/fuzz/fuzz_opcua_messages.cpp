// libFuzzer entry: every input is played against a fresh server session
// (see FuzzInput.h), and its bytes are also decoded directly as each
// request type, so both the message decoders and the secure-channel and
// session state machine meet hostile input.

#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "opcua/EventServiceTypes.h"
#include "opcua/HistoryTypes.h"
#include "opcua/MethodTypes.h"
#include "opcua/ServiceTypes.h"
#include "opcua/TransportMessages.h"

namespace {

template <class... T>
void DecodeAs(std::string_view bytes) {
  (
      [&] {
        T value;
        opcua::Decode(bytes, value);
      }(),
      ...);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace opcua;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  DecodeAs<HelloMessage, OpenSecureChannelRequest, CreateSessionRequest, ActivateSessionRequest,
           BrowseRequest, TranslateBrowsePathsToNodeIdsRequest, ReadRequest, WriteRequest,
           CreateMonitoredItemsRequest, PublishRequest, PublishResponse, CallRequest, CallResponse,
           Argument, HistoryReadRequest, ReadRawModifiedDetails, ReadProcessedDetails,
           HistoryReadResponse, EventFilter, EventNotificationList, Variant, DataValue,
           DiagnosticInfo, ExtensionObject>(bytes);
  fuzz::Harness harness;
  harness.Run(data, size);
  return 0;
}
