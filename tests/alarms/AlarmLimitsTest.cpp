// Limits the alarms refuse, each named by its field and value, and the
// repair that keeps the acceptable fields of a partly bad set.
#include "alarms/AlarmLimits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace qx {
namespace {

constexpr double kCvLow = 0, kCvHigh = 100;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string Problems(const AlarmLimits& limits) {
  std::string text;
  for (const AlarmLimitProblem& p : CheckAlarmLimits(limits, kCvLow, kCvHigh)) {
    text += (text.empty() ? "" : "; ") + p.Message;
  }
  return text;
}

struct BadCase {
  const char* name;
  std::function<void(AlarmLimits&)> change;
  const char* message;
};

class BadLimits : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadLimits, RefusedNamingFieldAndValue) {
  AlarmLimits limits;
  limits.Low = 20;
  limits.High = 80;
  EXPECT_EQ(Problems(limits), "");
  GetParam().change(limits);
  EXPECT_EQ(Problems(limits), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadLimits,
    ::testing::Values(
        BadCase{"NaN", [](AlarmLimits& l) { l.High = kNaN; }, "pv.high = nan: not a finite number"},
        BadCase{"Infinite", [](AlarmLimits& l) { l.Deviation = INFINITY; },
                "deviation.limit = inf: not a finite number"},
        BadCase{"LowAboveHigh", [](AlarmLimits& l) { l.Low = 85; }, "pv.high = 80: not above pv.low = 85"},
        BadCase{"HighAboveHighHigh", [](AlarmLimits& l) { l.HighHigh = 70; },
                "pv.highhigh = 70: not above pv.high = 80"},
        BadCase{"LowLowAboveLow", [](AlarmLimits& l) { l.LowLow = 20; },
                "pv.low = 20: not above pv.lowlow = 20"},
        BadCase{"AboveCvRange", [](AlarmLimits& l) { l.HighHigh = 120; },
                "pv.highhigh = 120: outside the CV range 0 to 100"},
        BadCase{"BelowCvRange", [](AlarmLimits& l) { l.LowLow = -0.5; },
                "pv.lowlow = -0.5: outside the CV range 0 to 100"},
        BadCase{"NegativeDeadband", [](AlarmLimits& l) { l.LevelDeadband = -1; }, "pv.deadband = -1: negative"},
        BadCase{"DeadbandAsWideAsDeviation", [](AlarmLimits& l) { l.Deviation = 5; l.DeviationDeadband = 5; },
                "deviation.deadband = 5: not below deviation.limit = 5"},
        BadCase{"ZeroDeviation", [](AlarmLimits& l) { l.Deviation = 0; }, "deviation.limit = 0: not above 0"},
        BadCase{"NegativeDelay", [](AlarmLimits& l) { l.Deviation = 5; l.DeviationDelay = -2; },
                "deviation.delay = -2: negative"},
        BadCase{"HugeDelay", [](AlarmLimits& l) { l.SaturationDelay = 1e9; },
                "saturation.delay = 1e+09: above the longest delay 36000"},
        BadCase{"SaturationDeadband", [](AlarmLimits& l) { l.SaturationDeadband = 50; },
                "saturation.deadband = 50: not below half the output range 50"},
        BadCase{"SeverityTooHigh", [](AlarmLimits& l) { l.LevelSeverity = 5000; },
                "pv.severity = 5000: not a whole number from 1 to 1000"},
        BadCase{"SeverityFraction", [](AlarmLimits& l) { l.DeviationSeverity = 2.5; },
                "deviation.severity = 2.5: not a whole number from 1 to 1000"}),
    [](const ::testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

TEST(AlarmLimitsCheck, DefaultsAndAFullSetAreAccepted) {
  EXPECT_EQ(Problems(AlarmLimits{}), "");
  AlarmLimits l;
  l.LowLow = 0;
  l.Low = 10;
  l.High = 90;
  l.HighHigh = 100;
  l.LevelDeadband = 1;
  l.Deviation = 100;
  l.DeviationDelay = kMaxAlarmDelay;
  l.SaturationDelay = 0;
  l.SaturationSeverity = 1000;
  EXPECT_EQ(Problems(l), "");
}

TEST(AlarmLimitsCheck, RepairResetsOnlyTheRefusedFields) {
  AlarmLimits l;
  l.High = 80;
  l.HighHigh = 150;
  l.DeviationDelay = -1;
  l.Deviation = 5;
  const auto problems = RepairAlarmLimits(l, kCvLow, kCvHigh);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(l.High, 80);
  EXPECT_FALSE(l.HighHigh);
  EXPECT_EQ(l.Deviation, 5);
  EXPECT_EQ(l.DeviationDelay, 0);
  EXPECT_EQ(Problems(l), "");
}

TEST(AlarmLimitsFields, TextRoundTripsEveryField) {
  AlarmLimits l;
  double v = 1;
  for (const AlarmLimitField& f : AlarmLimitFields()) SetAlarmField(l, f, v += 1.25);
  for (const AlarmLimitField& f : AlarmLimitFields()) {
    AlarmLimits copy;
    SetAlarmField(copy, f, std::stod(AlarmFieldText(l, f)));
    EXPECT_EQ(AlarmFieldText(copy, f), AlarmFieldText(l, f)) << f.Key;
  }
  EXPECT_EQ(FindAlarmLimitField("pv.high")->Key, std::string("pv.high"));
  EXPECT_EQ(FindAlarmLimitField("pv.hi"), nullptr);
}

}  // namespace
}  // namespace qx
