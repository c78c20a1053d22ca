// The operator panel's input controls as plain slots, without a GUI
// toolkit: the Qt window binds its widgets to these, the headless runner
// keeps them in memory. Control names are those of the window.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace qx {

// X(name, keyFilter, maxLength (0: none), initialText) for every edit, in
// the order of the window's parameter table.
#define QX_PANEL_EDITS(X)                                                    \
  X(PSingle, true, 8, "") X(ISingle, true, 8, "") X(DSingle, true, 8, "")    \
  X(FilterTimeConstant, true, 0, "") X(SingleSPNew, true, 0, "0")            \
  X(SingleOPNew, true, 0, "0") X(PVNoise, true, 0, "")                       \
  X(DLagSingle, true, 8, "0.0") X(Delay, true, 0, "") X(Gain, true, 0, "")   \
  X(TimeConstant1, true, 0, "") X(TimeConstant2, true, 0, "")                \
  X(DisturbanceDeadTime, true, 8, "") X(DisturbanceGain, true, 8, "")        \
  X(DisturbanceTimeConstant, true, 8, "") X(PulseWidth, false, 8, "")        \
  X(PulseChange, false, 8, "") X(RampRate, false, 8, "")                     \
  X(RampChange, false, 8, "") X(SineFrequency, false, 8, "")                 \
  X(SineAmplitude, false, 8, "") X(SingleCVLow, false, 8, "")                \
  X(SingleCVHigh, false, 8, "") X(SingleMVLow, false, 8, "")                 \
  X(SingleMVHigh, false, 8, "") X(SinglePVSampleDelay, false, 8, "")         \
  X(SingleGapGain, false, 8, "") X(SingleGapGainLow, false, 8, "")           \
  X(SingleGapGainHigh, false, 8, "") X(SingleInitialValveOpening, false, 8, "") \
  X(SimTime, true, 9, "")

// X(name, itemCount) for every radio group, in table order.
#define QX_PANEL_RADIOS(X)                                                   \
  X(PulseOnOff, 2) X(RampOnOff, 2) X(SineOnOff, 2) X(PulseRandomRegular, 2)  \
  X(SinglePIDEquation, 24) X(SinglePIDExePeriodRadioGroup, 8)                \
  X(SingleTrasnformRadioGroup, 4)

struct EditControl {
  std::string Text;
  bool Enabled = true;
  bool Visible = true;
  bool KeyFilter = false;  // accepts only digits, ".", "-", backspace, Enter
  int MaxLength = 0;       // 0: no limit
};

struct RadioGroup {
  int ItemIndex = 0;  // -1: no selection
  int ItemCount = 0;

  // Selects an item; an index outside the items leaves no selection.
  void Select(int index) { ItemIndex = index >= 0 && index < ItemCount ? index : -1; }
};

// Manual/Auto panel: caption and colour show the mode.
struct ModePanelView {
  std::string Caption = "Auto";
  unsigned Colour = 0xB3B3FF;
};

// Visibility and enabled state of the window parts that the panel logic
// switches between layouts.
struct PanelLayout {
  bool ModePageVisible = false;  // a case is active
  bool TwoPlotsPanelVisible = false;
  bool SignalsPanelVisible = false;
  bool ApplyChangesButtonVisible = false;
  bool RunIndicatorOn = false;  // the blinking running indicator
  bool NewCaseFileEnabled = true;
  bool OpenCaseFileEnabled = true;
  bool SaveCaseFileEnabled = false;
  int SinglePIDPage = 0;  // page of the configuration pages
  std::string SimRunningLabel;
  std::string SimRunningLabel1;

  bool operator==(const PanelLayout&) const = default;
};

// Speed commands clicked while the one before them still waited for its
// step. The run takes one command per step, so a quick second click waits
// here and goes to the run in the step after, instead of replacing the
// first. Fixed in size, as no memory is allocated during a run: six commands
// take the speed from one end of its range to the other, and a click beyond
// that is not kept.
struct SpeedClickQueue {
  static constexpr int kDepth = 6;
  std::array<int, kDepth> Commands{};  // SpeedCommand codes, oldest first
  int Count = 0;
};

struct OperatorPanel {
#define QX_DECLARE_EDIT(name, filter, length, text) EditControl name{text, true, true, filter, length};
  QX_PANEL_EDITS(QX_DECLARE_EDIT)
#undef QX_DECLARE_EDIT
#define QX_DECLARE_RADIO(name, count) RadioGroup name{0, count};
  QX_PANEL_RADIOS(QX_DECLARE_RADIO)
#undef QX_DECLARE_RADIO

  ModePanelView ModePanel;
  bool SingleSPNewSpinVisible = true;
  bool SingleOPNewSpinVisible = false;
  bool CascadeModeCheckBox = false;
  PanelLayout Layout;
  SpeedClickQueue SpeedClicks;

  // The decimal separator of the toolkit patterns ("0.00", "0.0", ...):
  // the user's locale. The panel's reader takes it as a decimal point as
  // well as ".".
  char DecimalSeparator = '.';

  OperatorPanel() {
    // The window starts in Auto: the output edit is disabled.
    SingleOPNew.Enabled = false;
  }

  EditControl* FindEdit(std::string_view name);
  RadioGroup* FindRadio(std::string_view name);
};

// The key filter of the numeric edits: digits, ".", "-", backspace (8) and
// carriage return (13).
bool KeyFilterAccepts(char key);

// Whether a key the operator types into `edit` is taken, `lengthAfter` being
// the length of the text once it is: the edit's key filter where it has one,
// and its MaxLength. Backspace and Enter always pass. Only typing is
// limited; a text the program writes into an edit is never cut.
bool TypingAccepted(const EditControl& edit, char key, std::size_t lengthAfter);

// Every control as "NAME=TEXT" lines: the edits in table order, then the
// radio groups with their selected index.
std::string DescribePanel(const OperatorPanel& panel);

}  // namespace qx
