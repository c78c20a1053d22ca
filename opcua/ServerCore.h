#pragma once
// The whole server without sockets or threads: connections are fed bytes and
// hand back bytes, time comes from a Clock, and Tick() runs the timers. The
// TCP transport and the in-memory test connection both drive this class from
// one thread.

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "opcua/AddressSpace.h"
#include "opcua/CallServiceTypes.h"
#include "opcua/Clock.h"
#include "opcua/Conditions.h"
#include "opcua/Crypto.h"
#include "opcua/History.h"
#include "opcua/MethodTypes.h"
#include "opcua/Methods.h"
#include "opcua/HistoryTypes.h"
#include "opcua/PasswordChecker.h"
#include "opcua/SecureChannel.h"
#include "opcua/ServerConfig.h"
#include "opcua/Session.h"

namespace opcua {

// Called for a client's write to the Value of an application variable. It
// may change `value` (e.g. to a normalised form) before it is stored; the
// value is stored only when it returns Good.
using WriteCallback =
    std::function<StatusCode(uint32_t handle, const NodeId& nodeId, Variant& value)>;

// Called when a client activates a session, with the locales it prefers
// (most preferred first, possibly none).
using LocaleCallback =
    std::function<void(const NodeId& sessionId, const std::vector<std::string>& localeIds)>;

struct ValueUpdate {
  uint32_t handle = 0;
  DataValue value;
};

class ServerCore {
 public:
  ServerCore(ServerConfig config, const Clock& clock);
  ~ServerCore();
  ServerCore(const ServerCore&) = delete;
  ServerCore& operator=(const ServerCore&) = delete;

  const ServerConfig& Config() const { return config_; }

  // ---- Address space set-up ----
  // Returns the index of `uri` in the NamespaceArray, adding it if new.
  uint16_t RegisterNamespace(const std::string& uri);
  bool AddFolder(const NodeId& parent, const NodeId& id, const std::string& name,
                 std::string& error);
  // An object (NodeClass Object) under `parent`: organised by a folder, a
  // component (HasComponent) of any other node. `typeDefinition` is an
  // object type (e.g. NodeId(0, ids::BaseObjectType)); `eventNotifier` is
  // its EventNotifier attribute (bit 0 SubscribeToEvents).
  bool AddObject(const NodeId& parent, const NodeId& id, const std::string& name,
                 const NodeId& typeDefinition, uint8_t eventNotifier, std::string& error);
  // Adds a String-typed (or any scalar) variable with a HasComponent
  // reference from `parent` (a folder or an object); `handle` is what
  // SetValue and the write callback use for it.
  bool AddVariable(const NodeId& parent, const NodeId& id, const std::string& name,
                   const Variant& initial, bool writable, uint32_t& handle, std::string& error);
  // Sets the Description attribute of a node added before.
  bool SetDescription(const NodeId& id, const LocalizedText& description, std::string& error);
  // Gives a variable the property EngineeringUnits (a child variable of
  // type PropertyType holding `units`), or replaces the units it has.
  bool SetEngineeringUnits(const NodeId& variable, const EUInformation& units, std::string& error);
  // A property (HasProperty, PropertyType) of a node added before, with a
  // constant value, read-only. Its data type and value rank are those of
  // `value` unless `dataType` is given (not null).
  bool AddProperty(const NodeId& node, const std::string& name, const Variant& value,
                   std::string& error, const NodeId& dataType = {});
  // Gives a variable the property EURange (a Range structure), or replaces
  // the range it has.
  bool SetEURange(const NodeId& variable, double low, double high, std::string& error);
  // Makes the property `name` of `node`, added before, a value that the
  // application changes with the update batch (SetValue with `handle`), as
  // it changes its variables' values; clients still only read it.
  bool TrackProperty(const NodeId& node, const std::string& name, uint32_t& handle,
                     std::string& error);
  // Replaces the HasTypeDefinition of a variable or object added before,
  // e.g. with AnalogItemType for a variable; the type must be of the
  // node's kind (a variable type for a variable, an object type for an
  // object).
  bool SetTypeDefinition(const NodeId& node, const NodeId& typeDefinition, std::string& error);
  // A method (HasComponent from `object`) with InputArguments and
  // OutputArguments properties (Argument structures; none when there are
  // no arguments of that kind), run by `callback` on a client's Call.
  bool AddMethod(const NodeId& object, const NodeId& id, const std::string& name,
                 std::vector<MethodArgument> inputs, std::vector<MethodArgument> outputs,
                 MethodCallback callback, std::string& error);
  void SetWriteCallback(WriteCallback callback) { writeCallback_ = std::move(callback); }
  void SetLocaleCallback(LocaleCallback callback) { localeCallback_ = std::move(callback); }
  // Has the passwords of sign-ins checked by `checker` instead of at once
  // on the calling thread, so that a slow check never holds up the other
  // clients: the activation is answered when Tick() collects the verdict.
  // One check is out at a time, so that every one is decided with the
  // verdicts before it (the sign-in limits). `checker` must outlive its use;
  // null goes back to checking at once.
  void SetPasswordChecker(PasswordChecker* checker);

