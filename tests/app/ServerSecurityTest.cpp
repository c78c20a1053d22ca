// The application's server with its security from the environment: the
// certificate folder and users file it is given, a secured client that is
// refused until an administrator trusts it, and who may write.
#include <stdlib.h>
#include <unistd.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>

#include "AppFixture.h"
#include "opcua/Client.h"
#include "opcua/SecurityPolicies.h"
#include "opcua/SelfSignedCertificate.h"
#include "persistence/UsersFile.h"

namespace qx {
namespace {

namespace fs = std::filesystem;

constexpr const char* kClientUri = "urn:test:gain-client";
const opcua::NodeId kGain(1, std::string("QX_S.PROP"));

// Sets environment variables for one test and puts back what was there.
class ScopedEnvironment {
 public:
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }
  void Set(const std::string& name, const std::string& value) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    setenv(name.c_str(), value.c_str(), 1);
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class ServerSecurity : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "securityXXXXXX";
    folder = mkdtemp(pattern.data());
    environment.Set("QX_OPC_PKI", folder + "/pki");
    environment.Set("QX_OPC_USERS", folder + "/users");
    for (const char* name : {"QX_OPC_SECURITY", "QX_OPC_ANONYMOUS", "QX_OPC_ANONYMOUS_WRITES"})
      environment.Set(name, "");
  }
  void TearDown() override { fs::remove_all(folder); }

  test::FakeAppHost host;
  Application app{host, '.'};
  ScopedEnvironment environment;
  std::string folder;
};

TEST_F(ServerSecurity, ASettingNotUnderstoodKeepsTheServerFromStarting) {
  environment.Set("QX_OPC_ANONYMOUS", "maybe");
  std::string error;
  EXPECT_FALSE(app.StartServer("opc.tcp://127.0.0.1:0", error));
  EXPECT_EQ(error, "QX_OPC_ANONYMOUS=maybe: expected allow or deny");
  EXPECT_EQ(app.Server(), nullptr);
}

TEST_F(ServerSecurity, ASecuredClientIsTrustedByMovingItsCertificateAndOnlyItsUserMayWrite) {
  environment.Set("QX_OPC_ANONYMOUS_WRITES", "deny");
  UsersFile users;
  std::string error;
  ASSERT_TRUE(users.Add("operator", "wonder-land", error) && users.Save(folder + "/users", error)) << error;
  const std::string endpoint = test::ServeOnFreePort(app);
  ASSERT_FALSE(endpoint.empty());
  EXPECT_TRUE(app.ServedSecurity().starts_with("None, Basic256Sha256 Sign, ")) << app.ServedSecurity();
  EXPECT_TRUE(app.ServedSecurity().ends_with("; anonymous sessions may read, signed-in users write"));
  EXPECT_TRUE(fs::exists(folder + "/pki/own/certs/cert.der"));

  std::string clientCertificate, clientKey;
  ASSERT_TRUE(opcua::MakeSelfSignedCertificate(kClientUri, "GainClient", "localhost", 1, clientCertificate,
                                               clientKey));
  auto signIn = [&](opcua::Client& client, const char* password) {
    client.SetApplicationUri(kClientUri);
    client.SetSecurity(opcua::kSecurityPolicyBasic256Sha256, opcua::MessageSecurityMode::SignAndEncrypt,
                       clientCertificate, clientKey);
    client.SetUser("operator", password);
    return client.Connect(endpoint, error);
  };

  // Unknown at first: refused and kept for the administrator.
  opcua::Client refused;
  EXPECT_FALSE(signIn(refused, "wonder-land"));
  std::vector<fs::path> rejected;
  for (const auto& entry : fs::directory_iterator(folder + "/pki/rejected")) rejected.push_back(entry.path());
  ASSERT_EQ(rejected.size(), 1u);

  // Trusted once moved, with the server running on.
  fs::rename(rejected[0], folder + "/pki/trusted/certs/" + rejected[0].filename().string());
  opcua::Client wrongPassword;
  EXPECT_FALSE(signIn(wrongPassword, "wonder"));
  opcua::Client user;
  ASSERT_TRUE(signIn(user, "wonder-land")) << error;
  EXPECT_EQ(user.Write(kGain, opcua::Variant(std::string("2.5"))), opcua::status::Good);

  // An anonymous session reads but may not write.
  opcua::Client anonymous;
  ASSERT_TRUE(anonymous.Connect(endpoint, error)) << error;
  opcua::DataValue value;
  EXPECT_EQ(anonymous.Read(kGain, value), opcua::status::Good);
  EXPECT_EQ(anonymous.Write(kGain, opcua::Variant(std::string("3.5"))), opcua::status::BadUserAccessDenied);
}

// A users file that is a FIFO or a link to an endless device neither stalls
// the server at a sign-in nor is read: the sign-in is refused at once, and
// the server goes on serving.
TEST_F(ServerSecurity, AUsersFileThatIsNotARegularFileRefusesSignInsWithoutStallingTheServer) {
  std::string clientCertificate, clientKey, error;
  ASSERT_TRUE(opcua::MakeSelfSignedCertificate(kClientUri, "GainClient", "localhost", 1, clientCertificate,
                                               clientKey));
  ASSERT_EQ(mkfifo((folder + "/fifo").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", folder + "/zero");
  for (const char* usersFile : {"fifo", "zero"}) {
    Application served{host, '.'};
    environment.Set("QX_OPC_USERS", folder + "/" + usersFile);
    const std::string endpoint = test::ServeOnFreePort(served);
    ASSERT_FALSE(endpoint.empty()) << usersFile;
    fs::create_directories(folder + "/pki/trusted/certs");
    std::ofstream(folder + "/pki/trusted/certs/client.der", std::ios::binary) << clientCertificate;

    const auto start = std::chrono::steady_clock::now();
    opcua::Client user;
    user.SetApplicationUri(kClientUri);
    user.SetSecurity(opcua::kSecurityPolicyBasic256Sha256, opcua::MessageSecurityMode::SignAndEncrypt,
                     clientCertificate, clientKey);
    user.SetUser("operator", "wonder-land");
    EXPECT_FALSE(user.Connect(endpoint, error)) << usersFile;
    EXPECT_NE(error.find("BadUserAccessDenied"), std::string::npos) << usersFile << ": " << error;
    opcua::Client anonymous;
    EXPECT_TRUE(anonymous.Connect(endpoint, error)) << usersFile << ": " << error;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << usersFile;
  }
}

}  // namespace
}  // namespace qx
