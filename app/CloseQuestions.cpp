// The questions when the main window closes.
#include "app/Application.h"
#include "ui/PanelLogic.h"

namespace qx {

bool Application::FormCloseQuery() {
  RunControlRecord& c = Model().RunControl;
  c.StopRequested = true;  // a running simulation stops at its next check
  if (!host_.AskYesNo("Are you Sure?")) {
    c.StopRequested = false;
    return false;
  }
  // The program ends: a run start waiting for the current run is dropped.
  c.RestartPending = false;
  panel_.Layout.SimRunningLabel = "Simulation Running.";
  panel_.Layout.SimRunningLabel1 = "Click 'Halt Simulation' to stop.";
  host_.PanelChanged();
  return true;
}

bool Application::FormClose() {
  bool close = true;
  if (ClientsConnected())
    close = host_.AskYesNo(
        "Quorvanex OPC Server For Simulation is connected to client(s).\nDo you want to Exit?");
  RevokeServer();
  if (!close) {
    // The window stays, but the close query has already stopped the run:
    // show it ended as "Stop Simulation" does, so New and Open are offered.
    if (panel_.Layout.ModePageVisible) EndPractice(Model(), panel_);
    panel_.Layout.SaveCaseFileEnabled = false;
    host_.PanelChanged();
  }
  return close;
}

}  // namespace qx
