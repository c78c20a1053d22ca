#include "tools/qxsim/SweepOptions.h"

#include <cmath>
#include <limits>
#include <set>

#include "app/LoopAnalysis.h"
#include "persistence/CaseLineTable.h"
#include "tools/qxsim/OptionText.h"

namespace qx {
namespace {

// The options of "qxsim run" that a sweep passes on to every point, each
// with a value.
bool IsRunOption(const std::string& arg) {
  return arg == "--set" || arg == "--steps" || arg == "--at" || arg == "--seed";
}

bool IsIndexName(const std::string& name) {
  for (const IndexValue& index : IndexValues(analysis::PerformanceResults{}))
    if (name == index.name) return true;
  return false;
}

std::string IndexNames() {
  std::string names;
  for (const IndexValue& index : IndexValues(analysis::PerformanceResults{}))
    names.append(names.empty() ? "" : ", ").append(index.name);
  return names;
}

}  // namespace

const FieldInfo* GridField(const std::string& name, std::string& error) {
  const std::string qualified = name == "P" || name == "I" || name == "D" ? "SingleLoop." + name : name;
  const FieldInfo* field = FindField(qualified);
  if (!field) {
    error = "--grid: unknown field '" + name + "' (P, I, D or Record.Field)";
    return nullptr;
  }
  for (const CaseLine& line : CaseLines())
    if (line.name == qualified && line.kind == CaseValueKind::Real && line.rule == CaseLineRule::Plain &&
        field->kind == FieldKind::Real)
      return field;
  error = "--grid: '" + name + "' is not a setting (a real value that the case file holds)";
  return nullptr;
}

bool ParseSweepOptions(const std::vector<std::string>& args, SweepOptions& options, std::string& error) {
  std::vector<std::string> runArgs;
  std::set<const FieldInfo*> seen;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) { return TakeOptionValue(args, i, out, error); };
    std::string text;
    if (options.Merge && !arg.starts_with("-")) {
      options.MergePaths.push_back(arg);
    } else if (arg == "--merge") {
      options.Merge = true;
    } else if (arg == "--grid") {
      if (!value(text)) return false;
      sweep::GridAxis axis;
      if (!sweep::ParseGridAxis(text, axis, error)) return false;
      const FieldInfo* field = GridField(axis.Name, error);
      if (!field) return false;
      if (!seen.insert(field).second) {
        error = "--grid: '" + axis.Name + "' is on the grid twice";
        return false;
      }
      if (std::fabs(axis.Low) > std::numeric_limits<float>::max() ||
          std::fabs(axis.High) > std::numeric_limits<float>::max()) {
        error = "--grid '" + text + "': beyond single precision";
        return false;
      }
      options.Axes.push_back(std::move(axis));
      options.Fields.push_back(field);
    } else if (arg == "--jobs") {
      if (!value(text)) return false;
      int jobs = 0;
      if (!ParseWholeNumber(text, jobs) || jobs < 1) {
        error = "--jobs expects a whole number >= 1, got '" + text + "'";
        return false;
      }
      options.Jobs = jobs;
    } else if (arg == "--shard") {
      if (!value(text)) return false;
      sweep::Shard shard;
      if (!sweep::ParseShard(text, shard, error)) return false;
      options.Part = shard;
    } else if (arg == "--out") {
      if (!value(options.OutPath)) return false;
    } else if (arg == "--map") {
      if (!value(options.MapPath)) return false;
    } else if (arg == "--map-index") {
      if (!value(options.MapIndex)) return false;
      if (!IsIndexName(options.MapIndex)) {
        error = "--map-index: unknown index '" + options.MapIndex + "' (one of " + IndexNames() + ")";
        return false;
      }
    } else if (IsRunOption(arg)) {
      if (!value(text)) return false;
      runArgs.push_back(arg);
      runArgs.push_back(text);
    } else if (arg.starts_with("-") && arg != "-") {
      error = "unknown option '" + arg + "' (a sweep takes --set, --steps, --at and --seed of qxsim run)";
      return false;
    } else {
      runArgs.push_back(arg);
    }
  }
  if (options.Merge) {
    if (!options.Axes.empty() || !runArgs.empty() || options.Part) {
      error = "--merge takes only FILES, --out, --map and --map-index";
      return false;
    }
    if (options.MergePaths.empty()) {
      error = "--merge needs at least one sweep file";
      return false;
    }
    return true;
  }
  if (options.Axes.empty()) {
    error = "a sweep needs at least one --grid NAME=LO:HI:N";
    return false;
  }
  if (!options.MapPath.empty() && options.Axes.size() < 2) {
    error = "--map needs two --grid axes";
    return false;
  }
  const int64_t points = sweep::Grid(options.Axes).PointCount();
  if (points > sweep::kMaxGridPoints) {
    error = "the grid has more than " + std::to_string(sweep::kMaxGridPoints) + " points";
    return false;
  }
  if (!ParseRunOptions(runArgs, options.Run, error)) return false;
  for (const ScriptedAction& action : options.Run.Actions) {
    if (action.What == PanelAction::Kind::MasterSetUp || action.What == PanelAction::Kind::MasterConnect) {
      error = "--at: a sweep's runs have no master link";
      return false;
    }
  }
  options.RunArguments = std::move(runArgs);
  return true;
}

}  // namespace qx
