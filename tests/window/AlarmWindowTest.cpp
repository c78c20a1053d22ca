// The alarms in the window as the operator meets them: the banner under the
// trends shows an alarm of the running loop, blinking until it is
// acknowledged with the Acknowledge button or with Ctrl+K; the limits
// dialog refuses a value its field cannot take.
#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QToolButton>

#include "persistence/ConfigurationFile.h"
#include "tests/window/TestSettings.h"
#include "tests/window/WindowFixture.h"
#include "window/AlarmBanner.h"
#include "window/AlarmLimitsDialog.h"

namespace qx::test {
namespace {

class AlarmWindowTest : public WindowTest {
 protected:
  const AlarmStatus& Level() { return form->App().Alarms().Status(AlarmKind::Level); }
  QLabel* Row(int i) { return Find<QLabel>(QString("AlarmRow%1").arg(i).toUtf8().constData()); }
  // A high limit under the starting case's PV of 50: the level alarm goes
  // active at the next step.
  ScriptStep RaiseHighAlarm() {
    return [this] {
      AlarmLimits limits;
      limits.High = 45;
      EXPECT_TRUE(form->App().SetAlarmLimits(limits).empty());
      return true;
    };
  }
  // Waits for the banner's refresh to show the unacknowledged alarm.
  ScriptStep BannerShowsUnacked() {
    return [this] {
      if (!Level().Active || !Row(0)->isVisible()) return false;
      EXPECT_TRUE(Row(0)->text().contains("PV high: 50 > 45")) << Row(0)->text().toStdString();
      EXPECT_TRUE(Row(0)->text().contains("(unacknowledged)"));
      EXPECT_TRUE(Row(0)->text().contains("t = "));
      EXPECT_FALSE(Find<QLabel>("AlarmIdle")->isVisible());
      EXPECT_TRUE(Find<QTimer>("AlarmBlinkTimer")->isActive()) << "blinks until acknowledged";
      return true;
    };
  }
  ScriptStep BannerShowsAcked() {
    return [this] {
      EXPECT_TRUE(Level().Acked);
      EXPECT_TRUE(Level().Active);
      EXPECT_FALSE(Row(0)->text().contains("(unacknowledged)")) << Row(0)->text().toStdString();
      EXPECT_FALSE(Find<QTimer>("AlarmBlinkTimer")->isActive());
      return true;
    };
  }
};

TEST_F(AlarmWindowTest, BannerShowsTheAlarmAndTheButtonAcknowledgesIt) {
  EXPECT_TRUE(Find<QLabel>("AlarmIdle")->text().contains("Alarms off"));
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             Model().RunControl.SleepMs = 1;
             return Steps() >= 5;
           },
           RaiseHighAlarm(), BannerShowsUnacked(),
           [&] {
             QTest::mouseClick(Find<QToolButton>("AcknowledgeAlarmsButton"), Qt::LeftButton);
             return true;
           },
           BannerShowsAcked(), StopSimulation()});
}

TEST_F(AlarmWindowTest, CtrlKAcknowledgesEvenFromAnEdit) {
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             Model().RunControl.SleepMs = 1;
             return Steps() >= 5;
           },
           RaiseHighAlarm(), BannerShowsUnacked(),
           [&] {
             // An edit of the tuning has the focus: its own Ctrl+K (cut to
             // the end of the line) does not take the key.
             QLineEdit* edit = Find<QLineEdit>("PSingle");
             edit->setFocus();
             QTest::keyClick(edit, Qt::Key_K, Qt::ControlModifier);
             return true;
           },
           BannerShowsAcked(), StopSimulation()});
}

TEST_F(AlarmWindowTest, LimitsDialogRefusesAReversedLimitNamingIt) {
  // The limits are checked against the loaded case's CV range, 0 to 100.
  ASSERT_EQ(form->App().LoadCase(ExecutableFolder() + "/" + kStartingCaseFile).status, CaseReadStatus::Loaded);
  std::vector<AlarmLimits> applied;
  AlarmLimitsDialog dialog(AlarmLimits{}, '.', [&](const AlarmLimits& l) {
    applied.push_back(l);
    return form->App().SetAlarmLimits(l);
  });
  dialog.Edit("pv.low")->setText("60");
  dialog.Edit("pv.high")->setText("40");
  QString warning;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    warning = box->text();
    box->accept();
  });
  dialog.accept();
  EXPECT_TRUE(warning.contains("pv.high = 40: not above pv.low = 60")) << warning.toStdString();
  EXPECT_EQ(dialog.result(), QDialog::Rejected) << "stays open";
  dialog.Edit("pv.high")->setText("80");
  dialog.Edit("deviation.delay")->setText("");
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    warning = box->text();
    box->accept();
  });
  dialog.accept();
  EXPECT_TRUE(warning.contains("Deviation delay: a value is needed")) << warning.toStdString();
  dialog.Edit("deviation.delay")->setText("2.5");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(form->App().Alarms().Set().Limits().High, 80);
  EXPECT_EQ(form->App().Alarms().Set().Limits().DeviationDelay, 2.5);
  EXPECT_EQ(applied.size(), 2u) << "an edit that does not parse is refused before the limits are handed over";
}

TEST(AlarmBannerText, ALongMessageGivesWayToTheTimesAndTheNote) {
  AlarmStatus s;
  s.Kind = AlarmKind::Deviation;
  s.Enabled = true;
  s.Acked = false;
  s.Message = "Deviation |SP-PV| normal: 7.772";
  s.RunTime = 7274;
  const QFontMetrics metrics(QApplication::font());
  const QString full = AlarmBanner::RowText(s, ',');
  EXPECT_TRUE(full.contains("t = 7274,0")) << full.toStdString();
  EXPECT_TRUE(full.contains("normal: 7,772   (unacknowledged)")) << full.toStdString();
  const int fullWidth = metrics.horizontalAdvance(full);
  struct Case {
    int width;
    bool whole;
  };
  for (const Case& c : {Case{0, true}, Case{fullWidth, true}, Case{fullWidth - 30, false}, Case{40, false}}) {
    const QString text = AlarmBanner::FittedRowText(s, ',', metrics, c.width);
    EXPECT_EQ(text == full, c.whole) << c.width << ": " << text.toStdString();
    EXPECT_TRUE(text.startsWith(full.left(full.indexOf("Deviation")))) << "the times stay: " << text.toStdString();
    EXPECT_TRUE(text.endsWith("(unacknowledged)")) << "the note stays: " << text.toStdString();
    if (!c.whole && c.width > 40) {
      EXPECT_LE(metrics.horizontalAdvance(text), c.width);
      EXPECT_TRUE(text.contains(QChar(0x2026))) << "the message is cut with an ellipsis";
    }
  }
}

}  // namespace
}  // namespace qx::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  qx::test::KeepTestSettingsApart("alarm_window_tests");
  return RUN_ALL_TESTS();
}
