// The server at its system-call and thread edges: the port it reports,
// an accept that fails for want of descriptors, a write hook that throws,
// and an update batch that an exception leaves.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "opcua/Client.h"
#include "opcua/NodeIds.h"
#include "opcua/Server.h"
#include "opcua/TcpTransport.h"

namespace opcua {
namespace {

using namespace std::chrono_literals;

TEST(EndpointUrlWithPort, PutsTheBoundPortInPlaceOfTheAskedOne) {
  struct Case {
    const char* url;
    const char* served;
  } cases[] = {
      {"opc.tcp://127.0.0.1:0", "opc.tcp://127.0.0.1:4999"},
      {"opc.tcp://host:0/path/x", "opc.tcp://host:4999/path/x"},
      {"opc.tcp://[::1]:0", "opc.tcp://[::1]:4999"},
      {"opc.tcp://[::1]", "opc.tcp://[::1]"},    // no port to replace
      {"opc.tcp://host/a:b", "opc.tcp://host/a:b"},  // a colon in the path is not a port
      {"http://host:0", "http://host:0"},
  };
  for (const Case& c : cases) EXPECT_EQ(EndpointUrlWithPort(c.url, 4999), c.served) << c.url;
}

// The process's descriptor limit lowered for a scope and put back after.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t soft) {
    getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit tight = saved_;
    tight.rlim_cur = soft;
    applied_ = setrlimit(RLIMIT_NOFILE, &tight) == 0;
  }
  ~DescriptorLimit() { Restore(); }
  void Restore() {
    if (applied_) setrlimit(RLIMIT_NOFILE, &saved_);
    applied_ = false;
  }
  bool Applied() const { return applied_; }

 private:
  rlimit saved_{};
  bool applied_ = false;
};

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

