// HistoryRead of raw values: ranges either way, counts, continuation points
// over a ring that wrapped, clears, and the statuses of bad requests.

#include <gtest/gtest.h>

#include "HistoryFixture.h"

namespace opcua {
namespace {

using test::At;
using test::HistoryFixture;
using test::TestClient;

class HistoryRead : public HistoryFixture {};

TEST_F(HistoryRead, RangesEitherWayWithAndWithoutCountsOverAWrappedRing) {
  // 2500 values into a ring of 1000: seconds (and values) 1500..2499 are held.
  for (int s = 0; s < 2500; ++s) Record(s, s);
  const DateTime none{};
  struct Case {
    const char* what;
    DateTime start, end;
    uint32_t count;
    std::vector<double> expected;
  } cases[] = {
      {"all forward", At(0), At(9999), 0, Range(1500, 2499)},
      {"all backward", At(9999), At(0), 0, Range(2499, 1500)},
      {"forward: end excluded", At(2000), At(2010), 0, Range(2000, 2009)},
      {"backward: start included, end excluded", At(2010), At(2000), 0, Range(2010, 2001)},
      {"forward with a count", At(2000), At(2010), 3, Range(2000, 2009)},
      {"start and count", At(2000), none, 5, Range(2000, 2004)},
      {"end and count: backward from the end", none, At(2010), 3, Range(2010, 2008)},
      {"start equal to end", At(2222), At(2222), 0, {2222}},
      {"start before the oldest held, count", At(10), none, 2, Range(1500, 1501)},
  };
  for (const Case& c : cases) {
    size_t pages = 0;
    EXPECT_EQ(ReadAll(RawPV(c.start, c.end, c.count), &pages), c.expected) << c.what;
    // Pages of the count asked (or the server's limit), the last one shorter.
    const size_t page = c.count ? c.count : kValuesPerNode;
    const bool oneBound = c.start.ticks == 0 || c.end.ticks == 0;
    const size_t total = oneBound ? std::min<size_t>(c.count, c.expected.size()) : c.expected.size();
    EXPECT_EQ(pages, std::max<size_t>(1, (total + page - 1) / page)) << c.what;
  }
}

TEST_F(HistoryRead, EmptyRangesAnswerGoodNoDataAndTimestampsFollowTheRequest) {
  EXPECT_EQ(ReadOne(RawPV(At(0), At(100), 0)).statusCode, status::GoodNoData);
  Record(10, 1.5);
  Record(20, 2.5, status::BadOutOfRange);
  EXPECT_EQ(ReadOne(RawPV(At(11), At(19), 0)).statusCode, status::GoodNoData);
  EXPECT_EQ(ReadOne(RawPV(At(30), At(25), 0)).statusCode, status::GoodNoData);
  for (auto ts : {TimestampsToReturn::Source, TimestampsToReturn::Server, TimestampsToReturn::Both}) {
    HistoryReadRequest req = RawPV(At(0), At(100), 0);
    req.timestampsToReturn = ts;
    std::vector<DataValue> values = DataOf(ReadOne(req));
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].status, status::Good);
    EXPECT_EQ(values[1].status, status::BadOutOfRange);
    for (const DataValue& v : values) {
      EXPECT_EQ(v.hasSourceTimestamp, ts != TimestampsToReturn::Server);
      EXPECT_EQ(v.hasServerTimestamp, ts != TimestampsToReturn::Source);
      EXPECT_EQ(v.hasSourceTimestamp ? v.sourceTimestamp : v.serverTimestamp,
                At(v.status.IsGood() ? 10 : 20));
    }
  }
  HistoryReadRequest neither = RawPV(At(0), At(100), 0);
  neither.timestampsToReturn = TimestampsToReturn::Neither;
  HistoryReadResponse resp;
  EXPECT_EQ(client.Call(neither, resp), status::BadTimestampsToReturnInvalid);
}

