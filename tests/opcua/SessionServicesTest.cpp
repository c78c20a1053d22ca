// Discovery, session, view and attribute services through the in-memory
// connection.

#include <gtest/gtest.h>

#include <algorithm>

#include "ServerFixture.h"

namespace opcua {
namespace {

using test::ServerFixture;
using test::TestClient;

std::vector<std::string> Names(const BrowseResult& r) {
  std::vector<std::string> out;
  for (const auto& ref : r.references) out.push_back(ref.browseName.name);
  return out;
}

class SessionServices : public ServerFixture {};

TEST_F(SessionServices, DiscoveryAnswersWithoutASession) {
  TestClient client(core);
  ASSERT_TRUE(client.Connect());
  GetEndpointsRequest get;
  get.endpointUrl = "opc.tcp://myhost:4840";
  GetEndpointsResponse endpoints;
  ASSERT_EQ(client.Call(get, endpoints), status::Good);
  ASSERT_EQ(endpoints.endpoints.size(), 1u);
  const EndpointDescription& e = endpoints.endpoints[0];
  EXPECT_EQ(e.endpointUrl, "opc.tcp://myhost:4840");  // the name the client used
  EXPECT_EQ(e.securityPolicyUri, kSecurityPolicyNone);
  EXPECT_EQ(e.securityMode, MessageSecurityMode::None);
  ASSERT_EQ(e.userIdentityTokens.size(), 1u);
  EXPECT_EQ(e.userIdentityTokens[0].tokenType, UserTokenType::Anonymous);

  FindServersResponse servers;
  ASSERT_EQ(client.Call(FindServersRequest{}, servers), status::Good);
  ASSERT_EQ(servers.servers.size(), 1u);
  EXPECT_EQ(servers.servers[0].applicationUri, "urn:test:server");
}

TEST_F(SessionServices, ServicesNeedAnActivatedSessionOnTheirOwnChannel) {
  TestClient client(core);
  ASSERT_TRUE(client.Connect());
  ReadRequest read;
  read.nodesToRead = {{NodeId(0, ids::ObjectsFolder), kAttrBrowseName, "", {}}};
  ReadResponse response;
  EXPECT_EQ(client.Call(read, response), status::BadSessionIdInvalid);

  CreateSessionResponse created;
  ASSERT_EQ(client.Call(CreateSessionRequest{}, created), status::Good);
  client.channel.authenticationToken = created.authenticationToken;
  EXPECT_EQ(client.Call(read, response), status::BadSessionNotActivated);

  ActivateSessionRequest userName;
  userName.userIdentityToken.typeId = NodeId(0, 324);
  userName.userIdentityToken.encoding = ExtensionObject::Encoding::Binary;
  ActivateSessionResponse activated;
  EXPECT_EQ(client.Call(userName, activated), status::BadIdentityTokenRejected);

  std::vector<std::string> locales;
  core.SetLocaleCallback([&](const NodeId&, const std::vector<std::string>& ids) { locales = ids; });
  ActivateSessionRequest anonymous;
  anonymous.userIdentityToken = Wrap(AnonymousIdentityToken{"anonymous"});
  anonymous.localeIds = {"de-DE", "en"};
  ASSERT_EQ(client.Call(anonymous, activated), status::Good);
  EXPECT_EQ(locales, (std::vector<std::string>{"de-DE", "en"}));
  EXPECT_EQ(client.Call(read, response), status::Good);

  // The token is worthless on another channel until the session is moved
  // there by ActivateSession.
  TestClient other(core);
  ASSERT_TRUE(other.Connect());
  other.channel.authenticationToken = client.channel.authenticationToken;
  EXPECT_EQ(other.Call(read, response), status::BadSecureChannelIdInvalid);
  ASSERT_EQ(other.Call(anonymous, activated), status::Good);
  EXPECT_EQ(other.Call(read, response), status::Good);
}

TEST_F(SessionServices, OtherServicesAnswerServiceUnsupported) {
  TestClient client(core);
  ASSERT_TRUE(client.ConnectAndOpenSession());
  for (uint32_t typeId : {494u /* AddReferences */, 488u /* AddNodes */, 9999u}) {
    RequestHeader header;
    header.requestHandle = 4242;
    auto answer = client.Exchange(client.channel.Message(77, typeId, Encode(header)));
    ASSERT_EQ(answer.size(), 1u);
    ServiceFault fault;
    ASSERT_EQ(TestClient::Answer(answer[0], fault), status::BadServiceUnsupported) << typeId;
    EXPECT_EQ(answer[0].requestId, 77u);
  }
}

TEST_F(SessionServices, BrowseFollowsStandardAndApplicationReferences) {
  TestClient client(core);
  ASSERT_TRUE(client.ConnectAndOpenSession());
  auto browse = [&](NodeId node, BrowseDirection direction, uint32_t refType,
                    uint32_t nodeClassMask = 0) {
    BrowseRequest req;
    req.nodesToBrowse = {{node, direction, NodeId(0, refType), true, nodeClassMask, 0x3F}};
    BrowseResponse resp;
    EXPECT_EQ(client.Call(req, resp), status::Good);
    return resp.results.at(0);
  };
  EXPECT_EQ(Names(browse(NodeId(0, ids::RootFolder), BrowseDirection::Forward,
                         ids::HierarchicalReferences)),
            (std::vector<std::string>{"Objects", "Types", "Views"}));
  EXPECT_EQ(Names(browse(NodeId(0, ids::ObjectsFolder), BrowseDirection::Forward, ids::Organizes)),
            (std::vector<std::string>{"Server", "App"}));

  BrowseResult app = browse(folder(), BrowseDirection::Forward, ids::HierarchicalReferences);
  ASSERT_EQ(Names(app), (std::vector<std::string>{"A", "B", "RO"}));
  const ReferenceDescription& a = app.references[0];
  EXPECT_EQ(a.nodeId.nodeId, var("A"));
  EXPECT_EQ(a.referenceTypeId, NodeId(0, ids::HasComponent));
  EXPECT_EQ(a.nodeClass, NodeClass::Variable);
  EXPECT_EQ(a.typeDefinition.nodeId, NodeId(0, ids::BaseDataVariableType));
  EXPECT_EQ(a.browseName, (QualifiedName{ns, "A"}));

  BrowseResult parent = browse(var("A"), BrowseDirection::Inverse, ids::HierarchicalReferences);
  EXPECT_EQ(Names(parent), (std::vector<std::string>{"App"}));
  // Only objects: the Server object's variables are filtered out.
  BrowseResult objects = browse(NodeId(0, ids::Server), BrowseDirection::Forward,
                                ids::HierarchicalReferences, uint32_t(NodeClass::Object));
  EXPECT_EQ(Names(objects), (std::vector<std::string>{"ServerCapabilities"}));

  BrowseRequest bad;
  bad.nodesToBrowse = {{NodeId(ns, "nope"), BrowseDirection::Forward, {}, true, 0, 0x3F},
                       {folder(), BrowseDirection::Forward, NodeId(0, ids::ObjectsFolder), true, 0, 0x3F},
                       {folder(), static_cast<BrowseDirection>(7), {}, true, 0, 0x3F}};
  BrowseResponse badResp;
  ASSERT_EQ(client.Call(bad, badResp), status::Good);
  EXPECT_EQ(badResp.results.at(0).statusCode, status::BadNodeIdUnknown);
  EXPECT_EQ(badResp.results.at(1).statusCode, status::BadReferenceTypeIdInvalid);
  EXPECT_EQ(badResp.results.at(2).statusCode, status::BadBrowseDirectionInvalid);
}

TEST_F(SessionServices, BrowseNextPagesThroughContinuationPoints) {
  TestClient client(core);
  ASSERT_TRUE(client.ConnectAndOpenSession());
  BrowseRequest req;
  req.requestedMaxReferencesPerNode = 2;
  req.nodesToBrowse = {{folder(), BrowseDirection::Forward, NodeId(0, ids::HasComponent), true, 0, 0x3F}};
  BrowseResponse first;
  ASSERT_EQ(client.Call(req, first), status::Good);
  EXPECT_EQ(Names(first.results[0]), (std::vector<std::string>{"A", "B"}));
  ASSERT_FALSE(first.results[0].continuationPoint.isNull);

  BrowseNextRequest next;
  next.continuationPoints = {first.results[0].continuationPoint};
  BrowseNextResponse rest;
  ASSERT_EQ(client.Call(next, rest), status::Good);
  EXPECT_EQ(Names(rest.results[0]), (std::vector<std::string>{"RO"}));
  EXPECT_TRUE(rest.results[0].continuationPoint.isNull);
  // A used continuation point is gone.
  ASSERT_EQ(client.Call(next, rest), status::Good);
  EXPECT_EQ(rest.results[0].statusCode, status::BadContinuationPointInvalid);

  // Each session holds a bounded number of them.
  for (uint32_t i = 0; i < ServerLimits{}.maxContinuationPointsPerSession; ++i) {
    ASSERT_EQ(client.Call(req, first), status::Good);
    EXPECT_EQ(first.results[0].statusCode, status::Good);
  }
  ASSERT_EQ(client.Call(req, first), status::Good);
  EXPECT_EQ(first.results[0].statusCode, status::BadNoContinuationPoints);
}

TEST_F(SessionServices, TranslateBrowsePathsFindsNodesByName) {
  TestClient client(core);
  ASSERT_TRUE(client.ConnectAndOpenSession());
  auto path = [](NodeId start, std::vector<QualifiedName> names) {
    BrowsePath p;
    p.startingNode = start;
    for (auto& n : names)
      p.relativePath.elements.push_back({NodeId(0, ids::HierarchicalReferences), false, true, n});
    return p;
  };
  TranslateBrowsePathsToNodeIdsRequest req;
  req.browsePaths = {path(NodeId(0, ids::RootFolder), {{0, "Objects"}, {0, "Server"}}),
                     path(NodeId(0, ids::ObjectsFolder), {{ns, "App"}, {ns, "B"}}),
                     path(NodeId(0, ids::ObjectsFolder), {{0, "App"}}),
                     path(NodeId(0, ids::ObjectsFolder), {{0, ""}}),
                     path(NodeId(0, ids::ObjectsFolder), {})};
  TranslateBrowsePathsToNodeIdsResponse resp;
  ASSERT_EQ(client.Call(req, resp), status::Good);
  ASSERT_EQ(resp.results.size(), 5u);
  EXPECT_EQ(resp.results[0].targets.at(0).targetId.nodeId, NodeId(0, ids::Server));
  EXPECT_EQ(resp.results[1].targets.at(0).targetId.nodeId, var("B"));
  EXPECT_EQ(resp.results[2].statusCode, status::BadNoMatch);  // wrong namespace
  EXPECT_EQ(resp.results[3].statusCode, status::BadBrowseNameInvalid);
  EXPECT_EQ(resp.results[4].statusCode, status::BadNothingToDo);
}

TEST_F(SessionServices, ReadAnswersTheAttributesOfEachNodeClass) {
  TestClient client(core);
  ASSERT_TRUE(client.ConnectAndOpenSession());
  struct Case {
    NodeId node;
    uint32_t attribute;
    Variant expected;
    StatusCode status = status::Good;
  } cases[] = {
      {var("A"), kAttrValue, Variant("empty")},
      {var("A"), kAttrNodeClass, Variant(int32_t(NodeClass::Variable))},
      {var("A"), kAttrBrowseName, Variant(QualifiedName{ns, "A"})},
      {var("A"), kAttrDisplayName, Variant(LocalizedText{"", "A"})},
      {var("A"), kAttrDataType, Variant(NodeId(0, ids::String))},
      {var("A"), kAttrValueRank, Variant(int32_t{-1})},
      {var("A"), kAttrAccessLevel, Variant(uint8_t{3})},
      {var("A"), kAttrUserAccessLevel, Variant(uint8_t{3})},
      {var("RO"), kAttrAccessLevel, Variant(uint8_t{1})},
      {var("A"), kAttrIsAbstract, {}, status::BadAttributeIdInvalid},
      {var("A"), 99, {}, status::BadAttributeIdInvalid},
      {folder(), kAttrEventNotifier, Variant(uint8_t{0})},
      {folder(), kAttrValue, {}, status::BadAttributeIdInvalid},
      {NodeId(0, ids::FolderType), kAttrIsAbstract, Variant(false)},
      {NodeId(0, ids::HasComponent), kAttrInverseName, Variant(LocalizedText{"", "ComponentOf"})},
      {NodeId(0, ids::References), kAttrSymmetric, Variant(true)},
      {NodeId(0, ids::ServerStatus_State), kAttrValue, Variant(int32_t{0})},
      {NodeId(ns, "missing"), kAttrValue, {}, status::BadNodeIdUnknown},
  };
  ReadRequest req;
  for (const auto& c : cases) req.nodesToRead.push_back({c.node, c.attribute, "", {}});
  ReadResponse resp;
  ASSERT_EQ(client.Call(req, resp), status::Good);
  ASSERT_EQ(resp.results.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    const DataValue& got = resp.results[i];
    EXPECT_EQ(got.status, c.status) << c.node.ToString() << " attribute " << c.attribute;
    if (c.status.IsGood()) {
      EXPECT_TRUE(got.value == c.expected) << c.node.ToString() << " attribute " << c.attribute;
    }
  }
}

TEST_F(SessionServices, ServerObjectDescribesTheServer) {
  TestClient client(core);
  ASSERT_TRUE(client.ConnectAndOpenSession());
  ReadRequest req;
  req.nodesToRead = {{NodeId(0, ids::ServerStatus), kAttrValue, "", {}},
                     {NodeId(0, ids::NamespaceArray), kAttrValue, "", {}},
                     {NodeId(0, ids::ServerArray), kAttrValue, "", {}}};
  ReadResponse resp;
  ASSERT_EQ(client.Call(req, resp), status::Good);
  ServerStatusDataType serverStatus;
  ASSERT_EQ(Unwrap(std::get<ExtensionObject>(resp.results[0].value.scalar), serverStatus), status::Good);
  EXPECT_EQ(serverStatus.state, 0);
  EXPECT_EQ(serverStatus.currentTime, clock.Now());
  const Variant& namespaces = resp.results[1].value;
  ASSERT_TRUE(namespaces.isArray);
  ASSERT_EQ(namespaces.array.size(), 2u);
  EXPECT_EQ(std::get<std::string>(namespaces.array[1]), "urn:test:app");
  EXPECT_EQ(std::get<std::string>(resp.results[2].value.array.at(0)), "urn:test:server");
}

TEST_F(SessionServices, VariablesCarryADescriptionAndEngineeringUnitsAsAProperty) {
  std::string error;
  ASSERT_TRUE(core.SetDescription(var("A"), {"en", "The first value"}, error)) << error;
  EUInformation percent;
  percent.namespaceUri = "urn:units";
  percent.unitId = 20529;
  percent.displayName = {"", "%"};
  percent.description = {"", "percent"};
  // The first units are replaced, not added beside them.
  ASSERT_TRUE(core.SetEngineeringUnits(var("A"), EUInformation{}, error)) << error;
  ASSERT_TRUE(core.SetEngineeringUnits(var("A"), percent, error)) << error;

  EXPECT_FALSE(core.SetDescription(NodeId(ns, "missing"), {"", "x"}, error));
  EXPECT_NE(error.find("ns=1;s=missing"), std::string::npos) << error;
  EXPECT_FALSE(core.SetEngineeringUnits(folder(), percent, error));
  EXPECT_NE(error.find("ns=1;s=App"), std::string::npos) << error;
  // A variable whose id the property of B would take keeps its value.
  uint32_t handle = 0;
  ASSERT_TRUE(core.AddVariable(folder(), var("B.EngineeringUnits"), "B.EngineeringUnits", "kept",
                               false, handle, error)) << error;
  EXPECT_FALSE(core.SetEngineeringUnits(var("B"), percent, error));
  EXPECT_NE(error.find("ns=1;s=B.EngineeringUnits"), std::string::npos) << error;

  TestClient client(core);
  ASSERT_TRUE(client.ConnectAndOpenSession());
  BrowseRequest browse;
  browse.nodesToBrowse = {
      {var("A"), BrowseDirection::Forward, NodeId(0, ids::HasProperty), true, 0, 0x3F},
      {var("B"), BrowseDirection::Forward, NodeId(0, ids::HasProperty), true, 0, 0x3F}};
  BrowseResponse browsed;
  ASSERT_EQ(client.Call(browse, browsed), status::Good);
  ASSERT_EQ(Names(browsed.results.at(0)), (std::vector<std::string>{"EngineeringUnits"}));
  EXPECT_TRUE(browsed.results.at(1).references.empty()) << "B has no units";
  const ReferenceDescription& property = browsed.results[0].references[0];
  EXPECT_EQ(property.referenceTypeId, NodeId(0, ids::HasProperty));
  EXPECT_EQ(property.browseName, (QualifiedName{0, "EngineeringUnits"}));
  EXPECT_EQ(property.nodeClass, NodeClass::Variable);
  EXPECT_EQ(property.typeDefinition.nodeId, NodeId(0, ids::PropertyType));

  const NodeId units = property.nodeId.nodeId;
  ReadRequest read;
  read.nodesToRead = {{units, kAttrValue, "", {}},
                      {units, kAttrDataType, "", {}},
                      {var("A"), kAttrDescription, "", {}},
                      {var("B"), kAttrDescription, "", {}},
                      {NodeId(0, ids::EUInformation), kAttrBrowseName, "", {}},
                      {var("B.EngineeringUnits"), kAttrValue, "", {}}};
  ReadResponse resp;
  ASSERT_EQ(client.Call(read, resp), status::Good);
  ASSERT_EQ(resp.results.size(), 6u);
  const auto* body = std::get_if<ExtensionObject>(&resp.results[0].value.scalar);
  ASSERT_NE(body, nullptr) << "the units are a structure";
  EXPECT_EQ(body->typeId, NodeId(0, EUInformation::kTypeId));
  EUInformation got;
  ASSERT_EQ(Unwrap(*body, got), status::Good);
  EXPECT_EQ(got.namespaceUri, percent.namespaceUri);
  EXPECT_EQ(got.unitId, percent.unitId);
  EXPECT_EQ(got.displayName, percent.displayName);
  EXPECT_EQ(got.description, percent.description);
  EXPECT_TRUE(resp.results[1].value == Variant(NodeId(0, ids::EUInformation)));
  EXPECT_TRUE(resp.results[2].value == Variant(LocalizedText{"en", "The first value"}));
  EXPECT_TRUE(resp.results[3].value == Variant(LocalizedText{}));
  EXPECT_TRUE(resp.results[4].value == Variant(QualifiedName{0, "EUInformation"}));
  EXPECT_EQ(Text(resp.results[5]), "kept");

  // Clients may not change the units.
  WriteRequest write;
  write.nodesToWrite = {{units, kAttrValue, "", DataValue::Of(Wrap(EUInformation{}))}};
  WriteResponse written;
  ASSERT_EQ(client.Call(write, written), status::Good);
  EXPECT_EQ(written.results.at(0), status::BadNotWritable);
}

TEST_F(SessionServices, WritesReachTheCallbackAndAreStoredOnlyWhenAccepted) {
  std::vector<std::pair<uint32_t, Variant>> seen;
  core.SetWriteCallback([&](uint32_t handle, const NodeId&, Variant& value) {
    seen.emplace_back(handle, value);
    if (value.Type() == BuiltinType::Double) {
      value = Variant(std::to_string(std::get<double>(value.scalar)).substr(0, 3));
      return status::Good;
    }
    return value.Type() == BuiltinType::String ? status::Good : status::BadTypeMismatch;
  });
  TestClient client(core);
  ASSERT_TRUE(client.ConnectAndOpenSession());
  auto write = [](NodeId node, Variant v, uint32_t attribute = kAttrValue) {
    return WriteValue{node, attribute, "", DataValue::Of(std::move(v))};
  };
  WriteRequest req;
  req.nodesToWrite = {write(var("A"), "2.5"),
                      write(var("B"), true),
                      write(var("B"), 7.25),
                      write(var("RO"), "x"),
                      write(NodeId(0, ids::ServerStatus_State), int32_t{1}),
                      write(var("A"), "y", kAttrDisplayName),
                      write(var("A"), "y", 99),
                      write(NodeId(ns, "missing"), "y")};
  WriteResponse resp;
  ASSERT_EQ(client.Call(req, resp), status::Good);
  std::vector<StatusCode> expected = {status::Good,           status::BadTypeMismatch,
                                      status::Good,           status::BadNotWritable,
                                      status::BadNotWritable, status::BadNotWritable,
                                      status::BadAttributeIdInvalid, status::BadNodeIdUnknown};
  EXPECT_EQ(resp.results, expected);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].first, handles[0]);

