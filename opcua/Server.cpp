#include "opcua/Server.h"

#include <cstdint>
#include <exception>
#include <iostream>
#include <new>

#include "opcua/PasswordCheckWorker.h"
#include "opcua/TcpTransport.h"

namespace opcua {

Server::Server(ServerConfig config) : core_(std::move(config), clock_) {}

Server::~Server() { Stop(); }

uint16_t Server::RegisterNamespace(const std::string& uri) { return core_.RegisterNamespace(uri); }

bool Server::AddFolder(const NodeId& parent, const NodeId& id, const std::string& name,
                       std::string& error) {
  if (running_) {
    error = "folder " + id.ToString() + " added after Start()";
    return false;
  }
  return core_.AddFolder(parent, id, name, error);
}

bool Server::AddObject(const NodeId& parent, const NodeId& id, const std::string& name,
                       const NodeId& typeDefinition, uint8_t eventNotifier, std::string& error) {
  if (running_) {
    error = "object " + id.ToString() + " added after Start()";
    return false;
  }
  return core_.AddObject(parent, id, name, typeDefinition, eventNotifier, error);
}

bool Server::AddVariable(const NodeId& parent, const NodeId& id, const std::string& name,
                         const Variant& initial, bool writable, uint32_t& handle,
                         std::string& error) {
  if (running_) {
    error = "variable " + id.ToString() + " added after Start()";
    return false;
  }
  return core_.AddVariable(parent, id, name, initial, writable, handle, error);
}

bool Server::SetDescription(const NodeId& id, const LocalizedText& description,
                            std::string& error) {
  if (running_) {
    error = "description of " + id.ToString() + " set after Start()";
    return false;
  }
  return core_.SetDescription(id, description, error);
}

bool Server::SetEngineeringUnits(const NodeId& variable, const EUInformation& units,
                                 std::string& error) {
  if (running_) {
    error = "engineering units of " + variable.ToString() + " set after Start()";
    return false;
  }
  return core_.SetEngineeringUnits(variable, units, error);
}

bool Server::AddProperty(const NodeId& node, const std::string& name, const Variant& value,
                         std::string& error, const NodeId& dataType) {
  if (running_) {
    error = "property " + name + " of " + node.ToString() + " added after Start()";
    return false;
  }
  return core_.AddProperty(node, name, value, error, dataType);
}

bool Server::SetEURange(const NodeId& variable, double low, double high, std::string& error) {
  if (running_) {
    error = "EURange of " + variable.ToString() + " set after Start()";
    return false;
  }
  return core_.SetEURange(variable, low, high, error);
}

bool Server::TrackProperty(const NodeId& node, const std::string& name, uint32_t& handle,
                           std::string& error) {
  if (running_) {
    error = "property " + name + " of " + node.ToString() + " tracked after Start()";
    return false;
  }
  return core_.TrackProperty(node, name, handle, error);
}

bool Server::SetTypeDefinition(const NodeId& node, const NodeId& typeDefinition,
                               std::string& error) {
  if (running_) {
    error = "type definition of " + node.ToString() + " set after Start()";
    return false;
  }
  return core_.SetTypeDefinition(node, typeDefinition, error);
}

bool Server::EnableHistory(uint32_t handle, size_t capacity, std::string& error) {
  if (running_) {
    error = "history of variable handle " + std::to_string(handle) + " enabled after Start()";
    return false;
  }
  return core_.EnableHistory(handle, capacity, error);
}

bool Server::AddMethod(const NodeId& object, const NodeId& id, const std::string& name,
                       std::vector<MethodArgument> inputs, std::vector<MethodArgument> outputs,
                       MethodCallback callback, std::string& error) {
  if (running_) {
    error = "method " + id.ToString() + " added after Start()";
    return false;
  }
  return core_.AddMethod(object, id, name, std::move(inputs), std::move(outputs),
                         std::move(callback), error);
}

void Server::SetWriteCallback(WriteCallback callback) { core_.SetWriteCallback(std::move(callback)); }

void Server::SetLocaleCallback(LocaleCallback callback) {
  core_.SetLocaleCallback(std::move(callback));
}

bool Server::AddCondition(const ConditionDefinition& definition, uint32_t& handle, std::string& error) {
  if (running_) {
    error = "condition " + definition.id.ToString() + " added after Start()";
    return false;
  }
  return core_.AddCondition(definition, handle, error);
}

bool Server::AddNotifier(const NodeId& notifier, const NodeId& child, std::string& error) {
  if (running_) {
    error = "notifier " + child.ToString() + " added after Start()";
    return false;
  }
  return core_.AddNotifier(notifier, child, error);
}

void Server::SetConditionResponseCallback(ConditionResponseCallback callback) {
  core_.SetConditionResponseCallback(std::move(callback));
}

void Server::SetConditionState(uint32_t handle, ConditionState state) {
  {
    std::lock_guard lock(conditionMutex_);
    // Conditions change at the pace of a process, not of a loop; a
    // producer that outruns the server thread anyway keeps only the newest
    // states beyond the bound, like value updates.
    if (pendingConditions_.size() >= core_.Config().limits.maxPendingUpdates)
      pendingConditions_.erase(pendingConditions_.begin());
    pendingConditions_.push_back({handle, std::move(state)});
  }
  if (transport_) transport_->Wake();
}

bool Server::Start(std::string& error) {
  if (running_) return true;
  std::string host;
  uint16_t port = 0;
  if (!ParseEndpointUrl(core_.Config().endpointUrl, host, port, error)) return false;
  auto transport = std::make_unique<TcpTransport>();
  if (!transport->Listen(host, port, error)) {
    error = "endpoint " + core_.Config().endpointUrl + ": " + error;
    return false;
  }
  port_ = transport->Port();
  transport_ = std::move(transport);
  // Passwords are checked on a thread of their own (a check is slow on
  // purpose), whose verdicts wake the server thread to be answered.
  passwordChecker_ = std::make_unique<PasswordCheckWorker>(
      core_.Config().security.authenticateUser, [transport = transport_.get()] { transport->Wake(); });
  core_.SetPasswordChecker(passwordChecker_.get());
  running_ = true;
  thread_ = std::thread([this] { Serve(); });
  // Values set before the start are applied at once, not at the next update.
  transport_->Wake();
  return true;
}

void Server::Serve() {
  std::string why;
  try {
    transport_->Run(core_, [this] { ApplyPending(); });
    return;
  } catch (const std::exception& e) {
    why = e.what();
  } catch (...) {
    why = "an unknown exception";
  }
  // The connections close with the transport at Stop(); until then clients
  // see a server that does not answer.
  std::cerr << "opcua: the server thread of " << core_.Config().endpointUrl << " stopped: " << why
            << '\n';
}

std::string Server::ServedEndpointUrl() const {
  return running_ ? EndpointUrlWithPort(core_.Config().endpointUrl, port_) : core_.Config().endpointUrl;
}

void Server::Stop() {
  if (!running_) return;
  transport_->Stop();
  thread_.join();
  // The worker wakes the transport, so it goes first.
  core_.SetPasswordChecker(nullptr);
  passwordChecker_.reset();
  transport_.reset();
  running_ = false;
}

void Server::BeginUpdate() { updateMutex_.lock(); }

void Server::SetValue(uint32_t handle, Variant value, StatusCode status, DateTime sourceTimestamp) {
  // The update lock makes this the one writer of the history.
  core_.RecordHistory(handle, value, status, sourceTimestamp);
  ValueUpdate& u = pending_.emplace_back();
  u.handle = handle;
  u.value.hasValue = u.value.hasStatus = u.value.hasSourceTimestamp = true;
  u.value.value = std::move(value);
  u.value.status = status;
  u.value.sourceTimestamp = sourceTimestamp;
}

void Server::EndUpdate() {
  // Runs in UpdateBatch's destructor, so it must not throw: a batch that
  // cannot be folded for want of memory goes over whole instead.
  try {
    if (pending_.size() > core_.Config().limits.maxPendingUpdates) FoldPending();
  } catch (const std::bad_alloc&) {
  }
  bool wake = !pending_.empty();
  updateMutex_.unlock();
  if (wake && transport_) transport_->Wake();
}

void Server::FoldPending() {
  // Keeps the newest update of each variable, in the order of those newest
  // updates, so a batch's values still arrive together.
  std::vector<size_t> newest(core_.AppVariableCount(), SIZE_MAX);
  for (size_t i = 0; i < pending_.size(); ++i)
    if (pending_[i].handle < newest.size()) newest[pending_[i].handle] = i;
  size_t kept = 0;
  for (size_t i = 0; i < pending_.size(); ++i) {
    const uint32_t h = pending_[i].handle;
    if (h < newest.size() && newest[h] == i) pending_[kept++] = std::move(pending_[i]);
  }
  pending_.resize(kept);
}

size_t Server::PendingUpdateCount() {
  std::lock_guard lock(updateMutex_);
  return pending_.size();
}

void Server::ApplyPending() {
  {
    std::lock_guard lock(updateMutex_);
    applying_.swap(pending_);
  }
  core_.ApplyUpdates(applying_);
  applying_.clear();
  {
    std::lock_guard lock(conditionMutex_);
    applyingConditions_.swap(pendingConditions_);
  }
  core_.ApplyConditionUpdates(applyingConditions_);
  applyingConditions_.clear();
}

}  // namespace opcua
