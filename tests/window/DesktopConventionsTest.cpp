// The window as a desktop program: its commands as actions shared by the
// tool bar and the menus with the platform's keys, their enabled states
// around a run, the keyboard reaching every input, the tooltips of the
// edits, and the settings kept between two starts (recent case files,
// geometry).
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <map>
#include <set>

#include "tests/window/TestSettings.h"
#include "tests/window/WindowFixture.h"
#include "window/ArrowPair.h"
#include "window/WindowSettings.h"

namespace qx::test {
namespace {

class DesktopTest : public WindowTest {
 protected:
  void SetUp() override {
    QSettings().clear();  // every test starts as a first start
    WindowTest::SetUp();
  }

  QAction* Action(const char* name) {
    auto* action = form->findChild<QAction*>(name);
    EXPECT_NE(action, nullptr) << "no action " << name;
    return action;
  }
  QMenu* Menu(const char* name) { return Find<QMenu>(name); }

  // The File menu's recent entries as shown, in order.
  QStringList RecentEntries() {
    QMenu* file = Menu("FileMenu");
    emit file->aboutToShow();
    QStringList shown;
    for (QAction* action : file->actions())
      if (action->objectName().startsWith("RecentCaseFile") && action->isVisible()) shown << action->text();
    return shown;
  }

  // A fresh window in place of the test's, as at the next start.
  void Restart() {
    form.reset();
    WindowTest::SetUp();
  }

  // Closes the window, answering "Are you Sure?" with Yes.
  void CloseWindow() {
    prompter.Answers = {true};
    form->close();
    ASSERT_FALSE(form->isVisible());
  }
};

// The commands that have a standard key carry the platform's binding of it.
struct StandardCommand {
  const char* action;
  QKeySequence::StandardKey key;
  const char* menu;
  const char* button;
};
const StandardCommand kStandardCommands[] = {
    {"NewCaseFileAction", QKeySequence::New, "FileMenu", "NewCaseFile"},
    {"OpenCaseFileAction", QKeySequence::Open, "FileMenu", "OpenCaseFile"},
    {"SaveCaseFileAction", QKeySequence::Save, "FileMenu", "SaveCaseFile"},
    {"ExitAction", QKeySequence::Quit, "FileMenu", "PIDTuningGuidelines"},
    {"HelpAction", QKeySequence::HelpContents, "HelpMenu", "Help"},
};

// Window-wide standard commands: a key of the window that matches one of
// them promises a command it does not perform.
const QKeySequence::StandardKey kWindowCommands[] = {
    QKeySequence::New,       QKeySequence::Open,    QKeySequence::Close,   QKeySequence::Save,
    QKeySequence::SaveAs,    QKeySequence::Quit,    QKeySequence::Print,   QKeySequence::Find,
    QKeySequence::HelpContents, QKeySequence::WhatsThis, QKeySequence::Preferences, QKeySequence::Refresh,
    QKeySequence::Undo,      QKeySequence::Redo,    QKeySequence::Cut,     QKeySequence::Copy,
    QKeySequence::Paste,     QKeySequence::SelectAll, QKeySequence::ZoomIn, QKeySequence::ZoomOut,
    QKeySequence::FullScreen, QKeySequence::AddTab,  QKeySequence::Back,    QKeySequence::Forward,
};

TEST_F(DesktopTest, CommandsAreSharedActionsWithTheStandardKeys) {
  for (const StandardCommand& c : kStandardCommands) {
    QAction* action = Action(c.action);
    ASSERT_NE(action, nullptr);
    // Quit has no binding in every key scheme: Ctrl+Q stands in.
    const QList<QKeySequence> standard = QKeySequence::keyBindings(c.key);
    EXPECT_EQ(action->shortcuts(), standard.isEmpty() && c.key == QKeySequence::Quit
                                       ? QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Q)}
                                       : standard)
        << c.action;
    EXPECT_FALSE(action->shortcut().isEmpty()) << c.action;
    EXPECT_TRUE(Menu(c.menu)->actions().contains(action)) << c.action << " not in " << c.menu;
    EXPECT_EQ(Find<QToolButton>(c.button)->defaultAction(), action) << c.button;
  }
  EXPECT_TRUE(Menu("HelpMenu")->actions().contains(Action("LoopDetailsAction")));
  // The tool bar's hints stay as they were.
  EXPECT_EQ(Find<QToolButton>("NewCaseFile")->toolTip(), "New Simulation");
  EXPECT_EQ(Find<QToolButton>("PIDTuningGuidelines")->toolTip(), "Exit");

