// Objects, properties, ranges and type definitions of application nodes,
// as a client browses and reads them.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "ServerFixture.h"

namespace opcua {
namespace {

using test::ServerFixture;
using test::TestClient;

class Objects : public ServerFixture {
 protected:
  Objects() {
    std::string error;
    EXPECT_TRUE(core.AddObject(NodeId(0, ids::ObjectsFolder), obj(), "Obj",
                               NodeId(0, ids::BaseObjectType), 1, error)) << error;
    uint32_t handle = 0;
    EXPECT_TRUE(core.AddVariable(obj(), var("Obj.PV"), "PV", 0.0, false, handle, error)) << error;
    EXPECT_TRUE(core.AddVariable(obj(), var("Obj.Mode"), "Mode", int32_t{1}, true, handle, error))
        << error;
    EXPECT_TRUE(client.ConnectAndOpenSession());
  }

  NodeId obj() const { return NodeId(ns, "Obj"); }

  BrowseResult Browse(const NodeId& node, uint32_t referenceType) {
    BrowseRequest req;
    req.nodesToBrowse = {{node, BrowseDirection::Forward, NodeId(0, referenceType), true, 0, 0x3F}};
    BrowseResponse resp;
    EXPECT_EQ(client.Call(req, resp), status::Good);
    return resp.results.empty() ? BrowseResult{} : resp.results[0];
  }

  std::vector<DataValue> Read(std::vector<ReadValueId> nodes) {
    ReadRequest req;
    req.nodesToRead = std::move(nodes);
    ReadResponse resp;
    EXPECT_EQ(client.Call(req, resp), status::Good);
    return resp.results;
  }

  Range ReadRange(const NodeId& property) {
    auto values = Read({{property, kAttrValue, "", {}}});
    Range range{-1, -1};
    const auto* body = values.empty() ? nullptr : std::get_if<ExtensionObject>(&values[0].value.scalar);
    EXPECT_NE(body, nullptr) << "the range is a structure";
    if (body) {
      EXPECT_EQ(Unwrap(*body, range), status::Good);
    }
    return range;
  }

