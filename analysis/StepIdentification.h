// Bump-test identification: fits a first-order, a second-order and an
// integrating model, each with dead time, to a stretch of run data in which
// the controller output steps (in Manual, or any stretch the user selects),
// and picks the best.
//
// How a model is fitted. The stretch is taken to start at rest: before its
// first step the output held its first value OP(0). Each candidate is
// simulated with unit gain from the output's deviations OP(k) - OP(0) by the
// engine's own plant (ModelResponse.h), shifted by the dead time d (whole
// steps of 0.5), and fitted to the PV by linear least squares:
//   PV(k) = Offset + Kp * x(k - d)                (first and second order)
//   PV(k) = Offset + Drift * tw(k) + Kp * x(k - d) (integrating: the PV may
//                                                   already move at the start)
// The lags are searched in the logarithm (golden section for one lag,
// Nelder-Mead for the two coefficients of the second order), from a spread
// of starting lags (first order) or splits of the first-order lag (second
// order). The dead time is searched on the 0.5 grid up to the point where a
// quarter of the stretch after the first step (at least 10 steps) is left
// to show the response: a coarse scan, then finer scans around its best.
// Lags and dead time are fitted in turn until the dead time stays; then the
// dead time walks along the grid, re-fitting the lags at each point, for as
// long as the fit improves (the stride doubling after each gain and halving
// after each loss), because a longer lag and a shorter dead time trade
// against each other. A 10 000-step stretch takes some tens of milliseconds.
//
// Fit quality: R^2 = 1 - SSE / (sum of (PV - mean PV)^2), and the
// normalised RMS = sqrt(SSE / n) / (max PV - min PV).
// The best model has the lowest criterion
//   AIC = n ln(SSE / n) + 2 p,
// over the models whose lags stayed inside the search range (a lag at its
// upper limit, 100 times the stretch, means the response never levelled
// out: such a model is an integrator in disguise and is chosen only when no
// other model was fitted),
// p the number of fitted parameters (first order 4: gain, lag, dead time,
// offset; second order 5; integrating 4: gain, dead time, offset, drift),
// with SSE floored at the data's single-precision resolution so that two
// exact fits of noise-free data tie and the simpler model wins; among equal
// criteria the model with fewer parameters wins.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "analysis/LoopSample.h"
#include "analysis/ModelResponse.h"

namespace qx::analysis {

// The loop's ranges, needed to give the gain in the engine's units: the CV
// span and MVHigh (MV = OP / 100 x MVHigh).
struct ProcessScaling {
  double CVLow = 0;
  double CVHigh = 100;
  double MVHigh = 100;
};

struct FittedModel {
  ModelKind Kind = ModelKind::FirstOrder;
  // Gain in the engine's units: CV per MV unit (for the integrating model
  // CV per MV unit and time unit), as ModelParams.Gain holds it.
  double Gain = 0;
  // The same gain in percent of CV span per percent of output (per time
  // unit for the integrating model): what the controller sees.
  double PercentGain = 0;
  double DeadTime = 0;  // time units, a multiple of 0.5
  // The engine's coefficients: first order Tau1 y' + y = K u; second order
  // Tau1 y'' + Tau2 y' + y = K u. Zero where a model has none.
  double Tau1 = 0, Tau2 = 0;
  // Second order: the two time constants T1 >= T2 with T1 T2 = Tau1 and
  // T1 + T2 = Tau2 when they are real (RealLags), otherwise both sqrt(Tau1).
  // First order: Lag1 = Tau1. Integrating: none.
  double Lag1 = 0, Lag2 = 0;
  bool RealLags = true;
  double Offset = 0;  // PV before the stretch's first step
  double Drift = 0;   // integrating: PV change per time unit at rest
  double SSE = 0, RSquared = 0, NormalisedRMS = 0, Criterion = 0;
  int Parameters = 0;
  bool Fitted = false;  // false when no stable candidate could be fitted
  bool LagAtLimit = false;  // a lag ended at the search's upper limit
};

enum class IdentificationStatus {
  Ok,
  TooFewSamples,    // fewer than kMinimumSamples
  NonFiniteValue,   // a t, PV or OP that is not a finite number within +-1e100
  IrregularSteps,   // samples not 0.5 apart
  NoOutputStep,     // the output never leaves its first value
  NoResponse,       // the PV moves by no more than 1e-9 of the CV span
  BadScaling,       // empty CV range or MVHigh not above 0
  NoModelFitted,    // no candidate gave a stable fit
};

struct IdentificationResult {
  IdentificationStatus Status = IdentificationStatus::Ok;
  std::string Message;              // what was wrong and where; empty when Ok
  std::vector<FittedModel> Models;  // first order, second order, integrating
  int Best = -1;                    // index into Models, -1 unless Ok
  const FittedModel* BestModel() const { return Best >= 0 ? &Models[Best] : nullptr; }
};

inline constexpr size_t kMinimumSamples = 20;

// Fits the three models to `stretch` (consecutive steps of a run).
IdentificationResult IdentifyStepResponse(std::span<const LoopSample> stretch,
                                          const ProcessScaling& scaling);

}  // namespace qx::analysis
