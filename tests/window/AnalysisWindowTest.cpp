// The window's loop analysis driven as the operator drives it: the live
// indices under the charts, "Identify and Tune" on a stretch selected with
// Shift and a drag (a Manual output step of the starting case, a process of
// gain 1, dead time 5 and lag 20) with "Apply" typing the settings into the
// tuning edits, "Export Trends" and "Save Chart Image".
#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <qcustomplot.h>

#include "app/LoopAnalysis.h"
#include "app/StepHistory.h"
#include "app/StretchIdentification.h"
#include "app/TrendExport.h"
#include "tests/window/TestSettings.h"
#include "tests/window/WindowFixture.h"
#include "window/IdentifyDialog.h"
#include "window/charts/TrendCharts.h"

namespace qx::test {
namespace {

const QString kAbsent = QString::fromUtf8("\u2014");

class AnalysisWindowTest : public WindowTest {
 protected:
  QAction* Action(const char* name) { return Find<QAction>(name); }
  QString IndexText(const char* name) { return Find<QLabel>((QString("Index") + name).toUtf8().constData())->text(); }
  void ShiftDrag(QCustomPlot* chart, double fromTime, double toTime) {
    const int y = chart->axisRect()->rect().center().y();
    const QPoint from(static_cast<int>(chart->xAxis->coordToPixel(fromTime)), y);
    const QPoint to(static_cast<int>(chart->xAxis->coordToPixel(toTime)), y);
    QTest::mousePress(chart, Qt::LeftButton, Qt::ShiftModifier, from);
    QTest::mouseMove(chart, to);
    QTest::mouseRelease(chart, Qt::LeftButton, Qt::ShiftModifier, to);
  }
};

TEST_F(AnalysisWindowTest, IndicesShowDashesUntilDefinedAndFollowTheRun) {
  for (const char* name : {"IAE", "Overshoot", "DecayRatio"}) EXPECT_TRUE(IndexText(name).contains(kAbsent)) << name;
  QString iaeEarly;
  int64_t raisedAt = 0;
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             Model().RunControl.SleepMs = 1;
             return Steps() >= 20;
           },
           [&] {
             // The refresh comes a few times a second, not at every step.
             if (IndexText("IAE").contains(kAbsent)) return false;
             EXPECT_TRUE(IndexText("Overshoot").contains(kAbsent)) << "no set-point change yet";
             EXPECT_TRUE(IndexText("RiseTime").contains(kAbsent));
             iaeEarly = IndexText("IAE");
             for (int i = 0; i < 5; ++i) QTest::mouseClick(Find<QToolButton>("SingleSPNewUpDownCSpinButtonUp"), Qt::LeftButton);
             raisedAt = Steps();
             return true;
           },
           [&] {
             // Long enough for the loop to rise past its new set point.
             if (Steps() < raisedAt + 200) return false;
             form->IndicesTimerTimer();
             const QRegularExpression number("<b>\\d+(\\.\\d+)?( %)?</b>");
             for (const char* name : {"IAE", "ISE", "ITAE", "Overshoot", "RiseTime", "OPTravel"})
               EXPECT_TRUE(number.match(IndexText(name)).hasMatch()) << name << ": " << IndexText(name).toStdString();
             EXPECT_TRUE(IndexText("Overshoot").endsWith(" %</b>"));
             EXPECT_NE(IndexText("IAE"), iaeEarly);
             // The window began at the set-point change.
             const QRegularExpressionMatch since =
                 QRegularExpression("^From t = ([\\d.]+) \\(time (\\d+)\\):$").match(Find<QLabel>("IndexWindowStart")->text());
             EXPECT_TRUE(since.hasMatch()) << Find<QLabel>("IndexWindowStart")->text().toStdString();
             EXPECT_NEAR(since.captured(1).toDouble(), raisedAt * 0.5, 2.0);
             // Before the window compacts, the charts' time is the clock.
             EXPECT_NEAR(since.captured(2).toDouble(), raisedAt * 0.5, 2.0);
             return true;
           },
           StopSimulation()});
}

