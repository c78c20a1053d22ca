#include "engine/Controller.h"

#include <cmath>

#include "engine/NumberText.h"

namespace qx {

bool ExecutionDue(const PIDLoop& loop) {
  return loop.Executed == 0 || loop.TimeSinceExec >= loop.ExecPeriod;
}

namespace {

// One row of the equation table: which gain, what the proportional and
// derivative terms act on, whether I divides or multiplies, and whether the
// gain scales all three terms or only the proportional one.
struct EquationForm {
  bool bandGain;      // Kpb = 100 / (EffectiveP + 0.0001) instead of K
  bool pOnPV;         // proportional on dPV instead of dE
  bool dOnPV;         // derivative on ddPV instead of ddE
  bool integralRate;  // e T I instead of e T / I
  bool gainOnAll;     // gain multiplies the integral and derivative terms too
};

//                                     Kpb    P:PV   D:PV   x I    all
constexpr EquationForm kForms[24] = {{false, false, false, false, true},   // 1  A0
                                     {false, false, true, false, true},    // 2  B0
                                     {false, true, true, false, true},     // 3  C0
                                     {true, false, false, false, true},    // 4  A1
                                     {true, false, true, false, true},     // 5  B1
                                     {true, true, true, false, true},      // 6  C1
                                     {false, false, false, true, true},    // 7  A2
                                     {false, false, true, true, true},     // 8  B2
                                     {false, true, true, true, true},      // 9  C2
                                     {true, false, false, true, true},     // 10 A3
                                     {true, false, true, true, true},      // 11 B3
                                     {true, true, true, true, true},       // 12 C3
                                     {false, false, false, false, false},  // 13 A4
                                     {false, false, true, false, false},   // 14 B4
                                     {false, true, true, false, false},    // 15 C4
                                     {false, false, false, true, false},   // 16 A5
                                     {false, false, true, true, false},    // 17 B5
                                     {false, true, true, true, false},     // 18 C5
                                     {true, false, false, false, false},   // 19 A6
                                     {true, false, true, false, false},    // 20 B6
                                     {true, true, true, false, false},     // 21 C6
                                     {true, false, false, true, false},    // 22 A7
                                     {true, false, true, true, false},     // 23 B7
                                     {true, true, true, true, false}};     // 24 C7

}  // namespace

float ComputePID(const PIDLoop& loop, float actionSign) {
  if (loop.Equation < 1 || loop.Equation > 24) return loop.OP;
  const EquationForm& form = kForms[loop.Equation - 1];

  const double span = static_cast<double>(loop.CVHigh) - loop.CVLow;
  const double e = loop.Error;
  const double dE = e - loop.ErrorPrev;
  const double ddE = static_cast<double>(loop.ErrorChange) - loop.ErrorChangePrev;
  const double dPV = (static_cast<double>(loop.PV) - loop.PVPrev) / span * 100;
  const double ddPV = (static_cast<double>(loop.PVChange) - loop.PVChangePrev) / span * 100;
  const double T = loop.ExecPeriod;

  const double gain = form.bandGain ? 100.0 / (static_cast<double>(loop.EffectiveP) + 0.0001)
                                    : static_cast<double>(loop.EffectiveP);
  // A run may start with I = 0 (only a pickup of changes raises it); the
  // dividing forms then use the engine's floor instead of dividing by zero.
  double integral = LoadShared(loop.I);
  if (!form.integralRate && std::fabs(integral) < kMinimumIntegral) integral = kMinimumIntegral;

  const double proportional = gain * (form.pOnPV ? dPV : dE);
  double integralTerm = form.integralRate ? e * T * integral : e * T / integral;
  double derivative = loop.D * (form.dOnPV ? ddPV : ddE) / T;
  if (form.gainOnAll) {
    integralTerm *= gain;
    derivative *= gain;
  }
  return ToSingle(loop.OP + actionSign * (proportional + integralTerm + derivative));
}

void ExecuteController(PIDLoop& loop, const ModelParams& process, OutputStepState& step, float t,
                       float dt) {
  // 1. Set-point rate limit, once per execution with the step dt.
  if (loop.SPRateLimit > 0) {
    const double limit = static_cast<double>(loop.SPRateLimit) * dt;
    if (std::fabs(static_cast<double>(loop.SP) - loop.SPPrev) > limit) {
      if (loop.SP > loop.SPPrev) loop.SP = ToSingle(loop.SPPrev + limit);
      if (loop.SP < loop.SPPrev) loop.SP = ToSingle(loop.SPPrev - limit);
    }
  }
  loop.SPPrev = loop.SP;

  // 2. Error in percent of the CV span.
  const double span = static_cast<double>(loop.CVHigh) - loop.CVLow;
  loop.Error = ToSingle((static_cast<double>(loop.PV) - loop.SP) / span * 100);

  // 3. Gap action.
  const float p = LoadShared(loop.P);
  const bool inGap = (loop.SP <= loop.PV && loop.PV - loop.SP < loop.GapHigh) ||
                     (loop.PV <= loop.SP && loop.SP - loop.PV < loop.GapLow);
  loop.EffectiveP = inGap ? ToSingle(static_cast<double>(loop.GapGain) * p) : p;

  // 4-5. The PID form, in Auto only.
  loop.OPPrev = loop.OP;
  if (loop.Mode != 0) loop.OP = ComputePID(loop, process.Gain > 0 ? -1.0f : 1.0f);

  // 6. Output step.
  if (std::fabs(loop.OPStep) > 0.00001f) {
    const float stepped = ToSingle(static_cast<double>(loop.InitialValveOpening) + loop.OPStep);
    if (t < dt) {
      loop.OP = stepped;
      step.Timer = 0;
    } else if (std::fabs(static_cast<double>(loop.OP) - loop.InitialValveOpening) >= 0.00001) {
      if (step.Timer < 1000000) {
        step.Timer = ToSingle(step.Timer + static_cast<double>(loop.ExecPeriod));
      } else {
        step.Timer = 0;
        loop.OP = loop.InitialValveOpening;
      }
    } else {
      if (step.Timer < 1000000) {
        step.Timer = ToSingle(step.Timer + static_cast<double>(loop.ExecPeriod));
      } else {
        step.Timer = 0;
        loop.OP = stepped;
      }
    }
  }

  // 7. Output limits.
  if (loop.OP >= 100) loop.OP = 100;
  if (loop.OP <= 0) loop.OP = 0;

  // 8-9. Previous values for the next execution.
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
