// The Call service: method nodes, argument checks, rights, and methods of
// the stack's own registered for an object type.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ServerFixture.h"
#include "opcua/ServerCoreInternal.h"

namespace opcua {
namespace {

using test::ServerFixture;
using test::TestClient;

constexpr uint32_t kMaxOperations = 4;

ServerLimits FewOperations() {
  ServerLimits limits;
  limits.maxNodesPerRequest = kMaxOperations;
  return limits;
}

ServerSecurity Writes(bool anonymousWrites) {
  ServerSecurity s;
  s.anonymousWrites = anonymousWrites;
  return s;
}

class MethodCalls : public ServerFixture {
 protected:
  explicit MethodCalls(bool anonymousWrites = true)
      : ServerFixture(FewOperations(), Writes(anonymousWrites)) {
    std::string error;
    const NodeId base(0, ids::BaseObjectType);
    EXPECT_TRUE(core.AddObject(NodeId(0, ids::ObjectsFolder), obj(), "Obj", base, 0, error)) << error;
    EXPECT_TRUE(core.AddObject(NodeId(0, ids::ObjectsFolder), other(), "Other", base, 0, error)) << error;
    uint32_t handle = 0;
    EXPECT_TRUE(core.AddVariable(obj(), var("Obj.PV"), "PV", 0.0, false, handle, error)) << error;
    const NodeId dbl(0, ids::Double), i32(0, ids::Int32);
    EXPECT_TRUE(core.AddMethod(obj(), step(), "Step",
                               {{"delta", dbl, {"", "Added to the value"}}, {"times", i32, {}}},
                               {{"value", dbl, {"", "The value after the step"}}},
                               [this](const MethodCall& call, std::vector<Variant>& out) {
                                 calls.push_back(call);
                                 double delta = std::get<double>(call.inputs[0].scalar);
                                 if (!std::isfinite(delta)) return status::BadOutOfRange;
                                 value += delta * std::get<int32_t>(call.inputs[1].scalar);
                                 out = {value};
                                 return status::Good;
                               },
                               error)) << error;
    EXPECT_TRUE(core.AddMethod(other(), reset(), "Reset", {}, {},
                               [this](const MethodCall& call, std::vector<Variant>&) {
                                 calls.push_back(call);
                                 return status::Good;
                               },
                               error)) << error;
    // Declares a Double output and hands back an Int32.
    EXPECT_TRUE(core.AddMethod(obj(), broken(), "Broken", {}, {{"value", dbl, {}}},
                               [](const MethodCall&, std::vector<Variant>& out) {
                                 out = {int32_t{1}};
                                 return status::Good;
                               },
                               error)) << error;
    EXPECT_TRUE(client.ConnectAndOpenSession());
  }

  NodeId obj() const { return NodeId(ns, "Obj"); }
  NodeId other() const { return NodeId(ns, "Other"); }
  NodeId step() const { return NodeId(ns, "Obj.Step"); }
  NodeId reset() const { return NodeId(ns, "Other.Reset"); }
  NodeId broken() const { return NodeId(ns, "Obj.Broken"); }

  StatusCode Call(std::vector<CallMethodRequest> methods, CallResponse& resp) {
    CallRequest req;
    req.methodsToCall = std::move(methods);
    return client.Call(req, resp);
  }
  CallMethodResult CallOne(CallMethodRequest method) {
    CallResponse resp;
    EXPECT_EQ(Call({std::move(method)}, resp), status::Good);
    EXPECT_EQ(resp.results.size(), 1u);
    return resp.results.empty() ? CallMethodResult{} : resp.results[0];
  }

  TestClient client{core};
  std::vector<MethodCall> calls;
  double value = 10;
};

TEST_F(MethodCalls, AGoodCallRunsTheCallbackAndReturnsItsOutputs) {
  CallMethodResult r = CallOne({obj(), step(), {2.5, int32_t{2}}});
  ASSERT_EQ(r.statusCode, status::Good);
  ASSERT_EQ(r.outputArguments.size(), 1u);
  EXPECT_TRUE(r.outputArguments[0] == Variant(15.0));
  EXPECT_TRUE(r.inputArgumentResults.empty());
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].objectId, obj());
  EXPECT_EQ(calls[0].methodId, step());
  EXPECT_EQ(calls[0].identity, "anonymous");
  EXPECT_TRUE(calls[0].inputs == (std::vector<Variant>{2.5, int32_t{2}}));
  // A method without arguments takes none.
  EXPECT_EQ(CallOne({other(), reset(), {}}).statusCode, status::Good);
}

