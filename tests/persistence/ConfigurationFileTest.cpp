#include "persistence/ConfigurationFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TestSupport.h"

namespace qx {
namespace {

namespace fs = std::filesystem;

// Each case runs in a scratch "executable folder" and puts the test
// process's working directory back afterwards.
class ConfigurationFile : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = fs::current_path(); }
  void TearDown() override { fs::current_path(saved_); }
  std::string Apply() { return ApplyConfigurationFileIn(exe_.path()); }
  void Configure(std::string_view content) { test::WriteBytes(exe_.File("TRAVEK.CFG"), content); }

  test::TempDir exe_, other_;
  fs::path saved_;
};

TEST_F(ConfigurationFile, WithoutTheFileTheExecutableFolderIsUsed) {
  EXPECT_EQ(Apply(), exe_.path());
  EXPECT_EQ(fs::current_path(), exe_.path());
}

TEST_F(ConfigurationFile, TheFirstLineNamesTheWorkingFolder) {
  fs::create_directory(exe_.File("cases"));
  const std::string longName(198, 'a');
  fs::create_directory(exe_.File(longName));
  struct Case { std::string content; std::string folder; };
  const Case cases[] = {
      {other_.path() + "\r\n", other_.path()},
      {other_.path(), other_.path()},                        // no line end
      {other_.path() + "\nignored second line\n", other_.path()},
      {"cases\n", exe_.File("cases")},                       // relative to the executable
      {longName + "bbbb\n", exe_.File(longName)},            // cut after 198 characters
      {other_.File("no-such-folder") + "\r\n", exe_.path()}, // silent fallback
      {"", exe_.path()},
      {"\r\n", exe_.path()},
  };
  for (const Case& c : cases) {
    Configure(c.content);
    EXPECT_EQ(Apply(), c.folder) << c.content;
    EXPECT_EQ(fs::current_path(), c.folder);
    fs::current_path(saved_);
  }
}

TEST_F(ConfigurationFile, AFifoInPlaceOfTheFileIsIgnoredWithoutWaiting) {
  ASSERT_EQ(mkfifo(exe_.File("TRAVEK.CFG").c_str(), 0600), 0);
  EXPECT_EQ(Apply(), exe_.path());
}

TEST_F(ConfigurationFile, ExecutableFolderIsTheFolderOfThisProgram) {
  EXPECT_EQ(ExecutableFolder(), fs::canonical("/proc/self/exe").parent_path().string());
}

}  // namespace
}  // namespace qx
