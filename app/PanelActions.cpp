#include "app/PanelActions.h"

#include <cstdlib>

#include "app/Application.h"
#include "engine/FieldTable.h"
#include "engine/RunControlCodes.h"
#include "ui/PanelLogic.h"

namespace qx {
namespace {

SpinEdit SpinEditNamed(const std::string& name) {
  if (name == "SingleSPNew") return SpinEdit::SingleSPNew;
  if (name == "SingleOPNew") return SpinEdit::SingleOPNew;
  return SpinEdit::PVNoise;
}

}  // namespace

void PerformPanelAction(Application& app, RunHost& run, const PanelAction& a) {
  LoopModel& m = app.Model();
  OperatorPanel& panel = app.Panel();
  using K = PanelAction::Kind;
  switch (a.What) {
    case K::SetControl:
      if (EditControl* edit = panel.FindEdit(a.Name))
        edit->Text = a.Text;
      else if (RadioGroup* radio = panel.FindRadio(a.Name))
        radio->Select(std::atoi(a.Text.c_str()));
      break;
    case K::Enter:
      EnterKey(m, panel);
      break;
    case K::Apply:
      ApplyChangesButtonClick(app.Sim(), panel, run);
      break;
    case K::Mode:
      manual_auto_selectClick(m, panel);
      break;
    case K::Cascade:
      CascadeModeCheckBoxClick(m, panel);
      break;
    case K::Faster:
      SpeedControlClick(m, panel, SpeedCommand::Faster);
      break;
    case K::Slower:
      SpeedControlClick(m, panel, SpeedCommand::Slower);
      break;
    case K::Normal:
      SpeedControlClick(m, panel, SpeedCommand::Normal);
      break;
    case K::SpinUp:
    case K::SpinDown:
      SpinClick(m, panel, SpinEditNamed(a.Name),
                a.What == K::SpinUp ? SpinDirection::Up : SpinDirection::Down);
      break;
    case K::Leave:
      LeaveEdit(m, a.Name);
      break;
    case K::Store:
      if (const FieldInfo* field = FindField(a.Name)) StoreFieldText(m, *field, a.Text);
      break;
    case K::Stop:
      app.cmd_exitClick();
      app.UpdateLoopState();
      return;  // cmd_exitClick has told the front end
    case K::MasterSetUp:
      app.OPCServerToolButtonClick();
      return;  // the link's events tell the front end
    case K::MasterConnect:
      app.MasterConnectToolButtonClick();
      return;
  }
  app.UpdateLoopState();
  app.Host().PanelChanged();
}

}  // namespace qx