TEST_F(MethodCalls, EachRefusalHasItsStandardStatusAndRunsNothing) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    CallMethodRequest call;
    StatusCode expected;
    std::vector<StatusCode> argumentResults;
  };
  const StatusCode good = status::Good, mismatch = status::BadTypeMismatch;
  const Case cases[] = {
      {"null object", {NodeId(), step(), {1.0, int32_t{1}}}, status::BadNodeIdInvalid, {}},
      {"unknown object", {NodeId(ns, "nope"), step(), {1.0, int32_t{1}}}, status::BadNodeIdUnknown, {}},
      {"variable as object", {var("Obj.PV"), step(), {1.0, int32_t{1}}}, status::BadNodeIdInvalid, {}},
      {"unknown method", {obj(), NodeId(ns, "Obj.Nope"), {}}, status::BadMethodInvalid, {}},
      {"another object's method", {obj(), reset(), {}}, status::BadMethodInvalid, {}},
      {"variable as method", {obj(), var("Obj.PV"), {}}, status::BadMethodInvalid, {}},
      {"no arguments", {obj(), step(), {}}, status::BadArgumentsMissing, {}},
      {"one argument short", {obj(), step(), {1.0}}, status::BadArgumentsMissing, {}},
      {"one argument too many", {obj(), step(), {1.0, int32_t{1}, 1.0}}, status::BadTooManyArguments, {}},
      {"argument to a method without", {other(), reset(), {1.0}}, status::BadTooManyArguments, {}},
      {"Int32 for Double", {obj(), step(), {int32_t{1}, int32_t{1}}}, status::BadInvalidArgument, {mismatch, good}},
      {"Float for Double", {obj(), step(), {1.0f, int32_t{1}}}, status::BadInvalidArgument, {mismatch, good}},
      {"String for Int32", {obj(), step(), {1.0, "1"}}, status::BadInvalidArgument, {good, mismatch}},
      {"empty for Double", {obj(), step(), {Variant(), int32_t{1}}}, status::BadInvalidArgument, {mismatch, good}},
      {"array for scalar",
       {obj(), step(), {Variant::Array(BuiltinType::Double, {1.0}), int32_t{1}}},
       status::BadInvalidArgument, {mismatch, good}},
      {"both wrong", {obj(), step(), {"x", 2.0}}, status::BadInvalidArgument, {mismatch, mismatch}},
      // The callback runs and refuses: the stack lets infinity through.
      {"infinity", {obj(), step(), {inf, int32_t{1}}}, status::BadOutOfRange, {}},
      {"outputs unlike their declaration", {obj(), broken(), {}}, status::BadInternalError, {}},
  };
  for (const Case& c : cases) {
    CallMethodResult r = CallOne(c.call);
    EXPECT_EQ(r.statusCode, c.expected) << c.what << ": " << StatusName(r.statusCode);
    EXPECT_EQ(r.inputArgumentResults, c.argumentResults) << c.what;
    EXPECT_TRUE(r.outputArguments.empty()) << c.what;
  }
  ASSERT_EQ(calls.size(), 1u) << "only the call with infinity reached a callback";
  EXPECT_TRUE(std::isinf(std::get<double>(calls[0].inputs[0].scalar)));
  EXPECT_EQ(value, 10) << "nothing changed";
}

TEST_F(MethodCalls, NaNReachesTheCallback) {
  CallMethodResult r = CallOne({obj(), step(), {std::nan(""), int32_t{1}}});
  EXPECT_EQ(r.statusCode, status::BadOutOfRange);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_TRUE(std::isnan(std::get<double>(calls[0].inputs[0].scalar)));
}

TEST_F(MethodCalls, ARequestIsRefusedWhenEmptyOrTooLargeAndAnsweredPerCallOtherwise) {
  CallResponse resp;
  EXPECT_EQ(Call({}, resp), status::BadNothingToDo);
  std::vector<CallMethodRequest> many(kMaxOperations + 1, CallMethodRequest{other(), reset(), {}});
  EXPECT_EQ(Call(many, resp), status::BadTooManyOperations);
  EXPECT_TRUE(calls.empty());
  // Within the limit every call gets its own result, in order.
  ASSERT_EQ(Call({{other(), reset(), {}}, {obj(), reset(), {}}, {obj(), step(), {1.0, int32_t{1}}}}, resp),
            status::Good);
  ASSERT_EQ(resp.results.size(), 3u);
  EXPECT_EQ(resp.results[0].statusCode, status::Good);
  EXPECT_EQ(resp.results[1].statusCode, status::BadMethodInvalid);
  EXPECT_EQ(resp.results[2].statusCode, status::Good);
  EXPECT_EQ(calls.size(), 2u);
}

