// The loop object's commands, on the GUI thread: each is what the operator
// does with the panel's controls, through the same panel actions. The
// server thread checked them against the state it last saw; the rules that
// depend on the mode are checked again here, against the state now, so a
// command that the operator's own action overtook (an output write that
// arrives after a switch to Auto) changes nothing.
#include "app/Application.h"
#include "app/PanelActions.h"
#include "engine/NumberText.h"
#include "engine/RealText.h"
#include "engine/RunControlCodes.h"
#include "opc/LoopCommands.h"
#include "opc/OPCServer.h"
#include "ui/PanelLogic.h"

namespace qx {
namespace {

bool InManual(const LoopModel& m) { return m.RunControl.SingleAutoState != FieldCode(LoopMode::Auto); }

// The speed gauge at `level`: the pause of that level at once, with any
// click still waiting for the run superseded.
void SetSpeedLevel(LoopModel& m, OperatorPanel& panel, int32_t level) {
  RunControlRecord& c = m.RunControl;
  panel.SpeedClicks.Count = 0;
  c.SpeedCommandPending = false;
  c.SpeedChangeEnabled = false;
  c.SpeedLevel = kSlowestSpeedLevel - level;
  c.SleepMs = static_cast<float>(c.SpeedLevel) * kSleepMsPerSpeedLevel;
}

}  // namespace

void Application::PerformLoopCommand(const LoopCommand& command) {
  LoopModel& m = Model();
  RunHost noRun;  // Apply Changes is not among the commands; no run is re-entered
  RunHost& run = commandHost_ ? *commandHost_ : noRun;
  const auto perform = [&](PanelAction::Kind what, std::string name = {}, std::string text = {}) {
    PerformPanelAction(*this, run, PanelAction{what, std::move(name), std::move(text)});
  };
  // An edit typed into and Enter pressed; the edit's own number format.
  const auto enter = [&](const std::string& edit, double value) {
    perform(PanelAction::Kind::SetControl, edit, FormatRealDouble(value, separator_));
    perform(PanelAction::Kind::Enter);
  };
  using K = LoopCommand::Kind;
  switch (command.What) {
    case K::EnterEdit:
      // The set-point edit is disabled in Manual, the output edit outside it.
      if (command.Edit == LoopVariableEdit(LoopVariable::SP) && InManual(m)) break;
      if (command.Edit == LoopVariableEdit(LoopVariable::OP) && !InManual(m)) break;
      perform(PanelAction::Kind::SetControl, command.Edit, command.Text);
      perform(PanelAction::Kind::Enter);
      break;
    case K::SetMode: {
      const auto target = static_cast<LoopObjectMode>(command.Level);
      const bool cascade = target == LoopObjectMode::Cascade;
      // Checking "Cascade Mode" puts the loop in Auto; unchecking leaves the
      // mode as it is, which the panel then sets.
      if (panel_.CascadeModeCheckBox != cascade) perform(PanelAction::Kind::Cascade);
      if (InManual(m) != (target == LoopObjectMode::Manual)) perform(PanelAction::Kind::Mode);
      break;
    }
    case K::StepSetPoint:
      if (InManual(m)) break;
      enter(LoopVariableEdit(LoopVariable::SP), static_cast<double>(m.SingleLoop.SPNew) + command.Delta);
      break;
    case K::StepOutput:
      if (!InManual(m)) break;
      enter(LoopVariableEdit(LoopVariable::OP), static_cast<double>(m.SingleLoop.OPNew) + command.Delta);
      break;
    case K::SetSpeed:
      SetSpeedLevel(m, panel_, command.Level);
      run.ShowSpeed(kSlowestSpeedLevel - m.RunControl.SpeedLevel);
      host_.PanelChanged();
      break;
    case K::StartRun:
      if (sim_->Run.Active || !CanStartRun()) break;
      ShowLoadedCase();
      panel_.Layout.SimRunningLabel = "Simulation Running.";
      panel_.Layout.SimRunningLabel1 = "Click 'Halt Simulation' to stop.";
      StartCaseRun(*commandHost_);
      break;
    case K::StopRun:
      // "Stop Simulation" answered Yes: no question is asked of the operator.
      if (!sim_->Run.Active) break;
      qx::cmd_exitClick(m, panel_, [](std::string_view) { return true; });
      host_.PanelChanged();
      break;
  }
}

bool Application::CanStartRun() const { return commandHost_ && caseRun_ && !sim_->Run.Active; }

}  // namespace qx