  TestClient client{core};
};

const ReferenceDescription* Find(const BrowseResult& r, const std::string& name) {
  for (const auto& ref : r.references)
    if (ref.browseName.name == name) return &ref;
  return nullptr;
}

TEST_F(Objects, AnObjectHoldsTypedVariablesWithTheirProperties) {
  std::string error;
  ASSERT_TRUE(core.SetTypeDefinition(var("Obj.PV"), NodeId(0, ids::AnalogItemType), error)) << error;
  ASSERT_TRUE(core.SetEURange(var("Obj.PV"), 0, 150, error)) << error;
  ASSERT_TRUE(core.SetTypeDefinition(var("Obj.Mode"), NodeId(0, ids::MultiStateDiscreteType), error))
      << error;
  ASSERT_TRUE(core.AddProperty(var("Obj.Mode"), "EnumStrings",
                               Variant::Array(BuiltinType::LocalizedText,
                                              {LocalizedText{"", "Manual"}, LocalizedText{"", "Auto"}}),
                               error)) << error;
  ASSERT_TRUE(core.AddProperty(obj(), "Serial", "X-1", error)) << error;

  const BrowseResult inObjects = Browse(NodeId(0, ids::ObjectsFolder), ids::Organizes);
  const ReferenceDescription* o = Find(inObjects, "Obj");
  ASSERT_NE(o, nullptr) << "an object under a folder is organised by it";
  EXPECT_EQ(o->nodeClass, NodeClass::Object);
  EXPECT_EQ(o->typeDefinition.nodeId, NodeId(0, ids::BaseObjectType));

  BrowseResult children = Browse(obj(), ids::HierarchicalReferences);
  ASSERT_EQ(children.references.size(), 3u);
  const ReferenceDescription* pv = Find(children, "PV");
  const ReferenceDescription* serial = Find(children, "Serial");
  ASSERT_TRUE(pv && serial);
  EXPECT_EQ(pv->referenceTypeId, NodeId(0, ids::HasComponent));
  EXPECT_EQ(pv->typeDefinition.nodeId, NodeId(0, ids::AnalogItemType));
  EXPECT_EQ(serial->referenceTypeId, NodeId(0, ids::HasProperty));
  EXPECT_EQ(serial->browseName, (QualifiedName{ns, "Serial"})) << "not a standard property name";
  EXPECT_EQ(serial->typeDefinition.nodeId, NodeId(0, ids::PropertyType));

  const BrowseResult ofPv = Browse(var("Obj.PV"), ids::HasProperty);
  const BrowseResult ofMode = Browse(var("Obj.Mode"), ids::HasProperty);
  const ReferenceDescription* range = Find(ofPv, "EURange");
  const ReferenceDescription* texts = Find(ofMode, "EnumStrings");
  ASSERT_TRUE(range && texts);
  EXPECT_EQ(range->browseName.ns, 0) << "standard properties keep their standard names";
  EXPECT_EQ(texts->browseName.ns, 0);
  const NodeId rangeId = range->nodeId.nodeId, textsId = texts->nodeId.nodeId;

  auto values = Read({{obj(), kAttrEventNotifier, "", {}},
                      {var("Obj.PV"), kAttrDataType, "", {}},
                      {var("Obj.Mode"), kAttrDataType, "", {}},
                      {rangeId, kAttrDataType, "", {}},
                      {textsId, kAttrDataType, "", {}},
                      {textsId, kAttrValueRank, "", {}},
                      {serial->nodeId.nodeId, kAttrValue, "", {}},
                      {serial->nodeId.nodeId, kAttrUserAccessLevel, "", {}},
                      {NodeId(0, ids::AnalogItemType), kAttrBrowseName, "", {}}});
  ASSERT_EQ(values.size(), 9u);
  EXPECT_TRUE(values[0].value == Variant(uint8_t{1}));
  EXPECT_TRUE(values[1].value == Variant(NodeId(0, ids::Double)));
  EXPECT_TRUE(values[2].value == Variant(NodeId(0, ids::Int32)));
  EXPECT_TRUE(values[3].value == Variant(NodeId(0, ids::Range)));
  EXPECT_TRUE(values[4].value == Variant(NodeId(0, ids::LocalizedText)));
  EXPECT_TRUE(values[5].value == Variant(int32_t{1}));
  EXPECT_TRUE(values[6].value == Variant("X-1"));
  EXPECT_TRUE(values[7].value == Variant(kAccessRead)) << "properties are read-only";
  EXPECT_TRUE(values[8].value == Variant(QualifiedName{0, "AnalogItemType"}));

  Range got = ReadRange(rangeId);
  EXPECT_EQ(got.low, 0);
  EXPECT_EQ(got.high, 150);
  // A second range replaces the first.
  ASSERT_TRUE(core.SetEURange(var("Obj.PV"), -10, 10, error)) << error;
  got = ReadRange(rangeId);
  EXPECT_EQ(got.low, -10);
  EXPECT_EQ(got.high, 10);
}

TEST_F(Objects, ATypeDefinitionIsReplacedNotAdded) {
  std::string error;
  ASSERT_TRUE(core.SetTypeDefinition(var("Obj.PV"), NodeId(0, ids::AnalogItemType), error)) << error;
  BrowseResult types = Browse(var("Obj.PV"), ids::HasTypeDefinition);
  ASSERT_EQ(types.references.size(), 1u);
  EXPECT_EQ(types.references[0].nodeId.nodeId, NodeId(0, ids::AnalogItemType));
  // The old type no longer lists the variable among its instances.
  BrowseRequest req;
  req.nodesToBrowse = {{NodeId(0, ids::BaseDataVariableType), BrowseDirection::Inverse,
                        NodeId(0, ids::HasTypeDefinition), false, 0, 0x3F}};
  BrowseResponse resp;
  ASSERT_EQ(client.Call(req, resp), status::Good);
  for (const auto& ref : resp.results.at(0).references)
    EXPECT_FALSE(ref.nodeId.nodeId == var("Obj.PV"));
}

TEST_F(Objects, StructuresNameTheirBinaryEncodings) {
  for (auto [type, encoding] : {std::pair{ids::Range, ids::Range_Encoding_DefaultBinary},
                                {ids::Argument, ids::Argument_Encoding_DefaultBinary},
                                {ids::EUInformation, ids::EUInformation_Encoding_DefaultBinary}}) {
    BrowseResult r = Browse(NodeId(0, type), ids::HasEncoding);
    ASSERT_EQ(r.references.size(), 1u) << type;
    EXPECT_EQ(r.references[0].nodeId.nodeId, NodeId(0, encoding));
    EXPECT_EQ(r.references[0].browseName, (QualifiedName{0, "Default Binary"}));
  }
}

TEST_F(Objects, SetUpRefusesWhatCannotBeBuiltAndSaysWhy) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const NodeId missing(ns, "missing");
  uint32_t handle = 0;
  std::string setUpError;
  ASSERT_TRUE(core.AddProperty(obj(), "Serial", "X-1", setUpError)) << setUpError;
  struct Case {
    const char* what;
    std::function<bool(std::string&)> call;
    const char* named;  // what the error must name
  };
  const Case cases[] = {
      {"object under a missing parent",
       [&](std::string& e) { return core.AddObject(missing, NodeId(ns, "O2"), "O2", NodeId(0, ids::BaseObjectType), 0, e); },
       "ns=1;s=missing"},
      {"object of a variable type",
       [&](std::string& e) { return core.AddObject(obj(), NodeId(ns, "O2"), "O2", NodeId(0, ids::AnalogItemType), 0, e); },
       "i=2368"},
      {"object with a taken id",
       [&](std::string& e) { return core.AddObject(obj(), var("Obj.PV"), "PV", NodeId(0, ids::BaseObjectType), 0, e); },
       "ns=1;s=Obj.PV"},
      {"variable under a missing parent",
       [&](std::string& e) { return core.AddVariable(missing, NodeId(ns, "V"), "V", 0.0, false, handle, e); },
       "ns=1;s=missing"},
      {"property of a missing node",
       [&](std::string& e) { return core.AddProperty(missing, "Serial", "x", e); }, "ns=1;s=missing"},
      {"second property of one name",
       [&](std::string& e) { return core.AddProperty(obj(), "Serial", "x", e); }, "ns=1;s=Obj.Serial"},
      {"property without a value",
       [&](std::string& e) { return core.AddProperty(obj(), "Empty", Variant(), e); }, "Empty"},
      {"range of an object",
       [&](std::string& e) { return core.SetEURange(obj(), 0, 1, e); }, "ns=1;s=Obj"},
      {"range with NaN",
       [&](std::string& e) { return core.SetEURange(var("Obj.PV"), nan, 1, e); }, "ns=1;s=Obj.PV"},
      {"range upside down",
       [&](std::string& e) { return core.SetEURange(var("Obj.PV"), 2, 1, e); }, "ns=1;s=Obj.PV"},
      {"variable of an object type",
       [&](std::string& e) { return core.SetTypeDefinition(var("Obj.PV"), NodeId(0, ids::BaseObjectType), e); },
       "i=58"},
      {"object of a variable type",
       [&](std::string& e) { return core.SetTypeDefinition(obj(), NodeId(0, ids::AnalogItemType), e); },
       "i=2368"},
      {"type of a missing node",
       [&](std::string& e) { return core.SetTypeDefinition(missing, NodeId(0, ids::AnalogItemType), e); },
       "ns=1;s=missing"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(c.call(error)) << c.what;
    EXPECT_NE(error.find(c.named), std::string::npos) << c.what << ": " << error;
  }
  // Nothing half-made: the refused range left no property behind.
  EXPECT_TRUE(Browse(var("Obj.PV"), ids::HasProperty).references.empty());
}

}  // namespace
}  // namespace opcua