  // No key serves two commands, and none takes a standard key for another.
  std::map<QString, QString> owners;
  std::map<QString, QKeySequence::StandardKey> intended;
  for (const StandardCommand& c : kStandardCommands) intended[c.action] = c.key;
  for (QAction* action : form->findChildren<QAction*>()) {
    for (const QKeySequence& keys : action->shortcuts()) {
      const QString text = keys.toString();
      EXPECT_TRUE(owners.emplace(text, action->objectName()).second)
          << text.toStdString() << " serves " << owners[text].toStdString() << " and "
          << action->objectName().toStdString();
      for (QKeySequence::StandardKey standard : kWindowCommands) {
        const auto mine = intended.find(action->objectName());
        if (mine != intended.end() && mine->second == standard) continue;
        EXPECT_FALSE(QKeySequence::keyBindings(standard).contains(keys))
            << action->objectName().toStdString() << " takes " << text.toStdString()
            << ", the standard key of another command (" << standard << ")";
      }
    }
  }
}

// One state per command, held by its action: the tool button and the menu
// entry follow it, and so do the keys.
TEST_F(DesktopTest, CommandStatesFollowTheRunAndTheKeysObeyThem) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString home = QDir::currentPath();
  QDir::setCurrent(folder.path());  // no help document here
  auto expectStates = [&](bool newOpen, bool save, const char* when) {
    EXPECT_EQ(Action("NewCaseFileAction")->isEnabled(), newOpen) << when;
    EXPECT_EQ(Action("OpenCaseFileAction")->isEnabled(), newOpen) << when;
    EXPECT_EQ(Action("SaveCaseFileAction")->isEnabled(), save) << when;
    EXPECT_EQ(Find<QToolButton>("NewCaseFile")->isEnabled(), newOpen) << when;
    EXPECT_EQ(Find<QToolButton>("SaveCaseFile")->isEnabled(), save) << when;
  };
  expectStates(true, false, "idle");

  // The splash holds every command, the keys included.
  form->Timer1Timer();
  EXPECT_FALSE(Action("OpenCaseFileAction")->isEnabled());
  EXPECT_FALSE(Action("HelpAction")->isEnabled());
  QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_TRUE(prompter.Dialogs.empty()) << "Ctrl+O acted during the splash";
  form->Timer2Timer();
  expectStates(true, false, "after the splash");

  // Idle: Ctrl+O opens the dialog (cancelled), F1 looks for the help.
  prompter.OpenAnswers = {std::nullopt};
  QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(prompter.Dialogs.size(), 1u);
  EXPECT_EQ(prompter.Dialogs[0].Title, "Select PID Case File");
  QTest::keyClick(form.get(), Qt::Key_F1);
  ASSERT_EQ(prompter.Messages.size(), 1u);
  EXPECT_EQ(prompter.Messages[0].Text, "Help File Not Found: QxOPCServer Help.pdf");
  // Ctrl+S does nothing without a case.
  QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(prompter.Dialogs.size(), 1u);

  QDir::setCurrent(home);  // the starting case is here
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             if (!Running()) return false;
             expectStates(false, true, "running");
             // Ctrl+N and Ctrl+O are held; Ctrl+S saves (cancelled).
             QTest::keyClick(form.get(), Qt::Key_N, Qt::ControlModifier);
             QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
             EXPECT_EQ(prompter.Dialogs.size(), 1u);
             EXPECT_TRUE(prompter.Asked.empty()) << "Ctrl+N stopped the run";
             prompter.SaveAnswers = {std::nullopt};
             QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
             EXPECT_EQ(prompter.Dialogs.size(), 2u);
             EXPECT_EQ(prompter.Dialogs.back().Title, "Save Case File As");
             // Stop answered No: the run goes on, Save is disabled.
             prompter.Answers = {false};
             QTest::mouseClick(Find<QPushButton>("cmd_exit"), Qt::LeftButton);
             expectStates(false, false, "after Stop answered No");
             QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
             EXPECT_EQ(prompter.Dialogs.size(), 2u) << "Ctrl+S saved while Save is disabled";
             // Ctrl+Q asks to close; No keeps the window and the run.
             prompter.Answers = {false};
             QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
             EXPECT_EQ(prompter.Asked.back(), "Are you Sure?");
             EXPECT_TRUE(form->isVisible());
             return true;
           },
           [&] { return Running(); },
           StopSimulation()});
  expectStates(true, false, "stopped");
}

