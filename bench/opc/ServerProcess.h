// The benchmark's server in a process of its own, so that its CPU time and
// resident memory are the server's alone (the simulation's stand-in, the
// server thread, its buffers), not the subscribers'. The child is this same
// program started with --server-process; it serves the loop of LoopDriver
// and takes its orders on standard input, one line each:
//   feed RATE SECONDS   publish RATE times a second (0: as fast as it can)
//                       for SECONDS; answers
//                       "fed PUBLICATIONS CHANGES SECONDS CPU_SECONDS"
//   memory              answers "memory RSS_KIB PEAK_RSS_KIB ANONYMOUS_KIB"
// and ends at the end of its input.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

namespace qx::bench {

// The body of the child: serves on a free loopback port, writes its endpoint
// as the first line and follows the orders. Returns the exit status.
int RunServerProcess();

class ServerProcess {
 public:
  struct Fed {
    long publications = 0;
    long changes = 0;  // item changes every subscriber must receive
    double seconds = 0;
    double cpuSeconds = 0;  // the whole server process, every thread
  };

  struct Resident {
    double residentMiB = 0;
    double peakMiB = 0;
    double anonymousMiB = 0;  // heap and stacks, without the program's and libraries' pages
  };

  ServerProcess() = default;
  ~ServerProcess();  // ends the child and waits for it
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Starts the child with the channel security of BenchSecurity.h.
  bool Start(std::string& error);
  const std::string& Endpoint() const { return endpoint_; }
  bool Feed(double rate, double seconds, Fed& fed, std::string& error);
  bool Memory(Resident& memory, std::string& error);

 private:
  bool Ask(const std::string& order, std::string& answer, std::string& error);

  pid_t pid_ = -1;
  std::FILE* orders_ = nullptr;
  std::FILE* answers_ = nullptr;
  std::string endpoint_;
};

}  // namespace qx::bench
