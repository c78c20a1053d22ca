#include "opc/OPCUAClient.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <iostream>

#include "opc/OPCQuality.h"
#include "opcua/Client.h"

namespace qx {
namespace {

constexpr int kConnectTimeoutMs = 3000;
constexpr int kCallTimeoutMs = 3000;
// The longest silence the subscriptions allow before a keep-alive, and how
// much later than that an unanswered publish counts as a lost connection.
constexpr double kKeepAliveTargetMs = 300;
constexpr int kAnswerMarginMs = 400;
// Without subscriptions: a read this often, answered within this time.
constexpr auto kHeartbeatPeriod = std::chrono::milliseconds(250);
constexpr int kHeartbeatTimeoutMs = 700;
// The server's state variable, read as a heartbeat.
const opcua::NodeId kServerStateNode(0, 2259u);

bool IsLostConnection(opcua::StatusCode s) {
  return s == opcua::status::BadTimeout || s == opcua::status::BadCommunicationError ||
         s == opcua::status::BadSessionIdInvalid || s == opcua::status::BadSessionClosed ||
         s == opcua::status::BadSecureChannelIdInvalid || s == opcua::status::BadShutdown;
}

}  // namespace

OPCUAClient::OPCUAClient() : client_(std::make_unique<opcua::Client>()) {
  // The master sees the slave by the product's name.
  client_->SetApplicationName("Quorvanex OPC Server For Simulation (SLAVE)");
  worker_ = std::thread([this] { Work(); });
}

OPCUAClient::~OPCUAClient() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  // A master that accepted the connection but never answers would hold the
  // worker in a connect or a call for its whole timeout.
  client_->Interrupt();
  worker_.join();
}

std::string OPCUAClient::EndpointUrl() const {
  if (!endpoint_.empty()) return endpoint_;
  const std::string host = ComputerName().empty() ? "127.0.0.1" : ComputerName();
  return "opc.tcp://" + host + ":" + std::to_string(kMasterPort);
}

OPCUAClient::GroupPlan OPCUAClient::PlanOf(OPCClientGroup& group) {
  GroupPlan plan;
  plan.Id = group.Id();
  plan.UpdateRateMs = group.UpdateRate();
  for (std::size_t i = 0; i < group.ItemCount(); ++i)
    plan.Items.emplace_back(group.Item(i).Handle, group.Item(i).ItemID);
  return plan;
}

void OPCUAClient::Send(Command command) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.push_back(std::move(command));
  }
  wake_.notify_one();
}

void OPCUAClient::AddPendingItems(OPCClientGroup& group) {
  Command command;
  command.What = Command::Kind::Register;
  command.Groups.push_back(PlanOf(group));
  Send(std::move(command));
}

void OPCUAClient::SetActive(bool active) {
  Command command;
  if (active && !Active()) {
    command.What = Command::Kind::Connect;
    command.Endpoint = EndpointUrl();
    for (std::size_t i = 0; i < GroupCount(); ++i) command.Groups.push_back(PlanOf(Group(i)));
  } else if (active) {
    command.What = Command::Kind::Confirm;  // already active: only the outcome
  } else if (Active()) {
    command.What = Command::Kind::Disconnect;
  } else {
    return;
  }
  SetActiveFlag(active);
  Send(std::move(command));
}

void OPCUAClient::ItemsRemoved(OPCClientGroup& group) {
  if (!Active()) return;
  Command command;
  command.What = Command::Kind::Remove;
  command.Groups.push_back(GroupPlan{group.Id(), group.UpdateRate(), {}});
  Send(std::move(command));
}