// What an operator reaches with Tab: every input of the case layout, on
// every configuration page, in an order that follows the panels.
TEST_F(DesktopTest, TabReachesEveryInputWithAVisibleFocus) {
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             if (!Running()) return false;
             Model().RunControl.SleepMs = 0;
             auto* tabs = Find<QTabWidget>("SinglePIDPage");
             std::set<QWidget*> reached;
             std::vector<QWidget*> firstCycle;
             for (int page = 0; page < tabs->count(); ++page) {
               tabs->setCurrentIndex(page);
               QWidget* start = Find<QWidget>("PSingle");
               start->setFocus(Qt::TabFocusReason);
               if (page == 0) firstCycle.push_back(start);
               for (int presses = 0; presses < 300; ++presses) {
                 QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                 QWidget* now = QApplication::focusWidget();
                 if (page == 0 && std::find(firstCycle.begin(), firstCycle.end(), now) == firstCycle.end())
                   firstCycle.push_back(now);
                 reached.insert(now);
                 if (now == start) break;
               }
             }
             tabs->setCurrentIndex(0);
             // Every visible, enabled input of the window.
             std::vector<QWidget*> inputs;
             for (QLineEdit* edit : form->findChildren<QLineEdit*>())
               if (edit->isVisibleTo(form.get()) && edit->isEnabled() && edit->focusPolicy() != Qt::NoFocus)
                 inputs.push_back(edit);
             for (const char* name : {"manual_auto_select", "CascadeModeCheckBox", "cmd_exit", "UpDown1", "Normal",
                                      "ApplyChangesButton", "TrendScaleButton"})
               inputs.push_back(Find<QWidget>(name));
             inputs.push_back(tabs->tabBar());
             for (QWidget* input : inputs)
               EXPECT_TRUE(reached.count(input)) << "Tab never reaches " << input->objectName().toStdString();
             // The radio groups: one button of each is a stop.
             for (const char* group : {"PulseOnOff", "RampOnOff", "SineOnOff", "PulseRandomRegular",
                                       "SinglePIDEquation", "SinglePIDExePeriodRadioGroup",
                                       "SingleTrasnformRadioGroup"}) {
               bool any = false;
               for (QRadioButton* radio : Find<QWidget>(group)->findChildren<QRadioButton*>())
                 any = any || reached.count(radio);
               EXPECT_TRUE(any) << "Tab never reaches the group " << group;
             }
             // The order follows the panels: tuning, stop, models, speed,
             // signals, configuration, Apply, the bottom panel.
             const char* order[] = {"PSingle", "ISingle", "DSingle", "manual_auto_select", "SingleSPNew", "PVNoise",
                                    "cmd_exit", "Delay", "DisturbanceDeadTime", "UpDown1", "Normal", "PulseWidth",
                                    "SineAmplitude", "SingleCVLow", "ApplyChangesButton", "SimTime"};
             int last = -1;
             for (const char* name : order) {
               QWidget* widget = Find<QWidget>(name);
               const auto at = std::find(firstCycle.begin(), firstCycle.end(), widget);
               const int index = at == firstCycle.end() ? -1 : static_cast<int>(at - firstCycle.begin());
               EXPECT_GT(index, last) << name << " out of the tab order";
               last = std::max(last, index);
             }
             return true;
           },
           [&] {
             // The mode panel and the speed arrows show their focus and act
             // on their keys.
             for (const char* name : {"manual_auto_select", "UpDown1"}) {
               QWidget* widget = Find<QWidget>(name);
               Find<QWidget>("PSingle")->setFocus(Qt::TabFocusReason);
               const QImage unfocused = widget->grab().toImage();
               widget->setFocus(Qt::TabFocusReason);
               EXPECT_TRUE(widget->hasFocus()) << name;
               EXPECT_NE(widget->grab().toImage(), unfocused) << name << " shows no focus";
             }
             auto* mode = Find<QLabel>("manual_auto_select");
             mode->setFocus(Qt::TabFocusReason);
             QTest::keyClick(mode, Qt::Key_Space);
             EXPECT_EQ(mode->text(), "Manual");
             EXPECT_EQ(Model().RunControl.SingleAutoState, 0);
             QTest::keyClick(mode, Qt::Key_Return);
             EXPECT_EQ(mode->text(), "Auto");

             auto* speed = Find<QWidget>("UpDown1");
             speed->setFocus(Qt::TabFocusReason);
             Model().RunControl.SpeedCommandPending = false;
             QTest::keyClick(speed, Qt::Key_Right);
             EXPECT_TRUE(Model().RunControl.SpeedCommandPending);
             EXPECT_EQ(Model().RunControl.SpeedCommand, 1) << "Right is Faster";
             Model().RunControl.SpeedCommandPending = false;  // as if the step took it
             QTest::keyClick(speed, Qt::Key_Left);
             EXPECT_EQ(Model().RunControl.SpeedCommand, 3) << "Left is Slower";

             // Up and Down in the set-point edit press its spin buttons.
             auto* sp = Find<QLineEdit>("SingleSPNew");
             sp->setFocus(Qt::TabFocusReason);
             const float before = Model().SingleLoop.SPNew;
             QTest::keyClick(sp, Qt::Key_Up);
             EXPECT_FLOAT_EQ(Model().SingleLoop.SPNew, before + 1);
             QTest::keyClick(sp, Qt::Key_Down);
             EXPECT_FLOAT_EQ(Model().SingleLoop.SPNew, before);
             return true;
           },
           StopSimulation()});
}

