// A main window past its start-up splash, and a way to drive a run: a case
// command runs its simulation inside the handler that started it, so the
// test's checks and actions are performed from a timer that fires between
// two steps of that run.
#pragma once

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "app/Application.h"
#include "tests/window/ScriptedPrompter.h"
#include "window/MainWindow.h"

namespace qx::test {

// One step of a script: performs its actions and returns true when done,
// false to be called again at the next turn.
using ScriptStep = std::function<bool()>;

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<TForm1>(prompter);
    form->show();
    form->activateWindow();  // focus and keys go to its widgets
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->Timer2Timer();  // the end of the splash, at once
  }
  void TearDown() override { form.reset(); }

  template <class W>
  W* Find(const char* name) {
    W* widget = form->findChild<W*>(name);
    EXPECT_NE(widget, nullptr) << "no widget " << name;
    return widget;
  }

  LoopModel& Model() { return form->App().Model(); }
  bool Running() { return form->App().Sim().Run.Active; }
  int64_t Steps() { return form->App().Sim().Run.StepsDone; }

  // Runs `command` (it returns when the run it started has ended) while the
  // script steps are performed in turn between steps of the run. A run that
  // is still going after `timeoutMs` fails the test and is stopped.
  void RunWith(const std::function<void()>& command, std::vector<ScriptStep> script, int timeoutMs = 30000) {
    bool returned = false;
    std::size_t next = 0;
    QElapsedTimer clock;
    clock.start();
    QTimer driver;
    driver.setInterval(5);
    QObject::connect(&driver, &QTimer::timeout, [&] {
      if (next < script.size() && script[next]()) ++next;
      if (clock.elapsed() > timeoutMs && Running()) {
        ADD_FAILURE() << "the run still goes on at script step " << next;
        Model().RunControl.StopRequested = true;
      }
    });
    driver.start();
    QTimer::singleShot(0, form.get(), [&] {
      command();
      returned = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return returned; }, timeoutMs + 5000));
    driver.stop();
    EXPECT_EQ(next, script.size()) << "script steps left undone";
  }

  // A script step that ends the run with "Stop Simulation", answered Yes.
  ScriptStep StopSimulation() {
    return [this] {
      prompter.Answers.push_back(true);
      QTest::mouseClick(Find<QPushButton>("cmd_exit"), Qt::LeftButton);
      return true;
    };
  }

  ScriptedPrompter prompter;
  std::unique_ptr<TForm1> form;
};

}  // namespace qx::test