void OPCUAClient::Work() {
  // What a command or a publication throws (out of memory, a broken
  // answer) ends the connection with the reason; the worker goes on taking
  // commands.
  auto guarded = [this](auto&& step) {
    try {
      step();
    } catch (const std::exception& e) {
      FailOnException(e.what());
    } catch (...) {
      FailOnException("an unknown exception");
    }
  };
  for (;;) {
    Command command;
    bool haveCommand = false;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (connected_ && subscriptions_.empty())
        wake_.wait_for(lock, kHeartbeatPeriod, [this] { return stop_ || !commands_.empty(); });
      else if (!connected_)
        wake_.wait(lock, [this] { return stop_ || !commands_.empty(); });
      if (stop_) break;
      if (!commands_.empty()) {
        command = std::move(commands_.front());
        commands_.pop_front();
        haveCommand = true;
      }
    }
    guarded([&] {
      if (haveCommand)
        Execute(command);
      else if (connected_ && !Listen())
        Lose("the connection to " + connectedEndpoint_ + " was lost");
    });
  }
  guarded([&] {
    if (connected_) client_->Disconnect();
  });
}

void OPCUAClient::FailOnException(const std::string& what) noexcept {
  try {
    const std::string why = "master link: " + what;
    std::cerr << why << '\n';
    if (connected_) Lose(why);
  } catch (...) {
    // Out of memory even for the report: the connection is left as it is
    // and the next command tries again.
  }
}

void OPCUAClient::Execute(Command& command) {
  using K = Command::Kind;
  switch (command.What) {
    case K::Connect:
      Connect(command);
      return;
    case K::Register: {
      OPCClientReport report;
      report.What = OPCClientReport::Kind::AddItemsDone;
      report.Group = command.Groups.front().Id;
      // Inactive: the items wait for the connect, which registers them.
      if (connected_) report.Text = Subscribe(command.Groups.front(), report.Updates);
      Report(std::move(report));
      return;
    }
    case K::Remove:
      if (connected_) Unsubscribe(command.Groups.front().Id);
      return;
    case K::Confirm: {
      OPCClientReport report;
      report.What = OPCClientReport::Kind::SetActiveDone;
      if (!connected_) report.Text = "not connected";
      Report(std::move(report));
      return;
    }
    case K::Disconnect:
      if (!connected_) return;
      client_->Disconnect();
      connected_ = false;
      subscriptions_.clear();
      Report({OPCClientReport::Kind::Disconnected, 0, "disconnected", {}});
      return;
  }
}

void OPCUAClient::Connect(Command& command) {
  OPCClientReport done;
  done.What = OPCClientReport::Kind::SetActiveDone;
  if (connected_) {  // a connect that overtook a lost connection's report
    Report(std::move(done));
    return;
  }
  std::string error;
  if (!client_->Connect(command.Endpoint, error, kConnectTimeoutMs)) {
    done.Text = "cannot connect to " + command.Endpoint + ": " + error;
    Report(std::move(done));
    return;
  }
  connected_ = true;
  connectedEndpoint_ = command.Endpoint;
  subscriptions_.clear();
  Report({OPCClientReport::Kind::Connected, 0, {}, {}});
  for (const GroupPlan& plan : command.Groups) {
    if (plan.Items.empty()) continue;
    std::string failure = Subscribe(plan, done.Updates);
    if (!failure.empty() && done.Text.empty()) done.Text = failure;
  }
  // A server that refuses a group's subscription fails the whole connect.
  if (!done.Text.empty()) {
    client_->Disconnect();
    connected_ = false;
    subscriptions_.clear();
    done.Updates.clear();
    Report({OPCClientReport::Kind::Disconnected, 0, done.Text, {}});
  }
  Report(std::move(done));
}

