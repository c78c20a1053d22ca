// The registration switches: which argument texts register or unregister
// the server, and which start the window.
#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace qx {
namespace {

TEST(CommandLine, SwitchRules) {
  const struct {
    const char* text;
    ServerSwitch expected;
  } cases[] = {
      {"-regserver", ServerSwitch::Register},
      {"/RegServer", ServerSwitch::Register},
      {"-R", ServerSwitch::Register},
      {"/r", ServerSwitch::Register},
      {"-UNREGSERVER", ServerSwitch::Unregister},
      {"/u", ServerSwitch::Unregister},
      {"", ServerSwitch::None},
      {"case.pid", ServerSwitch::None},
      {"-regserver now", ServerSwitch::None},  // the whole rest must match
      {"-ru", ServerSwitch::None},
      {"-Embedding", ServerSwitch::None},       // what COM adds when it launches the server
      {"/home/me/my-case.pid", ServerSwitch::None},  // "-" inside a path comes first
      {"x/r", ServerSwitch::Register},               // no "-": the first "/"
      {"a-b /r", ServerSwitch::None},                // the first "-" wins over a later "/r"
  };
  for (const auto& c : cases) EXPECT_EQ(FindServerSwitch(c.text), c.expected) << '"' << c.text << '"';
}

TEST(CommandLine, ArgumentTextJoinsWithBlanks) {
  EXPECT_EQ(ArgumentText({}), "");
  EXPECT_EQ(ArgumentText({"-regserver", "now"}), "-regserver now");
  EXPECT_EQ(FindServerSwitch(ArgumentText({"-regserver", "now"})), ServerSwitch::None);
}

}  // namespace
}  // namespace qx
