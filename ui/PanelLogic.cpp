#include "ui/PanelLogic.h"

#include <algorithm>
#include <string>

#include "engine/Normalise.h"
#include "engine/NumberText.h"
#include "engine/Plant.h"
#include "engine/RunLoop.h"

namespace qx {
namespace {

// The operator's text-to-number conversion. The panel's own display
// patterns write the locale's decimal separator, so that separator reads as
// a decimal point as well as ".": every text the program writes into an
// edit reads back to the value it shows.
float Read(const EditControl& edit, char separator) {
  if (separator == '.' || edit.Text.find(separator) == std::string::npos)
    return ParseLeadingSingle(edit.Text);
  std::string text = edit.Text;
  std::replace(text.begin(), text.end(), separator, '.');
  return ParseLeadingSingle(text);
}

void Show(EditControl& edit, float value, int decimals) {
  edit.Text = FormatFixed(value, decimals);
}

constexpr float kExecPeriods[8] = {0.5f, 1, 2, 3, 5, 10, 15, 20};

// The end that the signal edits give the pulse, ramp and sine signals: later
// than the clock ever runs (it wraps at 25045), inside the window rule's
// limit, so an entered signal acts from the start for the whole run.
constexpr float kEnteredSignalEnd = 50081;
static_assert(kEnteredSignalEnd < kSignalWindowLimit);

int ExecPeriodItem(float period) {
  for (int i = 1; i < 8; ++i)
    if (period == kExecPeriods[i]) return i;
  return 0;
}

void ReadSignal(SignalParams& s, const RadioGroup& onOff, const EditControl& rate,
                const EditControl& size, char separator) {
  s.On = onOff.ItemIndex == 0 ? 1 : 0;
  s.Start = 0;
  s.End = kEnteredSignalEnd;
  NormaliseSignalWindow(s);
  s.Rate = Read(rate, separator);
  if (s.Rate < 0) s.Rate = 0;
  s.Size = Read(size, separator);
  if (s.Size < 0) s.Size = 0;
}

void ShowSignal(const SignalParams& s, RadioGroup& onOff, EditControl& rate, EditControl& size) {
  onOff.Select(s.On == 1 ? 0 : 1);
  Show(rate, s.Rate, 3);
  Show(size, s.Size, 3);
}

}  // namespace

void ReadTuningInputs(LoopModel& m, const OperatorPanel& panel) {
  const char sep = panel.DecimalSeparator;
  PIDLoop& single = m.SingleLoop;
  StoreShared(single.P, Read(panel.PSingle, sep));
  StoreShared(single.I, Read(panel.ISingle, sep));
  single.D = Read(panel.DSingle, sep);
  single.SPNew = Read(panel.SingleSPNew, sep);
  single.FilterTimeConstant = Read(panel.FilterTimeConstant, sep);
  single.FilterEntered = single.FilterTimeConstant;
  single.PVNoise = Read(panel.PVNoise, sep);
  single.OPNew = Read(panel.SingleOPNew, sep);
}

void ReadOperatorInputs(LoopModel& m, OperatorPanel& panel) {
  const char sep = panel.DecimalSeparator;
  RunSettingsRecord& run = m.RunSettings;
  PIDLoop& single = m.SingleLoop;

  run.SimTime = Read(panel.SimTime, sep);
  if (run.SimTime < 200) run.SimTime = 200;
  if (run.SimTime > 1900) run.SimTime = 1900;
  run.TimeStep = StepTime(run.SimTime);

  m.RunControl.SingleConfiguration = true;
  m.RunControl.LoopConfiguration = 1;

  ReadTuningInputs(m, panel);
  single.PVNoise = ToSingle(single.PVNoise / 100.0);
  single.SimTime = run.SimTime;
  m.CascadeLoop.SimTime = 0;

  m.DisturbanceModel.Delay = Read(panel.DisturbanceDeadTime, sep);
  m.DisturbanceModel.Gain = Read(panel.DisturbanceGain, sep);
  m.DisturbanceModel.Tau1 = Read(panel.DisturbanceTimeConstant, sep);
  m.ProcessModel.Gain = Read(panel.Gain, sep);
  m.ProcessModel.Delay = Read(panel.Delay, sep);
  m.ProcessModel.Tau1 = Read(panel.TimeConstant1, sep);
  m.ProcessModel.Tau2 = Read(panel.TimeConstant2, sep);

  ReadSignal(m.PulseSignal, panel.PulseOnOff, panel.PulseWidth, panel.PulseChange, sep);
  ReadSignal(m.RampSignal, panel.RampOnOff, panel.RampRate, panel.RampChange, sep);
  ReadSignal(m.SineSignal, panel.SineOnOff, panel.SineFrequency, panel.SineAmplitude, sep);
  m.PulseSignal.Option = panel.PulseRandomRegular.ItemIndex == 1 ? 1 : 0;

  const int period = panel.SinglePIDExePeriodRadioGroup.ItemIndex;
  if (period >= 0 && period < 8) single.ExecPeriod = kExecPeriods[period];
  single.GapGain = Read(panel.SingleGapGain, sep);
  single.GapLow = Read(panel.SingleGapGainLow, sep);
  single.GapHigh = Read(panel.SingleGapGainHigh, sep);
  single.Transform = panel.SingleTrasnformRadioGroup.ItemIndex;
  single.PVSampleDelay = Read(panel.SinglePVSampleDelay, sep);
  single.CVHigh = Read(panel.SingleCVHigh, sep);
  single.CVLow = Read(panel.SingleCVLow, sep);
  single.MVHigh = Read(panel.SingleMVHigh, sep);
  single.MVLow = Read(panel.SingleMVLow, sep);
  single.InitialValveOpening = Read(panel.SingleInitialValveOpening, sep);
  single.Equation = panel.SinglePIDEquation.ItemIndex + 1;

  // A speed command given since the last step and not yet applied is
  // dropped, and so are those queued behind it.
  m.RunControl.SpeedChangeEnabled = false;
  panel.SpeedClicks.Count = 0;
  NormaliseLoopParameters(m);
}

void ShowLoopKind(LoopModel& m, OperatorPanel&) { m.RunControl.SingleConfiguration = true; }

void ShowLoopValues(LoopModel& m, OperatorPanel& panel) {
  const PIDLoop& single = m.SingleLoop;
  Show(panel.SimTime, m.RunSettings.SimTime, 0);
  ShowLoopKind(m, panel);

  Show(panel.PSingle, LoadShared(single.P), 4);
  Show(panel.ISingle, LoadShared(single.I), 4);
  Show(panel.DSingle, single.D, 4);
  Show(panel.SingleSPNew, single.SPNew, 3);
  panel.SingleOPNew.Text = FormatPattern(single.OPNew, 2, panel.DecimalSeparator);
  Show(panel.FilterTimeConstant, single.FilterEntered, 4);
  panel.PVNoise.Text = FormatFixed(static_cast<double>(single.PVNoise) * 100, 1);

  Show(panel.DisturbanceDeadTime, m.DisturbanceModel.Delay, 3);
  Show(panel.DisturbanceGain, m.DisturbanceModel.Gain, 3);
  Show(panel.DisturbanceTimeConstant, m.DisturbanceModel.Tau1, 3);
  Show(panel.Delay, m.ProcessModel.Delay, 3);
  Show(panel.Gain, m.ProcessModel.Gain, 3);
  Show(panel.TimeConstant1, m.ProcessModel.Tau1, 3);
  Show(panel.TimeConstant2, m.ProcessModel.Tau2, 3);
  ShowSignal(m.PulseSignal, panel.PulseOnOff, panel.PulseWidth, panel.PulseChange);
  ShowSignal(m.RampSignal, panel.RampOnOff, panel.RampRate, panel.RampChange);
  ShowSignal(m.SineSignal, panel.SineOnOff, panel.SineFrequency, panel.SineAmplitude);
  panel.PulseRandomRegular.Select(m.PulseSignal.Option != 0 ? 1 : 0);

  panel.SinglePIDExePeriodRadioGroup.Select(ExecPeriodItem(single.ExecPeriod));
  Show(panel.SingleGapGain, single.GapGain, 3);
  Show(panel.SingleGapGainLow, single.GapLow, 3);
  Show(panel.SingleGapGainHigh, single.GapHigh, 3);
  panel.SingleTrasnformRadioGroup.Select(single.Transform);
  Show(panel.SinglePVSampleDelay, single.PVSampleDelay, 3);
  Show(panel.SingleCVHigh, single.CVHigh, 3);
  Show(panel.SingleCVLow, single.CVLow, 3);
  Show(panel.SingleMVHigh, single.MVHigh, 3);
  Show(panel.SingleMVLow, single.MVLow, 3);
  Show(panel.SingleInitialValveOpening, single.InitialValveOpening, 3);
  panel.SinglePIDEquation.Select(single.Equation - 1);

  panel.Layout.SinglePIDPage = 0;
}

void ShowIdleLayout(OperatorPanel& panel) {
  PanelLayout& l = panel.Layout;
  l.TwoPlotsPanelVisible = false;
  l.SignalsPanelVisible = false;
  l.ApplyChangesButtonVisible = false;
  l.ModePageVisible = false;
  l.NewCaseFileEnabled = true;
  l.OpenCaseFileEnabled = true;
}

void ShowCaseLayout(OperatorPanel& panel) {
  PanelLayout& l = panel.Layout;
  l.ModePageVisible = true;
  l.TwoPlotsPanelVisible = true;
  l.SignalsPanelVisible = true;
  l.ApplyChangesButtonVisible = true;
  l.SaveCaseFileEnabled = true;
  l.NewCaseFileEnabled = false;
  l.OpenCaseFileEnabled = false;
}

void ShowModeState(OperatorPanel& panel, LoopMode mode) {
  const bool manual = mode == LoopMode::Manual;
  panel.ModePanel.Caption = manual ? "Manual" : "Auto";
  panel.ModePanel.Colour = manual ? 0xFF8484 : 0xB3B3FF;
  panel.SingleSPNew.Enabled = panel.SingleSPNew.Visible = !manual;
  panel.SingleSPNewSpinVisible = !manual;
  panel.SingleOPNew.Enabled = manual;
  panel.SingleOPNewSpinVisible = manual;
}

void EnterKey(LoopModel& m, OperatorPanel& panel) {
  ReadOperatorInputs(m, panel);
  m.RunControl.ChangesPending = true;
}

void LeaveEdit(LoopModel& m, std::string_view editName) {
  if (editName == "SingleSPNew" || editName == "SingleOPNew") m.RunControl.ChangesPending = true;
}

void SpinClick(LoopModel& m, OperatorPanel& panel, SpinEdit edit, SpinDirection direction) {
  PIDLoop& single = m.SingleLoop;
  const bool up = direction == SpinDirection::Up;
  switch (edit) {
    case SpinEdit::SingleSPNew: {
      double value = static_cast<double>(single.SPNew) + (up ? 1 : -1);
      if (!up && value < 0) value = 0;
      single.SPNew = ToSingle(value);
      panel.SingleSPNew.Text = FormatPattern(single.SPNew, 3, panel.DecimalSeparator);
      m.RunControl.ChangesPending = true;
      break;
    }
    case SpinEdit::SingleOPNew: {
      double value = static_cast<double>(single.OPNew) + (up ? 1 : -1);
      if (!up && value < 0) value = 0;
      single.OPNew = ToSingle(value);
      panel.SingleOPNew.Text = FormatPattern(single.OPNew, 2, panel.DecimalSeparator);
      break;
    }
    case SpinEdit::PVNoise: {
      // The step works on the percent that the edit shows. Each direction
      // has its own bound: down stops at 0, up at 100.
      double percent = static_cast<double>(single.PVNoise) * 100 + (up ? 0.1 : -0.1);
      if (!up && percent < 0) percent = 0;
      if (up && percent > 100) percent = 100;
      panel.PVNoise.Text = FormatPattern(percent, 1, panel.DecimalSeparator);
      single.PVNoise = ToSingle(percent / 100);
      m.RunControl.ChangesPending = true;
      break;
    }
  }
}

void manual_auto_selectClick(LoopModel& m, OperatorPanel& panel) {
  RunControlRecord& c = m.RunControl;
  const bool toManual = c.SingleAutoState == FieldCode(LoopMode::Auto);
  const LoopMode mode = toManual ? LoopMode::Manual : LoopMode::Auto;
  c.SingleModeCode = toManual ? 1 : 2;
  c.SingleAutoState = c.SingleModeSelect = FieldCode(mode);
  ShowModeState(panel, mode);
}

void CascadeModeCheckBoxClick(LoopModel& m, OperatorPanel& panel) {
  panel.CascadeModeCheckBox = !panel.CascadeModeCheckBox;
  if (panel.CascadeModeCheckBox) {
    // Clicking the single panel from Manual puts the loop in Auto.
    m.RunControl.SingleAutoState = FieldCode(LoopMode::Manual);
    manual_auto_selectClick(m, panel);
  }
}

void SpeedControlClick(LoopModel& m, SpeedCommand command) {
  RunControlRecord& c = m.RunControl;
  c.SpeedCommand = FieldCode(command);
  c.SpeedChangeEnabled = true;
  c.SpeedCommandPending = true;
}

void SpeedControlClick(LoopModel& m, OperatorPanel& panel, SpeedCommand command) {
  SpeedClickQueue& q = panel.SpeedClicks;
  if (!m.RunControl.SpeedCommandPending && q.Count == 0) {
    SpeedControlClick(m, command);
    return;
  }
  if (q.Count < SpeedClickQueue::kDepth) q.Commands[q.Count++] = FieldCode(command);
}

void DeliverSpeedClick(LoopModel& m, OperatorPanel& panel) {
  SpeedClickQueue& q = panel.SpeedClicks;
  if (m.RunControl.SpeedCommandPending || q.Count == 0) return;
  const auto next = static_cast<SpeedCommand>(q.Commands[0]);
  std::copy(q.Commands.begin() + 1, q.Commands.begin() + q.Count, q.Commands.begin());
  --q.Count;
  SpeedControlClick(m, next);
}

void ApplyChangesButtonClick(Simulation& sim, OperatorPanel& panel, RunHost& host) {
  RunControlRecord& c = sim.Model.RunControl;
  c.ApplyInProgress = true;
  c.StopRequested = false;
  c.ChangesPending = false;
  ReadOperatorInputs(sim.Model, panel);
  NormaliseLoopParameters(sim.Model);
  ShowLoopValues(sim.Model, panel);
  SinglePID1Click(sim, host);
  c.ApplyInProgress = false;
}

void EndPractice(LoopModel& m, OperatorPanel& panel) {
  m.RunControl.StopRequested = true;
  // Ending the simulation also drops a run start that waits for the
  // current run to return.
  m.RunControl.RestartPending = false;
  panel.Layout.SimRunningLabel = "Simulation Running.";
  panel.Layout.SimRunningLabel1 = "Click 'Halt Simulation' to stop.";
  panel.Layout.RunIndicatorOn = false;
  ShowIdleLayout(panel);
}

void cmd_exitClick(LoopModel& m, OperatorPanel& panel, const AskYesNo& ask) {
  m.RunControl.StopRequested = false;
  m.RunControl.ChangesPending = true;
  if (panel.Layout.ModePageVisible && ask("End This Simulation?")) EndPractice(m, panel);
  panel.Layout.SaveCaseFileEnabled = false;
}

void PanelRunHost::RunStarting() {
  panel_.Layout.RunIndicatorOn = true;
  panel_.Layout.TwoPlotsPanelVisible = true;
}

void PanelRunHost::ShowTracked(EditControl& edit, TrackedText& shown, float value, int decimals) {
  // The run tracks at every step; most steps leave the text as it is.
  if (shown.Valid && edit.Text == shown.Text && SameFixedText(value, shown.Value, decimals)) return;
  edit.Text = FormatFixed(value, decimals);
  shown = TrackedText{value, edit.Text, true};
}

void PanelRunHost::WriteTrackedTexts() {
  if (setPoint_.Pending) ShowTracked(panel_.SingleSPNew, shownSetPoint_, setPoint_.Value, kSetPointDecimals);
  if (output_.Pending) ShowTracked(panel_.SingleOPNew, shownOutput_, output_.Value, kOutputDecimals);
  setPoint_.Pending = output_.Pending = false;
}

}  // namespace qx