  // ---- Connections ----
  // Returns 0 when the connection limit, or the limit for `peerAddress`, is
  // reached. Loopback addresses and an empty address are not limited per
  // peer.
  ConnectionId OpenConnection(const std::string& peerAddress = {});
  // Feeds received bytes and serves the connection's first whole chunk.
  // Returns false when the connection is to be closed once its pending
  // output is sent. Further chunks wait: Tick() serves one more of each
  // connection per turn, so that no client takes more than its share of the
  // thread, and the transport reads nothing more from a connection while
  // HasBacklog() says chunks of it wait.
  bool Receive(ConnectionId id, std::string_view bytes);
  bool HasBacklog(ConnectionId id) const { return backlog_.count(id) != 0; }
  // Serves the next waiting chunk of `id` at once (the in-memory connection
  // does, to hand its caller every answer); false as Receive.
  bool ServeNextChunk(ConnectionId id);
  // Moves out the bytes waiting to be sent on `id`.
  std::string TakeOutput(ConnectionId id);
  // Connections that got output since the last call.
  std::vector<ConnectionId> TakeConnectionsWithOutput();
  // Connections the server wants closed (timeouts, errors, slow readers).
  std::vector<ConnectionId> TakeConnectionsToClose();
  bool WantsClose(ConnectionId id) const { return toClose_.count(id) != 0; }
  void CloseConnection(ConnectionId id);

  // ---- Time ----
  // Serves one waiting chunk of each connection that has some, then runs
  // the timers.
  void Tick();
  // Monotonic time of the next timer (now while chunks wait).
  int64_t NextTimerMs() const;

  // ---- Values from the application ----
  void ApplyUpdates(std::vector<ValueUpdate>& updates);

  // ---- History ----
  // Before the server runs: keeps the newest `capacity` values of a Double
  // variable for HistoryRead (Historizing true, the HistoryRead bit in its
  // access levels). Fails, naming the variable, for an unknown handle, a
  // variable of another type, a second call, or a capacity of 0 or above
  // HistoryRing::kMaxCapacity.
  bool EnableHistory(uint32_t handle, size_t capacity, std::string& error);
  // The thread that sets values, one at a time: records a value of a
  // historized variable. Other variables, and values that are not Double
  // scalars, are ignored. Throws std::bad_alloc when the ring cannot grow.
  void RecordHistory(uint32_t handle, const Variant& value, StatusCode status,
                     DateTime sourceTimestamp);
  // Any thread: forgets what a historized variable recorded (no-op for others).
  void ClearHistory(uint32_t handle);

