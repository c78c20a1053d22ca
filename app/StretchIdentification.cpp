#include "app/StretchIdentification.h"

#include <charconv>
#include <cmath>
#include <utility>

#include "analysis/ModelResponse.h"

namespace qx {
namespace {

using analysis::FittedModel;
using analysis::LoopSample;

constexpr int kMaximumDecimals = 4;

}  // namespace

StretchAnalysis::StretchAnalysis(std::vector<LoopSample> steps, const PIDLoop& loop)
    : steps_(std::move(steps)),
      scaling_{loop.CVLow, loop.CVHigh, loop.MVHigh},
      fit_(analysis::IdentifyStepResponse(steps_, scaling_)),
      equation_(loop.Equation),
      chosen_(fit_.Best) {}

bool StretchAnalysis::Choose(int model) {
  if (model < 0 || model >= static_cast<int>(fit_.Models.size()) || !fit_.Models[model].Fitted) return false;
  chosen_ = model;
  options_ = {};
  return true;
}

std::vector<int> StretchAnalysis::ModelOrder() const {
  std::vector<int> order;
  if (fit_.Best >= 0) order.push_back(fit_.Best);
  for (int i = 0; i < static_cast<int>(fit_.Models.size()); ++i)
    if (i != fit_.Best && fit_.Models[i].Fitted) order.push_back(i);
  return order;
}

std::vector<RuleSuggestion> StretchAnalysis::Suggestions() const {
  std::vector<RuleSuggestion> out;
  if (chosen_ < 0) return out;
  const FittedModel& model = fit_.Models[chosen_];
  for (analysis::TuningRule rule :
       {analysis::TuningRule::Simc, analysis::TuningRule::Lambda, analysis::TuningRule::ZieglerNichols}) {
    RuleSuggestion s;
    s.Tuning = analysis::SuggestTuning(model, rule, options_);
    if (s.Tuning.Status == analysis::TuningStatus::Ok) {
      s.Settings = analysis::ToFormSettings(s.Tuning, equation_);
    } else {
      s.Settings.Status = s.Tuning.Status;
      s.Settings.Message = s.Tuning.Message;
    }
    out.push_back(std::move(s));
  }
  return out;
}

std::vector<ResponsePoint> StretchAnalysis::FittedResponse() const {
  std::vector<ResponsePoint> out;
  if (chosen_ < 0 || steps_.empty()) return out;
  const FittedModel& m = fit_.Models[chosen_];
  std::vector<double> input(steps_.size());
  for (std::size_t k = 0; k < steps_.size(); ++k) input[k] = steps_[k].OP - steps_.front().OP;
  std::vector<double> unit;
  if (!analysis::UnitResponse(m.Kind, m.Tau1, m.Tau2, input, unit)) return out;
  // The fit's gain is in PV units per percent of output; the model reports
  // it per MV unit.
  const double perPercent = m.Gain * scaling_.MVHigh / 100.0;
  const auto delay = static_cast<std::ptrdiff_t>(std::lround(m.DeadTime / analysis::kStepTime));
  out.reserve(steps_.size());
  for (std::size_t k = 0; k < steps_.size(); ++k) {
    const auto shifted = static_cast<std::ptrdiff_t>(k) - delay;
    const double response = shifted >= 0 ? unit[static_cast<std::size_t>(shifted)] : 0.0;
    const double drift = m.Drift * analysis::kStepTime * static_cast<double>(k);
    out.push_back({steps_[k].t, m.Offset + drift + perPercent * response});
  }
  return out;
}

std::string TypedSetting(double value, std::size_t maxLength) {
  char text[64];
  std::string best;
  for (int decimals = kMaximumDecimals; decimals >= 0; --decimals) {
    const auto [end, status] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (status != std::errc()) return {};
    std::string candidate(text, end);
    if (candidate.find('.') != std::string::npos) {
      candidate.erase(candidate.find_last_not_of('0') + 1);
      if (candidate.back() == '.') candidate.pop_back();
    }
    best = std::move(candidate);
    if (best.size() <= maxLength) break;
  }
  return best;
}

}  // namespace qx
