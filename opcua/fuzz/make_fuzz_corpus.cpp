// Writes the seed corpus: a few sessions of real requests in the record
// format of FuzzInput.h. Usage: make_fuzz_corpus DIRECTORY

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "FuzzInput.h"
#include "opcua/EventServiceTypes.h"
#include "opcua/HistoryTypes.h"

using namespace opcua;
using namespace opcua::fuzz;

namespace {

std::string RawHandshake() {
  ClientChannel channel;
  return channel.Hello(kFuzzUrl) + channel.Open(SecurityTokenRequestType::Issue, 600'000);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  std::string dir = argv[1];
  NodeId a(1, "A");

  ReadRequest read;
  read.nodesToRead = {{a, 13, "", {}}, {NodeId(0, ids::ServerStatus), 13, "", {}},
                      {NodeId(1, "F"), 3, "", {}}};
  BrowseRequest browse;
  browse.requestedMaxReferencesPerNode = 1;
  browse.nodesToBrowse = {{NodeId(1, "F"), BrowseDirection::Forward, NodeId(0, ids::HierarchicalReferences), true, 0, 0x3F}};
  WriteRequest write;
  write.nodesToWrite = {{a, 13, "", DataValue::Of(std::string("2.5"))},
                        {a, 13, "", DataValue::Of(2.5)}};
  TranslateBrowsePathsToNodeIdsRequest translate;
  BrowsePath path;
  path.startingNode = NodeId(0, ids::ObjectsFolder);
  path.relativePath.elements = {{NodeId(0, ids::HierarchicalReferences), false, true, {1, "F"}},
                                {NodeId(0, ids::HierarchicalReferences), false, true, {1, "A"}}};
  translate.browsePaths = {path};
  CreateSubscriptionRequest subscribe;
  subscribe.requestedPublishingInterval = 50;
  subscribe.requestedMaxKeepAliveCount = 3;
  subscribe.requestedLifetimeCount = 30;
  CreateMonitoredItemsRequest monitor;
  monitor.subscriptionId = 1;
  MonitoredItemCreateRequest item;
  item.itemToMonitor.nodeId = a;
  item.requestedParameters.queueSize = 10;
  monitor.itemsToCreate = {item};
  PublishRequest publish;
  PublishRequest acknowledge;
  acknowledge.subscriptionAcknowledgements = {{1, 1}};
  RepublishRequest republish;
  republish.subscriptionId = 1;
  republish.retransmitSequenceNumber = 1;
  DeleteSubscriptionsRequest unsubscribe;
  unsubscribe.subscriptionIds = {1};
  GetEndpointsRequest endpoints;
  TransferSubscriptionsRequest transfer;
  transfer.subscriptionIds = {1, 2};
  transfer.sendInitialValues = true;

  // An event item on F with a filter of several fields and a where clause,
  // the alarm raised, refreshed and acknowledged with the EventId of its
  // first event: the server's clock and event numbering start the same way
  // in every run, so the id is known.
  MonitoredItemCreateRequest eventItem;
  eventItem.itemToMonitor.nodeId = NodeId(1, "F");
  eventItem.itemToMonitor.attributeId = 12;
  eventItem.requestedParameters.queueSize = 5;
  EventFilter filter;
  for (const char* field : {"EventId", "Severity", "Message"}) {
    SimpleAttributeOperand select;
    select.typeDefinitionId = NodeId(0, ids::BaseEventType);
    select.browsePath = {{0, field}};
    filter.selectClauses.push_back(select);
  }
  SimpleAttributeOperand active;
  active.typeDefinitionId = NodeId(0, ids::AlarmConditionType);
  active.browsePath = {{0, "ActiveState"}, {0, "Id"}};
  filter.selectClauses.push_back(active);
  filter.whereClause.elements = {
      {FilterOperator::Or, {Wrap(ElementOperand{1}), Wrap(ElementOperand{2})}},
      {FilterOperator::OfType, {Wrap(LiteralOperand{NodeId(0, ids::ConditionType)})}},
      {FilterOperator::GreaterThan, {Wrap(active), Wrap(LiteralOperand{int32_t{0}})}}};
  eventItem.requestedParameters.filter = Wrap(filter);
  CreateMonitoredItemsRequest monitorEvents;
  monitorEvents.subscriptionId = 1;
  monitorEvents.itemsToCreate = {eventItem};
  std::string firstEventId(16, '\0');
  int64_t start = ManualClock().Now().ticks;
  uint64_t number = 1;
  std::memcpy(firstEventId.data(), &start, sizeof start);
  std::memcpy(firstEventId.data() + sizeof start, &number, sizeof number);
  CallRequest acknowledgeAlarm;
  acknowledgeAlarm.methodsToCall = {
      {NodeId(1, "F.Alarm"), NodeId(0, ids::AcknowledgeableConditionType_Acknowledge),
       {ByteString(firstEventId), LocalizedText{"en", "seen"}}},
      {NodeId(0, ids::ConditionType), NodeId(0, ids::ConditionType_ConditionRefresh), {uint32_t{1}}}};

  // Calls that pass every check, and ones that each fail one.
  const NodeId object(1, "O"), method(1, "O.M");
  CallRequest call;
  call.methodsToCall = {{object, method, {2.5, int32_t{2}}},
                        {object, method, {std::nan(""), int32_t{1}}},
                        {object, method, {int32_t{1}, "x"}},
                        {object, method, {2.5}},
                        {NodeId(1, "F"), method, {}},
                        {object, NodeId(1, "A"), {}}};
  ReadRequest readMethod;
  readMethod.nodesToRead = {{method, 21, "", {}}, {method, 22, "", {}},
                            {NodeId(1, "O.M.InputArguments"), 13, "", {}}};

  // History of H: a raw page that leaves a continuation point, the point
  // used, newest first, processed aggregates over intervals, and reads of a
  // variable without history and of details the server does not serve.
  const NodeId h(1, "H");
  const DateTime historyStart = DateTime::FromUnixMicros(kHistoryStartMicros);
  const DateTime historyEnd = DateTime::FromUnixMicros(kHistoryStartMicros + 60'000'000);
  HistoryReadRequest rawPage;
  rawPage.historyReadDetails = Wrap(ReadRawModifiedDetails{false, historyStart, historyEnd, 3, false});
  rawPage.nodesToRead = {{h, "", {}, {}}, {a, "", {}, {}}};
  HistoryReadRequest backwards;
  backwards.historyReadDetails = Wrap(ReadRawModifiedDetails{false, historyEnd, historyStart, 0, false});
  backwards.nodesToRead = {{h, "", {}, {}}};
  HistoryReadRequest processed;
  ReadProcessedDetails aggregates;
  aggregates.startTime = historyStart;
  aggregates.endTime = historyEnd;
  aggregates.processingInterval = 2000;
  aggregates.aggregateType = {NodeId(0, ids::AggregateFunction_Average),
                              NodeId(0, ids::AggregateFunction_Count)};
  processed.historyReadDetails = Wrap(aggregates);
  processed.nodesToRead = {{h, "", {}, {}}};
  HistoryReadRequest staleContinuation = rawPage;
  staleContinuation.nodesToRead = {{h, "", {}, ByteString(std::string(16, '\x01'))}};
  HistoryReadRequest release = rawPage;
  release.releaseContinuationPoints = true;

  bool ok = true;
  ok &= WriteSeed(dir, "handshake_raw", EncodeRecords(Lead(false), {{kRaw, RawHandshake()}}));
  ok &= WriteSeed(dir, "browse_read_write",
                  EncodeRecords(Lead(true), {RequestRecord(endpoints), RequestRecord(browse),
                                             RequestRecord(translate), RequestRecord(read),
                                             RequestRecord(write), RequestRecord(read)}));
  ok &= WriteSeed(dir, "subscribe_publish",
                  EncodeRecords(Lead(true), {RequestRecord(subscribe), RequestRecord(monitor),
                                             RequestRecord(publish), {kValue, "x"}, {kTime, "\x05"},
                                             {kValue, "y"}, RequestRecord(acknowledge),
                                             RequestRecord(republish), {kTime, "\x05"},
                                             RequestRecord(unsubscribe), {kTime, "\xFF"}}));
  ok &= WriteSeed(dir, "subscribe_transfer",
                  EncodeRecords(Lead(true), {RequestRecord(subscribe), RequestRecord(monitor),
                                             RequestRecord(publish), {kValue, "x"}, {kTime, "\x05"},
                                             RequestRecord(transfer), RequestRecord(publish),
                                             RequestRecord(republish), {kTime, "\x05"}}));
  ok &= WriteSeed(dir, "events_acknowledge",
                  EncodeRecords(Lead(true), {RequestRecord(subscribe), RequestRecord(monitorEvents),
                                             RequestRecord(publish), {kAlarm, "\x01PV high"},
                                             {kTime, "\x05"}, RequestRecord(publish),
                                             RequestRecord(acknowledgeAlarm), {kTime, "\x05"},
                                             RequestRecord(publish), {kAlarm, "\x06"},
                                             {kTime, "\x05"}}));
  ok &= WriteSeed(dir, "call_methods",
                  EncodeRecords(Lead(true), {RequestRecord(readMethod), RequestRecord(call),
                                             RequestRecord(CallRequest{})}));
  ok &= WriteSeed(dir, "history_read",
                  EncodeRecords(Lead(true), {{kValue, "\x03"}, {kValue, "\x03" "ab"}, {kValue, "\x03" "abcd"},
                                             {kValue, "\x03" "abcdef"}, {kValue, "\x03" "x"},
                                             RequestRecord(rawPage), RequestRecord(staleContinuation),
                                             RequestRecord(backwards), RequestRecord(processed),
                                             RequestRecord(release), {kValue, "\x03"},
                                             {kValue, "\x03"}, {kValue, "\x03"}, {kValue, "\x03"},
                                             {kValue, "\x03"}, RequestRecord(rawPage)}));
  ok &= WriteSeed(dir, "timeout_and_close",
                  EncodeRecords(Lead(true),
                                {{kTime, "\xFF"}, {kRaw, std::string("CLOF\x08\0\0\0", 8)}}));
  if (!ok) {
    std::fprintf(stderr, "cannot write the corpus to %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