  // ---- Sessions ----
  // While false, CreateSession is refused; existing sessions go on.
  void SetAcceptingSessions(bool accepting) { acceptingSessions_ = accepting; }
  size_t SessionCount() const { return sessionCount_.load(); }
  size_t ConnectionCount() const { return connectionCount_.load(); }
  // Bytes held for requests whose last chunk has not arrived, all connections.
  size_t IncompleteRequestBytes() const { return incompleteBudget_.Used(); }
  // Queue slots the monitored items of all sessions have reserved.
  size_t ReservedQueueSlots() const;
  // HistoryRead continuation points held by all sessions.
  size_t HistoryContinuationPoints() const;
  // Application variables, whose handles run from 0 to this count - 1.
  size_t AppVariableCount() const { return appVariables_.size(); }

  // ---- Conditions (ServicesConditions.cpp) ----
  // Adds a condition object under `definition.source` (an object, made a notifier
  // of the Server object); its handle is what ApplyConditionUpdates uses.
  // It raises no event until its first state is set.
  bool AddCondition(const ConditionDefinition& definition, uint32_t& handle, std::string& error);
  // `child` a notifier of `notifier` (see Server::AddNotifier).
  bool AddNotifier(const NodeId& notifier, const NodeId& child, std::string& error);
  // Sets condition states; each that differs from the condition's current
  // state raises an event.
  void ApplyConditionUpdates(std::vector<ConditionUpdate>& updates);
  void SetConditionResponseCallback(ConditionResponseCallback callback) {
    conditionCallback_ = std::move(callback);
  }
  size_t ConditionCount() const { return conditions_.size(); }
  // Runs a method the stack itself implements (Acknowledge, Confirm,
  // ConditionRefresh) for `session`; false when `methodId` is none of them.
  bool CallStackMethod(Session& session, const NodeId& objectId, const NodeId& methodId,
                       const std::vector<Variant>& inputs, std::vector<Variant>& outputs,
                       StatusCode& result);

  // ---- The stack's own methods (see ServerCoreInternal.h) ----
  // One request being served: its connection, its session, ...
  struct Context;
  // Runs a Call of a method of the stack itself, with the request it came
  // in so it can act on the calling session. The checks of AddMethod's
  // callbacks are made before (object, method, rights, arguments).
  using MethodHandler = std::function<StatusCode(Context& ctx, const CallMethodRequest& call,
                                                 std::vector<Variant>& outputs)>;
  // Who may call a method: sessions that may write (as Write decides), or
  // every session (e.g. a method that only sends again what a client may
  // read anyway).
  enum class MethodAccess { Writers, Everyone };
  // A method of `parent` run by `handler`. `parent` is an object, or an
  // object type: the method is then one of every object of that type or a
  // subtype of it, called with that object's id (or the type's own).
  // Server does not offer this to applications.
  bool AddInternalMethod(const NodeId& parent, const NodeId& id, const std::string& name,
                         std::vector<MethodArgument> inputs, std::vector<MethodArgument> outputs,
                         MethodAccess access, MethodHandler handler, std::string& error);

 private:
  struct Connection;
  using ServiceEntry = std::function<void(ServerCore&, Connection&, const IncomingRequest&)>;

  template <class Req, class Resp, bool NeedsSession>
  void Register(void (ServerCore::*service)(Context&, const Req&, Resp&));
  void RegisterServices();
  void HandleRequest(Connection& c, const IncomingRequest& in);
  void SendFault(Connection& c, uint32_t requestId, uint32_t requestHandle, StatusCode code);
  template <class Resp>
  void SendResponse(Connection& c, uint32_t requestId, Resp& response, uint32_t requestHandle);
  Connection* FindConnection(ConnectionId id);
  bool Serve(Connection& c, std::string_view bytes);
  void MarkOutput(Connection& c);
  void RequestClose(Connection& c);

