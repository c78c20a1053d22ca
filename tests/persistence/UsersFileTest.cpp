// The users file: accounts through a save and a load, the checks of
// passwords, the names and files refused, and the file's permissions.

#include "persistence/UsersFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "TestSupport.h"

namespace qx {
namespace {

mode_t Permissions(const std::string& path) {
  struct stat info{};
  stat(path.c_str(), &info);
  return info.st_mode & 0777;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(UsersFileTest, AccountsSurviveASaveAndOnlyTheirPasswordsSignIn) {
  test::TempDir dir;
  const std::string path = dir.File("config/qxsim/users");
  UsersFile users;
  std::string error;
  ASSERT_TRUE(users.Load(path, error)) << error;  // no file yet: no users
  ASSERT_TRUE(users.Add("alice", "wonder land", error)) << error;
  ASSERT_TRUE(users.Add("bob", "wonder land", error)) << error;
  ASSERT_TRUE(users.Save(path, error)) << error;
  EXPECT_EQ(Permissions(path), 0600u);
  EXPECT_EQ(Permissions(dir.File("config/qxsim")), 0700u);

  // Same password, different salts: the stored hashes differ.
  const std::string text = ReadText(path);
  const std::string aliceLine = text.substr(0, text.find('\n'));
  const std::string bobLine =
      text.substr(text.find('\n') + 1, text.find('\n', text.find('\n') + 1) - text.find('\n') - 1);
  EXPECT_TRUE(aliceLine.starts_with("alice:scrypt:16384:8:1:")) << aliceLine;
  EXPECT_NE(aliceLine.substr(aliceLine.find(":1:")), bobLine.substr(bobLine.find(":1:")));
  EXPECT_EQ(text.find("wonder"), std::string::npos);

  UsersFile loaded;
  ASSERT_TRUE(loaded.Load(path, error)) << error;
  EXPECT_TRUE(loaded.Authenticate("alice", "wonder land"));
  EXPECT_FALSE(loaded.Authenticate("alice", "wonder land "));
  EXPECT_FALSE(loaded.Authenticate("alice", ""));
  EXPECT_FALSE(loaded.Authenticate("Alice", "wonder land"));
  EXPECT_FALSE(loaded.Authenticate("carol", "wonder land"));
  EXPECT_TRUE(AuthenticateUser(path, "bob", "wonder land"));
  EXPECT_FALSE(AuthenticateUser(dir.File("missing"), "bob", "wonder land"));
}

TEST(UsersFileTest, AddingAgainChangesThePasswordAndRemoveTakesTheUserOutKeepingComments) {
  test::TempDir dir;
  const std::string path = dir.File("users");
  std::ofstream(path) << "# operators\n\nalice:scrypt:1024:8:1:c2FsdHNhbHQ=:AAAAAAAAAAAAAAAAAAAAAA==\n";
  UsersFile users;
  std::string error;
  ASSERT_TRUE(users.Load(path, error)) << error;
  ASSERT_TRUE(users.Add("alice", "new secret", error)) << error;
  ASSERT_TRUE(users.Add("bob", "bobs secret", error)) << error;
  EXPECT_TRUE(users.Remove("bob"));
  EXPECT_FALSE(users.Remove("bob"));
  ASSERT_TRUE(users.Save(path, error)) << error;

  const std::string text = ReadText(path);
  EXPECT_TRUE(text.starts_with("# operators\n\nalice:scrypt:16384:")) << text;
  EXPECT_EQ(text.find("bob"), std::string::npos);
  EXPECT_TRUE(AuthenticateUser(path, "alice", "new secret"));
}

TEST(UsersFileTest, NamesAndPasswordsThatCannotBeStoredAreRefused) {
  UsersFile users;
  std::string error;
  for (const std::string& name : {std::string(), std::string("a:b"), std::string("a b"), std::string("tab\t"),
                                  std::string("bell\a"), std::string(kMaxUserNameLength + 1, 'x')}) {
    error.clear();
    EXPECT_FALSE(users.Add(name, "secret", error)) << name;
    EXPECT_FALSE(error.empty());
  }
  EXPECT_FALSE(users.Add("alice", "", error));
  EXPECT_EQ(error, "the password is empty");
  EXPECT_FALSE(users.Add("alice", std::string(kMaxPasswordLength + 1, 'p'), error));
  EXPECT_TRUE(users.Add(std::string(kMaxUserNameLength, 'x'), "secret", error)) << error;
  EXPECT_TRUE(users.Add("operator.1@plant-2", "secret", error)) << error;
}

TEST(UsersFileTest, MalformedLinesAreReportedWithTheirLineNumber) {
  test::TempDir dir;
  const std::string good = "alice:scrypt:1024:8:1:c2FsdHNhbHQ=:AAAAAAAAAAAAAAAAAAAAAA==";
  struct Case {
    const char* line;
    const char* why;
  } cases[] = {
      {"bob:secret", "expected NAME:scrypt"},
      {"bob:md5:1024:8:1:c2FsdHNhbHQ=:AAAAAAAAAAAAAAAAAAAAAA==", "unknown hash scheme 'md5'"},
      {"bob:scrypt:1000:8:1:c2FsdHNhbHQ=:AAAAAAAAAAAAAAAAAAAAAA==", "out of range"},      // not a power of 2
      {"bob:scrypt:1048576:64:1:c2FsdHNhbHQ=:AAAAAAAAAAAAAAAAAAAAAA==", "out of range"},  // gigabytes
      {"bob:scrypt:1024:8:0:c2FsdHNhbHQ=:AAAAAAAAAAAAAAAAAAAAAA==", "out of range"},
      {"bob:scrypt:1024:8:1:not base64:AAAAAAAAAAAAAAAAAAAAAA==", "base64"},
      {"b b:scrypt:1024:8:1:c2FsdHNhbHQ=:AAAAAAAAAAAAAAAAAAAAAA==", "a blank"},
  };
  for (const Case& c : cases) {
    const std::string path = dir.File("users");
    std::ofstream(path) << good << "\n" << c.line << "\n";
    UsersFile users;
    std::string error;
    EXPECT_FALSE(users.Load(path, error)) << c.line;
    EXPECT_NE(error.find(path + " line 2: "), std::string::npos) << error;
    EXPECT_NE(error.find(c.why), std::string::npos) << error;
    EXPECT_FALSE(AuthenticateUser(path, "alice", "anything"));
  }
}

TEST(UsersFileTest, ASaveMakesAnExistingReadableFileOwnerOnly) {
  test::TempDir dir;
  const std::string path = dir.File("users");
  std::ofstream(path) << "# shared by mistake\n";
  chmod(path.c_str(), 0644);
  UsersFile users;
  std::string error;
  ASSERT_TRUE(users.Load(path, error)) << error;
  ASSERT_TRUE(users.Add("alice", "secret", error)) << error;
  ASSERT_TRUE(users.Save(path, error)) << error;
  EXPECT_EQ(Permissions(path), 0600u);
}

}  // namespace
}  // namespace qx
