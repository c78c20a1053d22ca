#include "persistence/ConfigurationFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

#ifndef QX_INSTALLED_DATA_FOLDER
#error "QX_INSTALLED_DATA_FOLDER (the data folder relative to the programs' folder) is set by the build"
#endif

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

bool IsFolder(const std::string& path) {
  struct stat info{};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const std::string& path) {
  struct stat info{};
  return stat(path.c_str(), &info) == 0;
}

}  // namespace

const std::string_view kInstalledDataFolder = QX_INSTALLED_DATA_FOLDER;

std::string ProgramFolder() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  std::string path(buffer, static_cast<std::size_t>(length));
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string DataFolderOf(const std::string& programFolder, std::string_view installedDataFolder) {
  if (programFolder.empty()) return {};
  const std::string own = programFolder + "/";
  if (Exists(own + kStartingCaseFile) || Exists(own + std::string(kConfigurationFileName)))
    return programFolder;
  const std::filesystem::path installed =
      (std::filesystem::path(programFolder) / installedDataFolder).lexically_normal();
  std::string folder = installed.string();
  if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return IsFolder(folder) ? folder : programFolder;
}

std::string ExecutableFolder() { return DataFolderOf(ProgramFolder(), kInstalledDataFolder); }

std::string SaveDialogFolder(const std::string& workingDirectory) {
  const std::string executableFolder = ExecutableFolder();
  const bool installedData = executableFolder != ProgramFolder() && workingDirectory == executableFolder;
  if (!installedData && access(workingDirectory.c_str(), W_OK) == 0) return workingDirectory;
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) : workingDirectory;
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
