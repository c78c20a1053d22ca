// The tooltips of the window's edits: what each value is, its unit or range,
// and what applies it to a running loop. Enter applies the tuning page's
// edits at the next step; the models, signals, ranges, configuration pages
// and the simulation time take effect with "Apply Changes".
#include <QLineEdit>

#include "window/ClickablePanel.h"
#include "window/MainWindow.h"

namespace qx {

void TForm1::SetEditTips() {
  const QString enter = tr("Enter applies it to the running loop.");
  const QString apply = tr("\"Apply Changes\" applies it to the running loop.");
  const QString unread;  // nothing applies it: the run never reads it
  struct Tip {
    const char* edit;
    QString text;
    const QString& keys;
  };
  const Tip tips[] = {
      {"PSingle", tr("Controller gain P (for the 100/PB equations: the proportional band, in %)."), enter},
      {"ISingle",
       tr("Integral time I, in time units (for the equations that multiply by I: the integral rate, "
          "repeats per time unit)."),
       enter},
      {"DSingle", tr("Derivative time D, in time units; 0 for no derivative action."), enter},
      {"DLagSingle", tr("Derivative lag, published to OPC clients only; the simulation does not use it."), unread},
      {"FilterTimeConstant", tr("PV filter time constant, in time units; below 0.55 means no filter."), enter},
      {"SingleSPNew",
       tr("Set point, in CV range units (CV Low to CV High). Leaving the edit applies it too; the arrows "
          "and the Up and Down keys step it by 1."),
       enter},
      {"SingleOPNew",
       tr("Controller output in Manual, in % (0 to 100). Leaving the edit applies it too; the arrows and "
          "the Up and Down keys step it by 1."),
       enter},
      {"PVNoise",
       tr("PV noise amplitude, in % of the CV span (0 to 100); the arrows and the Up and Down keys step it "
          "by 0.1."),
       enter},
      {"Delay", tr("Process dead time, in time units."), apply},
      {"Gain", tr("Process gain: the PV change, in CV range units, per unit of the MV."), apply},
      {"TimeConstant1", tr("Process lag coefficient Tau1, in time units; below 1 makes the process integrating."),
       apply},
      {"TimeConstant2", tr("Process lag coefficient Tau2, in time units; below 1 leaves a first-order process."),
       apply},
      {"DisturbanceDeadTime", tr("Disturbance dead time, in time units."), apply},
      {"DisturbanceGain", tr("Disturbance gain: the PV change, in CV range units, per unit of the signal."), apply},
      {"DisturbanceTimeConstant",
       tr("Disturbance time constant, in time units; 0 makes the disturbance accumulate."), apply},
      {"PulseWidth", tr("Pulse width, in time units (0 or more)."), apply},
      {"PulseChange", tr("Pulse height, in signal units (0 or more)."), apply},
      {"RampRate", tr("Ramp rate, in signal units per time unit (0 or more)."), apply},
      {"RampChange", tr("Ramp peak, in signal units (0 or more)."), apply},
      {"SineFrequency", tr("Sine frequency, in radians per time unit (0 or more)."), apply},
      {"SineAmplitude", tr("Sine amplitude, in signal units (0 or more)."), apply},
      {"SingleCVLow", tr("Low end of the CV range (PV and SP), in engineering units."), apply},
      {"SingleCVHigh", tr("High end of the CV range (PV and SP), in engineering units; above CV Low."), apply},
      {"SingleMVLow", tr("Low end of the MV range, in engineering units."), apply},
      {"SingleMVHigh", tr("High end of the MV range, in engineering units: the MV is OP % of MV High."), apply},
      {"SinglePVSampleDelay", tr("Interval of the PV sample-and-hold, in time units; 0 samples every step."),
       apply},
      {"SingleGapGain", tr("Factor on P while the PV lies inside the gap around SP; 1 for no gap action."), apply},
      {"SingleGapGainLow", tr("Width of the gap below SP, in CV range units."), apply},
      {"SingleGapGainHigh", tr("Width of the gap above SP, in CV range units."), apply},
      {"SingleInitialValveOpening",
       tr("Controller output at the start of a run, in % (0.01 to 99.99; other values give 50)."), apply},
      {"SimTime", tr("Simulation time: the span of the trend window, in time units (200 to 1900)."), apply},
  };
  for (const Tip& tip : tips)
    if (auto* edit = findChild<QLineEdit*>(tip.edit)) edit->setToolTip(tip.keys.isEmpty() ? tip.text : tip.text + ' ' + tip.keys);
  manual_auto_select->setToolTip(
      tr("Controller mode: click, or press Space or Enter, to switch between Manual and Auto."));
}

}  // namespace qx
