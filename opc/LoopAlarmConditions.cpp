#include "opc/LoopAlarmConditions.h"

#include <chrono>

namespace qx {

void AlarmAnswerHandOff::Post(ClientAlarmAnswer answer) {
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(answer));
    anyPending_.store(true, std::memory_order_release);
    wake = wake_;
  }
  if (wake) wake();
}

void AlarmAnswerHandOff::SetWake(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  wake_ = std::move(wake);
}

std::size_t AlarmAnswerHandOff::Deliver(const std::function<void(const ClientAlarmAnswer&)>& answer) {
  if (!anyPending_.load(std::memory_order_acquire)) return 0;
  std::vector<ClientAlarmAnswer> taken;
  {
    std::lock_guard lock(mutex_);
    taken.swap(pending_);
    anyPending_.store(false, std::memory_order_release);
  }
  for (const ClientAlarmAnswer& a : taken) answer(a);
  return taken.size();
}

opcua::LimitState LimitStateOf(LevelLimit limit) {
  switch (limit) {
    case LevelLimit::LowLow: return opcua::LimitState::LowLow;
    case LevelLimit::Low: return opcua::LimitState::Low;
    case LevelLimit::High: return opcua::LimitState::High;
    case LevelLimit::HighHigh: return opcua::LimitState::HighHigh;
    case LevelLimit::None: break;
  }
  return opcua::LimitState::None;
}

opcua::ConditionState ConditionStateOf(const AlarmStatus& s, opcua::DateTime now) {
  opcua::ConditionState state;
  state.enabled = s.Enabled;
  state.active = s.Active;
  state.acked = s.Acked;
  state.confirmed = s.Confirmed;
  state.severity = s.Severity == 0 ? 1 : s.Severity;
  state.message = {"en", s.Message};
  // When the state came about: the step or the answer that made it, not the
  // sample that publishes it.
  const std::chrono::system_clock::time_point never{};
  state.time = s.WallTime == never
                   ? now
                   : opcua::DateTime::FromUnixMicros(
                         std::chrono::duration_cast<std::chrono::microseconds>(s.WallTime.time_since_epoch())
                             .count());
  switch (s.Kind) {
    case AlarmKind::Level:
      state.limit = LimitStateOf(s.Limit);
      switch (state.limit) {
        case opcua::LimitState::HighHigh: state.limits.highHigh = s.LimitValue; break;
        case opcua::LimitState::High: state.limits.high = s.LimitValue; break;
        case opcua::LimitState::Low: state.limits.low = s.LimitValue; break;
        case opcua::LimitState::LowLow: state.limits.lowLow = s.LimitValue; break;
        case opcua::LimitState::None: break;
      }
      break;
    case AlarmKind::Deviation:
      state.limit = s.Active ? opcua::LimitState::High : opcua::LimitState::None;
      if (s.Enabled) state.limits.high = s.LimitValue;
      break;
    case AlarmKind::Saturation: break;
  }
  return state;
}

bool LoopAlarmConditions::Add(opcua::Server& server, uint16_t ns, const opcua::NodeId& loop,
                              AlarmAnswerHandOff& answers, std::string& error) {
  for (std::size_t i = 0; i < kLoopAlarmCount; ++i) {
    const LoopAlarmCondition& c = kLoopAlarmConditions[i];
    opcua::ConditionDefinition definition;
    definition.id = opcua::NodeId(ns, c.Id);
    definition.type = opcua::NodeId(0, c.Type);
    definition.source = loop;
    definition.name = c.Name;
    definition.inputNode = opcua::NodeId(ns, c.Input);
    if (c.Type == opcua::ids::ExclusiveDeviationAlarmType)
      definition.setpointNode = opcua::NodeId(ns, kLoopSetPointVariable);
    if (!server.AddCondition(definition, handles_[i], error)) return false;
  }
  server.SetConditionResponseCallback(AnswerCallback(answers));
  setState_ = [&server](uint32_t handle, opcua::ConditionState state) {
    server.SetConditionState(handle, std::move(state));
  };
  return true;
}

opcua::ConditionResponseCallback LoopAlarmConditions::AnswerCallback(AlarmAnswerHandOff& answers) const {
  return [&answers, handles = handles_](uint32_t handle, opcua::ConditionResponse response,
                                        const opcua::LocalizedText& comment,
                                        const std::string& user) {
    for (std::size_t i = 0; i < kLoopAlarmCount; ++i)
      if (handles[i] == handle) {
        answers.Post({static_cast<AlarmKind>(i), response, comment.text, user});
        return opcua::status::Good;
      }
    return opcua::status::BadNodeIdUnknown;
  };
}

}  // namespace qx
