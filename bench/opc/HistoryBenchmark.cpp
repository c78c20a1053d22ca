// HistoryRead under load, a plain program printing its figures:
//  1. the server's time for a raw HistoryRead of 10 000 values out of a full
//     ring of 1 000 000 (decoding, reading the ring, encoding the answer),
//     in-process over the in-memory connection, forward and backward;
//  2. how many value updates a second the application's thread sets (three
//     historized variables a batch, as fast as it can) with and without 10
//     clients reading 10 000 values of history in a loop over loopback TCP.
// Usage: bench_history [SECONDS_PER_RUN] (2 when not given)

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "opcua/Client.h"
#include "opcua/HistoryTypes.h"
#include "opcua/NodeIds.h"
#include "opcua/Server.h"
#include "tests/opcua/TestClient.h"

namespace {

using namespace opcua;
using Steady = std::chrono::steady_clock;

constexpr size_t kCapacity = 1'000'000;
constexpr uint32_t kReadValues = 10'000;
constexpr int kReaders = 10;
constexpr int kRepeats = 3;
constexpr int64_t kStepTicks = 100 * 10'000;  // 100 ms between recorded values

double Ms(Steady::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five;
  in >> one >> five;
  return in ? one + " " + five : "unknown";
}

HistoryReadRequest RawRead(const NodeId& node, DateTime start, DateTime end) {
  ReadRawModifiedDetails d;
  d.startTime = start;
  d.endTime = end;
  d.numValuesPerNode = kReadValues;
  HistoryReadRequest req;
  req.historyReadDetails = Wrap(d);
  req.releaseContinuationPoints = false;
  req.nodesToRead.push_back({node, "", {}, {}});
  return req;
}

size_t ValuesOf(const HistoryReadResponse& resp) {
  HistoryData data;
  if (resp.results.size() != 1 || !Unwrap(resp.results[0].historyData, data).IsGood()) return 0;
  return data.dataValues.size();
}

// Figure 1.
void ServerTimeOfARead() {
  SystemClock clock;
  ServerConfig config;
  ServerCore core(config, clock);
  const uint16_t ns = core.RegisterNamespace("urn:bench:history");
  std::string error;
  uint32_t pv = 0;
  const NodeId node(ns, "PV");
  if (!core.AddVariable(NodeId(0, ids::ObjectsFolder), node, "PV", 0.0, false, pv, error) ||
      !core.EnableHistory(pv, kCapacity, error)) {
    std::fprintf(stderr, "bench_history: %s\n", error.c_str());
    std::exit(1);
  }
  const DateTime first = DateTime::Now();
  for (size_t i = 0; i < kCapacity; ++i)
    core.RecordHistory(pv, double(i), status::Good, DateTime{first.ticks + int64_t(i) * kStepTicks});
  test::TestClient client(core);
  if (!client.ConnectAndOpenSession()) {
    std::fprintf(stderr, "bench_history: no in-memory session\n");
    std::exit(1);
  }
  const DateTime middle{first.ticks + int64_t(kCapacity / 2) * kStepTicks};
  for (bool backward : {false, true}) {
    HistoryReadRequest req =
        backward ? RawRead(node, middle, first) : RawRead(node, middle, DateTime{middle.ticks * 2});
    std::vector<double> times;
    for (int i = 0; i < 50; ++i) {
      const std::string bytes = client.channel.Request(req);
      const auto t0 = Steady::now();
      client.connection.Send(bytes);  // served before it returns
      times.push_back(Ms(Steady::now() - t0));
      HistoryReadResponse resp;
      auto answers = client.Collect();
      if (answers.size() != 1 || !test::TestClient::Answer(answers[0], resp).IsGood() ||
          ValuesOf(resp) != kReadValues) {
        std::fprintf(stderr, "bench_history: the read did not give %u values\n", kReadValues);
        std::exit(1);
      }
      // Let the next read start afresh.
      req.releaseContinuationPoints = true;
      req.nodesToRead[0].continuationPoint = resp.results[0].continuationPoint;
      client.Call(req, resp);
      req.releaseContinuationPoints = false;
      req.nodesToRead[0].continuationPoint = {};
    }
    std::sort(times.begin(), times.end());
    std::printf("raw HistoryRead of %u values %s, server time: min %.2f ms, median %.2f ms, max %.2f ms\n",
                kReadValues, backward ? "backward" : "forward", times.front(), times[times.size() / 2],
                times.back());
  }
}

// Figure 2: batches of three values on the application's thread, as fast
// as it can: the rate, the thread's CPU time per batch (what the batch
// itself costs, whoever else wants the cores) and the longest batch.
struct WriterFigures {
  double batchesPerSecond = 0;
  double cpuNsPerBatch = 0;
  double longestBatchUs = 0;
};

double ThreadCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

WriterFigures WriterRate(Server& server, const std::vector<uint32_t>& handles, double seconds,
                         int64_t& ticks) {
  size_t batches = 0;
  WriterFigures f;
  const auto begin = Steady::now();
  const auto end = begin + std::chrono::duration<double>(seconds);
  const double cpu0 = ThreadCpuNs();
  const DateTime start = DateTime::Now();
  for (auto now = begin; now < end; ++batches) {
    {
      Server::UpdateBatch batch(server);
      const DateTime t{start.ticks + ticks++ * 10};
      for (uint32_t h : handles) server.SetValue(h, double(ticks % 1000), status::Good, t);
    }
    const auto after = Steady::now();
    f.longestBatchUs = std::max(f.longestBatchUs, Ms(after - now) * 1000);
    now = after;
  }
  f.batchesPerSecond = double(batches) / Ms(Steady::now() - begin) * 1000;
  f.cpuNsPerBatch = (ThreadCpuNs() - cpu0) / double(batches);
  return f;
}

void WriterRateWithReaders(double seconds) {
  ServerConfig config;
  config.endpointUrl = "opc.tcp://127.0.0.1:0";
  Server server(config);
  const uint16_t ns = server.RegisterNamespace("urn:bench:history");
  std::string error;
  std::vector<uint32_t> handles;
  for (const char* name : {"PV", "SP", "OP"}) {
    uint32_t h = 0;
    if (!server.AddVariable(NodeId(0, ids::ObjectsFolder), NodeId(ns, name), name, 0.0, false, h, error) ||
        !server.EnableHistory(h, kCapacity, error)) {
      std::fprintf(stderr, "bench_history: %s\n", error.c_str());
      std::exit(1);
    }
    handles.push_back(h);
  }
  if (!server.Start(error)) {
    std::fprintf(stderr, "bench_history: %s\n", error.c_str());
    std::exit(1);
  }
  int64_t ticks = 0;
  // The rings fill first, so the readers read full rings.
  WriterRate(server, handles, 1.0, ticks);
  std::atomic<bool> reading{false}, stop{false};
  std::atomic<size_t> reads{0}, failures{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < kReaders; ++i)
    readers.emplace_back([&, url = server.ServedEndpointUrl(), ns] {
      try {
        Client client;
        std::string why;
        if (!client.Connect(url, why)) {
          std::fprintf(stderr, "bench_history: reader: %s\n", why.c_str());
          ++failures;
          return;
        }
        // The newest values, which do not age out while they are read.
        HistoryReadRequest req = RawRead(NodeId(ns, "PV"), DateTime{INT64_MAX / 2}, DateTime{1});
        req.releaseContinuationPoints = false;
        while (!stop) {
          if (!reading) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
          }
          HistoryReadRequest r = req;
          HistoryReadResponse resp;
          if (!client.Call(r, resp).IsGood() || ValuesOf(resp) != kReadValues) {
            ++failures;
            continue;
          }
          ++reads;
          HistoryReadRequest release = req;
          release.releaseContinuationPoints = true;
          release.nodesToRead[0].continuationPoint = resp.results[0].continuationPoint;
          client.Call(release, resp);
        }
      } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_history: reader: %s\n", e.what());
        ++failures;
      }
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // all connected
  for (int run = 0; run < kRepeats; ++run) {
    const WriterFigures alone = WriterRate(server, handles, seconds, ticks);
    reading = true;
    reads = 0;
    const WriterFigures loaded = WriterRate(server, handles, seconds, ticks);
    const size_t readCount = reads;
    reading = false;
    std::printf("writer alone: %.0f batches/s, %.0f ns CPU a batch, longest %.0f us\n"
                "  with %d readers: %.0f batches/s (%+.1f %%), %.0f ns CPU a batch, longest %.0f us; "
                "%.0f reads of %u values/s; load average %s\n",
                alone.batchesPerSecond, alone.cpuNsPerBatch, alone.longestBatchUs, kReaders,
                loaded.batchesPerSecond,
                100 * (loaded.batchesPerSecond - alone.batchesPerSecond) / alone.batchesPerSecond,
                loaded.cpuNsPerBatch, loaded.longestBatchUs, double(readCount) / seconds,
                kReadValues, LoadAverage().c_str());
  }
  stop = true;
  for (auto& t : readers) t.join();
  if (failures) std::printf("reader failures: %zu\n", failures.load());
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
  if (!(seconds > 0)) {
    std::fprintf(stderr, "usage: bench_history [SECONDS_PER_RUN > 0]\n");
    return 2;
  }
  try {
    std::printf("load average at the start: %s\n", LoadAverage().c_str());
    ServerTimeOfARead();
    WriterRateWithReaders(seconds);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_history: %s\n", e.what());
    return 1;
  }
  return 0;
}
