#include "persistence/ConfigurationFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace qx {
namespace {

std::string WorkingDirectory() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

// The first line of the file: at most kMaxConfigurationLine characters,
// stopping after the first line feed, with trailing CR and LF removed.
// Empty when the file cannot be read.
std::string FirstLine(const std::string& path) {
  // Non-blocking open and a regular-file check: a FIFO must not hang start-up.
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  struct stat info{};
  std::string line;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    char buffer[kMaxConfigurationLine];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) line.assign(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  if (std::size_t lf = line.find('\n'); lf != std::string::npos) line.resize(lf + 1);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

}  // namespace

std::string ExecutableFolder() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  std::string path(buffer, static_cast<std::size_t>(length));
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string ApplyConfigurationFileIn(const std::string& executableFolder) {
  if (executableFolder.empty() || chdir(executableFolder.c_str()) != 0) return WorkingDirectory();
  // The working directory is now the executable's folder, so a relative path
  // on the line is taken relative to it.
  std::string folder = FirstLine(std::string(kConfigurationFileName));
  // A folder that cannot be entered leaves the working directory unmoved.
  if (!folder.empty()) (void)!chdir(folder.c_str());
  return WorkingDirectory();
}

std::string ApplyConfigurationFile() { return ApplyConfigurationFileIn(ExecutableFolder()); }

}  // namespace qx
