#include "opcua/ServerCore.h"

#include <algorithm>

#include "opcua/EventTypes.h"
#include "opcua/NodeIds.h"
#include "opcua/ServerCoreInternal.h"

namespace opcua {

ServerCore::ServerCore(ServerConfig config, const Clock& clock)
    : config_(std::move(config)),
      clock_(clock),
      startTime_(clock.Now()),
      incompleteBudget_(config_.limits.maxIncompleteRequestBytes),
      signInLimiter_(config_.limits.signIn) {
  namespaces_.push_back("http://opcfoundation.org/UA/");
  ServerDescription d{config_.applicationUri, config_.productUri, config_.applicationName,
                      config_.productName, config_.manufacturerName, config_.softwareVersion,
                      config_.buildNumber, config_.limits.maxNodesPerRequest,
                      static_cast<uint16_t>(config_.limits.maxContinuationPointsPerSession),
                      config_.limits.maxHistoryValuesPerNode,
                      static_cast<uint16_t>(config_.limits.maxHistoryContinuationPointsPerSession)};
  AddStandardNodes(
      space_, d, [this] { return namespaces_; }, [this] { return clock_.Now(); }, startTime_);
  AddStandardEventTypes(space_);
  RegisterServices();
}

ServerCore::~ServerCore() = default;

// ---- Address space set-up --------------------------------------------------------

uint16_t ServerCore::RegisterNamespace(const std::string& uri) {
  for (size_t i = 0; i < namespaces_.size(); ++i)
    if (namespaces_[i] == uri) return static_cast<uint16_t>(i);
  namespaces_.push_back(uri);
  return static_cast<uint16_t>(namespaces_.size() - 1);
}

bool ServerCore::AddFolder(const NodeId& parent, const NodeId& id, const std::string& name,
                           std::string& error) {
  if (!space_.Find(parent)) {
    error = "parent " + parent.ToString() + " of folder " + id.ToString() + " does not exist";
    return false;
  }
  Node n;
  n.id = id;
  n.nodeClass = NodeClass::Object;
  n.browseName = {id.ns, name};
  n.displayName = {"", name};
  if (!space_.Add(std::move(n))) {
    error = "node " + id.ToString() + " already exists";
    return false;
  }
  space_.Link(id, ids::HasTypeDefinition, NodeId(0, ids::FolderType));
  space_.Link(parent, ids::Organizes, id);
  return true;
}

bool ServerCore::AddVariable(const NodeId& parent, const NodeId& id, const std::string& name,
                             const Variant& initial, bool writable, uint32_t& handle,
                             std::string& error) {
  if (!space_.Find(parent)) {
    error = "parent " + parent.ToString() + " of variable " + id.ToString() + " does not exist";
    return false;
  }
  if (initial.isArray || initial.IsEmpty()) {
    error = "variable " + id.ToString() + " needs a scalar initial value";
    return false;
  }
  Node n;
  n.id = id;
  n.nodeClass = NodeClass::Variable;
  n.browseName = {id.ns, name};
  n.displayName = {"", name};
  n.dataType = NodeId(0, static_cast<uint32_t>(initial.Type()));
  n.valueRank = -1;
  n.accessLevel = kAccessRead | (writable ? kAccessWrite : 0);
  n.value = DataValue::Of(initial);
  n.value.hasStatus = true;
  n.value.hasSourceTimestamp = n.value.hasServerTimestamp = true;
  n.value.sourceTimestamp = n.value.serverTimestamp = clock_.Now();
  n.appHandle = static_cast<int64_t>(appVariables_.size());
  Node* added = space_.Add(std::move(n));
  if (!added) {
    error = "node " + id.ToString() + " already exists";
    return false;
  }
  space_.Link(id, ids::HasTypeDefinition, NodeId(0, ids::BaseDataVariableType));
  space_.Link(parent, ids::HasComponent, id);
  handle = static_cast<uint32_t>(appVariables_.size());
  appVariables_.push_back(added);
  return true;
}

bool ServerCore::SetDescription(const NodeId& id, const LocalizedText& description,
                                std::string& error) {
  Node* node = space_.Find(id);
  if (!node) {
    error = "node " + id.ToString() + " to describe does not exist";
    return false;
  }
  node->description = description;
  return true;
}

// ---- Connections ----------------------------------------------------------------

namespace {

// Local clients are the application's own and are not limited per peer.
bool IsLoopback(const std::string& address) {
  return address.empty() || address.rfind("127.", 0) == 0 || address == "::1" ||
         address.rfind("::ffff:127.", 0) == 0;
}

}  // namespace

ConnectionId ServerCore::OpenConnection(const std::string& peerAddress) {
  const ServerLimits& limits = config_.limits;
  if (connections_.size() >= limits.maxConnections) return 0;
  std::string peer = IsLoopback(peerAddress) ? std::string() : peerAddress;
  if (!peer.empty() && connectionsPerPeer_[peer] >= limits.maxConnectionsPerPeer) return 0;
  auto c = std::make_unique<Connection>();
  c->id = nextConnectionId_++;
  c->channel = std::make_unique<ServerSecureChannel>(nextChannelId_++, limits.transport, clock_,
                                                     &incompleteBudget_, &config_.security);
  c->peer = peer;
  c->address = peerAddress;
  if (!peer.empty()) ++connectionsPerPeer_[peer];
  c->openedMs = c->lastReceiveMs = clock_.MonotonicMs();
  ConnectionId id = c->id;
  connections_.emplace(id, std::move(c));
  connectionCount_ = connections_.size();
  return id;
}

ServerCore::Connection* ServerCore::FindConnection(ConnectionId id) {
  auto it = connections_.find(id);
  return it == connections_.end() ? nullptr : it->second.get();
}

void ServerCore::MarkOutput(Connection& c) {
  if (c.channel->Output().empty()) return;
  withOutput_.insert(c.id);
  if (c.channel->Output().size() > config_.limits.maxPendingOutputBytes) RequestClose(c);
}

void ServerCore::RequestClose(Connection& c) { toClose_.insert(c.id); }

bool ServerCore::Receive(ConnectionId id, std::string_view bytes) {
  Connection* c = FindConnection(id);
  if (!c) return false;
  c->lastReceiveMs = clock_.MonotonicMs();
  return Serve(*c, bytes);
}

bool ServerCore::ServeNextChunk(ConnectionId id) {
  Connection* c = FindConnection(id);
  return c && Serve(*c, {});
}

bool ServerCore::Serve(Connection& c, std::string_view bytes) {
  std::vector<IncomingRequest> requests;
  bool ok = c.channel->OnBytes(bytes, requests);
  for (const auto& request : requests) HandleRequest(c, request);
  MarkOutput(c);
  if (!ok) RequestClose(c);
  if (ok && c.channel->HasBacklog())
    backlog_.insert(c.id);
  else
    backlog_.erase(c.id);
  return ok;
}

std::string ServerCore::TakeOutput(ConnectionId id) {
  Connection* c = FindConnection(id);
  if (!c) return {};
  std::string out;
  out.swap(c->channel->Output());
  return out;
}

std::vector<ConnectionId> ServerCore::TakeConnectionsWithOutput() {
  std::vector<ConnectionId> out(withOutput_.begin(), withOutput_.end());
  withOutput_.clear();
  return out;
}

std::vector<ConnectionId> ServerCore::TakeConnectionsToClose() {
  std::vector<ConnectionId> out(toClose_.begin(), toClose_.end());
  toClose_.clear();
  return out;
}

void ServerCore::CloseConnection(ConnectionId id) {
  DropSignInsOf(id);
  for (auto& [number, s] : sessions_) {
    if (s->connection != id) continue;
    // The session outlives its connection until it times out; the Publish
    // requests that came over the connection cannot be answered any more.
    s->connection = 0;
    s->publishQueue.clear();
  }
  if (Connection* c = FindConnection(id); c && !c->peer.empty())
    if (--connectionsPerPeer_[c->peer] == 0) connectionsPerPeer_.erase(c->peer);
  connections_.erase(id);
  withOutput_.erase(id);
  toClose_.erase(id);
  backlog_.erase(id);
  connectionCount_ = connections_.size();
}

// ---- Dispatch ------------------------------------------------------------------

template <class Resp>
void ServerCore::SendResponse(Connection& c, uint32_t requestId, Resp& response,
                              uint32_t requestHandle) {
  response.responseHeader.timestamp = clock_.Now();
  response.responseHeader.requestHandle = requestHandle;
  if (!c.channel->SendResponse(requestId, response))
    SendFault(c, requestId, requestHandle, status::BadResponseTooLarge);
  MarkOutput(c);
}

// The subscription services answer deferred Publish requests from another
// file; without this the build links only when the optimiser happens to
// keep an out-of-line copy.
template void ServerCore::SendResponse<PublishResponse>(Connection&, uint32_t, PublishResponse&,
                                                        uint32_t);
template void ServerCore::SendResponse<ActivateSessionResponse>(Connection&, uint32_t,
                                                                ActivateSessionResponse&, uint32_t);

void ServerCore::SendFault(Connection& c, uint32_t requestId, uint32_t requestHandle,
                           StatusCode code) {
  ServiceFault fault;
  fault.responseHeader.timestamp = clock_.Now();
  fault.responseHeader.requestHandle = requestHandle;
  fault.responseHeader.serviceResult = code;
  c.channel->SendResponse(requestId, fault);
  MarkOutput(c);
}

template <class Req, class Resp, bool NeedsSession>
void ServerCore::Register(void (ServerCore::*service)(Context&, const Req&, Resp&)) {
  // Each entry decodes its own request type, checks the session when the
  // service needs one, runs the service and sends its answer.
  struct Entry {
    static void Run(ServerCore& self, Connection& c, const IncomingRequest& in,
                    void (ServerCore::*svc)(Context&, const Req&, Resp&)) {
      Req req;
      StatusCode decoded = Decode(in.body, req);
      uint32_t handle = req.requestHeader.requestHandle;
      if (!decoded.IsGood()) return self.SendFault(c, in.requestId, handle, decoded);
      Context ctx{c, in.requestId, req.requestHeader};
      if constexpr (NeedsSession) {
        Session* s = self.FindSession(req.requestHeader.authenticationToken);
        StatusCode check = !s                          ? status::BadSessionIdInvalid
                           : s->connection != c.id     ? status::BadSecureChannelIdInvalid
                           : !s->activated             ? status::BadSessionNotActivated
                                                       : status::Good;
        if (!check.IsGood()) return self.SendFault(c, in.requestId, handle, check);
        s->lastActivityMs = self.clock_.MonotonicMs();
        ctx.session = s;
      }
      Resp resp;
      (self.*svc)(ctx, req, resp);
      if (ctx.deferred) return;
      if (!ctx.serviceResult.IsGood())
        return self.SendFault(c, in.requestId, handle, ctx.serviceResult);
      self.SendResponse(c, in.requestId, resp, handle);
    }
  };
  services_.emplace(Req::kTypeId, [service](ServerCore& self, Connection& c,
                                             const IncomingRequest& in) {
    Entry::Run(self, c, in, service);
  });
}

void ServerCore::RegisterServices() {
  Register<FindServersRequest, FindServersResponse, false>(&ServerCore::FindServers);
  Register<GetEndpointsRequest, GetEndpointsResponse, false>(&ServerCore::GetEndpoints);
  Register<CreateSessionRequest, CreateSessionResponse, false>(&ServerCore::CreateSession);
  Register<ActivateSessionRequest, ActivateSessionResponse, false>(&ServerCore::ActivateSession);
  Register<CloseSessionRequest, CloseSessionResponse, false>(&ServerCore::CloseSession);
  Register<BrowseRequest, BrowseResponse, true>(&ServerCore::Browse);
  Register<BrowseNextRequest, BrowseNextResponse, true>(&ServerCore::BrowseNext);
  Register<TranslateBrowsePathsToNodeIdsRequest, TranslateBrowsePathsToNodeIdsResponse, true>(
      &ServerCore::TranslateBrowsePaths);
  Register<ReadRequest, ReadResponse, true>(&ServerCore::Read);
  Register<WriteRequest, WriteResponse, true>(&ServerCore::Write);
  Register<HistoryReadRequest, HistoryReadResponse, true>(&ServerCore::HistoryRead);
  Register<CreateSubscriptionRequest, CreateSubscriptionResponse, true>(&ServerCore::CreateSubscription);
  Register<ModifySubscriptionRequest, ModifySubscriptionResponse, true>(&ServerCore::ModifySubscription);
  Register<SetPublishingModeRequest, SetPublishingModeResponse, true>(&ServerCore::SetPublishingMode);
  Register<DeleteSubscriptionsRequest, DeleteSubscriptionsResponse, true>(&ServerCore::DeleteSubscriptions);
  Register<CreateMonitoredItemsRequest, CreateMonitoredItemsResponse, true>(&ServerCore::CreateMonitoredItems);
  Register<ModifyMonitoredItemsRequest, ModifyMonitoredItemsResponse, true>(&ServerCore::ModifyMonitoredItems);
  Register<SetMonitoringModeRequest, SetMonitoringModeResponse, true>(&ServerCore::SetMonitoringMode);
  Register<DeleteMonitoredItemsRequest, DeleteMonitoredItemsResponse, true>(&ServerCore::DeleteMonitoredItems);
  Register<PublishRequest, PublishResponse, true>(&ServerCore::Publish);
  Register<RepublishRequest, RepublishResponse, true>(&ServerCore::Republish);
  Register<TransferSubscriptionsRequest, TransferSubscriptionsResponse, true>(
      &ServerCore::TransferSubscriptions);
  Register<CallRequest, CallResponse, true>(&ServerCore::Call);
}

void ServerCore::HandleRequest(Connection& c, const IncomingRequest& in) {
  auto it = in.typeId.ns == 0 && in.typeId.type == IdType::Numeric
                ? services_.find(in.typeId.numeric)
                : services_.end();
  if (it != services_.end()) return it->second(*this, c, in);
  // Every request starts with its header, so the handle can be echoed even
  // for a service we do not know.
  RequestHeader header;
  Reader r(in.body);
  r.Get(header);
  SendFault(c, in.requestId, r.Ok() ? header.requestHandle : 0, status::BadServiceUnsupported);
}

// ---- Time ----------------------------------------------------------------------

void ServerCore::Tick() {
  // Every connection with chunks waiting gets one more served per turn.
  for (ConnectionId id : std::vector<ConnectionId>(backlog_.begin(), backlog_.end()))
    if (!WantsClose(id)) ServeNextChunk(id);
  CollectPasswordVerdicts();
  int64_t now = clock_.MonotonicMs();
  const ServerLimits& limits = config_.limits;
  for (auto& [id, c] : connections_) {
    bool halfOpen = !c->channel->IsOpen() && now - c->openedMs > limits.halfOpenTimeoutMs;
    bool idle = now - c->lastReceiveMs > limits.idleConnectionTimeoutMs;
    bool sessionless = !c->hadSession && now - c->openedMs > limits.sessionlessConnectionTimeoutMs;
    int64_t incompleteSince = c->channel->IncompleteSinceMs();
    bool stalled = incompleteSince >= 0 && now - incompleteSince > limits.incompleteRequestTimeoutMs;
    if (halfOpen || idle || sessionless || stalled || c->channel->TokenExpired()) RequestClose(*c);
  }
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    Session& s = *it->second;
    // A Publish request waiting for data is a client that is still there.
    if (!s.publishQueue.empty()) s.lastActivityMs = now;
    bool neverActivated = !s.activated && now - s.createdMs > limits.activationTimeoutMs;
    if (neverActivated || now - s.lastActivityMs > static_cast<int64_t>(s.timeoutMs)) {
      CloseSessionState(s);
      it = sessions_.erase(it);
      continue;
    }
    ExpirePublishRequests(s, now);
    ++it;
  }
  sessionCount_ = sessions_.size();
  std::vector<Subscription*> due;
  for (auto& [id, sub] : subscriptions_)
    if (now >= sub->nextTickMs) due.push_back(sub.get());
  for (Subscription* sub : due) TickSubscription(*sub, now);
}

