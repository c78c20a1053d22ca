#include "app/Application.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/MasterLink.h"
#include "app/ServerSecuritySetup.h"
#include "engine/RunControlCodes.h"
#include "opc/ClientWriteHandOff.h"
#include "opc/LoopAlarmConditions.h"
#include "opc/OPCServer.h"
#include "opc/OPCUAClient.h"
#include "opc/ServerSecurityConfig.h"
#include "ui/PanelLogic.h"

namespace qx {
namespace {

// What each performance index measures, as OPC clients read it beside the
// value ("" for a name not listed here).
std::string IndexDescription(std::string_view name) {
  static constexpr std::pair<std::string_view, const char*> kDescriptions[] = {
      {"IAE", "Integral of absolute error over the current window"},
      {"ISE", "Integral of squared error over the current window"},
      {"ITAE", "Integral of time-weighted absolute error over the current window"},
      {"Overshoot", "Largest excursion of PV past the set point, in percent of the set-point change"},
      {"RiseTime", "Time PV takes from 10 % to 90 % of the set-point change"},
      {"SettlingTime", "Time from the window's start until PV stays within 2 % of the set-point change"},
      {"DecayRatio", "Peak of the second excursion over the peak of the first, on the same side"},
      {"OPTravel", "Total movement of the controller output over the current window"},
      {"WindowStart", "Time of the current window's start: the last set-point change, disturbance or "
                      "change of mode"},
  };
  for (const auto& [index, description] : kDescriptions)
    if (index == name) return description;
  return "";
}

}  // namespace

Application::Application(AppHost& host, char decimalSeparator)
    : host_(host),
      separator_(decimalSeparator),
      sim_(std::make_unique<Simulation>()),
      writes_(std::make_unique<ClientWriteHandOff>()),
      alarmAnswers_(std::make_unique<AlarmAnswerHandOff>()),
      historyCapacity_(kDefaultLoopHistoryCapacity) {
  panel_.DecimalSeparator = decimalSeparator;
  // A client sees an alarm's transition within its publishing interval,
  // not one trend sample later.
  alarms_.SetTransitionHook([this] { PublishAlarms(); });
}

// The master link goes before its client, and the client's thread stops
// before the model goes; the server stops (and with it the write hook)
// before the hand-off goes.
Application::~Application() = default;

void Application::StartUpState() {
  RunControlRecord& c = Model().RunControl;
  c.SingleAutoState = FieldCode(LoopMode::Auto);
  c.SingleModeSelect = FieldCode(LoopMode::Auto);
  c.SingleConfiguration = true;
  ShowIdleLayout(panel_);
  host_.PanelChanged();
}

bool Application::StartServer(const std::string& endpoint, std::string& error) {
  auto server = std::make_unique<COPCServer>(Model(), separator_);
  server->SetClientWriteHandOff(writes_.get());
  server->SetAlarmAnswerHandOff(alarmAnswers_.get());
  server->SetLoopHistoryCapacity(historyCapacity_);
  opcua::ServerSecurity security;
  if (!LoadServerSecurity(SimulationServerIdentity(endpoint), security, error)) return false;
  servedSecurity_ = DescribeSecurity(security);
  server->GBSetSecurity(std::move(security));
  std::vector<AnalysisItem> indices;
  for (const IndexValue& index : IndexValues(analysis::PerformanceResults{}))
    indices.push_back({index.name, IndexDescription(index.name), index.unit});
  server->SetAnalysisItems(std::move(indices));
  if (!server->InitializeOPC(endpoint, error)) return false;
  server_ = std::move(server);
  serving_.store(server_.get());
  // A revoke that came while the server was starting: it found nothing to
  // revoke, so the server does it now. Revoking twice is harmless.
  if (revokeRequested_.load()) server_->GBRevokeClassObject();
  return true;
}

void Application::SetClientWriteWake(std::function<void()> wake) {
  alarmAnswers_->SetWake(wake);
  writes_->SetWake(std::move(wake));
}

const std::atomic<bool>& Application::ClientWritesWaiting() const { return writes_->PendingFlag(); }

const std::atomic<bool>& Application::AlarmAnswersWaiting() const { return alarmAnswers_->PendingFlag(); }

void Application::DeliverClientWrites() {
  // The usual case, at every step of a run: nothing queued.
  if (!writes_->AnyPending() && !alarmAnswers_->AnyPending()) return;
  // A client answered the alarm state it saw; the alarm library tells
  // whether it still waits for that answer (the operator may have been
  // quicker), and the condition follows the library either way.
  alarmAnswers_->Deliver([this](const ClientAlarmAnswer& a) {
    if (a.Response == opcua::ConditionResponse::Acknowledge)
      AcknowledgeAlarm(a.Alarm, a.Comment);
    else
      ConfirmAlarm(a.Alarm, a.Comment);
  });
  if (!writes_->AnyPending()) return;
  const std::size_t delivered = writes_->Deliver(
      Model(),
      [this](std::string_view edit, const std::string& text) {
        if (EditControl* control = panel_.FindEdit(edit)) control->Text = text;
      },
      [this](const LoopCommand& command) { PerformLoopCommand(command); });
  if (delivered == 0) return;
  UpdateLoopState();
  host_.PanelChanged();
}

void Application::UpdateLoopState() {
  COPCServer* server = Server();
  if (!server) return;
  server->UpdateLoopState(
      LoopRunValues{panel_.CascadeModeCheckBox, sim_->Run.Active, sim_->Run.t + Model().RunSettings.DataStart},
      CanStartRun());
}

void Application::RunStarting() {
  analysis_.RunStarting();
  alarms_.RunStarting();
  if (COPCServer* server = Server()) server->ClearLoopHistory();
  UpdateLoopState();
}

void Application::RunEnded() {
  COPCServer* server = Server();
  if (!server) return;
  // The run is still marked active until its host has been told.
  const LoopRunValues ended{panel_.CascadeModeCheckBox, false, sim_->Run.t + Model().RunSettings.DataStart};
  server->PublishLoopRunState(ended);
  server->UpdateLoopState(ended, commandHost_ && caseRun_);
}

void Application::UseMasterClient(std::unique_ptr<OPCClient> client) {
  masterClient_ = std::move(client);
  masterClient_->SetWake(masterWake_);
}

void Application::SetMasterLinkWake(std::function<void()> wake) {
  masterWake_ = std::move(wake);
  if (masterClient_) masterClient_->SetWake(masterWake_);
}

MasterLink& Application::Master() {
  if (!master_) {
    if (!masterClient_) {
      auto client = std::make_unique<OPCUAClient>();
      client->SetEndpoint(masterEndpoint_.empty() ? MasterEndpointFromEnvironment() : masterEndpoint_);
      UseMasterClient(std::move(client));
    }
    master_ = std::make_unique<MasterLink>(*masterClient_, Model(), panel_, host_);
  }
  return *master_;
}

void Application::OPCServerToolButtonClick() { Master().SetUpMasterLink(); }

void Application::MasterConnectToolButtonClick() { Master().MasterConnectToolButtonClick(); }

void Application::DeliverMasterLinkEvents() {
  if (master_) master_->DeliverEvents();
}

void Application::DeliverPendingWork() {
  DeliverClientWrites();
  DeliverMasterLinkEvents();
  DeliverSpeedClick(Model(), panel_);
}

void Application::PublishItemValuesTo(COPCServer& server) {
  std::array<std::optional<double>, kIndexCount> indices;
  const IndexList values = IndexValues(analysis_.Results());
  for (std::size_t i = 0; i < kIndexCount; ++i) indices[i] = values[i].value;
  server.PublishItemValues(
      PanelSnapshot{panel_.CascadeModeCheckBox, panel_.DLagSingle.Text}, indices,
      LoopRunValues{panel_.CascadeModeCheckBox, sim_->Run.Active, sim_->Run.t + Model().RunSettings.DataStart});
  server.PublishAlarms(alarms_.Set().Statuses());
}

void Application::PublishAlarms() {
  if (COPCServer* server = Server()) server->PublishAlarms(alarms_.Set().Statuses());
}

bool Application::ClientsConnected() const {
  const COPCServer* server = serving_.load();
  return server && (server->ServerObjectCount() != 0 || server->ServerLockCount() != 0);
}

void Application::RevokeServer() {
  revokeRequested_.store(true);
  if (COPCServer* server = Server()) server->GBRevokeClassObject();
}

void Application::cmd_exitClick() {
  qx::cmd_exitClick(Model(), panel_, [this](std::string_view question) { return host_.AskYesNo(question); });
  host_.PanelChanged();
}

}  // namespace qx