TEST_F(HistoryRead, ClearHistoryForgetsTheRunAndVoidsItsContinuationPoints) {
  for (int s = 0; s < 1000; ++s) Record(s, s);
  HistoryReadResult first = ReadOne(RawPV(At(0), At(9999), 10));
  ASSERT_FALSE(first.continuationPoint.data.empty());
  core.ClearHistory(pv);
  EXPECT_EQ(ReadOne(RawPV(At(0), At(9999), 0)).statusCode, status::GoodNoData);
  for (int s = 5000; s < 5003; ++s) Record(s, s);
  HistoryReadRequest next = RawPV(At(0), At(9999), 10);
  next.nodesToRead[0].continuationPoint = first.continuationPoint;
  EXPECT_EQ(ReadOne(next).statusCode, status::BadContinuationPointInvalid);
  EXPECT_EQ(ReadAll(RawPV(At(0), At(9999), 0)), Range(5000, 5002));
}

TEST_F(HistoryRead, ValuesThatAgeOutDuringAReadAreSkipped) {
  for (int s = 0; s < 1000; ++s) Record(s, s);
  HistoryReadResult first = ReadOne(RawPV(At(0), At(99999), 100));
  EXPECT_EQ(DataOf(first).size(), 100u);
  for (int s = 1000; s < 1500; ++s) Record(s, s);  // 0..499 age out
  HistoryReadRequest next = RawPV(At(0), At(99999), 100);
  next.nodesToRead[0].continuationPoint = first.continuationPoint;
  std::vector<DataValue> second = DataOf(ReadOne(next));
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(Number(second.front()), 500);
}

TEST_F(HistoryRead, BadRequestsGetTheirStatusPerNode) {
  std::string error;
  Record(1, 1);
  ReadRawModifiedDetails modified;
  modified.isReadModified = true;
  modified.startTime = At(0);
  modified.endTime = At(10);
  ReadProcessedDetails atTime;  // stands for any other body: only the type id counts
  ExtensionObject readAtTime = Wrap(atTime);
  readAtTime.typeId = NodeId(0, kReadAtTimeDetailsTypeId);
  ExtensionObject events = readAtTime;
  events.typeId = NodeId(0, kReadEventDetailsTypeId);
  const DateTime none{};
  struct Case {
    const char* what;
    ExtensionObject details;
    NodeId node;
    StatusCode expected;
  } cases[] = {
      {"modified values", Wrap(modified), var("PV"), status::BadHistoryOperationUnsupported},
      {"at time", readAtTime, var("PV"), status::BadHistoryOperationUnsupported},
      {"events", events, var("PV"), status::BadHistoryOperationUnsupported},
      {"no details", {}, var("PV"), status::BadHistoryOperationInvalid},
      {"start only, no count", Raw(At(0), none, 0).historyReadDetails, var("PV"),
       status::BadHistoryOperationInvalid},
      {"end only, no count", Raw(none, At(0), 0).historyReadDetails, var("PV"),
       status::BadHistoryOperationInvalid},
      {"count only", Raw(none, none, 5).historyReadDetails, var("PV"),
       status::BadHistoryOperationInvalid},
      {"not historized", Raw(At(0), At(5), 0).historyReadDetails, var("A"),
       status::BadHistoryOperationUnsupported},
      {"unknown node", Raw(At(0), At(5), 0).historyReadDetails, var("nope"),
       status::BadNodeIdUnknown},
  };
  for (const Case& c : cases) {
    HistoryReadRequest req = Raw(none, none, 0, c.node);
    req.historyReadDetails = c.details;
    HistoryReadResult r = ReadOne(req);
    EXPECT_EQ(r.statusCode, c.expected) << c.what << ": " << StatusName(r.statusCode);
    EXPECT_TRUE(r.continuationPoint.data.empty()) << c.what;
  }
  HistoryReadRequest encoding = RawPV(At(0), At(5), 0);
  encoding.nodesToRead[0].dataEncoding = {0, "Default XML"};
  EXPECT_EQ(ReadOne(encoding).statusCode, status::BadDataEncodingInvalid);
  HistoryReadRequest range = RawPV(At(0), At(5), 0);
  range.nodesToRead[0].indexRange = "0:1";
  EXPECT_EQ(ReadOne(range).statusCode, status::BadIndexRangeNoData);
}

