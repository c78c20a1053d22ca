#include "alarms/AlarmLimits.h"

#include <array>
#include <charconv>
#include <cmath>

namespace qx {
namespace {

using L = AlarmLimits;

const std::array<AlarmLimitField, 14> kFields = {{
    {"pv.highhigh", &L::HighHigh},
    {"pv.high", &L::High},
    {"pv.low", &L::Low},
    {"pv.lowlow", &L::LowLow},
    {"pv.deadband", &L::LevelDeadband},
    {"pv.severity", &L::LevelSeverity, true},
    {"pv.severity.extreme", &L::LevelSevereSeverity, true},
    {"deviation.limit", &L::Deviation},
    {"deviation.delay", &L::DeviationDelay},
    {"deviation.deadband", &L::DeviationDeadband},
    {"deviation.severity", &L::DeviationSeverity, true},
    {"saturation.delay", &L::SaturationDelay},
    {"saturation.deadband", &L::SaturationDeadband},
    {"saturation.severity", &L::SaturationSeverity, true},
}};

std::optional<double> Get(const AlarmLimits& limits, const AlarmLimitField& field) {
  if (auto member = std::get_if<std::optional<double> L::*>(&field.Member)) return limits.**member;
  return limits.*std::get<double L::*>(field.Member);
}

const AlarmLimitField& Field(const char* key) { return *FindAlarmLimitField(key); }

// Collects the problems, each naming its field and value.
class Checker {
 public:
  explicit Checker(const AlarmLimits& limits) : limits_(limits) {}

  void Refuse(const char* key, const std::string& why) {
    const AlarmLimitField& field = Field(key);
    for (const AlarmLimitProblem& p : problems_) {
      if (p.Field == &field) return;  // one problem per field is enough to name it
    }
    problems_.push_back({&field, std::string(key) + " = " + Text(key) + ": " + why});
  }
  std::string Text(const char* key) const { return AlarmFieldText(limits_, Field(key)); }
  std::optional<double> Value(const char* key) const { return Get(limits_, Field(key)); }
  bool Refused(const char* key) const {
    for (const AlarmLimitProblem& p : problems_) {
      if (p.Field == &Field(key)) return true;
    }
    return false;
  }
  std::vector<AlarmLimitProblem> Take() { return std::move(problems_); }

 private:
  const AlarmLimits& limits_;
  std::vector<AlarmLimitProblem> problems_;
};

}  // namespace

std::span<const AlarmLimitField> AlarmLimitFields() { return kFields; }

const AlarmLimitField* FindAlarmLimitField(const std::string& key) {
  for (const AlarmLimitField& field : kFields) {
    if (key == field.Key) return &field;
  }
  return nullptr;
}

std::string AlarmNumberText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  std::array<char, 32> text{};
  const auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(), value);
  // A double's shortest form always fits 32 characters.
  return ec == std::errc() ? std::string(text.data(), end) : std::string("?");
}

std::string AlarmFieldText(const AlarmLimits& limits, const AlarmLimitField& field) {
  const std::optional<double> value = Get(limits, field);
  return value ? AlarmNumberText(*value) : std::string();
}

void SetAlarmField(AlarmLimits& limits, const AlarmLimitField& field, std::optional<double> value) {
  if (auto member = std::get_if<std::optional<double> L::*>(&field.Member)) {
    limits.**member = value;
  } else if (value) {
    limits.*std::get<double L::*>(field.Member) = *value;
  }
}

void ResetAlarmField(AlarmLimits& limits, const AlarmLimitField& field) {
  SetAlarmField(limits, field, Get(AlarmLimits{}, field));
}