// Each edit says what its value is, in which unit or range, and what
// applies it to a running loop.
TEST_F(DesktopTest, EditTooltipsGiveTheUnitAndWhatAppliesTheValue) {
  const QString enter = "Enter applies it";
  const QString apply = "\"Apply Changes\" applies it";
  const struct {
    const char* edit;
    const char* unit;
    const QString& keys;
  } tips[] = {
      {"PSingle", "proportional band", enter},     {"ISingle", "time units", enter},
      {"DSingle", "time units", enter},            {"FilterTimeConstant", "time units", enter},
      {"SingleSPNew", "CV range units", enter},    {"SingleOPNew", "%", enter},
      {"PVNoise", "% of the CV span", enter},      {"Delay", "time units", apply},
      {"Gain", "CV range units", apply},           {"TimeConstant1", "time units", apply},
      {"TimeConstant2", "time units", apply},      {"DisturbanceDeadTime", "time units", apply},
      {"DisturbanceGain", "CV range units", apply}, {"DisturbanceTimeConstant", "time units", apply},
      {"PulseWidth", "time units", apply},         {"PulseChange", "signal units", apply},
      {"RampRate", "per time unit", apply},        {"RampChange", "signal units", apply},
      {"SineFrequency", "radians per time unit", apply}, {"SineAmplitude", "signal units", apply},
      {"SingleCVLow", "engineering units", apply}, {"SingleCVHigh", "engineering units", apply},
      {"SingleMVLow", "engineering units", apply}, {"SingleMVHigh", "engineering units", apply},
      {"SinglePVSampleDelay", "time units", apply}, {"SingleGapGain", "Factor", apply},
      {"SingleGapGainLow", "CV range units", apply}, {"SingleGapGainHigh", "CV range units", apply},
      {"SingleInitialValveOpening", "0.01 to 99.99", apply}, {"SimTime", "200 to 1900", apply},
  };
  for (const auto& tip : tips) {
    const QString text = Find<QLineEdit>(tip.edit)->toolTip();
    EXPECT_TRUE(text.contains(tip.unit)) << tip.edit << ": " << text.toStdString();
    EXPECT_TRUE(text.contains(tip.keys)) << tip.edit << ": " << text.toStdString();
  }
  // The hints the window had keep their texts.
  EXPECT_EQ(Find<QWidget>("UpDown1")->toolTip(), "Decrease/ Increase Simulation Speed");
  EXPECT_EQ(Find<QWidget>("Normal")->toolTip(), "Normal Speed");
  EXPECT_EQ(Find<QWidget>("CurrentDirectory")->toolTip(), "Current Directory");
  EXPECT_EQ(Find<QWidget>("TrendScaleButton")->toolTip(), "Change Trends Scale");
}

