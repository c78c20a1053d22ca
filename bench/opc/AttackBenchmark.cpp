// What attacks without credentials cost the clients that are served, on
// loopback (127.0.0.1 only): the server publishes a variable every 55 ms, as
// the run loop does its trend samples, and a subscriber records the largest
// gap between two notifications
//   - without an attack,
//   - while 16 and then 48 connections flood the server with Basic256Sha256
//     OPNs of 64 KiB from untrusted self-made certificates,
//   - while 8 clients guess one user's password,
// and, after 150 clients each left a session with a subscription, a
// monitored item and a waiting Publish behind, how long a newcomer takes to
// be served. Each attack runs for --seconds (default 8, at most 60).
//   bench_attacks [--seconds N]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "bench/opc/AttackClients.h"
#include "opcua/CertificateStore.h"
#include "opcua/NodeIds.h"
#include "opcua/Server.h"
#include "persistence/UsersFile.h"
#include "tests/opcua/TestKeys.h"

namespace qx::bench {
namespace {

constexpr const char* kUser = "operator";
constexpr auto kPublicationPeriod = std::chrono::milliseconds(55);
constexpr int kMaxSeconds = 60;

// A scratch folder for the certificate store and the users file, removed at the end.
struct Scratch {
  Scratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qxattackXXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      std::perror("bench_attacks: mkdtemp");
      std::exit(1);
    }
    path = pattern;
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path;
};

struct Bench {
  Scratch scratch;
  std::unique_ptr<opcua::Server> server;
  opcua::NodeId pv;
  uint32_t handle = 0;
  std::atomic<long> passwordChecks{0};
  std::atomic<bool> publishing{true};
  std::thread publisher;
  std::string endpoint;

  bool Start(std::string& error) {
    const auto& serverIdentity = opcua::testing::ServerIdentity();
    std::shared_ptr<opcua::CertificateStore> store =
        opcua::CertificateStore::Open(scratch.path + "/pki", error);
    if (!store) return false;
    std::ofstream(store->TrustedCertificatesFolder() + "/client.der", std::ios::binary)
        << opcua::testing::ClientIdentity().certificateDer;
    UsersFile users;
    const std::string usersPath = scratch.path + "/users";
    if (!users.Add(kUser, "the right one", error) || !users.Save(usersPath, error)) return false;

    opcua::ServerConfig config;
    config.endpointUrl = "opc.tcp://127.0.0.1:0";
    config.security.certificateDer = serverIdentity.certificateDer;
    config.security.privateKeyPem = serverIdentity.privateKeyPem;
    config.security.offers = {{opcua::kSecurityPolicyNone, opcua::MessageSecurityMode::None},
                              {opcua::kSecurityPolicyBasic256Sha256, opcua::MessageSecurityMode::SignAndEncrypt}};
    config.security.validateClientCertificate = [store](std::string_view der, std::string_view uri) {
      return store->Validate(der, uri);
    };
    config.security.authenticateUser = [this, usersPath](std::string_view user, std::string_view password) {
      ++passwordChecks;
      return AuthenticateUser(usersPath, user, password) ? opcua::status::Good : opcua::status::BadUserAccessDenied;
    };
    server = std::make_unique<opcua::Server>(config);
    const uint16_t ns = server->RegisterNamespace("urn:qx:attack");
    pv = opcua::NodeId(ns, "QX_S.PV");
    if (!server->AddVariable(opcua::NodeId(0, opcua::ids::ObjectsFolder), pv, "QX_S.PV", "0", false, handle,
                             error) ||
        !server->Start(error))
      return false;
    endpoint = "opc.tcp://127.0.0.1:" + std::to_string(server->Port());
    publisher = std::thread([this] {
      for (long n = 1; publishing; ++n) {
        server->BeginUpdate();
        server->SetValue(handle, std::to_string(n), opcua::status::Good, opcua::DateTime::Now());
        server->EndUpdate();
        std::this_thread::sleep_for(kPublicationPeriod);
      }
    });
    return true;
  }