  // Services (one file per service set).
  void FindServers(Context&, const FindServersRequest&, FindServersResponse&);
  void GetEndpoints(Context&, const GetEndpointsRequest&, GetEndpointsResponse&);
  void CreateSession(Context&, const CreateSessionRequest&, CreateSessionResponse&);
  void ActivateSession(Context&, const ActivateSessionRequest&, ActivateSessionResponse&);
  void CloseSession(Context&, const CloseSessionRequest&, CloseSessionResponse&);
  void Browse(Context&, const BrowseRequest&, BrowseResponse&);
  void BrowseNext(Context&, const BrowseNextRequest&, BrowseNextResponse&);
  void TranslateBrowsePaths(Context&, const TranslateBrowsePathsToNodeIdsRequest&,
                            TranslateBrowsePathsToNodeIdsResponse&);
  void Read(Context&, const ReadRequest&, ReadResponse&);
  void Write(Context&, const WriteRequest&, WriteResponse&);
  void HistoryRead(Context&, const HistoryReadRequest&, HistoryReadResponse&);
  void CreateSubscription(Context&, const CreateSubscriptionRequest&, CreateSubscriptionResponse&);
  void ModifySubscription(Context&, const ModifySubscriptionRequest&, ModifySubscriptionResponse&);
  void SetPublishingMode(Context&, const SetPublishingModeRequest&, SetPublishingModeResponse&);
  void DeleteSubscriptions(Context&, const DeleteSubscriptionsRequest&, DeleteSubscriptionsResponse&);
  void CreateMonitoredItems(Context&, const CreateMonitoredItemsRequest&, CreateMonitoredItemsResponse&);
  void ModifyMonitoredItems(Context&, const ModifyMonitoredItemsRequest&, ModifyMonitoredItemsResponse&);
  void SetMonitoringMode(Context&, const SetMonitoringModeRequest&, SetMonitoringModeResponse&);
  void DeleteMonitoredItems(Context&, const DeleteMonitoredItemsRequest&, DeleteMonitoredItemsResponse&);
  void Publish(Context&, const PublishRequest&, PublishResponse&);
  void Republish(Context&, const RepublishRequest&, RepublishResponse&);
  void TransferSubscriptions(Context&, const TransferSubscriptionsRequest&,
                             TransferSubscriptionsResponse&);
  void Call(Context&, const CallRequest&, CallResponse&);

  // A method's declared arguments and what runs it (ServicesMethod.cpp).
  struct MethodEntry {
    std::vector<MethodArgument> inputs;
    std::vector<MethodArgument> outputs;
    MethodAccess access = MethodAccess::Writers;
    MethodHandler handler;
  };
  // True if `session` may call `method` (a method with a handler).
  bool MayCall(const Session& session, const NodeId& method) const;
  CallMethodResult CallMethod(Context& ctx, const CallMethodRequest& call);
  // True if `method` is a component of `object` or of its type (or a
  // supertype of that).
  bool IsMethodOf(const Node& object, const NodeId& method) const;
  // True if `value` is of the argument's data type and value rank.
  bool ArgumentMatches(const Variant& value, const MethodArgument& declared) const;

  // The node of property `name` of `owner`, added with `value` or, when
  // `replace` and the owner has it already, given `value`. Null with
  // `error` set when the owner does not exist or the property's id is
  // another node's.
  Node* PutProperty(const NodeId& owner, const std::string& name, const DataValue& value,
                    const NodeId& dataType, int32_t valueRank, bool replace, std::string& error);

