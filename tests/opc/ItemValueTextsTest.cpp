#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "opc/OPCServer.h"

namespace qx {
namespace {

// A loop in Auto whose fields need every notation: whole numbers, the
// single nearest 0.1, exponents both ways, negative values.
LoopModel AutoLoop() {
  LoopModel m;
  PIDLoop& s = m.SingleLoop;
  s.PV = 12.5f;
  s.SP = 0.1f;
  s.OP = -3.25f;
  s.P = 2;
  s.I = 1e-5f;
  s.D = 1e20f;
  s.CVHigh = 1234567.875f;
  s.CVLow = -50;
  m.RunControl.SingleAutoState = 1;
  m.RunControl.SingleModeCode = 2;
  // The cascade master loop holds values of its own; they are not published.
  m.CascadeLoop.PV = 77;
  m.CascadeLoop.P = 3;
  m.CascadeLoop.Mode = 1;
  return m;
}

std::string WithComma(std::string text) {
  for (char& c : text)
    if (c == '.') c = ',';
  return text;
}

TEST(ItemValueTexts, EveryItemOfAnAutoLoopWithEitherSeparator) {
  const std::vector<std::string> expected = {
      "12.5",  "0.100000001490116", "-3.25", "2", "2", "9.99999974737875E-6",
      "1.00000002004088E20", "1234567.875", "-50",
      "0", "0", "0", "0", "0", "0", "0", "0", "0",  // QX_C.*
      "1",  // DUMMYTAG.PV
      "-3.25", "2", "9.99999974737875E-6", "1.00000002004088E20",
      "0.1",  // KD_Lag from the edit text
      "1234567.875", "-50", "True", "False", "1", "0", "1", "2", "9.99999974737875E-6"};
  ASSERT_EQ(expected.size(), kItemCount);
  for (char separator : {'.', ','}) {
    LoopModel m = AutoLoop();
    COPCServer server(m, separator);
    const auto texts = server.ItemValueTexts(PanelSnapshot{false, "0.1"});
    for (std::size_t i = 0; i < kItemCount; ++i) {
      const std::string want = separator == ',' ? WithComma(expected[i]) : expected[i];
      EXPECT_EQ(texts[i], want) << kItemNames[i] << " with separator '" << separator << "'";
    }
  }
}

TEST(ItemValueTexts, ModeAndTheManualAutoWords) {
  struct Case {
    int autoState, modeCode;
    bool cascadeChecked;
    const char *mode, *so, *qmanAut;
  };
  const Case cases[] = {
      {1, 2, false, "2", "True", "1"},
      {0, 1, false, "1", "False", "0"},
      {0, 1, true, "3", "False", "0"},  // the cascade box wins over the mode code
      {1, 2, true, "3", "True", "1"},
  };
  auto at = [](const auto& texts, std::string_view name) {
    for (std::size_t i = 0; i < kItemCount; ++i)
      if (kItemNames[i] == name) return texts[i];
    return std::string("(no item)");
  };
  for (const Case& c : cases) {
    LoopModel m = AutoLoop();
    m.RunControl.SingleAutoState = c.autoState;
    m.RunControl.SingleModeCode = c.modeCode;
    COPCServer server(m, '.');
    const auto texts = server.ItemValueTexts(PanelSnapshot{c.cascadeChecked, "0"});
    SCOPED_TRACE("auto state " + std::to_string(c.autoState) + ", cascade box " +
                 (c.cascadeChecked ? "checked" : "clear"));
    EXPECT_EQ(at(texts, "QX_S.MODE"), c.mode);
    EXPECT_EQ(at(texts, "QX_S.SO"), c.so);
    EXPECT_EQ(at(texts, "QX_S.QMAN_AUT"), c.qmanAut);
    EXPECT_EQ(at(texts, "QX_S.CASCADE"), "False");
    EXPECT_EQ(at(texts, "QX_S.QSPEXTON"), "0");
  }
}

// Names are unique, so a client reaches exactly one item; the write hook's
// positions are those of the two items that change the loop.
TEST(ItemTable, NamesAreUniqueAndWritesActOnPropAndIntg) {
  for (std::size_t i = 0; i < kItemCount; ++i)
    for (std::size_t j = i + 1; j < kItemCount; ++j) EXPECT_NE(kItemNames[i], kItemNames[j]) << i;
  EXPECT_EQ(kItemNames[kItemProp], "QX_S.PROP");
  EXPECT_EQ(kItemNames[kItemIntg], "QX_S.INTG");
}

// The D Lag edit's text is read as the C library reads a leading number
// ("." always), and written as a double, not rounded to single precision.
TEST(ItemValueTexts, DerivativeLagFromTheEditText) {
  struct Case {
    const char* edit;
    char separator;
    const char* published;
  };
  const Case cases[] = {
      {"0.1", '.', "0.1"},          {"0.1", ',', "0,1"},     {"  2.5 s", '.', "2.5"},
      {"abc", '.', "0"},            {"", '.', "0"},          {"1e-5", '.', "1E-5"},
      {"0.123456789012345678", '.', "0.123456789012346"},  // 15 digits, not 7
      {"2,5", ',', "2"},            // the edit's conversion stops at ','
  };
  constexpr std::size_t kDLag = 23;
  ASSERT_EQ(kItemNames[kDLag], "QX_S.KD_Lag");
  for (const Case& c : cases) {
    LoopModel m = AutoLoop();
    COPCServer server(m, c.separator);
    EXPECT_EQ(server.ItemValueTexts(PanelSnapshot{false, c.edit})[kDLag], c.published)
        << "edit text '" << c.edit << "'";
  }
}

}  // namespace
}  // namespace qx
