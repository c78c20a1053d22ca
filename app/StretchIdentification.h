// "Identify and Tune" without the window: the bump-test fit on a stretch of
// the trend window, the tuning rules for the chosen model in the loop's
// equation form, the chosen model's response to draw over the PV trend and
// the texts the operator's tuning edits take.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analysis/StepIdentification.h"
#include "analysis/TuningRules.h"
#include "app/TrendRow.h"
#include "engine/LoopModel.h"

namespace qx {

// The trend holds one sample every second step (one a time unit); the fit
// needs every step. Each row is followed by the step between it and the
// next, with SP and PV halfway between the two and the output held: an
// output step shows on the trend at the first sample after it, so the step
// is placed at most half a time unit late.
std::vector<analysis::LoopSample> StepsFromTrend(std::span<const TrendRow> rows, int mode);

struct RuleSuggestion {
  analysis::PidTuning Tuning;
  analysis::FormSettings Settings;  // Status Ok only when Tuning's is
};

struct ResponsePoint {
  double Time = 0;
  double PV = 0;
};

class StretchAnalysis {
 public:
  // Fits the models to `rows` with the ranges and equation form of `loop`;
  // `mode` is the loop's (0 Manual).
  StretchAnalysis(std::span<const TrendRow> rows, const PIDLoop& loop, int mode);

  const analysis::IdentificationResult& Identification() const { return fit_; }
  bool Ok() const { return fit_.Status == analysis::IdentificationStatus::Ok; }
  // The stretch: its first and last time and its number of trend rows.
  double From() const { return from_; }
  double To() const { return to_; }
  std::size_t Rows() const { return rows_; }
  int Equation() const { return equation_; }

  // The model the suggestions are for: the identification's best until
  // another fitted one is chosen. -1 when nothing was fitted.
  int Chosen() const { return chosen_; }
  // Chooses a fitted model (an index into Identification().Models); the
  // knobs return to the defaults for it. False for any other index.
  bool Choose(int model);
  // Fitted models for display: the best first, then the others in the
  // library's order.
  std::vector<int> ModelOrder() const;

  // The rules' knobs: SIMC tau_c and lambda. Unset, each rule takes its
  // default for the chosen model (tau_c the dead time, lambda the larger
  // lag), which the suggestion reports in Tuning.Knob.
  void SetClosedLoopTime(std::optional<double> tauC) { options_.ClosedLoopTime = tauC; }
  void SetLambda(std::optional<double> lambda) { options_.Lambda = lambda; }

  // SIMC, lambda (IMC) and Ziegler-Nichols open loop for the chosen model,
  // in the units of the loop's equation form. Empty when nothing was fitted.
  std::vector<RuleSuggestion> Suggestions() const;

  // The chosen model's PV at every step of the stretch, as the fit has it:
  // its response to the output's moves from the stretch's first value,
  // shifted by the dead time, on the fitted offset (and drift).
  std::vector<ResponsePoint> FittedResponse() const;

 private:
  std::vector<analysis::LoopSample> steps_;
  analysis::ProcessScaling scaling_;
  analysis::IdentificationResult fit_;
  analysis::TuningOptions options_;
  double from_ = 0, to_ = 0;
  std::size_t rows_ = 0;
  int equation_ = 0;
  int chosen_ = -1;
};

// The text that an operator types into a tuning edit for `value`: '.' as
// decimal point, with as many of 4 decimals as keep it within `maxLength`
// characters, trailing zeros dropped. A whole part longer than that is
// returned whole; the edit takes only what fits.
std::string TypedSetting(double value, std::size_t maxLength);

}  // namespace qx
