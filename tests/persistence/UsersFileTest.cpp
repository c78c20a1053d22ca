// The users file: accounts through a save and a load, the checks of
// passwords, the names and files refused, and the file's permissions.

#include "persistence/UsersFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <utility>
#include <vector>

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

// Standard error while it lives, as text.
class CapturedStandardError {
 public:
  CapturedStandardError() : saved_(std::cerr.rdbuf(text_.rdbuf())) {}
  ~CapturedStandardError() { std::cerr.rdbuf(saved_); }
  std::string Take() {
    std::string taken = text_.str();
    text_.str({});
    return taken;
  }

 private:
  std::ostringstream text_;
  std::streambuf* saved_;
};

// One line that is not an account is named with its line and why; the
// accounts on the other lines still sign in, and the bad line is kept.
TEST(UsersFileTest, ABadLineIsReportedAndTheOtherAccountsStillSignIn) {
  test::TempDir dir;
  const std::string path = dir.File("users");
  std::string error;
  UsersFile made;
  ASSERT_TRUE(made.Add("alice", "wonder land", error) && made.Save(path, error)) << error;
  const std::string aliceLine = ReadText(path);
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
    std::ofstream(path) << "# operators\n" << c.line << "\n" << aliceLine;
    UsersFile users;
    ASSERT_TRUE(users.Load(path, error)) << c.line << ": " << error;
    ASSERT_EQ(users.Problems().size(), 1u) << c.line;
    EXPECT_TRUE(users.Problems()[0].starts_with(path + ":2: ")) << users.Problems()[0];
    EXPECT_NE(users.Problems()[0].find(c.why), std::string::npos) << users.Problems()[0];
    EXPECT_TRUE(users.HasMalformedLines());
    EXPECT_TRUE(users.Authenticate("alice", "wonder land")) << c.line;
    EXPECT_FALSE(users.Has("bob"));
    EXPECT_FALSE(users.Has("b b"));

    // At start-up the problem is said; a sign-in says it once more only
    // when it changed, and signs in the good account all the same.
    std::ostringstream startUp;
    ReportUsersFile(path, startUp);
    EXPECT_EQ(startUp.str(), users.Problems()[0] + "\n");
    CapturedStandardError stderrText;
    EXPECT_TRUE(AuthenticateUser(path, "alice", "wonder land")) << c.line;
    EXPECT_FALSE(AuthenticateUser(path, "bob", "secret"));
    EXPECT_EQ(stderrText.Take(), "");
    std::ofstream(path, std::ios::app) << "carol\n";
    EXPECT_TRUE(AuthenticateUser(path, "alice", "wonder land")) << c.line;
    const std::string changed = stderrText.Take();
    EXPECT_NE(changed.find(path + ":2: "), std::string::npos) << changed;
    EXPECT_NE(changed.find(path + ":4: expected NAME:scrypt"), std::string::npos) << changed;
  }
}

// Only a regular file of bounded size is read, and opening never waits: a
// FIFO, a device, a folder or a file over the limit is refused at once,
// with what it is, and signs nobody in.
TEST(UsersFileTest, OnlyARegularFileOfBoundedSizeIsRead) {
  test::TempDir dir;
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir.File("zero"));
  std::filesystem::create_directory(dir.File("folder"));
  {
    std::ofstream(dir.File("large")) << "# a comment, then nothing but room\n";
  }
  ASSERT_EQ(truncate(dir.File("large").c_str(), static_cast<off_t>(kMaxUsersFileBytes) + 1), 0);
  const struct {
    const char* name;
    std::string why;
  } cases[] = {
      {"fifo", "Is a FIFO, not a regular file"},
      {"zero", "Is a device, not a regular file"},
      {"folder", "Is a directory"},
      {"large", "larger than the limit of " + std::to_string(kMaxUsersFileBytes) + " bytes (" +
                    std::to_string(kMaxUsersFileBytes + 1) + " bytes)"},
  };
  alarm(10);  // a read that blocks ends the test program instead of hanging it
  for (const auto& c : cases) {
    const std::string path = dir.File(c.name);
    UsersFile users;
    std::string error;
    EXPECT_FALSE(users.Load(path, error)) << c.name;
    EXPECT_EQ(error, "cannot read the users file " + path + ": " + c.why);
    CapturedStandardError stderrText;
    EXPECT_FALSE(AuthenticateUser(path, "alice", "anything")) << c.name;
    EXPECT_EQ(stderrText.Take(), error + "\n");
  }
  alarm(0);
}

// A save onto a FIFO or a link to a device returns at once and leaves it as
// it was (its mode too).
TEST(UsersFileTest, ASaveOntoWhatIsNotARegularFileIsRefusedAtOnce) {
  test::TempDir dir;
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0644), 0);
  std::vector<std::pair<std::string, std::string>> cases = {{dir.File("fifo"), "Is a FIFO, not a regular file"}};
  // A device node of its own (only root may make one), reached by a link.
  if (mknod(dir.File("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    std::filesystem::create_symlink("null", dir.File("to-device"));
    cases.emplace_back(dir.File("to-device"), "Is a device, not a regular file");
  }
  UsersFile users;
  std::string error;
  ASSERT_TRUE(users.Add("alice", "wonder land", error)) << error;
  alarm(10);  // a save that blocks ends the test program instead of hanging it
  for (const auto& [path, why] : cases) {
    const mode_t before = Permissions(path);
    EXPECT_FALSE(users.Save(path, error)) << path;
    EXPECT_EQ(error, "cannot write the users file " + path + ": " + why);
    EXPECT_EQ(Permissions(path), before) << path;
  }
  alarm(0);
}

TEST(UsersFileTest, AFileThatGroupOrOthersMayWriteIsWarnedAbout) {
  test::TempDir dir;
  const std::string path = dir.File("users");
  std::string error;
  UsersFile users;
  ASSERT_TRUE(users.Add("alice", "wonder land", error) && users.Save(path, error)) << error;
  for (mode_t mode : {0620, 0602}) {
    chmod(path.c_str(), mode);
    ASSERT_TRUE(users.Load(path, error)) << error;
    ASSERT_EQ(users.Problems().size(), 1u) << mode;
    EXPECT_TRUE(users.Problems()[0].starts_with("warning: " + path + " may be written by group or others"))
        << users.Problems()[0];
    EXPECT_FALSE(users.HasMalformedLines());
    EXPECT_TRUE(users.Authenticate("alice", "wonder land"));
  }
  chmod(path.c_str(), 0640);
  ASSERT_TRUE(users.Load(path, error)) << error;
  EXPECT_TRUE(users.Problems().empty());
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