TEST(TransportEdges, AnAcceptWithoutDescriptorsIsReportedOnceAndRetriedWithoutSpinning) {
  SystemClock clock;
  ServerCore core(ServerConfig{}, clock);
  std::mutex linesMutex;
  std::vector<std::string> lines;
  auto said = [&](const std::string& part) {
    std::lock_guard lock(linesMutex);
    int n = 0;
    for (const std::string& line : lines) n += line.find(part) != std::string::npos;
    return n;
  };
  TcpTransport transport([&](std::string_view line) {
    std::lock_guard lock(linesMutex);
    lines.emplace_back(line);
  });
  std::string error;
  ASSERT_TRUE(transport.Listen("127.0.0.1", 0, error)) << error;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(transport.Port());
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // Everything the test needs is made before the limit leaves no descriptor.
  int peer = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(peer, 0);
  std::thread serving([&] { transport.Run(core, [] {}); });
  const int lowestFree = dup(0);
  ASSERT_GE(lowestFree, 0);
  close(lowestFree);

  DescriptorLimit limit(static_cast<rlim_t>(lowestFree));
  ASSERT_TRUE(limit.Applied());
  // The kernel completes the connection in the backlog; the server cannot take it.
  ASSERT_EQ(connect(peer, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const double cpuBefore = ProcessCpuSeconds();
  std::this_thread::sleep_for(1500ms);
  const double cpuSpent = ProcessCpuSeconds() - cpuBefore;
  limit.Restore();

  EXPECT_LT(cpuSpent, 0.3) << "the server thread spins on the failing accept";
  EXPECT_EQ(said("cannot accept a connection: Too many open files"), 1);

  // With descriptors back, the waiting client is taken and answered.
  std::string hello = ClientChannel().Hello("opc.tcp://127.0.0.1");
  ASSERT_EQ(send(peer, hello.data(), hello.size(), MSG_NOSIGNAL), static_cast<ssize_t>(hello.size()));
  pollfd p{peer, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 3000), 1) << "no answer once descriptors are free";
  char answer[4] = {};
  ASSERT_EQ(recv(peer, answer, sizeof answer, 0), 4);
  EXPECT_EQ(std::string(answer, 3), "ACK");
  EXPECT_EQ(said("accepting connections again"), 1);

  transport.Stop();
  serving.join();
  close(peer);
}

class ServerEdges : public ::testing::Test {
 protected:
  void SetUp() override {
    ServerConfig config;
    config.endpointUrl = "opc.tcp://127.0.0.1:0";
    server = std::make_unique<Server>(config);
    uint16_t ns = server->RegisterNamespace("urn:test:edges");
    std::string error;
    ASSERT_TRUE(server->AddVariable(NodeId(0, ids::ObjectsFolder), NodeId(ns, "X"), "X", "empty",
                                    true, handle, error));
    node = NodeId(ns, "X");
  }
  std::string Url() const { return server->ServedEndpointUrl(); }

  std::unique_ptr<Server> server;
  uint32_t handle = 0;
  NodeId node;
};

TEST_F(ServerEdges, TheServedEndpointNamesThePortTheSystemChose) {
  EXPECT_EQ(Url(), "opc.tcp://127.0.0.1:0") << "not started yet";
  std::string error;
  ASSERT_TRUE(server->Start(error)) << error;
  ASSERT_NE(server->Port(), 0);
  EXPECT_EQ(Url(), "opc.tcp://127.0.0.1:" + std::to_string(server->Port()));
}

TEST_F(ServerEdges, AWriteHookThatThrowsDropsOnlyItsConnection) {
  server->SetWriteCallback([](uint32_t, const NodeId&, Variant&) -> StatusCode {
    throw std::runtime_error("hook failed");
  });
  std::string error;
  ASSERT_TRUE(server->Start(error)) << error;
  Client writer, reader;
  ASSERT_TRUE(writer.Connect(Url(), error)) << error;
  ASSERT_TRUE(reader.Connect(Url(), error)) << error;
  EXPECT_EQ(writer.Write(node, Variant("1")), status::BadCommunicationError) << writer.LastError();
  DataValue value;
  EXPECT_EQ(reader.Read(node, value), status::Good) << "the server thread went on";
  Client newcomer;
  EXPECT_TRUE(newcomer.Connect(Url(), error)) << error;
}

TEST_F(ServerEdges, AnUpdateBatchThatAnExceptionLeavesReleasesTheUpdateLock) {
  std::string error;
  ASSERT_TRUE(server->Start(error)) << error;
  try {
    Server::UpdateBatch batch(*server);
    server->SetValue(handle, Variant("2"), status::Good, DateTime::Now());
    throw std::runtime_error("a value could not be made");
  } catch (const std::runtime_error&) {
  }
  // Another thread's batch goes through instead of waiting for ever.
  auto next = std::async(std::launch::async, [&] {
    Server::UpdateBatch batch(*server);
    server->SetValue(handle, Variant("3"), status::Good, DateTime::Now());
  });
  ASSERT_EQ(next.wait_for(2s), std::future_status::ready);
  Client client;
  ASSERT_TRUE(client.Connect(Url(), error)) << error;
  DataValue value;
  for (int i = 0; i < 100 && !(value.value == Variant("3")); ++i) {
    ASSERT_EQ(client.Read(node, value), status::Good);
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_TRUE(value.value == Variant("3"));
}

// A peer that accepts the connection and never answers: an interrupt ends
// the client's wait at once instead of at its timeout.
TEST(ClientEdges, AnInterruptEndsTheWaitForASilentServer) {
  int silent = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(silent, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(silent, 4), 0);
  socklen_t length = sizeof address;
  ASSERT_EQ(getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string url = "opc.tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));

  Client client;
  std::string error;
  auto connecting = std::async(std::launch::async, [&] { return client.Connect(url, error, 5000); });
  std::this_thread::sleep_for(100ms);
  const auto interrupted = std::chrono::steady_clock::now();
  client.Interrupt();
  ASSERT_EQ(connecting.wait_for(2s), std::future_status::ready);
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 200ms);
  EXPECT_FALSE(connecting.get());
  EXPECT_NE(error.find("interrupted"), std::string::npos) << error;
  close(silent);
}

}  // namespace
}  // namespace opcua
