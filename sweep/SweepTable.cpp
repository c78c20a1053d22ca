#include "sweep/SweepTable.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

namespace qx::sweep {
namespace {

constexpr std::string_view kGridPrefix = "# grid: ";
constexpr std::string_view kRunPrefix = "# run: ";
constexpr std::string_view kCasePrefix = "# case: ";

std::vector<std::string> SplitOn(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    const auto at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

std::string CaseText(const SweepTable& table) {
  std::string text;
  const auto& axes = table.TheGrid.Axes();
  for (std::size_t k = 0; k < axes.size() && k < table.CaseValues.size(); ++k) {
    char value[32];
    std::snprintf(value, sizeof value, "%.9g", table.CaseValues[k]);
    text.append(k ? " " : "").append(axes[k].Name).append("=").append(value);
  }
  return text;
}

bool ReadCaseValues(const std::string& text, SweepTable& table) {
  const std::vector<std::string> parts = SplitOn(text, ' ');
  if (parts.size() != table.TheGrid.Axes().size()) return false;
  table.CaseValues.clear();
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const std::string prefix = table.TheGrid.Axes()[k].Name + "=";
    if (parts[k].rfind(prefix, 0) != 0) return false;
    double value = 0;
    const char* first = parts[k].data() + prefix.size();
    const char* last = parts[k].data() + parts[k].size();
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last) return false;
    table.CaseValues.push_back(value);
  }
  return true;
}

std::string Joined(const std::vector<std::string>& cells) {
  std::string text;
  for (const std::string& cell : cells) text.append(text.empty() ? "" : ",").append(cell);
  return text;
}

}  // namespace

int SweepTable::ColumnIndex(const std::string& name) const {
  for (std::size_t i = 0; i < Columns.size(); ++i)
    if (Columns[i] == name) return static_cast<int>(i);
  return -1;
}

std::string TableText(const SweepTable& table) {
  std::string text;
  text.append(kGridPrefix).append(table.TheGrid.Text()).append("\n");
  text.append(kRunPrefix).append(table.RunText).append("\n");
  text.append(kCasePrefix).append(CaseText(table)).append("\n");
  text.append(kPointColumn);
  for (const std::string& column : table.Columns) text.append(",").append(column);
  text.append("\n");
  for (const auto& [point, cells] : table.Rows) {
    text.append(std::to_string(point));
    for (const std::string& cell : cells) text.append(",").append(cell);
    text.append("\n");
  }
  return text;
}

bool ReadTable(const std::string& path, SweepTable& table, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read '" + path + "': " + std::strerror(errno);
    return false;
  }
  auto fail = [&](int line, const std::string& why) {
    error = "'" + path + "' line " + std::to_string(line) + ": " + why;
    return false;
  };
  std::string line;
  int number = 0;
  auto next = [&] {
    ++number;
    if (!std::getline(in, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  };
  table = SweepTable{};
  if (!next() || line.rfind(kGridPrefix, 0) != 0) return fail(number, "not a sweep file (no '# grid:' line)");
  std::vector<GridAxis> axes;
  for (const std::string& text : SplitOn(line.substr(kGridPrefix.size()), ' ')) {
    GridAxis axis;
    std::string why;
    if (!ParseGridAxis(text, axis, why)) return fail(number, why);
    axes.push_back(std::move(axis));
  }
  table.TheGrid = Grid(std::move(axes));
  if (!next() || line.rfind(kRunPrefix, 0) != 0) return fail(number, "expected the '# run:' line");
  table.RunText = line.substr(kRunPrefix.size());
  if (!next() || line.rfind(kCasePrefix, 0) != 0 || !ReadCaseValues(line.substr(kCasePrefix.size()), table))
    return fail(number, "expected '# case:' with a value for every grid axis");
  if (!next()) return fail(number, "no header line");
  std::vector<std::string> header = SplitOn(line, ',');
  if (header.size() < 2 || header.front() != kPointColumn || header.back() != kStableColumn)
    return fail(number, "the header must run from 'point' to 'Stable'");
  table.Columns.assign(header.begin() + 1, header.end());
  const int64_t points = table.TheGrid.PointCount();
  while (next()) {
    if (line.empty()) continue;
    std::vector<std::string> cells = SplitOn(line, ',');
    if (cells.size() != header.size())
      return fail(number, std::to_string(cells.size()) + " cells, the header has " + std::to_string(header.size()));
    int64_t point = -1;
    const auto [ptr, ec] = std::from_chars(cells[0].data(), cells[0].data() + cells[0].size(), point);
    if (ec != std::errc() || ptr != cells[0].data() + cells[0].size() || point < 0 || point >= points)
      return fail(number, "point '" + cells[0] + "' is not one of the grid's 0.." + std::to_string(points - 1));
    if (table.Rows.count(point)) return fail(number, "point " + cells[0] + " a second time");
    cells.erase(cells.begin());
    table.Rows.emplace(point, std::move(cells));
  }
  return true;
}

bool MergeTables(const std::vector<SweepTable>& parts, const std::vector<std::string>& names,
                 SweepTable& merged, std::vector<std::string>& notes, std::string& error) {
  if (parts.empty()) {
    error = "nothing to merge";
    return false;
  }
  merged = parts.front();
  merged.Rows.clear();
  std::map<int64_t, std::size_t> source;  // point -> the part that gave it first
  // (first part, later part) -> points both hold with the same row
  std::map<std::pair<std::size_t, std::size_t>, int64_t> repeated;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const SweepTable& part = parts[i];
    auto differs = [&](const std::string& what, const std::string& mine, const std::string& theirs) {
      error = "'" + names[i] + "' is of another sweep than '" + names[0] + "': " + what + " '" + theirs +
              "' against '" + mine + "'";
      return false;
    };
    if (part.TheGrid.Text() != merged.TheGrid.Text())
      return differs("grid", merged.TheGrid.Text(), part.TheGrid.Text());
    if (part.RunText != merged.RunText) return differs("run", merged.RunText, part.RunText);
    if (CaseText(part) != CaseText(merged)) return differs("case", CaseText(merged), CaseText(part));
    if (part.Columns != merged.Columns) return differs("columns", Joined(merged.Columns), Joined(part.Columns));
    for (const auto& [point, cells] : part.Rows) {
      const auto [at, added] = merged.Rows.emplace(point, cells);
      if (added) {
        source[point] = i;
        continue;
      }
      if (at->second != cells) {
        error = "point " + std::to_string(point) + " differs between '" + names[source[point]] + "' and '" +
                names[i] + "'";
        return false;
      }
      ++repeated[{source[point], i}];
    }
  }
  for (const auto& [pair, count] : repeated)
    notes.push_back(std::to_string(count) + " point" + (count == 1 ? " is" : "s are") + " in both '" +
                    names[pair.first] + "' and '" + names[pair.second] + "' (the same rows)");
  return true;
}

std::string MissingPoints(const SweepTable& table, std::size_t limit) {
  std::string text;
  std::size_t ranges = 0;
  const int64_t points = table.TheGrid.PointCount();
  for (int64_t point = 0; point < points;) {
    if (table.Rows.count(point)) {
      ++point;
      continue;
    }
    int64_t last = point;
    while (last + 1 < points && !table.Rows.count(last + 1)) ++last;
    if (ranges++ == limit) return text + ", ...";
    text.append(text.empty() ? "" : ", ").append(std::to_string(point));
    if (last > point) text.append("-").append(std::to_string(last));
    point = last + 1;
  }
  return text;
}

}  // namespace qx::sweep
