// Writes the seed corpus of fuzz_opcua_secured: real secured OPN chunks on
// their own, and sessions on every policy and mode with requests, a
// renewal, tampered and truncated chunks, in the record format of
// SecuredFuzzInput.h. Usage: make_secured_fuzz_corpus DIRECTORY

#include <cstdio>
#include <string>

#include "SecuredFuzzInput.h"

using namespace opcua;
using namespace opcua::fuzz;

namespace {

// A secured OPN as a client sends it after HEL. Valid on any server with
// the test identity: it depends on nothing the server sends.
std::string SecuredOpen(const char* policy, MessageSecurityMode mode) {
  ClientChannel channel;
  std::string error;
  if (!channel.SetSecurity(TestClientSecurity(policy, mode), error)) {
    std::fprintf(stderr, "cannot secure the seed channel: %s\n", error.c_str());
    return {};
  }
  channel.Hello(kFuzzUrl);
  return channel.Open(SecurityTokenRequestType::Issue, 600'000);
}

std::string Position(uint16_t at) { return std::string(reinterpret_cast<const char*>(&at), 2); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const NodeId a(1, "A");

  ReadRequest read;
  read.nodesToRead = {{a, 13, "", {}}, {NodeId(0, ids::ServerStatus), 13, "", {}}};
  WriteRequest write;
  write.nodesToWrite = {{a, 13, "", DataValue::Of(std::string("2.5"))}};
  BrowseRequest browse;
  browse.nodesToBrowse = {{NodeId(1, "F"), BrowseDirection::Forward, NodeId(0, ids::HierarchicalReferences), true, 0, 0x3F}};
  CreateSubscriptionRequest subscribe;
  subscribe.requestedPublishingInterval = 50;
  subscribe.requestedMaxKeepAliveCount = 3;
  subscribe.requestedLifetimeCount = 30;
  PublishRequest publish;
  GetEndpointsRequest endpoints;

  const std::string readData = RequestData(read);
  bool ok = true;
  int policy = 0;
  for (const char* uri : kSecuredPolicies) {
    for (MessageSecurityMode mode : {MessageSecurityMode::Sign, MessageSecurityMode::SignAndEncrypt}) {
      const std::string name = std::string(uri).substr(std::string(uri).find('#') + 1) +
                               (mode == MessageSecurityMode::Sign ? "_sign" : "_encrypt");
      const std::string open = SecuredOpen(uri, mode);
      ok &= !open.empty();
      ok &= WriteSeed(dir, "open_" + name,
                      EncodeRecords(SecuredLead(false, policy, mode), {{kSecuredRaw, open}}));
      ok &= WriteSeed(dir, "session_" + name,
                      EncodeRecords(SecuredLead(true, policy, mode),
                                    {{kSecuredRequest, RequestData(endpoints)},
                                     {kSecuredRequest, RequestData(browse)},
                                     {kSecuredRequest, readData},
                                     {kSecuredRequest, RequestData(write)},
                                     {kSecuredRequest, RequestData(subscribe)},
                                     {kSecuredRequest, RequestData(publish)},
                                     {kElapse, "\x05"},
                                     {kRenew, ""},
                                     {kSecuredRequest, readData},
                                     {kCloseChannel, ""}}));
      // The signature's last byte, then a byte in the middle.
      ok &= WriteSeed(dir, "tampered_" + name,
                      EncodeRecords(SecuredLead(true, policy, mode),
                                    {{kTampered, Position(0xFFFF) + "\x01\x80" + readData},
                                     {kTampered, Position(40) + "\x01\x01" + readData}}));
      ok &= WriteSeed(dir, "truncated_" + name,
                      EncodeRecords(SecuredLead(true, policy, mode),
                                    {{kTruncated, Position(60) + readData}}));
    }
    ++policy;
  }
  if (!ok) {
    std::fprintf(stderr, "cannot write the corpus to %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