TEST_F(AnalysisWindowTest, IdentifyOnAManualOutputStepFindsTheProcessAndApplyTunesTheRunningLoop) {
  EXPECT_FALSE(Action("IdentifyAndTune")->isEnabled()) << "no trends before a run";
  double stepTime = 0;
  int64_t stepAt = 0;
  analysis::FormSettings applied;
  int64_t appliedAt = 0;
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             Model().RunControl.SleepMs = 1;
             return Steps() >= 20;
           },
           [&] {
             QTest::mouseClick(Find<QLabel>("manual_auto_select"), Qt::LeftButton);
             EXPECT_EQ(Model().RunControl.SingleAutoState, 0);
             for (int i = 0; i < 10; ++i) QTest::mouseClick(Find<QToolButton>("SingleOPNewUpDownCSpinButtonUp"), Qt::LeftButton);
             auto* op = Find<QLineEdit>("SingleOPNew");
             op->setFocus();
             QTest::keyClick(op, Qt::Key_Return);
             stepTime = form->App().Sim().Run.t;
             stepAt = Steps();
             return true;
           },
           [&] {
             if (Steps() < stepAt + 240) return false;  // 120 time units: six lags after the dead time
             QCustomPlot* chart = form->Charts()->Chart1();
             ShiftDrag(chart, stepTime - 10, form->App().Sim().Run.t - 2);
             EXPECT_TRUE(form->Charts()->Stretch());
             QTest::keyClick(form.get(), Qt::Key_I, Qt::ControlModifier);
             IdentifyDialog* dialog = form->Identification();
             if (!dialog) {
               ADD_FAILURE() << "Ctrl+I showed no dialog";
               return true;
             }
             EXPECT_TRUE(dialog->isVisible());
             const StretchAnalysis& a = *dialog->Analysis();
             EXPECT_NEAR(a.From(), stepTime - 10, 1);
             EXPECT_TRUE(a.Ok()) << a.Identification().Message;
             if (!a.Ok()) return true;
             const analysis::FittedModel& m = a.Identification().Models[a.Chosen()];
             EXPECT_EQ(m.Kind, analysis::ModelKind::FirstOrder);
             EXPECT_NEAR(m.Gain, Model().ProcessModel.Gain, 0.02 * Model().ProcessModel.Gain);
             EXPECT_NEAR(m.DeadTime, Model().ProcessModel.Delay, 0.1);
             EXPECT_NEAR(m.Tau1, 20, 0.4);
             auto* models = Find<QTableWidget>("ModelTable");
             EXPECT_EQ(models->item(0, 0)->text(), analysis::ModelKindName(m.Kind));
             EXPECT_EQ(models->item(0, 6)->text(), QString::fromUtf8("\u2713"));

             // The fitted response lies on the PV it was fitted to.
             EXPECT_TRUE(form->Charts()->FittedResponseShown());
             const QCPGraph* fitted = chart->findChild<QCPGraph*>("FittedPV");
             if (!fitted) {
               ADD_FAILURE() << "no FittedPV graph on Chart1";
               return true;
             }
             EXPECT_EQ(fitted->dataCount(), static_cast<int>(a.Steps()));
             const std::vector<ChartSample> pv = form->Charts()->Samples(form->Charts()->Stretch());
             const double span = Model().SingleLoop.CVHigh - Model().SingleLoop.CVLow;
             for (std::size_t i : {std::size_t{0}, pv.size() / 2, pv.size() - 1}) {
               const auto point = fitted->data()->findBegin(pv[i].Time, false);
               EXPECT_EQ(point->key, pv[i].Time);
               EXPECT_NEAR(point->value, pv[i].PV, 0.002 * span) << pv[i].Time;
             }

             // SIMC, the first rule, with tau_c defaulting to the dead time.
             EXPECT_DOUBLE_EQ(Find<QDoubleSpinBox>("ClosedLoopTime")->value(), m.DeadTime);
             const RuleSuggestion simc = a.Suggestions().front();
             EXPECT_EQ(simc.Tuning.Rule, analysis::TuningRule::Simc);
             EXPECT_EQ(Find<QTableWidget>("RuleTable")->item(0, 1)->text(),
                       QString::fromStdString(TypedSetting(simc.Settings.P, 8)));
             // A slower closed loop asked for: SIMC's gain drops, lambda stays.
             const double lambdaBefore = Find<QDoubleSpinBox>("Lambda")->value();
             Find<QDoubleSpinBox>("ClosedLoopTime")->setValue(2 * m.DeadTime);
             const RuleSuggestion slower = a.Suggestions().front();
             EXPECT_DOUBLE_EQ(slower.Tuning.Knob, 2 * m.DeadTime);
             EXPECT_LT(slower.Settings.P, simc.Settings.P);
             EXPECT_EQ(Find<QTableWidget>("RuleTable")->item(0, 1)->text(),
                       QString::fromStdString(TypedSetting(slower.Settings.P, 8)));
             EXPECT_EQ(Find<QDoubleSpinBox>("Lambda")->value(), lambdaBefore);
             applied = slower.Settings;
             QTest::mouseClick(Find<QPushButton>("IdentifyApply"), Qt::LeftButton);
             EXPECT_TRUE(Model().RunControl.ChangesPending) << "Enter was pressed";
             EXPECT_EQ(Find<QLineEdit>("PSingle")->text(), QString::fromStdString(TypedSetting(applied.P, 8)));
             EXPECT_EQ(Find<QLineEdit>("ISingle")->text(), QString::fromStdString(TypedSetting(applied.I, 8)));
             appliedAt = Steps();
             return true;
           },
           [&] {
             if (Steps() < appliedAt + 2) return false;
             EXPECT_NEAR(Model().SingleLoop.P, applied.P, 1e-4 * applied.P + 1e-4);
             EXPECT_NEAR(Model().SingleLoop.I, applied.I, 1e-4 * applied.I + 1e-4);
             EXPECT_NEAR(Model().SingleLoop.D, applied.D, 1e-4);
             // Escape in the main window drops the stretch, and closing the
             // dialog the curve.
             QApplication::setActiveWindow(form.get());
             QTest::keyClick(form.get(), Qt::Key_Escape);
             EXPECT_FALSE(form->Charts()->Stretch());
             form->Identification()->close();
             EXPECT_FALSE(form->Charts()->FittedResponseShown());
             return true;
           },
           StopSimulation()});
}

