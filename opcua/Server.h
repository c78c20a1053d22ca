#pragma once
// An OPC UA server (opc.tcp; SecurityPolicy None and the secured policies
// its configuration offers; anonymous and user-name sessions) that runs on
// its own thread, with a second thread for password checks.
//
// Set-up (namespace, folders, objects, variables, properties, methods,
// write callback) happens before Start(). Afterwards the application feeds values with
// BeginUpdate/SetValue/EndUpdate from any one thread at a time; those calls
// only copy the values under a short lock and wake the server thread, which
// does the sampling, encoding and sending.
//
//   opcua::ServerConfig config;                 // endpoint, names, limits
//   config.endpointUrl = "opc.tcp://127.0.0.1:4840";
//   opcua::Server server(config);
//   uint16_t ns = server.RegisterNamespace("urn:example");
//   opcua::NodeId folder(ns, "Folder");
//   server.AddFolder(opcua::NodeId(0, opcua::ids::ObjectsFolder), folder, "Folder", error);
//   uint32_t pv;
//   server.AddVariable(folder, opcua::NodeId(ns, "X.PV"), "X.PV", "empty", true, pv, error);
//   server.SetWriteCallback([](uint32_t handle, const opcua::NodeId&, opcua::Variant& v) {
//     return opcua::status::Good;           // or BadTypeMismatch, BadOutOfRange, ...
//   });
//   if (!server.Start(error)) ...;            // e.g. "endpoint ...: ... in use"
//   {
//     opcua::Server::UpdateBatch batch(server);   // EndUpdate even on a throw
//     server.SetValue(pv, std::string("1.5"), opcua::status::Good, opcua::DateTime::Now());
//   }

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "opcua/ServerConfig.h"
#include "opcua/ServerCore.h"

namespace opcua {

class PasswordCheckWorker;
class TcpTransport;

class Server {
 public:
  explicit Server(ServerConfig config);
  ~Server();  // stops the server
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // ---- Before Start() ----
  uint16_t RegisterNamespace(const std::string& uri);
  // Adds a folder organised under `parent` (e.g. NodeId(0, ids::ObjectsFolder)).
  bool AddFolder(const NodeId& parent, const NodeId& id, const std::string& name,
                 std::string& error);
  // Adds an object under `parent` (organised by a folder, a component of an
  // object) with the object type `typeDefinition` (e.g.
  // NodeId(0, ids::BaseObjectType)) and the EventNotifier `eventNotifier`.
  bool AddObject(const NodeId& parent, const NodeId& id, const std::string& name,
                 const NodeId& typeDefinition, uint8_t eventNotifier, std::string& error);
  // Adds a variable under `parent` (a folder or an object), its data type
  // taken from `initial` (0.0 gives Double, int32_t Int32), readable and,
  // if `writable`, writable by clients.
  bool AddVariable(const NodeId& parent, const NodeId& id, const std::string& name,
                   const Variant& initial, bool writable, uint32_t& handle, std::string& error);
  // Sets the Description attribute of a folder or variable added before.
  bool SetDescription(const NodeId& id, const LocalizedText& description, std::string& error);
  // Gives a variable added before the property EngineeringUnits, read as an
  // EUInformation structure; a second call replaces the units.
  bool SetEngineeringUnits(const NodeId& variable, const EUInformation& units, std::string& error);
  // Gives a node added before a read-only property with a constant value;
  // its data type and value rank are those of `value` unless `dataType` is
  // given.
  bool AddProperty(const NodeId& node, const std::string& name, const Variant& value,
                   std::string& error, const NodeId& dataType = {});
  // Gives a variable added before the property EURange, read as a Range
  // structure (low, high); a second call replaces the range.
  bool SetEURange(const NodeId& variable, double low, double high, std::string& error);
  // Makes the property `name` of `node`, added before (e.g. an EURange that
  // follows the application's configuration), a value that SetValue with
  // `handle` changes; clients still only read it.
  bool TrackProperty(const NodeId& node, const std::string& name, uint32_t& handle,
                     std::string& error);
  // Gives a variable or object added before another type definition than
  // BaseDataVariableType, e.g. NodeId(0, ids::AnalogItemType).
  bool SetTypeDefinition(const NodeId& node, const NodeId& typeDefinition, std::string& error);
  // Keeps the newest `capacity` values written with SetValue for a Double
  // variable, readable with HistoryRead (raw, and processed Average,
  // Minimum, Maximum and Count); Historizing is true and the access levels
  // have the HistoryRead bit. The values are recorded by SetValue on its
  // own thread; readers never make it wait. Memory is taken as values come,
  // in chunks of HistoryRing::kChunkValues: 16 bytes per value (4 more per
  // value in chunks where a status other than Good was recorded).
  bool EnableHistory(uint32_t handle, size_t capacity, std::string& error);
  // Adds a method of an object added before, run by `callback` on the
  // server thread when a client calls it (see Methods.h for what is checked
  // before), with InputArguments and OutputArguments properties.
  bool AddMethod(const NodeId& object, const NodeId& id, const std::string& name,
                 std::vector<MethodArgument> inputs, std::vector<MethodArgument> outputs,
                 MethodCallback callback, std::string& error);
  // Runs on the server thread for each client write of an application
  // variable's Value.
  void SetWriteCallback(WriteCallback callback);
  // Runs on the server thread when a client activates a session.
  void SetLocaleCallback(LocaleCallback callback);
  // A condition (alarm) object of type `definition.type` under `definition.source`,
  // whose events reach the event items of the source and of the Server
  // object; `handle` is what SetConditionState takes. No event is raised
  // before its first state is set.
  bool AddCondition(const ConditionDefinition& definition, uint32_t& handle, std::string& error);
  // Makes `child` (an object) a notifier of `notifier` (an object, e.g. the
  // Server object or a folder): a HasNotifier reference between them and
  // SubscribeToEvents set on both, so that the events of `child` and of
  // what it notifies reach the event items on `notifier` too. A source
  // already placed this way is not linked to the Server object again by
  // AddCondition.
  bool AddNotifier(const NodeId& notifier, const NodeId& child, std::string& error);
  // Runs on the server thread when a client acknowledges or confirms a
  // condition (see ConditionResponseCallback).
  void SetConditionResponseCallback(ConditionResponseCallback callback);

