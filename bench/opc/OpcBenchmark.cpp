// The simulator's OPC server under load, with 10 clients each subscribed to
// all 33 items (sampling interval 0, publishing interval 50 ms):
//   PublishItemValues         what one whole publication (the items, the
//                             analysis figures and the loop object with
//                             its history) costs the run loop's thread
//   DeliveryAtRate/R          R publications a second for 2 s: does every
//                             change reach every client?
//   WriteToPublication        from a client's write of QX_S.PROP until a
//                             subscribed client sees it published
//   HundredSessions           100 more sessions opened and held at once
//   SessionOpen               one client's channel and session, opened and
//                             closed again
//   UnpacedPublication        publications as fast as they can be made
// The clients are the project's own OPC UA client over loopback TCP, under
// SecurityPolicy None; with --secure every client (the 10 subscribers, the
// writer and the extra sessions) uses Basic256Sha256 SignAndEncrypt, so the
// two runs side by side show what encryption costs. ProcessBenchmark.cpp
// runs the same server in a process of its own, for its CPU time and memory.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/opc/BenchSecurity.h"
#include "bench/opc/LoopDriver.h"
#include "bench/opc/ServerProcess.h"
#include "bench/opc/SubscriberClient.h"
#include "engine/RealText.h"

namespace qx::bench {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration;

constexpr int kClients = 10;
constexpr double kPublishingIntervalMs = 50;
constexpr std::size_t kWatchedItem = 4;  // QX_S.K

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The server and its 10 subscribers, shared by every benchmark.
struct Setup {
  LoopDriver driver;
  Subscribers clients;
  int largestFullRate = 0;
  bool deliveryMeasured = false;
};

// Whether a benchmark made the in-process server and its clients.
bool sharedMade = false;

Setup& Shared() {
  static Setup* setup = [] {
    sharedMade = true;
    auto* s = new Setup;
    std::string error;
    if (!s->driver.Serve(error)) {
      std::fprintf(stderr, "bench_opc: cannot serve: %s\n", error.c_str());
      std::exit(1);
    }
    std::vector<std::string> items(kItemNames.begin(), kItemNames.end());
    for (int i = 0; i < kClients; ++i) {
      auto client = std::make_unique<SubscriberClient>();
      if (!client->Start(s->driver.Endpoint(), items, kPublishingIntervalMs, kWatchedItem, error)) {
        std::fprintf(stderr, "bench_opc: client %d: %s\n", i, error.c_str());
        std::exit(1);
      }
      s->clients.push_back(std::move(client));
    }
    return s;
  }();
  return *setup;
}

// (a) One publication at 2000 a second while the clients receive.
void PublishItemValues(benchmark::State& state) {
  Setup& s = Shared();
  Drain(s.clients);
  const auto period = std::chrono::microseconds(500);
  auto next = Clock::now();
  double cpu = 0, worst = 0;
  long calls = 0;
  for (auto _ : state) {
    s.driver.Advance(true);
    const double cpu0 = ThreadCpuSeconds();
    const auto t0 = Clock::now();
    s.driver.Publish();
    const double wall = duration<double>(Clock::now() - t0).count();
    cpu += ThreadCpuSeconds() - cpu0;
    worst = std::max(worst, wall);
    ++calls;
    state.SetIterationTime(wall);
    next += period;
    std::this_thread::sleep_until(next);
  }
  state.counters["cpu_us"] = cpu / static_cast<double>(calls) * 1e6;
  state.counters["max_us"] = worst * 1e6;
}
BENCHMARK(PublishItemValues)->UseManualTime()->Iterations(4000)->Unit(benchmark::kMicrosecond);

// (b) `rate` publications a second for 2 s; then the clients have 5 s to
// receive every change. "full" is 1 when every client received every change.
void DeliveryAtRate(benchmark::State& state) {
  Setup& s = Shared();
  const int rate = static_cast<int>(state.range(0));
  const long publications = rate * 2L;
  for (auto _ : state) {
    Drain(s.clients);
    const std::vector<long> before = Received(s.clients);
    long overflowsBefore = 0;
    for (const auto& c : s.clients) overflowsBefore += c->Overflows();
    long expected = 0;
    const auto period = duration<double>(1.0 / rate);
    const auto start = Clock::now();
    for (long k = 0; k < publications; ++k) {
      expected += s.driver.Advance(true);
      s.driver.Publish();
      std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(period * (k + 1)));
    }
    const double seconds = duration<double>(Clock::now() - start).count();
    const auto sent = Clock::now();
    auto fewest = [&] {
      long least = expected;
      for (int i = 0; i < kClients; ++i) least = std::min(least, s.clients[i]->Notifications() - before[i]);
      return least;
    };
    const auto deadline = sent + std::chrono::seconds(5);
    while (fewest() < expected && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const long least = fewest();
    long overflows = -overflowsBefore;
    for (const auto& c : s.clients) overflows += c->Overflows();
    const bool full = least == expected && overflows == 0;
    s.deliveryMeasured = true;
    if (full) s.largestFullRate = std::max(s.largestFullRate, rate);
    state.counters["achieved_per_s"] = static_cast<double>(publications) / seconds;
    state.counters["changes_per_client"] = static_cast<double>(expected);
    state.counters["delivered_pct"] = 100.0 * static_cast<double>(least) / static_cast<double>(expected);
    state.counters["overflows"] = static_cast<double>(overflows);
    state.counters["catch_up_ms"] = duration<double, std::milli>(Clock::now() - sent).count();
    state.counters["full"] = full ? 1 : 0;
  }
}
BENCHMARK(DeliveryAtRate)->Arg(500)->Arg(1000)->Arg(1500)->Arg(2000)->Arg(3000)->Arg(4000)->Arg(6000)->Arg(8000)->Arg(10000)->Arg(12000)
    ->Iterations(1)->Unit(benchmark::kMillisecond);

// (c) A client writes a new gain to QX_S.PROP while the loop publishes 1000
// times a second; the time until the first subscriber receives QX_S.K with
// that gain. The publishing interval of 50 ms dominates: half of it on
// average.
void WriteToPublication(benchmark::State& state) {
  Setup& s = Shared();
  Drain(s.clients);
  std::atomic<bool> publishing{true};
  std::thread loop([&] {
    auto next = Clock::now();
    while (publishing.load()) {
      s.driver.Advance(false);
      s.driver.Publish();
      next += std::chrono::milliseconds(1);
      std::this_thread::sleep_until(next);
    }
  });
  opcua::Client writer;
  SecureClient(writer);
  std::string error;
  if (!writer.Connect(s.driver.Endpoint(), error)) state.SkipWithError(error.c_str());
  std::vector<double> latencies;
  long timeouts = 0;
  int k = 0;
  // Each write at a random phase of the publishing cycle: a write made right
  // after a publication arrived would always wait a whole cycle.
  std::mt19937 random(7);
  std::uniform_int_distribution<int> phaseUs(0, static_cast<int>(kPublishingIntervalMs * 1000) - 1);
  for (auto _ : state) {
    const float gain = 2 + 0.125f * static_cast<float>(++k % 64);
    const std::string text = FormatReal(gain, '.');
    state.PauseTiming();
    std::this_thread::sleep_for(std::chrono::microseconds(phaseUs(random)));
    state.ResumeTiming();
    const auto t0 = Clock::now();
    if (!writer.Write(opcua::NodeId(1, "QX_S.PROP"), opcua::Variant(text)).IsGood()) {
      state.SkipWithError("the write was refused");
      break;
    }
    Clock::time_point arrived{};
    const auto deadline = t0 + std::chrono::seconds(2);
    while (s.clients[0]->WatchedText(&arrived) != text && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    if (s.clients[0]->WatchedText(&arrived) != text) {
      ++timeouts;
      arrived = Clock::now();
    }
    const double seconds = duration<double>(arrived - t0).count();
    latencies.push_back(seconds);
    state.SetIterationTime(seconds);
  }
  publishing = false;
  loop.join();
  if (latencies.empty()) return;
  std::sort(latencies.begin(), latencies.end());
  auto at = [&](double q) { return latencies[static_cast<std::size_t>(q * static_cast<double>(latencies.size() - 1))] * 1e3; };
  state.counters["p50_ms"] = at(0.5);
  state.counters["p95_ms"] = at(0.95);
  state.counters["max_ms"] = latencies.back() * 1e3;
  state.counters["timeouts"] = static_cast<double>(timeouts);
}
BENCHMARK(WriteToPublication)->UseManualTime()->Iterations(60)->Unit(benchmark::kMillisecond);

// (d) 100 sessions opened one after another and held together; each reads
// an item while all are open, and again after a publication.
void HundredSessions(benchmark::State& state) {
  Setup& s = Shared();
  for (auto _ : state) {
    std::vector<std::unique_ptr<opcua::Client>> sessions;
    long errors = 0;
    std::string firstError;
    const auto t0 = Clock::now();
    for (int i = 0; i < 100; ++i) {
      auto client = std::make_unique<opcua::Client>();
      SecureClient(*client);
      std::string error;
      if (client->Connect(s.driver.Endpoint(), error)) {
        sessions.push_back(std::move(client));
      } else {
        ++errors;
        if (firstError.empty()) firstError = error;
      }
    }
    const double openMs = duration<double, std::milli>(Clock::now() - t0).count();
    const long held = s.driver.Server().ServerObjectCount();
    for (int round = 0; round < 2; ++round) {
      s.driver.Advance(true);
      s.driver.Publish();
      for (auto& client : sessions) {
        opcua::DataValue value;
        if (!client->Read(opcua::NodeId(1, "QX_S.PV"), value).IsGood()) ++errors;
      }
    }
    for (auto& client : sessions) client->Disconnect();
    if (!firstError.empty()) std::fprintf(stderr, "bench_opc: a session failed: %s\n", firstError.c_str());
    state.counters["sessions_opened"] = static_cast<double>(sessions.size());
    state.counters["server_sessions"] = static_cast<double>(held);  // with the 10 subscribers
    state.counters["errors"] = static_cast<double>(errors);
    state.counters["open_ms"] = openMs;
  }
}
BENCHMARK(HundredSessions)->Iterations(1)->Unit(benchmark::kMillisecond);

// (e) The time to open a channel and an activated session (under --secure
// with the client's discovery of the server's certificate over a channel
// without security, and both sides' RSA work) while the 10 subscribers
// receive; the session is closed again each time.
void SessionOpen(benchmark::State& state) {
  Setup& s = Shared();
  Drain(s.clients);
  std::vector<double> times;
  for (auto _ : state) {
    opcua::Client client;
    SecureClient(client);
    std::string error;
    const auto t0 = Clock::now();
    if (!client.Connect(s.driver.Endpoint(), error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    const double seconds = duration<double>(Clock::now() - t0).count();
    client.Disconnect();
    times.push_back(seconds);
    state.SetIterationTime(seconds);
  }
  if (times.empty()) return;
  std::sort(times.begin(), times.end());
  state.counters["p50_ms"] = times[times.size() / 2] * 1e3;
  state.counters["max_ms"] = times.back() * 1e3;
}
BENCHMARK(SessionOpen)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

// The resident memory of this process, in MiB.
double ResidentMiB() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return 0;
  char line[256];
  long kib = 0;
  while (std::fgets(line, sizeof line, status))
    if (std::sscanf(line, "VmRSS: %ld kB", &kib) == 1) break;
  std::fclose(status);
  return static_cast<double>(kib) / 1024;
}

// A run at full speed: publications as fast as the loop can make them for
// 3 s. What rate that is, and whether the server keeps up or piles up the
// updates in memory. Last, as it may leave the server behind for a while.
void UnpacedPublication(benchmark::State& state) {
  Setup& s = Shared();
  for (auto _ : state) {
    Drain(s.clients);
    const double before = ResidentMiB();
    double peak = before;
    long publications = 0;
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(3)) {
      s.driver.Advance(true);
      s.driver.Publish();
      if (++publications % 1024 == 0) peak = std::max(peak, ResidentMiB());
    }
    const double seconds = duration<double>(Clock::now() - start).count();
    // One last publication with a gain of its own: how long until every
    // client has it tells how far the server fell behind.
    s.driver.Advance(false);
    StoreShared(s.driver.Model().SingleLoop.P, 4321);
    s.driver.Publish();
    const auto sent = Clock::now();
    const auto deadline = sent + std::chrono::seconds(60);
    auto allHaveIt = [&] {
      for (const auto& c : s.clients)
        if (c->WatchedText() != "4321") return false;
      return true;
    };
    while (!allHaveIt() && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    state.counters["publications_per_s"] = static_cast<double>(publications) / seconds;
    state.counters["rss_growth_MiB"] = peak - before;
    state.counters["last_reaches_all_ms"] = duration<double, std::milli>(Clock::now() - sent).count();
  }
}
BENCHMARK(UnpacedPublication)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qx::bench

int main(int argc, char** argv) {
  // --secure and --server-process are ours; the rest is Google Benchmark's.
  int kept = 1;
  bool serverProcess = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--secure")
      qx::bench::UseSecuredChannels(true);
    else if (std::string(argv[i]) == "--server-process")
      serverProcess = true;
    else
      argv[kept++] = argv[i];
  }
  argc = kept;
  if (serverProcess) return qx::bench::RunServerProcess();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (qx::bench::sharedMade) {
    qx::bench::Setup& s = qx::bench::Shared();
    long errors = 0;
    for (const auto& c : s.clients) errors += c->PublishErrors();
    if (s.deliveryMeasured)
      std::printf("largest publication rate delivered in full to all %d clients: %d/s\n",
                  qx::bench::kClients, s.largestFullRate);
    std::printf("failed Publish round trips of the subscribers: %ld\n", errors);
  }
  std::printf("channel security of every client: %s\n", qx::bench::ChannelSecurityName());
  return 0;
}
