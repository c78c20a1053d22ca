// From a condition state set by the application to the event's arrival at a
// subscribed client, over loopback TCP: a server with one level alarm, a
// client with an event item on the Server object, and the application
// changing the alarm at random moments of the publishing interval. Prints
// the latencies and whether they stay within one interval plus 5 ms.
//
//   bench_alarm_latency [changes=200] [publishing interval ms=50]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "opcua/Client.h"
#include "opcua/EventNodeIds.h"
#include "opcua/EventServiceTypes.h"
#include "opcua/NodeIds.h"
#include "opcua/Server.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace opcua;

constexpr double kAllowanceMs = 5;  // on top of one publishing interval

double Ms(SteadyClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The severity carries the number of the change, so the client tells the
// changes apart whatever the order of arrival.
uint16_t SeverityOf(size_t change) { return static_cast<uint16_t>(change % 999 + 1); }

EventFilter SeverityFilter() {
  SimpleAttributeOperand severity;
  severity.typeDefinitionId = NodeId(0, ids::BaseEventType);
  severity.browsePath = {{0, "Severity"}};
  EventFilter f;
  f.selectClauses = {severity};
  f.whereClause.elements = {
      {FilterOperator::OfType, {Wrap(LiteralOperand{NodeId(0, ids::AlarmConditionType)})}}};
  return f;
}

bool Subscribe(Client& client, double intervalMs, std::string& error) {
  uint32_t subscription = 0;
  if (StatusCode st = client.CreateSubscription(intervalMs, subscription); !st.IsGood()) {
    error = std::string("CreateSubscription: ") + StatusName(st);
    return false;
  }
  CreateMonitoredItemsRequest req;
  req.subscriptionId = subscription;
  MonitoredItemCreateRequest item;
  item.itemToMonitor.nodeId = NodeId(0, ids::Server);
  item.itemToMonitor.attributeId = kAttrEventNotifier;
  item.requestedParameters.queueSize = 100;
  item.requestedParameters.filter = Wrap(SeverityFilter());
  req.itemsToCreate = {item};
  CreateMonitoredItemsResponse resp;
  StatusCode st = client.Call(req, resp);
  if (st.IsGood() && !resp.results.empty()) st = resp.results[0].statusCode;
  if (!st.IsGood()) error = std::string("event item: ") + StatusName(st);
  return st.IsGood();
}

int Run(size_t changes, double intervalMs) {
  ServerConfig config;
  config.endpointUrl = "opc.tcp://127.0.0.1:0";
  Server server(config);
  std::string error;
  uint16_t ns = server.RegisterNamespace("urn:bench:alarms");
  NodeId loop(ns, "Loop");
  uint32_t alarm = 0;
  if (!server.AddFolder(NodeId(0, ids::ObjectsFolder), loop, "Loop", error) ||
      !server.AddCondition({NodeId(ns, "Loop.LevelAlarm"), NodeId(0, ids::ExclusiveLevelAlarmType),
                            loop, "LevelAlarm", {}, {}, {}},
                           alarm, error) ||
      !server.Start(error)) {
    std::fprintf(stderr, "server: %s\n", error.c_str());
    return 1;
  }
  Client client;
  if (!client.Connect(server.ServedEndpointUrl(), error) || !Subscribe(client, intervalMs, error)) {
    std::fprintf(stderr, "client: %s\n", error.c_str());
    return 1;
  }

  std::vector<SteadyClock::time_point> setAt(changes), arrivedAt(changes);
  std::vector<char> arrived(changes, 0);
  std::mutex mutex;
  std::atomic<bool> running{true};
  std::atomic<size_t> received{0};
  std::string receiveError;
  std::thread receiver([&] {
    try {
      while (running && received < changes) {
        PublishResponse resp;
        StatusCode st = client.Publish(resp, 2000);
        auto now = SteadyClock::now();
        if (!st.IsGood()) {
          receiveError = std::string("Publish: ") + StatusName(st) + " " + client.LastError();
          return;
        }
        for (const auto& data : resp.notificationMessage.notificationData) {
          EventNotificationList list;
          if (!Unwrap(data, list).IsGood()) continue;
          std::lock_guard lock(mutex);
          for (const auto& e : list.events) {
            const auto* severity = e.eventFields.empty() ? nullptr
                                                         : std::get_if<uint16_t>(&e.eventFields[0].scalar);
            if (!severity) continue;
            // The change this severity numbers.
            for (size_t i = 0; i < changes; ++i)
              if (SeverityOf(i) == *severity && !arrived[i] && setAt[i] != SteadyClock::time_point{}) {
                arrived[i] = 1;
                arrivedAt[i] = now;
                ++received;
                break;
              }
          }
        }
      }
    } catch (const std::exception& e) {
      receiveError = e.what();
    }
  });

  std::mt19937 random(12345);
  std::uniform_real_distribution<double> phase(0.3 * intervalMs, 1.7 * intervalMs);
  for (size_t i = 0; i < changes && receiveError.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(phase(random)));
    ConditionState state;
    state.active = i % 2 == 0;
    state.acked = state.confirmed = !state.active;
    state.severity = SeverityOf(i);
    {
      std::lock_guard lock(mutex);
      setAt[i] = SteadyClock::now();
    }
    server.SetConditionState(alarm, state);
  }
  auto deadline = SteadyClock::now() + std::chrono::seconds(3);
  while (received < changes && SteadyClock::now() < deadline && receiveError.empty())
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  running = false;
  client.Interrupt();
  receiver.join();

  std::vector<double> latencies;
  for (size_t i = 0; i < changes; ++i)
    if (arrived[i]) latencies.push_back(Ms(arrivedAt[i] - setAt[i]));
  std::sort(latencies.begin(), latencies.end());
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) < 0) load[0] = -1;
  const double bound = intervalMs + kAllowanceMs;
  if (latencies.empty()) {
    std::fprintf(stderr, "no event arrived: %s\n", receiveError.c_str());
    return 1;
  }
  auto at = [&](double q) { return latencies[std::min(latencies.size() - 1, size_t(q * latencies.size()))]; };
  size_t within = std::count_if(latencies.begin(), latencies.end(), [&](double l) { return l <= bound; });
  std::printf("alarm state -> client event, publishing interval %.0f ms, %zu changes, %zu arrived\n",
              intervalMs, changes, latencies.size());
  std::printf("latency ms: min %.2f  median %.2f  p95 %.2f  p99 %.2f  max %.2f\n", latencies.front(),
              at(0.5), at(0.95), at(0.99), latencies.back());
  std::printf("within %.0f ms (one interval + %.0f): %zu of %zu; load average %.2f %.2f %.2f\n", bound,
              kAllowanceMs, within, latencies.size(), load[0], load[1], load[2]);
  if (!receiveError.empty() && received < changes) std::fprintf(stderr, "%s\n", receiveError.c_str());
  return within == changes ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    size_t changes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
    double intervalMs = argc > 2 ? std::strtod(argv[2], nullptr) : 50;
    if (changes == 0 || !(intervalMs >= 10)) {
      std::fprintf(stderr, "usage: %s [changes>0] [publishing interval ms>=10]\n", argv[0]);
      return 64;
    }
    return Run(changes, intervalMs);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_alarm_latency: %s\n", e.what());
    return 1;
  }
}
