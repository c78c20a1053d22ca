// The client side of a connection to another OPC server, in the shape a
// classic OPC client component has: a computer name, groups of items with
// an update rate, items added by ID and registered on demand, a connection
// made active or inactive, and connect, disconnect and data-change events.
//
// Everything here belongs to the GUI thread. Talking to the server happens
// elsewhere (a worker thread in OPCUAClient), so an operation that needs
// the server's answer - SetActive(true), AddPendingItems - returns at once
// and its outcome comes back as an event; the events wait in a hand-off
// until the GUI thread delivers them, in the order they happened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

class OPCClient;

struct OPCClientItem {
  std::string ItemID;
  uint32_t Handle = 0;      // unique within its connection
  bool Registered = false;  // accepted by the server
  uint32_t LastError = 0;   // the server's status code when it rejected the item
  std::string ValueText;    // the last value received, as text
  uint16_t Quality = 0;     // its quality word (bad until a value came)
};

// A new group takes the connection's default settings.
inline constexpr int kDefaultUpdateRateMs = 50;

class OPCClientGroup {
 public:
  OPCClientGroup(OPCClient& connection, uint32_t id, std::string name)
      : connection_(connection), id_(id), name_(std::move(name)) {}

  uint32_t Id() const { return id_; }
  const std::string& Name() const { return name_; }

  // The publishing interval of the group and the sampling interval of its
  // items, in milliseconds (at least 1). Takes effect when the items are
  // next registered (AddPendingItems, or connecting).
  int UpdateRate() const { return updateRateMs_; }
  void SetUpdateRate(int milliseconds) { updateRateMs_ = milliseconds < 1 ? 1 : milliseconds; }

  std::size_t ItemCount() const { return items_.size(); }
  OPCClientItem& Item(std::size_t index) { return items_[index]; }
  const OPCClientItem& Item(std::size_t index) const { return items_[index]; }
  // The item with this handle, or null (an item removed since).
  OPCClientItem* FindItem(uint32_t handle);

  // Joins the list without contacting the server.
  OPCClientItem& AddItem(std::string itemID);
  // The group is empty afterwards; an active connection drops the items at
  // the server too.
  void RemoveAllItems();

 private:
  OPCClient& connection_;
  const uint32_t id_;
  const std::string name_;
  int updateRateMs_ = kDefaultUpdateRateMs;
  std::deque<OPCClientItem> items_;
};

// What happened, as the GUI thread hears it.
class OPCClientEvents {
 public:
  virtual ~OPCClientEvents() = default;
  virtual void OnConnect() {}
  virtual void OnDisconnect() {}
  // New values of some items of `group` (already stored in the items).
  virtual void OnDataChange(OPCClientGroup& /*group*/) {}
  // The outcome of one SetActive(true): empty `error` when it connected
  // and the server accepted every item. When items were rejected the
  // connection stays up and each rejected item carries its LastError.
  virtual void OnSetActiveDone(std::string_view /*error*/) {}
  // The outcome of one AddPendingItems: empty, or the error naming the
  // rejected items.
  virtual void OnAddItemsDone(OPCClientGroup& /*group*/, std::string_view /*error*/) {}
};

// One registration outcome or one new value of an item.
struct OPCItemUpdate {
  uint32_t Handle = 0;
  uint32_t Status = 0;  // registration: 0 accepted, else the server's code
  std::string ValueText;
  uint16_t Quality = 0;
};

// What the worker side reports; the GUI thread turns it into the events.
struct OPCClientReport {
  enum class Kind {
    Connected,
    SetActiveDone,  // Text: the error; Updates: registration outcomes
    AddItemsDone,   // Group; Text; Updates: registration outcomes
    DataChange,     // Group; Updates: values
    Disconnected,   // Text: why
  };
  Kind What = Kind::Connected;
  uint32_t Group = 0;
  std::string Text;
  std::vector<OPCItemUpdate> Updates;
};

class OPCClient {
 public:
  virtual ~OPCClient() = default;

  // "" is the local computer.
  void SetComputerName(std::string name) { computerName_ = std::move(name); }
  const std::string& ComputerName() const { return computerName_; }

  std::size_t GroupCount() const { return groups_.size(); }
  OPCClientGroup& Group(std::size_t index) { return *groups_[index]; }
  OPCClientGroup* FindGroup(uint32_t id);
  OPCClientGroup& AddGroup(std::string name);

  // Registers the group's items the server does not know yet. Inactive:
  // nothing to do now (connecting registers them); every call still ends
  // with one OnAddItemsDone.
  virtual void AddPendingItems(OPCClientGroup& group) = 0;

  // True from SetActive(true) until SetActive(false), a failed connect or
  // a lost connection. Every SetActive(true) ends with one OnSetActiveDone;
  // SetActive(false) on an active connection ends with OnDisconnect.
  bool Active() const { return active_; }
  virtual void SetActive(bool active) = 0;

  // Called on the reporting thread after each report, so an idle GUI thread
  // can be woken to deliver. Empty: nobody is woken.
  void SetWake(std::function<void()> wake);
  // GUI thread: applies the reports in order and raises their events.
  // Returns how many reports were delivered. Not reentrant: a call from
  // inside an event (a handler that processes pending messages) delivers
  // nothing and returns 0, and the outer call goes on with the reports in
  // their order, so an older value is never applied after a newer one. It
  // delivers the reports present when it started; later ones wait for the
  // next call, so a master that reports without pause cannot hold the GUI
  // thread in here.
  std::size_t DeliverEvents(OPCClientEvents& events);

 protected:
  friend class OPCClientGroup;
  // The group dropped all its items (RemoveAllItems).
  virtual void ItemsRemoved(OPCClientGroup& /*group*/) {}
  uint32_t NextItemHandle() { return ++lastItemHandle_; }
  // Any thread.
  void Report(OPCClientReport report);
  void SetActiveFlag(bool active) { active_ = active; }

 private:
  void Apply(OPCClientReport& report, OPCClientEvents& events);
  // Stores registration outcomes; returns the rejected item IDs.
  std::vector<std::string> ApplyRegistrations(const std::vector<OPCItemUpdate>& outcomes);

  std::string computerName_;
  std::vector<std::unique_ptr<OPCClientGroup>> groups_;
  uint32_t lastGroupId_ = 0;
  uint32_t lastItemHandle_ = 0;
  bool active_ = false;

  bool delivering_ = false;  // GUI thread: inside DeliverEvents

  std::mutex mutex_;
  std::deque<OPCClientReport> reports_;
  std::function<void()> wake_;
};

}  // namespace qx
