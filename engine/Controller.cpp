#include "engine/Controller.h"

#include <cmath>

#include "engine/EquationForms.h"
#include "engine/NumberText.h"

namespace qx {

bool ExecutionDue(const PIDLoop& loop) {
  return loop.Executed == 0 || loop.TimeSinceExec >= loop.ExecPeriod;
}

float ComputePID(const PIDLoop& loop, float actionSign) {
  if (!IsEquationForm(loop.Equation)) return loop.OP;
  const EquationForm& form = FormOf(loop.Equation);

  const double e = loop.Error;
  const double T = loop.ExecPeriod;
  // A change of PV in percent of the CV span: divided only for the forms
  // that act on PV.
  const auto percentOfSpan = [&loop](double change) {
    return change / (static_cast<double>(loop.CVHigh) - loop.CVLow) * 100;
  };
  const double change = form.pOnPV ? percentOfSpan(static_cast<double>(loop.PV) - loop.PVPrev)
                                   : e - loop.ErrorPrev;
  const double secondChange =
      form.dOnPV ? percentOfSpan(static_cast<double>(loop.PVChange) - loop.PVChangePrev)
                 : static_cast<double>(loop.ErrorChange) - loop.ErrorChangePrev;

  const double gain = form.bandGain ? 100.0 / (static_cast<double>(loop.EffectiveP) + 0.0001)
                                    : static_cast<double>(loop.EffectiveP);
  // A run may start with I = 0 (only a pickup of changes raises it); the
  // dividing forms then use the engine's floor instead of dividing by zero.
  double integral = LoadShared(loop.I);
  if (!form.integralRate && std::fabs(integral) < kMinimumIntegral) integral = kMinimumIntegral;

  const double proportional = gain * change;
  double integralTerm = form.integralRate ? e * T * integral : e * T / integral;
  double derivative = loop.D * secondChange / T;
  if (form.gainOnAll) {
    integralTerm *= gain;
    derivative *= gain;
  }
  return ToSingle(loop.OP + actionSign * (proportional + integralTerm + derivative));
}

void ExecuteController(PIDLoop& loop, const ModelParams& process, OutputStepState& step, float t,
                       float dt) {
  // Set-point rate limit, once per execution with the step dt.
  if (loop.SPRateLimit > 0) {
    const double limit = static_cast<double>(loop.SPRateLimit) * dt;
    if (std::fabs(static_cast<double>(loop.SP) - loop.SPPrev) > limit) {
      if (loop.SP > loop.SPPrev) loop.SP = ToSingle(loop.SPPrev + limit);
      if (loop.SP < loop.SPPrev) loop.SP = ToSingle(loop.SPPrev - limit);
    }
  }
  loop.SPPrev = loop.SP;

  // Error in percent of the CV span.
  const double span = static_cast<double>(loop.CVHigh) - loop.CVLow;
  loop.Error = ToSingle((static_cast<double>(loop.PV) - loop.SP) / span * 100);

  // Gap action: a PV inside the gap scales the gain by GapGain.
  const float p = LoadShared(loop.P);
  const bool inGap = (loop.SP <= loop.PV && loop.PV - loop.SP < loop.GapHigh) ||
                     (loop.PV <= loop.SP && loop.SP - loop.PV < loop.GapLow);
  loop.EffectiveP = inGap ? ToSingle(static_cast<double>(loop.GapGain) * p) : p;

  // The new output from the PID form, in Auto only (Manual keeps OP).
  loop.OPPrev = loop.OP;
  if (loop.Mode != 0) loop.OP = ComputePID(loop, process.Gain > 0 ? -1.0f : 1.0f);

  // Output step: at the start of the run, then alternating with the
  // starting output after each long hold.
  if (std::fabs(loop.OPStep) > static_cast<float>(kOutputStepTolerance)) {
    const float stepped = ToSingle(static_cast<double>(loop.InitialValveOpening) + loop.OPStep);
    if (t < dt) {
      loop.OP = stepped;
      step.Timer = 0;
    } else if (std::fabs(static_cast<double>(loop.OP) - loop.InitialValveOpening) >= kOutputStepTolerance) {
      if (step.Timer < kOutputStepHold) {
        step.Timer = ToSingle(step.Timer + static_cast<double>(loop.ExecPeriod));
      } else {
        step.Timer = 0;
        loop.OP = loop.InitialValveOpening;
      }
    } else {
      if (step.Timer < kOutputStepHold) {
        step.Timer = ToSingle(step.Timer + static_cast<double>(loop.ExecPeriod));
      } else {
        step.Timer = 0;
        loop.OP = stepped;
      }
    }
  }

  // Output limits.
  if (loop.OP >= 100) loop.OP = 100;
  if (loop.OP <= 0) loop.OP = 0;

  // Previous values and differences for the next execution.
  loop.PVChange = ToSingle(static_cast<double>(loop.PV) - loop.PVPrev);
  loop.PVChangePrev = ToSingle(static_cast<double>(loop.PVPrev) - loop.PVPrev2);
  loop.PVPrev2 = loop.PVPrev;
  loop.PVPrev = loop.PV;

  const float e = loop.Error;
  const float e1 = loop.ErrorPrev;
  loop.Executed = 1;
  loop.TimeSinceExec = 0;
  loop.ErrorChange = ToSingle(static_cast<double>(e) - e1);
  loop.ErrorChangePrev = ToSingle(static_cast<double>(e1) - loop.ErrorPrev2);
  loop.ErrorPrev2 = e1;
  loop.ErrorPrev = e;
}

}  // namespace qx