// A bump test identified where the trends no longer start at the run's
// start: after the window has compacted once, after several compactions and
// across the wrap of the run's clock. The stretch is chosen on the charts,
// from the output step the charts show, as an operator would choose it; the
// fit must find the case's own process (gain 1, dead time 5, lag 20).
TEST_F(AnalysisWindowTest, IdentifyFindsTheProcessAfterCompactionsAndAcrossTheClocksWrap) {
  struct Case {
    const char* name;
    int64_t bumpAtStep;  // the run goes fast until here, then at a person's pace
  };
  constexpr int64_t kPacedApproachSteps = 1000;
  // The starting case's window of 400 time units compacts at step 799 and
  // then every 400 steps; the clock wraps after step 50090. The wrap case
  // bumps 12 steps after it, so that the stretch (from 10 time units before
  // the bump) spans the wrap: a bump before it would meet the plant's dead
  // time starting again with the clock (PV at its initial value for one
  // dead time), which no first-order fit takes for the process.
  constexpr int64_t kWrapStep = 50091;
  const Case cases[] = {{"after one compaction", 900}, {"after several compactions", 2500},
                        {"across the clock's wrap", kWrapStep + 12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int64_t bumpedAt = 0;
    double outputBefore = 0;
    double bumpClock = 0;
    int64_t compactions = 0;
    TimeSpan stretchBefore;
    RunWith([this] { form->NewCaseFileClick(); },
            {[&] {
               // Full speed until shortly before the bump, then a person's
               // pace: the script looks every 5 ms, in which a full-speed
               // run goes a few hundred steps, enough to pass the clock's
               // wrap 60 steps after the bump.
               Model().RunControl.SleepMs = Steps() < c.bumpAtStep - kPacedApproachSteps ? 0 : 1;
               if (Steps() < c.bumpAtStep) return false;
               QTest::mouseClick(Find<QLabel>("manual_auto_select"), Qt::LeftButton);
               outputBefore = Model().SingleLoop.OPOut;
               for (int i = 0; i < 10; ++i)
                 QTest::mouseClick(Find<QToolButton>("SingleOPNewUpDownCSpinButtonUp"), Qt::LeftButton);
               auto* op = Find<QLineEdit>("SingleOPNew");
               op->setFocus();
               QTest::keyClick(op, Qt::Key_Return);
               bumpedAt = Steps();
               bumpClock = form->App().Sim().Run.t;
               return true;
             },
             [&] {
               if (Steps() < bumpedAt + 240) return false;  // six lags after the dead time
               // Shortly before the window next compacts, so most of the
               // stretch is still shown after it.
               if (form->App().Sim().Run.SampleCount < 370) return false;
               // The output step where the charts show it: from the first
               // sample the output has left its old value (the clicks may
               // act over a few steps).
               const std::vector<ChartSample> shown = form->Charts()->Samples();
               const double mvHigh = Model().SingleLoop.MVHigh;
               auto step = std::find_if(shown.begin(), shown.end(), [&](const ChartSample& s) {
                 return s.Output * 100 / mvHigh > outputBefore + 0.05;
               });
               if (step == shown.end() || step - shown.begin() < 20) {
                 ADD_FAILURE() << "the charts show no output step with room before it";
                 return true;
               }
               ShiftDrag(form->Charts()->Chart1(), step->Time - 10, shown.back().Time - 2);
               form->IdentifyAndTuneClick();
               const StretchAnalysis& a = *form->Identification()->Analysis();
               EXPECT_TRUE(a.Ok()) << a.Identification().Message;
               if (!a.Ok()) return true;
               const analysis::FittedModel& m = a.Identification().Models[a.Chosen()];
               EXPECT_NEAR(m.Gain, Model().ProcessModel.Gain, 0.03 * Model().ProcessModel.Gain);
               EXPECT_NEAR(m.DeadTime, Model().ProcessModel.Delay, 0.03 * Model().ProcessModel.Delay + 0.5);
               EXPECT_NEAR(m.Tau1, Model().ProcessModel.Tau1, 0.03 * Model().ProcessModel.Tau1);
               // The run's clock of the sample showing the step is when the
               // operator made it, whatever the charts' time says.
               EXPECT_NEAR(step->Clock, bumpClock, 1.5);
               EXPECT_TRUE(Find<QLabel>("IdentifyStretch")->text().contains("run clock t = "));
               compactions = form->Charts()->Shown().Compactions();
               stretchBefore = *form->Charts()->Stretch();
               return true;
             },
             [&] {
               // The next compaction moves the traces left; the band and
               // the dashed curve move with them, on the same steps. (At a
               // person's pace: a second compaction would drop the stretch.)
               form->Charts()->FlushPaint();
               if (form->Charts()->Shown().Compactions() == compactions) return false;
               const std::optional<TimeSpan> band = form->Charts()->Stretch();
               EXPECT_TRUE(band);
               if (band) {
                 EXPECT_LT(band->To, stretchBefore.To - 10);
               }
               const QCPGraph* fitted = form->Charts()->Chart1()->findChild<QCPGraph*>("FittedPV");
               const std::vector<ChartSample> pv = form->Charts()->Samples(band);
               const double span = Model().SingleLoop.CVHigh - Model().SingleLoop.CVLow;
               EXPECT_GT(pv.size(), 100u);
               for (std::size_t i = 0; i < pv.size(); i += 25) {
                 const auto point = fitted->data()->findBegin(pv[i].Time, false);
                 if (point == fitted->data()->constEnd()) continue;
                 EXPECT_EQ(point->key, pv[i].Time);
                 EXPECT_NEAR(point->value, pv[i].PV, 0.005 * span) << pv[i].Time;
               }
               form->Identification()->close();
               return true;
             },
             StopSimulation()},
            60000);
  }
}

// Freeze holds the trend display while the run goes on, and Identify and
// Export work on what is shown, also once the run's step history has moved
// far past it; the cursor line reads the shown sample under the mouse; the
// faceplate shows the loop's values.
TEST_F(AnalysisWindowTest, FrozenTrendsStayForIdentifyAndExportAndTheCursorLineReadsThem) {
  QTemporaryDir folder;
  const QString csv = folder.filePath("frozen.csv");
  prompter.SaveAnswers = {csv};
  std::vector<ChartSample> frozen;
  int64_t frozenAt = 0;
  int64_t bumpedAt = 0;
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             Model().RunControl.SleepMs = 1;
             if (Steps() < 40) return false;
             QTest::mouseClick(Find<QLabel>("manual_auto_select"), Qt::LeftButton);
             for (int i = 0; i < 10; ++i)
               QTest::mouseClick(Find<QToolButton>("SingleOPNewUpDownCSpinButtonUp"), Qt::LeftButton);
             auto* op = Find<QLineEdit>("SingleOPNew");
             op->setFocus();
             QTest::keyClick(op, Qt::Key_Return);
             bumpedAt = Steps();
             return true;
           },
           [&] {
             if (Steps() < bumpedAt + 240) return false;
             QTest::keyClick(form.get(), Qt::Key_F9);
             EXPECT_TRUE(form->Charts()->Frozen());
             frozen = form->Charts()->Samples();
             frozenAt = Steps();
             // Far on: the history of steps no longer holds the frozen ones.
             Model().RunControl.SleepMs = 0;
             return true;
           },
           [&] {
             if (Steps() < frozenAt + 60000) return false;
             Model().RunControl.SleepMs = 1;
             const std::vector<ChartSample> now = form->Charts()->Samples();
             EXPECT_EQ(now.size(), frozen.size());
             if (!now.empty() && !frozen.empty()) {
               EXPECT_EQ(now.back().Step, frozen.back().Step);
             }
             form->Charts()->ClearStretch();
             form->IdentifyAndTuneClick();
             const StretchAnalysis& a = *form->Identification()->Analysis();
             EXPECT_TRUE(a.Ok()) << a.Identification().Message;
             if (a.Ok()) {
               EXPECT_NEAR(a.Identification().Models[a.Chosen()].Tau1, Model().ProcessModel.Tau1, 0.6);
             }
             form->Identification()->close();
             QTest::keyClick(form.get(), Qt::Key_E, Qt::ControlModifier);

             // The cursor line over the middle sample of Chart1.
             QTest::keyClick(form.get(), Qt::Key_L, Qt::ControlModifier);
             EXPECT_TRUE(form->Charts()->CursorLineOn());
             const ChartSample& middle = frozen[frozen.size() / 2];
             QCustomPlot* chart = form->Charts()->Chart1();
             const QPoint at(qRound(chart->xAxis->coordToPixel(middle.Time)),
                             chart->axisRect()->rect().center().y());
             QTest::mouseMove(chart, at);
             const QString text = form->Charts()->CursorLineText();
             EXPECT_TRUE(text.startsWith(QString("t = %1 ").arg(middle.Clock))) << text.toStdString();
             EXPECT_TRUE(text.contains(QString("PV %1").arg(middle.PV, 0, 'f', 2))) << text.toStdString();
             // (The offscreen platform keeps the closed dialog active, so
             // the window's keys are triggered as its actions from here.)
             Action("CursorLine")->trigger();
             EXPECT_FALSE(form->Charts()->CursorLineOn());
             QTest::mouseMove(chart, QPoint(1, 1));  // off the plot
             QMouseEvent off(QEvent::MouseMove, QPointF(1, 1), chart->mapToGlobal(QPointF(1, 1)), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
             QApplication::sendEvent(chart, &off);
             EXPECT_TRUE(form->Charts()->CursorLineText().isEmpty());

             // Thawed, the live trends show again.
             Action("FreezeTrends")->trigger();
             EXPECT_FALSE(form->Charts()->Frozen());
             const std::vector<ChartSample> live = form->Charts()->Samples();
             EXPECT_GT(live.back().Step, frozen.back().Step + 50000);
             form->IndicesTimerTimer();
             EXPECT_EQ(Find<QLabel>("FaceplatePV")->text(),
                       QString::number(Model().SingleLoop.PV, 'f', 2));
             EXPECT_EQ(Find<QLabel>("FaceplateMode")->text(), "Manual");
             return true;
           },
           StopSimulation()},
          60000);

  QFile file(csv);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), static_cast<qsizetype>(frozen.size() + 1));
  EXPECT_EQ(lines.back().split(',')[1].toDouble(), frozen.back().Clock);
}