  // Helpers shared between services.
  std::vector<EndpointDescription> Endpoints() const;
  // The security of a connection's channel: policy, mode and the client's
  // certificate (DER, empty without security).
  struct ChannelSecurity {
    std::string_view policyUri;
    MessageSecurityMode mode = MessageSecurityMode::None;
    std::string_view clientCertificate;
  };
  ChannelSecurity SecurityOf(const Connection& c) const;
  // The server's private key, parsed at first use; null without a usable one.
  const crypto::PrivateKey* ServerKey();
  ApplicationDescription Application() const;
  DataValue ReadAttribute(const Node& node, uint32_t attributeId, TimestampsToReturn ts) const;
  std::vector<ReferenceDescription> BrowseNode(const Node& node, const BrowseDescription& d) const;
  StatusCode CheckBrowse(const BrowseDescription& d) const;
  BrowseResult PageBrowse(Session& s, std::vector<ReferenceDescription> refs, uint32_t max);
  // Sign-in with a user name (ServicesSignIn.cpp).
  struct SignIn;
  // An activation whose password is being checked, or waits to be.
  struct PendingSignIn {
    uint64_t ticket = 0;
    ConnectionId connection = 0;
    uint32_t requestId = 0;
    uint32_t requestHandle = 0;
    NodeId authenticationToken;
    std::string user;
    std::string password;
    std::string peer;
    std::vector<std::string> localeIds;
  };
  SignIn Identify(const SecurityOffer& offer, std::string_view serverNonce,
                  const ExtensionObject& token, std::string_view peer);
  void CheckPassword(PendingSignIn pending);
  void SubmitNextPasswordCheck();
  void CollectPasswordVerdicts();
  // Answers a pending activation; `checked` when the verdict is the
  // password check's (and counts for the sign-in limits).
  void FinishSignIn(const PendingSignIn& pending, StatusCode verdict, bool checked);
  void DropSignInsOf(ConnectionId connection);
  void CompleteActivation(Session& s, Connection& c, std::string identity, bool signedIn,
                          const std::vector<std::string>& localeIds, ActivateSessionResponse& resp);
  void CloseSessionState(Session& s);
  void EraseSession(Session& s);
  // Makes room for a new session by closing the longest idle one whose
  // connection is gone, or else the longest idle one that has no
  // subscription and no waiting Publish; false if there is none.
  bool EvictSessionForNewcomer();
  void BindSession(Session& s, Connection& c);
  // Opening checks of a service on one subscription: the subscription, the
  // timestamps (when given) and the number of operations. Null, with the
  // service result set, when a check fails.
  Subscription* CheckSubscriptionRequest(Context& ctx, uint32_t subscriptionId, size_t operations,
                                         const TimestampsToReturn* timestamps = nullptr);
  // The number of operations of a request: not none and not too many.
  bool CheckOperationCount(Context& ctx, size_t operations);
  void MoveSubscription(Subscription& sub, Session& to);
  // Answers a waiting Publish of `s` (or the next one) with a status change.
  void SendStatusChange(Session& s, uint32_t subscriptionId, uint32_t sequenceNumber,
                        StatusCode change);
  void DeliverStatusChanges(Session& s);
  // Keeps a sent message for Republish within the session's byte budget.
  void KeepForRepublish(Subscription& sub, const NotificationMessage& message);
  void TrimRetransmissions(Session& s, const Subscription* newest);
  void DeleteSubscription(Subscription& sub);
  void DeleteItem(MonitoredItem& item);
  void Enqueue(MonitoredItem& item, const DataValue& value);
  // As Enqueue at monotonic time `nowMs`.
  void Enqueue(MonitoredItem& item, const DataValue& value, int64_t nowMs);
  // Enqueues the values one batch of updates gave the item's variable,
  // oldest first, with the result of one Enqueue each; values that the
  // queue would drop before the batch ends are skipped.
  void EnqueueBatch(MonitoredItem& item, std::span<DataValue* const> values, int64_t nowMs);
  // Event monitored items (ServicesEvents.cpp).
  MonitoredItemCreateResult CreateEventItem(Session& s, Subscription& sub,
                                            const MonitoredItemCreateRequest& r);
  MonitoredItemModifyResult ModifyEventItem(Session& s, MonitoredItem& item,
                                            const MonitoringParameters& p);
  // Queues `event` on the event items of its source and of the notifiers
  // above it, up to the Server object.
  void ReportEvent(const Event& event);
  // Queues `event` on one item, through its where clause unless `always`.
  void EnqueueEvent(MonitoredItem& item, const Event& event, bool always);
  // Encodes waiting events of `sub` into `message`, at most `limit` of them
  // and about `budget` bytes; returns how many.
  size_t AppendEventNotifications(Subscription& sub, size_t limit, size_t budget,
                                  NotificationMessage& message);
  std::vector<Node*> NotifiersOf(const NodeId& source);
  ByteString NewEventId();
  void RaiseConditionEvent(Condition& c);
  StatusCode AnswerCondition(Session& s, const NodeId& objectId, const std::vector<Variant>& inputs,
                             ConditionResponse response);
  StatusCode RefreshConditions(Session& s, const std::vector<Variant>& inputs);
  void NotifyValueChange(Node& node);
  void TickSubscription(Subscription& sub, int64_t now);
  // Sends a data change or keep-alive on the session's oldest waiting
  // Publish; false if none waits.
  bool SendNotification(Subscription& sub, bool keepAlive);
  void ServeLateSubscriptions(Session& s);
  void ExpirePublishRequests(Session& s, int64_t now);
  Session* FindSession(const NodeId& authenticationToken);
  Subscription* FindSubscription(Session& s, uint32_t id);
  double RevisePublishingInterval(double requested) const;
  uint32_t ReviseQueueSize(const Session& s, uint32_t requested, uint32_t current) const;

