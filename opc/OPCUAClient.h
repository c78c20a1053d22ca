// The OPC client connection over OPC UA (opc.tcp), with a worker thread
// that does all the talking: it connects, keeps one subscription per group
// (publishing interval = the group's update rate, the items sampled at the
// same rate) and waits for publications, so the GUI thread never blocks on
// the network. What it learns reaches the GUI thread through the
// connection's hand-off (OPCClient::DeliverEvents).
//
// A lost connection is noticed by a missing answer: the subscriptions ask
// for a keep-alive at least every 300 ms (or every update period when that
// is longer), and a publish that is not answered within that period plus
// 400 ms, a closed socket or a refused session ends the connection with the
// disconnect event. Without subscriptions a read every 250 ms does the same.
// Nothing reconnects by itself.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "opc/OPCClient.h"

namespace opcua {
class Client;
}

namespace qx {

// The port a master program serves at on the computer named by the
// computer name, when no endpoint is given.
inline constexpr uint16_t kMasterPort = 4841;

class OPCUAClient final : public OPCClient {
 public:
  OPCUAClient();
  ~OPCUAClient() override;
  OPCUAClient(const OPCUAClient&) = delete;
  OPCUAClient& operator=(const OPCUAClient&) = delete;

  // An explicit endpoint ("opc.tcp://host:port") overrides the computer
  // name; empty: opc.tcp://COMPUTER:4841, with "" as 127.0.0.1.
  void SetEndpoint(std::string endpoint) { endpoint_ = std::move(endpoint); }
  // The endpoint the next connect goes to.
  std::string EndpointUrl() const;

  void AddPendingItems(OPCClientGroup& group) override;
  void SetActive(bool active) override;

 protected:
  void ItemsRemoved(OPCClientGroup& group) override;

 private:
  struct GroupPlan {
    uint32_t Id = 0;
    int UpdateRateMs = kDefaultUpdateRateMs;
    std::vector<std::pair<uint32_t, std::string>> Items;  // handle, item ID
  };
  struct Command {
    enum class Kind { Connect, Register, Remove, Confirm, Disconnect } What = Kind::Confirm;
    std::string Endpoint;
    std::vector<GroupPlan> Groups;  // Connect: all groups; Register: one
  };
  struct Subscription {
    uint32_t Group = 0;
    double KeepAliveMs = 0;
  };

  static GroupPlan PlanOf(OPCClientGroup& group);
  void Send(Command command);

  // Worker thread.
  void Work();
  void Execute(Command& command);
  void Connect(Command& command);
  // Rebuilds the group's subscription with its items; the outcomes of the
  // items, or an error naming why the subscription could not be made.
  std::string Subscribe(const GroupPlan& plan, std::vector<OPCItemUpdate>& outcomes);
  void Unsubscribe(uint32_t group);
  // One publish or heartbeat; false when the connection is lost.
  bool Listen();
  void Lose(const std::string& why);
  // Reports what a step of the worker threw, on standard error and, when
  // connected, as the lost connection's reason.
  void FailOnException(const std::string& what) noexcept;

  std::string endpoint_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Command> commands_;
  bool stop_ = false;

  // Worker thread only.
  std::unique_ptr<opcua::Client> client_;
  bool connected_ = false;
  std::string connectedEndpoint_;
  std::map<uint32_t, Subscription> subscriptions_;  // by subscription id
  std::thread worker_;
};

}  // namespace qx