std::vector<AlarmLimitProblem> CheckAlarmLimits(const AlarmLimits& limits, double cvLow,
                                                double cvHigh) {
  Checker check(limits);
  for (const AlarmLimitField& field : kFields) {
    const std::optional<double> value = Get(limits, field);
    if (value && !std::isfinite(*value)) check.Refuse(field.Key, "not a finite number");
  }
  const double span = cvHigh - cvLow;
  const std::string range = AlarmNumberText(cvLow) + " to " + AlarmNumberText(cvHigh);

  // Level limits: inside the CV range, in order.
  const char* levels[] = {"pv.lowlow", "pv.low", "pv.high", "pv.highhigh"};
  for (const char* key : levels) {
    const std::optional<double> v = check.Value(key);
    if (v && !check.Refused(key) && (*v < cvLow || *v > cvHigh)) {
      check.Refuse(key, "outside the CV range " + range);
    }
  }
  for (int i = 0; i < 4; ++i) {
    for (int j = i + 1; j < 4; ++j) {
      const std::optional<double> lower = check.Value(levels[i]), upper = check.Value(levels[j]);
      if (lower && upper && !check.Refused(levels[i]) && !check.Refused(levels[j]) &&
          *lower >= *upper) {
        check.Refuse(levels[j], std::string("not above ") + levels[i] + " = " + check.Text(levels[i]));
      }
    }
  }
  const auto nonNegativeBelow = [&](const char* key, double bound, const std::string& what) {
    const double v = *check.Value(key);
    if (check.Refused(key)) return;
    if (v < 0) {
      check.Refuse(key, "negative");
    } else if (v >= bound) {
      check.Refuse(key, "not below " + what);
    }
  };
  nonNegativeBelow("pv.deadband", span, "the CV span " + AlarmNumberText(span));
  if (const std::optional<double> dev = check.Value("deviation.limit"); dev && !check.Refused("deviation.limit")) {
    if (*dev <= 0) {
      check.Refuse("deviation.limit", "not above 0");
    } else if (*dev > span) {
      check.Refuse("deviation.limit", "above the CV span " + AlarmNumberText(span));
    } else {
      nonNegativeBelow("deviation.deadband", *dev, "deviation.limit = " + check.Text("deviation.limit"));
    }
  }
  if (!check.Value("deviation.limit")) {
    nonNegativeBelow("deviation.deadband", span, "the CV span " + AlarmNumberText(span));
  }
  const double halfOutput = (kOutputHigh - kOutputLow) / 2;
  nonNegativeBelow("saturation.deadband", halfOutput, "half the output range " + AlarmNumberText(halfOutput));
  for (const char* key : {"deviation.delay", "saturation.delay"}) {
    const std::optional<double> v = check.Value(key);
    if (!v || check.Refused(key)) continue;
    if (*v < 0) {
      check.Refuse(key, "negative");
    } else if (*v > kMaxAlarmDelay) {
      check.Refuse(key, "above the longest delay " + AlarmNumberText(kMaxAlarmDelay));
    }
  }
  for (const AlarmLimitField& field : kFields) {
    if (!field.Severity || check.Refused(field.Key)) continue;
    const double v = *Get(limits, field);
    if (v != std::floor(v) || v < kMinAlarmSeverity || v > kMaxAlarmSeverity) {
      check.Refuse(field.Key, "not a whole number from " + AlarmNumberText(kMinAlarmSeverity) +
                                  " to " + AlarmNumberText(kMaxAlarmSeverity));
    }
  }
  return check.Take();
}

std::vector<AlarmLimitProblem> RepairAlarmLimits(AlarmLimits& limits, double cvLow,
                                                 double cvHigh) {
  std::vector<AlarmLimitProblem> found;
  // Each round resets at least one field to its default, which is always
  // acceptable, so the rounds end.
  for (std::size_t round = 0; round <= kFields.size(); ++round) {
    std::vector<AlarmLimitProblem> problems = CheckAlarmLimits(limits, cvLow, cvHigh);
    if (problems.empty()) break;
    for (AlarmLimitProblem& p : problems) {
      ResetAlarmField(limits, *p.Field);
      found.push_back(std::move(p));
    }
  }
  return found;
}

}  // namespace qx
