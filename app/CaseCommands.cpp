// The tool-bar commands "New Simulation", "Open Case File" and "Save".
#include <filesystem>

#include "app/Application.h"
#include "app/PanelCaseHost.h"
#include "engine/RunLoop.h"
#include "ui/PanelLogic.h"

namespace qx {
namespace {

constexpr std::string_view kServerCaption = "Quorvanex OPC Server For Simulation";
constexpr std::string_view kCaptionLoadedStart = "Quorvanex OPC Server For Simulation SLAVE (";

}  // namespace

CaseReadResult Application::LoadCase(const std::string& path,
                                     const std::function<void(LoopModel&)>& beforeFinish) {
  PanelCaseHost caseHost(host_, Model(), panel_);
  CaseReadResult read;
  if (!beforeFinish) {
    read = ReadCase(path, Model(), extras_, separator_, caseHost);
  } else {
    read = ReadCaseValues(path, Model(), extras_, separator_, caseHost);
    if (read.status == CaseReadStatus::Loaded) {
      beforeFinish(Model());
      FinishCaseLoad(Model(), caseHost);
    }
  }
  // The alarm limits belong to the case read: checked against its CV range.
  if (read.status == CaseReadStatus::Loaded) {
    const std::vector<std::string> problems = alarms_.LoadFor(path, Model());
    if (!problems.empty()) {
      std::string text = "Alarm limits partly not read, defaults used:";
      for (const std::string& p : problems) text += "\n" + p;
      host_.ShowMessage(kMessageTitle, text, MessageIcon::Error);
    }
  }
  return read;
}

void Application::NewCaseFileClick(RunHost& run) {
  host_.ProcessPendingMessages();
  cmd_exitClick();
  const CaseReadResult read = LoadCase(kStartingCaseFile);
  switch (read.status) {
    case CaseReadStatus::LineFailed:
      // The command ends here: idle layout, no run, caption unchanged.
      host_.SetBusyCursor(false);
      host_.ShowGeneralError(read.failure);
      host_.PanelChanged();
      return;
    case CaseReadStatus::NotLoaded:
      // After the reader's own box; the command still goes on and runs the
      // values held before.
      host_.ShowMessage(kMessageTitle, kStartingCaseMissing, MessageIcon::Error);
      break;
    case CaseReadStatus::Loaded:
      host_.SetCaption(std::string(kCaptionLoadedStart) + "flowpid.dat)");
      break;
  }
  host_.SetBusyCursor(false);
  ShowLoadedCase();
  StartCaseRun(run);
}

void Application::OpenCaseFileClick(RunHost& run) {
  // The buffers of a live run are that run's: it releases them itself.
  if (!sim_->Run.Active) ReleaseRunBuffers(*sim_);
  cmd_exitClick();
  const std::optional<std::string> path = host_.ChooseCaseFileToOpen();
  if (!path) return;
  if (RestoreCaseFile(*path, {}) != CaseReadStatus::LineFailed) StartCaseRun(run);
}

void Application::OpenCaseFile(const std::string& path, RunHost& run) {
  if (LoadCaseFile(path) != CaseReadStatus::LineFailed) StartCaseRun(run);
}

CaseReadStatus Application::LoadCaseFile(const std::string& path,
                                         const std::function<void(LoopModel&)>& beforeFinish) {
  if (!sim_->Run.Active) ReleaseRunBuffers(*sim_);
  cmd_exitClick();
  return RestoreCaseFile(path, beforeFinish);
}

CaseReadStatus Application::RestoreCaseFile(const std::string& path,
                                            const std::function<void(LoopModel&)>& beforeFinish) {
  host_.SetBusyCursor(true);
  const CaseReadResult read = LoadCase(path, beforeFinish);
  switch (read.status) {
    case CaseReadStatus::LineFailed:
      host_.SetBusyCursor(false);
      host_.ShowGeneralError(read.failure);
      host_.PanelChanged();
      return read.status;
    case CaseReadStatus::Loaded: {
      const std::filesystem::path file = std::filesystem::absolute(path);
      host_.ShowCurrentDirectory(file.parent_path().string());
      host_.SetCaption(std::string(kCaptionLoadedStart) + file.filename().string() + ")");
      host_.CaseFileUsed(file.string());
      break;
    }
    case CaseReadStatus::NotLoaded:
      host_.SetCaption(kServerCaption);
      ShowIdleLayout(panel_);
      break;
  }
  ShowLoadedCase();
  host_.SetBusyCursor(false);
  panel_.Layout.SimRunningLabel = "Simulation Running.";
  panel_.Layout.SimRunningLabel1 = "Click 'Halt Simulation' to stop.";
  host_.PanelChanged();
  host_.MovePointerToPlots();
  return read.status;
}

void Application::ShowLoadedCase() {
  ShowCaseLayout(panel_);
  ShowLoopValues(Model(), panel_);
  panel_.PVNoise.Visible = true;
}

void Application::StartCaseRun(RunHost& run) {
  caseRun_ = true;
  host_.PanelChanged();
  SinglePID1Click(*sim_, run);
  host_.PanelChanged();
}

void Application::SaveCaseFileClick() {
  const std::optional<std::string> path = host_.ChooseCaseFileToSave();
  if (!path) return;
  std::string reason;
  if (!WriteCase(*path, Model(), extras_, separator_, reason)) {
    host_.ShowMessage(kMessageTitle, "Could Not Save File", MessageIcon::Error);
    return;
  }
  host_.CaseFileUsed(*path);
  // The case is saved; its alarm limits go beside it under the new name.
  if (!alarms_.SaveFor(*path, reason)) {
    host_.ShowMessage(kMessageTitle, "Could Not Save The Alarm Limits: " + reason, MessageIcon::Error);
    return;
  }
  host_.ShowMessage(kMessageTitle, "File Saved Successfully", MessageIcon::None);
}

AlarmAnswer Application::AcknowledgeAlarm(AlarmKind kind, const std::string& comment) {
  const AlarmAnswer answer = alarms_.Set().Acknowledge(kind, comment, sim_->Run.t);
  if (answer != AlarmAnswer::Done) return answer;
  // Shown to clients at once: an idle loop publishes no sample.
  PublishAlarms();
  host_.PanelChanged();
  return answer;
}

AlarmAnswer Application::ConfirmAlarm(AlarmKind kind, const std::string& comment) {
  const AlarmAnswer answer = alarms_.Set().Confirm(kind, comment, sim_->Run.t);
  if (answer != AlarmAnswer::Done) return answer;
  PublishAlarms();
  host_.PanelChanged();
  return answer;
}

std::vector<std::string> Application::SetAlarmLimits(const AlarmLimits& limits) {
  std::vector<std::string> refused = alarms_.Apply(limits, Model());
  if (!refused.empty()) return refused;
  PublishAlarms();
  host_.PanelChanged();
  return refused;
}

bool Application::WriteCaseCopy(const std::string& path, std::string& reason) const {
  return WriteCase(path, sim_->Model, extras_, separator_, reason);
}

}  // namespace qx
