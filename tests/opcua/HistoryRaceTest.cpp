// A writer thread records values as fast as it can while the server thread
// reads them with HistoryRead: every value read must be one that was
// written, with its own time, in order. scripts/test.sh also runs this in
// a thread-sanitizer build.

#include <gtest/gtest.h>

#include <atomic>
#include <exception>
#include <string>
#include <thread>

#include "ServerFixture.h"

namespace opcua {
namespace {

using test::ServerFixture;
using test::TestClient;

// The time of value i, so a reader can tell a value from its timestamp.
DateTime TimeOf(double i) { return DateTime{1'000'000 + static_cast<int64_t>(i) * 10}; }

class HistoryRace : public ServerFixture {
 protected:
  HistoryRace() {
    std::string error;
    EXPECT_TRUE(core.AddVariable(folder(), var("PV"), "PV", 0.0, false, pv, error)) << error;
    // Small, so the writer laps the reader all the time.
    EXPECT_TRUE(core.EnableHistory(pv, 3 * HistoryRing::kChunkValues / 2, error)) << error;
  }
  uint32_t pv = 0;
};

TEST_F(HistoryRace, ReadsOnlyWrittenValuesInOrderWhileTheWriterLapsTheRing) {
  // Times far beyond what the writer reaches while the reader reads.
  constexpr double kValues = 1e12;
  constexpr size_t kPages = 400;
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> written{0};
  std::string writerError;
  std::thread writer([&] {
    try {
      for (uint64_t i = 0; !stop; ++i) {
        core.RecordHistory(pv, double(i), status::Good, TimeOf(double(i)));
        written = i + 1;
      }
    } catch (const std::exception& e) {
      writerError = e.what();
    }
  });
  TestClient client(core);
  ASSERT_TRUE(client.ConnectAndOpenSession());
  size_t pages = 0, values = 0;
  while (written < 10 * HistoryRing::kChunkValues) std::this_thread::yield();
  for (bool backward = false; pages < kPages; backward = !backward) {
    ReadRawModifiedDetails d;
    d.startTime = backward ? TimeOf(kValues) : TimeOf(0);
    d.endTime = backward ? TimeOf(-1) : TimeOf(kValues);
    d.numValuesPerNode = 500;
    HistoryReadRequest req;
    req.historyReadDetails = Wrap(d);
    req.nodesToRead.push_back({var("PV"), "", {}, {}});
    double previous = backward ? kValues : -1;
    for (int page = 0; page < 20; ++page) {
      HistoryReadResponse resp;
      ASSERT_EQ(client.Call(req, resp), status::Good);
      ASSERT_EQ(resp.results.size(), 1u);
      const HistoryReadResult& r = resp.results[0];
      ASSERT_TRUE(r.statusCode.IsGood()) << StatusName(r.statusCode);
      HistoryData data;
      ASSERT_EQ(Unwrap(r.historyData, data), status::Good);
      for (const DataValue& v : data.dataValues) {
        const double* x = std::get_if<double>(&v.value.scalar);
        ASSERT_NE(x, nullptr);
        ASSERT_EQ(v.sourceTimestamp, TimeOf(*x)) << *x;
        ASSERT_TRUE(backward ? *x < previous : *x > previous) << *x << " after " << previous;
        previous = *x;
      }
      ++pages;
      values += data.dataValues.size();
      if (r.continuationPoint.data.empty()) break;
      req.nodesToRead[0].continuationPoint = r.continuationPoint;
    }
    if (!req.nodesToRead[0].continuationPoint.data.empty()) {
      req.releaseContinuationPoints = true;
      HistoryReadResponse released;
      ASSERT_EQ(client.Call(req, released), status::Good);
    }
  }
  const uint64_t writtenWhileReading = written;
  stop = true;
  writer.join();
  EXPECT_EQ(writerError, "");
  EXPECT_GT(values, 0u);
  // The writer lapped the ring while the reads went on.
  EXPECT_GT(writtenWhileReading, 20 * HistoryRing::kChunkValues);
}

}  // namespace
}  // namespace opcua
