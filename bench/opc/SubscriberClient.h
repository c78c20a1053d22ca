// A subscribed OPC UA client on a thread of its own: it monitors items
// (sampling interval 0, so every change is reported) in one subscription and
// keeps sending Publish requests, counting the data changes that arrive.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "opcua/Client.h"

namespace qx::bench {

class SubscriberClient {
 public:
  using Clock = std::chrono::steady_clock;

  SubscriberClient() = default;
  ~SubscriberClient() { Stop(); }
  SubscriberClient(const SubscriberClient&) = delete;
  SubscriberClient& operator=(const SubscriberClient&) = delete;

  // Connects (with the channel security of BenchSecurity.h), subscribes to `items` (client handle = index) and starts
  // receiving. `watched` is the index whose latest text is kept.
  bool Start(const std::string& endpoint, const std::vector<std::string>& items,
             double publishingIntervalMs, std::size_t watched, std::string& error);
  // Stops receiving and closes the session.
  void Stop();

  // Data changes received so far, and how many of them had lost older
  // values of their item (the overflow bit).
  long Notifications() const { return notifications_.load(); }
  long Overflows() const { return overflows_.load(); }
  long PublishErrors() const { return publishErrors_.load(); }

  // The latest text of the watched item and when it arrived.
  std::string WatchedText(Clock::time_point* arrived = nullptr) const;

 private:
  void Receive();

  opcua::Client client_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<long> notifications_{0}, overflows_{0}, publishErrors_{0};
  std::size_t watched_ = 0;
  mutable std::mutex watchedMutex_;
  std::string watchedText_;
  Clock::time_point watchedArrived_{};
};

using Subscribers = std::vector<std::unique_ptr<SubscriberClient>>;

// The data changes each client received so far.
std::vector<long> Received(const Subscribers& clients);
// Waits until no client has received anything for 300 ms (at most 10 s).
void Drain(const Subscribers& clients);

}  // namespace qx::bench
