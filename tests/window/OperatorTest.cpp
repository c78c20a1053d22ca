// The main window in an operator's hands on the smallest screen it is made
// for (1024 x 768): every control within reach, speed clicks that land
// while the run pauses, the output edit in Auto, the rows of the tuning page
// across a change of mode, and the equation list in columns.
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

#include "tests/window/TestSettings.h"
#include "tests/window/WindowFixture.h"
#include "window/charts/TrendCharts.h"

namespace qx::test {
namespace {

class OperatorTest : public WindowTest {
 protected:
  // The controls an operator clicks or types into, as the case layout shows
  // them.
  std::vector<QWidget*> Controls() {
    std::vector<QWidget*> controls;
    for (QWidget* w : form->findChildren<QWidget*>()) {
      const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                           qobject_cast<QProgressBar*>(w) || w->objectName() == "manual_auto_select";
      if (control && w->isVisible() && w->window() == form.get()) controls.push_back(w);
    }
    return controls;
  }
  // Whether the whole of `w` shows: inside every widget that contains it,
  // scrolled into view first when it lies in a scroll area.
  static bool WhollyShown(QWidget* w) {
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
      if (auto* area = qobject_cast<QScrollArea*>(p)) {
        // The whole widget (ensureWidgetVisible shows only an edit's cursor).
        const QPoint centre = w->mapTo(area->widget(), w->rect().center());
        area->ensureVisible(centre.x(), centre.y(), w->width() / 2 + 1, w->height() / 2 + 1);
      }
    QApplication::processEvents();
    const QRect own(w->mapToGlobal(QPoint(0, 0)), w->size());
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget()) {
      const QRect outer(p->mapToGlobal(QPoint(0, 0)), p->size());
      if (!outer.contains(own)) return false;
    }
    return true;
  }
  QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
};

TEST_F(OperatorTest, EveryControlIsWithinReachOnA1024x768Screen) {
  const QRect screen = form->screen()->availableGeometry();
  ASSERT_EQ(screen.size(), QSize(1024, 768)) << "the test's screen";
  form->showMaximized();
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             EXPECT_TRUE(form->isMaximized());
             const QSize minimum = form->minimumSizeHint();
             EXPECT_LE(minimum.width(), screen.width()) << "minimum " << minimum.width() << "x" << minimum.height();
             EXPECT_LE(minimum.height(), screen.height());
             EXPECT_TRUE(screen.contains(form->frameGeometry()));
             const std::vector<QWidget*> controls = Controls();
             EXPECT_GT(controls.size(), 40u);
             for (QWidget* control : controls)
               EXPECT_TRUE(WhollyShown(control)) << control->objectName().toStdString() << " "
                                                 << control->metaObject()->className();
             for (const char* name : {"cmd_exit", "CascadeModeCheckBox", "UpDown1Right", "Normal",
                                      "DisturbanceTimeConstant", "ApplyChangesButton", "SimTime"})
               EXPECT_TRUE(WhollyShown(form->findChild<QWidget*>(name))) << name;
             const int chartsHeight = form->Charts()->height();
             EXPECT_GT(chartsHeight, 200) << "the trends take what is left";
             return true;
           },
           StopSimulation()});
}

// Clicks a person gives, one at a time and without waiting for the run: at
// every speed each click moves the gauge by one at the run's next step
// (most of a slow step is its pause, where the click lands).
TEST_F(OperatorTest, SpeedClicksActAtEverySpeedWhileTheRunPauses) {
  auto* gauge = Find<QProgressBar>("CGauge1");
  auto* slower = Find<QToolButton>("UpDown1Left");
  auto* faster = Find<QToolButton>("UpDown1Right");
  auto* normal = Find<QPushButton>("Normal");
  struct Click { QAbstractButton* button; int gaugeAfter; };
  // From the fastest speed (gauge 6) down to the slowest and back, with
  // "Normal" from either end.
  const std::vector<Click> clicks = {
      {slower, 5}, {slower, 4}, {slower, 3}, {slower, 2}, {slower, 1}, {slower, 0}, {slower, 0},
      {normal, 3}, {faster, 4}, {faster, 5}, {faster, 6}, {faster, 6}, {normal, 3},
  };
  std::size_t next = 0;
  QElapsedTimer sinceClick;
  bool waiting = false;
  std::vector<int> shown;
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             if (!waiting) {
               if (next == clicks.size()) return true;
               QTest::mouseClick(clicks[next].button, Qt::LeftButton);
               sinceClick.start();
               waiting = true;
               return false;
             }
             // The run takes the click at its next step, which comes within
             // the slowest pause and a redraw.
             const bool taken =
                 !Model().RunControl.SpeedCommandPending && form->App().Panel().SpeedClicks.Count == 0;
             if ((!taken || gauge->value() != clicks[next].gaugeAfter) && sinceClick.elapsed() < 1000)
               return false;
             shown.push_back(gauge->value());
             waiting = false;
             ++next;
             return false;
           },
           StopSimulation()},
          60000);
  std::vector<int> expected;
  for (const Click& c : clicks) expected.push_back(c.gaugeAfter);
  EXPECT_EQ(shown, expected);
}

