#include "bench/opc/SubscriberClient.h"

#include "bench/opc/BenchSecurity.h"

namespace qx::bench {
namespace {

// A DataValue status that says the item's queue dropped older values.
constexpr uint32_t kOverflowBits = 0x0480;  // InfoType DataValue + Overflow

// Values each item's queue holds between two publications. A session's
// queues share 6000 slots, less one kept for each of the 2500 items it may
// still create, so 33 items get about 107 each at most; a larger request is
// granted to the first items only and leaves the rest with a queue of one,
// which reports no overflow. At the 50 ms publishing interval 100 values
// cover 2000 changes of an item a second.
constexpr uint32_t kQueueSize = 100;

}  // namespace

std::vector<long> Received(const Subscribers& clients) {
  std::vector<long> counts;
  for (const auto& c : clients) counts.push_back(c->Notifications());
  return counts;
}

void Drain(const Subscribers& clients) {
  auto last = Received(clients);
  auto quietSince = SubscriberClient::Clock::now();
  const auto deadline = quietSince + std::chrono::seconds(10);
  while (SubscriberClient::Clock::now() - quietSince < std::chrono::milliseconds(300) &&
         SubscriberClient::Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto now = Received(clients);
    if (now != last) {
      last = now;
      quietSince = SubscriberClient::Clock::now();
    }
  }
}

bool SubscriberClient::Start(const std::string& endpoint, const std::vector<std::string>& items,
                             double publishingIntervalMs, std::size_t watched, std::string& error) {
  SecureClient(client_);
  if (!client_.Connect(endpoint, error)) return false;
  uint32_t subscription = 0;
  if (opcua::StatusCode s = client_.CreateSubscription(publishingIntervalMs, subscription); !s.IsGood()) {
    error = std::string("CreateSubscription: ") + opcua::StatusName(s);
    return false;
  }
  std::vector<opcua::NodeId> nodes;
  for (const std::string& name : items) nodes.emplace_back(1, name);
  if (opcua::StatusCode s = client_.Monitor(subscription, nodes, kQueueSize); !s.IsGood()) {
    error = std::string("CreateMonitoredItems: ") + opcua::StatusName(s);
    return false;
  }
  watched_ = watched;
  running_ = true;
  thread_ = std::thread([this] { Receive(); });
  return true;
}

void SubscriberClient::Stop() {
  if (!running_.exchange(false)) return;
  thread_.join();
  client_.Disconnect();
}

std::string SubscriberClient::WatchedText(Clock::time_point* arrived) const {
  std::lock_guard<std::mutex> lock(watchedMutex_);
  if (arrived) *arrived = watchedArrived_;
  return watchedText_;
}

void SubscriberClient::Receive() {
  // A long wait: the client drops an answer that comes after its request
  // timed out, and with it the changes it carried. Keep-alives answer every
  // 500 ms, so Stop() does not wait long.
  constexpr int kPublishTimeoutMs = 30000;
  while (running_.load()) {
    opcua::PublishResponse response;
    if (!client_.Publish(response, kPublishTimeoutMs).IsGood()) {
      publishErrors_.fetch_add(1);
      continue;
    }
    const auto arrived = Clock::now();
    for (const opcua::ExtensionObject& data : response.notificationMessage.notificationData) {
      opcua::DataChangeNotification changes;
      if (!opcua::Unwrap(data, changes).IsGood()) continue;
      long overflows = 0;
      for (const opcua::MonitoredItemNotification& n : changes.monitoredItems) {
        if ((n.value.status.value & kOverflowBits) == kOverflowBits) ++overflows;
        if (n.clientHandle != watched_) continue;
        if (const auto* text = std::get_if<std::string>(&n.value.value.scalar)) {
          std::lock_guard<std::mutex> lock(watchedMutex_);
          watchedText_ = *text;
          watchedArrived_ = arrived;
        }
      }
      notifications_.fetch_add(static_cast<long>(changes.monitoredItems.size()));
      overflows_.fetch_add(overflows);
    }
  }
}

}  // namespace qx::bench
