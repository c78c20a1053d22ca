// Client writes of the gain and the integral term, handed from the server
// thread that validated them to the GUI thread that owns the loop's tuning
// fields and their edits. One writer: the GUI thread stores the field and
// the edit's text together, so a pickup of pending changes in between can
// never read an edit that disagrees with its field.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/LoopModel.h"

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

// Shows an edit's new text on the GUI thread.
using ShowEditText = std::function<void(std::string_view edit, const std::string& text)>;

class ClientWriteHandOff {
 public:
  // Any thread: queues a validated write, then calls the wake function.
  void Post(ClientWrite write);

  // Called after every Post, on the posting thread, so that an idle GUI
  // thread can be woken to deliver. Empty: nobody is woken.
  void SetWake(std::function<void()> wake);

  // GUI thread: stores each queued write into its field and shows its edit
  // text, in arrival order. Returns how many writes were delivered. With
  // nothing queued it only reads a flag: the run calls it at every step.
  std::size_t Deliver(LoopModel& model, const ShowEditText& showEdit);

  // Whether a write waits for Deliver; any thread.
  bool AnyPending() const { return anyPending_.load(std::memory_order_acquire); }

 private:
  std::mutex mutex_;
  std::vector<ClientWrite> pending_;
  // Set with the queue non-empty, cleared when it is taken; written under
  // the mutex, read without it.
  std::atomic<bool> anyPending_{false};
  std::function<void()> wake_;
};

// Stores a write's value into its field of the loop data model.
void StoreClientWrite(LoopModel& model, const ClientWrite& write);

}  // namespace qx
