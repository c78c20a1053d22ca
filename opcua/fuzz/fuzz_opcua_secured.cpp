// libFuzzer entry for secured channels: every input is played against a
// fresh server that offers every secured policy (see SecuredFuzzInput.h),
// either as raw bytes after HEL (the asymmetric OPN checks) or on an opened
// signed or encrypted channel with a session (the symmetric chunk checks,
// fed correctly secured, tampered and truncated chunks).

#include <cstddef>
#include <cstdint>

#include "SecuredFuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A fresh server per input: sessions outlive their channel, so a shared
  // one would fill up and make inputs depend on each other.
  opcua::fuzz::SecuredHarness harness;
  harness.Run(data, size);
  return 0;
}
