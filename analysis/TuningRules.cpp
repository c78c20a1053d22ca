#include "analysis/TuningRules.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "engine/EquationForms.h"

namespace qx::analysis {
namespace {

PidTuning Refuse(TuningRule rule, TuningStatus status, const std::string& message) {
  PidTuning t;
  t.Rule = rule;
  t.Status = status;
  t.Message = message;
  return t;
}

PidTuning Ideal(TuningRule rule, double kc, double ti, double td, double knob) {
  PidTuning t;
  t.Rule = rule;
  t.Kc = kc;
  t.Ti = ti;
  t.Td = td;
  t.Knob = knob;
  return t;
}

// Series (interacting) PID settings as the ideal form the controller uses.
PidTuning FromSeries(TuningRule rule, double kc, double ti, double td, double knob) {
  return Ideal(rule, kc * (1 + td / ti), ti + td, ti * td / (ti + td), knob);
}

// The knob the caller gave, or the default; false when a given knob is not
// above 0.
bool Knob(const std::optional<double>& given, double fallback, double& knob) {
  knob = given.value_or(fallback);
  return std::isfinite(knob) && knob > 0;
}

PidTuning Simc(const FittedModel& m, double k, double theta, const TuningOptions& o) {
  double tc;
  if (!Knob(o.ClosedLoopTime, std::max(theta, kStepTime), tc)) {
    std::ostringstream s;
    s << "SIMC: the closed-loop time tau_c " << tc << " must be above 0";
    return Refuse(TuningRule::Simc, TuningStatus::BadSetting, s.str());
  }
  const double sum = tc + theta;
  switch (m.Kind) {
    case ModelKind::FirstOrder:
      return Ideal(TuningRule::Simc, m.Lag1 / (k * sum), std::min(m.Lag1, 4 * sum), 0, tc);
    case ModelKind::SecondOrder:
      if (m.RealLags)
        return FromSeries(TuningRule::Simc, m.Lag1 / (k * sum), std::min(m.Lag1, 4 * sum), m.Lag2,
                          tc);
      return Ideal(TuningRule::Simc, m.Tau2 / (k * sum), m.Tau2, m.Tau1 / m.Tau2, tc);
    case ModelKind::Integrating:
      return Ideal(TuningRule::Simc, 1 / (k * sum), 4 * sum, 0, tc);
  }
  return {};
}

PidTuning Lambda(const FittedModel& m, double k, double theta, const TuningOptions& o) {
  const double fallback =
      m.Kind == ModelKind::Integrating ? std::max(2 * theta, 1.0) : std::max(m.Lag1, m.Lag2);
  double lambda;
  if (!Knob(o.Lambda, fallback, lambda)) {
    std::ostringstream s;
    s << "lambda (IMC): lambda " << lambda << " must be above 0";
    return Refuse(TuningRule::Lambda, TuningStatus::BadSetting, s.str());
  }
  const double sum = lambda + theta;
  switch (m.Kind) {
    case ModelKind::FirstOrder:
      return Ideal(TuningRule::Lambda, m.Lag1 / (k * sum), m.Lag1, 0, lambda);
    case ModelKind::SecondOrder:
      return Ideal(TuningRule::Lambda, m.Tau2 / (k * sum), m.Tau2, m.Tau1 / m.Tau2, lambda);
    case ModelKind::Integrating:
      return Ideal(TuningRule::Lambda, (2 * lambda + theta) / (k * sum * sum), 2 * lambda + theta,
                   0, lambda);
  }
  return {};
}

PidTuning ZieglerNichols(const FittedModel& m, double k, double theta) {
  double tau = m.Lag1;
  if (m.Kind == ModelKind::SecondOrder) {
    // Half rule: half of the smaller lag goes to the larger one, half to the
    // dead time.
    tau = m.Lag1 + m.Lag2 / 2;
    theta += m.Lag2 / 2;
  }
  if (!(theta > 0))
    return Refuse(TuningRule::ZieglerNichols, TuningStatus::NeedsDeadTime,
                  "Ziegler-Nichols open loop: the model has no dead time to divide by");
  const double kc = m.Kind == ModelKind::Integrating ? 1.2 / (k * theta) : 1.2 * tau / (k * theta);
  return Ideal(TuningRule::ZieglerNichols, kc, 2 * theta, theta / 2, 0);
}

}  // namespace

const char* TuningRuleName(TuningRule rule) {
  switch (rule) {
    case TuningRule::Simc: return "SIMC";
    case TuningRule::Lambda: return "lambda (IMC)";
    case TuningRule::ZieglerNichols: return "Ziegler-Nichols open loop";
  }
  return "unknown rule";
}

PidTuning SuggestTuning(const FittedModel& m, TuningRule rule, const TuningOptions& options) {
  if (!m.Fitted) return Refuse(rule, TuningStatus::NoModel, "tuning: the model was not fitted");
  const double k = m.PercentGain;
  const bool lagsOk = m.Kind == ModelKind::Integrating ||
                      (m.Lag1 > 0 && std::isfinite(m.Lag1) &&
                       (m.Kind == ModelKind::FirstOrder || (m.Tau1 > 0 && m.Tau2 > 0 && m.Lag2 > 0)));
  if (!std::isfinite(k) || k == 0 || !lagsOk || !std::isfinite(m.DeadTime) || m.DeadTime < 0) {
    std::ostringstream s;
    s << "tuning: the " << ModelKindName(m.Kind) << " model (gain " << k << " %/%, lags " << m.Lag1
      << " and " << m.Lag2 << ", dead time " << m.DeadTime << ") cannot be tuned";
    return Refuse(rule, TuningStatus::BadModel, s.str());
  }
  switch (rule) {
    case TuningRule::Simc: return Simc(m, k, m.DeadTime, options);
    case TuningRule::Lambda: return Lambda(m, k, m.DeadTime, options);
    case TuningRule::ZieglerNichols: return ZieglerNichols(m, k, m.DeadTime);
  }
  return Refuse(rule, TuningStatus::BadSetting, "tuning: unknown rule");
}

FormSettings ToFormSettings(const PidTuning& tuning, int equation) {
  FormSettings f;
  f.Equation = equation;
  if (tuning.Status != TuningStatus::Ok) {
    f.Status = tuning.Status;
    f.Message = tuning.Message;
    return f;
  }
  if (!IsEquationForm(equation)) {
    std::ostringstream s;
    s << "tuning: equation " << equation << " is not one of the forms 1 to " << kEquationFormCount;
    f.Status = TuningStatus::UnknownForm;
    f.Message = s.str();
    return f;
  }
  const EquationForm& form = FormOf(equation);
  const double gain = std::fabs(tuning.Kc);
  // Where the gain scales only P, the integral and derivative terms must
  // carry it themselves.
  const double integralTime = form.gainOnAll ? tuning.Ti : tuning.Ti / gain;
  f.P = form.bandGain ? 100.0 / gain : gain;
  f.I = form.integralRate ? 1.0 / integralTime : integralTime;
  f.D = form.gainOnAll ? tuning.Td : gain * tuning.Td;
  return f;
}

}  // namespace qx::analysis