std::string OPCUAClient::Subscribe(const GroupPlan& plan, std::vector<OPCItemUpdate>& outcomes) {
  Unsubscribe(plan.Id);
  if (plan.Items.empty()) return {};
  const double rate = plan.UpdateRateMs;
  opcua::CreateSubscriptionRequest create;
  create.requestedPublishingInterval = rate;
  create.requestedMaxKeepAliveCount =
      static_cast<uint32_t>(std::max(1.0, std::floor(kKeepAliveTargetMs / rate)));
  create.requestedLifetimeCount = create.requestedMaxKeepAliveCount * 10;
  opcua::CreateSubscriptionResponse created;
  if (opcua::StatusCode s = client_->Call(create, created, kCallTimeoutMs); !s.IsGood())
    return std::string("the server refused a subscription for the group: ") + opcua::StatusName(s);
  subscriptions_[created.subscriptionId] = {
      plan.Id, created.revisedPublishingInterval * std::max<uint32_t>(1, created.revisedMaxKeepAliveCount)};

  opcua::CreateMonitoredItemsRequest monitor;
  monitor.subscriptionId = created.subscriptionId;
  for (const auto& [handle, itemID] : plan.Items) {
    opcua::MonitoredItemCreateRequest item;
    item.itemToMonitor.nodeId = opcua::NodeId(1, itemID);
    item.requestedParameters.clientHandle = handle;
    item.requestedParameters.samplingInterval = rate;
    item.requestedParameters.queueSize = 1;
    monitor.itemsToCreate.push_back(std::move(item));
  }
  opcua::CreateMonitoredItemsResponse monitored;
  opcua::StatusCode s = client_->Call(monitor, monitored, kCallTimeoutMs);
  for (std::size_t i = 0; i < plan.Items.size(); ++i) {
    OPCItemUpdate outcome;
    outcome.Handle = plan.Items[i].first;
    if (!s.IsGood())
      outcome.Status = s.value;
    else if (i >= monitored.results.size())
      outcome.Status = opcua::status::BadUnknownResponse.value;
    else
      outcome.Status = monitored.results[i].statusCode.value;
    outcomes.push_back(outcome);
  }
  return {};
}

void OPCUAClient::Unsubscribe(uint32_t group) {
  for (auto it = subscriptions_.begin(); it != subscriptions_.end(); ++it) {
    if (it->second.Group != group) continue;
    opcua::DeleteSubscriptionsRequest request;
    request.subscriptionIds = {it->first};
    opcua::DeleteSubscriptionsResponse response;
    client_->Call(request, response, kCallTimeoutMs);
    subscriptions_.erase(it);
    return;
  }
}

bool OPCUAClient::Listen() {
  if (subscriptions_.empty()) {
    opcua::DataValue state;
    return !IsLostConnection(client_->Read(kServerStateNode, state));
  }
  double keepAliveMs = 0;
  for (const auto& [id, subscription] : subscriptions_) keepAliveMs = std::max(keepAliveMs, subscription.KeepAliveMs);
  opcua::PublishResponse response;
  const opcua::StatusCode s =
      client_->Publish(response, static_cast<int>(keepAliveMs) + kAnswerMarginMs);
  if (IsLostConnection(s)) return false;
  if (!s.IsGood()) {
    // No subscription to publish for (yet): do not spin.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return true;
  }
  auto found = subscriptions_.find(response.subscriptionId);
  if (found == subscriptions_.end()) return true;  // one deleted since
  OPCClientReport report;
  report.What = OPCClientReport::Kind::DataChange;
  report.Group = found->second.Group;
  for (const opcua::ExtensionObject& data : response.notificationMessage.notificationData) {
    opcua::DataChangeNotification changes;
    if (!opcua::Unwrap(data, changes).IsGood()) continue;
    for (const opcua::MonitoredItemNotification& n : changes.monitoredItems) {
      OPCItemUpdate update;
      update.Handle = n.clientHandle;
      update.ValueText = ValueText(n.value.value);
      update.Quality = QualityOfStatus(n.value.hasStatus ? n.value.status : opcua::status::Good);
      report.Updates.push_back(std::move(update));
    }
  }
  if (!report.Updates.empty()) Report(std::move(report));
  return true;
}

void OPCUAClient::Lose(const std::string& why) {
  // The event first: closing a dead session may wait for its own timeout.
  connected_ = false;
  subscriptions_.clear();
  Report({OPCClientReport::Kind::Disconnected, 0, why, {}});
  client_->Disconnect();
}

}  // namespace qx
