// The history of application variables and the HistoryRead service.

#include "opcua/NodeIds.h"
#include "opcua/ServerCoreInternal.h"

namespace opcua {

// ---- Recording -------------------------------------------------------------------

bool ServerCore::EnableHistory(uint32_t handle, size_t capacity, std::string& error) {
  if (handle >= appVariables_.size()) {
    error = "history: no variable has handle " + std::to_string(handle);
    return false;
  }
  Node& n = *appVariables_[handle];
  if (n.dataType != NodeId(0, ids::Double)) {
    error = "history of " + n.id.ToString() + ": only Double variables keep a history, this one is " +
            n.dataType.ToString();
    return false;
  }
  if (capacity == 0 || capacity > HistoryRing::kMaxCapacity) {
    error = "history of " + n.id.ToString() + ": capacity " + std::to_string(capacity) +
            " is not within 1.." + std::to_string(HistoryRing::kMaxCapacity);
    return false;
  }
  if (histories_.size() <= handle) histories_.resize(appVariables_.size());
  if (histories_[handle]) {
    error = "history of " + n.id.ToString() + " is already enabled";
    return false;
  }
  histories_[handle] = std::make_unique<HistoryRing>(capacity);
  n.history = histories_[handle].get();
  n.accessLevel |= kAccessHistoryRead;
  return true;
}

void ServerCore::RecordHistory(uint32_t handle, const Variant& value, StatusCode status,
                               DateTime sourceTimestamp) {
  if (handle >= histories_.size() || !histories_[handle]) return;
  const auto* number = std::get_if<double>(&value.scalar);
  if (!number || value.isArray) return;
  histories_[handle]->Append(*number, sourceTimestamp, status);
}

void ServerCore::ClearHistory(uint32_t handle) {
  if (handle < histories_.size() && histories_[handle]) histories_[handle]->Clear();
}

}  // namespace opcua
