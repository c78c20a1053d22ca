// What the programs that drive the main window through a script share:
// opening the window as an operator first sees it, playing the script under
// a time limit, and the run state and widgets a script step looks at.
#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <QCoreApplication>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "app/Application.h"
#include "window/MainWindow.h"
#include "window/WindowSettings.h"
#include "window/charts/TrendCharts.h"
#include "window/tools/ScriptedRun.h"

namespace qx {

// These programs need no screen: offscreen, unless the environment names a
// platform of its own (a display under xvfb, say).
inline void UseOffscreenUnlessSet() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Shows `form` at its design size with the starting case open and running.
// The programs that drive the window start from a first start's settings
// and leave the user's alone: theirs live in a folder that goes with them.
inline void KeepSettingsApart() {
  static QTemporaryDir folder;
  KeepSettingsIn(folder.path());
}

inline void OpenStartingCase(TForm1& form) {
  form.SetStartupCase((QCoreApplication::applicationDirPath() + "/" + kStartingCaseFile).toStdString());
  form.resize(1155, 732);
  form.show();
  form.Timer1Timer();     // the splash, at once
  form.Timer2Timer();     // ... and over: the starting case opens and runs
  form.activateWindow();  // the splash had it: Enter goes to the focused edit
}

// Plays `steps`, one tried at every step of the run so each action falls on
// its step, until the script closes the window. False when `limit` passed
// first: the window is then closed, every question answered Yes.
inline bool PlayScript(TForm1& form, std::vector<ScriptStep> steps, std::chrono::seconds limit) {
  ScriptedRun script(std::move(steps), 0);
  script.Start();
  bool timedOut = false;
  QTimer::singleShot(limit, &form, [&] {
    timedOut = true;
    form.close();
  });
  QApplication::exec();
  return !timedOut;
}

// The base of a script: the run's state and the window's widgets by name.
class WindowScript {
 public:
  // `program` names the program in messages.
  WindowScript(TForm1& form, const char* program) : form_(form), program_(program) {}

 protected:
  bool Running() { return form_.App().Sim().Run.Active; }
  int64_t Steps() { return form_.App().Sim().Run.StepsDone; }

  // A widget the script needs; the program ends when the window has none of
  // that name, since no later step could do what the script is for.
  template <class W>
  W* Find(const char* name) {
    W* widget = form_.findChild<W*>(name);
    if (!widget) {
      std::fprintf(stderr, "%s: the window has no widget %s\n", program_, name);
      std::exit(1);
    }
    return widget;
  }

  // Before a grab: focus on no edit, so none shows its highlight colours,
  // and the charts painted with all they hold.
  void ReadyToGrab() {
    form_.setFocus();
    form_.Charts()->FlushPaint();
    QCoreApplication::processEvents();
  }

  const char* Program() const { return program_; }

  TForm1& form_;

 private:
  const char* program_;
};

}  // namespace qx
