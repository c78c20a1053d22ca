// File access for case files on Linux: reading under a shared advisory lock,
// and replacing a file atomically under an exclusive one, so that a save
// that fails half-way never damages the file that was there before.
#pragma once

#include <string>
#include <string_view>

#include "persistence/RawDeflate.h"

namespace qx {

// A regular file opened read-only with a shared flock() held until
// destruction (writers take the exclusive lock). Waits a bounded time for a
// writer; anything but a regular file does not open.
class LockedReader {
 public:
  explicit LockedReader(const std::string& path);
  ~LockedReader();
  LockedReader(const LockedReader&) = delete;
  LockedReader& operator=(const LockedReader&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // Reads the file from the start as a ByteSource; -1 on a read error.
  long Read(unsigned char* buffer, std::size_t capacity);

 private:
  int fd_ = -1;
};

// Replaces the file at `path` with `bytes`: writes a temporary file in the
// same folder, flushes it to disk, renames it over the target and flushes
// the folder. While it works it holds the exclusive lock of an existing
// target, so readers see the old file or the new one, never a mix. A target
// that is a symbolic link is followed, and an existing file keeps its
// permissions. On failure the target is untouched, the temporary file is
// removed, and `reason` names the step and the system's error.
bool ReplaceFile(const std::string& path, std::string_view bytes, std::string& reason);

}  // namespace qx
