// File access for case files on Linux: reading under a shared advisory lock,
// and replacing a file atomically under an exclusive one, so that a save
// that fails half-way never damages the file that was there before.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "persistence/RawDeflate.h"

namespace qx {

// How long a read or a save waits for another program's lock. Its reads and
// saves take milliseconds; a lock held longer is treated like a file that
// cannot be opened.
inline constexpr std::chrono::milliseconds kDefaultLockWait{2000};

// Why something that exists is not read or replaced, in the system's
// manner: what it is instead of a regular file ("Is a FIFO, not a regular
// file").
std::string NotRegularFile(mode_t mode);

// Opens `path` read-only when it is a regular file (a link to one is
// followed), without ever blocking: a FIFO neither hangs the caller nor
// opens, and a device, a folder or a socket is refused. The descriptor, or
// -1 with `reason` in the system's words ("No such file or directory",
// "Is a FIFO, not a regular file") and errno kept from the failing call
// (ENOENT for a missing file). `size` gets the file's size.
int OpenRegularFile(const std::string& path, off_t& size, std::string& reason);

// Reads the regular file at `path` whole when it holds at most `maxBytes`
// (checked before reading, and again while reading, for a file that grows).
// False with `reason` otherwise, errno ENOENT for a missing file.
bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                     std::string& reason);

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

// Temporaries of the older form carry no pid; a save takes milliseconds, so
// one that is this old belongs to a save that will never finish.
inline constexpr std::chrono::minutes kStaleTemporaryAge{10};

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
// The temporary is named ".<target name>.<pid>.<6 random characters>" after
// the saving process. A save that was killed leaves its temporary behind;
// the next save of the same target removes those of processes that are no
// longer alive (a save running at that moment in a live process keeps
// its own), and those of the older form ".<target name>.<6 characters>"
// that are older than kStaleTemporaryAge.
bool ReplaceFile(const std::string& path, std::string_view bytes, std::string& reason,
                 std::chrono::milliseconds lockWait = kDefaultLockWait);

}  // namespace qx
