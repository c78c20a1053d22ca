#include "tools/qxsim/RunOptions.h"

#include <cmath>
#include <limits>
#include <string_view>

#include "app/CommandLine.h"
#include "engine/FieldTable.h"
#include "engine/LoopModel.h"
#include "engine/NumberText.h"
#include "tools/qxsim/OptionText.h"
#include "ui/OperatorPanel.h"

namespace qx {
namespace {

bool ParseCount(std::string_view text, int64_t& value) { return ParseWholeNumber(text, value) && value >= 0; }

// Checks "Record.Field=VALUE" against the model's field names and types.
bool ParseFieldAssignment(std::string_view text, std::string& name, std::string& value,
                          std::string& error) {
  const auto equals = text.find('=');
  if (equals == std::string_view::npos) {
    error = "expected Record.Field=VALUE, got '" + std::string(text) + "'";
    return false;
  }
  name = std::string(text.substr(0, equals));
  value = std::string(text.substr(equals + 1));
  const FieldInfo* field = FindField(name);
  if (!field) {
    error = "unknown field '" + name + "'";
    return false;
  }
  LoopModel scratch;
  std::string problem = StoreFieldText(scratch, *field, value);
  if (!problem.empty()) {
    error = problem;
    return false;
  }
  return true;
}

// The store saturates a real beyond single precision; a value the user sets
// on the command line is refused instead, as an OPC client's write is.
bool WithinSinglePrecision(const FieldInfo& field, std::string_view value, std::string& error) {
  double number = 0;
  if (field.kind != FieldKind::Real || !ParseWholeDecimal(value, number) ||
      std::fabs(number) <= std::numeric_limits<float>::max())
    return true;
  error = std::string(value);
  error.insert(error.begin(), '\'');
  error.append("' is beyond single precision for ").append(field.record).append(".").append(field.field);
  return false;
}

bool IsSpinEdit(std::string_view name) {
  return name == "SingleSPNew" || name == "SingleOPNew" || name == "PVNoise";
}

bool ParseAction(std::string_view argument, ScriptedAction& action, std::string& error) {
  const auto colon = argument.find(':');
  if (colon == std::string_view::npos || !ParseCount(argument.substr(0, colon), action.Step)) {
    error = "--at expects N:ACTION with a step number N >= 0, got '" + std::string(argument) + "'";
    return false;
  }
  const std::string_view act = argument.substr(colon + 1);
  using K = ScriptedAction::Kind;
  static const std::pair<std::string_view, K> kWords[] = {
      {"enter", K::Enter},   {"apply", K::Apply},   {"mode", K::Mode},
      {"cascade", K::Cascade}, {"faster", K::Faster}, {"slower", K::Slower},
      {"normal", K::Normal}, {"stop", K::Stop},
      {"master-setup", K::MasterSetUp}, {"master-connect", K::MasterConnect}};
  for (const auto& [word, kind] : kWords) {
    if (act == word) {
      action.What = kind;
      return true;
    }
  }
  if (act.starts_with("store:")) {
    action.What = K::Store;
    return ParseFieldAssignment(act.substr(6), action.Name, action.Text, error);
  }
  static const std::pair<std::string_view, K> kEditActions[] = {
      {"up:", K::SpinUp}, {"down:", K::SpinDown}, {"leave:", K::Leave}};
  for (const auto& [prefix, kind] : kEditActions) {
    if (!act.starts_with(prefix)) continue;
    action.What = kind;
    action.Name = std::string(act.substr(prefix.size()));
    OperatorPanel panel;
    const bool known = kind == K::Leave ? panel.FindEdit(action.Name) != nullptr
                                        : IsSpinEdit(action.Name);
    if (!known) {
      error = "'" + action.Name + "' has no " +
              (kind == K::Leave ? "edit" : "spin button") + " (in --at " + std::string(argument) + ")";
      return false;
    }
    return true;
  }
  const auto equals = act.find('=');
  if (equals != std::string_view::npos) {
    action.What = K::SetControl;
    action.Name = std::string(act.substr(0, equals));
    action.Text = std::string(act.substr(equals + 1));
    OperatorPanel panel;
    if (panel.FindEdit(action.Name)) return true;
    int64_t unused = 0;
    std::string_view index = action.Text;
    const bool negative = index.starts_with('-');
    if (negative) index.remove_prefix(1);
    if (panel.FindRadio(action.Name)) {
      if (ParseCount(index, unused)) return true;
      error = "radio group " + action.Name + " takes an item index, got '" + action.Text + "'";
      return false;
    }
    error = "unknown control '" + action.Name + "' (in --at " + std::string(argument) + ")";
    return false;
  }
  error = "unknown action '" + std::string(act) + "' (in --at " + std::string(argument) + ")";
  return false;
}

}  // namespace

bool ParseRunOptions(const std::vector<std::string>& args, RunOptions& options, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) { return TakeOptionValue(args, i, out, error); };
    std::string text;
    if (arg == "--set") {
      if (!value(text)) return false;
      FieldOverride o;
      if (!ParseFieldAssignment(text, o.Name, o.Value, error) ||
          !WithinSinglePrecision(*FindField(o.Name), o.Value, error))
        return false;
      options.Overrides.push_back(std::move(o));
    } else if (arg == "--steps") {
      if (!value(text)) return false;
      int64_t steps = 0;
      if (!ParseCount(text, steps)) {
        error = "--steps expects a whole number >= 0, got '" + text + "'";
        return false;
      }
      options.Steps = steps;
    } else if (arg == "--at") {
      if (!value(text)) return false;
      ScriptedAction action;
      if (!ParseAction(text, action, error)) return false;
      options.Actions.push_back(std::move(action));
    } else if (arg == "--trace") {
      if (!value(options.TracePath)) return false;
    } else if (arg == "--dump-model") {
      if (!value(options.DumpModelPath)) return false;
    } else if (arg == "--dump-panel") {
      if (!value(options.DumpPanelPath)) return false;
    } else if (arg == "--save-case") {
      if (!value(options.SaveCasePath)) return false;
    } else if (arg == "--metrics") {
      if (!value(options.MetricsPath)) return false;
    } else if (arg == "--alarms") {
      if (!value(options.AlarmsPath)) return false;
    } else if (arg == "--seed") {
      if (!value(text)) return false;
      uint64_t seed = 0;
      if (!ParseWholeNumber(text, seed)) {
        error = "--seed expects a whole number, got '" + text + "'";
        return false;
      }
      options.Seed = seed;
    } else if (arg == "--serve") {
      // The endpoint is optional: take the next argument when it is one.
      if (i + 1 < args.size() && args[i + 1].starts_with("opc.tcp://"))
        options.ServeEndpoint = args[++i];
      else
        options.ServeEndpoint = std::string();
    } else if (arg == "--master") {
      if (i + 1 < args.size() && args[i + 1].starts_with("opc.tcp://"))
        options.MasterEndpoint = args[++i];
      else
        options.MasterEndpoint = std::string();
    } else if (arg == "--serve-after") {
      if (!value(text)) return false;
      double seconds = 0;
      if (!ParseWholeDecimal(text, seconds) || seconds < 0) {
        error = "--serve-after expects seconds >= 0, got '" + text + "'";
        return false;
      }
      options.ServeAfterSeconds = seconds;
    } else if (arg == kHistoryOption || arg.starts_with(std::string(kHistoryOption) + "=")) {
      if (arg == kHistoryOption) {
        if (!value(text)) return false;
      } else {
        text = arg.substr(kHistoryOption.size() + 1);
      }
      std::size_t values = 0;
      if (!ParseHistoryValues(text, values, error)) return false;
      options.HistoryValues = values;
    } else if (arg.starts_with("-") && arg != "-") {
      error = "unknown option '" + arg + "'";
      return false;
    } else if (options.CasePath.empty()) {
      options.CasePath = arg;
    } else {
      error = "more than one case file: '" + options.CasePath + "' and '" + arg + "'";
      return false;
    }
  }
  // The alarm rows come while the run goes: on standard output they would
  // cut through the trace's rows or run into the metrics.
  if (options.AlarmsPath == "-") {
    for (const auto& [option, path] : {std::pair{"--trace", &options.TracePath}, {"--metrics", &options.MetricsPath}}) {
      if (*path == "-") {
        error = std::string("--alarms - and ") + option + " - cannot both write to standard output";
        return false;
      }
    }
  }
  return true;
}

}  // namespace qx
