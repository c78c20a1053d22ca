// Closing the main window: "Are you Sure?", the connected-clients question
// and the revocation of the server.
#include "AppFixture.h"
#include "opc/OPCServer.h"
#include "opcua/Client.h"

namespace qx {
namespace {

using Log = std::vector<std::string>;

const char* const kClientsQuestion =
    "ask: Quorvanex OPC Server For Simulation is connected to client(s).\nDo you want to Exit?";

class CloseQuestions : public ::testing::Test {
 protected:
  CloseQuestions() : app(host, '.') { app.StartUpState(); }
  test::FakeAppHost host;
  Application app;
};

TEST_F(CloseQuestions, NoToAreYouSureKeepsTheWindowAndTheRun) {
  host.Answers = {false};
  EXPECT_FALSE(app.FormCloseQuery());
  EXPECT_FALSE(app.Model().RunControl.StopRequested);
  EXPECT_EQ(host.Log, (Log{"ask: Are you Sure?"}));
  EXPECT_EQ(app.Panel().Layout.SimRunningLabel, "");
}

TEST_F(CloseQuestions, YesStopsTheRunAndWithoutClientsAsksNothingMore) {
  EXPECT_TRUE(app.FormCloseQuery());
  EXPECT_TRUE(app.Model().RunControl.StopRequested);
  EXPECT_EQ(app.Panel().Layout.SimRunningLabel, "Simulation Running.");
  EXPECT_EQ(app.Panel().Layout.SimRunningLabel1, "Click 'Halt Simulation' to stop.");
  EXPECT_TRUE(app.FormClose());
  EXPECT_EQ(host.Log, (Log{"ask: Are you Sure?"}));
}

TEST_F(CloseQuestions, ConnectedClientsAreAskedAboutAndTheServerIsRevokedEitherWay) {
  const std::string endpoint = test::ServeOnFreePort(app);
  ASSERT_FALSE(endpoint.empty());
  EXPECT_FALSE(app.ClientsConnected());
  opcua::Client client;
  std::string error;
  ASSERT_TRUE(client.Connect(endpoint, error)) << error;
  EXPECT_TRUE(app.ClientsConnected());

  // A case running: Yes to "Are you Sure?" stops it, No to the clients
  // question keeps the window, which shows the run as ended.
  ShowCaseLayout(app.Panel());
  app.Panel().Layout.RunIndicatorOn = true;
  app.Panel().Layout.SaveCaseFileEnabled = true;
  host.Answers = {true, false};
  ASSERT_TRUE(app.FormCloseQuery());
  EXPECT_FALSE(app.FormClose());
  EXPECT_EQ(host.Log, (Log{"ask: Are you Sure?", kClientsQuestion}));
  const PanelLayout& layout = app.Panel().Layout;
  EXPECT_TRUE(app.Model().RunControl.StopRequested);
  EXPECT_FALSE(layout.RunIndicatorOn);
  EXPECT_FALSE(layout.ModePageVisible);
  EXPECT_FALSE(layout.TwoPlotsPanelVisible);
  EXPECT_TRUE(layout.NewCaseFileEnabled);
  EXPECT_TRUE(layout.OpenCaseFileEnabled);
  EXPECT_FALSE(layout.SaveCaseFileEnabled);
  // Revoked: the client already connected stays, a new one cannot come,
  // and is told that the server is closing rather than full.
  opcua::Client late;
  EXPECT_FALSE(late.Connect(endpoint, error, 1000));
  EXPECT_NE(error.find("BadShutdown"), std::string::npos) << error;
  opcua::DataValue value;
  EXPECT_TRUE(client.Read(opcua::NodeId(1, std::string("QX_S.PV")), value).IsGood());

  host.Answers = {true};
  EXPECT_TRUE(app.FormClose());
}

TEST(CloseBeforeTheServerIsUp, ARevokeBeforeTheStartStillRefusesNewClients) {
  test::FakeAppHost host;
  Application app(host, '.');
  EXPECT_FALSE(app.ClientsConnected());
  app.PublishItemValues();  // nothing to publish to yet
  EXPECT_TRUE(app.FormClose());
  const std::string endpoint = test::ServeOnFreePort(app);
  ASSERT_FALSE(endpoint.empty());
  opcua::Client client;
  std::string error;
  EXPECT_FALSE(client.Connect(endpoint, error, 1000));
}

}  // namespace
}  // namespace qx
