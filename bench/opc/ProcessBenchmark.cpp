// The server in a process of its own (ServerProcess.h) with 10 clients in
// this one, each subscribed to all 33 items (sampling interval 0,
// publishing interval 50 ms, queue 100): what the server alone costs.
//   ServerIdleMemory          resident memory with no session, and with the
//                             10 subscribed sessions idle
//   ServerCpuPerBatch/R       R publications a second for 4 s: the server
//                             process's CPU time (the loop's stand-in that
//                             makes the values included) per publication
//   ServerDeliveryAtRate/R    R publications a second for 2 s: the share of
//                             the changes every client received
//   ServerSaturation          publications as fast as the process makes them
//                             for 3 s: the distinct values per item and
//                             second that reach the slowest client
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "bench/opc/LoopDriver.h"
#include "bench/opc/ServerProcess.h"
#include "bench/opc/SubscriberClient.h"

namespace qx::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kClients = 10;
constexpr double kPublishingIntervalMs = 50;
constexpr std::size_t kWatchedItem = 4;  // QX_S.K

struct ProcessSetup {
  ServerProcess server;
  Subscribers clients;
  ServerProcess::Resident withoutSessions;
};

ProcessSetup& SharedProcess() {
  static ProcessSetup* setup = [] {
    auto* s = new ProcessSetup;
    std::string error;
    if (!s->server.Start(error) || !s->server.Memory(s->withoutSessions, error)) {
      std::fprintf(stderr, "bench_opc: server process: %s\n", error.c_str());
      std::exit(1);
    }
    std::vector<std::string> items(kItemNames.begin(), kItemNames.end());
    for (int i = 0; i < kClients; ++i) {
      auto client = std::make_unique<SubscriberClient>();
      if (!client->Start(s->server.Endpoint(), items, kPublishingIntervalMs, kWatchedItem, error)) {
        std::fprintf(stderr, "bench_opc: client %d of the server process: %s\n", i, error.c_str());
        std::exit(1);
      }
      s->clients.push_back(std::move(client));
    }
    return s;
  }();
  return *setup;
}

void ServerIdleMemory(benchmark::State& state) {
  ProcessSetup& s = SharedProcess();
  for (auto _ : state) {
    Drain(s.clients);
    // Idle: the first values are out, keep-alives go on.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ServerProcess::Resident idle;
    std::string error;
    if (!s.server.Memory(idle, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    state.counters["rss_no_session_MiB"] = s.withoutSessions.residentMiB;
    state.counters["rss_idle_MiB"] = idle.residentMiB;
    state.counters["rss_peak_MiB"] = idle.peakMiB;
    state.counters["anon_no_session_MiB"] = s.withoutSessions.anonymousMiB;
    state.counters["anon_idle_MiB"] = idle.anonymousMiB;
  }
}
BENCHMARK(ServerIdleMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// Feeds `rate` publications a second (0: unpaced) for `seconds`, then gives
// the clients 5 s to receive every change.
void Deliver(benchmark::State& state, double rate, double seconds) {
  ProcessSetup& s = SharedProcess();
  for (auto _ : state) {
    Drain(s.clients);
    const std::vector<long> before = Received(s.clients);
    long overflows = 0;
    for (const auto& c : s.clients) overflows -= c->Overflows();
    ServerProcess::Fed fed;
    std::string error;
    if (!s.server.Feed(rate, seconds, fed, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    auto fewest = [&] {
      long least = fed.changes;
      for (int i = 0; i < kClients; ++i) least = std::min(least, s.clients[i]->Notifications() - before[i]);
      return least;
    };
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (fewest() < fed.changes && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Drain(s.clients);
    const long least = fewest();
    for (const auto& c : s.clients) overflows += c->Overflows();
    const double changedPerPublication = static_cast<double>(fed.changes) / static_cast<double>(fed.publications);
    state.counters["achieved_per_s"] = static_cast<double>(fed.publications) / fed.seconds;
    state.counters["cpu_us_per_batch"] = fed.cpuSeconds / static_cast<double>(fed.publications) * 1e6;
    state.counters["server_cpu_pct"] = 100 * fed.cpuSeconds / fed.seconds;
    state.counters["delivered_pct"] = 100.0 * static_cast<double>(least) / static_cast<double>(fed.changes);
    // Distinct values of one changing item that reached the slowest client,
    // a second.
    state.counters["delivered_per_item_s"] = static_cast<double>(least) / changedPerPublication / fed.seconds;
    state.counters["overflows"] = static_cast<double>(overflows);
    state.counters["full"] = least == fed.changes && overflows == 0 ? 1 : 0;
  }
}

void ServerCpuPerBatch(benchmark::State& state) { Deliver(state, static_cast<double>(state.range(0)), 4); }
BENCHMARK(ServerCpuPerBatch)->Arg(430)->Iterations(1)->Unit(benchmark::kMillisecond);

void ServerDeliveryAtRate(benchmark::State& state) { Deliver(state, static_cast<double>(state.range(0)), 2); }
BENCHMARK(ServerDeliveryAtRate)->Arg(1500)->Arg(1800)->Arg(2000)->Arg(2200)->Arg(2500)->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void ServerSaturation(benchmark::State& state) { Deliver(state, 0, 3); }
BENCHMARK(ServerSaturation)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qx::bench