// Identification that cannot be done says why in the dialog: the whole
// trend window with the loop at rest, and a stretch of a few steps.
TEST_F(AnalysisWindowTest, IdentifyThatCannotFitSaysWhyInTheDialog) {
  struct Case {
    std::optional<TimeSpan> stretch;
    const char* why;
  };
  const Case cases[] = {{std::nullopt, "a bump test needs at least one output step"},
                        {TimeSpan{10, 14}, "at least 20 are needed"}};
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             Model().RunControl.SleepMs = 1;
             if (Steps() < 60) return false;
             for (const Case& c : cases) {
               if (c.stretch)
                 form->Charts()->SelectStretch(*c.stretch);
               else
                 form->Charts()->ClearStretch();
               form->IdentifyAndTuneClick();
               EXPECT_FALSE(form->Identification()->Analysis()->Ok());
               auto* error = Find<QLabel>("IdentifyError");
               EXPECT_TRUE(error->isVisible());
               EXPECT_TRUE(error->text().contains(c.why)) << error->text().toStdString();
               EXPECT_EQ(Find<QTableWidget>("ModelTable")->rowCount(), 0);
               EXPECT_FALSE(Find<QPushButton>("IdentifyApply")->isEnabled());
               EXPECT_FALSE(form->Charts()->FittedResponseShown());
             }
             return true;
           },
           StopSimulation()});
}

