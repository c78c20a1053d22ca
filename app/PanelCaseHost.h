// The case reader's requests on the application's panel: its error boxes
// go to the front end's message box, the window steps act on the panel.
#pragma once

#include "app/AppHost.h"
#include "engine/LoopModel.h"
#include "persistence/CaseHost.h"
#include "ui/OperatorPanel.h"

namespace qx {

class PanelCaseHost final : public CaseHost {
 public:
  PanelCaseHost(AppHost& host, LoopModel& model, OperatorPanel& panel)
      : host_(host), model_(model), panel_(panel) {}

  void ShowErrorBox(std::string_view caption, std::string_view text) override;
  void ShowLoopKind() override;
  void ShowAutoMode() override;

 private:
  AppHost& host_;
  LoopModel& model_;
  OperatorPanel& panel_;
};

}  // namespace qx