  ReadRequest read;
  read.nodesToRead = {{var("A"), kAttrValue, "", {}}, {var("B"), kAttrValue, "", {}}};
  ReadResponse values;
  ASSERT_EQ(client.Call(read, values), status::Good);
  EXPECT_EQ(Text(values.results[0]), "2.5");
  EXPECT_EQ(Text(values.results[1]), "7.2");  // as the callback rewrote it
}

TEST_F(SessionServices, WritesCarryingAStatusAServerTimestampOrAnOversizedValueAreRefused) {
  TestClient client(core);
  ASSERT_TRUE(client.ConnectAndOpenSession());
  auto withStatus = [](StatusCode code) {
    DataValue v = DataValue::Of(std::string("2"));
    v.hasStatus = true;
    v.status = code;
    return v;
  };
  DataValue serverStamped = DataValue::Of(std::string("3"));
  serverStamped.hasServerTimestamp = true;
  serverStamped.serverTimestamp = clock.Now();
  DataValue sourceStamped = DataValue::Of(std::string("4"));
  sourceStamped.hasSourceTimestamp = true;
  sourceStamped.sourceTimestamp = DateTime::FromUnixMicros(1'600'000'000'000'000LL);
  struct Case {
    DataValue value;
    StatusCode expected;
    const char* stored;  // what A reads afterwards
  } cases[] = {
      {withStatus(StatusCode{0x80000000}), status::BadWriteNotSupported, "empty"},
      {withStatus(StatusCode{0x40000000}), status::BadWriteNotSupported, "empty"},  // Uncertain
      {serverStamped, status::BadWriteNotSupported, "empty"},
      {withStatus(status::Good), status::Good, "2"},
      {sourceStamped, status::Good, "4"},
      // Every monitored item would keep a copy of a long value.
      {DataValue::Of(std::string(ServerLimits{}.maxWrittenValueBytes, 'x')), status::BadOutOfRange, "4"},
  };
  for (const auto& c : cases) {
    WriteRequest write;
    write.nodesToWrite = {WriteValue{var("A"), kAttrValue, "", c.value}};
    WriteResponse resp;
    ASSERT_EQ(client.Call(write, resp), status::Good);
    EXPECT_EQ(resp.results, (std::vector<StatusCode>{c.expected})) << c.stored;
    ReadRequest read;
    read.nodesToRead = {{var("A"), kAttrValue, "", {}}};
    ReadResponse values;
    ASSERT_EQ(client.Call(read, values), status::Good);
    EXPECT_EQ(Text(values.results.at(0)), c.stored);
    EXPECT_TRUE(values.results[0].status.IsGood());
  }
}

TEST_F(SessionServices, RequestSizesAreBounded) {
  TestClient client(core);
  ASSERT_TRUE(client.ConnectAndOpenSession());
  ReadResponse resp;
  EXPECT_EQ(client.Call(ReadRequest{}, resp), status::BadNothingToDo);
  ReadRequest tooMany;
  tooMany.nodesToRead.resize(ServerLimits{}.maxNodesPerRequest + 1, {NodeId(0, 85), 1, "", {}});
  EXPECT_EQ(client.Call(tooMany, resp), status::BadTooManyOperations);
}

class SessionLimits : public ServerFixture {
 protected:
  static ServerLimits Limits() {
    ServerLimits l;
    l.maxSessions = 3;
    l.maxConnections = 5;
    return l;
  }
  SessionLimits() : ServerFixture(Limits()) {}
};

TEST_F(SessionLimits, SessionsBeyondTheLimitOrAfterRevokeAreRefused) {
  // Sessions with a subscription are in use and keep their places.
  std::vector<std::unique_ptr<TestClient>> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(std::make_unique<TestClient>(core));
    ASSERT_TRUE(clients.back()->ConnectAndOpenSession());
    CreateSubscription(*clients.back());
  }
  EXPECT_EQ(core.SessionCount(), 3u);
  TestClient extra(core);
  ASSERT_TRUE(extra.Connect());
  EXPECT_EQ(extra.OpenSession(), status::BadTooManySessions);

  // Revoked: a freed place is not given out, existing sessions go on.
  CloseSessionResponse closed;
  ASSERT_EQ(clients[2]->Call(CloseSessionRequest{}, closed), status::Good);
  EXPECT_EQ(core.SessionCount(), 2u);
  core.SetAcceptingSessions(false);
  EXPECT_EQ(extra.OpenSession(), status::BadShutdown) << "refused for the revoke, not for a full table";
  ReadRequest read;
  read.nodesToRead = {{var("A"), kAttrValue, "", {}}};
  ReadResponse resp;
  EXPECT_EQ(clients[0]->Call(read, resp), status::Good);
  core.SetAcceptingSessions(true);
  EXPECT_EQ(extra.OpenSession(), status::Good);
  EXPECT_EQ(core.SessionCount(), 3u);
}

