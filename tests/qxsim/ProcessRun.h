// Runs qxsim as a child process and collects what it printed.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace qx::test {

struct ProcessResult {
  int exitStatus = -1;
  std::string out;
  std::string err;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A fresh scratch folder under the test's temporary directory.
inline std::string ScratchFolder() {
  std::string pattern = ::testing::TempDir() + "qxsimXXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const char* made = mkdtemp(buffer.data());
  return made ? std::string(made) : ::testing::TempDir();
}

// Runs qxsim with `args`; standard output and error are captured in files.
inline ProcessResult RunQxsim(const std::vector<std::string>& args) {
  const std::string folder = ScratchFolder();
  const std::string outPath = folder + "/stdout", errPath = folder + "/stderr";
  const pid_t child = fork();
  if (child == 0) {
    if (!std::freopen(outPath.c_str(), "wb", stdout) || !std::freopen(errPath.c_str(), "wb", stderr))
      _exit(127);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(QXSIM_PATH));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(QXSIM_PATH, argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ProcessResult result;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadWholeFile(outPath);
  result.err = ReadWholeFile(errPath);
  return result;
}

}  // namespace qx::test
