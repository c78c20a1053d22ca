#include "tools/qxsim/Interrupt.h"

#include <csignal>

namespace qx {
namespace {

std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler stores into it");

extern "C" void OnInterrupt(int) { gInterrupted.store(true); }

}  // namespace

std::atomic<bool>& InterruptFlag() { return gInterrupted; }

InterruptHandlers::InterruptHandlers()
    : previousInt_(std::signal(SIGINT, OnInterrupt)), previousTerm_(std::signal(SIGTERM, OnInterrupt)) {}

InterruptHandlers::~InterruptHandlers() {
  std::signal(SIGINT, previousInt_);
  std::signal(SIGTERM, previousTerm_);
}

}  // namespace qx