// Case files opened and saved come back in the File menu at the next
// start, newest first, without the ones that went away, and one of them
// opens as from the dialog.
TEST_F(DesktopTest, RecentCaseFilesPersistAndReopen) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString starting = QDir::current().filePath("TravekEX2.pid");
  const QString first = folder.filePath("First.PID"), second = folder.filePath("Second.PID");
  for (const QString& copy : {first, second}) ASSERT_TRUE(QFile::copy(starting, copy));
  const QString saved = folder.filePath("Saved.PID");
  EXPECT_TRUE(RecentEntries().isEmpty());

  prompter.OpenAnswers = {first};
  RunWith([this] { form->OpenCaseFileClick(); }, {[this] { return Running(); }, StopSimulation()});
  prompter.OpenAnswers = {second};
  prompter.SaveAnswers = {saved};
  RunWith([this] { form->OpenCaseFileClick(); },
          {[this] {
             if (!Running()) return false;
             EXPECT_FALSE(Find<QAction>("RecentCaseFile1")->isEnabled()) << "like Open, held while running";
             QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
             return true;
           },
           StopSimulation()});
  EXPECT_EQ(RecentEntries(), (QStringList{"&1 Saved.PID", "&2 Second.PID", "&3 First.PID"}));
  EXPECT_TRUE(Find<QAction>("RecentCaseFile1")->isEnabled());

  CloseWindow();
  ASSERT_TRUE(QFile::remove(second));
  Restart();
  EXPECT_EQ(RecentEntries(), (QStringList{"&1 Saved.PID", "&2 First.PID"})) << "the missing file goes";

  // The entry opens its file as the dialog would: folder, caption, run.
  QDir::setCurrent(QDir::tempPath());
  RunWith([this] { Find<QAction>("RecentCaseFile2")->trigger(); },
          {[&] {
             if (!Running()) return false;
             EXPECT_EQ(form->windowTitle(), "Quorvanex OPC Server For Simulation SLAVE (First.PID)");
             EXPECT_EQ(QDir::current().canonicalPath(), QDir(folder.path()).canonicalPath());
             return true;
           },
           StopSimulation()});
  EXPECT_EQ(RecentEntries(), (QStringList{"&1 First.PID", "&2 Saved.PID"}));

  // The list is bounded; the newest stay.
  QStringList many;
  for (int i = 0; i < kRecentCaseFilesKept + 3; ++i) {
    many << folder.filePath(QString("Case%1.PID").arg(i));
    ASSERT_TRUE(QFile::copy(starting, many.back()));
    RememberCaseFile(many.back());
  }
  const QStringList kept = RecentCaseFiles();
  ASSERT_EQ(kept.size(), kRecentCaseFilesKept);
  EXPECT_EQ(QFileInfo(kept.front()).fileName(), QString("Case%1.PID").arg(kRecentCaseFilesKept + 2));
  EXPECT_EQ(RecentEntries().size(), kRecentCaseFilesKept);
}

// The window comes back at the size it was closed at, and maximised when it
// was closed maximised.
TEST_F(DesktopTest, GeometryIsRestoredAtTheNextStart) {
  form->showNormal();
  form->resize(1300, 900);
  ASSERT_TRUE(QTest::qWaitFor([this] { return form->size() == QSize(1300, 900); }, 2000));
  CloseWindow();
  Restart();
  EXPECT_EQ(form->size(), QSize(1300, 900));
  EXPECT_FALSE(form->isMaximized());

  form->showMaximized();
  ASSERT_TRUE(QTest::qWaitFor([this] { return form->isMaximized(); }, 2000));
  CloseWindow();
  Restart();
  EXPECT_TRUE(form->windowState() & Qt::WindowMaximized);
}

}  // namespace
}  // namespace qx::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // A desktop-sized screen, so that a restored geometry fits on it.
  QTemporaryDir screen;
  const QString config = screen.filePath("screen.json");
  QFile file(config);
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(R"({"screens": [{"name": "desktop", "x": 0, "y": 0, "width": 1920, "height": 1080,
                   "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})") < 0) {
    std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(config), qPrintable(file.errorString()));
    return 1;
  }
  file.close();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || qgetenv("QT_QPA_PLATFORM") == "offscreen")
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toLocal8Bit());
  QApplication application(argc, argv);
  qx::test::KeepTestSettingsApart("desktop_window_tests");
  return RUN_ALL_TESTS();
}
