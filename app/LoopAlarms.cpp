#include "app/LoopAlarms.h"

#include <filesystem>

#include "persistence/AlarmFile.h"

namespace qx {

std::vector<std::string> LoopAlarms::LoadFor(const std::string& casePath, const LoopModel& model) {
  const PIDLoop& loop = model.SingleLoop;
  AlarmFileRead read = ReadAlarmFile(AlarmFilePath(casePath), loop.CVLow, loop.CVHigh);
  set_.Configure(read.Limits);
  return std::move(read.Problems);
}

bool LoopAlarms::SaveFor(const std::string& casePath, std::string& reason) const {
  return WriteAlarmFile(AlarmFilePath(casePath), set_.Limits(),
                        std::filesystem::path(casePath).filename().string(), reason);
}

std::vector<std::string> LoopAlarms::Apply(const AlarmLimits& limits, const LoopModel& model) {
  std::vector<std::string> refused;
  for (const AlarmLimitProblem& p : CheckAlarmLimits(limits, model.SingleLoop.CVLow, model.SingleLoop.CVHigh)) {
    refused.push_back(p.Message);
  }
  if (refused.empty()) set_.Configure(limits);
  return refused;
}

}  // namespace qx
