// Client writes, handed from the server thread that validated them to the
// GUI thread that owns the loop data model and the panel: the gain and
// integral items' writes (a field and its edit's text) and the loop
// object's commands (what the operator's controls do), in one queue so that
// they are performed in the order the clients sent them. One writer: the
// GUI thread stores a field and its edit's text together, so a pickup of
// pending changes in between can never read an edit that disagrees with
// its field.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <variant>

#include "engine/LoopModel.h"
#include "opc/LoopCommands.h"

namespace qx {

// The tuning field that a client write changes.
enum class TunedField {
  Gain,      // SingleLoop.P, edit "PSingle"
  Integral,  // SingleLoop.I, edit "ISingle"
};

struct ClientWrite {
  TunedField Field = TunedField::Gain;
  float Value = 0;
  std::string Edit;  // the edit that shows the field
  std::string Text;  // its new text, e.g. "2.500000"
};

// Performs a loop object's command on the GUI thread.
using PerformLoopCommand = std::function<void(const LoopCommand& command)>;

// Shows an edit's new text on the GUI thread.
using ShowEditText = std::function<void(std::string_view edit, const std::string& text)>;

class ClientWriteHandOff {
 public:
  // Any thread: queues a validated write or command, then calls the wake
  // function.
  void Post(ClientWrite write);
  void Post(LoopCommand command);

  // Called after every Post, on the posting thread, so that an idle GUI
  // thread can be woken to deliver. Empty: nobody is woken.
  void SetWake(std::function<void()> wake);

  // GUI thread: stores each queued write into its field and shows its edit
  // text, and performs each queued command, in arrival order. Returns how
  // many were delivered. With nothing queued it only reads a flag: the run
  // calls it at every step. Entries are taken one at a time, so a call made
  // while `perform` runs (the steps of a run that StartRun began) delivers
  // the entries after it, in order. Without `perform` commands are
  // dropped.
  std::size_t Deliver(LoopModel& model, const ShowEditText& showEdit,
                      const PerformLoopCommand& perform = {});

  // Whether a write waits for Deliver; any thread.
  bool AnyPending() const { return anyPending_.load(std::memory_order_acquire); }
  // The flag AnyPending reads, for a run loop that watches it between its
  // steps; it lives as long as this hand-off.
  const std::atomic<bool>& PendingFlag() const { return anyPending_; }

 private:
  void Queue(std::variant<ClientWrite, LoopCommand> entry);

  std::mutex mutex_;
  std::deque<std::variant<ClientWrite, LoopCommand>> pending_;
  // Set with the queue non-empty, cleared when it is taken; written under
  // the mutex, read without it.
  std::atomic<bool> anyPending_{false};
  std::function<void()> wake_;
};

// Stores a write's value into its field of the loop data model.
void StoreClientWrite(LoopModel& model, const ClientWrite& write);

}  // namespace qx
