// The master link, with the simulator's own server in this process as the
// master and an Application as the slave whose GUI thread sleeps until the
// link's client wakes it (as the window's event loop does):
//   MasterToSetPoint     from a change of the master's QX_S.OP, at a random
//                        moment, until the slave's SingleLoop.SP holds it,
//                        with the link's 100 ms update rate: median, 95th
//                        percentile and worst (target: worst <= 105 ms)
//   DeliverOneDataChange the GUI thread's own time for one data change:
//                        the hand-off, the item update and the handler
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/Application.h"
#include "app/MasterLink.h"
#include "engine/NumberText.h"
#include "opc/OPCQuality.h"
#include "opc/OPCServer.h"

namespace qx::bench {
namespace {

using Clock = std::chrono::steady_clock;

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A front end that shows nothing and has no messages to process.
class SilentHost final : public AppHost {
 public:
  bool AskYesNo(std::string_view) override { return true; }
  void ShowMessage(std::string_view, std::string_view text, MessageIcon) override {
    std::fprintf(stderr, "bench_master: %.*s\n", static_cast<int>(text.size()), text.data());
  }
  void ShowGeneralError(std::string_view text) override { ShowMessage({}, text, MessageIcon::Error); }
  std::optional<std::string> ChooseCaseFileToOpen() override { return std::nullopt; }
  std::optional<std::string> ChooseCaseFileToSave() override { return std::nullopt; }
  void SetCaption(std::string_view) override {}
  void SetBusyCursor(bool) override {}
  void ShowCurrentDirectory(std::string_view) override {}
  void ProcessPendingMessages() override {}
  void ShowMasterLinkState(bool connected) override { Connected = connected; }
  bool Connected = false;
};

// The master: a COPCServer on a free loopback port.
std::unique_ptr<COPCServer> ServeMaster(LoopModel& model, std::string& endpoint) {
  std::mt19937 random(std::random_device{}());
  std::string error;
  for (int attempt = 0; attempt < 20; ++attempt) {
    endpoint = "opc.tcp://127.0.0.1:" + std::to_string(5200 + random() % 200);
    auto server = std::make_unique<COPCServer>(model, '.');
    if (server->InitializeOPC(endpoint, error)) return server;
  }
  std::fprintf(stderr, "bench_master: cannot serve: %s\n", error.c_str());
  std::exit(1);
}

void SetMasterOutput(COPCServer& master, const std::string& text) {
  master.GBBeginUpdate();
  master.GBSetItem(master.ItemHandles()[2], text, kQualityGood, opcua::DateTime{});
  master.GBEndUpdate();
}

// The slave's GUI thread: sleeps until woken, then delivers.
class WakeSignal {
 public:
  void Wake() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      woken_ = true;
    }
    cv_.notify_one();
  }
  // False when `until` passed without a wake.
  bool Wait(Clock::time_point until) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool woken = cv_.wait_until(lock, until, [this] { return woken_; });
    woken_ = false;
    return woken;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool woken_ = false;
};

void MasterToSetPoint(benchmark::State& state) {
  const int changes = static_cast<int>(state.range(0));
  LoopModel masterModel;
  std::string endpoint;
  auto master = ServeMaster(masterModel, endpoint);
  SetMasterOutput(*master, "1");

  SilentHost host;
  Application slave(host, '.');
  WakeSignal wake;
  slave.SetMasterEndpoint(endpoint);
  slave.SetMasterLinkWake([&wake] { wake.Wake(); });
  slave.OPCServerToolButtonClick();
  const float& sp = slave.Model().SingleLoop.SP;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (sp != 1.0f && Clock::now() < deadline) {
    wake.Wait(Clock::now() + std::chrono::milliseconds(50));
    slave.DeliverMasterLinkEvents();
  }
  if (sp != 1.0f) {
    state.SkipWithError("the slave never saw the master's first value");
    return;
  }

  std::mt19937 random(12345);
  std::uniform_int_distribution<int> gapMs(20, 180);
  std::vector<double> latencies;
  double guiCpu = 0, guiWorst = 0;
  long deliveries = 0;
  int missed = 0;
  for (auto _ : state) {
    for (int i = 0; i < changes; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(gapMs(random)));
      const float value = 2.0f + static_cast<float>(i) * 0.5f;
      const auto changed = Clock::now();
      SetMasterOutput(*master, FormatReal9(value));
      while (sp != value) {
        if (Clock::now() - changed > std::chrono::seconds(2)) break;
        wake.Wait(changed + std::chrono::seconds(2));
        const double before = ThreadCpuSeconds();
        const std::size_t delivered = slave.Master().DeliverEvents();
        const double spent = ThreadCpuSeconds() - before;
        if (delivered == 0) continue;
        guiCpu += spent;
        guiWorst = std::max(guiWorst, spent / static_cast<double>(delivered));
        deliveries += static_cast<long>(delivered);
      }
      if (sp != value) {
        ++missed;
        continue;
      }
      latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - changed).count());
    }
  }
  std::sort(latencies.begin(), latencies.end());
  auto at = [&](double q) { return latencies[static_cast<std::size_t>(q * static_cast<double>(latencies.size() - 1))]; };
  if (latencies.empty()) {
    state.SkipWithError("no change reached the slave");
    return;
  }
  state.counters["changes"] = static_cast<double>(latencies.size());
  state.counters["missed"] = missed;
  state.counters["p50_ms"] = at(0.5);
  state.counters["p95_ms"] = at(0.95);
  state.counters["max_ms"] = latencies.back();
  // One update period plus 5 ms.
  state.counters["over_105ms"] =
      static_cast<double>(latencies.end() - std::upper_bound(latencies.begin(), latencies.end(), 105.0));
  state.counters["gui_cpu_us"] = deliveries ? guiCpu / static_cast<double>(deliveries) * 1e6 : 0;
  state.counters["gui_max_us"] = guiWorst * 1e6;
}
BENCHMARK(MasterToSetPoint)->Arg(300)->Iterations(1)->Unit(benchmark::kSecond);

// A client whose data changes the benchmark posts itself, as the worker
// thread of the real client does.
class PostingClient final : public OPCClient {
 public:
  void AddPendingItems(OPCClientGroup& group) override {
    Report({OPCClientReport::Kind::AddItemsDone, group.Id(), {}, {}});
  }
  void SetActive(bool active) override {
    SetActiveFlag(active);
    if (active) Report({OPCClientReport::Kind::SetActiveDone, 0, {}, {}});
  }
  void Post(std::string text) {
    OPCClientGroup& group = Group(0);
    Report({OPCClientReport::Kind::DataChange, group.Id(), {}, {{group.Item(0).Handle, 0, std::move(text), kQualityWordGood}}});
  }
};

void DeliverOneDataChange(benchmark::State& state) {
  SilentHost host;
  Application slave(host, '.');
  auto owned = std::make_unique<PostingClient>();
  PostingClient& client = *owned;
  slave.UseMasterClient(std::move(owned));
  slave.OPCServerToolButtonClick();
  slave.DeliverMasterLinkEvents();
  const std::string texts[] = {"40", "45.5"};
  int i = 0;
  for (auto _ : state) {
    state.PauseTiming();
    client.Post(texts[i++ & 1]);
    state.ResumeTiming();
    slave.DeliverMasterLinkEvents();
  }
  if (slave.Model().SingleLoop.SP != 40.0f && slave.Model().SingleLoop.SP != 45.5f)
    state.SkipWithError("the data changes did not reach the set point");
}
BENCHMARK(DeliverOneDataChange)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qx::bench

BENCHMARK_MAIN();