TEST_F(AnalysisWindowTest, ExportTrendsAndSaveChartImageWriteTheTrendWindow) {
  QTemporaryDir folder;
  const QString csv = folder.filePath("trends.csv");
  const QString png = folder.filePath("charts.png");
  const QString nowhere = folder.filePath("missing/trends.csv");
  prompter.SaveAnswers = {csv, nowhere, png, folder.filePath("missing/charts.png")};
  std::vector<ChartSample> shown;
  QSize chartsSize;
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             Model().RunControl.SleepMs = 1;
             if (Steps() < 100) return false;
             // The keys work from an edit the operator has just typed into.
             auto* p = Find<QLineEdit>("PSingle");
             p->setFocus();
             QTest::keyClick(p, Qt::Key_E, Qt::ControlModifier);
             shown = form->Charts()->Samples();
             QTest::keyClick(form.get(), Qt::Key_E, Qt::ControlModifier);
             QTest::keyClick(form.get(), Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier);
             chartsSize = form->Charts()->size();
             QTest::keyClick(form.get(), Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier);
             return true;
           },
           StopSimulation()});

  ASSERT_EQ(prompter.Dialogs.size(), 4u);
  EXPECT_EQ(prompter.Dialogs[0].Title, "Export Trends");
  EXPECT_EQ(prompter.Dialogs[0].DefaultSuffix, "csv");
  EXPECT_EQ(prompter.Dialogs[2].Title, "Save Chart Image");

  QFile file(csv);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_GT(shown.size(), 40u);
  ASSERT_EQ(lines.size(), static_cast<qsizetype>(shown.size() + 1));
  EXPECT_EQ(lines[0], "time,t,SP,PV,OP");
  const QStringList last = lines.back().split(',');
  ASSERT_EQ(last.size(), 5);
  EXPECT_EQ(last[0].toDouble(), shown.back().Time);
  EXPECT_EQ(last[1].toDouble(), shown.back().Clock);
  EXPECT_FLOAT_EQ(last[3].toFloat(), static_cast<float>(shown.back().PV));
  EXPECT_FLOAT_EQ(last[4].toFloat(), static_cast<float>(shown.back().Output * 100 / Model().SingleLoop.MVHigh));

  QImageReader image(png);
  EXPECT_EQ(image.format(), "png");
  EXPECT_EQ(image.size(), chartsSize * form->Charts()->devicePixelRatio());

  // The two writes into a missing folder, each reported with its path.
  ASSERT_EQ(prompter.Messages.size(), 2u);
  for (const auto& shownBox : prompter.Messages) {
    EXPECT_EQ(shownBox.Title, "Quorvanex OPC Server");
    EXPECT_EQ(shownBox.Icon, MessageIcon::Error);
    EXPECT_TRUE(shownBox.Text.startsWith("Cannot write " + folder.filePath("missing/"))) << shownBox.Text.toStdString();
  }
  EXPECT_TRUE(prompter.Messages[0].Text.endsWith("No such file or directory"));
}

