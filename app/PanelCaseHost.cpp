#include "app/PanelCaseHost.h"

#include "engine/RunControlCodes.h"
#include "ui/PanelLogic.h"

namespace qx {

void PanelCaseHost::ShowErrorBox(std::string_view caption, std::string_view text) {
  host_.ShowMessage(caption, text, MessageIcon::Error);
}

void PanelCaseHost::ShowLoopKind() { qx::ShowLoopKind(model_, panel_); }

void PanelCaseHost::ShowAutoMode() { ShowModeState(panel_, LoopMode::Auto); }

}  // namespace qx
