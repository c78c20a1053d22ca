// qxsim user add and remove end to end: the real binary on a scratch users
// file named by QX_OPC_USERS, the password on standard input.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "ProcessRun.h"
#include "persistence/UsersFile.h"

namespace qx::test {
namespace {

class QxsimUser : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = ScratchFolder();
    users = folder + "/conf/users";
    setenv("QX_OPC_USERS", users.c_str(), 1);
  }
  void TearDown() override { unsetenv("QX_OPC_USERS"); }

  // qxsim user ARGS with `input` on its standard input.
  ProcessResult User(const std::vector<std::string>& args, const std::string& input = "") {
    const std::string inputPath = folder + "/input";
    std::ofstream(inputPath, std::ios::binary) << input;
    std::vector<std::string> all{"user"};
    all.insert(all.end(), args.begin(), args.end());
    return RunQxsim(all, inputPath);
  }

  std::string folder;
  std::string users;
};

TEST_F(QxsimUser, AddSetsAPasswordAddAgainChangesItRemoveTakesTheUserOut) {
  ProcessResult r = User({"add", "alice"}, "first secret\n");
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "qxsim user: alice added to " + users + "\n");
  struct stat info{};
  ASSERT_EQ(stat(users.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_TRUE(AuthenticateUser(users, "alice", "first secret"));

  // A password from a file written on Windows keeps no carriage return.
  r = User({"add", "alice"}, "second secret\r\n");
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "qxsim user: alice has a new password in " + users + "\n");
  EXPECT_FALSE(AuthenticateUser(users, "alice", "first secret"));
  EXPECT_TRUE(AuthenticateUser(users, "alice", "second secret"));

  // The last line of input needs no line end.
  ASSERT_EQ(User({"add", "bob"}, "bobs secret").exitStatus, 0);
  r = User({"remove", "alice"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "qxsim user: alice removed from " + users + "\n");
  EXPECT_FALSE(AuthenticateUser(users, "alice", "second secret"));
  EXPECT_TRUE(AuthenticateUser(users, "bob", "bobs secret"));
}

TEST_F(QxsimUser, MistakesEndWithOneLineAndTheirExitStatus) {
  ASSERT_EQ(User({"add", "bob"}, "bobs secret\n").exitStatus, 0);
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int exitStatus;
    std::string err;
  } cases[] = {
      {{}, "", 2, "usage: qxsim user add NAME | qxsim user remove NAME\n"},
      {{"add"}, "", 2, "usage: qxsim user add NAME | qxsim user remove NAME\n"},
      {{"delete", "bob"}, "", 2, "usage: qxsim user add NAME | qxsim user remove NAME\n"},
      {{"add", "two words"},
       "pw\n",
       2,
       "qxsim user: the user name 'two words' has a ':', a blank or a control character\n"},
      {{"add", "carol"}, "", 1, "qxsim user: no password on standard input\n"},
      {{"add", "carol"}, "\n", 1, "qxsim user: the password is empty\n"},
      {{"remove", "carol"}, "", 1, "qxsim user: no user 'carol' in " + users + "\n"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = User(c.args, c.input);
    EXPECT_EQ(r.exitStatus, c.exitStatus) << r.err;
    EXPECT_EQ(r.err, c.err);
  }
  // None of them touched the accounts there are.
  EXPECT_TRUE(AuthenticateUser(users, "bob", "bobs secret"));
  EXPECT_FALSE(AuthenticateUser(users, "carol", ""));
}

TEST_F(QxsimUser, AMalformedUsersFileIsNotRewritten) {
  ASSERT_EQ(User({"add", "bob"}, "bobs secret\n").exitStatus, 0);
  std::ofstream(users, std::ios::app) << "carol:plain:secret\n";
  const ProcessResult r = User({"add", "dave"}, "daves secret\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.err, "qxsim user: " + users + ":2: expected NAME:scrypt:N:r:p:SALT:HASH\nqxsim user: " + users +
                       " is left unchanged until the lines above are mended or removed\n");
  std::ifstream in(users);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("carol:plain:secret"), std::string::npos);
  EXPECT_EQ(text.find("dave"), std::string::npos);
}

// A users file that is a FIFO is refused at once instead of waiting for a
// writer that never comes.
TEST_F(QxsimUser, AUsersFileThatIsAFifoIsRefusedAtOnce) {
  std::filesystem::create_directories(folder + "/conf");
  ASSERT_EQ(mkfifo(users.c_str(), 0600), 0);
  const ProcessResult r = RunQxsimWithin({"user", "add", "dave"}, std::chrono::seconds(10));
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_EQ(r.err, "qxsim user: cannot read the users file " + users + ": Is a FIFO, not a regular file\n");
}

}  // namespace
}  // namespace qx::test
