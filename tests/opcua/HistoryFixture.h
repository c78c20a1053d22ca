#pragma once
// A server with one historized Double variable, PV, and a client with a
// session; helpers that record values and read them back with HistoryRead.

#include <string>
#include <vector>

#include "ServerFixture.h"

namespace opcua::test {

// Second `s` of a fixed day (a DateTime of 0 means "not given" in history reads).
inline DateTime At(int64_t s) { return DateTime{130'000'000'000'000'000 + s * 10'000'000}; }

class HistoryFixture : public ServerFixture {
 protected:
  static constexpr uint32_t kValuesPerNode = 400;
  static constexpr uint32_t kPointsPerSession = 3;
  static ServerLimits Limits() {
    ServerLimits limits;
    limits.maxHistoryValuesPerNode = kValuesPerNode;
    limits.maxHistoryContinuationPointsPerSession = kPointsPerSession;
    return limits;
  }

  explicit HistoryFixture(size_t capacity = 1000) : ServerFixture(Limits()), client(core) {
    std::string error;
    EXPECT_TRUE(core.AddVariable(folder(), var("PV"), "PV", 0.0, false, pv, error)) << error;
    EXPECT_TRUE(core.EnableHistory(pv, capacity, error)) << error;
    EXPECT_TRUE(client.ConnectAndOpenSession());
  }

  void Record(int64_t second, double value, StatusCode status = status::Good) {
    core.RecordHistory(pv, value, status, At(second));
  }

  static HistoryReadRequest Raw(DateTime start, DateTime end, uint32_t count,
                                NodeId node = {}) {
    ReadRawModifiedDetails d;
    d.startTime = start;
    d.endTime = end;
    d.numValuesPerNode = count;
    HistoryReadRequest req;
    req.historyReadDetails = Wrap(d);
    req.nodesToRead.push_back({node, "", {}, {}});
    return req;
  }
  HistoryReadRequest RawPV(DateTime start, DateTime end, uint32_t count) const {
    return Raw(start, end, count, var("PV"));
  }

  // One HistoryRead with a single node; its result (service faults fail the test).
  HistoryReadResult ReadOne(const HistoryReadRequest& req, TestClient* other = nullptr) {
    HistoryReadResponse resp;
    EXPECT_EQ((other ? *other : client).Call(req, resp), status::Good);
    EXPECT_EQ(resp.results.size(), 1u);
    return resp.results.empty() ? HistoryReadResult{status::BadUnexpectedError, {}, {}}
                                : resp.results[0];
  }

  static std::vector<DataValue> DataOf(const HistoryReadResult& r) {
    HistoryData data;
    if (!r.historyData.body.empty()) EXPECT_EQ(Unwrap(r.historyData, data), status::Good);
    return data.dataValues;
  }

  static double Number(const DataValue& v) {
    if (auto* d = std::get_if<double>(&v.value.scalar)) return *d;
    if (auto* i = std::get_if<int32_t>(&v.value.scalar)) return *i;
    ADD_FAILURE() << "not a number";
    return -1;
  }

  // Follows the continuation points to the end; the values, and the pages
  // they came in.
  std::vector<double> ReadAll(HistoryReadRequest req, size_t* pages = nullptr) {
    std::vector<double> out;
    for (size_t page = 1;; ++page) {
      HistoryReadResult r = ReadOne(req);
      EXPECT_TRUE(r.statusCode.IsGood()) << StatusName(r.statusCode);
      for (const DataValue& v : DataOf(r)) out.push_back(Number(v));
      if (pages) *pages = page;
      if (r.continuationPoint.data.empty() || !r.statusCode.IsGood() || page > 10'000) break;
      req.nodesToRead[0].continuationPoint = r.continuationPoint;
    }
    return out;
  }

  static std::vector<double> Range(double first, double last) {
    std::vector<double> out;
    for (double x = first; first <= last ? x <= last : x >= last; x += first <= last ? 1 : -1)
      out.push_back(x);
    return out;
  }

  TestClient client;
  uint32_t pv = 0;
};

}  // namespace opcua::test
