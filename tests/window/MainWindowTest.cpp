// The main window driven as the operator drives it: the layouts around a
// run, operator changes reaching a running simulation, the mode panel, the
// pause that keeps the window answering, the close questions and the case
// commands with their dialogs.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <qcustomplot.h>

#include "opcua/Client.h"
#include "tests/opc/ServedServer.h"
#include "tests/window/WindowFixture.h"
#include "window/ArrowPair.h"
#include "window/LedShape.h"
#include "window/WindowHost.h"
#include "window/charts/TrendCharts.h"

namespace qx::test {
namespace {

const char* const kCasePanels[] = {"ModePage", "PIDConfigPageControl", "ErrorPanel", "SignalsPanel",
                                   "ApplyChangesButton", "TwoPlotsPanel", "TrendScaleButton", "SimTime",
                                   "SimTimeLabel"};

void ClickSpin(QWidget* form, const char* name) {
  QTest::mouseClick(form->findChild<QToolButton*>(name), Qt::LeftButton);
}

class MainWindowTest : public WindowTest {
 protected:
  void ExpectIdleLayout() {
    EXPECT_TRUE(Find<QWidget>("PID_InputPanel")->isVisible());
    EXPECT_TRUE(Find<QWidget>("BottomPanel")->isVisible());
    for (const char* name : kCasePanels) EXPECT_FALSE(Find<QWidget>(name)->isVisible()) << name;
    EXPECT_TRUE(Find<QToolButton>("NewCaseFile")->isEnabled());
    EXPECT_TRUE(Find<QToolButton>("OpenCaseFile")->isEnabled());
    EXPECT_FALSE(Find<QToolButton>("SaveCaseFile")->isEnabled());
    EXPECT_TRUE(Find<QWidget>("IconToolBar")->isEnabled());
  }
  bool IndicatorTimerActive() { return form->findChild<QTimer*>("Timer3")->isActive(); }
};

TEST_F(MainWindowTest, LayoutsBeforeDuringAndAfterARun) {
  ExpectIdleLayout();
  EXPECT_FALSE(Find<QWidget>("PID_InputPanel")->isEnabled()) << "disabled until a case is active";
  EXPECT_EQ(form->windowTitle(), "Quorvanex OPC Server SLAVE For Simulation");

  RunWith([this] { form->NewCaseFileClick(); },
          {[this] {
             Model().RunControl.SleepMs = 0;  // full speed: the trends fill quickly
             return true;
           },
           [this] {
             if (Steps() < 400) return false;
             for (const char* name : kCasePanels) EXPECT_TRUE(Find<QWidget>(name)->isVisible()) << name;
             EXPECT_TRUE(Find<QWidget>("PID_InputPanel")->isEnabled());
             EXPECT_FALSE(Find<QToolButton>("NewCaseFile")->isEnabled());
             EXPECT_FALSE(Find<QToolButton>("OpenCaseFile")->isEnabled());
             EXPECT_TRUE(Find<QToolButton>("SaveCaseFile")->isEnabled());
             EXPECT_TRUE(IndicatorTimerActive());
             auto* led = Find<LedShape>("SimLEDShape");
             const QColor lit = led->Colour();
             form->Timer3Timer();  // the indicator blinks
             EXPECT_NE(led->Colour(), lit);
             form->Timer3Timer();
             EXPECT_EQ(led->Colour(), lit);
             EXPECT_EQ(form->windowTitle(), "Quorvanex OPC Server For Simulation SLAVE (flowpid.dat)");
             form->Charts()->FlushPaint();
             EXPECT_TRUE(form->Charts()->Chart1()->isVisible());
             EXPECT_GT(form->Charts()->Chart1()->graph(0)->dataCount(), 100) << "the trends move";
             return true;
           },
           StopSimulation()});

  EXPECT_EQ(prompter.Asked, std::vector<QString>{"End This Simulation?"});
  ExpectIdleLayout();
  EXPECT_FALSE(IndicatorTimerActive());
  EXPECT_EQ(Find<QLabel>("SimRunningLabel1")->text(), "Click 'Halt Simulation' to stop.");
}

// Enter, typing, the spin buttons and the mode panel act on the running loop
// at its next step, and the window shows what the logic made of them.
TEST_F(MainWindowTest, OperatorChangesReachTheRunningLoop) {
  auto* p = Find<QLineEdit>("PSingle");
  auto* sp = Find<QLineEdit>("SingleSPNew");
  auto* op = Find<QLineEdit>("SingleOPNew");
  auto* mode = Find<QLabel>("manual_auto_select");
  int64_t enteredAt = 0;
  float spBefore = 0;

  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             Model().RunControl.SleepMs = 0;
             p->setFocus();
             EXPECT_EQ(p->palette().color(QPalette::Base), QColor(0xFF, 0xFF, 0x00)) << "focus colours";
             EXPECT_EQ(p->palette().color(QPalette::Text), QColor(0x00, 0x00, 0xFF));
             p->selectAll();
             QTest::keyClicks(p, "2x .5");  // the key filter drops the letter and the blank
             EXPECT_EQ(p->text(), "2.5");
             QTest::keyClick(p, Qt::Key_Return);
             EXPECT_TRUE(Model().RunControl.ChangesPending);
             enteredAt = Steps();
             return true;
           },
           [&] {
             if (Steps() < enteredAt + 2) return false;
             EXPECT_FLOAT_EQ(Model().SingleLoop.P, 2.5f);
             EXPECT_EQ(p->text(), "2.5000") << "shown as normalised after the pickup";
             spBefore = Model().SingleLoop.SPNew;
             ClickSpin(form.get(), "SingleSPNewUpDownCSpinButtonUp");
             EXPECT_FLOAT_EQ(Model().SingleLoop.SPNew, spBefore + 1);
             EXPECT_EQ(sp->text(), QString::number(spBefore + 1, 'f', 3));
             EXPECT_TRUE(Model().RunControl.ChangesPending);
             // Auto -> Manual: the set point is locked, the output is free.
             EXPECT_EQ(mode->text(), "Auto");
             EXPECT_EQ(mode->palette().color(QPalette::Window), QColor(0xB3, 0xB3, 0xFF));
             QTest::mouseClick(mode, Qt::LeftButton);
             EXPECT_EQ(mode->text(), "Manual");
             EXPECT_EQ(mode->palette().color(QPalette::Window), QColor(0xFF, 0x84, 0x84));
             EXPECT_EQ(mode->palette().color(QPalette::WindowText), QColor(0x00, 0x00, 0xFF));
             EXPECT_FALSE(sp->isVisible());
             EXPECT_TRUE(op->isEnabled());
             EXPECT_TRUE(Find<QWidget>("SingleOPNewUpDownCSpinButton")->isVisible());
             EXPECT_FALSE(Find<QWidget>("SingleSPNewUpDownCSpinButton")->isVisible());
             EXPECT_EQ(Model().RunControl.SingleAutoState, 0);
             return true;
           },
           [&] {
             if (Steps() < enteredAt + 10) return false;  // the run went on in Manual
             QTest::mouseClick(mode, Qt::LeftButton);
             EXPECT_EQ(mode->text(), "Auto");
             EXPECT_TRUE(sp->isVisible() && sp->isEnabled());
             EXPECT_FALSE(op->isEnabled());
             return true;
           },
           StopSimulation()});
}