int64_t ServerCore::NextTimerMs() const {
  // Waiting chunks are served at the next turn; housekeeping (timeouts)
  // runs at least once a second.
  if (!backlog_.empty()) return clock_.MonotonicMs();
  int64_t next = clock_.MonotonicMs() + 1000;
  for (const auto& [id, sub] : subscriptions_) next = std::min(next, sub->nextTickMs);
  return next;
}

// ---- Sessions helpers ----------------------------------------------------------

void ServerCore::EraseSession(Session& s) {
  CloseSessionState(s);
  for (auto it = sessions_.begin(); it != sessions_.end(); ++it)
    if (it->second.get() == &s) {
      sessions_.erase(it);
      break;
    }
  sessionCount_ = sessions_.size();
}

bool ServerCore::EvictSessionForNewcomer() {
  // A session whose connection is gone can only come back by moving to a
  // new channel; it goes first, whatever it holds, so that clients that
  // subscribed and vanished cannot fill the table. Among connected
  // sessions only idle ones without subscriptions or waiting Publish
  // requests may go.
  Session* victim = nullptr;
  bool victimDetached = false;
  for (auto& [number, s] : sessions_) {
    const bool detached = FindConnection(s->connection) == nullptr;
    if (!detached && (!s->subscriptionIds.empty() || !s->publishQueue.empty())) continue;
    const bool better = !victim || (detached && !victimDetached) ||
                        (detached == victimDetached && s->lastActivityMs < victim->lastActivityMs);
    if (better) {
      victim = s.get();
      victimDetached = detached;
    }
  }
  if (!victim) return false;
  EraseSession(*victim);
  return true;
}

void ServerCore::BindSession(Session& s, Connection& c) {
  s.connection = c.id;
  c.hadSession = true;
}

size_t ServerCore::ReservedQueueSlots() const {
  size_t slots = 0;
  for (const auto& [number, s] : sessions_) slots += s->queueSlots;
  return slots;
}

Session* ServerCore::FindSession(const NodeId& token) {
  if (token.IsNull()) return nullptr;
  for (auto& [number, s] : sessions_)
    if (s->authenticationToken == token) return s.get();
  return nullptr;
}

}  // namespace opcua
