// The command line of "qxsim sweep": the grid, the run's options as "qxsim
// run" takes them, the threads, the shard and the outputs; or the merge of
// shards.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/FieldTable.h"
#include "sweep/SweepGrid.h"
#include "tools/qxsim/RunOptions.h"

namespace qx {

struct SweepOptions {
  RunOptions Run;  // the case, --set, --steps, --at and --seed
  // The run options as given, for the file's "# run:" line.
  std::vector<std::string> RunArguments;
  std::vector<sweep::GridAxis> Axes;
  std::vector<const FieldInfo*> Fields;  // the field each axis sets
  int Jobs = 0;                          // 0: the machine's cores
  std::optional<sweep::Shard> Part;
  std::string OutPath;  // empty or "-": standard output
  std::string MapPath;
  std::string MapIndex = "IAE";
  bool Merge = false;
  std::vector<std::string> MergePaths;
};

// The field a grid axis name sets: P, I and D are the single loop's
// tuning; otherwise Record.Field. A setting is a real field that a case
// file holds as it is (not a computed value such as SingleLoop.PV). Null
// with a message naming the axis when the name is neither.
const FieldInfo* GridField(const std::string& name, std::string& error);

// Parses the arguments after "sweep". False with a message naming the
// offending value on a usage error.
bool ParseSweepOptions(const std::vector<std::string>& args, SweepOptions& options, std::string& error);

}  // namespace qx
