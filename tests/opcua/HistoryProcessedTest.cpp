// HistoryRead of processed values (Average, Minimum, Maximum, Count), the
// history attributes of a variable, the HistoryServerCapabilities nodes, and
// what EnableHistory refuses.

#include <gtest/gtest.h>

#include <algorithm>

#include "HistoryFixture.h"

namespace opcua {
namespace {

using test::At;
using test::HistoryFixture;

class HistoryProcessed : public HistoryFixture {
 protected:
  // One node per aggregate, all of them PV.
  HistoryReadResponse Aggregates(DateTime start, DateTime end, double intervalMs,
                                 std::vector<uint32_t> aggregates) {
    ReadProcessedDetails d;
    d.startTime = start;
    d.endTime = end;
    d.processingInterval = intervalMs;
    HistoryReadRequest req;
    for (uint32_t a : aggregates) {
      d.aggregateType.push_back(NodeId(0, a));
      req.nodesToRead.push_back({var("PV"), "", {}, {}});
    }
    req.historyReadDetails = Wrap(d);
    HistoryReadResponse resp;
    EXPECT_EQ(client.Call(req, resp), status::Good);
    return resp;
  }
};

TEST_F(HistoryProcessed, EachAggregateOverHandComputedIntervals) {
  // [10,15): 1 3 8 · [15,20): 4 · [20,25): a Bad -5 (not counted) and 10 · [25,30): nothing
  for (auto [s, v] : {std::pair{10, 1.0}, {11, 3.0}, {12, 8.0}, {15, 4.0}, {22, 10.0}}) Record(s, v);
  core.RecordHistory(pv, -5.0, status::BadOutOfRange, At(21));
  HistoryReadResponse resp = Aggregates(At(10), At(30), 5000,
                                        {ids::AggregateFunction_Average, ids::AggregateFunction_Minimum,
                                         ids::AggregateFunction_Maximum, ids::AggregateFunction_Count});
  ASSERT_EQ(resp.results.size(), 4u);
  struct Expected {
    double value;
    int64_t second;  // the timestamp
  };
  const Expected none{-1, -1};
  const std::vector<std::vector<Expected>> expected = {
      {{4, 10}, {4, 15}, {10, 20}, none},     // Average, stamped with the interval
      {{1, 10}, {4, 15}, {10, 22}, none},     // Minimum, stamped with the value
      {{8, 12}, {4, 15}, {10, 22}, none},     // Maximum
      {{3, 10}, {1, 15}, {1, 20}, {0, 25}},   // Count
  };
  for (size_t a = 0; a < 4; ++a) {
    EXPECT_EQ(resp.results[a].statusCode, status::Good);
    std::vector<DataValue> values = DataOf(resp.results[a]);
    ASSERT_EQ(values.size(), 4u) << a;
    for (size_t k = 0; k < 4; ++k) {
      const Expected& e = expected[a][k];
      if (e.second < 0) {
        EXPECT_EQ(values[k].status, status::BadNoData) << a << "/" << k;
        EXPECT_FALSE(values[k].hasValue);
        EXPECT_EQ(values[k].sourceTimestamp, At(25));
        continue;
      }
      EXPECT_EQ(values[k].status, status::Good) << a << "/" << k;
      EXPECT_DOUBLE_EQ(Number(values[k]), e.value) << a << "/" << k;
      EXPECT_EQ(values[k].sourceTimestamp, At(e.second)) << a << "/" << k;
    }
  }
  // Count is an Int32.
  EXPECT_NE(std::get_if<int32_t>(&DataOf(resp.results[3])[0].value.scalar), nullptr);
}

TEST_F(HistoryProcessed, OneIntervalWithoutAProcessingIntervalAndBackwardIntervals) {
  for (int s = 0; s < 10; ++s) Record(s, s);
  HistoryReadResponse whole = Aggregates(At(0), At(10), 0, {ids::AggregateFunction_Average});
  std::vector<DataValue> one = DataOf(whole.results[0]);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_DOUBLE_EQ(Number(one[0]), 4.5);
  // From 10 back to 0 in 4 s steps: [6,10), [2,6), [0,2).
  HistoryReadResponse back = Aggregates(At(10), At(0), 4000, {ids::AggregateFunction_Count});
  std::vector<DataValue> counts = DataOf(back.results[0]);
  ASSERT_EQ(counts.size(), 3u);
  EXPECT_EQ(Number(counts[0]), 4);
  EXPECT_EQ(counts[0].sourceTimestamp, At(6));
  EXPECT_EQ(Number(counts[2]), 2);
  EXPECT_EQ(counts[2].sourceTimestamp, At(0));
}

TEST_F(HistoryProcessed, ManyIntervalsComeInPagesWithContinuationPoints) {
  for (int s = 0; s < 1000; ++s) Record(s, s);
  ReadProcessedDetails d;
  d.startTime = At(0);
  d.endTime = At(1000);
  d.processingInterval = 1000;
  d.aggregateType = {NodeId(0, ids::AggregateFunction_Maximum)};
  HistoryReadRequest req;
  req.historyReadDetails = Wrap(d);
  req.nodesToRead.push_back({var("PV"), "", {}, {}});
  size_t pages = 0;
  EXPECT_EQ(ReadAll(req, &pages), Range(0, 999));
  EXPECT_EQ(pages, (1000 + kValuesPerNode - 1) / kValuesPerNode);
}

TEST_F(HistoryProcessed, BadProcessedRequests) {
  Record(1, 1);
  HistoryReadResponse unsupported = Aggregates(At(0), At(10), 0, {2341 /* Interpolative */});
  EXPECT_EQ(unsupported.results[0].statusCode, status::BadAggregateNotSupported);
  for (auto [start, end, interval, expected] :
       {std::tuple{At(0), DateTime{}, 0.0, status::BadHistoryOperationInvalid},
        {DateTime{}, At(0), 0.0, status::BadHistoryOperationInvalid},
        {At(5), At(5), 0.0, status::BadHistoryOperationInvalid},
        {At(0), At(5), -1.0, status::BadInvalidArgument}}) {
    HistoryReadResponse r = Aggregates(start, end, interval, {ids::AggregateFunction_Count});
    EXPECT_EQ(r.results[0].statusCode, expected) << StatusName(r.results[0].statusCode);
  }
  // One aggregate for two nodes.
  ReadProcessedDetails d;
  d.startTime = At(0);
  d.endTime = At(10);
  d.aggregateType = {NodeId(0, ids::AggregateFunction_Count)};
  HistoryReadRequest req = RawPV(At(0), At(10), 0);
  req.nodesToRead.push_back(req.nodesToRead[0]);
  req.historyReadDetails = Wrap(d);
  HistoryReadResponse resp;
  EXPECT_EQ(client.Call(req, resp), status::BadAggregateListMismatch);
  // A raw continuation point does not go on as a processed read.
  for (int s = 2; s < 100; ++s) Record(s, s);
  HistoryReadResult raw = ReadOne(RawPV(At(0), At(999), 10));
  d.aggregateType.pop_back();
  req.nodesToRead.pop_back();
  req.nodesToRead[0].continuationPoint = raw.continuationPoint;
  EXPECT_EQ(ReadOne(req).statusCode, status::BadContinuationPointInvalid);
}

TEST_F(HistoryProcessed, VariablesAndTheServerObjectShowTheHistory) {
  ReadRequest req;
  for (uint32_t attribute : {kAttrHistorizing, kAttrAccessLevel, kAttrUserAccessLevel})
    for (const char* name : {"PV", "A"}) req.nodesToRead.push_back({var(name), attribute, "", {}});
  for (uint32_t id : {ids::AccessHistoryDataCapability, ids::MaxReturnDataValues,
                      ids::InsertDataCapability, ids::DeleteRawCapability,
                      ids::MaxHistoryContinuationPoints})
    req.nodesToRead.push_back({NodeId(0, id), kAttrValue, "", {}});
  ReadResponse resp;
  ASSERT_EQ(client.Call(req, resp), status::Good);
  ASSERT_EQ(resp.results.size(), 11u);
  auto scalar = [&](size_t i) { return resp.results[i].value.scalar; };
  EXPECT_EQ(scalar(0), Scalar(true));
  EXPECT_EQ(scalar(1), Scalar(false));
  EXPECT_EQ(scalar(2), Scalar(uint8_t{kAccessRead | kAccessHistoryRead}));
  EXPECT_EQ(scalar(3), Scalar(uint8_t{kAccessRead | kAccessWrite}));
  EXPECT_EQ(scalar(4), Scalar(uint8_t{kAccessRead | kAccessHistoryRead}));
  EXPECT_EQ(scalar(6), Scalar(true));
  EXPECT_EQ(scalar(7), Scalar(kValuesPerNode));
  EXPECT_EQ(scalar(8), Scalar(false));
  EXPECT_EQ(scalar(9), Scalar(false));
  EXPECT_EQ(scalar(10), Scalar(uint16_t{kPointsPerSession}));

  // Both AggregateFunctions folders list the four aggregates.
  for (uint32_t folder : {ids::AggregateFunctions, ids::HistoryAggregateFunctions}) {
    BrowseRequest browse;
    BrowseDescription d;
    d.nodeId = NodeId(0, folder);
    d.browseDirection = BrowseDirection::Forward;
    d.referenceTypeId = NodeId(0, ids::Organizes);
    d.resultMask = 0x3F;
    browse.nodesToBrowse.push_back(d);
    BrowseResponse browsed;
    ASSERT_EQ(client.Call(browse, browsed), status::Good);
    std::vector<std::string> names;
    for (const auto& r : browsed.results.at(0).references) names.push_back(r.browseName.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Average", "Minimum", "Maximum", "Count"})) << folder;
  }
}

TEST_F(HistoryProcessed, EnableHistoryRefusesWhatItCannotKeep) {
  std::string error;
  EXPECT_FALSE(core.EnableHistory(pv, 10, error));
  EXPECT_NE(error.find("already"), std::string::npos) << error;
  EXPECT_FALSE(core.EnableHistory(handles[0], 10, error));  // a String variable
  EXPECT_NE(error.find("only Double"), std::string::npos) << error;
  uint32_t other = 0;
  ASSERT_TRUE(core.AddVariable(folder(), var("SP"), "SP", 0.0, true, other, error)) << error;
  EXPECT_FALSE(core.EnableHistory(other, 0, error));
  EXPECT_FALSE(core.EnableHistory(other, HistoryRing::kMaxCapacity + 1, error));
  EXPECT_NE(error.find("capacity"), std::string::npos) << error;
  EXPECT_FALSE(core.EnableHistory(9999, 10, error));
  EXPECT_TRUE(core.EnableHistory(other, HistoryRing::kMaxCapacity, error)) << error;
}

}  // namespace
}  // namespace opcua