// In Auto the output edit is disabled: it looks so, and a click on it and
// the digits typed after it change no other edit.
TEST_F(OperatorTest, DisabledOutputLooksDisabledAndTypingAfterAClickOnItLandsNowhere) {
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             QLineEdit* op = Edit("SingleOPNew");
             QLineEdit* d = Edit("DSingle");
             EXPECT_FALSE(op->isEnabled());
             const QPalette palette = op->palette();
             EXPECT_NE(palette.color(QPalette::Disabled, QPalette::Base), palette.color(QPalette::Active, QPalette::Base))
                 << "a disabled edit keeps the style's disabled colours";
             EXPECT_EQ(palette.color(QPalette::Disabled, QPalette::Base),
                       QApplication::palette(op).color(QPalette::Disabled, QPalette::Base));

             QTest::mouseClick(d, Qt::LeftButton);
             EXPECT_EQ(QApplication::focusWidget(), d);
             const QString dBefore = d->text();
             QTest::mouseClick(op, Qt::LeftButton);
             QWidget* typedInto = QApplication::focusWidget() ? QApplication::focusWidget() : form.get();
             QTest::keyClicks(typedInto, "9");
             EXPECT_EQ(d->text(), dBefore) << "the digit went into D";
             EXPECT_EQ(op->text().contains('9'), false);
             return true;
           },
           StopSimulation()});
}

// Manual hides the set point with its spin button (and its caption); the
// output and PV-noise rows stay where they were.
TEST_F(OperatorTest, ChangingTheModeLeavesTheRowsInPlace) {
  RunWith([this] { form->NewCaseFileClick(); },
          {[&] {
             QLabel* spCaption = Find<QLabel>("LabelSP");
             const std::vector<QWidget*> rows = {Edit("SingleOPNew"), Edit("PVNoise"), Find<QLabel>("LabelOP"),
                                                 Find<QLabel>("LabelPV")};
             std::vector<QPoint> before;
             for (QWidget* w : rows) before.push_back(w->pos());
             for (const char* mode : {"Manual", "Auto"}) {
               QTest::mouseClick(Find<QLabel>("manual_auto_select"), Qt::LeftButton);
               QApplication::processEvents();
               EXPECT_EQ(Find<QLabel>("manual_auto_select")->text(), mode);
               const bool manual = std::string(mode) == "Manual";
               EXPECT_EQ(Edit("SingleSPNew")->isVisible(), !manual) << mode;
               EXPECT_EQ(spCaption->isVisible(), !manual) << "the caption goes with its edit";
               for (std::size_t i = 0; i < rows.size(); ++i)
                 EXPECT_EQ(rows[i]->pos(), before[i]) << mode << " " << rows[i]->objectName().toStdString();
             }
             return true;
           },
           StopSimulation()});
}

TEST_F(OperatorTest, EquationFormsAreInAFixedPitchFont) {
  const QList<QRadioButton*> forms = Find<QWidget>("SinglePIDEquation")->findChildren<QRadioButton*>();
  ASSERT_EQ(forms.size(), 24);
  // What the forms need is that their columns line up: every character as
  // wide as a space. (Not QFontInfo::fixedPitch: a monospace font without
  // fontconfig's spacing property, such as Noto Sans Mono, reports false.)
  for (QRadioButton* f : forms) {
    const QFontMetrics metrics(f->font());
    const int space = metrics.horizontalAdvance(QLatin1Char(' '));
    for (QChar c : f->text())
      EXPECT_EQ(metrics.horizontalAdvance(c), space) << f->text().toStdString() << " at '" << QString(c).toStdString() << "'";
  }
}

}  // namespace
}  // namespace qx::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // The offscreen platform with one 1024 x 768 screen.
  qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" QX_SMALL_SCREEN_CONFIG);
  QApplication application(argc, argv);
  qx::test::KeepTestSettingsApart("operator_window_tests");
  return RUN_ALL_TESTS();
}
