// Tuning suggestions from a fitted model, and their conversion into the
// settings of the loop's equation form.
//
// The rules give an ideal (non-interacting) PID, the form the velocity
// algorithm computes when its gain scales all three terms:
//   OP = Kc (e + 1/Ti integral of e + Td de/dt),
// with Kc in percent of output per percent of CV span (the controller's
// error is in percent of span), so the process gain used is the fitted
// PercentGain K; theta is the dead time; Ti and Td are in time units.
//
// SIMC, tuning knob tau_c (default: the dead time, at least one step 0.5):
//   first order   (PI):  Kc = tau / (K (tau_c + theta)),  Ti = min(tau, 4 (tau_c + theta))
//   second order  (PID, real lags T1 >= T2), series settings
//                 Kc' = T1 / (K (tau_c + theta)), Ti' = min(T1, 4 (tau_c + theta)), Td' = T2,
//                 converted to the ideal form: Kc = Kc' (1 + Td'/Ti'), Ti = Ti' + Td',
//                 Td = Ti' Td' / (Ti' + Td'); with complex lags
//                 Kc = Tau2 / (K (tau_c + theta)), Ti = Tau2, Td = Tau1 / Tau2
//   integrating   (PI):  Kc = 1 / (K (tau_c + theta)),  Ti = 4 (tau_c + theta)
// Lambda (IMC), closed-loop time constant lambda (default: the larger lag;
// for the integrating model, which has none, twice the dead time and at
// least 1):
//   first order   (PI):  Kc = tau / (K (lambda + theta)),  Ti = tau
//   second order  (PID): Kc = Tau2 / (K (lambda + theta)), Ti = Tau2, Td = Tau1 / Tau2
//   integrating   (PI):  Kc = (2 lambda + theta) / (K (lambda + theta)^2),
//                        Ti = 2 lambda + theta
// Ziegler-Nichols open loop (PID), for comparison; needs a dead time:
//   first order:  Kc = 1.2 tau / (K theta), Ti = 2 theta, Td = theta / 2
//   integrating:  Kc = 1.2 / (K theta),     Ti = 2 theta, Td = theta / 2
//   second order: as first order after the half rule, tau = T1 + T2 / 2,
//                 theta = theta + T2 / 2 (with complex lags T1 = T2 = sqrt(Tau1))
#pragma once

#include <optional>
#include <string>

#include "analysis/StepIdentification.h"

namespace qx::analysis {

enum class TuningRule { Simc, Lambda, ZieglerNichols };

// "SIMC", "lambda (IMC)", "Ziegler-Nichols open loop".
const char* TuningRuleName(TuningRule rule);

struct TuningOptions {
  std::optional<double> ClosedLoopTime;  // SIMC tau_c
  std::optional<double> Lambda;          // lambda / IMC closed-loop time constant
};

enum class TuningStatus {
  Ok,
  NoModel,        // the model was not fitted
  BadModel,       // zero or non-finite gain, or a lag that is not positive
  NeedsDeadTime,  // the rule divides by a dead time of 0
  BadSetting,     // tau_c or lambda not above 0
  UnknownForm,    // an equation number outside 1..24
};

// An ideal PID. Kc carries the sign of the process gain; the engine picks
// its action from the process gain, so the magnitude is what is typed in.
struct PidTuning {
  TuningStatus Status = TuningStatus::Ok;
  std::string Message;  // what was wrong; empty when Ok
  TuningRule Rule = TuningRule::Simc;
  double Kc = 0;    // percent of output per percent of CV span
  double Ti = 0;    // integral time, time units
  double Td = 0;    // derivative time, time units; 0 for a PI rule
  double Knob = 0;  // tau_c or lambda as used; 0 for Ziegler-Nichols
};

// The settings to type into P, I and D for one equation form:
//   P: the gain |Kc|, or the proportional band 100 / |Kc| for a band form;
//   I: the integral time Ti, or the integral rate 1 / Ti for a rate form;
//      where the gain scales only P (digits 4-7) the integral term carries
//      no gain, so I becomes Ti / |Kc| (or the rate |Kc| / Ti);
//   D: Td, or |Kc| Td where the gain scales only P.
struct FormSettings {
  TuningStatus Status = TuningStatus::Ok;
  std::string Message;
  int Equation = 0;
  double P = 0, I = 0, D = 0;
};

PidTuning SuggestTuning(const FittedModel& model, TuningRule rule,
                        const TuningOptions& options = {});

FormSettings ToFormSettings(const PidTuning& tuning, int equation);

}  // namespace qx::analysis
