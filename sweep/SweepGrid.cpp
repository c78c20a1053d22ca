#include "sweep/SweepGrid.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace qx::sweep {
namespace {

std::string Format9(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.9g", value);
  return buffer;
}

bool ReadReal(std::string_view text, double& value) {
  if (text.empty()) return false;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && ptr == text.data() + text.size() && std::isfinite(value);
}

bool ReadCount(std::string_view text, int64_t& value) {
  if (text.empty()) return false;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && ptr == text.data() + text.size();
}

}  // namespace

double GridAxis::Value(int64_t i) const {
  if (Count <= 1 || i <= 0) return Low;
  if (i >= Count - 1) return High;
  return Low + (High - Low) * static_cast<double>(i) / static_cast<double>(Count - 1);
}

std::string GridAxis::ValueText(int64_t i) const { return Format9(Value(i)); }

std::string GridAxis::Text() const {
  return Name + "=" + Format9(Low) + ":" + Format9(High) + ":" + std::to_string(Count);
}

bool ParseGridAxis(std::string_view text, GridAxis& axis, std::string& error) {
  std::string quoted(1, '\'');
  quoted.append(text).append(1, '\'');
  const auto equals = text.find('=');
  const auto first = text.find(':', equals == std::string_view::npos ? 0 : equals);
  const auto second = first == std::string_view::npos ? first : text.find(':', first + 1);
  if (equals == std::string_view::npos || equals == 0 || first == std::string_view::npos ||
      second == std::string_view::npos || text.find(':', second + 1) != std::string_view::npos) {
    error = "--grid expects NAME=LO:HI:N, got " + quoted;
    return false;
  }
  axis.Name = std::string(text.substr(0, equals));
  const std::string_view low = text.substr(equals + 1, first - equals - 1);
  const std::string_view high = text.substr(first + 1, second - first - 1);
  const std::string_view count = text.substr(second + 1);
  if (!ReadReal(low, axis.Low) || !ReadReal(high, axis.High)) {
    error = "--grid " + quoted + ": LO and HI must be finite numbers";
    return false;
  }
  if (!ReadCount(count, axis.Count) || axis.Count < 1) {
    error = "--grid " + quoted + ": N must be a whole number >= 1, got '" + std::string(count) + "'";
    return false;
  }
  if (axis.Low > axis.High) {
    error = "--grid " + quoted + ": LO " + std::string(low) + " is above HI " + std::string(high);
    return false;
  }
  return true;
}

int64_t Grid::PointCount() const {
  if (axes_.empty()) return 0;
  int64_t points = 1;
  for (const GridAxis& axis : axes_) {
    if (axis.Count > kMaxGridPoints / points) return kMaxGridPoints + 1;
    points *= axis.Count;
  }
  return points;
}

std::vector<int64_t> Grid::AxisIndices(int64_t point) const {
  std::vector<int64_t> indices(axes_.size());
  for (std::size_t k = axes_.size(); k-- > 0;) {
    indices[k] = point % axes_[k].Count;
    point /= axes_[k].Count;
  }
  return indices;
}

int64_t Grid::PointOf(const std::vector<int64_t>& indices) const {
  int64_t point = 0;
  for (std::size_t k = 0; k < axes_.size(); ++k) point = point * axes_[k].Count + indices[k];
  return point;
}

std::string Grid::Text() const {
  std::string text;
  for (const GridAxis& axis : axes_) text.append(text.empty() ? "" : " ").append(axis.Text());
  return text;
}

bool ParseShard(std::string_view text, Shard& shard, std::string& error) {
  const auto slash = text.find('/');
  if (slash == std::string_view::npos || !ReadCount(text.substr(0, slash), shard.K) ||
      !ReadCount(text.substr(slash + 1), shard.N) || shard.N < 1 || shard.K < 1 || shard.K > shard.N) {
    error = "--shard expects K/N with 1 <= K <= N, got '" + std::string(text) + "'";
    return false;
  }
  return true;
}

}  // namespace qx::sweep
