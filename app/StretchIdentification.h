// "Identify and Tune" without the window: the bump-test fit on a stretch of
// the run's steps, the tuning rules for the chosen model in the loop's
// equation form, the chosen model's response to draw over the PV trend and
// the texts the operator's tuning edits take.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/StepIdentification.h"
#include "analysis/TuningRules.h"
#include "engine/LoopModel.h"

namespace qx {

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
  // Fits the models to `steps` (consecutive steps of a run) with the
  // ranges and equation form of `loop`.
  StretchAnalysis(std::vector<analysis::LoopSample> steps, const PIDLoop& loop);

  const analysis::IdentificationResult& Identification() const { return fit_; }
  bool Ok() const { return fit_.Status == analysis::IdentificationStatus::Ok; }
  // The stretch: its first and last time and its number of steps.
  double From() const { return steps_.empty() ? 0 : steps_.front().t; }
  double To() const { return steps_.empty() ? 0 : steps_.back().t; }
  std::size_t Steps() const { return steps_.size(); }
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
  int equation_ = 0;
  int chosen_ = -1;
};

// The text that an operator types into a tuning edit for `value`: '.' as
// decimal point, with as many of 4 decimals as keep it within `maxLength`
// characters, trailing zeros dropped. A whole part longer than that is
// returned whole; the edit takes only what fits.
std::string TypedSetting(double value, std::size_t maxLength);

}  // namespace qx
