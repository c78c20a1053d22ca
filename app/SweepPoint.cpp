#include "app/SweepPoint.h"

#include <sstream>

#include "app/Application.h"
#include "app/DecimalSeparator.h"
#include "app/RunCaseLoad.h"
#include "app/ScriptedRunHost.h"
#include "app/TextAppHost.h"
#include "engine/RunLoop.h"
#include "sweep/StabilityCheck.h"

namespace qx {
namespace {

// The scripted host of a point that also feeds every step to the stability
// check. A point whose run buffers cannot be allocated fails with a message
// instead of ending the process.
class SweepHost final : public ScriptedRunHost {
 public:
  SweepHost(Application& app, const SweepPointSettings& settings, const std::atomic<bool>& interrupted)
      : ScriptedRunHost(app, settings.Actions, settings.Steps, settings.Seed, interrupted),
        check_(app.Model().SingleLoop.CVLow, app.Model().SingleLoop.CVHigh, settings.Steps.value_or(0)) {}

  void StepComputed() override {
    ScriptedRunHost::StepComputed();
    const PIDLoop& loop = sim_.Model.SingleLoop;
    check_.Add(sim_.Run.StepsDone, loop.SP, loop.PV, loop.PVRaw, loop.PVNoise);
  }
  void FatalAllocationFailure(bool loopBuffers) override {
    allocationFailed_ = true;
    failedBuffers_ = loopBuffers ? "the loop's buffers" : "the trend and delay buffers";
  }
  bool Stable() const { return check_.Stable(); }
  // Why the run could not start, or empty.
  std::string Failure() const {
    return allocationFailed_ ? "the run could not allocate " + failedBuffers_ : std::string();
  }

 private:
  sweep::StabilityCheck check_;
  bool allocationFailed_ = false;
  std::string failedBuffers_;
};

}  // namespace

SweepPointRun RunSweepPoint(const SweepPointSettings& settings, const std::atomic<bool>& interrupted) {
  std::ostringstream messages;
  TextAppHost console(messages);
  Application app(console, DecimalSeparatorFromEnvironment());
  app.StartUpState();
  SweepPointRun run;
  run.Loaded = LoadRunCase(app, console, settings.CasePath, settings.Overrides);
  if (run.Loaded) {
    SweepHost host(app, settings, interrupted);
    if (settings.Seed) app.Sim().Random.Seed(*settings.Seed);
    SinglePID1Click(app.Sim(), host);
    run.Results = app.Analysis().Results();
    run.Stable = host.Stable();
    if (!host.Failure().empty()) {
      run.Loaded = false;
      messages << host.Failure() << '\n';
    }
  }
  run.Messages = messages.str();
  return run;
}

CaseProbe ProbeCase(const SweepPointSettings& settings, const std::vector<const FieldInfo*>& fields) {
  std::ostringstream messages;
  TextAppHost console(messages);
  Application app(console, DecimalSeparatorFromEnvironment());
  app.StartUpState();
  CaseProbe probe;
  probe.Loaded = LoadRunCase(app, console, settings.CasePath, settings.Overrides);
  probe.Messages = messages.str();
  const LoopModel& model = app.Model();
  for (const FieldInfo* field : fields) probe.FieldValues.push_back(FieldRef<float>(model, *field));
  probe.SP = model.SingleLoop.SPNew;  // SP itself is set from it when the run starts
  probe.CVLow = model.SingleLoop.CVLow;
  probe.CVHigh = model.SingleLoop.CVHigh;
  return probe;
}

}  // namespace qx
