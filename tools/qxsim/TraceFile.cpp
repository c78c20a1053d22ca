#include "tools/qxsim/TraceFile.h"

#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <string_view>

namespace qx {
namespace {

enum Column { kStep, kSP, kPV, kOP, kOPOut, kMV, kMode, kColumnCount };
constexpr std::array<std::string_view, kColumnCount> kColumnNames = {"step", "SP", "PV", "OP",
                                                                     "OPOut", "MV", "Mode"};

std::vector<std::string_view> SplitCells(std::string_view line) {
  std::vector<std::string_view> cells;
  while (true) {
    const auto comma = line.find(',');
    cells.push_back(line.substr(0, comma));
    if (comma == std::string_view::npos) return cells;
    line.remove_prefix(comma + 1);
  }
}

// A cell that is one number in full, in the C locale's notation the trace
// is written in.
bool ParseCell(std::string_view cell, double& value) {
  if (!cell.empty() && cell.back() == '\r') cell.remove_suffix(1);
  if (cell.empty()) return false;
  auto [ptr, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
  return ec == std::errc() && ptr == cell.data() + cell.size();
}

}  // namespace

bool ReadTraceFile(const std::string& path, std::vector<TraceStep>& steps, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read the trace '" + path + "'";
    return false;
  }
  std::string line;
  if (!std::getline(in, line)) {
    error = "'" + path + "' is empty, not a trace";
    return false;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const std::vector<std::string_view> names = SplitCells(line);
  std::array<std::size_t, kColumnCount> position{};
  for (std::size_t c = 0; c < kColumnCount; ++c) {
    std::size_t i = 0;
    while (i < names.size() && names[i] != kColumnNames[c]) ++i;
    if (i == names.size()) {
      error = "'" + path + "' is not a trace: its first line has no column '" +
              std::string(kColumnNames[c]) + "'";
      return false;
    }
    position[c] = i;
  }

  steps.clear();
  for (int64_t lineNumber = 2; std::getline(in, line); ++lineNumber) {
    if (line.empty() || line == "\r") continue;
    const std::vector<std::string_view> cells = SplitCells(line);
    std::array<double, kColumnCount> v{};
    for (std::size_t c = 0; c < kColumnCount; ++c) {
      if (position[c] >= cells.size() || !ParseCell(cells[position[c]], v[c])) {
        error = path + ":" + std::to_string(lineNumber) + ": column " +
                std::string(kColumnNames[c]) + " holds no number";
        return false;
      }
    }
    if (v[kStep] < 0 || v[kStep] != std::floor(v[kStep]) || v[kStep] > 9e15) {
      error = path + ":" + std::to_string(lineNumber) + ": step '" +
              std::string(cells[position[kStep]]) + "' is not a step number";
      return false;
    }
    TraceStep s;
    s.Step = static_cast<int64_t>(v[kStep]);
    s.Sample = {static_cast<double>(s.Step) * analysis::kStepTime, v[kSP], v[kPV], v[kOP],
                v[kMode] != 0 ? 1 : 0};
    s.OPOut = v[kOPOut];
    s.MV = v[kMV];
    steps.push_back(s);
  }
  return true;
}

}  // namespace qx
