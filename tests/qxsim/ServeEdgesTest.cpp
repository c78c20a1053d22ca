// qxsim serving at the edges: the endpoint line names the port the system
// chose, and a start without enough file descriptors fails with the reason
// instead of claiming to serve.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <regex>
#include <string>
#include <thread>

#include "ProcessRun.h"
#include "opcua/Client.h"

namespace qx::test {
namespace {

// The child keeps its certificates and users in `home`, and holds only
// its standard streams (nothing inherited from the test runner).
void PrepareChild(const std::string& home, rlim_t maxFiles = RLIM_INFINITY) {
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
  unsetenv("QX_OPC_ENDPOINT");
  for (int fd = 3; fd < 1024; ++fd) close(fd);
  if (maxFiles != RLIM_INFINITY) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = maxFiles;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(126);
  }
}

// Waits until the child's standard error holds a line matching `pattern`;
// the first group of the match, or "" when the child said no such thing
// within `timeout`.
std::string AwaitLine(const StartedQxsim& child, const std::regex& pattern, std::chrono::seconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    std::smatch match;
    const std::string err = ReadWholeFile(child.errPath);
    if (std::regex_search(err, match, pattern)) return match[1];
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return {};
}

TEST(QxsimServe, ThePrintedEndpointNamesThePortServedAndTooFewDescriptorsFailWithTheReason) {
  const std::string home = ScratchFolder();
  // Port 0: the line names the port the system chose, and a client reaches
  // the server there.
  const StartedQxsim serving = StartQxsim(
      {"run", "--steps", "1", "--serve", "opc.tcp://127.0.0.1:0", "--serve-after", "3"}, {},
      [&] { PrepareChild(home); });
  const std::string port =
      AwaitLine(serving, std::regex("serving OPC UA at opc\\.tcp://127\\.0\\.0\\.1:(\\d+)\\n"),
                std::chrono::seconds(10));
  ASSERT_FALSE(port.empty()) << ReadWholeFile(serving.errPath);
  EXPECT_NE(port, "0");
  opcua::Client client;
  std::string error;
  EXPECT_TRUE(client.Connect("opc.tcp://127.0.0.1:" + port, error)) << error;
  client.Disconnect();
  kill(serving.pid, SIGTERM);
  EXPECT_EQ(FinishQxsim(serving).exitStatus, 0);

  // With the certificates made above, a handful of descriptors runs out
  // while the server starts: the start fails with its reason, and nothing
  // claims to serve.
  bool reasonNamed = false;
  for (rlim_t maxFiles : {4, 5}) {
    SCOPED_TRACE("at most " + std::to_string(maxFiles) + " open files");
    const auto started = std::chrono::steady_clock::now();
    const ProcessResult r = FinishQxsim(StartQxsim(
        {"run", "--steps", "1", "--serve", "opc.tcp://127.0.0.1:0", "--serve-after", "3"}, {},
        [&] { PrepareChild(home, maxFiles); }));
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << "it served on";
    EXPECT_EQ(r.err.find("serving"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.rfind("qxsim: ", 0), 0u) << r.err;
    reasonNamed = reasonNamed || r.err.find("Too many open files") != std::string::npos;
  }
  EXPECT_TRUE(reasonNamed) << "no start said why it failed";
}

}  // namespace
}  // namespace qx::test
