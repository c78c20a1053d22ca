#include "bench/opc/ServerProcess.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "bench/opc/BenchSecurity.h"
#include "bench/opc/LoopDriver.h"

extern char** environ;

namespace qx::bench {
namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// VmRSS, VmHWM and the anonymous part of VmRSS (the heap, the stacks: not
// the pages of the program and its libraries) of this process, in KiB.
void ResidentKiB(long& resident, long& peak, long& anonymous) {
  resident = peak = anonymous = 0;
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return;
  char line[256];
  while (std::fgets(line, sizeof line, status)) {
    std::sscanf(line, "VmRSS: %ld kB", &resident);
    std::sscanf(line, "VmHWM: %ld kB", &peak);
    std::sscanf(line, "RssAnon: %ld kB", &anonymous);
  }
  std::fclose(status);
}

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

int RunServerProcess() {
  LoopDriver driver;
  std::string error;
  if (!driver.Serve(error)) {
    std::fprintf(stderr, "bench_opc --server-process: cannot serve: %s\n", error.c_str());
    return 1;
  }
  driver.Advance(true);
  driver.Publish();
  std::printf("%s\n", driver.Endpoint().c_str());
  std::fflush(stdout);
  char line[256];
  while (std::fgets(line, sizeof line, stdin)) {
    double rate = 0, seconds = 0;
    if (std::sscanf(line, "feed %lf %lf", &rate, &seconds) == 2) {
      long publications = 0, changes = 0;
      const double cpu0 = ProcessCpuSeconds();
      const auto start = Clock::now();
      const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
      const auto period = std::chrono::duration<double>(rate > 0 ? 1 / rate : 0);
      while (Clock::now() < end) {
        changes += driver.Advance(true);
        driver.Publish();
        ++publications;
        if (rate > 0)
          std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(period * publications));
      }
      const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
      // The server thread goes on sending what the last publications queued.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      std::printf("fed %ld %ld %.6f %.6f\n", publications, changes, elapsed, ProcessCpuSeconds() - cpu0);
    } else if (std::strncmp(line, "memory", 6) == 0) {
      long resident = 0, peak = 0, anonymous = 0;
      ResidentKiB(resident, peak, anonymous);
      std::printf("memory %ld %ld %ld\n", resident, peak, anonymous);
    } else {
      std::printf("unknown order %s", line);
    }
    std::fflush(stdout);
  }
  return 0;
}

bool ServerProcess::Start(std::string& error) {
  int toChild[2], fromChild[2];
  if (pipe(toChild) != 0) {
    error = Errno("pipe");
    return false;
  }
  if (pipe(fromChild) != 0) {
    error = Errno("pipe");
    close(toChild[0]);
    close(toChild[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
  for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) posix_spawn_file_actions_addclose(&actions, fd);
  std::string self = "/proc/self/exe", mode = "--server-process", secure = "--secure";
  char* argv[] = {self.data(), mode.data(), SecuredChannels() ? secure.data() : nullptr, nullptr};
  const int rc = posix_spawn(&pid_, self.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(toChild[0]);
  close(fromChild[1]);
  if (rc != 0) {
    error = std::string("cannot start the server process: ") + std::strerror(rc);
    pid_ = -1;
    close(toChild[1]);
    close(fromChild[0]);
    return false;
  }
  orders_ = fdopen(toChild[1], "w");
  answers_ = fdopen(fromChild[0], "r");
  if (!orders_ || !answers_) {
    error = Errno("fdopen");
    return false;
  }
  char line[256];
  if (!std::fgets(line, sizeof line, answers_)) {
    error = "the server process ended before it named its endpoint";
    return false;
  }
  endpoint_ = line;
  while (!endpoint_.empty() && endpoint_.back() == '\n') endpoint_.pop_back();
  return true;
}

ServerProcess::~ServerProcess() {
  if (orders_) std::fclose(orders_);  // the child's input ends, and so does the child
  if (answers_) std::fclose(answers_);
  if (pid_ > 0) {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

bool ServerProcess::Ask(const std::string& order, std::string& answer, std::string& error) {
  if (!orders_ || !answers_) {
    error = "the server process is not running";
    return false;
  }
  if (std::fprintf(orders_, "%s\n", order.c_str()) < 0 || std::fflush(orders_) != 0) {
    error = Errno("cannot give the server process the order '" + order + "'");
    return false;
  }
  char line[256];
  if (!std::fgets(line, sizeof line, answers_)) {
    error = "the server process ended without answering '" + order + "'";
    return false;
  }
  answer = line;
  return true;
}

bool ServerProcess::Feed(double rate, double seconds, Fed& fed, std::string& error) {
  std::string answer;
  if (!Ask("feed " + std::to_string(rate) + " " + std::to_string(seconds), answer, error)) return false;
  if (std::sscanf(answer.c_str(), "fed %ld %ld %lf %lf", &fed.publications, &fed.changes, &fed.seconds,
                  &fed.cpuSeconds) != 4) {
    error = "the server process answered '" + answer + "' to a feed";
    return false;
  }
  return true;
}

bool ServerProcess::Memory(Resident& memory, std::string& error) {
  std::string answer;
  if (!Ask("memory", answer, error)) return false;
  long resident = 0, peak = 0, anonymous = 0;
  if (std::sscanf(answer.c_str(), "memory %ld %ld %ld", &resident, &peak, &anonymous) != 3) {
    error = "the server process answered '" + answer + "' to memory";
    return false;
  }
  memory.residentMiB = static_cast<double>(resident) / 1024;
  memory.peakMiB = static_cast<double>(peak) / 1024;
  memory.anonymousMiB = static_cast<double>(anonymous) / 1024;
  return true;
}

}  // namespace qx::bench