// The text an operator types for a setting fits the edit.
TEST(TypedSetting, KeepsAsManyDecimalsAsFitTheEdit) {
  struct Case {
    double value;
    std::size_t length;
    const char* text;
  };
  for (const Case& c : {Case{2.0, 8, "2"}, Case{20.123456, 8, "20.1235"}, Case{0.5, 8, "0.5"},
                        Case{12345.678, 8, "12345.68"}, Case{1234567.8, 8, "1234568"},
                        Case{123456789.0, 8, "123456789"}, Case{0.00001, 8, "0"}, Case{3.14159, 4, "3.14"}})
    EXPECT_EQ(TypedSetting(c.value, c.length), c.text) << c.value;
}

// The history keeps the newest steps, each under the number of the step
// whose trend sample shows it (the one after it), at times that count from
// the run's start and so do not wrap with the clock.
TEST(StepHistory, KeepsTheNewestStepsUnderTheStepsThatShowThem) {
  StepHistory history(4);
  PIDLoop loop;
  for (int k = 0; k < 6; ++k) {
    loop.PV = static_cast<float>(k);
    loop.OPOut = static_cast<float>(10 * k);
    history.StepComputed(loop, k);
  }
  EXPECT_EQ(history.Size(), 4u);
  const std::vector<analysis::LoopSample> all = history.Between({0, 100});
  ASSERT_EQ(all.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(all[i].t, 0.5 * (i + 3));
    EXPECT_EQ(all[i].PV, i + 2);
    EXPECT_EQ(all[i].OP, 10 * (i + 2));
  }
  const std::vector<analysis::LoopSample> two = history.Between({4, 5});
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].PV, 3);
  EXPECT_TRUE(history.Between({7, 9}).empty()) << "not computed yet";
  history.Clear();
  EXPECT_TRUE(history.Between({0, 100}).empty());
}

}  // namespace
}  // namespace qx::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  qx::test::KeepTestSettingsApart("analysis_window_tests");
  return RUN_ALL_TESTS();
}
