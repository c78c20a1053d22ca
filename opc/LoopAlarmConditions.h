// The loop's three alarms as OPC UA conditions on the loop object: a level
// alarm on PV (ExclusiveLevelAlarmType), a deviation alarm on |SP - PV|
// (ExclusiveDeviationAlarmType) and an output-saturation alarm
// (OffNormalAlarmType). The run loop's thread hands the alarm states over at
// every trend sample; a client's acknowledgment or confirmation travels the
// other way, from the server thread to the GUI thread, which answers the
// alarm in the alarm library.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "alarms/AlarmState.h"
#include "opcua/EventNodeIds.h"
#include "opcua/Server.h"

namespace qx {

// The alarms in the order of the alarm library's AlarmKind (Level,
// Deviation, Saturation), one condition each.
inline constexpr std::size_t kLoopAlarmCount = kAlarmKindCount;

struct LoopAlarmCondition {
  const char* Id;        // "ns=1;s=<Id>"
  const char* Name;      // ConditionName and browse name
  uint32_t Type;         // the condition type
  const char* Input;     // the loop variable it watches (InputNode)
};
inline constexpr std::array<LoopAlarmCondition, kLoopAlarmCount> kLoopAlarmConditions = {{
    {"Loop.LevelAlarm", "LevelAlarm", opcua::ids::ExclusiveLevelAlarmType, "Loop.PV"},
    {"Loop.DeviationAlarm", "DeviationAlarm", opcua::ids::ExclusiveDeviationAlarmType, "Loop.PV"},
    {"Loop.SaturationAlarm", "SaturationAlarm", opcua::ids::OffNormalAlarmType, "Loop.OP"},
}};
inline constexpr const char* kLoopSetPointVariable = "Loop.SP";

// A client's answer to an alarm, on its way to the GUI thread.
struct ClientAlarmAnswer {
  AlarmKind Alarm = AlarmKind::Level;
  opcua::ConditionResponse Response = opcua::ConditionResponse::Acknowledge;
  std::string Comment;
  std::string User;
};

// Answers handed from the server thread to the GUI thread, which takes them
// in arrival order.
class AlarmAnswerHandOff {
 public:
  // Any thread: queues an answer, then calls the wake function.
  void Post(ClientAlarmAnswer answer);
  // Called after every Post on the posting thread; empty: nobody is woken.
  void SetWake(std::function<void()> wake);
  // Whether an answer waits for Deliver; any thread. The run asks at every
  // step.
  bool AnyPending() const { return anyPending_.load(std::memory_order_acquire); }
  // The flag AnyPending reads, for a run that watches it between steps.
  const std::atomic<bool>& PendingFlag() const { return anyPending_; }
  // GUI thread: hands each queued answer to `answer`; returns how many. With
  // nothing queued it only reads a flag.
  std::size_t Deliver(const std::function<void(const ClientAlarmAnswer&)>& answer);

 private:
  std::mutex mutex_;
  std::vector<ClientAlarmAnswer> pending_;
  std::atomic<bool> anyPending_{false};
  std::function<void()> wake_;
};

// The condition's limit state for the alarm library's level limit.
opcua::LimitState LimitStateOf(LevelLimit limit);

// The condition state of one alarm status. The level alarm shows the
// crossed limit as its limit of that name; the deviation alarm shows its
// limit as HighLimit. The state's time is the alarm's last transition, or
// `now` (the sample's time) before its first.
opcua::ConditionState ConditionStateOf(const AlarmStatus& s, opcua::DateTime now);

class LoopAlarmConditions {
 public:
  // Before the server starts: the three conditions under `loop` (the loop
  // object, namespace `ns`), and the answer callback that posts a client's
  // acknowledgment or confirmation to `answers` (which must outlive the
  // server).
  bool Add(opcua::Server& server, uint16_t ns, const opcua::NodeId& loop,
           AlarmAnswerHandOff& answers, std::string& error);

  // The run loop's thread, at a step with a transition, at every trend
  // sample and after the operator answered an alarm: the alarm states in AlarmKind order. A state is
  // handed to the server only when its Transitions count moved, so an
  // unchanged alarm costs a comparison.
  void Publish(const std::array<AlarmStatus, kLoopAlarmCount>& statuses, opcua::DateTime now) {
    for (std::size_t i = 0; i < kLoopAlarmCount; ++i) {
      const AlarmStatus& s = statuses[i];
      if (published_[i] && s.Transitions == transitions_[i] && s.Enabled == enabled_[i]) continue;
      published_[i] = true;
      transitions_[i] = s.Transitions;
      enabled_[i] = s.Enabled;
      if (setState_) setState_(handles_[i], ConditionStateOf(s, now));
    }
  }

  // Where Publish sends the states: the server's SetConditionState after
  // Add; a test may send them elsewhere.
  void SetStateSink(std::function<void(uint32_t, opcua::ConditionState)> sink) {
    setState_ = std::move(sink);
  }
  // The callback a server calls with a client's answer: posts it to
  // `answers` with the alarm's index.
  opcua::ConditionResponseCallback AnswerCallback(AlarmAnswerHandOff& answers) const;

 private:
  std::array<uint32_t, kLoopAlarmCount> handles_{};
  std::array<uint64_t, kLoopAlarmCount> transitions_{};
  std::array<bool, kLoopAlarmCount> enabled_{};
  std::array<bool, kLoopAlarmCount> published_{};
  std::function<void(uint32_t, opcua::ConditionState)> setState_;
};

}  // namespace qx
