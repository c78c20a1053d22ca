#include "persistence/SafeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

namespace qx {
namespace {

bool LockWithin(int fd, int operation, std::chrono::milliseconds wait) {
  auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (flock(fd, operation | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string SystemError(std::string_view step, const std::string& path) {
  return std::string(step) + " '" + path + "': " + std::strerror(errno);
}

// The path a save replaces: the target of a symbolic link, else the path.
std::string ResolveTarget(const std::string& path) {
  struct stat info{};
  if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    if (char* real = realpath(path.c_str(), nullptr)) {
      std::string resolved = real;
      std::free(real);
      return resolved;
    }
  }
  return path;
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// A save replaces a regular file or makes a new one; anything else that
// exists at the path is left alone. `target` is the path with a link to a
// regular file resolved.
bool MayReplace(const std::string& path, const std::string& target, std::string& reason) {
  struct stat info{};
  if (stat(target.c_str(), &info) == 0) {
    if (S_ISREG(info.st_mode)) return true;
    reason = "cannot save over '" + target + "': " + NotRegularFile(info.st_mode);
    return false;
  }
  if (errno != ENOENT) {
    reason = SystemError("cannot save to", path);
    return false;
  }
  if (lstat(path.c_str(), &info) == 0) {
    reason = "cannot save to '" + path + "': it is a symbolic link to a missing file";
    return false;
  }
  return true;
}

// The random part that mkostemp() puts in place of "XXXXXX".
constexpr std::size_t kRandomNameLength = 6;

bool IsRandomPart(std::string_view text) {
  return text.size() == kRandomNameLength &&
         std::all_of(text.begin(), text.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

// The process named by the pid is running (or exists and is not ours to
// signal, which counts as running too).
bool ProcessAlive(pid_t pid) { return kill(pid, 0) == 0 || errno != ESRCH; }

// Whether `name` (in the target's folder) is a temporary that a save of
// the target `base` made and will never finish: ".<base>.<pid>.XXXXXX" of
// a process that is gone, or ".<base>.XXXXXX" of the older form that is
// older than kStaleTemporaryAge (`modified` is its modification time).
bool IsStaleTemporary(std::string_view name, const std::string& base, std::time_t modified) {
  const std::string prefix = "." + base + ".";
  if (!name.starts_with(prefix)) return false;
  std::string_view rest = name.substr(prefix.size());
  if (IsRandomPart(rest))
    return std::time(nullptr) - modified > std::chrono::seconds(kStaleTemporaryAge).count();
  const std::size_t dot = rest.find('.');
  if (dot == std::string_view::npos || !IsRandomPart(rest.substr(dot + 1))) return false;
  pid_t pid = 0;
  const auto [end, ec] = std::from_chars(rest.data(), rest.data() + dot, pid);
  if (ec != std::errc() || end != rest.data() + dot || pid <= 0) return false;
  return !ProcessAlive(pid);
}

// Removes the stale temporaries of earlier saves of `base` in `folder`
// (regular files only; a link of that name is left alone). Best effort: a
// folder that cannot be listed or an entry that cannot be removed does not
// stop the save, which works as well beside a leftover.
void RemoveStaleTemporaries(const std::string& folder, const std::string& base) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  const int dirFd = dirfd(dir);
  const std::string prefix = "." + base + ".";
  while (const dirent* entry = readdir(dir)) {
    struct stat info{};
    if (std::string_view(entry->d_name).starts_with(prefix) &&
        fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
        IsStaleTemporary(entry->d_name, base, info.st_mtim.tv_sec))
      unlinkat(dirFd, entry->d_name, 0);
  }
  closedir(dir);
}

mode_t NewFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

std::string NotRegularFile(mode_t mode) {
  if (S_ISDIR(mode)) return std::strerror(EISDIR);
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "Is a device, not a regular file";
  if (S_ISFIFO(mode)) return "Is a FIFO, not a regular file";
  if (S_ISSOCK(mode)) return "Is a socket, not a regular file";
  return "Not a regular file";
}

int OpenRegularFile(const std::string& path, off_t& size, std::string& reason) {
  // Non-blocking, so that opening a FIFO cannot hang; only regular files
  // are read (a device or FIFO could stream without end). No controlling
  // terminal is taken on by opening a terminal device.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    reason = std::strerror(error);
    errno = error;
    return -1;
  }
  struct stat info{};
  int error = 0;
  if (fstat(fd, &info) != 0) {
    error = errno;
    reason = std::strerror(error);
  } else if (!S_ISREG(info.st_mode)) {
    error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    reason = NotRegularFile(info.st_mode);
  } else {
    size = info.st_size;
    return fd;
  }
  close(fd);  // read-only and never read: nothing to lose on close
  errno = error;
  return -1;
}

bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                     std::string& reason) {
  bytes.clear();
  off_t size = 0;
  const int fd = OpenRegularFile(path, size, reason);
  if (fd < 0) return false;
  const std::string tooLarge = "larger than the limit of " + std::to_string(maxBytes) + " bytes";
  int failure = 0;  // errno of the failure, EFBIG for a file over the limit
  if (static_cast<std::uintmax_t>(size) > maxBytes) {
    failure = EFBIG;
    reason = tooLarge + " (" + std::to_string(size) + " bytes)";
  }
  // One byte more than the limit is asked for, to see a file that grew.
  bytes.resize(failure == 0 ? maxBytes + 1 : 0);
  std::size_t filled = 0;
  while (failure == 0) {
    const ssize_t n = read(fd, bytes.data() + filled, bytes.size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) break;
    if (n < 0) {
      failure = errno;
      reason = std::strerror(failure);
    } else if ((filled += static_cast<std::size_t>(n)) > maxBytes) {
      failure = EFBIG;
      reason = tooLarge;
    }
  }
  bytes.resize(failure == 0 ? filled : 0);
  close(fd);  // read-only: a failing close loses nothing that was read
  errno = failure;
  return failure == 0;
}

LockedReader::LockedReader(const std::string& path, std::chrono::milliseconds lockWait) {
  off_t ignored = 0;
  fd_ = OpenRegularFile(path, ignored, failure_);
  if (fd_ >= 0 && !LockWithin(fd_, LOCK_SH, lockWait)) {
    failure_ = "Locked by another program";
    close(fd_);
    fd_ = -1;
  }
}

LockedReader::~LockedReader() {
  if (fd_ >= 0) close(fd_);  // closing releases the lock
}

long LockedReader::Read(unsigned char* buffer, std::size_t capacity) {
  for (;;) {
    ssize_t n = read(fd_, buffer, capacity);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failure_ = std::strerror(errno);
    return static_cast<long>(n);
  }
}

bool ReplaceFile(const std::string& path, std::string_view bytes, std::string& reason,
                 std::chrono::milliseconds lockWait) {
  reason.clear();
  const std::string target = ResolveTarget(path);
  const std::string folder = FolderOf(target);
  if (!MayReplace(path, target, reason)) return false;

  // Hold the exclusive lock of the file being replaced, if there is one.
  // Non-blocking, and checked again once open, in case something else was
  // put in its place meanwhile.
  mode_t mode = NewFileMode();
  int existing = open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (existing >= 0) {
    struct stat info{};
    if (fstat(existing, &info) != 0) reason = SystemError("cannot inspect", target);
    else if (!S_ISREG(info.st_mode))
      reason = "cannot save over '" + target + "': " + NotRegularFile(info.st_mode);
    else if (access(target.c_str(), W_OK) != 0) reason = SystemError("cannot write", target);
    if (!reason.empty()) {
      close(existing);
      return false;
    }
    mode = info.st_mode & 07777;
    if (!LockWithin(existing, LOCK_EX, lockWait)) {
      reason = SystemError("cannot lock", target);
      close(existing);
      return false;
    }
  }

  const std::string base = target.substr(target.rfind('/') + 1);
  RemoveStaleTemporaries(folder, base);
  std::string temporary =
      (folder == "/" ? "" : folder) + "/." + base + "." + std::to_string(getpid()) + ".XXXXXX";
  int fd = mkostemp(temporary.data(), O_CLOEXEC);
  bool ok = fd >= 0;
  if (!ok) reason = SystemError("cannot create a temporary file beside", target);
  if (ok && !(ok = WriteAll(fd, bytes))) reason = SystemError("cannot write", temporary);
  if (ok && !(ok = fchmod(fd, mode) == 0)) reason = SystemError("cannot set the permissions of", temporary);
  if (ok && !(ok = fsync(fd) == 0)) reason = SystemError("cannot flush", temporary);
  if (fd >= 0 && close(fd) != 0 && ok) {
    ok = false;
    reason = SystemError("cannot close", temporary);
  }
  if (ok && !(ok = rename(temporary.c_str(), target.c_str()) == 0))
    reason = SystemError("cannot replace", target);
  if (!ok && fd >= 0) unlink(temporary.c_str());
  if (ok) {
    // Make the rename itself durable.
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      fsync(dir);
      close(dir);
    }
  }
  if (existing >= 0) close(existing);
  return ok;
}

}  // namespace qx