TEST_F(HistoryRead, ContinuationPointsAreBoundedReleasedAndNotForgeable) {
  for (int s = 0; s < 100; ++s) Record(s, s);
  std::vector<ByteString> points;
  for (uint32_t i = 0; i < kPointsPerSession; ++i) {
    HistoryReadResult r = ReadOne(RawPV(At(0), At(999), 10));
    ASSERT_EQ(r.statusCode, status::Good);
    points.push_back(r.continuationPoint);
  }
  EXPECT_EQ(core.HistoryContinuationPoints(), kPointsPerSession);
  EXPECT_EQ(ReadOne(RawPV(At(0), At(999), 10)).statusCode, status::BadNoContinuationPoints);
  // A read that needs none still works.
  EXPECT_EQ(DataOf(ReadOne(RawPV(At(0), At(999), 0))).size(), 100u);

  HistoryReadRequest use = RawPV(At(0), At(999), 10);
  use.nodesToRead[0].continuationPoint = points[0];
  HistoryReadResult next = ReadOne(use);
  EXPECT_EQ(DataOf(next).size(), 10u);
  EXPECT_EQ(ReadOne(use).statusCode, status::BadContinuationPointInvalid);  // used up

  HistoryReadRequest forged = use;
  forged.nodesToRead[0].continuationPoint = ByteString(std::string("99999"));
  EXPECT_EQ(ReadOne(forged).statusCode, status::BadContinuationPointInvalid);
  HistoryReadRequest otherNode = Raw(At(0), At(999), 10, var("A"));
  otherNode.nodesToRead[0].continuationPoint = points[1];
  EXPECT_EQ(ReadOne(otherNode).statusCode, status::BadContinuationPointInvalid);
  // The point of another session is not this session's.
  TestClient other(core);
  ASSERT_TRUE(other.ConnectAndOpenSession());
  HistoryReadRequest stolen = RawPV(At(0), At(999), 10);
  stolen.nodesToRead[0].continuationPoint = points[2];
  EXPECT_EQ(ReadOne(stolen, &other).statusCode, status::BadContinuationPointInvalid);

  HistoryReadRequest release = RawPV(At(0), At(999), 10);
  release.releaseContinuationPoints = true;
  release.nodesToRead[0].continuationPoint = points[2];
  HistoryReadResult released = ReadOne(release);
  EXPECT_EQ(released.statusCode, status::Good);
  EXPECT_TRUE(DataOf(released).empty());
  EXPECT_EQ(core.HistoryContinuationPoints(), kPointsPerSession - 1);  // next's and points[1]

  CloseSessionRequest close;
  close.deleteSubscriptions = true;
  CloseSessionResponse closed;
  ASSERT_EQ(client.Call(close, closed), status::Good);
  EXPECT_EQ(core.HistoryContinuationPoints(), 0u);
}

TEST_F(HistoryRead, AMillionValuesAskedComeInBoundedPages) {
  for (int s = 0; s < 1000; ++s) Record(s, s);
  HistoryReadRequest req = RawPV(At(0), At(99999), 1'000'000);
  // Many nodes in one request share the response's budget.
  for (int i = 0; i < 300; ++i) req.nodesToRead.push_back(req.nodesToRead[0]);
  HistoryReadResponse resp;
  ASSERT_EQ(client.Call(req, resp), status::Good);
  size_t total = 0;
  for (const HistoryReadResult& r : resp.results) {
    const size_t n = DataOf(r).size();
    EXPECT_LE(n, kValuesPerNode);
    total += n;
  }
  EXPECT_LE(total, ServerLimits{}.maxHistoryValuesPerResponse);
  EXPECT_EQ(DataOf(resp.results[0]).size(), kValuesPerNode);
}

TEST_F(HistoryRead, TruncatedRequestsAndDetailsDecodeToBadStatuses) {
  HistoryReadRequest req = RawPV(At(0), At(10), 5);
  const std::string whole = Encode(req);
  for (size_t n = 0; n < whole.size(); ++n) {
    HistoryReadRequest decoded;
    EXPECT_FALSE(Decode(whole.substr(0, n), decoded).IsGood()) << n;
  }
  HistoryReadRequest truncated = req;
  truncated.historyReadDetails.body.pop_back();
  HistoryReadResponse resp;
  EXPECT_EQ(client.Call(truncated, resp), status::BadDecodingError);
  ReadProcessedDetails processed;
  processed.aggregateType = {NodeId(0, ids::AggregateFunction_Count)};
  truncated.historyReadDetails = Wrap(processed);
  truncated.historyReadDetails.body.resize(truncated.historyReadDetails.body.size() - 3);
  EXPECT_EQ(client.Call(truncated, resp), status::BadDecodingError);
}

}  // namespace
}  // namespace opcua
