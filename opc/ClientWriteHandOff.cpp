#include "opc/ClientWriteHandOff.h"

#include <utility>

namespace qx {

void ClientWriteHandOff::Post(ClientWrite write) {
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(std::move(write));
    anyPending_.store(true, std::memory_order_release);
    wake = wake_;
  }
  if (wake) wake();
}

void ClientWriteHandOff::SetWake(std::function<void()> wake) {
  std::lock_guard<std::mutex> lock(mutex_);
  wake_ = std::move(wake);
}

std::size_t ClientWriteHandOff::Deliver(LoopModel& model, const ShowEditText& showEdit) {
  if (!AnyPending()) return 0;
  std::vector<ClientWrite> writes;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    writes.swap(pending_);
    anyPending_.store(false, std::memory_order_relaxed);
  }
  for (const ClientWrite& write : writes) {
    StoreClientWrite(model, write);
    if (showEdit) showEdit(write.Edit, write.Text);
  }
  return writes.size();
}

void StoreClientWrite(LoopModel& model, const ClientWrite& write) {
  StoreShared(write.Field == TunedField::Gain ? model.SingleLoop.P : model.SingleLoop.I, write.Value);
}

}  // namespace qx