TEST_F(MethodCalls, AMethodNodeShowsItsArgumentsAndThatItRuns) {
  BrowseRequest browse;
  browse.nodesToBrowse = {{obj(), BrowseDirection::Forward, NodeId(0, ids::HasComponent), true,
                           static_cast<uint32_t>(NodeClass::Method), 0x3F},
                          {step(), BrowseDirection::Forward, NodeId(0, ids::HasProperty), true, 0, 0x3F},
                          {broken(), BrowseDirection::Forward, NodeId(0, ids::HasProperty), true, 0, 0x3F},
                          {reset(), BrowseDirection::Forward, NodeId(0, ids::HasProperty), true, 0, 0x3F}};
  BrowseResponse browsed;
  ASSERT_EQ(client.Call(browse, browsed), status::Good);
  ASSERT_EQ(browsed.results.size(), 4u);
  ASSERT_EQ(browsed.results[0].references.size(), 2u) << "Step and Broken";
  EXPECT_EQ(browsed.results[0].references[0].nodeClass, NodeClass::Method);
  ASSERT_EQ(browsed.results[1].references.size(), 2u);
  EXPECT_EQ(browsed.results[1].references[0].browseName, (QualifiedName{0, "InputArguments"}));
  EXPECT_EQ(browsed.results[1].references[1].browseName, (QualifiedName{0, "OutputArguments"}));
  ASSERT_EQ(browsed.results[2].references.size(), 1u) << "no InputArguments without inputs";
  EXPECT_EQ(browsed.results[2].references[0].browseName.name, "OutputArguments");
  EXPECT_TRUE(browsed.results[3].references.empty());

  const NodeId inputs = browsed.results[1].references[0].nodeId.nodeId;
  // Two reads: the fixture allows few operations per request.
  ReadRequest read;
  read.nodesToRead = {{step(), kAttrNodeClass, "", {}}, {step(), kAttrExecutable, "", {}},
                      {step(), kAttrUserExecutable, "", {}}, {step(), kAttrValue, "", {}}};
  ReadResponse resp, more;
  ASSERT_EQ(client.Call(read, resp), status::Good);
  read.nodesToRead = {{inputs, kAttrDataType, "", {}}, {inputs, kAttrValueRank, "", {}},
                      {inputs, kAttrValue, "", {}}};
  ASSERT_EQ(client.Call(read, more), status::Good);
  resp.results.insert(resp.results.end(), more.results.begin(), more.results.end());
  ASSERT_EQ(resp.results.size(), 7u);
  EXPECT_TRUE(resp.results[0].value == Variant(static_cast<int32_t>(NodeClass::Method)));
  EXPECT_TRUE(resp.results[1].value == Variant(true));
  EXPECT_TRUE(resp.results[2].value == Variant(true));
  EXPECT_EQ(resp.results[3].status, status::BadAttributeIdInvalid) << "a method has no value";
  EXPECT_TRUE(resp.results[4].value == Variant(NodeId(0, ids::Argument)));
  EXPECT_TRUE(resp.results[5].value == Variant(int32_t{1}));
  const Variant& list = resp.results[6].value;
  ASSERT_TRUE(list.isArray);
  ASSERT_EQ(list.array.size(), 2u);
  Argument delta, times;
  ASSERT_EQ(Unwrap(std::get<ExtensionObject>(list.array[0]), delta), status::Good);
  ASSERT_EQ(Unwrap(std::get<ExtensionObject>(list.array[1]), times), status::Good);
  EXPECT_EQ(std::get<ExtensionObject>(list.array[0]).typeId, NodeId(0, ids::Argument_Encoding_DefaultBinary));
  EXPECT_EQ(delta.name, "delta");
  EXPECT_EQ(delta.dataType, NodeId(0, ids::Double));
  EXPECT_EQ(delta.valueRank, -1);
  EXPECT_EQ(delta.description, (LocalizedText{"", "Added to the value"}));
  EXPECT_EQ(times.name, "times");
  EXPECT_EQ(times.dataType, NodeId(0, ids::Int32));
}

