// Runs qxsim as a child process and collects what it printed.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
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

// A qxsim child process started with its standard output and error going
// to files of a scratch folder, and its standard input from `inputPath`
// when one is given.
struct StartedQxsim {
  pid_t pid = -1;
  std::string outPath, errPath;
};

// `inChild`, when given, runs in the child just before `program` starts
// (to set its environment or limits).
inline StartedQxsim StartProgram(const std::string& program, const std::vector<std::string>& args,
                                 const std::string& inputPath = {}, const std::function<void()>& inChild = {}) {
  const std::string folder = ScratchFolder();
  StartedQxsim started{-1, folder + "/stdout", folder + "/stderr"};
  started.pid = fork();
  if (started.pid == 0) {
    if (!std::freopen(started.outPath.c_str(), "wb", stdout) ||
        !std::freopen(started.errPath.c_str(), "wb", stderr) ||
        (!inputPath.empty() && !std::freopen(inputPath.c_str(), "rb", stdin)))
      _exit(127);
    if (inChild) inChild();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return started;
}

inline StartedQxsim StartQxsim(const std::vector<std::string>& args, const std::string& inputPath = {},
                               const std::function<void()>& inChild = {}) {
  return StartProgram(QXSIM_PATH, args, inputPath, inChild);
}

// Waits for the child to end and collects its output; exitStatus is -1 for
// a child that did not exit normally.
inline ProcessResult FinishQxsim(const StartedQxsim& started) {
  int status = 0;
  waitpid(started.pid, &status, 0);
  ProcessResult result;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadWholeFile(started.outPath);
  result.err = ReadWholeFile(started.errPath);
  return result;
}

// Runs qxsim to its end, or kills it after `limit` (exitStatus stays -1):
// a command that blocks fails the test instead of hanging it.
inline ProcessResult RunQxsimWithin(const std::vector<std::string>& args, std::chrono::seconds limit,
                                    const std::string& inputPath = {}) {
  const StartedQxsim started = StartQxsim(args, inputPath);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (waitpid(started.pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(started.pid, SIGKILL);
      waitpid(started.pid, &status, 0);
      return {-1, ReadWholeFile(started.outPath), "killed after the time limit"};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadWholeFile(started.outPath),
          ReadWholeFile(started.errPath)};
}

// Runs qxsim with `args` to its end.
inline ProcessResult RunQxsim(const std::vector<std::string>& args, const std::string& inputPath = {}) {
  return FinishQxsim(StartQxsim(args, inputPath));
}

}  // namespace qx::test
