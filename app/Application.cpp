#include "app/Application.h"

#include <array>
#include <optional>
#include <vector>

#include "app/MasterLink.h"
#include "app/ServerSecuritySetup.h"
#include "engine/RunControlCodes.h"
#include "opc/ClientWriteHandOff.h"
#include "opc/OPCServer.h"
#include "opc/OPCUAClient.h"
#include "opc/ServerSecurityConfig.h"
#include "ui/PanelLogic.h"

namespace qx {

Application::Application(AppHost& host, char decimalSeparator)
    : host_(host),
      separator_(decimalSeparator),
      sim_(std::make_unique<Simulation>()),
      writes_(std::make_unique<ClientWriteHandOff>()) {
  panel_.DecimalSeparator = decimalSeparator;
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
  opcua::ServerSecurity security;
  if (!LoadServerSecurity(SimulationServerIdentity(endpoint), security, error)) return false;
  servedSecurity_ = DescribeSecurity(security);
  server->GBSetSecurity(std::move(security));
  std::vector<std::string> indexNames;
  for (const IndexValue& index : IndexValues(analysis::PerformanceResults{})) indexNames.push_back(index.name);
  server->SetAnalysisItems(std::move(indexNames));
  if (!server->InitializeOPC(endpoint, error)) return false;
  server_ = std::move(server);
  serving_.store(server_.get());
  // A revoke that came while the server was starting: it found nothing to
  // revoke, so the server does it now. Revoking twice is harmless.
  if (revokeRequested_.load()) server_->GBRevokeClassObject();
  return true;
}

COPCServer* Application::Server() { return serving_.load(); }

void Application::SetClientWriteWake(std::function<void()> wake) { writes_->SetWake(std::move(wake)); }

void Application::DeliverClientWrites() {
  const std::size_t delivered =
      writes_->Deliver(Model(), [this](std::string_view edit, const std::string& text) {
        if (EditControl* control = panel_.FindEdit(edit)) control->Text = text;
      });
  if (delivered > 0) host_.PanelChanged();
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
}

void Application::PublishItemValues() {
  COPCServer* server = Server();
  if (!server) return;
  std::array<std::optional<double>, kIndexCount> indices;
  const std::vector<IndexValue> values = IndexValues(analysis_.Results());
  for (std::size_t i = 0; i < kIndexCount; ++i) indices[i] = values[i].value;
  server->PublishItemValues(PanelSnapshot{panel_.CascadeModeCheckBox, panel_.DLagSingle.Text}, indices);
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
