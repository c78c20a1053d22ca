// What the faceplate shows: PV and SP in the CV range's units with bars
// within that range, OP in percent as the process receives it, the mode.
#include <gtest/gtest.h>

#include "ui/FaceplateView.h"

namespace qx::test {
namespace {

TEST(FaceplateView, ValuesUnitsBarsAndMode) {
  struct Case {
    float cvLow, cvHigh, pv, sp, opOut;
    int32_t mode;
    double pvFraction, spFraction, opFraction;
    const char* pvText;
    const char* modeText;
  };
  const Case cases[] = {
      {0, 100, 49.875f, 50, 61.5f, 1, 0.49875, 0.5, 0.615, "49.88", "Auto"},
      // A range that does not start at 0, and values beyond either end: the
      // bars stop at the ends, the numbers say what is.
      {200, 400, 150, 450, 100, 0, 0, 1, 1, "150.00", "Manual"},
      // A range that is no range: empty bars.
      {5, 5, 5, 5, 0, 0, 0, 0, 0, "5.00", "Manual"},
  };
  for (const Case& c : cases) {
    PIDLoop loop;
    loop.CVLow = c.cvLow;
    loop.CVHigh = c.cvHigh;
    loop.PV = c.pv;
    loop.SP = c.sp;
    loop.OPOut = c.opOut;
    loop.Mode = c.mode;
    const FaceplateView view = DescribeFaceplate(loop);
    SCOPED_TRACE(c.pvText);
    EXPECT_STREQ(view.Readings[0].Name, "PV");
    EXPECT_EQ(view.Readings[0].Value, c.pvText);
    EXPECT_STREQ(view.Readings[0].Unit, kCvUnitText);
    EXPECT_STREQ(view.Readings[2].Unit, "%");
    EXPECT_NEAR(view.Readings[0].Fraction, c.pvFraction, 1e-6);
    EXPECT_NEAR(view.Readings[1].Fraction, c.spFraction, 1e-6);
    EXPECT_NEAR(view.Readings[2].Fraction, c.opFraction, 1e-6);
    EXPECT_EQ(view.Readings[1].Low, std::to_string(static_cast<int>(c.cvLow)));
    EXPECT_EQ(view.Readings[2].High, "100");
    EXPECT_STREQ(view.Mode, c.modeText);
  }
}

}  // namespace
}  // namespace qx::test
