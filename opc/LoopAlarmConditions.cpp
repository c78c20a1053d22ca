#include "opc/LoopAlarmConditions.h"

namespace qx {

void AlarmAnswerHandOff::Post(AlarmAnswer answer) {
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

std::size_t AlarmAnswerHandOff::Deliver(const std::function<void(const AlarmAnswer&)>& answer) {
  if (!anyPending_.load(std::memory_order_acquire)) return 0;
  std::vector<AlarmAnswer> taken;
  {
    std::lock_guard lock(mutex_);
    taken.swap(pending_);
    anyPending_.store(false, std::memory_order_release);
  }
  for (const AlarmAnswer& a : taken) answer(a);
  return taken.size();
}

opcua::LimitState LimitStateOf(int levelLimit) {
  switch (levelLimit) {
    case 1: return opcua::LimitState::LowLow;
    case 2: return opcua::LimitState::Low;
    case 3: return opcua::LimitState::High;
    case 4: return opcua::LimitState::HighHigh;
    default: return opcua::LimitState::None;
  }
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
        answers.Post({i, response, comment.text, user});
        return opcua::status::Good;
      }
    return opcua::status::BadNodeIdUnknown;
  };
}

}  // namespace qx