// The pause between two steps (600 ms at the slowest speed) keeps the window
// answering: a timer, a click and a stop are handled at once, not after the
// rest of the pause.
TEST_F(MainWindowTest, SlowestSpeedPauseKeepsTheWindowAnswering) {
  auto* gauge = Find<QProgressBar>("CGauge1");
  auto* slower = Find<QToolButton>("UpDown1Left");
  QElapsedTimer clock;
  clock.start();
  qint64 lateness = -1;
  qint64 stopClickedAt = 0;

  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             // Each click is applied at the next step: one click a step.
             if (gauge->value() == 0 && Model().RunControl.SleepMs == 600) return true;
             if (!Model().RunControl.SpeedCommandPending) QTest::mouseClick(slower, Qt::LeftButton);
             return false;
           },
           [&] {
             const qint64 scheduledAt = clock.elapsed();
             QTimer::singleShot(100, form.get(), [&, scheduledAt] {
               lateness = clock.elapsed() - scheduledAt - 100;
               QTest::mouseClick(Find<QLabel>("manual_auto_select"), Qt::LeftButton);
             });
             return true;
           },
           [&] {
             if (lateness < 0) return false;
             EXPECT_LT(lateness, 50) << "a timer waited for the end of the pause";
             EXPECT_EQ(Find<QLabel>("manual_auto_select")->text(), "Manual");
             stopClickedAt = clock.elapsed();
             return true;
           },
           StopSimulation()});
  EXPECT_LT(clock.elapsed() - stopClickedAt, 300) << "the stop waited for the pause";
}

