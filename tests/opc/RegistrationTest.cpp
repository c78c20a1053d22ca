#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "opc/OPCServer.h"

namespace qx {
namespace {

namespace fs = std::filesystem;

// Points XDG_DATA_HOME (and HOME) at a fresh temporary folder for one test
// and restores both afterwards.
class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "qxregXXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    Remember("XDG_DATA_HOME");
    Remember("HOME");
    setenv("XDG_DATA_HOME", root_.c_str(), 1);
    setenv("HOME", (root_ + "/home").c_str(), 1);
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  std::string Folder() const { return root_ + "/qxsim/opc-servers"; }
  std::string RecordPath() const {
    return Folder() + "/Quorvanex.OPC.Simulation.Server.Slave.server";
  }

  static std::map<std::string, std::string> ReadRecord(const std::string& path) {
    std::map<std::string, std::string> keys;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
      const auto equals = line.find('=');
      EXPECT_NE(equals, std::string::npos) << "line '" << line << "' of " << path;
      if (equals != std::string::npos) keys[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return keys;
  }

  std::string root_;

 private:
  void Remember(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
  }
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST_F(Registration, RecordWithTheServersIdentityThenRemoved) {
  EXPECT_EQ(RegistrationFolder(), Folder());
  const GBServerIdentity id = SimulationServerIdentity("opc.tcp://127.0.0.1:4840");
  std::string error;
  ASSERT_TRUE(GBDataAccess::GBRegisterServer(id, error)) << error;
  const std::map<std::string, std::string> want = {
      {"ProgID", "Quorvanex.OPC.Simulation.Server.Slave"},
      {"Description", "Quorvanex OPC Server For Simulation (SLAVE)"},
      {"ShortName", "QxOPCServer"},
      {"Version", "1.0"},
      {"CLSID", id.Clsid},
      {"Endpoint", "opc.tcp://127.0.0.1:4840"},
  };
  EXPECT_EQ(ReadRecord(RecordPath()), want);
  EXPECT_EQ(id.Clsid.size(), 38u) << "a braced GUID: " << id.Clsid;

  // Registering again replaces the record; nothing else is left behind.
  ASSERT_TRUE(GBDataAccess::GBRegisterServer(SimulationServerIdentity("opc.tcp://0.0.0.0:4841"), error))
      << error;
  EXPECT_EQ(ReadRecord(RecordPath())["Endpoint"], "opc.tcp://0.0.0.0:4841");
  EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), fs::directory_iterator()), 1);

  ASSERT_TRUE(GBDataAccess::GBUnregisterServer(id.Clsid, error)) << error;
  EXPECT_FALSE(fs::exists(RecordPath()));
}

TEST_F(Registration, UnregisterRemovesOnlyRecordsOfItsClsid) {
  GBServerIdentity other = SimulationServerIdentity("opc.tcp://127.0.0.1:4850");
  other.ProgId = "Other.Server";
  other.Clsid = "{00000000-0000-0000-0000-000000000001}";
  std::string error;
  ASSERT_TRUE(GBDataAccess::GBRegisterServer(other, error)) << error;
  const std::string ours = SimulationServerIdentity("").Clsid;
  ASSERT_TRUE(GBDataAccess::GBRegisterServer(SimulationServerIdentity("opc.tcp://127.0.0.1:4840"), error));

  ASSERT_TRUE(GBDataAccess::GBUnregisterServer(ours, error)) << error;
  EXPECT_FALSE(fs::exists(RecordPath()));
  EXPECT_TRUE(fs::exists(Folder() + "/Other.Server.server"));
  // Nothing registered: still a success.
  EXPECT_TRUE(GBDataAccess::GBUnregisterServer(ours, error)) << error;
  fs::remove_all(Folder());
  EXPECT_TRUE(GBDataAccess::GBUnregisterServer(ours, error)) << error;
}

TEST_F(Registration, RelativeDataHomeIsIgnoredForTheHomeFolder) {
  setenv("XDG_DATA_HOME", "relative/data", 1);
  EXPECT_EQ(RegistrationFolder(), root_ + "/home/.local/share/qxsim/opc-servers");
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(RegistrationFolder(), root_ + "/home/.local/share/qxsim/opc-servers");
}

TEST_F(Registration, UnwritableFolderFailsNamingTheRecord) {
  // A file where the folder should be.
  std::ofstream(root_ + "/qxsim") << "not a folder";
  std::string error;
  EXPECT_FALSE(GBDataAccess::GBRegisterServer(SimulationServerIdentity("opc.tcp://127.0.0.1:4840"), error));
  EXPECT_NE(error.find("Quorvanex.OPC.Simulation.Server.Slave.server"), std::string::npos) << error;
}

}  // namespace
}  // namespace qx
