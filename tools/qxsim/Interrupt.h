// Ctrl-C and SIGTERM for the commands that run: while an InterruptHandlers
// lives, either signal sets a flag that the runs poll, so that the command
// still writes its outputs; the previous handlers come back at its end.
#pragma once

#include <atomic>

namespace qx {

// Set by SIGINT or SIGTERM while an InterruptHandlers lives.
std::atomic<bool>& InterruptFlag();

class InterruptHandlers {
 public:
  InterruptHandlers();
  ~InterruptHandlers();
  InterruptHandlers(const InterruptHandlers&) = delete;
  InterruptHandlers& operator=(const InterruptHandlers&) = delete;

 private:
  void (*previousInt_)(int);
  void (*previousTerm_)(int);
};

}  // namespace qx