TEST_F(MainWindowTest, CloseRefusedKeepsTheRunAcceptedEndsItBeforeTheWindowGoes) {
  int64_t refusedAt = 0;
  bool visibleWhileRunEnds = false;
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             Model().RunControl.SleepMs = 0;
             prompter.Answers = {false};
             form->close();
             EXPECT_FALSE(Model().RunControl.StopRequested);
             refusedAt = Steps();
             return true;
           },
           [&] {
             if (Steps() < refusedAt + 10) return false;  // still running
             prompter.Answers = {true};
             form->close();  // no client connected: one question only
             visibleWhileRunEnds = form->isVisible();
             return true;
           }});
  EXPECT_EQ(prompter.Asked, (std::vector<QString>{"Are you Sure?", "Are you Sure?"}));
  EXPECT_TRUE(visibleWhileRunEnds) << "the window stays until the run has returned";
  EXPECT_TRUE(QTest::qWaitFor([this] { return !form->isVisible(); }, 2000));
}

TEST_F(MainWindowTest, ConnectedClientAsksOnceMoreBeforeClosing) {
  std::string endpoint, error;
  bool serving = false;
  for (int port = 5300; port < 5320 && !serving; ++port) {
    endpoint = "opc.tcp://127.0.0.1:" + std::to_string(port);
    serving = form->App().StartServer(endpoint, error);
  }
  ASSERT_TRUE(serving) << error;
  opcua::Client client;
  ASSERT_TRUE(client.Connect(endpoint, error)) << error;
  ASSERT_TRUE(QTest::qWaitFor([this] { return form->App().ClientsConnected(); }, 2000));

  const QString clientsQuestion =
      "Quorvanex OPC Server For Simulation is connected to client(s).\nDo you want to Exit?";
  prompter.Answers = {true, false};
  form->close();
  EXPECT_EQ(prompter.Asked, (std::vector<QString>{"Are you Sure?", clientsQuestion}));
  EXPECT_TRUE(form->isVisible());

  prompter.Answers = {true, true};
  form->close();
  EXPECT_FALSE(form->isVisible());
}

// The master link through the tool buttons, against a real server standing
// in for the master: the connect button shows the link's state, the
// master's output becomes the set point and shows in the set-point edit.
TEST_F(MainWindowTest, MasterLinkFollowsTheMastersOutputAndShowsItsState) {
  LoopModel masterModel;
  std::string masterEndpoint;
  std::unique_ptr<COPCServer> master =
      ServeOnFreePort([&] { return std::make_unique<COPCServer>(masterModel, '.'); }, masterEndpoint);
  ASSERT_TRUE(master);
  masterModel.SingleLoop.OP = 45.5f;
  master->PublishItemValues(PanelSnapshot{});
  form->App().SetMasterEndpoint(masterEndpoint);

  auto* connect = Find<QToolButton>("MasterConnectToolButton");
  EXPECT_EQ(connect->toolTip(), "Connect to Master");
  QTest::mouseClick(Find<QToolButton>("OPCServerToolButton"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return connect->toolTip() == "Disconnect from Master"; }, 5000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->App().Model().SingleLoop.SP == 45.5f; }, 5000));
  EXPECT_EQ(form->App().Model().SingleLoop.SPNew, 45.5f);
  const QString separator(QChar(form->App().Panel().DecimalSeparator));
  EXPECT_EQ(Find<QLineEdit>("SingleSPNew")->text(), "45" + separator + "50");

  QTest::mouseClick(connect, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return connect->toolTip() == "Connect to Master"; }, 5000));
  EXPECT_TRUE(prompter.Messages.empty());
}

