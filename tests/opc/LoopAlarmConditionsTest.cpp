// The loop's alarm states as conditions: what reaches the server at a trend
// sample, and a client's answer on its way to the GUI thread.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "opc/LoopAlarmConditions.h"

namespace qx {
namespace {

// The three alarms as the alarm library starts them: on, normal.
std::array<AlarmStatus, kLoopAlarmCount> NormalAlarms() {
  std::array<AlarmStatus, kLoopAlarmCount> alarms{};
  for (std::size_t i = 0; i < kLoopAlarmCount; ++i) {
    alarms[i].Kind = static_cast<AlarmKind>(i);
    alarms[i].Enabled = true;
  }
  return alarms;
}

class LoopAlarms : public ::testing::Test {
 protected:
  LoopAlarms() {
    conditions.SetStateSink([this](uint32_t handle, opcua::ConditionState state) {
      sent.emplace_back(handle, std::move(state));
    });
  }
  LoopAlarmConditions conditions;
  std::vector<std::pair<uint32_t, opcua::ConditionState>> sent;
  std::array<AlarmStatus, kLoopAlarmCount> statuses = NormalAlarms();
  const opcua::DateTime now = opcua::DateTime::FromUnixMicros(1'700'000'000'000'000);
};

TEST_F(LoopAlarms, OnlyTransitionsReachTheServer) {
  conditions.Publish(statuses, now);
  EXPECT_EQ(sent.size(), kLoopAlarmCount);  // the first sample tells every state
  sent.clear();
  statuses[1].Value = 3;  // a value alone is no transition
  conditions.Publish(statuses, now);
  EXPECT_TRUE(sent.empty());
  AlarmStatus& level = statuses[0];
  level.Active = true;
  level.Acked = level.Confirmed = false;
  level.Limit = LevelLimit::HighHigh;
  level.LimitValue = 95;
  level.Severity = 800;
  level.Message = "PV high-high: 96 > 95";
  level.Transitions = 1;
  statuses[2].Enabled = false;  // limits taken away: a change too
  conditions.Publish(statuses, now);
  ASSERT_EQ(sent.size(), 2u);
  const opcua::ConditionState& s = sent[0].second;
  EXPECT_TRUE(s.active);
  EXPECT_FALSE(s.acked);
  EXPECT_EQ(s.limit, opcua::LimitState::HighHigh);
  EXPECT_EQ(s.limits.highHigh, 95.0);
  EXPECT_FALSE(s.limits.high.has_value());
  EXPECT_EQ(s.severity, 800);
  EXPECT_EQ(s.message.text, "PV high-high: 96 > 95");
  EXPECT_EQ(s.time, now) << "no transition time yet: the sample's";
  EXPECT_FALSE(sent[1].second.enabled);
  sent.clear();
  // The time of a state is its transition's, not the sample's.
  level.Acked = true;
  level.WallTime = std::chrono::system_clock::time_point(std::chrono::seconds(1'700'000'100));
  ++level.Transitions;
  conditions.Publish(statuses, now);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].second.time, opcua::DateTime::FromUnixMicros(1'700'000'100'000'000));
}

TEST_F(LoopAlarms, EachAlarmShowsItsLimitAsItsTypeDefines) {
  struct Case {
    AlarmKind alarm;
    LevelLimit limit;
    bool active;
    opcua::LimitState expected;
  };
  for (const Case& c : {Case{AlarmKind::Level, LevelLimit::LowLow, true, opcua::LimitState::LowLow},
                        Case{AlarmKind::Level, LevelLimit::Low, true, opcua::LimitState::Low},
                        Case{AlarmKind::Level, LevelLimit::High, true, opcua::LimitState::High},
                        Case{AlarmKind::Level, LevelLimit::HighHigh, true, opcua::LimitState::HighHigh},
                        Case{AlarmKind::Level, LevelLimit::None, false, opcua::LimitState::None},
                        Case{AlarmKind::Deviation, LevelLimit::None, true, opcua::LimitState::High},
                        Case{AlarmKind::Deviation, LevelLimit::None, false, opcua::LimitState::None},
                        Case{AlarmKind::Saturation, LevelLimit::None, true, opcua::LimitState::None}}) {
    AlarmStatus s;
    s.Kind = c.alarm;
    s.Enabled = true;
    s.Active = c.active;
    s.Limit = c.limit;
    s.LimitValue = 7;
    opcua::ConditionState state = ConditionStateOf(s, now);
    EXPECT_EQ(state.limit, c.expected) << static_cast<int>(c.alarm) << " " << static_cast<int>(c.limit);
    EXPECT_EQ(state.severity, 1) << "a severity of 0 is shown as the lowest, 1";
  }
  AlarmStatus deviation;
  deviation.Kind = AlarmKind::Deviation;
  deviation.Enabled = true;
  deviation.LimitValue = 5;
  EXPECT_EQ(ConditionStateOf(deviation, now).limits.high, 5.0);
  deviation.Kind = AlarmKind::Saturation;
  EXPECT_FALSE(ConditionStateOf(deviation, now).limits.high.has_value());
}

TEST_F(LoopAlarms, AClientsAnswerReachesTheGuiThreadWithItsAlarm) {
  AlarmAnswerHandOff answers;
  int woken = 0;
  answers.SetWake([&] { ++woken; });
  opcua::ConditionResponseCallback callback = conditions.AnswerCallback(answers);
  // Before Add every handle is 0: the first alarm takes the answer.
  EXPECT_EQ(callback(0, opcua::ConditionResponse::Confirm, {"en", "checked"}, "operator"),
            opcua::status::Good);
  EXPECT_EQ(callback(9, opcua::ConditionResponse::Acknowledge, {}, "x"),
            opcua::status::BadNodeIdUnknown);
  EXPECT_EQ(woken, 1);
  std::vector<ClientAlarmAnswer> delivered;
  EXPECT_EQ(answers.Deliver([&](const ClientAlarmAnswer& a) { delivered.push_back(a); }), 1u);
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].Alarm, AlarmKind::Level);
  EXPECT_EQ(delivered[0].Response, opcua::ConditionResponse::Confirm);
  EXPECT_EQ(delivered[0].Comment, "checked");
  EXPECT_EQ(delivered[0].User, "operator");
  EXPECT_EQ(answers.Deliver([&](const ClientAlarmAnswer&) { ADD_FAILURE(); }), 0u);
}

}  // namespace
}  // namespace qx