TEST_F(SessionLimits, ConnectionsBeyondTheLimitAreRefused) {
  std::vector<std::unique_ptr<MemoryConnection>> open;
  for (int i = 0; i < 5; ++i) {
    open.push_back(std::make_unique<MemoryConnection>(core));
    EXPECT_TRUE(open.back()->Accepted());
  }
  EXPECT_EQ(core.ConnectionCount(), 5u);
  MemoryConnection refused(core);
  EXPECT_FALSE(refused.Accepted());
  open.pop_back();
  EXPECT_TRUE(MemoryConnection(core).Accepted());
}

TEST_F(SessionLimits, SilentSessionsTimeOutButWaitingPublishRequestsKeepThemAlive) {
  TestClient subscriber(core);
  ASSERT_TRUE(subscriber.ConnectAndOpenSession());
  CreateSubscriptionRequest slow;
  slow.requestedPublishingInterval = 100'000;
  slow.requestedMaxKeepAliveCount = 10;
  CreateSubscriptionResponse created;
  ASSERT_EQ(subscriber.Call(slow, created), status::Good);
  PublishRequest publish;
  EXPECT_TRUE(subscriber.Exchange(subscriber.channel.Request(publish)).empty());

  TestClient client(core);
  ASSERT_TRUE(client.ConnectAndOpenSession());
  clock.Advance(59'000);
  core.Tick();
  EXPECT_EQ(core.SessionCount(), 2u);
  clock.Advance(2'000);
  core.Tick();
  EXPECT_EQ(core.SessionCount(), 1u);  // the subscriber's
  ReadRequest read;
  read.nodesToRead = {{var("A"), kAttrValue, "", {}}};
  ReadResponse resp;
  EXPECT_EQ(client.Call(read, resp), status::BadSessionIdInvalid);
}

}  // namespace
}  // namespace opcua
