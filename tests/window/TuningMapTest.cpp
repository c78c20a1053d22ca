// "Tuning Map" during a run of the starting case: the grid's defaults from
// the running loop's P and I, bad grids refused naming the field, a small
// map that equals the sweep library's rows for the same case and grid, a
// click on a cell that tunes the running loop, and Cancel that stops the
// workers.
#include <dirent.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "app/StretchIdentification.h"
#include "app/SweepRun.h"
#include "tests/window/TestSettings.h"
#include "tests/window/WindowFixture.h"
#include "window/TuningMapDialog.h"
#include "window/TuningMapView.h"

namespace qx::test {
namespace {

// The threads of this process.
int ThreadCount() {
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return -1;
  int count = 0;
  while (const dirent* entry = readdir(tasks))
    if (entry->d_name[0] != '.') ++count;
  closedir(tasks);
  return count;
}

class TuningMapTest : public WindowTest {
 protected:
  TuningMapDialog* Open() {
    Find<QAction>("TuningMap")->trigger();
    return form->TuningMap();
  }
  QLineEdit* Edit(const char* name) { return form->TuningMap()->findChild<QLineEdit*>(name); }
  void Type(const char* name, const QString& text) { Edit(name)->setText(text); }
  QString Status() { return form->TuningMap()->findChild<QLabel*>("MapStatus")->text(); }
  void ClickCompute() { QTest::mouseClick(form->TuningMap()->findChild<QPushButton*>("MapCompute"), Qt::LeftButton); }
  // Starts the starting case and lets it run fast.
  ScriptStep Started() {
    return [this] {
      Model().RunControl.SleepMs = 1;
      return Steps() >= 20;
    };
  }
};

TEST_F(TuningMapTest, TheGridDefaultsAroundTheRunningSettingsAndBadGridsAreRefusedNamingTheField) {
  RunWith([this] { form->NewCaseFileClick(); },
          {Started(),
           [&] {
             const double p = LoadShared(Model().SingleLoop.P), i = LoadShared(Model().SingleLoop.I);
             TuningMapDialog* dialog = Open();
             EXPECT_TRUE(dialog->isVisible());
             EXPECT_FALSE(dialog->isModal());
             EXPECT_DOUBLE_EQ(Edit("MapPLow")->text().toDouble(), p * 0.5);
             EXPECT_DOUBLE_EQ(Edit("MapPHigh")->text().toDouble(), p * 1.5);
             EXPECT_EQ(Edit("MapPCount")->text(), "15");
             EXPECT_DOUBLE_EQ(Edit("MapILow")->text().toDouble(), i * 0.5);
             EXPECT_DOUBLE_EQ(Edit("MapIHigh")->text().toDouble(), i * 1.5);
             EXPECT_EQ(Edit("MapICount")->text(), "15");
             EXPECT_FALSE(Edit("MapDLow")->isEnabled()) << "D is swept only when asked for";

             const struct {
               const char* Field;
               const char* Text;
               const char* Message;
             } bad[] = {{"MapPCount", "0", "P values: '0'"},
                        {"MapILow", "abc", "I from: 'abc' is not a number"},
                        {"MapPLow", "1e9", "P from: 1e9 is above to"}};
             for (const auto& b : bad) {
               const QString kept = Edit(b.Field)->text();
               Type(b.Field, b.Text);
               ClickCompute();
               EXPECT_FALSE(dialog->Computing()) << b.Field;
               EXPECT_TRUE(Status().startsWith(b.Message)) << Status().toStdString();
               Type(b.Field, kept);
             }
             dialog->close();
             return true;
           },
           StopSimulation()});
}

TEST_F(TuningMapTest, ASmallMapEqualsTheSweepLibrarysRowsAndAClickTunesTheRunningLoop) {
  TuningMapDialog* dialog = nullptr;
  sweep::SweepTable shown;
  double clickedP = 0, clickedI = 0;
  int64_t clickedAt = 0;
  RunWith([this] { form->NewCaseFileClick(); },
          {Started(),
           [&] {
             dialog = Open();
             Type("MapPLow", "0.5");
             Type("MapPHigh", "2");
             Type("MapPCount", "3");
             Type("MapILow", "5");
             Type("MapIHigh", "40");
             Type("MapICount", "2");
             ClickCompute();
             EXPECT_TRUE(dialog->Computing());
             return true;
           },
           [&] { return !dialog->Computing(); },
           [&] {
             EXPECT_TRUE(Status().startsWith("Done: 6 points")) << Status().toStdString();
             EXPECT_NE(dialog->Map(), nullptr);
             EXPECT_EQ(dialog->Map()->IndexName, "IAE");
             const sweep::SweepTable* table = dialog->Table();
             EXPECT_NE(table, nullptr);
             if (table) shown = *table;
             // The index chosen in the combo box is what the map shows.
             dialog->findChild<QComboBox*>("MapIndex")->setCurrentText("ISE");
             EXPECT_EQ(dialog->Map()->IndexName, "ISE");
             // The running loop's P and I are marked where they lie.
             EXPECT_DOUBLE_EQ(dialog->Map()->CaseX, LoadShared(Model().SingleLoop.P));
             EXPECT_DOUBLE_EQ(dialog->Map()->CaseY, LoadShared(Model().SingleLoop.I));

             clickedP = dialog->Map()->X[2];
             clickedI = dialog->Map()->Y[1];
             TuningMapView* view = dialog->View();
             QTest::mouseClick(view, Qt::LeftButton, {}, view->CellCentre(2, 1));
             EXPECT_EQ(view->Chosen(), (std::pair{2, 1}));
             EXPECT_TRUE(Model().RunControl.ChangesPending) << "Enter was pressed";
             EXPECT_EQ(Find<QLineEdit>("PSingle")->text(), QString::fromStdString(TypedSetting(clickedP, 8)));
             EXPECT_EQ(Find<QLineEdit>("ISingle")->text(), QString::fromStdString(TypedSetting(clickedI, 8)));
             clickedAt = Steps();
             return true;
           },
           [&] {
             if (Steps() < clickedAt + 2) return false;
             EXPECT_NEAR(Model().SingleLoop.P, clickedP, 1e-4);
             EXPECT_NEAR(Model().SingleLoop.I, clickedI, 1e-4);
             return true;
           },
           StopSimulation()},
          60000);

  // The same case copy and grid through the sweep library on one thread.
  SweepRequest request;
  request.Run.CasePath = dialog->CaseCopyPath();
  request.Axes = shown.TheGrid.Axes();
  for (const char* name : {"SingleLoop.P", "SingleLoop.I"}) request.Fields.push_back(FindField(name));
  PreparedSweep library;
  std::string error;
  ASSERT_TRUE(PrepareSweep(request, library, error)) << error;
  const std::atomic<bool> never{false};
  const sweep::PoolResult pool = RunSweep(library, 0, library.Table.TheGrid.PointCount(), 1, never);
  EXPECT_TRUE(pool.FirstError.empty()) << pool.FirstError;
  EXPECT_EQ(sweep::TableText(shown), sweep::TableText(library.Table));
  EXPECT_EQ(shown.Rows.size(), 6u);
}

TEST_F(TuningMapTest, CancelStopsTheWorkersPromptlyAndKeepsNoMap) {
  TuningMapDialog* dialog = nullptr;
  int threadsBefore = 0;
  QElapsedTimer sinceCancel;
  RunWith([this] { form->NewCaseFileClick(); },
          {Started(),
           [&] {
             threadsBefore = ThreadCount();
             dialog = Open();
             Type("MapPCount", "100");
             Type("MapICount", "100");
             ClickCompute();
             EXPECT_TRUE(dialog->Computing());
             EXPECT_GT(ThreadCount(), threadsBefore);
             return true;
           },
           [&] {
             // Cancel while points are under way, after some are done.
             if (dialog->findChild<QProgressBar*>("MapProgress")->value() == 0) return false;
             QElapsedTimer clock;
             clock.start();
             QTest::mouseClick(dialog->findChild<QPushButton*>("MapCancel"), Qt::LeftButton);
             // The points under way stop at their next step.
             EXPECT_LT(clock.elapsed(), 1000);
             sinceCancel.start();
             EXPECT_FALSE(dialog->Computing());
             EXPECT_EQ(ThreadCount(), threadsBefore) << "every worker has ended";
             EXPECT_EQ(dialog->Table(), nullptr);
             EXPECT_EQ(dialog->Map(), nullptr);
             EXPECT_EQ(Status(), "Cancelled.");
             EXPECT_EQ(dialog->findChild<QProgressBar*>("MapProgress")->value(), 0);
             EXPECT_TRUE(dialog->findChild<QPushButton*>("MapCompute")->isEnabled());
             return true;
           },
           [&] {
             // The stopped computation's last progress and end, queued before
             // the cancel, change nothing.
             if (sinceCancel.elapsed() < 300) return false;
             EXPECT_EQ(dialog->Map(), nullptr);
             EXPECT_EQ(Status(), "Cancelled.");
             // Closing the dialog while a map computes cancels it too.
             ClickCompute();
             EXPECT_TRUE(dialog->Computing());
             dialog->close();
             EXPECT_FALSE(dialog->Computing());
             EXPECT_EQ(ThreadCount(), threadsBefore);
             return true;
           },
           StopSimulation()});
}

}  // namespace
}  // namespace qx::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  qx::test::KeepTestSettingsApart("tuning_map_tests");
  return RUN_ALL_TESTS();
}