  ~Bench() {
    publishing = false;
    if (publisher.joinable()) publisher.join();
  }
};

// Runs `attack` on `threads` threads for `seconds`; returns what they counted.
template <class Attack>
long RunAttack(int threads, int seconds, Attack attack) {
  const Clock::time_point until = Clock::now() + std::chrono::seconds(seconds);
  std::vector<std::future<long>> counts;
  for (int i = 0; i < threads; ++i) counts.push_back(std::async(std::launch::async, attack, until));
  long total = 0;
  for (auto& c : counts) total += c.get();
  return total;
}

void Report(const char* what, int threads, int seconds, long attempts, double gapMs) {
  std::printf("%-34s %4d threads %3d s %7ld attempts (%6.1f/s)  largest gap %7.1f ms\n", what, threads, seconds,
              attempts, static_cast<double>(attempts) / seconds, gapMs);
}

int Main(int argc, char** argv) {
  int seconds = 8;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: bench_attacks [--seconds N]\n");
      return 2;
    }
  }
  if (seconds < 1 || seconds > kMaxSeconds) {
    std::fprintf(stderr, "bench_attacks: --seconds must be 1 to %d, not %d\n", kMaxSeconds, seconds);
    return 2;
  }
  Bench bench;
  std::string error;
  if (!bench.Start(error)) {
    std::fprintf(stderr, "bench_attacks: cannot serve: %s\n", error.c_str());
    return 1;
  }
  GapRecorder subscriber;
  if (!subscriber.Start(bench.endpoint, bench.pv, error)) {
    std::fprintf(stderr, "bench_attacks: subscriber: %s\n", error.c_str());
    return 1;
  }
  std::printf("publication every %lld ms; the subscriber's largest gap while each attack runs:\n",
              static_cast<long long>(kPublicationPeriod.count()));
  auto from = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(3));
  Report("no attack", 0, 3, 0, subscriber.LargestGapMs(from, Clock::now()));

  const uint16_t port = bench.server->Port();
  const std::string open = HostileOpen(opcua::testing::ServerIdentity().certificateDer);
  for (int threads : {16, 48}) {
    from = Clock::now();
    long sent = RunAttack(threads, seconds, [&](Clock::time_point until) {
      return FloodOpens(port, open, until);
    });
    Report("OPN flood, 64 KiB, untrusted", threads, seconds, sent, subscriber.LargestGapMs(from, Clock::now()));
  }

  from = Clock::now();
  const long checksBefore = bench.passwordChecks;
  long answered = RunAttack(8, seconds, [&](Clock::time_point until) {
    return GuessPasswords(bench.endpoint, kUser, until);
  });
  Report("password guesses, one user", 8, seconds, answered, subscriber.LargestGapMs(from, Clock::now()));
  std::printf("%-34s %ld of them checked with scrypt, the rest refused by the sign-in limits\n", "",
              bench.passwordChecks - checksBefore);

  const int sessions = static_cast<int>(bench.server->Config().limits.maxSessions);
  int abandoned = 0;
  for (int i = 0; i < sessions; ++i) {
    if (AbandonSubscribedSession(port, bench.pv, error))
      ++abandoned;
    else
      std::fprintf(stderr, "bench_attacks: abandoned session %d: %s\n", i, error.c_str());
  }
  // The server notices the dropped connections; the table stays full.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::printf("%d subscribed sessions abandoned, %zu sessions held\n", abandoned, bench.server->SessionCount());
  const Clock::time_point t0 = Clock::now();
  opcua::Client newcomer;
  opcua::DataValue value;
  const bool served = newcomer.Connect(bench.endpoint, error) && newcomer.Read(bench.pv, value).IsGood();
  const double servedMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  if (served)
    std::printf("newcomer served (connect, session, read) in %.1f ms\n", servedMs);
  else
    std::printf("newcomer refused after %.1f ms: %s\n", servedMs, error.c_str());
  newcomer.Disconnect();
  subscriber.Stop();
  return served ? 0 : 1;
}

}  // namespace
}  // namespace qx::bench

int main(int argc, char** argv) { return qx::bench::Main(argc, argv); }