// "Open Case File" and "Save" with their dialogs answered: the chosen
// file's folder becomes the working directory, the caption names the file,
// and the saved file is written.
TEST_F(MainWindowTest, CaseOpenedAndSavedThroughTheDialogs) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString opened = folder.filePath("Copy.PID");
  ASSERT_TRUE(QFile::copy(QDir::current().filePath("TravekEX2.pid"), opened));
  const QString saved = folder.filePath("Saved.PID");
  prompter.OpenAnswers = {opened};
  prompter.SaveAnswers = {saved};

  RunWith([this] { form->OpenCaseFileClick(); },
          {[&] {
             if (!Running()) return false;
             EXPECT_EQ(form->windowTitle(), "Quorvanex OPC Server For Simulation SLAVE (Copy.PID)");
             EXPECT_EQ(QDir::current().canonicalPath(), QDir(folder.path()).canonicalPath());
             EXPECT_EQ(QDir(Find<QLineEdit>("CurrentDirectory")->text()).canonicalPath(),
                       QDir(folder.path()).canonicalPath());
             QTest::mouseClick(Find<QToolButton>("SaveCaseFile"), Qt::LeftButton);
             return true;
           },
           StopSimulation()});

  ASSERT_EQ(prompter.Dialogs.size(), 2u);
  EXPECT_EQ(prompter.Dialogs[0].Title, "Select PID Case File");
  EXPECT_EQ(prompter.Dialogs[0].Filters, QStringList{"PID Case File (*.pid)"});
  EXPECT_EQ(prompter.Dialogs[1].Title, "Save Case File As");
  EXPECT_EQ(prompter.Dialogs[1].DefaultSuffix, "PID");
  ASSERT_EQ(prompter.Messages.size(), 1u);
  EXPECT_EQ(prompter.Messages[0].Text, "File Saved Successfully");
  EXPECT_EQ(prompter.Messages[0].Icon, MessageIcon::None);
  EXPECT_TRUE(QFile::exists(saved));
}

// Status panels 1 to 3 keep their widths at any window width; panel 0
// takes the rest.
TEST_F(MainWindowTest, StatusPanelsKeepTheirWidths) {
  const int companyWidth = QFontMetrics(form->font()).horizontalAdvance("Quorvanex Solutions LLC") + 40;
  for (int width : {700, 1155, 1700}) {
    form->resize(width, 732);
    QTest::qWait(20);
    auto* bar = Find<QWidget>("StatusBar1");
    const int widths[] = {Find<QLabel>("StatusPanel0")->width(), Find<QLabel>("StatusPanel1")->width(),
                          Find<QLabel>("StatusPanel2")->width(), Find<QLabel>("StatusPanel3")->width()};
    EXPECT_EQ(widths[1], 100) << width;
    EXPECT_EQ(widths[2], 150) << width;
    EXPECT_EQ(widths[3], companyWidth) << width;
    EXPECT_GT(widths[0], bar->width() - 100 - 150 - companyWidth - 30) << width;
  }
}

TEST_F(MainWindowTest, HelpWithoutItsDocumentSaysSo) {
  QTemporaryDir folder;
  QDir::setCurrent(folder.path());
  QTest::mouseClick(Find<QToolButton>("Help"), Qt::LeftButton);
  ASSERT_EQ(prompter.Messages.size(), 1u);
  EXPECT_EQ(prompter.Messages[0].Text, "Help File Not Found: QxOPCServer Help.pdf");
}

// A failed allocation ends the event loop, and with it the program, with
// a failure code: scripts and service managers see that it did not end well.
TEST_F(MainWindowTest, AFatalAllocationFailureEndsTheEventLoopWithAFailureCode) {
  for (bool loopBuffers : {true, false}) {
    SCOPED_TRACE(loopBuffers ? "loop buffers" : "other buffers");
    prompter.Messages.clear();
    WindowHost host(form->App(), *form, prompter);
    QTimer::singleShot(0, [&] { host.FatalAllocationFailure(loopBuffers); });
    EXPECT_EQ(QCoreApplication::exec(), kFatalExitCode);
    EXPECT_EQ(prompter.Messages.size(), 1u);
  }
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