  ServerConfig config_;
  const Clock& clock_;
  DateTime startTime_;
  AddressSpace space_;
  std::vector<std::string> namespaces_;
  std::vector<Node*> appVariables_;
  // ApplyUpdates' grouping of a batch by variable, kept between batches so
  // that a batch allocates nothing: where each variable's values begin in
  // batchValues_ (one more entry than variables), and the values.
  std::vector<size_t> batchStarts_;
  std::vector<size_t> batchFill_;
  std::vector<DataValue*> batchValues_;
  std::vector<Condition> conditions_;
  ConditionResponseCallback conditionCallback_;
  uint64_t nextEventNumber_ = 1;
  // By handle; null for variables without history. Fixed before the
  // server runs, so the writer and the server thread read it unlocked.
  std::vector<std::unique_ptr<HistoryRing>> histories_;
  WriteCallback writeCallback_;
  std::unordered_map<NodeId, MethodEntry, NodeIdHash> methods_;
  LocaleCallback localeCallback_;
  std::unique_ptr<crypto::PrivateKey> serverKey_;
  bool serverKeyParsed_ = false;

  // The dispatch table, keyed by the request's encoding type id.
  std::unordered_map<uint32_t, ServiceEntry> services_;
  std::map<ConnectionId, std::unique_ptr<Connection>> connections_;
  std::set<ConnectionId> withOutput_;
  std::set<ConnectionId> toClose_;
  std::set<ConnectionId> backlog_;  // connections with whole chunks waiting
  ConnectionId nextConnectionId_ = 1;
  uint32_t nextChannelId_ = 1;

  std::map<uint32_t, std::unique_ptr<Session>> sessions_;  // keyed by session number
  uint32_t nextSessionNumber_ = 1;
  uint32_t nextSubscriptionId_ = 1;
  uint32_t nextMonitoredItemId_ = 1;
  uint64_t nextContinuationPoint_ = 1;
  std::map<uint32_t, std::unique_ptr<Subscription>> subscriptions_;
  std::atomic<bool> acceptingSessions_{true};
  std::map<std::string, uint32_t> connectionsPerPeer_;
  ByteBudget incompleteBudget_;
  SignInLimiter signInLimiter_;
  PasswordChecker* passwordChecker_ = nullptr;
  std::deque<PendingSignIn> signInsWaiting_;  // the first one is out with the checker
  bool signInOut_ = false;
  uint64_t nextSignInTicket_ = 1;

  std::atomic<size_t> sessionCount_{0};
  std::atomic<size_t> connectionCount_{0};
};

}  // namespace opcua
