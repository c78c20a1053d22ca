#include "opc/ClientWriteHandOff.h"

#include <utility>

namespace qx {

void ClientWriteHandOff::Post(ClientWrite write) { Queue(std::move(write)); }

void ClientWriteHandOff::Post(LoopCommand command) { Queue(std::move(command)); }

void ClientWriteHandOff::Queue(std::variant<ClientWrite, LoopCommand> entry) {
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(std::move(entry));
    anyPending_.store(true, std::memory_order_release);
    wake = wake_;
  }
  if (wake) wake();
}

void ClientWriteHandOff::SetWake(std::function<void()> wake) {
  std::lock_guard<std::mutex> lock(mutex_);
  wake_ = std::move(wake);
}

std::size_t ClientWriteHandOff::Deliver(LoopModel& model, const ShowEditText& showEdit,
                                        const PerformLoopCommand& perform) {
  std::size_t delivered = 0;
  // One entry at a time: a command may run a whole run (StartRun), whose
  // steps deliver what comes after it, in order, from the same queue.
  while (AnyPending()) {
    std::variant<ClientWrite, LoopCommand> entry;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (pending_.empty()) break;
      entry = std::move(pending_.front());
      pending_.pop_front();
      if (pending_.empty()) anyPending_.store(false, std::memory_order_relaxed);
    }
    ++delivered;
    if (const ClientWrite* write = std::get_if<ClientWrite>(&entry)) {
      StoreClientWrite(model, *write);
      if (showEdit) showEdit(write->Edit, write->Text);
    } else if (perform) {
      perform(std::get<LoopCommand>(entry));
    }
  }
  return delivered;
}

void StoreClientWrite(LoopModel& model, const ClientWrite& write) {
  StoreShared(write.Field == TunedField::Gain ? model.SingleLoop.P : model.SingleLoop.I, write.Value);
}

}  // namespace qx
