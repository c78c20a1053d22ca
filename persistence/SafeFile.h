// File access for case files on Linux: reading under a shared advisory lock,
// and replacing a file atomically under an exclusive one, so that a save
// that fails half-way never damages the file that was there before.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "persistence/RawDeflate.h"

namespace qx {

// How long a read or a save waits for another program's lock. Its reads and
// saves take milliseconds; a lock held longer is treated like a file that
// cannot be opened.
inline constexpr std::chrono::milliseconds kDefaultLockWait{2000};

// A regular file opened read-only with a shared flock() held until
// destruction (writers take the exclusive lock). Waits up to `lockWait` for
// a writer; anything but a regular file does not open. Opening never
// blocks, not even on a FIFO.
class LockedReader {
 public:
  explicit LockedReader(const std::string& path, std::chrono::milliseconds lockWait = kDefaultLockWait);
  ~LockedReader();
  LockedReader(const LockedReader&) = delete;
  LockedReader& operator=(const LockedReader&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // Reads the file from the start as a ByteSource; -1 on a read error.
  long Read(unsigned char* buffer, std::size_t capacity);
  // Why the file did not open or a read failed, in the system's words
  // ("Permission denied", "Is a directory"); empty while all went well.
  const std::string& Failure() const { return failure_; }

 private:
  int fd_ = -1;
  std::string failure_;
};

// Replaces the file at `path` with `bytes`: writes a temporary file in the
// same folder, flushes it to disk, renames it over the target and flushes
// the folder. While it works it holds the exclusive lock of an existing
// target (waiting up to `lockWait` for it), so readers see the old file or
// the new one, never a mix. A target that is a symbolic link to a regular
// file is followed, and an existing file keeps its permissions. A target
// that exists and is not a regular file (a folder, a device, a FIFO, a
// socket, a dangling or looping link) is refused and left as it is; nothing
// is opened in a way that could block. On failure the target is untouched,
// the temporary file is removed, and `reason` names the step and the
// system's error.
bool ReplaceFile(const std::string& path, std::string_view bytes, std::string& reason,
                 std::chrono::milliseconds lockWait = kDefaultLockWait);

}  // namespace qx