  // Binds the endpoint and starts the server thread. Fails with a message
  // naming the endpoint and the reason when it cannot listen (the port is
  // in use, no descriptors are left, ...). What the server thread throws
  // past the transport's own catches (a failed event queue) is reported on
  // standard error, and the thread ends; clients then get no answers.
  bool Start(std::string& error);
  // Closes every connection and joins the server thread. Idempotent.
  void Stop();
  // The TCP port listened on (useful with port 0 in the endpoint URL).
  uint16_t Port() const { return port_; }
  // The endpoint URL with the port listened on, once started.
  std::string ServedEndpointUrl() const;

  // ---- Values, from any thread ----
  void BeginUpdate();
  void SetValue(uint32_t handle, Variant value, StatusCode status, DateTime sourceTimestamp);
  void EndUpdate();
  // Any thread, also while the server runs: forgets the recorded history of
  // a variable (a new run starts a new history).
  void ClearHistory(uint32_t handle) { core_.ClearHistory(handle); }
  // BeginUpdate at construction and EndUpdate at destruction, so that an
  // exception between them (a value that cannot be allocated) never leaves
  // the update lock held.
  class UpdateBatch {
   public:
    explicit UpdateBatch(Server& server) : server_(server) { server_.BeginUpdate(); }
    ~UpdateBatch() { server_.EndUpdate(); }
    UpdateBatch(const UpdateBatch&) = delete;
    UpdateBatch& operator=(const UpdateBatch&) = delete;

   private:
    Server& server_;
  };

  // Any thread: the new state of a condition. The server thread raises an
  // event for each state that differs from the one before (a new EventId);
  // states set faster than it takes them all raise their events in order.
  void SetConditionState(uint32_t handle, ConditionState state);

  // Updates waiting for the server thread (never more than the configured
  // maxPendingUpdates after an EndUpdate, however fast the producer).
  size_t PendingUpdateCount();

  // While false, new sessions are refused (BadShutdown: the application is
  // closing) and existing ones go on. Any thread.
  void SetAcceptingSessions(bool accepting) { core_.SetAcceptingSessions(accepting); }
  // Sessions currently held by clients.
  size_t SessionCount() const { return core_.SessionCount(); }
  // TCP connections currently open (a client holds one per secure channel).
  size_t ConnectionCount() const { return core_.ConnectionCount(); }

  const ServerConfig& Config() const { return core_.Config(); }

 private:
  void ApplyPending();
  void FoldPending();
  // The server thread's body.
  void Serve();

  SystemClock clock_;
  ServerCore core_;
  std::unique_ptr<TcpTransport> transport_;
  std::unique_ptr<PasswordCheckWorker> passwordChecker_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  uint16_t port_ = 0;

  std::mutex updateMutex_;
  std::vector<ValueUpdate> pending_;    // filled by SetValue
  std::vector<ValueUpdate> applying_;   // swapped in by the server thread
  std::mutex conditionMutex_;
  std::vector<ConditionUpdate> pendingConditions_;   // filled by SetConditionState
  std::vector<ConditionUpdate> applyingConditions_;  // swapped in by the server thread
};

}  // namespace opcua
