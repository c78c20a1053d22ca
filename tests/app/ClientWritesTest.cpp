// Client writes of the gain through the application's server: delivered on
// the GUI thread into field and edit together, under any decimal separator.
#include <atomic>
#include <thread>

#include "AppFixture.h"
#include "PanelFixture.h"
#include "opc/OPCServer.h"
#include "opcua/Client.h"

namespace qx {
namespace {

opcua::NodeId Item(const char* name) { return opcua::NodeId(1, std::string(name)); }

std::string ReadText(opcua::Client& client, const char* name) {
  opcua::DataValue value;
  if (!client.Read(Item(name), value).IsGood()) return "(read failed)";
  const auto* text = std::get_if<std::string>(&value.value.scalar);
  return text ? *text : "(not a string)";
}

// The write arrives during a run, and the run picks up pending changes
// (the tuning edits into the fields) in the same step, before the write is
// delivered: the gain must survive and be what the items publish.
TEST(ClientWrites, APickupBeforeTheDeliveryKeepsTheWrittenGain) {
  test::FakeAppHost host;
  Application app(host, '.');
  test::LoadTestCase(app.Model(), app.Panel());
  const std::string endpoint = test::ServeOnFreePort(app);
  ASSERT_FALSE(endpoint.empty());
  opcua::Client client;
  std::string error;
  ASSERT_TRUE(client.Connect(endpoint, error)) << error;

  test::StoppingRunHost run(app);
  run.StopAtStep = 12;
  run.OnStep = [&](int64_t step) {
    if (step != 5) return;
    ASSERT_EQ(client.Write(Item("QX_S.PROP"), opcua::Variant(std::string("2.5"))), opcua::status::Good);
    app.Model().RunControl.ChangesPending = true;
  };
  SinglePID1Click(app.Sim(), run);
  EXPECT_EQ(LoadShared(app.Model().SingleLoop.P), 2.5f);
  EXPECT_EQ(app.Panel().PSingle.Text, "2.500000");
  for (int i = 0; i < 100 && ReadText(client, "QX_S.PROP") != "2.5"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(ReadText(client, "QX_S.PROP"), "2.5");
}

TEST(ClientWrites, ACommaWriteShownInTheEditSurvivesEnter) {
  test::FakeAppHost host;
  Application app(host, ',');
  test::LoadTestCase(app.Model(), app.Panel());
  const std::string endpoint = test::ServeOnFreePort(app);
  ASSERT_FALSE(endpoint.empty());
  opcua::Client client;
  std::string error;
  ASSERT_TRUE(client.Connect(endpoint, error)) << error;
  ASSERT_EQ(client.Write(Item("QX_S.PROP"), opcua::Variant(std::string("2,5"))), opcua::status::Good);
  const int changesBefore = host.PanelChanges;
  app.DeliverClientWrites();
  EXPECT_EQ(app.Panel().PSingle.Text, "2,500000");
  EXPECT_GT(host.PanelChanges, changesBefore);
  EnterKey(app.Model(), app.Panel());
  EXPECT_EQ(LoadShared(app.Model().SingleLoop.P), 2.5f);
  app.PublishItemValues();
  for (int i = 0; i < 100 && ReadText(client, "QX_S.K") != "2,5"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(ReadText(client, "QX_S.K"), "2,5");
}

// The server starts on a worker thread while the GUI thread already
// publishes, delivers and asks for clients (meaningful under the thread
// sanitizer); the wake function hears of every write.
TEST(ClientWrites, ServerStartedOnAWorkerWhileTheGuiThreadGoesOn) {
  test::FakeAppHost host;
  Application app(host, '.');
  test::LoadTestCase(app.Model(), app.Panel());
  std::atomic<int> wakes{0};
  app.SetClientWriteWake([&] { wakes.fetch_add(1); });
  std::string endpoint;
  std::thread starter([&] { endpoint = test::ServeOnFreePort(app); });
  while (!app.Server()) {
    app.PublishItemValues();
    app.DeliverClientWrites();
    (void)app.ClientsConnected();
    std::this_thread::yield();
  }
  starter.join();
  ASSERT_FALSE(endpoint.empty());
  opcua::Client client;
  std::string error;
  ASSERT_TRUE(client.Connect(endpoint, error)) << error;
  ASSERT_EQ(client.Write(Item("QX_S.INTG"), opcua::Variant(int32_t{7})), opcua::status::Good);
  EXPECT_EQ(wakes.load(), 1);
  app.DeliverClientWrites();
  EXPECT_EQ(LoadShared(app.Model().SingleLoop.I), 7);
  EXPECT_EQ(app.Panel().ISingle.Text, "7.000000");
}

}  // namespace
}  // namespace qx