TEST_F(MethodCalls, SetUpRefusesWhatCannotBeCalled) {
  auto ok = [](const MethodCall&, std::vector<Variant>&) { return status::Good; };
  struct Case {
    const char* what;
    NodeId object, id;
    std::vector<MethodArgument> inputs;
    MethodCallback callback;
    const char* named;
  };
  const Case cases[] = {
      {"missing object", NodeId(ns, "nope"), NodeId(ns, "M"), {}, ok, "ns=1;s=nope"},
      {"variable as object", var("Obj.PV"), NodeId(ns, "M"), {}, ok, "ns=1;s=Obj.PV"},
      {"taken id", obj(), var("Obj.PV"), {}, ok, "ns=1;s=Obj.PV"},
      {"no callback", obj(), NodeId(ns, "M"), {}, nullptr, "ns=1;s=M"},
      {"unknown data type", obj(), NodeId(ns, "M"), {{"x", NodeId(0, 999999), {}}}, ok, "i=999999"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(core.AddMethod(c.object, c.id, "M", c.inputs, {}, c.callback, error)) << c.what;
    EXPECT_NE(error.find(c.named), std::string::npos) << c.what << ": " << error;
  }
}

class ReadOnlyMethodCalls : public MethodCalls {
 protected:
  ReadOnlyMethodCalls() : MethodCalls(/*anonymousWrites=*/false) {}
};

TEST_F(ReadOnlyMethodCalls, ASessionThatMayNotWriteCallsOnlyMethodsForEveryone) {
  std::string error;
  const NodeId open(ns, "Obj.Open");
  int opened = 0;
  ASSERT_TRUE(core.AddInternalMethod(obj(), open, "Open", {}, {}, ServerCore::MethodAccess::Everyone,
                                     [&](ServerCore::Context&, const CallMethodRequest&,
                                         std::vector<Variant>&) {
                                       ++opened;
                                       return status::Good;
                                     },
                                     error)) << error;
  EXPECT_EQ(CallOne({obj(), step(), {1.0, int32_t{1}}}).statusCode, status::BadUserAccessDenied);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(value, 10);
  EXPECT_EQ(CallOne({obj(), open, {}}).statusCode, status::Good);
  EXPECT_EQ(opened, 1);
  ReadRequest read;
  read.nodesToRead = {{step(), kAttrExecutable, "", {}}, {step(), kAttrUserExecutable, "", {}},
                      {open, kAttrUserExecutable, "", {}}};
  ReadResponse resp;
  ASSERT_EQ(client.Call(read, resp), status::Good);
  ASSERT_EQ(resp.results.size(), 3u);
  EXPECT_TRUE(resp.results[0].value == Variant(true));
  EXPECT_TRUE(resp.results[1].value == Variant(false)) << "the session is told it may not call";
  EXPECT_TRUE(resp.results[2].value == Variant(true));
}

// How a service of the stack offers a method of its own: registered once on
// an object type, called on any object of that type or a subtype, with the
// calling session at hand.
TEST_F(MethodCalls, AStackMethodOfATypeRunsForEveryObjectOfItsSubtypes) {
  std::string error;
  const NodeId count(ns, "Count");
  std::vector<std::string> sessions;
  ASSERT_TRUE(core.AddInternalMethod(
      NodeId(0, ids::FolderType), count, "Count", {{"by", NodeId(0, ids::UInt32), {}}},
      {{"session", NodeId(0, ids::NodeId), {}}}, ServerCore::MethodAccess::Writers,
      [&](ServerCore::Context& ctx, const CallMethodRequest& call, std::vector<Variant>& out) {
        sessions.push_back(ctx.session->identity);
        out = {ctx.session->sessionId};
        return std::get<uint32_t>(call.inputArguments[0].scalar) > 0 ? status::Good
                                                                      : status::BadOutOfRange;
      },
      error)) << error;
  struct Case {
    const char* what;
    NodeId object;
    Variant by;
    StatusCode expected;
  };
  const Case cases[] = {
      {"a folder", folder(), uint32_t{1}, status::Good},
      {"an object of a subtype", NodeId(0, ids::OperationLimits), uint32_t{1}, status::Good},
      {"the type itself", NodeId(0, ids::FolderType), uint32_t{1}, status::Good},
      {"the handler's own refusal", folder(), uint32_t{0}, status::BadOutOfRange},
      {"an object of the supertype", obj(), uint32_t{1}, status::BadMethodInvalid},
      {"a wrong argument type", folder(), int32_t{1}, status::BadInvalidArgument},
  };
  for (const Case& c : cases) {
    CallMethodResult r = CallOne({c.object, count, {c.by}});
    EXPECT_EQ(r.statusCode, c.expected) << c.what << ": " << StatusName(r.statusCode);
    if (r.statusCode.IsGood()) {
      ASSERT_EQ(r.outputArguments.size(), 1u) << c.what;
      EXPECT_EQ(r.outputArguments[0].Type(), BuiltinType::NodeId) << c.what;
    }
  }
  EXPECT_EQ(sessions.size(), 4u) << "the handler ran for the four calls that passed the checks";
  for (const std::string& s : sessions) EXPECT_EQ(s, "anonymous");
}

}  // namespace
}  // namespace opcua
