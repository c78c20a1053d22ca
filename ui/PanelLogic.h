// What the operator's controls do to the loop data model, without a GUI
// toolkit: reading the inputs, showing the model, spin buttons, the mode
// panel, the speed controls, Apply Changes and Stop Simulation. The Qt
// window and the headless runner call the same functions.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engine/RunControlCodes.h"
#include "engine/RunHost.h"
#include "engine/Simulation.h"
#include "ui/OperatorPanel.h"

namespace qx {

// Every input control into the model, then NormaliseLoopParameters.
void ReadOperatorInputs(LoopModel& m, OperatorPanel& panel);

// The tuning controls that a run re-reads when changes are pending (P, I, D,
// SP, filter, PV noise in percent, OP).
void ReadTuningInputs(LoopModel& m, const OperatorPanel& panel);

// The model back into the controls, as normalised.
void ShowLoopValues(LoopModel& m, OperatorPanel& panel);

// The single-loop presentation (the only one the window offers).
void ShowLoopKind(LoopModel& m, OperatorPanel& panel);

// Layout with no active case, and while a case is active.
void ShowIdleLayout(OperatorPanel& panel);
void ShowCaseLayout(OperatorPanel& panel);

// The mode panel and the controls that depend on it for a mode state.
void ShowModeState(OperatorPanel& panel, LoopMode mode);

// The Enter key: reads every input and asks the run to pick up the changes.
void EnterKey(LoopModel& m, OperatorPanel& panel);

// The focus leaves an edit; leaving the set-point or output edit asks the
// run to pick up the changes.
void LeaveEdit(LoopModel& m, std::string_view editName);

enum class SpinEdit { SingleSPNew, SingleOPNew, PVNoise };
enum class SpinDirection { Up, Down };

// The spin buttons beside the set-point, output and PV-noise edits.
void SpinClick(LoopModel& m, OperatorPanel& panel, SpinEdit edit, SpinDirection direction);

// A click on the Manual/Auto panel, and on "Cascade Mode".
void manual_auto_selectClick(LoopModel& m, OperatorPanel& panel);
void CascadeModeCheckBoxClick(LoopModel& m, OperatorPanel& panel);

// The speed controls: faster, slower, and "Normal". The command goes to the
// run for its next step.
void SpeedControlClick(LoopModel& m, SpeedCommand command);
// The same click from the panel: handed to the run at once when no command
// is waiting for its step, queued behind it otherwise.
void SpeedControlClick(LoopModel& m, OperatorPanel& panel, SpeedCommand command);
// Between two steps: once the run has taken the waiting command, hands it
// the oldest queued one.
void DeliverSpeedClick(LoopModel& m, OperatorPanel& panel);

// "Apply Changes": reads and normalises the inputs and re-runs the run-start
// preparations; the run in progress continues with the new values.
void ApplyChangesButtonClick(Simulation& sim, OperatorPanel& panel, RunHost& host);

// "Stop Simulation": asks "End This Simulation?" while a case is active and
// ends the run on Yes.
using AskYesNo = std::function<bool(std::string_view question)>;
void cmd_exitClick(LoopModel& m, OperatorPanel& panel, const AskYesNo& ask);

// Ends the current run and returns the window to its idle layout.
void EndPractice(LoopModel& m, OperatorPanel& panel);

// A RunHost whose panel operations act on an OperatorPanel; the window and
// the headless runner derive from it and add their own output.
class PanelRunHost : public RunHost {
 public:
  PanelRunHost(Simulation& sim, OperatorPanel& panel) : sim_(sim), panel_(panel) {}

  void RunStarting() override;
  void ReadOperatorInputs() override {
    WriteTrackedTexts();
    qx::ReadOperatorInputs(sim_.Model, panel_);
  }
  void ReadTuningInputs() override {
    WriteTrackedTexts();
    qx::ReadTuningInputs(sim_.Model, panel_);
  }
  void ShowLoopValues() override {
    WriteTrackedTexts();
    qx::ShowLoopValues(sim_.Model, panel_);
  }
  // The tracking display runs at every step. By default it writes the edit
  // at once; with deferred tracking only the newest value is kept, at the
  // cost of a store, until WriteTrackedTexts puts it into its edit.
  void ShowTrackedSetPoint(float sp) override {
    setPoint_ = {sp, true};
    if (!deferTracking_) WriteTrackedTexts();
  }
  void ShowTrackedOutput(float op) override {
    output_ = {op, true};
    if (!deferTracking_) WriteTrackedTexts();
  }

  // Writes the deferred tracking values into their edits; the edits then
  // read as if every step had written them.
  void WriteTrackedTexts();

 protected:
  // For a host whose panel is read only in its message processing (which
  // calls WriteTrackedTexts first) and in the panel operations above.
  void DeferTracking() { deferTracking_ = true; }

  Simulation& sim_;
  OperatorPanel& panel_;

 private:
  static constexpr int kSetPointDecimals = 3;
  static constexpr int kOutputDecimals = 1;

  // The last text that tracking wrote into an edit and the value it shows.
  struct TrackedText {
    float Value = 0;
    std::string Text;
    bool Valid = false;
  };
  // A tracked value not yet written into its edit.
  struct PendingValue {
    float Value = 0;
    bool Pending = false;
  };
  // Writes `value` into `edit` unless the edit already shows the text it
  // would get.
  static void ShowTracked(EditControl& edit, TrackedText& shown, float value, int decimals);

  bool deferTracking_ = false;
  PendingValue setPoint_, output_;
  TrackedText shownSetPoint_;
  TrackedText shownOutput_;
};

}  // namespace qx
