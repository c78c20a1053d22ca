#include "app/DecimalSeparator.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace qx {
namespace {

TEST(DecimalSeparator, FollowsTheLocaleName) {
  struct Case { const char* name; char separator; };
  const Case cases[] = {
      {"", '.'}, {"C", '.'}, {"POSIX", '.'}, {"C.UTF-8", '.'}, {"en_US.UTF-8", '.'},
      {"en_GB", '.'}, {"de_DE.UTF-8", ','}, {"de_DE@euro", ','}, {"fr_FR", ','},
      {"pt_BR.UTF-8", ','}, {"ru_RU.UTF-8", ','}, {"de_CH.UTF-8", '.'}, {"ja_JP.UTF-8", '.'},
  };
  for (const Case& c : cases) EXPECT_EQ(DecimalSeparatorOfLocale(c.name), c.separator) << c.name;
}

// Sets the three locale variables for one test and restores them after.
class LocaleEnvironment : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.emplace_back(value ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
      if (saved_[i]) setenv(kNames[i], saved_[i]->c_str(), 1);
      else unsetenv(kNames[i]);
    }
  }
  static constexpr const char* kNames[] = {"LC_ALL", "LC_NUMERIC", "LANG"};
  std::vector<std::optional<std::string>> saved_;
};

TEST_F(LocaleEnvironment, LcAllThenLcNumericThenLang) {
  EXPECT_EQ(DecimalSeparatorFromEnvironment(), '.');
  setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(DecimalSeparatorFromEnvironment(), ',');
  setenv("LC_NUMERIC", "en_US.UTF-8", 1);
  EXPECT_EQ(DecimalSeparatorFromEnvironment(), '.');
  setenv("LC_ALL", "fr_FR.UTF-8", 1);
  EXPECT_EQ(DecimalSeparatorFromEnvironment(), ',');
  setenv("LC_ALL", "", 1);  // set but empty: skipped
  EXPECT_EQ(DecimalSeparatorFromEnvironment(), '.');
}

}  // namespace
}  // namespace qx
