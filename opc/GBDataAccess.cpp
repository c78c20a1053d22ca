#include "opc/GBDataAccess.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "opcua/NodeIds.h"

namespace qx {
namespace {

std::string RecordPath(const std::string& folder, const std::string& progId) {
  return folder + "/" + progId + ".server";
}

// The value of `key` in a registration record, or empty.
std::string RecordValue(const std::string& path, const std::string& key) {
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    if (line.starts_with(key + "=")) return line.substr(key.size() + 1);
  return {};
}

}  // namespace

std::string ServerApplicationUri(const GBServerIdentity& identity) { return "urn:" + identity.ProgId; }

std::string DefaultEndpointUrl() {
  const char* configured = std::getenv("QX_OPC_ENDPOINT");
  return configured && *configured ? configured : "opc.tcp://127.0.0.1:4840";
}

std::string RegistrationFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (data && *data == '/') {
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : "/tmp") + "/.local/share";
  }
  return base + "/qxsim/opc-servers";
}

GBDataAccess::GBDataAccess() = default;

GBDataAccess::~GBDataAccess() { GBShutdown(); }

void GBDataAccess::GBShutdown() {
  if (server_) server_->Stop();
}

bool GBDataAccess::GBRegisterServer(const GBServerIdentity& id, std::string& error) {
  const std::string folder = RegistrationFolder();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::string path = RecordPath(folder, id.ProgId);
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << "ProgID=" << id.ProgId << "\nDescription=" << id.Description
        << "\nShortName=" << id.ShortName << "\nVersion=" << id.Version << "\nCLSID=" << id.Clsid
        << "\nEndpoint=" << id.EndpointUrl << "\n";
    out.flush();
    if (!out) {
      error = "cannot write the registration record " + temporary;
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot write the registration record " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

bool GBDataAccess::GBUnregisterServer(const std::string& clsid, std::string& error) {
  const std::string folder = RegistrationFolder();
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string path = entry.path().string();
    if (!path.ends_with(".server") || RecordValue(path, "CLSID") != clsid) continue;
    if (!std::filesystem::remove(entry.path(), ec)) {
      error = "cannot remove the registration record " + path + ": " + ec.message();
      return false;
    }
  }
  return true;
}

void GBDataAccess::GBInitialize(const GBServerIdentity& identity) {
  identity_ = identity;
  opcua::ServerConfig config;
  config.endpointUrl = identity.EndpointUrl;
  config.applicationUri = ServerApplicationUri(identity);
  config.productUri = "urn:" + identity.ProgId;
  config.applicationName = identity.Description;
  config.productName = identity.Description;
  config.manufacturerName = "Quorvanex";
  config.softwareVersion = identity.Version;
  config.security = security_;
  server_ = std::make_unique<opcua::Server>(config);
  namespaceIndex_ = server_->RegisterNamespace("urn:" + identity.ProgId + ":items");
  folder_ = opcua::NodeId(namespaceIndex_, identity.ShortName);
  std::string error;
  server_->AddFolder(opcua::NodeId(0, opcua::ids::ObjectsFolder), folder_, identity.ShortName,
                     error);
  server_->SetWriteCallback(
      [this](uint32_t variable, const opcua::NodeId&, opcua::Variant& value) {
        std::vector<GBItemWrite> writes(1);
        const uint32_t handle = variable < handleByVariable_.size() ? handleByVariable_[variable] : 0;
        if (handle == 0) return GBOnWriteVariable(variable, value);
        writes[0].Handle = handle;
        writes[0].Position = items_[handle - 1].Position;
        writes[0].Value = value;
        GBOnWriteItems(writes);
        if (writes[0].Result.IsGood()) value = std::move(writes[0].Value);
        return writes[0].Result;
      });
}

bool GBDataAccess::GBCreateItem(uint32_t& handle, uint32_t position, const std::string& name,
                                bool writable, const std::string& initialValue) {
  handle = 0;
  if (!server_) return false;
  std::string error;
  uint32_t made = 0;
  if (!server_->AddVariable(folder_, opcua::NodeId(namespaceIndex_, name), name,
                            opcua::Variant(initialValue), writable, made, error))
    return false;
  // Toolkit handles count from 1 (0 means "not created"); the stack's own
  // handles count from 0.
  items_.push_back(Item{made, position});
  handle = static_cast<uint32_t>(items_.size());
  if (made >= handleByVariable_.size()) handleByVariable_.resize(made + 1, 0);
  handleByVariable_[made] = handle;
  return true;
}

bool GBDataAccess::GBCreateFolder(const std::string& folder) {
  if (!server_) return false;
  std::string error;
  return server_->AddFolder(opcua::NodeId(0, opcua::ids::ObjectsFolder),
                            opcua::NodeId(namespaceIndex_, folder), folder, error);
}

bool GBDataAccess::GBCreateNumericItem(uint32_t& handle, const std::string& folder,
                                       const std::string& name, const std::string& description,
                                       const std::optional<opcua::EUInformation>& units) {
  handle = 0;
  if (!server_) return false;
  std::string error;
  uint32_t made = 0;
  const opcua::NodeId id(namespaceIndex_, folder + "." + name);
  if (!server_->AddVariable(opcua::NodeId(namespaceIndex_, folder), id, name,
                            opcua::Variant(std::nan("")), false, made, error))
    return false;
  if (!server_->SetDescription(id, {"", description}, error)) return false;
  if (units && !server_->SetEngineeringUnits(id, *units, error)) return false;
  numericItems_.push_back(made);
  handle = static_cast<uint32_t>(numericItems_.size());
  // Created Good; no figure exists yet.
  opcua::Server::UpdateBatch batch(*server_);
  server_->SetValue(made, opcua::Variant(std::nan("")), opcua::status::BadWaitingForInitialData,
                    opcua::DateTime::Now());
  return true;
}

void GBDataAccess::GBSetNumericItem(uint32_t handle, std::optional<double> value,
                                    opcua::DateTime timestamp) {
  if (!server_ || handle == 0 || handle > numericItems_.size()) return;
  server_->SetValue(numericItems_[handle - 1], opcua::Variant(value.value_or(std::nan(""))),
                    value ? opcua::status::Good : opcua::status::BadWaitingForInitialData, timestamp);
}

void GBDataAccess::GBBeginUpdate() {
  if (server_) server_->BeginUpdate();
}

void GBDataAccess::GBSetItem(uint32_t handle, std::string value, int quality,
                             opcua::DateTime timestamp) {
  if (!server_ || handle == 0 || handle > items_.size()) return;
  server_->SetValue(items_[handle - 1].Variable, opcua::Variant(std::move(value)),
                    quality == kQualityGood ? opcua::status::Good : opcua::StatusCode{0x80000000u},
                    timestamp);
}

void GBDataAccess::GBEndUpdate() {
  if (server_) server_->EndUpdate();
}

bool GBDataAccess::GBRegisterClassObject(std::string& error) {
  if (!server_) {
    error = "the OPC server was not initialised";
    return false;
  }
  return server_->Start(error);
}

void GBDataAccess::GBRevokeClassObject() {
  if (server_) server_->SetAcceptingSessions(false);
}

std::string GBDataAccess::ServedEndpointUrl() const {
  return server_ ? server_->ServedEndpointUrl() : EndpointUrl();
}

long GBDataAccess::ServerObjectCount() const {
  return server_ ? static_cast<long>(server_->SessionCount()) : 0;
}

long GBDataAccess::ServerLockCount() const {
  return server_ ? static_cast<long>(server_->ConnectionCount()) : 0;
}

}  // namespace qx
