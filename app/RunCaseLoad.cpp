#include "app/RunCaseLoad.h"

#include "engine/FieldTable.h"
#include "persistence/ConfigurationFile.h"

namespace qx {

std::string StartingCasePath() {
  const std::string folder = ExecutableFolder();
  return folder.empty() ? kStartingCaseFile : folder + "/" + kStartingCaseFile;
}

bool LoadRunCase(Application& app, AppHost& console, const std::string& casePath,
                 const std::vector<FieldOverride>& overrides) {
  // The case as "Open Case File" loads it, the overrides between the file
  // and the end steps of the load; the run follows once it is set up. A case
  // that did not load ends the command (the load has said why).
  const CaseReadStatus read = app.LoadCaseFile(casePath.empty() ? StartingCasePath() : casePath,
                                               [&overrides](LoopModel& model) {
    for (const FieldOverride& o : overrides) StoreFieldText(model, *FindField(o.Name), o.Value);
  });
  if (read == CaseReadStatus::NotLoaded) {
    // "New Simulation" adds its own notice after the reader's.
    if (casePath.empty()) console.ShowMessage(kMessageTitle, kStartingCaseMissing, MessageIcon::Error);
    return false;
  }
  return read == CaseReadStatus::Loaded;
}

}  // namespace qx
