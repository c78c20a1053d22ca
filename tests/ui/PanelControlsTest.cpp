#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CaseNames.h"
#include "PanelFixture.h"

namespace qx {
namespace {

class PanelControls : public ::testing::Test {
 protected:
  PanelControls() { test::LoadTestCase(m, panel); }
  LoopModel m;
  OperatorPanel panel;
};

struct SpinCase {
  SpinEdit edit;
  SpinDirection direction;
  float before;     // model value (PVNoise as a fraction)
  float after;
  std::string text;
  bool pending;
};

class SpinButtons : public PanelControls, public ::testing::WithParamInterface<SpinCase> {};

float& SpinField(LoopModel& m, SpinEdit edit) {
  switch (edit) {
    case SpinEdit::SingleSPNew: return m.SingleLoop.SPNew;
    case SpinEdit::SingleOPNew: return m.SingleLoop.OPNew;
    case SpinEdit::PVNoise: break;
  }
  return m.SingleLoop.PVNoise;
}

EditControl& SpinEditControl(OperatorPanel& panel, SpinEdit edit) {
  switch (edit) {
    case SpinEdit::SingleSPNew: return panel.SingleSPNew;
    case SpinEdit::SingleOPNew: return panel.SingleOPNew;
    case SpinEdit::PVNoise: break;
  }
  return panel.PVNoise;
}

TEST_P(SpinButtons, StepTheFieldWithinItsBoundsAndShowIt) {
  const SpinCase& c = GetParam();
  SpinField(m, c.edit) = c.before;
  m.RunControl.ChangesPending = false;
  SpinClick(m, panel, c.edit, c.direction);
  EXPECT_FLOAT_EQ(SpinField(m, c.edit), c.after);
  EXPECT_EQ(SpinEditControl(panel, c.edit).Text, c.text);
  EXPECT_EQ(m.RunControl.ChangesPending, c.pending);
}

const char* SpinEditName(SpinEdit edit) {
  switch (edit) {
    case SpinEdit::SingleSPNew: return "SingleSPNew";
    case SpinEdit::SingleOPNew: return "SingleOPNew";
    case SpinEdit::PVNoise: break;
  }
  return "PVNoise";
}

constexpr auto kUp = SpinDirection::Up;
constexpr auto kDown = SpinDirection::Down;

INSTANTIATE_TEST_SUITE_P(
    Cases, SpinButtons,
    ::testing::Values(
        SpinCase{SpinEdit::SingleSPNew, kDown, 0.4f, 0, "0.000", true},
        SpinCase{SpinEdit::SingleSPNew, kUp, 0, 1, "1.000", true},
        SpinCase{SpinEdit::SingleSPNew, kUp, 100, 101, "101.000", true},  // no ceiling here
        SpinCase{SpinEdit::SingleSPNew, kDown, 7.25f, 6.25f, "6.250", true},
        SpinCase{SpinEdit::SingleOPNew, kDown, 0.5f, 0, "0.00", false},
        SpinCase{SpinEdit::SingleOPNew, kUp, 100, 101, "101.00", false},
        SpinCase{SpinEdit::PVNoise, kUp, 1.0f, 1.0f, "100.0", true},
        SpinCase{SpinEdit::PVNoise, kDown, 0.0005f, 0, "0.0", true},
        SpinCase{SpinEdit::PVNoise, kUp, 0.005f, 0.006f, "0.6", true},
        SpinCase{SpinEdit::PVNoise, kDown, 0.5f, 0.499f, "49.9", true},
        // each direction has its own bound only: up has no floor, down no
        // ceiling (values outside the bounds come from case files)
        SpinCase{SpinEdit::SingleSPNew, kUp, -5, -4, "-4.000", true},
        SpinCase{SpinEdit::PVNoise, kUp, -0.05f, -0.049f, "-4.9", true},
        SpinCase{SpinEdit::PVNoise, kDown, 1.5f, 1.499f, "149.9", true}),
    [](const auto& info) {
      const SpinCase& c = info.param;
      return std::string(SpinEditName(c.edit)) + (c.direction == kUp ? "Up" : "Down") + "From" +
             test::NumberName(c.before);
    });

TEST(KeyFilter, AcceptsDigitsPointMinusBackspaceAndEnterOnly) {
  for (char c : std::string("0123456789.-\b\r")) EXPECT_TRUE(KeyFilterAccepts(c)) << int(c);
  for (char c : std::string("aeE +,x\t")) EXPECT_FALSE(KeyFilterAccepts(c)) << int(c);
  // Nothing checks the order: "--1..2" can be typed, and reads as 0.
  for (char c : std::string("--1..2")) EXPECT_TRUE(KeyFilterAccepts(c));
}

TEST(TypingAccepted, KeyFilterAndMaxLengthLimitTypingOnly) {
  OperatorPanel panel;
  const EditControl& gain = panel.PSingle;        // filtered, at most 8
  const EditControl& pulse = panel.PulseWidth;    // unfiltered, at most 8
  const EditControl& noise = panel.PVNoise;       // filtered, no limit
  struct Case {
    const EditControl* edit;
    char key;
    std::size_t lengthAfter;
    bool accepted;
  } const cases[] = {
      {&gain, '5', 8, true},    {&gain, '5', 9, false},  {&gain, 'a', 1, false},
      {&gain, '\b', 12, true},  {&gain, '\r', 12, true}, {&pulse, 'a', 3, true},
      {&pulse, 'a', 9, false},  {&noise, '7', 500, true}, {&noise, ',', 2, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TypingAccepted(*c.edit, c.key, c.lengthAfter), c.accepted)
        << "key " << int(c.key) << " length " << c.lengthAfter;
  // A text the program writes is not cut to the limit.
  LoopModel m;
  m.SingleLoop.P = 123456.789f;
  ShowLoopValues(m, panel);
  EXPECT_GT(panel.PSingle.Text.size(), 8u);
}

TEST_F(PanelControls, SpinTextUsesTheLocaleSeparator) {
  panel.DecimalSeparator = ',';
  m.SingleLoop.SPNew = 2;
  SpinClick(m, panel, SpinEdit::SingleSPNew, kUp);
  EXPECT_EQ(panel.SingleSPNew.Text, "3,000");
}

TEST_F(PanelControls, ModePanelTogglesBetweenAutoAndManual) {
  ASSERT_EQ(m.RunControl.SingleAutoState, 1);
  manual_auto_selectClick(m, panel);
  EXPECT_EQ(panel.ModePanel.Caption, "Manual");
  EXPECT_EQ(panel.ModePanel.Colour, 0xFF8484u);
  EXPECT_EQ(m.RunControl.SingleAutoState, 0);
  EXPECT_EQ(m.RunControl.SingleModeSelect, 0);
  EXPECT_EQ(m.RunControl.SingleModeCode, 1);
  EXPECT_FALSE(panel.SingleSPNew.Enabled);
  EXPECT_FALSE(panel.SingleSPNew.Visible);
  EXPECT_FALSE(panel.SingleSPNewSpinVisible);
  EXPECT_TRUE(panel.SingleOPNew.Enabled);
  EXPECT_TRUE(panel.SingleOPNewSpinVisible);

  manual_auto_selectClick(m, panel);
  EXPECT_EQ(panel.ModePanel.Caption, "Auto");
  EXPECT_EQ(panel.ModePanel.Colour, 0xB3B3FFu);
  EXPECT_EQ(m.RunControl.SingleAutoState, 1);
  EXPECT_EQ(m.RunControl.SingleModeSelect, 1);
  EXPECT_EQ(m.RunControl.SingleModeCode, 2);
  EXPECT_TRUE(panel.SingleSPNew.Enabled);
  EXPECT_TRUE(panel.SingleSPNew.Visible);
  EXPECT_TRUE(panel.SingleSPNewSpinVisible);
  EXPECT_FALSE(panel.SingleOPNew.Enabled);
  EXPECT_FALSE(panel.SingleOPNewSpinVisible);
}

TEST_F(PanelControls, CheckingCascadeModePutsTheLoopInAutoAndUncheckingDoesNothing) {
  for (int startState : {0, 1}) {
    if (m.RunControl.SingleAutoState != startState) manual_auto_selectClick(m, panel);
    panel.CascadeModeCheckBox = false;
    CascadeModeCheckBoxClick(m, panel);
    EXPECT_TRUE(panel.CascadeModeCheckBox);
    EXPECT_EQ(m.RunControl.SingleAutoState, 1) << "from " << startState;
    EXPECT_EQ(m.RunControl.SingleModeSelect, 1);
    EXPECT_EQ(m.RunControl.SingleModeCode, 2);
    EXPECT_EQ(panel.ModePanel.Caption, "Auto");
  }
  manual_auto_selectClick(m, panel);  // Manual
  CascadeModeCheckBoxClick(m, panel);  // unchecked
  EXPECT_FALSE(panel.CascadeModeCheckBox);
  EXPECT_EQ(m.RunControl.SingleAutoState, 0);
  EXPECT_EQ(panel.ModePanel.Caption, "Manual");
}

TEST_F(PanelControls, SpeedControlsSetTheCommandAndBothFlags) {
  for (auto [click, command] : {std::pair{SpeedCommand::Faster, 1},
                                std::pair{SpeedCommand::Normal, 2},
                                std::pair{SpeedCommand::Slower, 3}}) {
    m.RunControl.SpeedChangeEnabled = m.RunControl.SpeedCommandPending = false;
    SpeedControlClick(m, click);
    EXPECT_EQ(m.RunControl.SpeedCommand, command);
    EXPECT_TRUE(m.RunControl.SpeedChangeEnabled);
    EXPECT_TRUE(m.RunControl.SpeedCommandPending);
  }
}

TEST_F(PanelControls, LeavingTheSetPointOrOutputEditAsksForAPickup) {
  for (const char* name : {"SingleSPNew", "SingleOPNew", "PSingle", "SimTime"}) {
    m.RunControl.ChangesPending = false;
    LeaveEdit(m, name);
    EXPECT_EQ(m.RunControl.ChangesPending, std::string(name) == "SingleSPNew" ||
                                               std::string(name) == "SingleOPNew")
        << name;
  }
}

TEST_F(PanelControls, StopSimulationAnsweredYesEndsTheRunAndShowsTheIdleLayout) {
  std::vector<std::string> asked;
  m.RunControl.StopRequested = false;
  panel.Layout.RunIndicatorOn = true;
  cmd_exitClick(m, panel, [&](std::string_view q) {
    asked.emplace_back(q);
    return true;
  });
  EXPECT_EQ(asked, (std::vector<std::string>{"End This Simulation?"}));
  EXPECT_TRUE(m.RunControl.StopRequested);
  EXPECT_TRUE(m.RunControl.ChangesPending);
  const PanelLayout& l = panel.Layout;
  EXPECT_FALSE(l.ModePageVisible);
  EXPECT_FALSE(l.TwoPlotsPanelVisible);
  EXPECT_FALSE(l.SignalsPanelVisible);
  EXPECT_FALSE(l.ApplyChangesButtonVisible);
  EXPECT_FALSE(l.RunIndicatorOn);
  EXPECT_TRUE(l.NewCaseFileEnabled);
  EXPECT_TRUE(l.OpenCaseFileEnabled);
  EXPECT_FALSE(l.SaveCaseFileEnabled);
  EXPECT_EQ(l.SimRunningLabel, "Simulation Running.");
  EXPECT_EQ(l.SimRunningLabel1, "Click 'Halt Simulation' to stop.");
}

TEST_F(PanelControls, StopSimulationAnsweredNoLeavesTheRunGoing) {
  m.RunControl.StopRequested = true;  // cleared first
  cmd_exitClick(m, panel, [](std::string_view) { return false; });
  EXPECT_FALSE(m.RunControl.StopRequested);
  EXPECT_TRUE(m.RunControl.ChangesPending);
  EXPECT_TRUE(panel.Layout.ModePageVisible);
  EXPECT_FALSE(panel.Layout.SaveCaseFileEnabled);
}

TEST_F(PanelControls, StopSimulationWithoutAnActiveCaseAsksNothing) {
  ShowIdleLayout(panel);
  panel.Layout.SaveCaseFileEnabled = true;
  bool asked = false;
  cmd_exitClick(m, panel, [&](std::string_view) {
    asked = true;
    return true;
  });
  EXPECT_FALSE(asked);
  EXPECT_FALSE(m.RunControl.StopRequested);
  EXPECT_TRUE(m.RunControl.ChangesPending);
  EXPECT_FALSE(panel.Layout.SaveCaseFileEnabled);
}

}  // namespace
}  // namespace qx
