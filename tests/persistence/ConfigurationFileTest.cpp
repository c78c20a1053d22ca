#include "persistence/ConfigurationFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
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

TEST_F(ConfigurationFile, ProgramFolderIsTheFolderOfThisProgram) {
  EXPECT_EQ(ProgramFolder(), fs::canonical("/proc/self/exe").parent_path().string());
}

// Where the data files are taken from, for a program in a build folder, in a
// folder the files were copied into, and installed under a prefix.
TEST_F(ConfigurationFile, TheExecutableFolderOfAProgramIsWhereItsDataFilesLie) {
  const std::string prefix = other_.path();
  fs::create_directories(prefix + "/bin");
  fs::create_directories(prefix + "/share/qxsim");
  const std::string bin = prefix + "/bin";
  struct Case {
    const char* what;
    const char* file;  // put into the program's folder first, or nullptr
    std::string programFolder;
    std::string expected;
  };
  const Case cases[] = {
      {"installed: bin/../share/qxsim", nullptr, bin, prefix + "/share/qxsim"},
      {"the starting case beside the program", kStartingCaseFile, bin, bin},
      {"TRAVEK.CFG beside the program", "TRAVEK.CFG", bin, bin},
      {"no data folder: the program's own", nullptr, exe_.path(), exe_.path()},
      {"unknown program folder", nullptr, "", ""},
  };
  for (const Case& c : cases) {
    if (c.file) test::WriteBytes(c.programFolder + "/" + c.file, "x");
    EXPECT_EQ(DataFolderOf(c.programFolder, "../share/qxsim"), c.expected) << c.what;
    if (c.file) fs::remove(c.programFolder + "/" + c.file);
  }
  // What the build set for the installed layout.
  EXPECT_EQ(kInstalledDataFolder, "../share/qxsim");
}

TEST_F(ConfigurationFile, SaveDialogsStartInAWritableFolder) {
  EXPECT_EQ(SaveDialogFolder(exe_.path()), exe_.path());
  // A folder that cannot be written (here: one that does not exist; the
  // tests may run as root, who may write anywhere) sends the dialog home.
  const char* home = std::getenv("HOME");
  ASSERT_TRUE(home && *home);
  EXPECT_EQ(SaveDialogFolder(other_.File("no-such-folder")), std::string(home));
}

}  // namespace
}  // namespace qx
