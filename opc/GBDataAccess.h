// The server toolkit that the simulator's OPC server is built on: a small
// class over the project's OPC UA stack with the operations and hooks that an
// OPC DA server toolkit offers. Items are String variables under one folder
// of Objects; a batch of item updates is applied at once; client writes reach
// a hook on a server thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "opcua/Server.h"

namespace qx {

// OPC DA quality "good"; every other quality maps to Bad.
inline constexpr int kQualityGood = 192;

// One entry of a client write as the write hook sees it.
struct GBItemWrite {
  uint32_t Handle = 0;    // the item's handle, 0 for an unknown item
  uint32_t Position = 0;  // the position given to GBCreateItem
  opcua::Variant Value;   // the written value, any scalar type; the hook may
                          // convert it to the form the item keeps
  opcua::StatusCode Result = opcua::status::Good;  // set by the hook
};

// Identity of a server as a registration record holds it.
struct GBServerIdentity {
  std::string Clsid;
  std::string ShortName;
  std::string Description;
  std::string ProgId;
  std::string Version;
  std::string EndpointUrl;
};

// The application URI a server with this identity announces and its
// certificate carries: "urn:<ProgID>".
std::string ServerApplicationUri(const GBServerIdentity& identity);

// The endpoint of every program of the project: QX_OPC_ENDPOINT when set,
// otherwise opc.tcp://127.0.0.1:4840 (loopback only).
std::string DefaultEndpointUrl();

// The folder of the registration records: $XDG_DATA_HOME/qxsim/opc-servers,
// or ~/.local/share/qxsim/opc-servers.
std::string RegistrationFolder();

class GBDataAccess {
 public:
  GBDataAccess();
  virtual ~GBDataAccess();
  GBDataAccess(const GBDataAccess&) = delete;
  GBDataAccess& operator=(const GBDataAccess&) = delete;

  // Writes the registration record "<ProgID>.server" (key=value lines) where
  // OPC clients and the master link find the server; GBUnregisterServer
  // removes the record of a CLSID. False with a message naming the file.
  static bool GBRegisterServer(const GBServerIdentity& identity, std::string& error);
  static bool GBUnregisterServer(const std::string& clsid, std::string& error);

  // Who may connect and what they may do. Before GBInitialize; without it
  // the server offers only None to anonymous sessions, which may write.
  void GBSetSecurity(opcua::ServerSecurity security) { security_ = std::move(security); }

  // Prepares the server: its names and the endpoint it will listen on. Once,
  // before any item exists.
  void GBInitialize(const GBServerIdentity& identity);

  // Creates an item (a String variable "ns=1;s=<name>" under the server's
  // folder) with an initial value. `handle` is 0 when it could not be made.
  bool GBCreateItem(uint32_t& handle, uint32_t position, const std::string& name,
                    bool writable, const std::string& initialValue);

  // Creates a folder of Objects beside the item folder, "ns=1;s=<folder>",
  // for read-only figures that are not OPC items.
  bool GBCreateFolder(const std::string& folder);
  // Creates a read-only Double variable "ns=1;s=<folder>.<name>" (browse
  // name `name`) in a folder made by GBCreateFolder, described to clients by
  // `description` and, when given, with `units` as its EngineeringUnits
  // property. It reads BadWaitingForInitialData until its first value.
  // `handle` is 0 when it could not be made; clients writing it get
  // BadNotWritable.
  bool GBCreateNumericItem(uint32_t& handle, const std::string& folder, const std::string& name,
                           const std::string& description,
                           const std::optional<opcua::EUInformation>& units);

  // One batch of updates: the values become visible to clients together.
  void GBBeginUpdate();
  void GBSetItem(uint32_t handle, std::string value, int quality, opcua::DateTime timestamp);
  // A numeric item's value; no value reads BadWaitingForInitialData (NaN).
  void GBSetNumericItem(uint32_t handle, std::optional<double> value, opcua::DateTime timestamp);
  void GBEndUpdate();
  // GBBeginUpdate at construction, GBEndUpdate at destruction: a throw in
  // the batch never leaves the server's update lock held.
  class GBUpdateBatch {
   public:
    explicit GBUpdateBatch(GBDataAccess& access) : access_(access) { access_.GBBeginUpdate(); }
    ~GBUpdateBatch() { access_.GBEndUpdate(); }
    GBUpdateBatch(const GBUpdateBatch&) = delete;
    GBUpdateBatch& operator=(const GBUpdateBatch&) = delete;

   private:
    GBDataAccess& access_;
  };

  // Starts serving: clients may connect from here on. False with a message
  // naming the endpoint when it cannot listen.
  bool GBRegisterClassObject(std::string& error);
  // No new sessions from here on; existing ones go on.
  void GBRevokeClassObject();
  // Closes every connection and stops the server thread; no hook is called
  // afterwards. A derived class calls it first in its destructor, so that a
  // client write never reaches a half-destroyed object.
  void GBShutdown();

  // Sessions held by clients, and client connections open to the server
  // (a client connected without a session still holds the server).
  long ServerObjectCount() const;
  long ServerLockCount() const;

  const std::string& EndpointUrl() const { return identity_.EndpointUrl; }
  // The endpoint with the port the server listens on (the one the system
  // chose for port 0) once it serves; EndpointUrl() before.
  std::string ServedEndpointUrl() const;

 protected:
  // Client writes, on a server thread. Sets each entry's Result; an entry
  // with a Bad result leaves the item unchanged.
  virtual void GBOnWriteItems(std::vector<GBItemWrite>& writes) = 0;

  // A client write of a variable that a derived server made on the stack
  // itself (not an item), on a server thread: the stack's handle of the
  // variable and the written value. A Bad result leaves it unchanged.
  virtual opcua::StatusCode GBOnWriteVariable(uint32_t /*variable*/, opcua::Variant& /*value*/) {
    return opcua::status::BadNotWritable;
  }

  // The stack under the items, for the objects, methods and history of a
  // derived server: null before GBInitialize. Its nodes go in the items'
  // namespace, GBNamespace().
  opcua::Server* GBStack() { return server_.get(); }
  uint16_t GBNamespace() const { return namespaceIndex_; }

 private:
  GBServerIdentity identity_;
  opcua::ServerSecurity security_;
  std::unique_ptr<opcua::Server> server_;
  uint16_t namespaceIndex_ = 0;
  opcua::NodeId folder_;
  struct Item {
    uint32_t Variable;  // the stack's handle of the item's variable
    uint32_t Position;  // the position given to GBCreateItem
  };
  std::vector<Item> items_;                 // by toolkit handle - 1
  std::vector<uint32_t> handleByVariable_;  // toolkit handle by the stack's handle
  std::vector<uint32_t> numericItems_;      // the stack's handle by numeric handle - 1
};

}  // namespace qx
