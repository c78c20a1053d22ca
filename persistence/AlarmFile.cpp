#include "persistence/AlarmFile.h"

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <map>
#include <string_view>

#include "persistence/SafeFile.h"

namespace qx {
namespace {

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// A whole field of a number in "." decimal (from_chars ignores the locale).
bool ParseNumber(std::string_view text, double& value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string AlarmFilePath(const std::string& casePath) { return casePath + ".alarms"; }

AlarmFileRead ReadAlarmFile(const std::string& path, double cvLow, double cvHigh) {
  AlarmFileRead read;
  std::string bytes, reason;
  const std::string name = std::filesystem::path(path).filename().string();
  if (!ReadRegularFile(path, kMaxAlarmFileBytes, bytes, reason)) {
    if (errno != ENOENT) read.Problems.push_back(name + ": cannot be read: " + reason);
    return read;
  }
  // The line each field was taken from, to name it when the field is refused
  // as a whole.
  std::map<const AlarmLimitField*, int> lineOf;
  std::string_view rest = bytes;
  for (int line = 1; !rest.empty(); ++line) {
    const std::size_t newline = rest.find('\n');
    const std::string_view text = Trim(rest.substr(0, newline));
    rest = newline == std::string_view::npos ? std::string_view() : rest.substr(newline + 1);
    if (text.empty() || text.front() == '#') continue;
    const std::string where = name + " line " + std::to_string(line) + ": ";
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
      read.Problems.push_back(where + "'" + std::string(text) + "' is not key = value");
      continue;
    }
    const std::string key(Trim(text.substr(0, equals)));
    const std::string_view valueText = Trim(text.substr(equals + 1));
    const AlarmLimitField* field = FindAlarmLimitField(key);
    if (!field) {
      read.Problems.push_back(where + "unknown key '" + key + "'");
      continue;
    }
    std::optional<double> value;
    double number = 0;
    if (!valueText.empty()) {
      if (!ParseNumber(valueText, number)) {
        read.Problems.push_back(where + key + " = " + std::string(valueText) + ": not a number");
        continue;
      }
      value = number;
    } else if (!std::holds_alternative<std::optional<double> AlarmLimits::*>(field->Member)) {
      read.Problems.push_back(where + key + " is empty and cannot be off");
      continue;
    }
    SetAlarmField(read.Limits, *field, value);
    lineOf[field] = line;
  }
  for (const AlarmLimitProblem& p : RepairAlarmLimits(read.Limits, cvLow, cvHigh)) {
    const auto at = lineOf.find(p.Field);
    const std::string where = at == lineOf.end() ? name : name + " line " + std::to_string(at->second);
    read.Problems.push_back(where + ": " + p.Message + " (default used)");
  }
  // A file of garbage is reported by its first lines, not by every one.
  if (read.Problems.size() > kMaxAlarmFileProblems) {
    const std::size_t more = read.Problems.size() - kMaxAlarmFileProblems;
    read.Problems.resize(kMaxAlarmFileProblems);
    read.Problems.push_back(name + ": " + std::to_string(more) + " more problems");
  }
  return read;
}

std::string AlarmFileText(const AlarmLimits& limits, const std::string& caseName) {
  std::string text = "# Alarm limits of " + caseName + "; an empty value is off\n";
  for (const AlarmLimitField& field : AlarmLimitFields()) {
    const std::string value = AlarmFieldText(limits, field);
    text.append(field.Key).append(value.empty() ? " =" : " = ").append(value).append("\n");
  }
  return text;
}

bool WriteAlarmFile(const std::string& path, const AlarmLimits& limits,
                    const std::string& caseName, std::string& reason) {
  return ReplaceFile(path, AlarmFileText(limits, caseName), reason);
}

}  // namespace qx
