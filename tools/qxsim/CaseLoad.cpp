#include "tools/qxsim/CaseLoad.h"

#include "engine/FieldTable.h"
#include "persistence/ConfigurationFile.h"
#include "ui/PanelLogic.h"

namespace qx {

std::string StartingCasePath() {
  const std::string folder = ExecutableFolder();
  return folder.empty() ? kStartingCaseFile : folder + "/" + kStartingCaseFile;
}

bool LoadRunCase(Application& app, AppHost& console, const RunOptions& options) {
  app.cmd_exitClick();
  const std::string casePath = options.CasePath.empty() ? StartingCasePath() : options.CasePath;
  const CaseReadResult read = app.LoadCase(casePath, [&options](LoopModel& model) {
    for (const FieldOverride& o : options.Overrides) StoreFieldText(model, *FindField(o.Name), o.Value);
  });
  if (read.status == CaseReadStatus::NotLoaded) {
    // "New Simulation" adds its own notice after the reader's.
    if (options.CasePath.empty()) console.ShowMessage(kMessageTitle, kStartingCaseMissing, MessageIcon::Error);
    return false;
  }
  if (read.status == CaseReadStatus::LineFailed) {
    console.ShowGeneralError(read.failure);
    return false;
  }
  ShowCaseLayout(app.Panel());
  ShowLoopValues(app.Model(), app.Panel());
  return true;
}

}  // namespace qx
