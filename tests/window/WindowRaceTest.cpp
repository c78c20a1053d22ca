// The window with other threads at work: OPC client writes arriving on the
// server thread while a case runs, the master link's worker during a run,
// and a close (and the window's destruction) while writes keep arriving.
// They pass in any build; scripts/test.sh also runs them in a
// thread-sanitizer build, where they show that the hand-offs between the
// server thread, the master-link worker and the GUI thread share no
// unguarded data.
#include <QApplication>
#include <QLineEdit>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "opcua/Client.h"
#include "tests/opc/ServedServer.h"
#include "tests/window/WindowFixture.h"

namespace qx::test {
namespace {

class WindowRaceTest : public WindowTest {
 protected:
  // Starts the window's own server on a free loopback port.
  std::string Serve() {
    std::string endpoint, error;
    for (int port = 5340; port < 5400; ++port) {
      endpoint = "opc.tcp://127.0.0.1:" + std::to_string(port);
      if (form->App().StartServer(endpoint, error)) return endpoint;
    }
    ADD_FAILURE() << "no free port for the window's server: " << error;
    return "";
  }
};

// A client alternates gains and integral times while the case runs; every
// write reaches the loop and its edit on the GUI thread, the last one stays.
TEST_F(WindowRaceTest, ClientWritesDuringARunReachTheLoopAndItsEdits) {
  const std::string endpoint = Serve();
  ASSERT_FALSE(endpoint.empty());
  std::atomic<int> good{0}, bad{0};
  std::atomic<bool> finished{false};
  std::string error;
  std::thread writer;
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             Model().RunControl.SleepMs = 0;
             writer = std::thread([&] {
               opcua::Client client;
               if (client.Connect(endpoint, error)) {
                 for (int n = 0; n < 300; ++n) {
                   const bool gain = n % 2 == 0;
                   const opcua::Variant value =
                       gain ? opcua::Variant(std::string(n == 298 ? "2" : "1.5")) : opcua::Variant(int32_t(10 + n % 3));
                   const opcua::StatusCode s = client.Write(ItemNode(gain ? "QX_S.PROP" : "QX_S.INTG"), value);
                   (s.IsGood() ? good : bad).fetch_add(1);
                 }
               }
               finished = true;
             });
             return true;
           },
           [&] {
             if (!finished.load()) return false;
             // Writes of the last turn are still on their way to this thread.
             return Model().SingleLoop.P == 2.0f && Model().SingleLoop.I == 12.0f;
           },
           StopSimulation()});
  writer.join();
  EXPECT_EQ(error, "");
  EXPECT_EQ(good.load(), 300);
  EXPECT_EQ(bad.load(), 0);
  EXPECT_TRUE(Find<QLineEdit>("PSingle")->text().startsWith("2")) << Find<QLineEdit>("PSingle")->text().toStdString();
}

// The master link set up and followed during a run, while a thread keeps
// changing the master's output and publishing it.
TEST_F(WindowRaceTest, MasterLinkDuringARunFollowsAChangingMaster) {
  LoopModel masterModel;
  std::string masterEndpoint;
  std::unique_ptr<COPCServer> master =
      ServeOnFreePort([&] { return std::make_unique<COPCServer>(masterModel, '.'); }, masterEndpoint);
  ASSERT_TRUE(master);
  form->App().SetMasterEndpoint(masterEndpoint);
  std::atomic<bool> publishing{true};
  std::thread publisher([&] {
    for (int n = 0; publishing.load(); ++n) {
      masterModel.SingleLoop.OP = n % 2 == 0 ? 40.0f : 60.0f;
      master->PublishItemValues(PanelSnapshot{});
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
  });
  auto* connect = Find<QToolButton>("MasterConnectToolButton");
  int followed = 0;
  float lastSP = 0;
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             Model().RunControl.SleepMs = 0;
             QTest::mouseClick(Find<QToolButton>("OPCServerToolButton"), Qt::LeftButton);
             return true;
           },
           [&] {
             const float sp = Model().SingleLoop.SP;
             if ((sp == 40.0f || sp == 60.0f) && sp != lastSP) ++followed;
             lastSP = sp;
             return followed >= 4;  // the set point has followed both values, twice
           },
           [&] {
             QTest::mouseClick(connect, Qt::LeftButton);
             return true;
           },
           [&] { return connect->toolTip() == "Connect to Master"; },
           StopSimulation()});
  publishing = false;
  publisher.join();
  EXPECT_GE(followed, 4);
  EXPECT_TRUE(prompter.Messages.empty());
}

// Closing the window while a client keeps writing: the run ends, the window
// closes and goes, and the writes arriving meanwhile neither reach a window
// that is gone nor race with its destruction.
TEST_F(WindowRaceTest, ClosingAndDestroyingTheWindowWhileWritesArrive) {
  const std::string endpoint = Serve();
  ASSERT_FALSE(endpoint.empty());
  std::atomic<int> good{0};
  std::thread writer([&] {
    opcua::Client client;
    std::string error;
    if (!client.Connect(endpoint, error)) return;
    // Until the server goes with the window.
    while (client.Write(ItemNode("QX_S.PROP"), opcua::Variant(std::string(good.load() % 2 ? "1.5" : "2.5"))).IsGood())
      good.fetch_add(1);
  });
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             Model().RunControl.SleepMs = 0;
             return good.load() >= 50;
           },
           [&] {
             prompter.Answers = {true, true};  // "Are you Sure?", then the connected client's question
             form->close();
             return true;
           }});
  EXPECT_EQ(prompter.Asked.size(), 2u);
  EXPECT_TRUE(QTest::qWaitFor([this] { return !form->isVisible(); }, 5000));
  const int beforeDestruction = good.load();
  form.reset();  // the server stops with the window; the client's next write fails
  writer.join();
  EXPECT_GE(beforeDestruction, 50);
}

}  // namespace
}  // namespace qx::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication application(argc, argv);
  QApplication::setApplicationName("Quorvanex OPC Server For Simulation (SLAVE)");
  return RUN_ALL_TESTS();
}
