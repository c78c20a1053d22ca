#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CaseNames.h"
#include "engine/FieldTable.h"
#include "PanelFixture.h"

namespace qx {
namespace {

class ShowLoopValuesTest : public ::testing::Test {
 protected:
  ShowLoopValuesTest() { test::LoadTestCase(m, panel); }
  LoopModel m;
  OperatorPanel panel;
};

TEST_F(ShowLoopValuesTest, WritesEachValueInItsFormat) {
  PIDLoop& s = m.SingleLoop;
  m.RunSettings.SimTime = 1900;
  s.P = 2;
  s.I = 12.34567f;
  s.D = 0.5f;
  s.SPNew = 12.3456f;
  s.OPNew = 37.126f;
  s.FilterTimeConstant = 0;
  s.FilterEntered = 0.5f;
  s.PVNoise = 0.015f;
  s.GapGain = 1.5f;
  s.CVLow = -20;
  s.MVHigh = 250;
  s.InitialValveOpening = 99.99f;
  m.ProcessModel.Gain = -2;
  m.ProcessModel.Delay = 1.25f;
  m.DisturbanceModel.Tau1 = 3;
  m.PulseSignal.Rate = 2;
  m.SineSignal.Size = 0.1234f;
  ShowLoopValues(m, panel);
  EXPECT_EQ(panel.SimTime.Text, "1900");
  EXPECT_EQ(panel.PSingle.Text, "2.0000");
  EXPECT_EQ(panel.ISingle.Text, "12.3457");
  EXPECT_EQ(panel.DSingle.Text, "0.5000");
  EXPECT_EQ(panel.SingleSPNew.Text, "12.346");
  EXPECT_EQ(panel.SingleOPNew.Text, "37.13");
  EXPECT_EQ(panel.FilterTimeConstant.Text, "0.5000") << "the filter as entered";
  EXPECT_EQ(panel.PVNoise.Text, "1.5");
  EXPECT_EQ(panel.SingleGapGain.Text, "1.500");
  EXPECT_EQ(panel.SingleCVLow.Text, "-20.000");
  EXPECT_EQ(panel.SingleMVHigh.Text, "250.000");
  EXPECT_EQ(panel.SingleInitialValveOpening.Text, "99.990");
  EXPECT_EQ(panel.Gain.Text, "-2.000");
  EXPECT_EQ(panel.Delay.Text, "1.250");
  EXPECT_EQ(panel.DisturbanceTimeConstant.Text, "3.000");
  EXPECT_EQ(panel.PulseWidth.Text, "2.000");
  EXPECT_EQ(panel.SineAmplitude.Text, "0.123");
  EXPECT_EQ(panel.Layout.SinglePIDPage, 0);
  EXPECT_TRUE(m.RunControl.SingleConfiguration);
}

TEST_F(ShowLoopValuesTest, OutputEditUsesTheLocaleSeparatorOfTheToolkitPattern) {
  panel.DecimalSeparator = ',';
  m.SingleLoop.OPNew = 37.126f;
  m.SingleLoop.SPNew = 2.5f;
  ShowLoopValues(m, panel);
  EXPECT_EQ(panel.SingleOPNew.Text, "37,13");
  EXPECT_EQ(panel.SingleSPNew.Text, "2.500") << "the fixed format always writes a point";
}

TEST_F(ShowLoopValuesTest, LargeValuesAreWrittenInFull) {
  m.SingleLoop.P = 12345678;
  m.ProcessModel.Tau1 = 1e12f;
  ShowLoopValues(m, panel);
  EXPECT_EQ(panel.PSingle.Text, "12345678.0000");
  EXPECT_EQ(panel.TimeConstant1.Text, "999999995904.000");
}

struct PeriodCase {
  float period;
  int item;
};

class ExecPeriodSelection : public ShowLoopValuesTest,
                            public ::testing::WithParamInterface<PeriodCase> {};

TEST_P(ExecPeriodSelection, SelectsTheItemOfTheExactPeriod) {
  m.SingleLoop.ExecPeriod = GetParam().period;
  panel.SinglePIDExePeriodRadioGroup.Select(5);
  ShowLoopValues(m, panel);
  EXPECT_EQ(panel.SinglePIDExePeriodRadioGroup.ItemIndex, GetParam().item);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExecPeriodSelection,
                         ::testing::Values(PeriodCase{0.5f, 0}, PeriodCase{1, 1}, PeriodCase{2, 2},
                                           PeriodCase{3, 3}, PeriodCase{5, 4}, PeriodCase{10, 5},
                                           PeriodCase{15, 6}, PeriodCase{20, 7}, PeriodCase{7, 0},
                                           PeriodCase{2.0001f, 0}),
    [](const auto& info) { return "Period" + test::NumberName(info.param.period); });

TEST_F(ShowLoopValuesTest, RadioGroupsSelectTheirItemsOrNone) {
  struct Case {
    int equation, transform, pulseOn, option;
    int equationItem, transformItem, pulseItem, optionItem;
  };
  for (const Case c : {Case{24, 3, 1, 0, 23, 3, 0, 0}, Case{1, 0, 0, 1, 0, 0, 1, 1},
                       Case{0, 4, 2, 7, -1, -1, 1, 1}, Case{25, -1, -1, -1, -1, -1, 1, 1}}) {
    m.SingleLoop.Equation = c.equation;
    m.SingleLoop.Transform = c.transform;
    m.PulseSignal.On = m.RampSignal.On = m.SineSignal.On = c.pulseOn;
    m.PulseSignal.Option = c.option;
    ShowLoopValues(m, panel);
    EXPECT_EQ(panel.SinglePIDEquation.ItemIndex, c.equationItem) << c.equation;
    EXPECT_EQ(panel.SingleTrasnformRadioGroup.ItemIndex, c.transformItem) << c.transform;
    EXPECT_EQ(panel.PulseOnOff.ItemIndex, c.pulseItem) << c.pulseOn;
    EXPECT_EQ(panel.RampOnOff.ItemIndex, c.pulseItem) << c.pulseOn;
    EXPECT_EQ(panel.SineOnOff.ItemIndex, c.pulseItem) << c.pulseOn;
    EXPECT_EQ(panel.PulseRandomRegular.ItemIndex, c.optionItem) << c.option;
  }
}

TEST_F(ShowLoopValuesTest, ChangesNoModelField) {
  m.SingleLoop.FilterTimeConstant = 0;
  m.SingleLoop.FilterEntered = 0.3f;
  m.SingleLoop.PVNoise = 0.015f;
  m.SingleLoop.Equation = 0;
  auto snapshot = [&] {
    std::vector<std::string> values;
    for (const FieldInfo& f : AllFields()) values.push_back(FieldValueText(m, f));
    return values;
  };
  const std::vector<std::string> before = snapshot();
  ShowLoopValues(m, panel);
  EXPECT_EQ(snapshot(), before);
}

}  // namespace
}  // namespace qx
