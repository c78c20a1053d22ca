#include "tools/qxsim/TraceFile.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "persistence/SafeFile.h"

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

std::string TooLarge() {
  return "larger than the " + std::to_string(kMaxTraceBytes >> 20) + " MiB a trace may have";
}

// The lines of an open file, each at most kMaxTraceLineBytes, the file at
// most kMaxTraceBytes (counted as read, for a file that grows), and text:
// a NUL or another control character but tab and CR is binary data.
class TraceLines {
 public:
  explicit TraceLines(int fd) : fd_(fd) {}
  ~TraceLines() { close(fd_); }  // read-only: nothing to lose on close
  TraceLines(const TraceLines&) = delete;
  TraceLines& operator=(const TraceLines&) = delete;

  // The next line without its end, counting from 1; false at the end of
  // the file or with Failure() set.
  bool Next(std::string& line) {
    line.clear();
    if (!failure_.empty()) return false;
    ++number_;
    for (;;) {
      if (start_ == chunk_.size() && !Fill()) return failure_.empty() && !line.empty();
      const std::size_t end = chunk_.find('\n', start_);
      const std::size_t stop = end == std::string::npos ? chunk_.size() : end;
      for (std::size_t i = start_; i < stop; ++i) {
        const auto c = static_cast<unsigned char>(chunk_[i]);
        if (c < 0x20 && c != '\t' && c != '\r') {
          failure_ = "binary data at line " + std::to_string(number_);
          return false;
        }
      }
      if (line.size() + (stop - start_) > kMaxTraceLineBytes) {
        failure_ = "line " + std::to_string(number_) + " is longer than " + std::to_string(kMaxTraceLineBytes) +
                   " bytes";
        return false;
      }
      line.append(chunk_, start_, stop - start_);
      start_ = stop;
      if (end != std::string::npos) {
        ++start_;
        return true;
      }
    }
  }
  int64_t Number() const { return number_; }
  // Why reading stopped before the end, or empty.
  const std::string& Failure() const { return failure_; }

 private:
  bool Fill() {
    constexpr std::size_t kChunkBytes = 64 * 1024;
    chunk_.resize(kChunkBytes);
    start_ = 0;
    for (;;) {
      const ssize_t n = read(fd_, chunk_.data(), chunk_.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) failure_ = std::string("a read failed: ") + std::strerror(errno);
      chunk_.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
      total_ += chunk_.size();
      if (total_ > kMaxTraceBytes) failure_ = TooLarge();
      return n > 0 && failure_.empty();
    }
  }

  int fd_;
  std::string chunk_;
  std::size_t start_ = 0;
  std::size_t total_ = 0;
  int64_t number_ = 0;
  std::string failure_;
};

}  // namespace

bool ReadTraceFile(const std::string& path, std::vector<TraceStep>& steps, std::string& error) {
  off_t size = 0;
  std::string reason;
  const int fd = OpenRegularFile(path, size, reason);
  if (fd < 0) {
    error = "cannot read the trace '" + path + "': " + reason;
    return false;
  }
  TraceLines lines(fd);
  if (static_cast<std::uintmax_t>(size) > kMaxTraceBytes) {
    error = "'" + path + "' is not a trace: " + TooLarge() + " (it has " + std::to_string(size) + " bytes)";
    return false;
  }
  std::string line;
  if (!lines.Next(line)) {
    error = "'" + path + (lines.Failure().empty() ? "' is empty, not a trace"
                                                  : "' is not a trace: " + lines.Failure());
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
  while (lines.Next(line)) {
    const int64_t lineNumber = lines.Number();
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
  if (!lines.Failure().empty()) {
    error = "'" + path + "' is not a trace: " + lines.Failure();
    return false;
  }
  return true;
}

}  // namespace qx
