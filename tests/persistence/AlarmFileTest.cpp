// The companion file of a case's alarm limits: written and read back, a
// missing one, a garbage or partly bad one (each problem named by file,
// line and value; defaults for what is bad, the rest taken).
#include "persistence/AlarmFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "TestSupport.h"

namespace qx {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

constexpr double kCvLow = 0, kCvHigh = 100;

TEST(AlarmFile, WrittenAndReadBack) {
  TempDir dir;
  AlarmLimits limits;
  limits.High = 80.5;
  limits.LowLow = 5;
  limits.LevelDeadband = 1.25;
  limits.Deviation = 10;
  limits.DeviationDelay = 30;
  limits.SaturationDelay = 0;
  limits.SaturationSeverity = 900;
  const std::string path = AlarmFilePath(dir.File("case.pid"));
  EXPECT_EQ(path, dir.File("case.pid.alarms"));
  std::string reason;
  ASSERT_TRUE(WriteAlarmFile(path, limits, "case.pid", reason)) << reason;
  const std::string text = ReadBytes(path);
  EXPECT_NE(text.find("pv.high = 80.5\n"), std::string::npos) << text;
  EXPECT_NE(text.find("pv.highhigh =\n"), std::string::npos) << text;
  const AlarmFileRead read = ReadAlarmFile(path, kCvLow, kCvHigh);
  EXPECT_TRUE(read.Problems.empty());
  EXPECT_EQ(read.Limits, limits);
}

TEST(AlarmFile, MissingGivesDefaultsSilently) {
  TempDir dir;
  const AlarmFileRead read = ReadAlarmFile(dir.File("none.pid.alarms"), kCvLow, kCvHigh);
  EXPECT_TRUE(read.Problems.empty());
  EXPECT_EQ(read.Limits, AlarmLimits{});
}

TEST(AlarmFile, PartlyBadKeepsTheGoodLines) {
  TempDir dir;
  const std::string path = dir.File("c.pid.alarms");
  WriteBytes(path,
             "# comment\n"
             "pv.high = 80\n"
             "pv.highhigh = 150\n"        // outside the CV range
             "deviation.limit = ten\n"    // not a number
             "  deviation.delay=20\r\n"   // spaces and CRLF are fine
             "pv.colour = red\n"          // unknown key
             "just words\n"
             "pv.deadband =\n"            // cannot be off
             "saturation.delay = 5\n");
  const AlarmFileRead read = ReadAlarmFile(path, kCvLow, kCvHigh);
  EXPECT_EQ(read.Problems, (std::vector<std::string>{
                               "c.pid.alarms line 4: deviation.limit = ten: not a number",
                               "c.pid.alarms line 6: unknown key 'pv.colour'",
                               "c.pid.alarms line 7: 'just words' is not key = value",
                               "c.pid.alarms line 8: pv.deadband is empty and cannot be off",
                               "c.pid.alarms line 3: pv.highhigh = 150: outside the CV range 0 to 100 "
                               "(default used)"}));
  AlarmLimits expected;
  expected.High = 80;
  expected.DeviationDelay = 20;
  expected.SaturationDelay = 5;
  EXPECT_EQ(read.Limits, expected);
}

TEST(AlarmFile, ReversedLimitsRefuseTheLaterOne) {
  TempDir dir;
  const std::string path = dir.File("c.pid.alarms");
  WriteBytes(path, "pv.low = 60\npv.high = 40\n");
  const AlarmFileRead read = ReadAlarmFile(path, kCvLow, kCvHigh);
  ASSERT_EQ(read.Problems.size(), 1u);
  EXPECT_EQ(read.Problems[0], "c.pid.alarms line 2: pv.high = 40: not above pv.low = 60 (default used)");
  EXPECT_EQ(read.Limits.Low, 60);
  EXPECT_FALSE(read.Limits.High);
}

TEST(AlarmFile, GarbageIsReportedByItsFirstLines) {
  TempDir dir;
  const std::string path = dir.File("g.pid.alarms");
  std::string garbage;
  for (int i = 0; i < 200; ++i) garbage += std::string("\x01\xff\x7f garbage ") + char('a' + i % 26) + "\n";
  WriteBytes(path, garbage);
  const AlarmFileRead read = ReadAlarmFile(path, kCvLow, kCvHigh);
  ASSERT_EQ(read.Problems.size(), kMaxAlarmFileProblems + 1);
  EXPECT_EQ(read.Problems[0].rfind("g.pid.alarms line 1: ", 0), 0u) << read.Problems[0];
  EXPECT_EQ(read.Problems.back(), "g.pid.alarms: 190 more problems");
  EXPECT_EQ(read.Limits, AlarmLimits{});
}

TEST(AlarmFile, UnreadableIsNamed) {
  TempDir dir;
  const std::string path = dir.File("d.pid.alarms");
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  const AlarmFileRead read = ReadAlarmFile(path, kCvLow, kCvHigh);
  ASSERT_EQ(read.Problems.size(), 1u);
  EXPECT_EQ(read.Problems[0].rfind("d.pid.alarms: cannot be read: ", 0), 0u) << read.Problems[0];
}

}  // namespace
}  // namespace qx
