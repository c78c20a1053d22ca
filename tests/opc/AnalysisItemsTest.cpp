// The read-only figures in the folder "Analysis" as a client reads them
// from a served COPCServer: their type and status before any value, the
// values of a publication, absent values, refused writes, and the
// description and units each carries.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <thread>
#include <vector>

#include "ServedServer.h"
#include "opcua/NodeIds.h"

namespace qx {
namespace {

using opcua::DataValue;

class AnalysisItems : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = test::ServeOnFreePort(
        [this] {
          auto server = std::make_unique<COPCServer>(model_, '.');
          server->SetAnalysisItems({{"IAE", "", ""}, {"Overshoot", "", "%"}});
          return server;
        },
        endpoint_);
    ASSERT_TRUE(server_);
    std::string error;
    ASSERT_TRUE(client_.Connect(endpoint_, error)) << error;
  }

  // The read's value and status (a node that is not there reads
  // BadNodeIdUnknown).
  DataValue Read(const std::string& name) {
    DataValue value;
    value.status = client_.Read(opcua::NodeId(1, std::string("Analysis.") + name), value);
    return value;
  }

  // The server applies a publication on its own thread: reads until IAE
  // shows `iae` (or a second has passed).
  DataValue ReadOnceIAEIs(double iae) {
    DataValue value;
    for (int i = 0; i < 100; ++i) {
      value = Read("IAE");
      const double* number = std::get_if<double>(&value.value.scalar);
      if (value.status.IsGood() && number && *number == iae) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return value;
  }

  LoopModel model_;
  std::string endpoint_;
  std::unique_ptr<COPCServer> server_;
  opcua::Client client_;
};

TEST_F(AnalysisItems, WaitForDataUntilPublishedThenCarryTheValues) {
  for (const char* name : {"IAE", "Overshoot"}) {
    const DataValue v = Read(name);
    EXPECT_EQ(v.status, opcua::status::BadWaitingForInitialData) << name;
    EXPECT_TRUE(std::holds_alternative<double>(v.value.scalar)) << name << " is a Double";
  }

  const std::vector<std::optional<double>> first = {12.5, std::nullopt};
  server_->PublishItemValues(PanelSnapshot{}, first);
  const DataValue iae = ReadOnceIAEIs(12.5);
  EXPECT_TRUE(iae.status.IsGood());
  EXPECT_EQ(std::get<double>(iae.value.scalar), 12.5);
  EXPECT_EQ(Read("Overshoot").status, opcua::status::BadWaitingForInitialData);

  // A value that goes away again reads as waiting for data once more.
  const std::vector<std::optional<double>> second = {13.0, 4.25};
  server_->PublishItemValues(PanelSnapshot{}, second);
  ReadOnceIAEIs(13.0);
  EXPECT_EQ(std::get<double>(Read("Overshoot").value.scalar), 4.25);
  const std::vector<std::optional<double>> third = {14.0, std::nullopt};
  server_->PublishItemValues(PanelSnapshot{}, third);
  ReadOnceIAEIs(14.0);
  EXPECT_EQ(Read("Overshoot").status, opcua::status::BadWaitingForInitialData);

  // A publication without figures leaves them as they were.
  server_->PublishItemValues(PanelSnapshot{});
  EXPECT_EQ(test::ReadItemText(client_, "DUMMYTAG.PV"), "1");
  EXPECT_EQ(std::get<double>(Read("IAE").value.scalar), 14.0);
}

TEST_F(AnalysisItems, ClientWritesAreRefused) {
  for (const opcua::Variant& written : {opcua::Variant(1.0), opcua::Variant(std::string("1"))})
    EXPECT_EQ(client_.Write(opcua::NodeId(1, std::string("Analysis.IAE")), written),
              opcua::status::BadNotWritable);
  EXPECT_EQ(Read("IAE").status, opcua::status::BadWaitingForInitialData);
}

// The EngineeringUnits properties a client finds by browsing the figure,
// as the structures they read.
std::vector<opcua::EUInformation> UnitsOf(opcua::Client& client, const opcua::NodeId& figure) {
  opcua::BrowseRequest browse;
  browse.nodesToBrowse = {{figure, opcua::BrowseDirection::Forward,
                           opcua::NodeId(0, opcua::ids::HasProperty), true, 0, 0x3F}};
  opcua::BrowseResponse browsed;
  EXPECT_EQ(client.Call(browse, browsed), opcua::status::Good);
  std::vector<opcua::EUInformation> units;
  for (const opcua::ReferenceDescription& property : browsed.results.at(0).references) {
    EXPECT_EQ(property.browseName, (opcua::QualifiedName{0, "EngineeringUnits"}));
    DataValue value;
    EXPECT_EQ(client.Read(property.nodeId.nodeId, value), opcua::status::Good);
    const auto* body = std::get_if<opcua::ExtensionObject>(&value.value.scalar);
    opcua::EUInformation read;
    if (body && opcua::Unwrap(*body, read).IsGood()) units.push_back(read);
    else ADD_FAILURE() << figure.ToString() << ": the units are not an EUInformation";
  }
  return units;
}

TEST(AnalysisItemInfo, EachFigureCarriesItsDescriptionAndItsUnitWhereItHasOne) {
  LoopModel model;
  std::string endpoint;
  const std::vector<AnalysisItem> items = {{"IAE", "Integral of absolute error", ""},
                                           {"Overshoot", "Overshoot of PV", "%"},
                                           {"RiseTime", "Rise time of PV", "time units"}};
  auto server = test::ServeOnFreePort(
      [&] {
        auto made = std::make_unique<COPCServer>(model, '.');
        made->SetAnalysisItems(items);
        return made;
      },
      endpoint);
  ASSERT_TRUE(server);
  opcua::Client client;
  std::string error;
  ASSERT_TRUE(client.Connect(endpoint, error)) << error;

  for (const AnalysisItem& item : items) {
    const opcua::NodeId figure(1, "Analysis." + item.Name);
    opcua::ReadRequest read;
    read.nodesToRead = {{figure, opcua::kAttrDescription, "", {}}};
    opcua::ReadResponse description;
    ASSERT_EQ(client.Call(read, description), opcua::status::Good);
    EXPECT_TRUE(description.results.at(0).value == opcua::Variant(opcua::LocalizedText{"", item.Description}))
        << item.Name;
  }

  EXPECT_TRUE(UnitsOf(client, opcua::NodeId(1, "Analysis.IAE")).empty()) << "IAE has no unit";
  const std::vector<opcua::EUInformation> percent = UnitsOf(client, opcua::NodeId(1, "Analysis.Overshoot"));
  ASSERT_EQ(percent.size(), 1u);
  EXPECT_EQ(percent[0].namespaceUri, "http://www.opcfoundation.org/UA/units/un/cefact");
  EXPECT_EQ(percent[0].unitId, 20529) << "the UNECE code P1";
  EXPECT_EQ(percent[0].displayName.text, "%");
  // The simulation's time has no standard unit: no code, known by its text.
  const std::vector<opcua::EUInformation> time = UnitsOf(client, opcua::NodeId(1, "Analysis.RiseTime"));
  ASSERT_EQ(time.size(), 1u);
  EXPECT_EQ(time[0].unitId, -1);
  EXPECT_EQ(time[0].displayName.text, "time units");
}

}  // namespace
}  // namespace qx
