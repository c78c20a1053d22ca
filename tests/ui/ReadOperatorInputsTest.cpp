#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "CaseNames.h"
#include "PanelFixture.h"

namespace qx {
namespace {

class ReadInputs : public ::testing::Test {
 protected:
  ReadInputs() { test::LoadTestCase(m, panel); }
  LoopModel m;
  OperatorPanel panel;
};

struct SimTimeCase {
  std::string text;
  float value;
};

class SimTimeInput : public ReadInputs, public ::testing::WithParamInterface<SimTimeCase> {};

TEST_P(SimTimeInput, IsClampedTo200Through1900) {
  panel.SimTime.Text = GetParam().text;
  ReadOperatorInputs(m, panel);
  EXPECT_EQ(m.RunSettings.SimTime, GetParam().value);
  EXPECT_EQ(m.SingleLoop.SimTime, GetParam().value);
  EXPECT_EQ(m.CascadeLoop.SimTime, 0);
  EXPECT_EQ(m.RunSettings.TimeStep, 0.5f);
}

INSTANTIATE_TEST_SUITE_P(Cases, SimTimeInput,
                         ::testing::Values(SimTimeCase{"150", 200}, SimTimeCase{"200", 200},
                                           SimTimeCase{"1900", 1900}, SimTimeCase{"2500", 1900},
                                           SimTimeCase{"", 200}, SimTimeCase{"abc", 200},
                                           SimTimeCase{"1899.6", 1900},
                                           SimTimeCase{"300.4", 300}),
    [](const auto& info) { return "Text" + test::TextName(info.param.text); });

TEST_F(ReadInputs, TuningEditsConvertTheirLeadingNumber) {
  panel.PSingle.Text = "1.5.2";
  panel.ISingle.Text = "--1..2";
  panel.DSingle.Text = "abc";
  panel.Gain.Text = "-2.5e1";
  panel.TimeConstant1.Text = "0x1A";
  panel.Delay.Text = "-";
  panel.PVNoise.Text = "1.5";
  panel.FilterTimeConstant.Text = "0.5";
  ReadOperatorInputs(m, panel);
  EXPECT_EQ(m.SingleLoop.P, 1.5f);
  EXPECT_EQ(m.SingleLoop.I, 0);
  EXPECT_EQ(m.SingleLoop.D, 0);
  EXPECT_EQ(m.ProcessModel.Gain, -25);
  EXPECT_EQ(m.ProcessModel.Tau1, 0);
  EXPECT_EQ(m.ProcessModel.Order, 0);
  EXPECT_EQ(m.ProcessModel.Delay, 0);
  EXPECT_FLOAT_EQ(m.SingleLoop.PVNoise, 0.015f);
  EXPECT_EQ(m.SingleLoop.FilterTimeConstant, 0) << "normalised";
  EXPECT_EQ(m.SingleLoop.FilterEntered, 0.5f) << "as entered";
}

TEST_F(ReadInputs, HugeTextSaturatesInsteadOfBecomingInfinite) {
  panel.SingleCVHigh.Text = "1e999";
  panel.SingleCVLow.Text = "-1e999";
  panel.Gain.Text = "1e39";
  ReadOperatorInputs(m, panel);
  EXPECT_EQ(m.SingleLoop.CVHigh, std::numeric_limits<float>::max());
  EXPECT_EQ(m.SingleLoop.CVLow, -std::numeric_limits<float>::max());
  EXPECT_EQ(m.ProcessModel.Gain, std::numeric_limits<float>::max());
  // The stored bounds (Gain x 15) saturate as well.
  EXPECT_EQ(m.ProcessModel.GainHigh, std::numeric_limits<float>::max());
}

TEST_F(ReadInputs, CascadePVNoiseKeepsItsValueOverAnyNumberOfReads) {
  m.CascadeLoop.PVNoise = 0.3f;
  panel.PVNoise.Text = std::string("2");
  for (int i = 0; i < 5; ++i) ReadOperatorInputs(m, panel);
  EXPECT_EQ(m.CascadeLoop.PVNoise, 0.3f);
  EXPECT_FLOAT_EQ(m.SingleLoop.PVNoise, 0.02f) << "read afresh, not divided again";
}

TEST_F(ReadInputs, SetPointAboveTheRangeIsStoredAsCVHigh) {
  panel.SingleSPNew.Text = "150";
  EnterKey(m, panel);
  EXPECT_EQ(m.SingleLoop.SPNew, 100);
  EXPECT_TRUE(m.RunControl.ChangesPending);
}

TEST_F(ReadInputs, SignalsGetTheWholeRunAsTheirWindow) {
  m.PulseSignal.Start = 300;
  m.PulseSignal.End = 20;
  panel.PulseOnOff.Select(0);
  panel.RampOnOff.Select(1);
  panel.SineOnOff.Select(-1);
  panel.PulseRandomRegular.Select(1);
  panel.PulseWidth.Text = "-3";
  panel.PulseChange.Text = "4";
  panel.RampRate.Text = "0.5";
  panel.RampChange.Text = "-1";
  panel.SineFrequency.Text = "0.2";
  ReadOperatorInputs(m, panel);
  for (const SignalParams* s : {&m.PulseSignal, &m.RampSignal, &m.SineSignal}) {
    EXPECT_EQ(s->Start, 0);
    EXPECT_EQ(s->End, 50081);
  }
  EXPECT_EQ(m.PulseSignal.On, 1);
  EXPECT_EQ(m.RampSignal.On, 0);
  EXPECT_EQ(m.SineSignal.On, 0);
  EXPECT_EQ(m.PulseSignal.Option, 1);
  EXPECT_EQ(m.PulseSignal.Rate, 0);
  EXPECT_EQ(m.PulseSignal.Size, 4);
  EXPECT_EQ(m.RampSignal.Rate, 0.5f);
  EXPECT_EQ(m.RampSignal.Size, 0);
  EXPECT_FLOAT_EQ(m.SineSignal.Rate, 0.2f);
}

TEST_F(ReadInputs, ConfigurationPages) {
  panel.SinglePIDEquation.Select(3);
  panel.SinglePIDExePeriodRadioGroup.Select(4);
  panel.SingleTrasnformRadioGroup.Select(2);
  panel.SingleGapGain.Text = "0.5";
  panel.SingleGapGainLow.Text = "1";
  panel.SingleGapGainHigh.Text = "2";
  panel.SinglePVSampleDelay.Text = "3";
  panel.SingleCVLow.Text = "10";
  panel.SingleCVHigh.Text = "200";
  panel.SingleMVHigh.Text = "80";
  panel.SingleInitialValveOpening.Text = "0";
  m.RunControl.SpeedChangeEnabled = true;
  m.RunControl.LoopConfiguration = 2;
  ReadOperatorInputs(m, panel);
  const PIDLoop& s = m.SingleLoop;
  EXPECT_EQ(s.Equation, 4);
  EXPECT_EQ(s.ExecPeriod, 5);
  EXPECT_EQ(s.Transform, 2);
  EXPECT_EQ(s.GapGain, 0.5f);
  EXPECT_EQ(s.GapLow, 1);
  EXPECT_EQ(s.GapHigh, 2);
  EXPECT_EQ(s.PVSampleDelay, 3);
  EXPECT_EQ(s.CVLow, 10);
  EXPECT_EQ(s.CVHigh, 200);
  EXPECT_EQ(s.MVHigh, 80);
  EXPECT_EQ(s.InitialValveOpening, 50) << "normalised";
  EXPECT_FALSE(m.RunControl.SpeedChangeEnabled);
  EXPECT_EQ(m.RunControl.LoopConfiguration, 1);
  EXPECT_TRUE(m.RunControl.SingleConfiguration);

  // Without a selected period the loop keeps its own.
  panel.SinglePIDExePeriodRadioGroup.Select(-1);
  ReadOperatorInputs(m, panel);
  EXPECT_EQ(s.ExecPeriod, 5);
}

// Every text the panel writes reads back to the value it shows, whichever
// decimal separator the toolkit patterns use.
TEST_F(ReadInputs, ReadingTheShownValuesBackChangesNothing) {
  for (char separator : {'.', ','}) {
    SCOPED_TRACE(std::string("separator ") + separator);
    panel.DecimalSeparator = separator;
    test::LoadTestCase(m, panel);
    m.SingleLoop.P = 1.25f;
    m.SingleLoop.PVNoise = 0.015f;
    m.SingleLoop.FilterTimeConstant = m.SingleLoop.FilterEntered = 2;
    m.SingleLoop.ExecPeriod = 10;
    m.SingleLoop.OPNew = 37.5f;
    m.ProcessModel.Tau2 = 3;
    m.SineSignal = SignalParams{1, 0, 0, 50081, 2, 0.25f};
    NormaliseLoopParameters(m);
    const LoopModel before = m;
    ShowLoopValues(m, panel);
    ReadOperatorInputs(m, panel);
    EXPECT_EQ(m.SingleLoop.P, before.SingleLoop.P);
    EXPECT_EQ(m.SingleLoop.OPNew, 37.5f);
    EXPECT_FLOAT_EQ(m.SingleLoop.PVNoise, before.SingleLoop.PVNoise);
    EXPECT_EQ(m.SingleLoop.FilterTimeConstant, 2);
    EXPECT_EQ(m.SingleLoop.ExecPeriod, 10);
    EXPECT_EQ(m.ProcessModel.Order, 2);
    EXPECT_EQ(m.SineSignal.On, 1);
    EXPECT_EQ(m.SineSignal.Rate, 0.25f);
    EXPECT_EQ(m.SingleLoop.SPNew, before.SingleLoop.SPNew);
    EXPECT_EQ(m.SingleLoop.InitialValveOpening, before.SingleLoop.InitialValveOpening);
  }
}

// The spin buttons and an OPC client write put texts with the locale
// separator into the edits; Enter reads them back as shown.
TEST_F(ReadInputs, SpinAndClientWriteTextsWithACommaReadBack) {
  panel.DecimalSeparator = ',';
  m.SingleLoop.SPNew = 40.5f;
  m.SingleLoop.OPNew = 20.25f;
  m.SingleLoop.PVNoise = 0.01f;
  SpinClick(m, panel, SpinEdit::SingleSPNew, SpinDirection::Up);
  SpinClick(m, panel, SpinEdit::SingleOPNew, SpinDirection::Down);
  SpinClick(m, panel, SpinEdit::PVNoise, SpinDirection::Up);
  panel.PSingle.Text = "2,500000";  // as the write hook shows "2,5"
  ASSERT_EQ(panel.SingleSPNew.Text, "41,500");
  ASSERT_EQ(panel.SingleOPNew.Text, "19,25");
  ASSERT_EQ(panel.PVNoise.Text, "1,1");
  EnterKey(m, panel);
  EXPECT_EQ(m.SingleLoop.SPNew, 41.5f);
  EXPECT_EQ(m.SingleLoop.OPNew, 19.25f);
  EXPECT_FLOAT_EQ(m.SingleLoop.PVNoise, 0.011f);
  EXPECT_EQ(LoadShared(m.SingleLoop.P), 2.5f);
}

}  // namespace
}  // namespace qx
