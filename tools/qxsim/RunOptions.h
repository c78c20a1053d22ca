// The command line of "qxsim run": what to load, what to override, what to
// do at which step, and what to write out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/PanelActions.h"

namespace qx {

struct RunOptions {
  std::string CasePath;  // empty: the built-in starting case
  std::vector<FieldOverride> Overrides;
  std::optional<int64_t> Steps;
  std::vector<ScriptedAction> Actions;  // in command-line order
  std::string TracePath;                // "-" for standard output
  std::string DumpModelPath;
  std::string DumpPanelPath;
  std::string SaveCasePath;
  std::string MetricsPath;  // "-" for standard output
  std::string AlarmsPath;   // "-" for standard output
  std::optional<uint64_t> Seed;
  std::optional<std::string> ServeEndpoint;  // set by --serve (empty: default)
  std::optional<double> ServeAfterSeconds;
  std::optional<std::size_t> HistoryValues;  // --history: values per history variable
  // Set by --master: follow the master's output from the start of the run
  // (empty: QX_MASTER_ENDPOINT, else opc.tcp://127.0.0.1:4841).
  std::optional<std::string> MasterEndpoint;
};

// Parses the arguments after "run". Returns false with a message naming the
// offending argument on a usage error.
bool ParseRunOptions(const std::vector<std::string>& args, RunOptions& options, std::string& error);

}  // namespace qx
