#include "tools/qxsim/IdentifyCommand.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string_view>

#include "analysis/StepIdentification.h"
#include "analysis/TuningRules.h"
#include "app/DecimalSeparator.h"
#include "engine/NumberText.h"
#include "persistence/CaseFile.h"
#include "tools/qxsim/OptionText.h"
#include "tools/qxsim/TraceFile.h"

namespace qx {
namespace {

const char* ModelKey(analysis::ModelKind kind) {
  switch (kind) {
    case analysis::ModelKind::FirstOrder: return "FirstOrder";
    case analysis::ModelKind::SecondOrder: return "SecondOrder";
    case analysis::ModelKind::Integrating: return "Integrating";
  }
  return "?";
}

const char* RuleKey(analysis::TuningRule rule) {
  switch (rule) {
    case analysis::TuningRule::Simc: return "SIMC";
    case analysis::TuningRule::Lambda: return "Lambda";
    case analysis::TuningRule::ZieglerNichols: return "ZieglerNichols";
  }
  return "?";
}

void PrintValue(std::string& out, std::string_view key, std::string_view field, double value) {
  out.append(key).append(".").append(field).append("=").append(FormatReal9(value)).append("\n");
}

void PrintModel(std::string& out, const analysis::FittedModel& m) {
  const char* key = ModelKey(m.Kind);
  PrintValue(out, key, "Gain", m.Gain);
  PrintValue(out, key, "DeadTime", m.DeadTime);
  PrintValue(out, key, "Tau1", m.Tau1);
  PrintValue(out, key, "Tau2", m.Tau2);
  PrintValue(out, key, "Fit", m.RSquared);
  PrintValue(out, key, "AIC", m.Criterion);
}

// The ranges and the equation form: from the case when one is given;
// otherwise a CV range of 0..100, MVHigh from the trace's MV and OPOut
// columns (MV = OPOut / 100 x MVHigh) and form 1.
bool Scaling(const IdentifyOptions& options, const std::vector<TraceStep>& steps,
             analysis::ProcessScaling& scaling, int& equation) {
  if (!options.CasePath.empty()) {
    LoopModel model;
    CaseExtras extras;
    StreamCaseHost host(std::cerr);
    const CaseReadResult read =
        ReadCase(options.CasePath, model, extras, DecimalSeparatorFromEnvironment(), host);
    if (read.status != CaseReadStatus::Loaded) {
      if (read.status == CaseReadStatus::LineFailed)
        std::cerr << "qxsim identify: " << options.CasePath << ": " << read.failure << '\n';
      return false;
    }
    const PIDLoop& loop = model.SingleLoop;
    scaling = {loop.CVLow, loop.CVHigh, loop.MVHigh};
    equation = loop.Equation;
    return true;
  }
  scaling = {};
  const auto largest = std::max_element(steps.begin(), steps.end(), [](const TraceStep& a, const TraceStep& b) {
    return a.OPOut < b.OPOut;
  });
  if (largest != steps.end() && largest->OPOut > 0) scaling.MVHigh = largest->MV * 100.0 / largest->OPOut;
  equation = 1;
  return true;
}

}  // namespace

bool ParseIdentifyOptions(const std::vector<std::string>& args, IdentifyOptions& options,
                          std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--from" || arg == "--to" || arg == "--equation") {
      std::string text;
      if (!TakeOptionValue(args, i, text, error)) return false;
      int64_t number = 0;
      if (arg == "--equation") {
        if (!ParseWholeNumber(text, number) || number < 1 || number > 24) {
          error = "--equation expects an equation form 1..24, got '" + text + "'";
          return false;
        }
        options.Equation = static_cast<int>(number);
      } else {
        if (!ParseWholeNumber(text, number) || number < 0) {
          error = arg + " expects a step number >= 0, got '" + text + "'";
          return false;
        }
        (arg == "--from" ? options.From : options.To) = number;
      }
    } else if (arg.starts_with("-") && arg != "-") {
      error = "unknown option '" + arg + "'";
      return false;
    } else if (options.TracePath.empty()) {
      options.TracePath = arg;
    } else if (options.CasePath.empty()) {
      options.CasePath = arg;
    } else {
      error = "unexpected argument '" + arg + "' after the trace and the case";
      return false;
    }
  }
  if (options.TracePath.empty()) {
    error = "no trace file given";
    return false;
  }
  if (options.From && options.To && *options.From > *options.To) {
    error = "--from " + std::to_string(*options.From) + " is after --to " + std::to_string(*options.To);
    return false;
  }
  return true;
}

int IdentifyCommand(const IdentifyOptions& options) {
  std::vector<TraceStep> steps;
  std::string error;
  if (!ReadTraceFile(options.TracePath, steps, error)) {
    std::cerr << "qxsim identify: " << error << '\n';
    return 1;
  }
  analysis::ProcessScaling scaling;
  int equation = 1;
  if (!Scaling(options, steps, scaling, equation)) return 1;
  if (options.Equation) equation = *options.Equation;

  std::vector<analysis::LoopSample> stretch;
  for (const TraceStep& s : steps)
    if ((!options.From || s.Step >= *options.From) && (!options.To || s.Step <= *options.To))
      stretch.push_back(s.Sample);
  const std::string where = options.TracePath + " steps " +
                            (options.From ? std::to_string(*options.From) : std::string("start")) + ".." +
                            (options.To ? std::to_string(*options.To) : std::string("end"));
  if (stretch.empty()) {
    std::cerr << "qxsim identify: " << where << ": the trace has no rows there\n";
    return 1;
  }

  const analysis::IdentificationResult fit = analysis::IdentifyStepResponse(stretch, scaling);
  if (fit.Status != analysis::IdentificationStatus::Ok) {
    std::cerr << "qxsim identify: " << where << ": " << fit.Message << '\n';
    return 1;
  }

  std::string out;
  const analysis::FittedModel& best = *fit.BestModel();
  PrintModel(out, best);
  for (const analysis::FittedModel& m : fit.Models)
    if (m.Fitted && &m != &best) PrintModel(out, m);

  out.append("Equation=").append(std::to_string(equation)).append("\n");
  for (analysis::TuningRule rule : {analysis::TuningRule::Simc, analysis::TuningRule::Lambda,
                                    analysis::TuningRule::ZieglerNichols}) {
    const analysis::FormSettings settings =
        analysis::ToFormSettings(analysis::SuggestTuning(best, rule), equation);
    if (settings.Status != analysis::TuningStatus::Ok) {
      // One rule that cannot serve this model (Ziegler-Nichols without a
      // dead time) leaves the others standing.
      std::cerr << "qxsim identify: " << analysis::TuningRuleName(rule) << ": " << settings.Message << '\n';
      continue;
    }
    PrintValue(out, RuleKey(rule), "P", settings.P);
    PrintValue(out, RuleKey(rule), "I", settings.I);
    PrintValue(out, RuleKey(rule), "D", settings.D);
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace qx
